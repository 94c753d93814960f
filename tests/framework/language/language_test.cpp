#include "framework/language/language.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>

#include "framework/settings/program_objects.h"
#include "framework/text/text_case.h"
#include "framework/traces/trace_names.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"
#include "support/temp_home.h"

namespace norv {
namespace {

const std::string kHeading =
    " \xD0\x9A \xD0\x9E \xD0\x9C \xD0\x9C \xD0\x95 \xD0\x9D \xD0\xA2 \xD0\x90 \xD0\xA0 \xD0\x98 \xD0\x99 - ";

// Each test gets its own program folder and a clean language state; messages are kept.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    oldHome_ = std::getenv("VEXILOR_NORV_HOME");
    home_ = test::MakeTempDir("lang-home");
    setenv("VEXILOR_NORV_HOME", home_.c_str(), 1);
    FreshProgramState();
    LanguageMessageHook.Set([this](const std::string& m) { messages_.push_back(m); });
    LanguageStrings = TLanguageStrings{};
  }
  void TearDown() override {
    setenv("VEXILOR_NORV_HOME", oldHome_.c_str(), 1);
    FreshProgramState();
  }
  void WriteFile(const std::string& name, const std::string& bytes) {
    std::ofstream(home_ / name, std::ios::binary) << bytes;
  }

  std::string oldHome_;
  std::filesystem::path home_;
  std::vector<std::string> messages_;
};

TEST_F(LanguageTest, BuiltInKeysAreUniqueAndHeadingsHaveNoText) {
  TLanguageStrings table;
  RegisterDefaultLangStrings(table);
  std::set<std::string> keys;
  for (size_t i = 0; i < table.Count(); ++i) {
    keys.insert(table.Key(i));
    if (table.Key(i).starts_with(kHeading)) {
      EXPECT_EQ(table.GetLangStr(table.Key(i)), "") << i;
    }
  }
  EXPECT_EQ(keys.size(), table.Count());
  // Keys differing only in case are two keys.
  EXPECT_EQ(table.GetLangStr("AMPLITUDE"), "AMPLITUDE");
  EXPECT_EQ(table.GetLangStr("Amplitude"), "Amplitude");
  EXPECT_TRUE(messages_.empty());
}

TEST_F(LanguageTest, LookupFailuresAndDuplicates) {
  TLanguageStrings table;
  table.AddLangStr("Key", "first");
  table.AddLangStr("Key", "second");  // unsorted: nothing is checked, the first wins
  EXPECT_EQ(table.GetLangStr("Key"), "first");
  EXPECT_EQ(table.GetLangStr("key"), std::string(32, '?'));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "           ERROR!!!\r\n Language String \"rskey\" is absent!");

  table.MakeSorted();
  EXPECT_EQ(table.Count(), 1u);
  table.AddLangStr("Key", "third");
  EXPECT_EQ(table.GetLangStr("Key"), "first");
  EXPECT_EQ(messages_.back(), "TLanguageStrings.AddLangStr - Name \"Key\" Duplicated");
  table.AddLangStr("Z", "z");
  table.ChangeLangStr("Nope", "x");
  EXPECT_EQ(messages_.back(), "TLanguageStrings.ChangeLangStr - Name \"Nope\" Not Found");
  table.ChangeLangStr("Z", "zz");
  EXPECT_EQ(table.GetLangStr("Z"), "zz");
  EXPECT_EQ(table.EnglishText("Z"), "z");
}

TEST_F(LanguageTest, UnitMarkerOnlyFirstOccurrence) {
  TLanguageStrings table;
  table.AddLangStr("T", "@Unit@ and @Unit@");
  EXPECT_EQ(table.GetLangStr("T"), "@Unit@ and @Unit@");  // no product known yet
  ProductNameHook.Set([] { return std::string("Model 7"); });
  EXPECT_EQ(table.GetLangStr("T"), "Model 7 and @Unit@");
  EXPECT_EQ(table.GetLangStr("T", true), "@Unit@ and @Unit@");
}

