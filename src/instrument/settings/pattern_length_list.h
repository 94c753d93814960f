#pragma once
// The candidate pattern lengths of the pattern lock: up to 1025 numbers read from the
// list file "~PatternLentgth.lst" (spelled so) in the setup-files folder, one number a
// line. The pattern search tries them; the list dialog edits and stores the file.

#include <cstdint>
#include <filesystem>
#include <string_view>

namespace norv {

inline constexpr size_t PatternLengthListCapacity = 1025;
inline constexpr const char* PatternLengthListFileName = "~PatternLentgth.lst";

// The leading decimal digits of the trimmed line; 0 when it starts with something else.
// Digits beyond the 32-bit range stop the number where it would overflow.
int32_t ParsePatternLengthLine(std::string_view line);

// The list file in the given setup-files folder.
std::filesystem::path PatternLengthListPath(const std::filesystem::path& setupFolder);

// Empties the list (TriggerSettings().PatternLengthList) and reads the file; a missing or
// unreadable file leaves it empty, and numbers after the first 1025 are dropped.
void LoadPatternLengthList(const std::filesystem::path& setupFolder);

}  // namespace norv
