#include "instrument/instrument_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/errors.h"
#include "framework/language.h"
#include "framework/program_dir.h"
#include "instrument/link_fixture.h"
#include "support/fake_clock.h"

namespace norv {
namespace {

using Mac = std::array<uint8_t, 6>;
using test::FakeInstrument;

TSHW_Ver Version(const std::string& text) {
  TSHW_Ver ver;
  ver.Text = text;
  ParseVersionText(ver);
  return ver;
}

class IdentityTest : public test::LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    LinkHooks.ShowMessage.Set([this](const std::string& text) { messages.push_back(text); });
    instrument.SetReply("Info:GetVer:SW?", "3.12.1 (2012.05.03)");
    instrument.SetReply("Info:GetVer:FPGAFW?", "17");
    instrument.SetReply("Info:TCPIP:GETMAC?", "0.12.34.56.78.90");
  }

  // Connects, then reads the identity with this individual-data reply.
  void ReadWith(const std::string& indivData) {
    Connect();
    instrument.SetReply("Info:IndivData?", indivData);
    ASSERT_TRUE(ReadIndivData());
  }

  void ExpectResetData(uint8_t model) {
    const TInstrumentIdentity& id = InstrumentIdentity;
    EXPECT_EQ(id.IndivBlock, 0);
    EXPECT_EQ(id.ModelCode, model);
    EXPECT_EQ(id.Options, 0);
    EXPECT_EQ(id.Year, 2000);
    EXPECT_EQ(id.SerialNo, 0);
  }

  std::vector<std::string> messages;
};

TEST_F(IdentityTest, TheInstrumentTellsItsModelOptionsYearSerialAndVersions) {
  ReadWith("1 255 251 9 1234");
  const TInstrumentIdentity& id = InstrumentIdentity;
  EXPECT_EQ(id.IndivBlock, 1);
  EXPECT_EQ(id.ModelCode, 4);
  EXPECT_EQ(id.Options, 4);
  EXPECT_EQ(id.Year, 2009);
  EXPECT_EQ(id.SerialNo, 1234);
  EXPECT_EQ(id.SWVer.Text, "3.12.1 (2012.05.03)");
  EXPECT_EQ(id.SWVer.Num, (std::array<int16_t, 4>{3, 12, 1, -1}));
  EXPECT_EQ(id.SWVer.Date, (std::array<int16_t, 3>{2012, 5, 3}));
  EXPECT_EQ(id.FPGAVer.Text, "0.17");
  EXPECT_EQ(id.FPGAVer.Num, (std::array<int16_t, 4>{0, 17, -1, -1}));
  EXPECT_EQ(id.MAC, Mac{});  // no LAN option: not asked
  EXPECT_TRUE(HasGeneratorsOption());
  EXPECT_TRUE(HasTDROption());
  EXPECT_FALSE(HasClockRecoveryOption() || HasPatSyncTrigOption() || HasOpticsOption() || HasLANOption());
  EXPECT_TRUE(IsLxxModel());
  EXPECT_FALSE(IsKxxModel());
  EXPECT_EQ(instrument.Commands(),
            (std::vector<std::string>{"Info:IndivData?", "Info:GetVer:SW?", "Info:GetVer:FPGAFW?"}));
  EXPECT_TRUE(messages.empty());
}

TEST_F(IdentityTest, ANetworkInstrumentTellsItsMacFromFirmware394On) {
  ReadWith("2 250 127 15 77");  // model 9, only the LAN option
  EXPECT_EQ(InstrumentIdentity.ModelCode, 9);
  EXPECT_TRUE(HasLANOption());
  EXPECT_TRUE(IsKxxModel());
  EXPECT_EQ(InstrumentIdentity.MAC, (Mac{0, 12, 34, 56, 78, 90}));

  instrument.SetReply("Info:GetVer:SW?", "3.9.3");
  ASSERT_TRUE(ReadIndivData());
  EXPECT_EQ(InstrumentIdentity.MAC, (Mac{0x05, 0x55, 0x01, 0x7E, 0x08, 77}));
}

