#include "framework/text/ini_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

#include "support/temp_home.h"

namespace norv {
namespace {

std::filesystem::path NewFile(const char* name) { return test::MakeTempDir("ini") / name; }

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(IniFile, RoundTripOfSeveralSections) {
  auto path = NewFile("round.ini");
  {
    TMemIniFile_Dot ini(path);
    ini.WriteString("COMMON", "Start Unit", "Default Auto");
    ini.WriteInteger("COMMON", "Count", -12);
    ini.WriteFloat("Demo Instrument", "Level", 0.25);
    ini.WriteFloat("Demo Instrument", "Rate", 10.709225e9);
    ini.WriteFloat("Demo Instrument", "Third", 1.0 / 3);
    ini.WriteBool("Demo Instrument", "On", true);
    ini.WriteString("Last", "Name", "  padded  ");
    ini.UpdateFile();
  }
  EXPECT_NE(ReadBytes(path).find("Rate=10709225000\n"), std::string::npos);

  TMemIniFile_Dot ini(path);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"COMMON", "Demo Instrument", "Last"}));
  EXPECT_EQ(ini.ReadSection("Demo Instrument"), (std::vector<std::string>{"Level", "Rate", "Third", "On"}));
  EXPECT_EQ(ini.ReadString("COMMON", "Start Unit", ""), "Default Auto");
  EXPECT_EQ(ini.ReadInteger("COMMON", "Count", 0), -12);
  EXPECT_EQ(ini.ReadFloat("Demo Instrument", "Level", 0), 0.25);
  EXPECT_EQ(ini.ReadFloat("Demo Instrument", "Rate", 0), 10.709225e9);
  EXPECT_EQ(ini.ReadFloat("Demo Instrument", "Third", 0), 0.333333333333333);  // 15 digits
  EXPECT_TRUE(ini.ReadBool("Demo Instrument", "On", false));
  EXPECT_EQ(ini.ReadString("Last", "Name", ""), "padded");  // ini values carry no outer blanks
}

TEST(IniFile, NamesMatchIgnoringCaseUnlessAskedNotTo) {
  auto path = NewFile("case.ini");
  WriteBytes(path, "[Common]\nAmplitude=1\nAMPLITUDE=2\n");
  TMemIniFile_Dot plain(path);
  EXPECT_EQ(plain.ReadString("COMMON", "amplitude", "-"), "1");  // the first of equal keys
  EXPECT_TRUE(plain.SectionExists("common"));
  plain.WriteString("common", "AMPLITUDE", "3");
  EXPECT_EQ(plain.GetText(), "[Common]\nAmplitude=3\nAMPLITUDE=2\n");

  TMemIniFile_Dot exact(path, true);
  EXPECT_EQ(exact.ReadString("Common", "AMPLITUDE", "-"), "2");
  EXPECT_EQ(exact.ReadString("Common", "amplitude", "-"), "-");
  EXPECT_FALSE(exact.SectionExists("COMMON"));
}

