// The instrument list as "Configuration.ini" gives it, and as the selection dialog edits
// it.

#include "instrument/startup/instrument_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "framework/settings/program_objects.h"
#include "framework/text/ini_file.h"

namespace norv::test {
namespace {

void WriteConfiguration(const std::string& text) {
  std::ofstream(ConfigurationFilePath(), std::ios::binary) << text;
}

std::string ReadConfiguration() {
  std::ifstream in(ConfigurationFilePath(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// "name:kind:label:address" per entry, ";" between them.
std::string ListText() {
  std::string text;
  for (const TInstrumentEntry& e : InstrumentList) {
    text += (text.empty() ? "" : ";") + e.Name + ":" + LinkKindText(e.Prop.Kind) + ":" + e.Prop.Label;
    if (e.Prop.Address.Valid) text += ":" + IPv4ToDottedStr(e.Prop.Address);
  }
  return text;
}

class InstrumentListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    std::filesystem::remove(ConfigurationFilePath());
  }
  void TearDown() override { FreshProgramState(); }
};

const std::string Pseudo = "Absent:None:;Default Demo:Demo:;Default LAN:LAN::192.168.1.55;Default USB:USB:";

TEST_F(InstrumentListTest, ConfigurationTextsGiveTheListAndTheStartChoice) {
  struct TCase {
    const char* What;
    const char* File;  // nullptr: no file
    std::string List;
    const char* Start;
    const char* LastSmart;
  };
  const TCase cases[] = {
      {"no file", nullptr, Pseudo, "Default Auto", "Default USB"},
      {"empty file", "", Pseudo, "Default Auto", "Default USB"},
      {"valid entries",
       "[Instrument1 Instrument]\nName=Bench scope\nInterface=LAN\nIP Address=10.0.0.7\n"
       "[Demo1 Instrument]\nName=\nInterface=demo\n[COMMON]\nStart Unit=instrument1\n",
       "Absent:None:;Default Demo:Demo:;Default LAN:LAN::192.168.1.55;Default USB:USB:;Demo1:Demo:;"
       "Instrument1:LAN:Bench scope:10.0.0.7",
       "Instrument1", "Default USB"},
      {"each invalid kind goes, nothing else",
       "[Instrument9 Instrument]\nInterface=LAN\nIP Address=10.0.0.9\n"
       "[Instrument2 Instrument]\nName=wrong kind\nInterface=USB\n"
       "[Instrument3 Instrument]\nInterface=LAN\nIP Address=10.0.0\n"
       "[Instrument4 Instrument]\nInterface=LAN\n"
       "[instrument5 Instrument]\nInterface=LAN\nIP Address=10.0.0.5\n"
       "[Demo2 Instrument]\nInterface=Demo\nIP Address=10.0.0.2\n"
       "[Demo3 Instrument]\nInterface=Bluetooth\n"
       "[Demo1 Instrument]\nInterface=Demo\n",
       Pseudo + ";Demo1:Demo:", "Default Auto", "Default USB"},
      {"damaged pseudo entries are repaired with their label",
       "[Default LAN Instrument]\nName=Lab\nInterface=LAN\nIP Address=10.1.1.1\n"
       "[absent Instrument]\nName=off\n[Default USB Instrument]\nInterface=LAN\nIP Address=10.0.0.1\n",
       "Absent:None:off;Default Demo:Demo:;Default LAN:LAN:Lab:192.168.1.55;Default USB:USB:", "Default Auto",
       "Default USB"},
      {"damaged lines and a second section of one name",
       "garbage before\n[Demo1]\nInterface=Demo\nno equals sign here\n[Demo1 Instrument]\nName=second\n"
       "Interface=Demo\n[COMMON]\nStart Unit=Demo1\nLast Smart Instrument=Default LAN\n",
       Pseudo + ";Demo1:Demo:", "Demo1", "Default USB"},
      {"an entry under an odd section name moves to its own section",
       "[Default LAN Instrument=x]\nName=Lab\nInterface=LAN\nIP Address=192.168.1.55\n"
       "[Demo1]\nInterface=Demo\n",
       "Absent:None:;Default Demo:Demo:;Default LAN:LAN:Lab:192.168.1.55;Default USB:USB:;Demo1:Demo:",
       "Default Auto", "Default USB"},
      {"a damaged pseudo section gives way to a valid one after it",
       "[Default LAN Instrument x]\nName=Bench\n[Default LAN Instrument]\nName=t0\nInterface=LAN\n"
       "IP Address=192.168.1.55\n[Default USB Instrument x]\nName=Bench\n[Default USB Instrument]\nName=t1\n",
       "Absent:None:;Default Demo:Demo:;Default LAN:LAN:t0:192.168.1.55;Default USB:USB:Bench",
       "Default Auto", "Default USB"},
      {"an entry's own section in other letter case keeps the entry moved there",
       "[Instrument1 Instrument(]\r\nName=Bench scope\r\nInterface=LAN\r\nIP Address=10.0.0.7\r\n"
       "[Instrument1 InstruMent]\r\nName=X\r\nInterface=LAN\r\n",
       Pseudo + ";Instrument1:LAN:Bench scope:10.0.0.7", "Default Auto", "Default USB"},
      {"a label with control characters stays one line",
       "[Demo1 Instrument]\nName=\x02Lab\rscope\x1F\nInterface=Demo\n", Pseudo + ";Demo1:Demo:Lab scope",
       "Default Auto", "Default USB"},
      {"auto start remembers the last smart instrument",
       "[COMMON]\nStart Unit=default auto\nLast Smart Instrument=Default LAN\n", Pseudo, "Default Auto",
       "Default LAN"},
      {"a damaged last smart instrument is USB",
       "[COMMON]\nStart Unit=Default Auto\nLast Smart Instrument=Demo1\n", Pseudo, "Default Auto",
       "Default USB"},
      {"a start instrument no longer listed",
       "[COMMON]\nStart Unit=Instrument4\nLast Smart Instrument=Default LAN\n", Pseudo, "Default Auto",
       "Default LAN"},
  };
  for (const TCase& c : cases) {
    FreshProgramState();
    std::filesystem::remove(ConfigurationFilePath());
    if (c.File) WriteConfiguration(c.File);
    ReadInstrumentConfiguration();
    EXPECT_EQ(ListText(), c.List) << c.What;
    EXPECT_EQ(StartInstrumentName, c.Start) << c.What;
    EXPECT_EQ(InstrumentListState.LastSmartInstrument, c.LastSmart) << c.What;

    // The repairs are in the file: it reads back to the same list without changing.
    const std::string repaired = ReadConfiguration();
    ReadInstrumentConfiguration();
    EXPECT_EQ(ListText(), c.List) << c.What << ", read again";
    EXPECT_EQ(ReadConfiguration(), repaired) << c.What << ", read again";
  }

  // Entries read from odd section names are written back under their own, and nothing
  // else is left to hide what a later write puts there.
  WriteConfiguration("[Default LAN Instrument=x]\nName=Lab\nInterface=LAN\nIP Address=192.168.1.55\n");
  ReadInstrumentConfiguration();
  InstrumentList.Find(DefaultLanName)->Label = "Bench";
  WriteInstrumentConfiguration();
  ReadInstrumentConfiguration();
  EXPECT_EQ(InstrumentList.Find(DefaultLanName)->Label, "Bench");
  EXPECT_EQ(ReadConfiguration().find("=x]"), std::string::npos);

  // A start instrument that had to be replaced is written as the automatic chain, which
  // keeps its memory; an empty file gets the chain from USB.
  for (const auto& [file, lastSmart] :
       {std::pair{"[COMMON]\nStart Unit=Instrument4\nLast Smart Instrument=Default LAN\n", "Default LAN"},
        {"", "Default USB"}}) {
    WriteConfiguration(file);
    ReadInstrumentConfiguration();
    TMemIniFile_Dot ini(ConfigurationFilePath());
    EXPECT_EQ(ini.ReadString("COMMON", "Start Unit", ""), "Default Auto") << file;
    EXPECT_EQ(ini.ReadString("COMMON", "Last Smart Instrument", ""), lastSmart) << file;
  }
}

TEST_F(InstrumentListTest, CommandLineChoosesByNameOrLabel) {
  WriteConfiguration(
      "[Instrument1 Instrument]\nName=My Scope\nInterface=LAN\nIP Address=10.0.0.7\n"
      "[COMMON]\nStart Unit=Default LAN\n");
  struct TCase {
    std::vector<std::string> Params;
    const char* Start;
    bool Chosen;
  };
  const TCase cases[] = {
      {{"default_auto"}, "Default Auto", true},
      {{"-Embedding", "my_scope"}, "Instrument1", true},
      {{"INSTRUMENT1"}, "Instrument1", true},
      {{"absent", "my_scope"}, "Absent", true},
      {{"Default_Demo"}, "Default Demo", true},
      // An empty parameter names no entry with an empty label.
      {{"", "other"}, "Default LAN", false},
  };
  for (const TCase& c : cases) {
    InstrumentListState.CommandLine = c.Params;
    ReadInstrumentConfiguration();
    EXPECT_EQ(StartInstrumentName, c.Start) << c.Params.back();
    EXPECT_EQ(InstrumentListState.CommandLineChosen, c.Chosen) << c.Params.back();
  }

  // A start chosen on the command line leaves the stored choice alone.
  InstrumentListState.CommandLine = {"default_demo"};
  ReadInstrumentConfiguration();
  WriteInstrumentConfiguration();
  EXPECT_EQ(TMemIniFile_Dot(ConfigurationFilePath()).ReadString("COMMON", "Start Unit", ""), "Default LAN");
}

TEST_F(InstrumentListTest, EditsKeepNamesLabelsAndAddressesApart) {
  WriteConfiguration(
      "[Instrument1 Instrument]\nName=Lab ]scope [x]\nInterface=LAN\nIP Address=10.0.0.7\n"
      "[Instrument2 Instrument]\nName=Spare\nInterface=LAN\nIP Address=10.0.0.8\n");
  ReadInstrumentConfiguration();

  // A label with brackets neither changes the name shown nor the one the entry gives.
  const int first = InstrumentList.IndexOf("Instrument1");
  EXPECT_EQ(InstrumentDisplayText(first), "Lab ]scope [x]  [Instrument1]");
  EXPECT_EQ(InstrumentDisplayText(InstrumentList.IndexOf("Absent")), "Absent");

  // The duplicate-address check runs for edits too, and an entry may keep its own address.
  TIPv4Addr address;
  EXPECT_EQ(CheckInstrumentEntry("Instrument1", TLinkKind::LAN, "10.0.0.8", address),
            TEntryCheck::AddressInUse);
  EXPECT_EQ(CheckInstrumentEntry("Instrument1", TLinkKind::LAN, "10.0.0.7", address), TEntryCheck::Ok);
  EXPECT_EQ(CheckInstrumentEntry("Instrument3", TLinkKind::LAN, "10.0.0.7", address),
            TEntryCheck::AddressInUse);
  EXPECT_EQ(CheckInstrumentEntry("Instrument3", TLinkKind::LAN, "10.0.0.300", address),
            TEntryCheck::BadAddress);
  EXPECT_EQ(CheckInstrumentEntry("Demo2", TLinkKind::Demo, "", address), TEntryCheck::Ok);

  // The current, the start and the default instruments stay.
  CurrentInstrumentName = "Instrument2";
  EXPECT_FALSE(DeleteInstrumentEntry("Instrument2"));
  EXPECT_FALSE(DeleteInstrumentEntry("Default LAN"));

  // A deleted name is not given out again while its section waits to be erased, so a new
  // entry keeps its settings when the list is written.
  CurrentInstrumentName = "Absent";
  ASSERT_TRUE(DeleteInstrumentEntry("Instrument1"));
  const std::string name = NewInstrumentName();
  EXPECT_EQ(name, "Instrument3");
  TInstrumentProp prop{TLinkKind::LAN, "New one", {}};
  ASSERT_EQ(CheckInstrumentEntry(name, TLinkKind::LAN, "10.0.0.7", prop.Address), TEntryCheck::Ok);
  StoreInstrumentEntry(name, prop);
  StartInstrumentName = name;
  WriteInstrumentConfiguration();
  ReadInstrumentConfiguration();
  EXPECT_EQ(ListText(), Pseudo + ";Instrument2:LAN:Spare:10.0.0.8;Instrument3:LAN:New one:10.0.0.7");
  EXPECT_EQ(StartInstrumentName, "Instrument3");

  // All names taken: nothing to add.
  for (const char* n : {"Instrument1", "Instrument4", "Instrument5", "Instrument6", "Instrument7",
                        "Instrument8", "Demo2", "Demo3"})
    StoreInstrumentEntry(n, {});
  EXPECT_EQ(NewInstrumentName(), "");
  EXPECT_EQ(NewDemoName(), "");
}

}  // namespace
}  // namespace norv::test
