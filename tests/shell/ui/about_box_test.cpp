// The About box, the instrument information window and the information report.

#include <unistd.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <sstream>

#include "framework/settings/settings_tree.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "service/adjust_access.h"
#include "service/constants_report.h"
#include "shell/instrument_report.h"
#include "shell/shell_state.h"
#include "shell/ui/about_form.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

TSHW_Ver Version(std::array<int16_t, 4> num, std::array<int16_t, 3> date) { return {"", num, date}; }

TEST(FormatVersion, JoinsTheNumbersAndNamesTheMonth) {
  const std::pair<TSHW_Ver, std::string> cases[] = {
      {Version({3, 12, 1, -1}, {2012, 5, 3}), "3.12.1  (2012, May 3)"},
      {Version({3, 12, 1, 7}, {2012, 13, 3}), "3.12.1.7  (2012, 13 3)"},
      {Version({3, -1, 1, -1}, {2012, 1, -1}), "3  (2012, Jan)"},
      {Version({11, 1, 1, -1}, {2008, -1, 20}), "11.1.1  (2008)"},
      {Version({0, 3, -1, -1}, {-1, 1, 1}), "0.3"},
      {Version({-1, -1, -1, -1}, {-1, -1, -1}), ""},
  };
  for (const auto& [ver, text] : cases) EXPECT_EQ(FormatVersion(ver), text);
}

class AboutBoxTest : public test::ProgramFixture {
 protected:
  void SetUp() override {
    ProgramFixture::SetUp();
    const char* tmp = std::getenv("TMPDIR");
    saved_tmp_ = tmp ? tmp : "";
    temp_ = test::MakeTempDir("about-tmp");
    setenv("TMPDIR", temp_.c_str(), 1);
  }
  void TearDown() override {
    saved_tmp_.empty() ? unsetenv("TMPDIR") : setenv("TMPDIR", saved_tmp_.c_str(), 1);
    ProgramFixture::TearDown();
  }
  std::filesystem::path temp_;
  std::string saved_tmp_;
};

