#include "instrument/settings/pattern_length_list.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "instrument/settings/trigger_settings.h"
#include "instrument/settings_fixture.h"
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

std::vector<int32_t> Numbers(const TPatternLengthEditor& editor) {
  std::vector<int32_t> numbers;
  for (const std::string& entry : editor.Entries()) numbers.push_back(ParsePatternLengthLine(entry));
  return numbers;
}

TEST(PatternLengthEditorTest, EntriesStaySortedAndUniqueAndTheButtonsFollowTheRules) {
  // The list file's numbers arrive in any order, some twice; 2^7 - 1 and 2^12 get notes.
  TPatternLengthEditor editor({1000, 127, 1000, 4096}, 20);
  EXPECT_EQ(editor.Entries(), (std::vector<std::string>{"127   (2^7-1)", "1000", "4096   (2^12)"}));
  EXPECT_FALSE(editor.Modified());

  // Add is enabled for a new number in 31..65535 only, and Delete then not.
  // clang-format off
  for (const auto& [text, add] : {std::pair{"30", false}, {"31", true}, {"65535", true}, {"65536", false},
                                  {"4096", false}, {"  500 (note)", true}}) {
    // clang-format on
    editor.SetEditText(text);
    EXPECT_EQ(editor.AddEnabled(), add) << text;
    EXPECT_FALSE(editor.DeleteEnabled()) << text;
  }
  ASSERT_TRUE(editor.Add());
  ASSERT_TRUE(editor.Add());  // the same number again: one entry
  EXPECT_EQ(Numbers(editor), (std::vector<int32_t>{127, 500, 1000, 4096}));
  EXPECT_TRUE(editor.Modified());
  editor.SetEditText("20");
  EXPECT_FALSE(editor.Add());

  // Deleting keeps a selection at the same place, or the new last entry.
  editor.Select(3);
  EXPECT_TRUE(editor.DeleteEnabled());
  editor.Delete();
  EXPECT_EQ(editor.Selected(), 2);
  editor.Select(0);
  editor.Delete();
  EXPECT_EQ(editor.EditText(), "500");
  editor.Delete();
  editor.Delete();
  EXPECT_EQ(editor.EditText(), "Empty");
  EXPECT_FALSE(editor.DeleteEnabled());

  // The typical lengths: 2^k - 1 and 2^k for k = 7..15.
  editor.AddTypical();
  std::vector<int32_t> typical;
  for (int k = 7; k <= 15; ++k) typical.insert(typical.end(), {(1 << k) - 1, 1 << k});
  EXPECT_EQ(Numbers(editor), typical);
  EXPECT_EQ(editor.Entries()[1], "128    (2^7)");
}

class PatternLengthAcceptTest : public InstrumentSettingsTest {};

TEST_F(PatternLengthAcceptTest, OkSetsTheLengthAndStoresAChangedList) {
  const auto folder = MakeTempDir("pll");
  const auto file = [&] {
    std::ifstream in(PatternLengthListPath(folder), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
  };
  TPatternLengthEditor unchanged({}, 127);
  unchanged.SetEditText("20");  // below the list's range, still a length
  EXPECT_TRUE(unchanged.Accept(folder));
  EXPECT_EQ(Value("Trig:PattLen"), 20);
  EXPECT_FALSE(std::filesystem::exists(PatternLengthListPath(folder)));

  TPatternLengthEditor editor({1000}, 127);
  editor.SetEditText("127");
  editor.Add();
  editor.SetEditText("3");
  EXPECT_TRUE(editor.Accept(folder));
  EXPECT_EQ(Value("Trig:PattLen"), 20);
  EXPECT_EQ(file(), "127\r\n1000\r\n");
  EXPECT_EQ(TriggerSettings().PatternLengthList, (std::vector<int32_t>{127, 1000}));

  // A folder that cannot take the file: false, and the list read back is what is there.
  EXPECT_FALSE(editor.Accept(folder / "missing"));
  EXPECT_TRUE(TriggerSettings().PatternLengthList.empty());
}

}  // namespace
}  // namespace norv::test
