#include "support/record_files.h"

#include "support/fuzz_program.h"

namespace norv::fuzz {

namespace {

std::string Hex(std::string_view bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string hex;
  for (const char c : bytes.substr(0, 1024)) {
    hex += digits[static_cast<unsigned char>(c) >> 4];
    hex += digits[static_cast<unsigned char>(c) & 15];
  }
  return hex;
}

}  // namespace

void RequireSavesLoadAgain(const TSignalObj& loaded, std::string_view loadedAs) {
  const std::string what = "a record loaded from " + std::string(loadedAs);
  for (const auto& [form, name] :
       {std::pair{TRecordForm::Binary, ".wfm"}, std::pair{TRecordForm::Text, ".txt"}}) {
    // A save may tidy the record once (a unit text trimmed or cut to its field); after
    // that, saving what was loaded gives the same file every time.
    std::optional<std::string> saved = SaveRecord(loaded, form);
    Require(saved.has_value(), what + " saves as " + name);
    std::optional<std::string> previous;
    for (int round = 1; round <= 2; ++round) {
      TSignalObj reloaded;
      Require(LoadRecord(reloaded, *saved, form), what + " and saved as " + name + " loads again",
              "saved bytes: " + Hex(*saved));
      previous = std::move(saved);
      saved = SaveRecord(reloaded, form);
      Require(saved.has_value(), what + " and saved as " + name + " saves again after a reload");
    }
    Require(saved == previous, what + " and saved as " + name + " gives the same file at every later save",
            "one save:  " + Hex(*previous) + "\nthe next: " + Hex(*saved));
  }
  Require(SaveRecord(loaded, TRecordForm::TextYOnly).has_value(), what + " saves as .txty");
}

}  // namespace norv::fuzz
