#include "instrument/settings/pattern_length_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "instrument/settings/trigger_settings.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

TEST(PatternLengthListTest, EachLineGivesItsLeadingNumberUpToTheCapacity) {
  const auto folder = MakeTempDir("pll");
  const auto write = [&](const std::string& text) {
    std::ofstream(PatternLengthListPath(folder), std::ios::binary) << text;
  };
  // Digits past the 32-bit range stop the number instead of wrapping it.
  write("  127   (2^7-1)\r\n4096    (2^12)\r\nx127\r\n-5\r\n\r\n99999999999\r\n");
  std::vector<int32_t>& list = TriggerSettings().PatternLengthList;
  list = {5, 6};
  LoadPatternLengthList(folder);
  EXPECT_EQ(list, (std::vector<int32_t>{127, 4096, 0, 0, 0, 999999999}));

  std::string many;
  for (int i = 1; i <= 1100; ++i) many += std::to_string(i) + "\r\n";
  write(many);
  LoadPatternLengthList(folder);
  ASSERT_EQ(list.size(), 1025u);
  EXPECT_EQ(list.back(), 1025);

  LoadPatternLengthList(folder / "missing");
  EXPECT_TRUE(list.empty());
}

}  // namespace
}  // namespace norv::test