TEST_F(LanguageTest, ValueEncodingExamples) {
  const std::pair<const char*, const char*> examples[] = {
      {"A\r\nB", "'A'#13#10'B'"}, {" x", "' x'"},     {"x ", "'x '"}, {"#1", "'#1'"},
      {"it's", "'it''s'"},        {"\r\n", "#13#10"}, {"", ""},       {"Plain text", "Plain text"}};
  std::string text;
  for (const auto& [plain, encoded] : examples) {
    EXPECT_EQ(EncodeLangValue(plain), encoded);
    EXPECT_TRUE(DecodeLangValue(encoded, text));
    EXPECT_EQ(text, plain);
  }
  EXPECT_TRUE(DecodeLangValue("#937'x'", text));  // a code above 255 is a Unicode character
  EXPECT_EQ(text, "\xCE\xA9x");
  EXPECT_FALSE(DecodeLangValue("'open", text));
  EXPECT_EQ(text, "open");
  // A '#' without its number is no NUL character; huge codes do not wrap around.
  for (const char* bad : {"'a'b", "'a'#", "#'x'", "#99999999999999999999999'x'", "#1114112"})
    EXPECT_FALSE(DecodeLangValue(bad, text)) << bad;
}

TEST_F(LanguageTest, ReadLangValueMarkersAndErrors) {
  TLangIniFile ini(home_ / "x");
  ini.WriteString("S", "S:a", "/Eng/Scale");
  ini.WriteString("S", "S:b", "/Eng//In Future//Not used/'x'#9");
  ini.WriteString("S", "S:c", "/Not used//Eng/y");  // markers only in their order
  ini.WriteString("S", "S:d", "'broken");
  // A broken value counts as absent and is reported; language files are case-sensitive.
  const std::pair<const char*, const char*> reads[] = {{"a", "Scale"},     {"b", "x\t"},
                                                       {"c", "/Eng/y"},    {"absent", "Undefined"},
                                                       {"A", "Undefined"}, {"d", "Undefined"}};
  for (const auto& [key, value] : reads) EXPECT_EQ(ReadLangValue(ini, "S", key), value) << key;
  EXPECT_EQ(ReadLangValueLogged(ini, "S", "absent") + ReadLangValueLogged(ini, "S", "d"), "");
  EXPECT_EQ(messages_, std::vector<std::string>(2, "Error in string S:d='broken"));  // each read reports it
  WriteLangInt(ini, "S", "n", 12);
  EXPECT_EQ(ini.ReadString("S", "S:n", ""), "12");
}

TEST_F(LanguageTest, FormattingWithWrongPlaceholdersFallsBackToEnglish) {
  RegisterDefaultLangStrings(LanguageStrings);
  struct Row {
    const char* key;
    const char* text;
    const char* shown;
  };
  // A missing placeholder would drop the argument from the message.
  for (const Row& row : {
           Row{"Channel_n", "Kanal %s", "Channel 2"},
           {"Channel_n", "Kanal %d %d", "Channel 2"},
           {"Channel_n", "Kanal", "Channel 2"},
           {"Channel_n", "Kanal %d", "Kanal 2"},
           {"AutoscaleAs____signal", "Autoskalierung",
            "Autoscale as 2 signal [F8]. Click and Wait to change."},
           {"Copy____ToClipboard", "Kopie %d", "Copy 2's Screenshot to the Clipboard [F11]"},
           {"OnException", "Fehler %s %s",
            "It has appeared an Exception\r\n\"2\".\r\r\nContinuation of the work\r\nmay bring to the data "
            "distortion.\r\r\nDo you want to continue?"},
           {"OnException", "Fehler \"%s\"", "Fehler \"2\""},
       }) {
    LanguageStrings.ChangeLangStr(row.key, row.text);
    const bool number = std::string_view(row.key) == "Channel_n";
    EXPECT_EQ(number ? FormatLangStr(row.key, 2) : FormatLangStr(row.key, "2"), row.shown)
        << row.key << " " << row.text;
  }
}

