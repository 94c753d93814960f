// Colour-grade database files: the input is the header of a record (the rest of the
// record is zeros) and its low bit makes the file one byte short. A file that loads must
// give a waveform record as its source and unit texts that fit their fields; a refused
// file must leave the database shown before as it was.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "shell/save/color_grade_database.h"

using namespace norv;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::filesystem::path file = std::filesystem::temp_directory_path() / "norv_fuzz_record.cgs";
  static TColorGradeDatabase database;
  std::vector<uint8_t> bytes(kCgsRecordSize - (size > 0 && (data[0] & 1) ? 1 : 0), 0);
  for (size_t i = 0; i < size && i < kCgsHeaderSize; ++i) bytes[i] = data[i];
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  const std::vector<uint8_t> before = database.Bytes();
  if (!database.Load(file).empty()) {
    if (database.Bytes() != before) std::abort();
    return 0;
  }
  if (!IsRecordTrace(database.Source()) || database.Unit1().size() > kCgsUnit1MaxLength ||
      database.Unit2().size() > kCgsUnit2MaxLength || database.Bytes() != bytes)
    std::abort();
  return 0;
}
