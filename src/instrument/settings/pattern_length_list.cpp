#include "instrument/settings/pattern_length_list.h"

#include <fstream>
#include <limits>
#include <string>

#include "framework/text/text_case.h"
#include "instrument/settings/trigger_settings.h"

namespace norv {

int32_t ParsePatternLengthLine(std::string_view line) {
  size_t i = 0;
  while (i < line.size() && IsBlankOrControl(line[i])) ++i;
  int64_t value = 0;
  for (; i < line.size() && IsAsciiDigit(line[i]); ++i) {
    const int64_t next = value * 10 + (line[i] - '0');
    if (next > std::numeric_limits<int32_t>::max()) break;
    value = next;
  }
  return static_cast<int32_t>(value);
}

std::filesystem::path PatternLengthListPath(const std::filesystem::path& setupFolder) {
  return setupFolder / PatternLengthListFileName;
}

void LoadPatternLengthList(const std::filesystem::path& setupFolder) {
  std::vector<int32_t>& list = TriggerSettings().PatternLengthList;
  list.clear();
  std::ifstream file(PatternLengthListPath(setupFolder));
  std::string line;
  while (list.size() < PatternLengthListCapacity && std::getline(file, line)) {
    list.push_back(ParsePatternLengthLine(line));
  }
}

}  // namespace norv
