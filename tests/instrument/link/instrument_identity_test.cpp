#include "instrument/link/instrument_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/language/language.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"
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

// Block, model, options, year and serial number of the identity.
using TFields = std::array<int, 5>;
TFields Fields() {
  const TInstrumentIdentity& id = InstrumentIdentity;
  return {id.IndivBlock, id.ModelCode, id.Options, id.Year, id.SerialNo};
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

  // Reads the identity with this individual-data reply.
  void ReadWith(const std::string& indivData) {
    if (!IsInstrumentConnected()) Connect();
    instrument.SetReply("Info:IndivData?", indivData);
    ASSERT_TRUE(ReadIndivData());
  }

  std::vector<std::string> messages;
};

TEST_F(IdentityTest, TheInstrumentTellsItsModelOptionsYearSerialAndVersions) {
  ReadWith("1 255 251 9 1234");
  const TInstrumentIdentity& id = InstrumentIdentity;
  EXPECT_EQ(Fields(), (TFields{1, 4, 4, 2009, 1234}));
  EXPECT_EQ(id.SWVer.Text, "3.12.1 (2012.05.03)");
  EXPECT_EQ(id.FPGAVer.Num, (std::array<int16_t, 4>{0, 17, -1, -1}));  // read from "0.17"
  EXPECT_EQ(id.MAC, Mac{});                                            // no LAN option: not asked
  EXPECT_TRUE(HasGeneratorsOption() && HasTDROption() && IsLxxModel());
  EXPECT_FALSE(HasClockRecoveryOption() || HasPatSyncTrigOption() || HasOpticsOption() || HasLANOption());
  EXPECT_FALSE(IsKxxModel());
  EXPECT_EQ(instrument.Commands(),
            (std::vector<std::string>{"Info:IndivData?", "Info:GetVer:SW?", "Info:GetVer:FPGAFW?"}));
  EXPECT_TRUE(messages.empty());

  // An unanswered read leaves the identity as it was.
  test::FakeClock clock;
  SetProgramClock(clock);
  instrument.SetFault(FakeInstrument::TFault::Silence);
  EXPECT_FALSE(ReadIndivData());
  EXPECT_EQ(Fields(), (TFields{1, 4, 4, 2009, 1234}));
  EXPECT_EQ(id.SWVer.Num[1], 12);
}

TEST_F(IdentityTest, ANetworkInstrumentTellsItsMacFromFirmware394On) {
  ReadWith("2 250 127 15 77");  // model 9, only the LAN option
  EXPECT_EQ(InstrumentIdentity.ModelCode, 9);
  EXPECT_TRUE(HasLANOption() && IsKxxModel());
  EXPECT_EQ(InstrumentIdentity.MAC, (Mac{0, 12, 34, 56, 78, 90}));

  instrument.SetReply("Info:GetVer:SW?", "3.9.3");
  ASSERT_TRUE(ReadIndivData());
  EXPECT_EQ(InstrumentIdentity.MAC, (Mac{0x05, 0x55, 0x01, 0x7E, 0x08, 77}));
}

TEST_F(IdentityTest, IncompleteOrOutOfRangeIndividualDataIsReset) {
  for (const char* reply : {"1 255 251 9", "1 255 251 9 70000", "1 255 251 9 -1", "1 255 256 9 5",
                            "1 255 251 63536 5", "1 255 251 9 12x"}) {
    ReadWith(reply);
    EXPECT_EQ(Fields(), (TFields{0, 4, 0, 2000, 0})) << reply;
  }
  ReadWith("1 300 251 9 1234");  // no model at all
  EXPECT_EQ(Fields(), (TFields{0, 0, 0, 2000, 0}));
  EXPECT_FALSE(HasGeneratorsOption());
  ReadWith("0 254 251 9 1234");  // no valid block
  EXPECT_EQ(Fields(), (TFields{0, 5, 0, 2000, 0}));
  EXPECT_TRUE(messages.empty());
  ReadWith("255 254 251 9 1234");  // firmware too old
  ReadWith("255 254 251 9 1234");
  EXPECT_EQ(Fields(), (TFields{0, 5, 0, 2000, 0}));
  EXPECT_LE(messages.size(), 1u);  // at most once per run
}