TEST_F(LanguageTest, TranslationsThatDoNotFitTheEnglishTextKeepIt) {
  struct Row {
    const char* key;
    const char* value;     // in the language file
    const char* expected;  // the table's text after loading
    bool misfit;           // listed in the placeholder message
  };
  const Row rows[] = {
      {"Chn", "K%d", "K%d", false},
      {"Channel_n", "Kanal", "Channel %d", true},
      {"Source_s_s", "Src %s", "Source %s - %s!", true},
      {"Ch__Bw", "K%d %s %d", "Ch%d %s %s", true},
      {"PeriodCal", "%.1f h nach der Kalibrierung", "%.1f h nach der Kalibrierung", false},
      {"Vert___cal_Ch_N", "Kanal %1:d: %0:s", "Kanal %1:d: %0:s", false},
      {"Norm____Ch_N", "%s Korrektur Kanal %d zu %", "%s Calibration for correction of the Channel %d", true},
      {"EyeWidthPerc", "Augenweite %", "Augenweite %", false},
      {"Scale", "Maßstab %d", "Scale", true},
      {"Offset", "'broken", "Offset", false},
      {"Graticule", "'", "Graticule", false},
  };
  std::string file = "[Common]\r\nCommon:Language=Deutsch\r\n[Resource Strings]\r\n";
  for (const Row& row : rows) file += std::string("Resource Strings:rs") + row.key + "=" + row.value + "\r\n";
  file += "Resource Strings:rsChn=Zweiter %d\r\n";  // of two values for a key the first counts
  WriteFile("Language-Quel.Eng", "[Common]\nCommon:Language=English\n");
  WriteFile("Language-Quel.DEU", file);
  TIniFile_Dot(UserConfigDir() / "Locales.ini")
      .WriteString("Locales", std::filesystem::absolute(home_).string(), "DEU");
  SelectStartupLanguage();
  ASSERT_TRUE(Languages && Languages->Ini);

  for (const Row& row : rows) {
    EXPECT_EQ(GetLangStr(row.key), row.expected) << row.key;
    if (row.misfit) {
      EXPECT_NE(messages_.back().find(std::string("\r\nResource Strings:rs") + row.key), std::string::npos);
    }
  }
  // Two values that do not decode, and one message for the misfits.
  ASSERT_EQ(messages_.size(), 3u);
  for (size_t i : {0, 1}) EXPECT_TRUE(messages_[i].starts_with("Error in string Resource Strings:rs")) << i;
  EXPECT_EQ(std::count(messages_[2].begin(), messages_[2].end(), '\n'), 5);
}

TEST_F(LanguageTest, FilesWithoutByteOrderMarkAreReadInTheirLanguagesCodePage) {
  struct Row {
    const char* code;
    std::string bytes;     // the language name as the file holds it
    std::string expected;  // as UTF-8
  };
  // 0xEA is a different letter in each code page.
  const Row rows[] = {
      {"RUS", "\xD0\xF3\xF1\xF1\xEA\xE8\xE9", "Русский"},
      {"ukr", "\xD3\xEA\xF0\xE0\xBF\xED\xF1\xFC\xEA\xE0", "Українська"},
      {"PLK",
       "J\xEAzyk polski \xA3\xF3"
       "d\x9F",
       "Język polski Łódź"},
      {"cs",
       "\xC8"
       "e\x9Atina",
       "Čeština"},
      {"hun", "Magyar \xF5", "Magyar ő"},
      {"DEU",
       "Fran\xE7"
       "ais \x80 \xEA \xF5",
       "Français € ê õ"},
  };
  for (const Row& row : rows)
    WriteFile(std::string("Language-Quel.") + row.code, "[Common]\r\nCommon:Language=" + row.bytes + "\r\n");
  FindLanguageFiles();
  ASSERT_TRUE(Languages);
  ASSERT_EQ(Languages->Count, static_cast<int>(std::size(rows)));
  for (const Row& row : rows) {
    auto code = std::find(Languages->Codes.begin(), Languages->Codes.end(), UpperAscii(row.code));
    ASSERT_NE(code, Languages->Codes.end()) << row.code;
    EXPECT_EQ(Languages->Names[static_cast<size_t>(code - Languages->Codes.begin())], row.expected)
        << row.code;
    // Written back, the file keeps its code page byte for byte.
    const std::string name = std::string("Language-Quel.") + row.code;
    TLangIniFile(home_ / name).UpdateFile();
    std::ifstream in(home_ / name, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes, "[Common]\r\nCommon:Language=" + row.bytes + "\r\n") << row.code;
  }
}

