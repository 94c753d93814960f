#include "framework/settings/node_path.h"

namespace norv {

namespace {
// Filled during static initialisation, so it must exist before its first user.
std::vector<std::string_view>& Paths() {
  static std::vector<std::string_view> paths;
  return paths;
}
}  // namespace

const std::vector<std::string_view>& NodePathsInCode() { return Paths(); }
void RecordNodePathInCode(std::string_view path) { Paths().push_back(path); }

}  // namespace norv
