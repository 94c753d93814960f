#pragma once
// Program code that names a settings node by its path writes the path as "Ch1:Display"_node.
// Every such path is collected when the program starts, so a test can check each against
// the fully built tree: a misspelt or vanished node would otherwise be skipped silently
// wherever the code tolerates a missing node.

#include <algorithm>
#include <cstddef>
#include <string_view>
#include <vector>

namespace norv {

// The paths written with _node in the code linked into this program, in no fixed order.
const std::vector<std::string_view>& NodePathsInCode();
void RecordNodePathInCode(std::string_view path);

template <size_t N>
struct TNodePathLiteral {
  char Text[N];
  consteval TNodePathLiteral(const char (&text)[N]) { std::copy_n(text, N, Text); }
  constexpr std::string_view View() const { return {Text, N - 1}; }
};

template <TNodePathLiteral Path>
struct TNodePathInCode {
  static inline const bool Recorded = (RecordNodePathInCode(Path.View()), true);
};

template <TNodePathLiteral Path>
std::string_view operator""_node() {
  (void)TNodePathInCode<Path>::Recorded;
  return Path.View();
}

}  // namespace norv