const std::string kRussianFile =
    "[Common]\r\n"
    "Common:Language=\xD0\xA0\xD1\x83\xD1\x81\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9\r\n"
    "[Resource Strings]\r\n"
    "Resource Strings:rsScale=/Eng/\xD0\x9C\xD0\xB0\xD1\x81\xD1\x88\xD1\x82\xD0\xB0\xD0\xB1\r\n"
    "Resource Strings:rsCh=K\r\n"
    "Resource Strings:rsTriggerNotFound='No'#13#10'sync'\r\n"
    "Resource Strings:rsAMPLITUDE=AMPL\r\n"
    "Resource Strings:rsamplitude=wrong case\r\n"
    "Resource Strings:rsOffset=Undefined\r\n";

TEST_F(LanguageTest, StartupFindsFilesAndAppliesTheStoredChoice) {
  WriteFile("Language-Quel.Eng", "[Common]\nCommon:Language=English\n");
  WriteFile("Language-Quel.Rus", kRussianFile);
  WriteFile("Language-Quel.~RUS", kRussianFile);
  WriteFile("Language-Quel.Eng.bak", kRussianFile);
  WriteFile("Other.ini", "");

  // No choice stored yet: English is loaded and remembered.
  SelectStartupLanguage();
  ASSERT_TRUE(Languages);
  // The file's real name, in any letter case.
  EXPECT_EQ(
      std::tuple(Languages->Count, Languages->Codes[1], Languages->FileNames[1], Languages->CurrentIndex),
      std::tuple(2, "RUS", "Language-Quel.Rus", 0));
  EXPECT_EQ(ReadLanguageChoice(), "ENG");
  EXPECT_TRUE(LanguageStrings.Sorted());

  // The stored choice (any letter case) selects Russian at the next start.
  TIniFile_Dot(UserConfigDir() / "Locales.ini")
      .WriteString("Locales", std::filesystem::absolute(home_).string(), "rus");
  EXPECT_EQ(ReadLanguageChoice(), "RUS");
  SelectStartupLanguage();
  EXPECT_EQ(Languages->CurrentIndex, 1);
  EXPECT_EQ(GetLangStr("Scale"), "\xD0\x9C\xD0\xB0\xD1\x81\xD1\x88\xD1\x82\xD0\xB0\xD0\xB1");
  EXPECT_EQ(GetLangStr("TriggerNotFound"), "No\r\nsync");
  EXPECT_EQ(GetLangStr("AMPLITUDE"), "AMPL");
  // "rsamplitude" is another key, "Undefined" keeps the built-in text, Period is absent.
  for (const char* key : {"Amplitude", "Offset", "Period"}) EXPECT_EQ(GetLangStr(key), key) << key;
  EXPECT_EQ(TraceNames[0], "K1");  // trace names follow the language
  EXPECT_TRUE(messages_.empty());

  // A stored code without a file falls back to English and stores that.
  EXPECT_TRUE(StoreLanguageChoice(1));
  std::filesystem::remove(home_ / "Language-Quel.Rus");
  SelectStartupLanguage();
  EXPECT_EQ(Languages->Count, 1);
  EXPECT_EQ(ReadLanguageChoice(), "ENG");
  EXPECT_EQ(GetLangStr("Scale"), "Scale");
}