TEST(IniFile, SectionsOfOneNameAndErasedSections) {
  auto path = NewFile("same.ini");
  WriteBytes(path, "[A]\nk=1\n[b]\nk=2\n[ a ]\nk=3\nx=4\n[C]\nk=5\n");
  TMemIniFile_Dot exact(path, true);
  EXPECT_EQ(exact.ReadSections(), (std::vector<std::string>{"A", "b", "a", "C"}));
  EXPECT_EQ(exact.ReadString("a", "k", ""), "3");

  TMemIniFile_Dot ini(path);
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"A", "b", "C"}));
  EXPECT_EQ(ini.ReadString("a", "k", ""), "1");  // the first section of the name
  EXPECT_EQ(ini.ReadString("A", "x", "-"), "-");
  ini.EraseSection("a");  // every section of the name
  EXPECT_FALSE(ini.SectionExists("A"));
  ini.WriteString("A", "k", "6");  // comes back at the end
  ini.EraseSection("C");
  ini.WriteString("D", "k", "7");
  EXPECT_EQ(ini.ReadSections(), (std::vector<std::string>{"b", "A", "D"}));
  EXPECT_EQ(ini.GetText(), "[b]\nk=2\n[A]\nk=6\n\n[D]\nk=7\n");

  // Keys of one name: the first counts, and the next one once the first is deleted.
  auto keys = NewFile("keys.ini");
  WriteBytes(keys, "[K]\nx=1\nX=2\ny=3\n; end\n");
  TMemIniFile_Dot k(keys);
  k.DeleteKey("K", "x");
  EXPECT_EQ(k.ReadString("K", "X", ""), "2");
  k.WriteString("K", "z", "4");
  k.WriteString("k", "x", "5");
  EXPECT_EQ(k.ReadSectionValues("K"),
            (std::vector<std::pair<std::string, std::string>>{{"X", "5"}, {"y", "3"}, {"z", "4"}}));
  EXPECT_EQ(k.GetText(), "[K]\nX=5\ny=3\nz=4\n; end\n");

  // Many sections, each name three times in other letter cases: the first one counts.
  std::string text;
  for (int round = 0; round < 3; ++round)
    for (int i = 0; i < 1000; ++i)
      text += (round == 1 ? "[s" : "[S") + std::to_string(i) + "]\nv=" + std::to_string(round) + "\n";
  WriteBytes(path, text);
  TMemIniFile_Dot many(path);
  const std::vector<std::string> names = many.ReadSections();
  ASSERT_EQ(names.size(), 1000u);
  for (int i = 0; i < 1000; i += 111) {
    EXPECT_EQ(names[static_cast<size_t>(i)], "S" + std::to_string(i));
    EXPECT_EQ(many.ReadString("s" + std::to_string(i), "v", ""), "0");
  }
  for (int i = 0; i < 1000; i += 2) many.EraseSection("S" + std::to_string(i));
  EXPECT_EQ(many.ReadSections().size(), 500u);
  EXPECT_EQ(many.ReadSections().front(), "S1");
}

TEST(IniFile, WritingKeepsWhatItDidNotChange) {
  auto path = NewFile("keep.ini");
  const std::string original =
      "; written by hand\r\n"
      "[A]\r\n"
      "  Key = Old  \r\n"
      "Other=x\r\n"
      "\r\n"
      "; about B\r\n"
      "[B]\r\n"
      "K=1\r\n"
      "stray line\r\n";
  WriteBytes(path, original);
  TIniFile_Dot ini(path);
  ini.WriteString("a", "KEY", "New");
  ini.WriteString("A", "Added", "v");
  ini.WriteString("C", "Fresh", "1");
  EXPECT_EQ(ReadBytes(path),
            "; written by hand\r\n"
            "[A]\r\n"
            "Key=New\r\n"
            "Other=x\r\n"
            "Added=v\r\n"
            "\r\n"
            "; about B\r\n"
            "[B]\r\n"
            "K=1\r\n"
            "stray line\r\n"
            "\r\n"
            "[C]\r\n"
            "Fresh=1\r\n");
  // Writing a value it already holds rewrites nothing, spacing included.
  WriteBytes(path, original);
  ini.WriteString("A", "Key", "Old");
  EXPECT_EQ(ReadBytes(path), original);

  ini.DeleteKey("A", "Other");
  ini.EraseSection("B");
  EXPECT_EQ(ReadBytes(path), "; written by hand\r\n[A]\r\n  Key = Old  \r\n\r\n; about B\r\n");
}

// CRs before a line's LF (or at the file's end) belong to its end; every line written ends
// as the file's first line did, whatever mix it read.
TEST(IniFile, LineEndsOfAnyMixAreWrittenAsTheFirstLines) {
  struct Case {
    const char* read;
    const char* written;  // after A:K=2, then B:N=4
  };
  const Case cases[] = {
      {"[A]\nK=1\r\n; note\r\r\n[B]\r\nM=3\r", "[A]\nK=2\n; note\n[B]\nM=3\nN=4\n"},
      {"[B]\r\nM=3\nX\r", "[B]\r\nM=3\r\nN=4\r\nX\r\n\r\n[A]\r\nK=2\r\n"},
      {"[B]\nM=3", "[B]\nM=3\nN=4\n\n[A]\nK=2"},
  };
  auto path = NewFile("ends.ini");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.read);
    WriteBytes(path, c.read);
    TIniFile_Dot ini(path);
    EXPECT_EQ(ini.ReadString("B", "M", ""), "3");
    ini.WriteString("A", "K", "2");
    ini.WriteString("B", "N", "4");
    EXPECT_EQ(ReadBytes(path), c.written);
  }
}

