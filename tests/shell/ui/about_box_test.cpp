// The About box, the instrument information window and the information report.

#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <fstream>
#include <sstream>

#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "shell/instrument_report.h"
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
  EXPECT_EQ(BuildInfoReport(25.5), "\tGENERAL\r\n" + std::string(28, '-') +
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

TEST_F(AboutBoxTest, SavingTheReportRemembersItsFolder) {
  Start();
  const std::filesystem::path folder = test::MakeTempDir("reports");
  // The first proposal is the temporary folder.
  dialogs_.files = {TFileChoice{(folder / "unit 7").string(), folder.string(), 0}};
  ASSERT_TRUE(SaveInfoFile(30.0));
  EXPECT_EQ(dialogs_.fileRequests.back().Folder, temp_.string());
  EXPECT_EQ(dialogs_.fileRequests.back().FileName, "VexilorNorv_Info");
  EXPECT_EQ(ReadFile(folder / "unit 7.txt"), BuildInfoReport(30.0));
  EXPECT_TRUE(std::filesystem::exists(temp_ / "VexilorNorv_InfoFileDir.ini"));
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
  about.close();
  EXPECT_TRUE(about.isVisible());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !about.isVisible(); }, 3000));
  EXPECT_TRUE(about.Faded());
}

}  // namespace
}  // namespace norv