TEST(VersionText, NumbersAndDateAreReadAndTheFirstDifferingNumberDecides) {
  auto expectParsed = [](const char* text, std::array<int16_t, 4> numbers, std::array<int16_t, 3> date) {
    EXPECT_EQ(Version(text).Num, numbers) << text;
    EXPECT_EQ(Version(text).Date, date) << text;
  };
  expectParsed("11.1.1 (20 Jan 2008)", {11, 1, 1, -1}, {20, -1, -1});
  expectParsed("FW V2_5-7 9.4", {2, 5, 7, 9}, {-1, -1, -1});
  expectParsed("3.1 (2011/12/31)", {3, 1, -1, -1}, {2011, 12, 31});
  expectParsed("3.1 (2011)", {3, 1, -1, -1}, {2011, -1, -1});
  expectParsed("3.1 (211)", {3, 1, -1, -1}, {-1, -1, -1});   // too short for a date
  expectParsed("1.40000.2", {1, -1, -1, -1}, {-1, -1, -1});  // beyond 16 bits: the reading ends
  expectParsed("Timeout", {-1, -1, -1, -1}, {-1, -1, -1});

  const TSHW_Ver ver = Version("3.12.1 (2012.05.03)");
  EXPECT_TRUE(VersionAtLeast(ver, {3, 12}) && VersionAtLeast(ver, {3, 9, 4}) &&
              VersionAtLeast(ver, {3, 12, 1}));
  EXPECT_FALSE(VersionAtLeast(ver, {3, 13}) || VersionAtLeast(ver, {3, 12, 2}) || VersionAtLeast(ver, {4}));
  EXPECT_FALSE(VersionAtLeast(ver, {3, 12, 1, 0}));  // the missing fourth number is below 0
  EXPECT_FALSE(VersionAtLeast(Version("Timeout"), {0}));
}

TEST(ModelCodes, FlashCodesMapToModelsAndNames) {
  // Codes 255 and 250 are the reading tests'; the mapping is its own inverse.
  EXPECT_EQ(FlashCodeToModel(0), 3);
  for (uint8_t model = 1; model <= 9; ++model) EXPECT_EQ(FlashCodeToModel(ModelToFlashCode(model)), model);
  EXPECT_EQ(ModelToFlashCode(7), 252);

  EXPECT_EQ(ModelName(1, 5, false), "Vexilor Norv-L0");
  EXPECT_EQ(ModelName(6, 5, true), "Vexilor Norv-L2E  (253)");
  for (int model : {0, 10}) EXPECT_EQ(ModelName(model, 5, false), "Unknown Model") << model;
}

TEST_F(IdentityTest, OptionNamesComeFromTheLanguageTableForLxxModels) {
  EXPECT_EQ(OptionName(4, 4, false), "Generators");
  EXPECT_EQ(OptionName(4, 8, true), "O/E Converter  (~08)");
  EXPECT_EQ(OptionName(4, 128, true), "LAN  (~80)");
  EXPECT_EQ(OptionName(4, 64, false), "");
  EXPECT_EQ(OptionName(9, 4, false), "");
  EXPECT_EQ(OptionName(4, 255, true), " Basic  (255)");
  for (int bit : {3, 0}) EXPECT_THROW(OptionName(4, bit, false), EAssertion) << bit;
  EXPECT_EQ(OptionNamesText(1, 5, false), " + Clock Recovery Trigger + Generators");
  EXPECT_EQ(OptionNamesText(9, 128, false), " + ");
  EXPECT_EQ(OptionNamesText(1, 0, true), "");
}

TEST_F(IdentityTest, SerialNumbersAbove1000CarryTheModelPrefixAndTheCaptionNamesTheProduct) {
  TInstrumentIdentity& id = InstrumentIdentity;
  id.SWVer = Version("3.12");
  const struct {
    uint8_t Model;
    uint16_t Serial;
    const char* Text;
  } cases[] = {{6, 999, "0999"}, {6, 1000, "1000"}, {6, 1234, "QX303 / 234"}, {8, 1234, "QX301 / 234"}};
  for (const auto& c : cases) {
    id.ModelCode = c.Model;
    id.SerialNo = c.Serial;
    EXPECT_EQ(SerialNumberText(), c.Text);
  }
  EXPECT_TRUE(messages.empty());
  id.ModelCode = 9;
  EXPECT_EQ(SerialNumberText(), "??? / 234");
  EXPECT_EQ(messages, (std::vector<std::string>{"Bad Model for S/N > 1000"}));
  id.SWVer = Version("3.11.9");
  EXPECT_EQ(SerialNumberText(), "1234");
  EXPECT_EQ(messages.back(), "Bad FW Fersion for S/N > 1000");

  EXPECT_EQ(BuildMainCaption(false), "Tarvel Technology.    Instrument not connected");
  id.Year = 2008;
  EXPECT_EQ(BuildMainCaption(true), "Tarvel Technology    Vexilor Norv    Sampling Oscilloscope 12 GHz");
}

