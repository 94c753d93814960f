#include "support/record_files.h"

#include <initializer_list>

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
  // The texts of a broken property are built only when one breaks: "a record loaded
  // from <loadedAs>" + the step.
  const auto check = [loadedAs](bool holds, std::initializer_list<std::string_view> step, auto&& detail) {
    if (holds) return;
    std::string property = "a record loaded from " + std::string(loadedAs);
    for (std::string_view part : step) property += part;
    Require(false, property, detail());
  };
  const auto none = [] { return std::string(); };
  for (const auto& [form, name] :
       {std::pair{TRecordForm::Binary, ".wfm"}, std::pair{TRecordForm::Text, ".txt"}}) {
    // A save may tidy the record once (a unit text trimmed or cut to its field); after
    // that, saving what was loaded gives the same file every time.
    std::optional<std::string> saved = SaveRecord(loaded, form);
    check(saved.has_value(), {" saves as ", name}, none);
    std::optional<std::string> previous;
    for (int round = 1; round <= 2; ++round) {
      TSignalObj reloaded;
      check(LoadRecord(reloaded, *saved, form), {" and saved as ", name, " loads again"},
            [&] { return "saved bytes: " + Hex(*saved); });
      previous = std::move(saved);
      saved = SaveRecord(reloaded, form);
      check(saved.has_value(), {" and saved as ", name, " saves again after a reload"}, none);
    }
    check(saved == previous, {" and saved as ", name, " gives the same file at every later save"},
          [&] { return "one save:  " + Hex(*previous) + "\nthe next: " + Hex(*saved); });
  }
  check(SaveRecord(loaded, TRecordForm::TextYOnly).has_value(), {" saves as .txty"}, none);
}

}  // namespace norv::fuzz