// A float is written with 15 significant digits; a key that already holds the value to
// those digits keeps the text it has, so a value read and stored again stays as written.
TEST(IniFile, FloatsTakeFifteenDigitsAndAHeldValueKeepsItsText) {
  struct Case {
    const char* held;  // nullptr: no such key yet
    double value;
    const char* written;
  };
  const Case cases[] = {
      {nullptr, 0.1 + 0.2, "0.3"},
      {nullptr, 1.0 / 3, "0.333333333333333"},
      {nullptr, 10.709225e9, "10709225000"},
      {nullptr, -1.5e-300, "-1.5E-300"},
      {"1.50", 1.5, "1.50"},
      {"1.50", std::nextafter(1.5, 2.0), "1.50"},  // the same to 15 digits
      {"0.30000000000000004", 0.3, "0.30000000000000004"},
      {"2E3", 2000, "2E3"},
      {"1.50", 1.25, "1.25"},
      {"1.5x", 1.5, "1.5"},
      {"DefaultValue", 2, "2"},
  };
  auto path = NewFile("floats.ini");
  for (const bool atOnce : {false, true}) {
    for (const Case& k : cases) {
      SCOPED_TRACE(std::string(atOnce ? "file-backed, " : "in memory, ") + (k.held ? k.held : "none"));
      WriteBytes(path, k.held ? std::string("[S]\nF=") + k.held + "\n" : "");
      if (atOnce) {
        TIniFile_Dot(path).WriteFloat("S", "F", k.value);
      } else {
        TMemIniFile_Dot ini(path);
        ini.WriteFloat("S", "F", k.value);
        ini.UpdateFile();
      }
      EXPECT_EQ(ReadBytes(path), std::string("[S]\nF=") + k.written + "\n");
    }
  }
}

TEST(IniFile, FileBackedObjectsSeeEachOthersWrites) {
  auto path = NewFile("shared.ini");
  TIniFile_Dot first(path), second(path);
  EXPECT_FALSE(first.ValueExists("S", "K"));
  first.WriteInteger("S", "K", 5);
  EXPECT_EQ(second.ReadInteger("S", "K", 0), 5);
  second.WriteInteger("S", "L", 6);
  EXPECT_EQ(first.ReadSectionValues("S"),
            (std::vector<std::pair<std::string, std::string>>{{"K", "5"}, {"L", "6"}}));
}

