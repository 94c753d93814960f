// Every node path that program code names ("..."_node) exists in the tree the program
// builds, so no setting the code turns by path is skipped for a misspelt or vanished name.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <string_view>

#include "framework/settings/node_path.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "support/every_unit.h"

namespace norv::test {
namespace {

TEST(NodePathsInCode, EachNamesANodeOfTheProgramsTree) {
  FreshProgramState();
  RegisterEveryUnit();
  const auto& paths = NodePathsInCode();
  // The collection itself works: a path of the pattern search is among them.
  EXPECT_NE(std::ranges::find(paths, std::string_view("Spectr1:Display")), paths.end());
  for (const std::string_view path : paths)
    EXPECT_NE(RootSpider->FindHandler(path), nullptr) << "no node \"" << path << "\"";
  FreshProgramState();
}

}  // namespace
}  // namespace norv::test