std::string ReadFile(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The simulator without a demo unit: model 4, no options, year 2009, serial number 1 and
// the built-in demo versions; the program's own version text is "2_4_8 (2013-03-07)".
TEST_F(AboutBoxTest, TheReportListsTheIdentityWithCrLfLines) {
  Start();
  const std::string report = BuildInfoReport(25.5);
  EXPECT_EQ(report.substr(0, report.find("\r\n\r\n\r\n\tADJUSTMENTS") + 2),
            "\tGENERAL\r\n" + std::string(28, '-') +
                "\r\n\r\n"
                "Model: Vexilor Norv-L0E\r\n"
                "Options: \r\n"
                "Year: 2009\r\n"
                "Serial Number: 0001\r\n"
                "FPGA FW Version: 11.1.1\r\n"
                "FW Version: 11.1.1  (2008, Jan 20)\r\n"
                "SW Version: 2.4.8  (2013, Mar 7)\r\n"
                "Temperature: 25.50\u00B0C\r\n");
  // With the LAN option the MAC address follows, in hexadecimal.
  InstrumentIdentity.Options = OptLAN;
  EXPECT_NE(BuildInfoReport(25.5).find("\r\nMAC Address: 0a-55-01-7e-08-01\r\nTemperature: "),
            std::string::npos);
}

std::string Ask(const std::string& line) { return RootSpider->ExecCommandLine(line, false); }

// The answers of every constant node, to see that writing the report left them alone.
std::vector<std::string> ConstantAnswers() {
  std::vector<std::string> answers;
  const TFlashConstantsSnapshot snapshot = FlashConstantsSnapshot();
  for (const auto* list : {&snapshot.Adjustment, &snapshot.Calibration})
    for (const TFlashConstantEntry& e : *list) answers.push_back(e.Node + " " + Ask(e.Node + "?"));
  return answers;
}

TEST_F(AboutBoxTest, TheReportListsTheConstantsWithoutRecallingThem) {
  Start();
  // The adjustment constants change by command only behind the access code.
  ASSERT_TRUE(SubmitAdjustAccessCode("KR4-62M"));
  for (const char* line :
       {"FLASH:Calibr:Ch1Full:Balance 0.25", "FLASH:Calibr:Ch1Full:BridgeVolt 2",
        "FLASH:Calibr:Ch1Full:ADC200mV 5000", "FLASH:Calibr:Ch1Full:LfDist 1234",
        "FLASH:Calibr:Ch2Narrow:PromBrNBW 65", "FLASH:Calibr:Ch2Narrow:GainFix Low",
        "Flash:Calibr:Strobe:SRD1 0.015", "Flash:Calibr:Strobe:Delay 1n", "Flash:Calibr:Strobe:ChFindSRD Ch2",
        "Flash:Calibr:Strobe:SRD2 0.0075", "Flash:Calibr:Strobe:MinSRD1 0.0075",
        "Flash:Calibr:Strobe:MaxSRD1 0.015", "Flash:Calibr:Strobe:MinSRD2 0.0075",
        "Flash:Calibr:Strobe:MaxSRD2 0.015", "Flash:Calibr:Strobe:Amplitude 100",
        "FLASH:Calibr:CoarseTB 4.5n", "FLASH:Calibr:CoarseDelay 12", "FLASH:Calibr:FineTB 20000",
        "FLASH:Calibr:LevelZero 100"})
    Ask(line);
  ASSERT_TRUE(ShellHooks.CalibrationChanged());
  const std::vector<std::string> before = ConstantAnswers();
  const std::string report = BuildInfoReport(25.5);
  EXPECT_EQ(ConstantAnswers(), before);
  EXPECT_TRUE(ShellHooks.CalibrationChanged());
  EXPECT_TRUE(ShellHooks.AdjustmentChanged());

  // The untouched constants come from "CalibrImit.ini" defaults: bridge codes 32768 (2.048 V),
  // LF distortion 32768. Codes: SRD 15 mA = 8192 + 0.5 * 56 * 1024, 7.5 mA = 8192 + 0.25 * 56 * 1024; delay 1
  // ns = 5460 + 60075 / 5; level zero 100 mV = 34079, read back as 100 mV; the default sampler curve is 0 and
  // 65535.
  const std::string channel1Full = "\r\n   CHANNEL 1  FULL BW:\r\nBalance: 0.25 V\r\nBridge Voltage: 2 V\r\n";
  const std::string strobe =
      "\r\n   STROBE GENERATOR:\r\nSRD1 Current: 15 mA\r\nSRD2 Current: 7.5 mA\r\nAmplitude: 100 %\r\n"
      "Delay: 1 ns\r\n";
  const std::string samplerTB =
      "\r\n   SAMPLER'S TimeBase: \r\nCalibration's Interval = 68267\r\n"
      "Calibration's Points: 2; Intervals: 1\r\n\r\n"
      "Calibration's Points:\r\n             0 65535\r\nCalibration's Intervals:\r\n         65535\r\n";
  const std::string timeBase =
      "\r\n   TIMEBASE:\r\nCoarse Timebase: 4.5 ns\r\nCoarse Timebase Delay: 12\r\n"
      "Fine Timebase / 4 ns: 20000\r\nFine Timebase Delay: 16384\r\n";
  const std::string adjustments = "\r\n\r\n\tADJUSTMENTS\r\n" + std::string(25, '-') + "\r\n" + channel1Full +
                                  "Swing ADC/200 mV: 5000\r\nLF Distortion: 1234\r\nFixed Gain: High\r\n";
  const size_t start = report.find("\r\n\r\n\tADJUSTMENTS");
  ASSERT_NE(start, std::string::npos);
  EXPECT_EQ(report.substr(start, adjustments.size()), adjustments);
  EXPECT_NE(report.find("\r\n   CHANNEL 2  NARROW BW:\r\nBalance: 0 V\r\nBridge Voltage: 2.048 V\r\n"
                        "% OF BRIDGE: 65 %\r\nLF Distortion: 32768\r\nFixed Gain: Low\r\n" +
                        strobe +
                        "\r\n   FIND SRDs:\r\nChannel: Channel 2\r\nMin SRD1 Current: 7.5 mA\r\n"
                        "Max SRD1 Current: 15 mA\r\nMin SRD2 Current: 7.5 mA\r\nMax SRD2 Current: 15 mA\r\n" +
                        samplerTB + timeBase +
                        "\r\n   TRIGGER:\r\nExt. Level Zero: 100 mV\r\n"
                        "\r\n\r\n\tCALIBRATIONS\r\n" +
                        std::string(25, '-') + "\r\n" + channel1Full + "LF Distortion: 1234\r\n"),
            std::string::npos);
  // The calibration part has no find-SRDs or trigger section and ends with the time base.
  EXPECT_TRUE(report.ends_with("LF Distortion: 32768\r\n" + strobe + samplerTB + timeBase));
}

TEST(ConstantsReport, ReadsAtMostTheCapOfWholeNumbers) {
  const std::pair<std::string, std::vector<int32_t>> cases[] = {
      {"1, 2 ,3", {1, 2, 3}}, {"-5,x,7", {-5}}, {"", {}}, {"4,5,6,7", {4, 5, 6}}};
  for (const auto& [reply, codes] : cases) EXPECT_EQ(ParseCodeList(reply, 3), codes) << reply;
  std::string curve;
  for (int i = 0; i < 70; ++i) curve += std::to_string(i) + ",";
  EXPECT_EQ(ParseCodeList(curve, 65).size(), 65u);
}

TEST_F(AboutBoxTest, UnstoredCalibrationConstantsAreWarnedOfFirst) {
  Start();
  Ask("FLASH:Calibr:FineTB 20000");
  ASSERT_TRUE(ShellHooks.CalibrationChanged());
  dialogs_.answers = {TAnswer::Cancel};
  EXPECT_FALSE(SaveInfoFile(30.0));
  EXPECT_TRUE(dialogs_.fileRequests.empty());
  EXPECT_EQ(
      dialogs_.shown.back(),
      "[warning] Last Calibration Coefficients are not stored.\r\nThey will be lost when Save Info File.");
}

TEST_F(AboutBoxTest, SavingTheReportRemembersItsFolder) {
  Start();
  const std::filesystem::path folder = test::MakeTempDir("reports");
  // The first proposal is the temporary folder.
  dialogs_.files = {TFileChoice{(folder / "unit 7").string(), folder.string(), 0}};
  ASSERT_TRUE(SaveInfoFile(30.0));
  EXPECT_EQ(dialogs_.fileRequests.back().Folder, temp_.string());
  EXPECT_EQ(dialogs_.fileRequests.back().FileName, "VexilorNorv_Info");
  EXPECT_EQ(ReadFile(folder / "unit 7.txt"), BuildInfoReport(30.0));
  // The folder is kept in the user's own folder of the temporary folder.
  EXPECT_TRUE(std::filesystem::exists(temp_ / ("vexilor-norv-" + std::to_string(geteuid())) /
                                      "VexilorNorv_InfoFileDir.ini"));
  // Cancelled: nothing written; the next proposal is the folder used last.
  dialogs_.files = {std::nullopt};
  EXPECT_FALSE(SaveInfoFile(30.0));
  EXPECT_EQ(dialogs_.fileRequests.back().Folder, folder.string());
  // A file that cannot be made is reported.
  std::ofstream(folder / "plain") << "x";
  const std::string bad = (folder / "plain" / "r.txt").string();
  dialogs_.files = {TFileChoice{bad, folder.string(), 0}};
  EXPECT_FALSE(SaveInfoFile(30.0));
  EXPECT_EQ(dialogs_.shown.back(), "[error] Error Creating File " + bad);
}

TEST_F(AboutBoxTest, TheInformationWindowShowsTheIdentityAndFollowsARefresh) {
  Start();
  TSysInfoFrm window(&program_->Window());
  window.show();
  const auto text = [&](const char* name) { return window.findChild<QLabel*>(name)->text().toStdString(); };
  EXPECT_EQ(text("lblModel"), "Vexilor Norv-L0E");
  EXPECT_EQ(text("lbSerialNumber"), "0001");
  EXPECT_EQ(text("lbShellSWVersion"), "2.4.8  (2013, Mar 7)");
  // "%4.2f°C" of a simulated reading 20..39.75.
  const QString temperature = window.TemperatureText();
  EXPECT_TRUE(QRegularExpression("^[23][0-9]\\.[0-9]{2}\u00B0C$").match(temperature).hasMatch())
      << temperature.toStdString();
  // Without an instrument the model may be changed.
  EXPECT_TRUE(window.findChild<QPushButton*>("btnChangeModel")->isVisible());
  InstrumentIdentity.ModelCode = 7;
  LinkHooks.RefreshSysInfo();
  EXPECT_EQ(text("lblModel"), "Vexilor Norv-L3E");
}

// The box fades in; a close request fades it out first and then closes it.
TEST_F(AboutBoxTest, TheAboutBoxFadesOutBeforeItCloses) {
  Start();
  TAboutForm about(&program_->Window());
  about.show();
  EXPECT_EQ(about.windowTitle(), "About Vexilor Norv-L0E");
  EXPECT_FALSE(about.findChild<QPushButton*>("btnTCP_IP_Properties")->isVisible());  // no LAN option
  EXPECT_EQ(about.findChild<QLabel*>("lblVersion")->text(), "2.4.8.0");
  // The program's icon, a scope screen with channel 1's yellow sine: in the box and on the
  // windows.
  const QImage picture = about.findChild<QLabel*>("PaintBox1")->pixmap().toImage();
  int yellow = 0;
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) {
      const QColor c = picture.pixelColor(x, y);
      yellow += c.alpha() > 200 && c.red() > 200 && c.green() > 190 && c.blue() < 120;
    }
  EXPECT_GT(yellow, 40);
  EXPECT_EQ(program_->Window().windowIcon().pixmap(48, 48).toImage().convertToFormat(picture.format()),
            picture);
  about.close();
  EXPECT_TRUE(about.isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !about.isVisible(); }, 3000));
  EXPECT_TRUE(about.Faded());
}

}  // namespace
}  // namespace norv