TEST(MacText, SixNumbersInByteRange) {
  auto expectParsed = [](const char* text, bool valid, Mac bytes) {
    Mac mac{};
    EXPECT_EQ(ParseMacAddress(text, mac), valid) << text;
    EXPECT_EQ(mac, bytes) << text;
  };
  expectParsed("0.12.34.56.78.90", true, {0, 12, 34, 56, 78, 90});
  expectParsed("  10 11  12 13 14 15", true, {10, 11, 12, 13, 14, 15});
  expectParsed("1 2 3 4 5", false, {1, 2, 3, 4, 255, 255});
  expectParsed("1 2 3 256 5 6", false, {1, 2, 3, 255, 255, 255});
  expectParsed("1 2 x 4 5 6", false, {1, 2, 255, 255, 255, 255});
  expectParsed("", false, {255, 255, 255, 255, 255, 255});
}

TEST_F(IdentityTest, ADemoInstrumentReadsItsFileWhereEmptyBlocksPassToTheNext) {
  std::filesystem::remove(ProgramDir() / DemoUnitsFileName);
  WriteDemoUnit("Demo A", 1, 2, 251, 12, 77, true);
  LinkKind = TLinkKind::Demo;
  LinkHooks.CurrentInstrumentName.Set([] { return std::string("Demo A"); });
  ASSERT_TRUE(ReadIndivData());
  EXPECT_EQ(Fields(), (TFields{1, 5, 4, 2012, 77}));  // model 2 shows as its E variant
  EXPECT_EQ(InstrumentIdentity.SWVer.Text, "11.1.1 (20 Jan 2008)");
  EXPECT_EQ(InstrumentIdentity.SWVer.Date, (std::array<int16_t, 3>{2008, 1, 20}));
  EXPECT_EQ(InstrumentIdentity.MAC, (Mac{0x0A, 0x55, 0x01, 0x7E, 0x08, 77}));
  EXPECT_EQ(BuildMainCaption(true), "Tarvel Technology    Vexilor Norv-L1E    Sampling Oscilloscope 12 GHz");
  EXPECT_EQ(ProductNameHook(), "Vexilor Norv-L1E");

  WriteDemoUnit("Demo B", 1, 0, 0, 0, 0, true);
  WriteDemoUnit("Demo B", 2, 0, 0, 0, 0, false);
  WriteDemoUnit("Demo B", 3, 250, 247, 5, 300, false);
  ReadDemoUnit("Demo B");
  EXPECT_EQ(Fields(), (TFields{3, 9, 8, 2009, 300}));  // 2005 is raised

  // Missing data gives the default.
  WriteDemoUnit("Demo B", 3, 0, 0, 0, 0, false);
  WriteDemoUnit("Demo B", 4, 0, 0, 0, 0, false);
  ReadDemoUnit("Demo B");
  EXPECT_EQ(Fields(), (TFields{0, 4, 0, 2009, 1}));
  EXPECT_EQ(InstrumentIdentity.MAC, (Mac{0x0A, 0x55, 0x01, 0x7E, 0x08, 1}));
  ReadDemoUnit("Nobody");
  EXPECT_EQ(Fields(), (TFields{0, 4, 0, 2009, 1}));
  WriteDemoUnit("Demo B", 2, 1, 0, 10, 5, true);  // the section is written anew
  ReadDemoUnit("Demo B");
  EXPECT_EQ(InstrumentIdentity.IndivBlock, 0);  // block 1 is gone: no data

  // A value out of its range reads as absent.
  WriteDemoUnit("Demo C", 1, 300, -1, 9999, 70000, true);
  ReadDemoUnit("Demo C");
  EXPECT_EQ(InstrumentIdentity.IndivBlock, 0);  // every value absent: no data
  WriteDemoUnit("Demo C", 1, 251, 700, 12, 70000, true);
  ReadDemoUnit("Demo C");
  EXPECT_EQ(Fields(), (TFields{1, 8, 0, 2012, 65535}));
}

}  // namespace
}  // namespace norv