TEST_F(LanguageTest, RunTimeSwitchLoadsTheChosenLanguageOnce) {
  WriteFile("Language-Quel.Eng", "[Common]\nCommon:Language=English\n");
  WriteFile("Language-Quel.Rus", kRussianFile);
  SelectStartupLanguage();
  ASSERT_TRUE(Languages);
  EXPECT_FALSE(LoadLanguageTexts(0));  // English is loaded already
  EXPECT_FALSE(LoadLanguageTexts(2));  // no such language
  EXPECT_TRUE(LoadLanguageTexts(1));
  EXPECT_EQ(std::tuple(Languages->CurrentIndex, ReadLanguageChoice(), GetLangStr("AMPLITUDE"), TraceNames[0]),
            std::tuple(1, "RUS", "AMPL", "K1"));
  EXPECT_FALSE(LoadLanguageTexts(1));
  EXPECT_TRUE(LoadLanguageTexts(0));
  EXPECT_EQ(std::tuple(GetLangStr("AMPLITUDE"), TraceNames[0]), std::tuple("AMPLITUDE", "Ch1"));
}

TEST_F(LanguageTest, WithoutEnglishFileTheBuiltInTextsStayInOrder) {
  WriteFile("Language-Quel.RUS", kRussianFile);
  SelectStartupLanguage();
  ASSERT_TRUE(Languages);
  EXPECT_EQ(std::tuple(EnglishFileMissing, Languages->EnglishIndex, Languages->Ini != nullptr,
                       LanguageStrings.Sorted(), LanguageStrings.Key(0)),
            std::tuple(true, -1, false, false, "div"));
  EXPECT_EQ(GetLangStr("Scale"), "Scale");
  EXPECT_EQ(TraceNames[0], "Ch1");
}

TEST(ProgramLanguageTable, HoldsTheBuiltInTextsFromTheStart) {
  EXPECT_EQ(GetLangStr("ByDiv"), "/div");
  EXPECT_EQ(FormatLangStr("Chn", 2), "Ch2");
}

TEST_F(LanguageTest, NoLanguageFilesMeansEnglish) {
  SelectStartupLanguage();
  EXPECT_FALSE(Languages || EnglishFileMissing);
  EXPECT_EQ(GetLangStr("Chn"), "Ch%d");
  EXPECT_EQ(ReadLanguageChoice(), "");
}

TEST_F(LanguageTest, MoreThanTwentySixFilesKeepEnglish) {
  for (int i = 0; i < 40; ++i)
    WriteFile("Language-Quel.A" + std::to_string(10 + i), "[Common]\nCommon:Language=L\n");
  WriteFile("Language-Quel.ENG", "[Common]\nCommon:Language=English\n");
  SelectStartupLanguage();
  ASSERT_TRUE(Languages);
  EXPECT_EQ(Languages->Count, TMultiLanguages::kCapacity);
  ASSERT_GE(Languages->EnglishIndex, 0);
  const auto english = static_cast<size_t>(Languages->EnglishIndex);
  EXPECT_EQ(std::tuple(Languages->Codes[english], Languages->Names[english]), std::tuple("ENG", "English"));
  EXPECT_THROW(Languages->GetLanguageCode(26), EAssertion);
  EXPECT_THROW(Languages->SetLanguageName(-1, "x"), EAssertion);
}

TEST_F(LanguageTest, WrittenTableReadsBackUnchanged) {
  TLanguageStrings table;
  RegisterDefaultLangStrings(table);
  {
    TLangIniFile ini(home_ / "Language-Quel.Eng");
    ini.SetEncoding(TTextEncoding::Utf16LE);
    WriteLangValue(ini, "Common", "Language", "English");
    WriteResourceStrings(table, ini);
    ini.UpdateFile();
  }
  std::ifstream in(home_ / "Language-Quel.Eng", std::ios::binary);
  char bom[2];
  in.read(bom, 2);
  EXPECT_EQ(std::string(bom, 2), "\xFF\xFE");

  ProductNameHook.Set([] { return std::string("Model 7"); });
  SelectStartupLanguage();
  ASSERT_TRUE(Languages && Languages->Ini);
  for (size_t i = 0; i < table.Count(); ++i) {
    const std::string& key = table.Key(i);
    ASSERT_EQ(ReadLangValue(*Languages->Ini, "Resource Strings", "rs" + key), table.GetLangStr(key, true))
        << key;
  }
  EXPECT_EQ(GetLangStr("TBCalibrPerform"), "The Model 7 is ready to perform Time Base Calibration !");
  EXPECT_TRUE(messages_.empty());
}

}  // namespace
}  // namespace norv
