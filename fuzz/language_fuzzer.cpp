// Language files: the bytes of a translation the user chose at start-up. Loading it fills
// the table; every text is then fetched and formatted with the arguments its English text
// takes, as the program does (a translation with wrong placeholders falls back to
// English). Finally the translated texts are written as a language file and read back:
// each must come back unchanged.

#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/language/language.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/util/program_dir.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr const char* kCode = "FZ";

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Arguments that fit the placeholders of a built-in text, or none when it takes an index
// or is no format at all.
std::optional<std::vector<TFormatArg>> ArgumentsFor(std::string_view english) {
  std::vector<TFormatArg> args;
  for (size_t i = 0; i < english.size(); ++i) {
    if (english[i] != '%') continue;
    if (++i < english.size() && english[i] == '%') continue;
    if (i < english.size() && english[i] == '-') ++i;
    for (bool precision : {false, true}) {
      if (precision) {
        if (i >= english.size() || english[i] != '.') break;
        ++i;
      }
      if (i < english.size() && english[i] == '*') {
        args.emplace_back(precision ? 3 : 6);
        ++i;
      }
      while (i < english.size() && IsAsciiDigit(english[i])) ++i;
    }
    if (i >= english.size()) return std::nullopt;
    switch (english[i] | 0x20) {
      case 'd':
      case 'x':
        args.emplace_back(42);
        break;
      case 'u':
        args.emplace_back(42u);
        break;
      case 's':
        args.emplace_back("ab");
        break;
      case 'e':
      case 'f':
      case 'g':
      case 'n':
        args.emplace_back(-1234.5);
        break;
      default:
        return std::nullopt;
    }
  }
  try {
    FormatArgs_Dot(english, args);
  } catch (const EConvertError&) {
    return std::nullopt;
  }
  return args;
}

// The user's choice of the translation among the English file and this one, stored
// without reading the files (the start-up reads them): a choice that names no language
// found is the English one at start-up.
void StoreTranslationChoice() {
  Languages = std::make_unique<TMultiLanguages>();
  Languages->Count = 1;
  Languages->SetLanguageCode(0, kCode);
  StoreLanguageChoice(0);
  Languages.reset();
}

// The program folder holds the English file and the choice of this translation, which
// every input reads alike; an input writes only the translation and its written copy.
void PrepareProgramFolder() {
  fuzz::ClearProgramHome();
  WriteFile(ProgramDir() / LanguageFileName("ENG"), "[Common]\nCommon:Language=English\n");
  StoreTranslationChoice();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  PrepareProgramFolder();
  LanguageStrings = TLanguageStrings();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 200000) return 0;
  EnglishFileMissing = WritingEnglishFile = false;
  WriteFile(ProgramDir() / LanguageFileName(kCode), fuzz::AsText(data, size));
  SelectStartupLanguage();

  // Per key, in table order: its English text and the arguments that follow from it
  // alone, worked out once and kept by place in the table with their key. An English
  // text formats the same at every input, so only the first input formats those. No
  // product name is set here, so a text comes without the unit's name put in, as it is
  // written to a file.
  struct TKeyFormat {
    std::string Key;
    std::string English;
    std::optional<std::vector<TFormatArg>> Args;
  };
  static std::vector<TKeyFormat> formats;
  const bool first = formats.empty();
  formats.resize(LanguageStrings.Count());
  std::vector<std::pair<std::string, std::string>> translated;
  for (size_t i = 0; i < LanguageStrings.Count(); ++i) {
    const std::string& key = LanguageStrings.Key(i);
    TKeyFormat& format = formats[i];
    if (format.Key != key) {
      format.Key = key;
      format.English = LanguageStrings.English(i);
      format.Args = ArgumentsFor(format.English);
    }
    // By place: a look-up per key per input was a good part of an input's time.
    const std::string& text = LanguageStrings.Text(i);
    const bool same = text == format.English;
    if (format.Args && (!same || first)) {
      try {
        FormatArgs_Dot(text, *format.Args);
      } catch (const EConvertError&) {
        FormatArgs_Dot(format.English, *format.Args);
      }
    }
    // The texts the translation changed (the built-in ones are the English file's, which
    // has tests of its own). A text that begins with a translator's marker loses it on
    // reading, by design.
    if (same || text.starts_with("/Eng/") || text.starts_with("/In Future/") ||
        text.starts_with("/Not used/"))
      continue;
    translated.emplace_back(key, text);
  }
  const std::filesystem::path written = ProgramDir() / LanguageFileName("OUT");
  {
    TLangIniFile out(written);
    for (const auto& [key, text] : translated) WriteLangValue(out, "Resource Strings", "rs" + key, text);
    out.UpdateFile();
  }
  TLangIniFile in(written);
  for (const auto& item : translated) {
    const std::string back = ReadLangValue(in, "Resource Strings", "rs" + item.first);
    fuzz::Require(back == item.second, "a text written to a language file reads back unchanged", [&] {
      return "key " + item.first + "\n  written: [" + item.second + "]\n  read:    [" + back + "]";
    });
  }

  std::filesystem::remove(written);
  // A translation the start-up could not use made it store the English choice.
  if (!Languages || Languages->Count != 2) StoreTranslationChoice();

  // The next input starts as the program does, with no language file loaded. The table is
  // replaced whole by the start-up choice (only its being sorted counts, and with the
  // English file there it is sorted either way), so it stays: assigned over, its texts
  // keep their storage and an input allocates only what its own texts need.
  Languages.reset();
  return 0;
}