TEST(IniFile, EncodingsAreReadAndKeptOnWrite) {
  // UTF-16 little-endian with byte-order mark: "[Common]\r\nCommon:Language=Русский\r\n"
  std::string utf8 =
      "[Common]\r\nCommon:Language=\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\r\n";
  std::u16string units = u"[Common]\r\nCommon:Language=Русский\r\n";
  std::string le = "\xFF\xFE", be = "\xFE\xFF";
  for (char16_t u : units) {
    le += static_cast<char>(u & 0xFF);
    le += static_cast<char>(u >> 8);
    be += static_cast<char>(u >> 8);
    be += static_cast<char>(u & 0xFF);
  }
  struct Case {
    const char* name;
    std::string bytes;
    TTextEncoding encoding;
  };
  for (const Case& c : {Case{"le", le, TTextEncoding::Utf16LE}, Case{"be", be, TTextEncoding::Utf16BE},
                        Case{"bom", "\xEF\xBB\xBF" + utf8, TTextEncoding::Utf8Bom},
                        Case{"utf8", utf8, TTextEncoding::Utf8}}) {
    auto path = NewFile(c.name);
    WriteBytes(path, c.bytes);
    TMemIniFile_Dot ini(path, true);
    EXPECT_EQ(ini.Encoding(), c.encoding) << c.name;
    EXPECT_EQ(ini.ReadString("Common", "Common:Language", ""),
              "\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9")
        << c.name;
    ini.UpdateFile();
    EXPECT_EQ(ReadBytes(path), c.bytes) << c.name;
  }

  // An old 8-bit file: 0xB5 is the micro sign; written back byte for byte, and as UTF-8
  // once it holds a character the code page lacks.
  auto path = NewFile("old.ini");
  WriteBytes(path, "[U]\nUnit=\xB5s\n");
  TMemIniFile_Dot ini(path);
  EXPECT_EQ(ini.Encoding(), TTextEncoding::Ansi);
  EXPECT_EQ(ini.ReadString("U", "Unit", ""), "\xC2\xB5s");
  ini.WriteString("U", "Euro", "\xE2\x82\xAC");  // the euro sign is in the code page
  ini.UpdateFile();
  EXPECT_EQ(ReadBytes(path), "[U]\nUnit=\xB5s\nEuro=\x80\n");
  ini.WriteString("U", "Omega", "\xCE\xA9");
  ini.UpdateFile();
  EXPECT_EQ(ReadBytes(path), "[U]\nUnit=\xC2\xB5s\nEuro=\xE2\x82\xAC\nOmega=\xCE\xA9\n");

  // Once the byte that was not UTF-8 is gone, "Ã©" in the code page would read back as
  // "é": such a file is written as marked UTF-8 instead.
  auto turning = NewFile("turning.ini");
  WriteBytes(turning, "[a]\r\nx=\xC3\xA9\r\ny=\xFF\r\n");
  TMemIniFile_Dot old(turning);
  old.WriteString("a", "y", "1");
  old.UpdateFile();
  TMemIniFile_Dot reread(turning);
  EXPECT_EQ(reread.ReadString("a", "x", ""), "\xC3\x83\xC2\xA9");
}

TEST(IniFile, DamagedNumbersFallBackToTheDefault) {
  auto path = NewFile("num.ini");
  WriteBytes(path,
             "[N]\nF=2.5\nComma=2,5\nText=abc\nNan=nan\nDef=DefaultValue\nEmpty=\n"
             "I=-7\nHex=0x1F\nDollar=$10\nHuge=99999999999\nBad=12abc\n");
  TMemIniFile_Dot ini(path);
  EXPECT_EQ(ini.ReadFloat("N", "F", 9), 2.5);
  for (const char* key : {"Comma", "Text", "Nan", "Def", "Empty", "Absent"})
    EXPECT_EQ(ini.ReadFloat("N", key, 9), 9) << key;
  for (const auto& [key, value] : {std::pair{"I", -7}, {"Hex", 31}, {"Dollar", 16}})
    EXPECT_EQ(ini.ReadInteger("N", key, 0), value) << key;
  for (const char* key : {"Huge", "Bad", "Text", "Empty", "F"})
    EXPECT_EQ(ini.ReadInteger("N", key, 3), 3) << key;
  EXPECT_TRUE(ini.ReadBool("N", "Absent", true));
  EXPECT_FALSE(ini.ReadBool("N", "Text", false));
}

TEST(IniFile, RefusesNamesAndValuesALineCannotHold) {
  TMemIniFile_Dot ini(NewFile("bad.ini"));
  for (const auto& [section, key, value] :
       {std::tuple{"S", "K", "two\nlines"}, {"S", "a=b", "v"}, {"S]", "K", "v"}, {"", "K", "v"}})
    EXPECT_THROW(ini.WriteString(section, key, value), EIniFileError) << section << "/" << key;
  EXPECT_TRUE(ini.ReadSections().empty());
}

TEST(IniFile, UnreadableOrUnwritableFilesRaise) {
  auto dir = test::MakeTempDir("ini-dir");
  EXPECT_THROW(TMemIniFile_Dot(dir / "missing-folder" / "x.ini").UpdateFile(), EIniFileError);
  // A folder where the file should be cannot be read as one.
  EXPECT_THROW(TMemIniFile_Dot{dir}, EIniFileError);
}

}  // namespace
}  // namespace norv