TEST_F(IdentityTest, IncompleteOrOutOfRangeIndividualDataIsReset) {
  ReadWith("1 255 251 9");  // no serial number
  ExpectResetData(4);
  for (const char* reply : {"1 255 251 9 70000", "1 255 251 9 -1", "1 255 256 9 5", "1 255 251 63536 5",
                            "1 255 251 9 12x"}) {
    instrument.SetReply("Info:IndivData?", reply);
    ASSERT_TRUE(ReadIndivData());
    ExpectResetData(4);
  }
  instrument.SetReply("Info:IndivData?", "1 300 251 9 1234");  // no model at all
  ASSERT_TRUE(ReadIndivData());
  ExpectResetData(0);
  EXPECT_FALSE(HasGeneratorsOption());

  instrument.SetReply("Info:IndivData?", "0 254 251 9 1234");  // no valid block
  ASSERT_TRUE(ReadIndivData());
  ExpectResetData(5);
  EXPECT_TRUE(messages.empty());

  instrument.SetReply("Info:IndivData?", "255 254 251 9 1234");  // firmware too old
  ASSERT_TRUE(ReadIndivData());
  ASSERT_TRUE(ReadIndivData());
  ExpectResetData(5);
  EXPECT_LE(messages.size(), 1u);  // at most once per run
}

TEST_F(IdentityTest, AnUnansweredReadLeavesTheIdentity) {
  ReadWith("1 255 251 9 1234");
  test::FakeClock clock;
  SetLinkClock(clock);
  instrument.SetFault(FakeInstrument::TFault::Silence);
  EXPECT_FALSE(ReadIndivData());
  EXPECT_EQ(InstrumentIdentity.SerialNo, 1234);
  EXPECT_EQ(InstrumentIdentity.SWVer.Num[1], 12);
}

TEST(VersionText, NumbersAndDateAreRead) {
  EXPECT_EQ(Version("11.1.1 (20 Jan 2008)").Num, (std::array<int16_t, 4>{11, 1, 1, -1}));
  EXPECT_EQ(Version("11.1.1 (20 Jan 2008)").Date, (std::array<int16_t, 3>{20, -1, -1}));
  EXPECT_EQ(Version("FW V2_5-7 9.4").Num, (std::array<int16_t, 4>{2, 5, 7, 9}));
  EXPECT_EQ(Version("3.1 (2011/12/31)").Date, (std::array<int16_t, 3>{2011, 12, 31}));
  EXPECT_EQ(Version("3.1 (2011)").Date, (std::array<int16_t, 3>{2011, -1, -1}));
  EXPECT_EQ(Version("3.1 (211)").Date, (std::array<int16_t, 3>{-1, -1, -1}));  // too short
  EXPECT_EQ(Version("1.40000.2").Num, (std::array<int16_t, 4>{1, -1, -1, -1}));
  EXPECT_EQ(Version("Timeout").Num, (std::array<int16_t, 4>{-1, -1, -1, -1}));
}

TEST(VersionText, TheFirstDifferingNumberDecides) {
  const TSHW_Ver ver = Version("3.12.1 (2012.05.03)");
  EXPECT_TRUE(VersionAtLeast(ver, {3, 12}));
  EXPECT_FALSE(VersionAtLeast(ver, {3, 13}));
  EXPECT_TRUE(VersionAtLeast(ver, {3, 9, 4}));
  EXPECT_TRUE(VersionAtLeast(ver, {3, 12, 1}));
  EXPECT_FALSE(VersionAtLeast(ver, {3, 12, 2}));
  EXPECT_FALSE(VersionAtLeast(ver, {4}));
  EXPECT_FALSE(VersionAtLeast(ver, {3, 12, 1, 0}));  // the missing fourth number is below 0
  EXPECT_FALSE(VersionAtLeast(Version("Timeout"), {0}));
}

TEST(ModelCodes, FlashCodesMapToModelsAndBack) {
  EXPECT_EQ(FlashCodeToModel(255), 4);
  EXPECT_EQ(FlashCodeToModel(250), 9);
  EXPECT_EQ(FlashCodeToModel(0), 3);
  for (uint8_t model = 1; model <= 9; ++model) EXPECT_EQ(FlashCodeToModel(ModelToFlashCode(model)), model);
  EXPECT_EQ(ModelToFlashCode(2), 2);
  EXPECT_EQ(ModelToFlashCode(7), 252);
}

