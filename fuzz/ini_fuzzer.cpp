// Ini files: the bytes of a file edited by hand, one change made through the program's
// writer (write, delete a key or erase a section), and the file read again. Every entry
// the change did not touch must read as before, and the change must read as made.
//
// Input: the section, key and value of the change as libFuzzer's escaped strings, then
// the file; the last byte picks the operation, the letter-case rule, the writer and
// whether the names are taken from the file.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/text/ini_file.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/program_dir.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

using TEntries = std::vector<std::pair<std::string, std::string>>;
// Every section name once (as the file spells it first) with the entries reads give.
using TContents = std::vector<std::pair<std::string, TEntries>>;

TContents ReadAll(TCustomIniFile_Dot& ini) {
  TContents contents;
  for (const std::string& section : ini.ReadSections())
    contents.emplace_back(section, ini.ReadSectionValues(section));
  return contents;
}

bool SameName(std::string_view a, std::string_view b, bool caseSensitive) {
  a = TrimBlanks(a);
  b = TrimBlanks(b);
  return caseSensitive ? a == b : SameTextAscii(a, b);
}

std::string Describe(const TContents& contents) {
  std::string text;
  for (const auto& [section, entries] : contents) {
    text += "  [" + section + "]\n";
    for (const auto& [key, value] : entries) text += "    " + key + "=" + value + "\n";
  }
  return text;
}

// Text inside the program is valid UTF-8: the bytes as a file without a byte-order mark
// would read (valid UTF-8 stays, anything else is taken as Windows-1252).
std::string Utf8(const std::string& bytes) { return DecodeText("-" + bytes).utf8.substr(1); }

enum class TChange { Write, DeleteKey, EraseSection };

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  FuzzedDataProvider input(data, size);
  const uint8_t choice = input.ConsumeIntegral<uint8_t>();
  std::string section = Utf8(input.ConsumeRandomLengthString(64));
  std::string key = Utf8(input.ConsumeRandomLengthString(64));
  const std::string value = Utf8(input.ConsumeRandomLengthString(256));
  const std::string file = input.ConsumeRemainingBytesAsString();

  const auto change = static_cast<TChange>(choice % 3);
  const bool caseSensitive = choice & 4;
  const bool writeAtOnce = choice & 8;  // TIniFile_Dot rather than TMemIniFile_Dot
  const bool namesFromFile = choice & 16;

  fuzz::ClearProgramHome();
  const std::filesystem::path path = ProgramDir() / "Fuzz.ini";
  std::ofstream(path, std::ios::binary).write(file.data(), static_cast<std::streamsize>(file.size()));

  TContents expected;
  try {
    TMemIniFile_Dot before(path, caseSensitive);
    expected = ReadAll(before);
  } catch (const EIniFileError&) {
    return 0;
  }
  // Names of the file itself reach its entries (the size of the names picks which).
  if (namesFromFile && !expected.empty()) {
    const auto& [name, entries] = expected[section.size() % expected.size()];
    section = name;
    if (!entries.empty()) key = entries[key.size() % entries.size()].first;
  }

  // The expected contents after the change.
  auto inSection = std::find_if(expected.begin(), expected.end(),
                                [&](const auto& s) { return SameName(s.first, section, caseSensitive); });
  auto entryIn = [&](TEntries& entries) {
    return std::find_if(entries.begin(), entries.end(),
                        [&](const auto& e) { return SameName(e.first, key, caseSensitive); });
  };
  try {
    std::unique_ptr<TCustomIniFile_Dot> ini;
    if (writeAtOnce) {
      ini = std::make_unique<TIniFile_Dot>(path, caseSensitive);
    } else {
      ini = std::make_unique<TMemIniFile_Dot>(path, caseSensitive);
    }
    switch (change) {
      case TChange::Write:
        ini->WriteString(section, key, value);
        if (inSection == expected.end()) {
          expected.emplace_back(std::string(TrimBlanks(section)), TEntries{});
          inSection = expected.end() - 1;
        }
        if (auto e = entryIn(inSection->second); e != inSection->second.end()) {
          e->second = std::string(TrimBlanks(value));
        } else {
          inSection->second.emplace_back(std::string(TrimBlanks(key)), std::string(TrimBlanks(value)));
        }
        break;
      case TChange::DeleteKey:
        ini->DeleteKey(section, key);
        if (inSection != expected.end()) {
          if (auto e = entryIn(inSection->second); e != inSection->second.end()) inSection->second.erase(e);
        }
        break;
      case TChange::EraseSection:
        ini->EraseSection(section);
        if (inSection != expected.end()) expected.erase(inSection);
        break;
    }
    if (!writeAtOnce) static_cast<TMemIniFile_Dot&>(*ini).UpdateFile();
  } catch (const EIniFileError&) {
    return 0;  // a name or value no ini line can hold: refused, the file unchanged
  }

  TMemIniFile_Dot after(path, caseSensitive);
  const TContents read = ReadAll(after);
  fuzz::Require(read == expected, "an ini file reads back with exactly the change made",
                [&] { return "expected:\n" + Describe(expected) + "read:\n" + Describe(read); });
  return 0;
}
