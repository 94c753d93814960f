// The desktop launcher's file name and command line stay safe whatever the label holds.

#include "instrument/startup/desktop_shortcut.h"

#include <gtest/gtest.h>

namespace norv::test {
namespace {

TEST(DesktopShortcutTest, FileNamesAndArgumentsAreMadeSafe) {
  const std::pair<const char*, const char*> names[] = {
      {"Lab scope", "VXNORV - Lab scope.desktop"}, {"../../etc/x", "VXNORV - _.._etc_x.desktop"},
      {"..hidden", "VXNORV - hidden.desktop"},     {"a\tb\nc", "VXNORV - a_b_c.desktop"},
      {" . ", "VXNORV - Instrument.desktop"},      {"", "VXNORV - Instrument.desktop"},
  };
  for (const auto& [label, file] : names) EXPECT_EQ(ShortcutFileName(label), file) << label;

  // Quoted for the command line, then backslashes doubled once more for the file.
  const std::pair<const char*, const char*> arguments[] = {
      {"Instrument2", R"("Instrument2")"},
      {"/opt/my scope/norv", R"("/opt/my scope/norv")"},
      {R"(a"b$c`d)", R"("a\\"b\\$c\\`d")"},
      {R"(C:\x)", R"("C:\\\\x")"},
      {"50%", R"("50%%")"},
  };
  for (const auto& [argument, quoted] : arguments) EXPECT_EQ(QuoteExecArgument(argument), quoted) << argument;
}

}  // namespace
}  // namespace norv::test