TEST(ModelCodes, NamesFollowTheModelAndTheSerialNumber) {
  EXPECT_EQ(ModelName(1, 5, false), "Vexilor Norv-L0");
  EXPECT_EQ(ModelName(4, 42, false), "Vexilor Norv-L3E");
  EXPECT_EQ(ModelName(6, 5, true), "Vexilor Norv-L2E  (253)");
  EXPECT_EQ(ModelName(0, 5, false), "Unknown Model");
  EXPECT_EQ(ModelName(10, 5, false), "Unknown Model");
}

TEST_F(IdentityTest, OptionNamesComeFromTheLanguageTableForLxxModels) {
  EXPECT_EQ(OptionName(4, 4, false), "Generators");
  EXPECT_EQ(OptionName(4, 8, true), "O/E Converter  (~08)");
  EXPECT_EQ(OptionName(4, 128, true), "LAN  (~80)");
  EXPECT_EQ(OptionName(4, 64, false), "");
  EXPECT_EQ(OptionName(9, 4, false), "");
  EXPECT_EQ(OptionName(4, 255, true), " Basic  (255)");
  EXPECT_THROW(OptionName(4, 3, false), EAssertion);
  EXPECT_THROW(OptionName(4, 0, false), EAssertion);
  EXPECT_EQ(OptionNamesText(1, 5, false), " + Clock Recovery Trigger + Generators");
  EXPECT_EQ(OptionNamesText(9, 128, false), " + ");
  EXPECT_EQ(OptionNamesText(1, 0, true), "");
}

TEST_F(IdentityTest, SerialNumbersAbove1000CarryTheModelPrefix) {
  TInstrumentIdentity& id = InstrumentIdentity;
  id.SWVer = Version("3.12");
  id.ModelCode = 6;
  id.SerialNo = 999;
  EXPECT_EQ(SerialNumberText(), "0999");
  id.SerialNo = 1000;
  EXPECT_EQ(SerialNumberText(), "1000");
  id.SerialNo = 1234;
  EXPECT_EQ(SerialNumberText(), "QX303 / 234");
  id.ModelCode = 8;
  EXPECT_EQ(SerialNumberText(), "QX301 / 234");
  EXPECT_TRUE(messages.empty());
  id.ModelCode = 9;
  EXPECT_EQ(SerialNumberText(), "??? / 234");
  EXPECT_EQ(messages, (std::vector<std::string>{"Bad Model for S/N > 1000"}));
  id.SWVer = Version("3.11.9");
  EXPECT_EQ(SerialNumberText(), "1234");
  EXPECT_EQ(messages.back(), "Bad FW Fersion for S/N > 1000");
}

TEST(MacText, SixNumbersInByteRange) {
  Mac mac;
  EXPECT_TRUE(ParseMacAddress("0.12.34.56.78.90", mac));
  EXPECT_EQ(mac, (Mac{0, 12, 34, 56, 78, 90}));
  EXPECT_TRUE(ParseMacAddress("  10 11  12 13 14 15", mac));
  EXPECT_EQ(mac, (Mac{10, 11, 12, 13, 14, 15}));
  EXPECT_FALSE(ParseMacAddress("1 2 3 4 5", mac));
  EXPECT_EQ(mac, (Mac{1, 2, 3, 4, 255, 255}));
  EXPECT_FALSE(ParseMacAddress("1 2 3 256 5 6", mac));
  EXPECT_EQ(mac, (Mac{1, 2, 3, 255, 255, 255}));
  EXPECT_FALSE(ParseMacAddress("1 2 x 4 5 6", mac));
  EXPECT_FALSE(ParseMacAddress("", mac));
}

class DemoUnitTest : public IdentityTest {
 protected:
  void SetUp() override {
    IdentityTest::SetUp();
    std::filesystem::remove(ProgramDir() / DemoUnitsFileName);
  }
};

