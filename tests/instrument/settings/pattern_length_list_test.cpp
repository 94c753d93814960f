#include "instrument/settings/pattern_length_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "instrument/settings/trigger_settings.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

TEST(PatternLengthListTest, LinesGiveTheirLeadingNumber) {
  EXPECT_EQ(ParsePatternLengthLine("127"), 127);
  EXPECT_EQ(ParsePatternLengthLine("  127   (2^7-1)\r"), 127);
  EXPECT_EQ(ParsePatternLengthLine("4096    (2^12)"), 4096);
  EXPECT_EQ(ParsePatternLengthLine("x127"), 0);
  EXPECT_EQ(ParsePatternLengthLine("-5"), 0);
  EXPECT_EQ(ParsePatternLengthLine(""), 0);
  // Digits past the 32-bit range stop the number instead of wrapping it.
  EXPECT_EQ(ParsePatternLengthLine("99999999999"), 999999999);
}

TEST(PatternLengthListTest, LoadReadsEveryLineUpToTheCapacity) {
  const auto folder = MakeTempDir("pll");
  {
    std::ofstream file(PatternLengthListPath(folder), std::ios::binary);
    file << "127\r\n1000\r\nabc\r\n";
  }
  std::vector<int32_t>& list = TriggerSettings().PatternLengthList;
  list = {5, 6};
  LoadPatternLengthList(folder);
  EXPECT_EQ(list, (std::vector<int32_t>{127, 1000, 0}));

  {
    std::ofstream file(PatternLengthListPath(folder), std::ios::binary);
    for (int i = 1; i <= 1100; ++i) file << i << "\r\n";
  }
  LoadPatternLengthList(folder);
  ASSERT_EQ(list.size(), 1025u);
  EXPECT_EQ(list.back(), 1025);

  LoadPatternLengthList(folder / "missing");
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace norv::test