TEST_F(DemoUnitTest, ADemoInstrumentTakesItsIdentityFromItsFile) {
  WriteDemoUnit("Demo A", 1, 2, 251, 12, 77, true);
  LinkKind = TLinkKind::Demo;
  LinkHooks.CurrentInstrumentName.Set([] { return std::string("Demo A"); });
  ASSERT_TRUE(ReadIndivData());
  const TInstrumentIdentity& id = InstrumentIdentity;
  EXPECT_EQ(id.IndivBlock, 1);
  EXPECT_EQ(id.ModelCode, 5);  // model 2 shows as its E variant
  EXPECT_EQ(id.Options, 4);
  EXPECT_EQ(id.Year, 2012);
  EXPECT_EQ(id.SerialNo, 77);
  EXPECT_EQ(id.SWVer.Text, "11.1.1 (20 Jan 2008)");
  EXPECT_EQ(id.SWVer.Num, (std::array<int16_t, 4>{11, 1, 1, -1}));
  EXPECT_EQ(id.SWVer.Date, (std::array<int16_t, 3>{2008, 1, 20}));
  EXPECT_EQ(id.FPGAVer.Date, (std::array<int16_t, 3>{-1, 1, 20}));
  EXPECT_EQ(id.MAC, (Mac{0x0A, 0x55, 0x01, 0x7E, 0x08, 77}));
  EXPECT_EQ(BuildMainCaption(true), "Tarvel Technology    Vexilor Norv-L1E    Sampling Oscilloscope 12 GHz");
  EXPECT_EQ(ProductNameHook(), "Vexilor Norv-L1E");
}

TEST_F(DemoUnitTest, EmptyBlocksPassToTheNextAndMissingDataGivesTheDefault) {
  WriteDemoUnit("Demo B", 1, 0, 0, 0, 0, true);
  WriteDemoUnit("Demo B", 2, 0, 0, 0, 0, false);
  WriteDemoUnit("Demo B", 3, 250, 247, 5, 300, false);
  ReadDemoUnit("Demo B");
  EXPECT_EQ(InstrumentIdentity.IndivBlock, 3);
  EXPECT_EQ(InstrumentIdentity.ModelCode, 9);
  EXPECT_EQ(InstrumentIdentity.Options, 8);
  EXPECT_EQ(InstrumentIdentity.Year, 2009);  // 2005 is raised
  EXPECT_EQ(InstrumentIdentity.SerialNo, 300);

  WriteDemoUnit("Demo B", 3, 0, 0, 0, 0, false);
  WriteDemoUnit("Demo B", 4, 0, 0, 0, 0, false);
  ReadDemoUnit("Demo B");
  const TInstrumentIdentity& id = InstrumentIdentity;
  EXPECT_EQ(id.IndivBlock, 0);
  EXPECT_EQ(id.ModelCode, 4);
  EXPECT_EQ(id.Options, 0);
  EXPECT_EQ(id.Year, 2009);
  EXPECT_EQ(id.SerialNo, 1);
  EXPECT_EQ(id.MAC, (Mac{0x0A, 0x55, 0x01, 0x7E, 0x08, 1}));

  ReadDemoUnit("Nobody");
  EXPECT_EQ(id.IndivBlock, 0);
  EXPECT_EQ(id.ModelCode, 4);

  WriteDemoUnit("Demo B", 2, 1, 0, 10, 5, true);  // the section is written anew
  ReadDemoUnit("Demo B");
  EXPECT_EQ(id.IndivBlock, 0);  // block 1 is gone: no data
}

TEST_F(DemoUnitTest, OutOfRangeFileValuesReadAsAbsent) {
  WriteDemoUnit("Demo C", 1, 300, -1, 9999, 70000, true);
  ReadDemoUnit("Demo C");
  EXPECT_EQ(InstrumentIdentity.IndivBlock, 0);  // every value absent: no data
  WriteDemoUnit("Demo C", 1, 251, 700, 12, 70000, true);
  ReadDemoUnit("Demo C");
  EXPECT_EQ(InstrumentIdentity.IndivBlock, 1);
  EXPECT_EQ(InstrumentIdentity.ModelCode, 8);
  EXPECT_EQ(InstrumentIdentity.Options, 0);
  EXPECT_EQ(InstrumentIdentity.SerialNo, 65535);
}

TEST_F(IdentityTest, TheCaptionNamesTheProduct) {
  EXPECT_EQ(BuildMainCaption(false), "Tarvel Technology.    Instrument not connected");
  InstrumentIdentity.ModelCode = 6;
  InstrumentIdentity.Year = 2008;
  EXPECT_EQ(BuildMainCaption(true), "Tarvel Technology    Vexilor Norv    Sampling Oscilloscope 12 GHz");
}

}  // namespace
}  // namespace norv
