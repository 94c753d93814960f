// Colour-grade database files. The input is the header of a record, where the first
// counter written goes, and the counters from there on (the rest of the record is zeros).
// Bits of the first byte (the header's state flag, which nothing checks): bit 0 makes the
// file one byte short; without bit 1 the header's source and unit lengths are brought
// into their ranges, so that most inputs load and reach the counters.
//
// A file that loads must give a waveform record as its source, unit texts that fit their
// fields, the header and the counters as written, header numbers that format as the top
// strip shows them and, for a share of the inputs, a picture whose busiest pixel holds
// the largest counter; a refused file must leave the database shown before as it was.
//
// Input: 80 header bytes, 4 bytes (little-endian) for the first counter's cell, counters.
//
// The 16 MB file is made once; each input writes its header and counters into it and
// zeros the previous input's counters again.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "display/database_layer.h"
#include "framework/settings/value_text.h"
#include "shell/save/color_grade_database.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr size_t kCells = static_cast<size_t>(kCgsColumns) * kCgsRows;
constexpr size_t kCounters = kCgsHeaderSize + 4;  // where the input's counters begin
// Drawing visits each of the four million cells (most of a second here): one input in
// kDrawShare is drawn.
constexpr size_t kDrawShare = 64;

const std::filesystem::path& RecordPath() {
  static const std::filesystem::path file = std::filesystem::temp_directory_path() / "norv_fuzz_record.cgs";
  return file;
}

int RecordFile() {
  static const int fd = [] {
    const int opened = ::open(RecordPath().c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (opened < 0) std::abort();
    return opened;
  }();
  return fd;
}

void WriteAt(size_t offset, const void* bytes, size_t size) {
  if (::pwrite(RecordFile(), bytes, size, static_cast<off_t>(offset)) != static_cast<ssize_t>(size))
    std::abort();
}

std::array<uint8_t, kCgsHeaderSize> HeaderOf(const TColorGradeDatabase& database) {
  std::array<uint8_t, kCgsHeaderSize> header{};
  if (!database.Empty()) std::copy_n(database.Bytes().begin(), kCgsHeaderSize, header.begin());
  return header;
}

uint32_t LittleEndian32(const uint8_t* bytes, size_t available) {
  uint32_t value = 0;
  for (size_t i = std::min<size_t>(available, 4); i-- > 0;) value = value << 8 | bytes[i];
  return value;
}

// The counters of the input: cell number (x * rows + y - 1) and count, the last one
// completed with zeros.
struct TCounters {
  size_t First = 0;
  std::vector<uint32_t> Counts;
};

TCounters CountersOf(const uint8_t* data, size_t size) {
  TCounters c;
  if (size < kCounters) return c;
  c.First = LittleEndian32(data + kCgsHeaderSize, 4) % kCells;
  for (size_t at = kCounters; at < size && c.First + c.Counts.size() < kCells; at += 4)
    c.Counts.push_back(LittleEndian32(data + at, size - at));
  return c;
}

uint32_t HitsOfCell(const TColorGradeDatabase& database, size_t cell) {
  return database.Hits(static_cast<int>(cell / kCgsRows), static_cast<int>(cell % kCgsRows) + 1);
}

void CheckCounters(const TColorGradeDatabase& database, const TCounters& c) {
  for (size_t i = 0; i < c.Counts.size(); ++i)
    fuzz::Require(HitsOfCell(database, c.First + i) == c.Counts[i], "the counters read as written",
                  [&] { return "cell " + std::to_string(c.First + i); });
  if (c.First > 0) fuzz::Require(HitsOfCell(database, c.First - 1) == 0, "a counter before them is zero");
  const size_t after = c.First + c.Counts.size();
  if (after < kCells) fuzz::Require(HitsOfCell(database, after) == 0, "a counter after them is zero");
}

// The header numbers as the top strip shows them.
void FormatHeaderNumbers(const TColorGradeDatabase& database) {
  FloatToEngStr(vfEngineering, 5, false, database.HeaderValue(kCgsVert1), false);
  FloatToEngStr(vfEngineering, 6, false, 50 * database.HeaderValue(kCgsScale), false);
  FloatToEngStr(vfEngineering, 6, false, database.HeaderValue(kCgsValue), false);
  FloatToEngStr(vfEngineering, 6, false, static_cast<double>(database.WaveformCount()), true);
}

void CheckPicture(const TColorGradeDatabase& database, const TCounters& c) {
  TDatabaseLayer layer("DataBase Layer", 501, 257, 0);
  layer.DrawDatabase([&](int x, int y) { return database.Hits(x, y); });
  uint32_t top = 0;
  for (const uint32_t n : c.Counts) top = std::max(top, n);
  uint32_t busiest = 0;
  for (int x = 0; x <= layer.MaxX(); ++x)
    for (int y = 0; y <= layer.MaxY(); ++y) {
      const uint32_t n = layer.PixelHits(x, y);
      busiest = std::max(busiest, n);
      const int grade = layer.PixelGrade(x, y);
      fuzz::Require(n == 0 ? grade == 0 : grade >= 1 && grade <= TDatabaseLayer::kGrades,
                    "a hit pixel has a grade, an empty one none");
    }
  fuzz::Require(busiest == top, "the busiest pixel holds the largest counter",
                [&] { return std::to_string(busiest) + " against " + std::to_string(top); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > kCounters + 65536) return 0;
  static TColorGradeDatabase database;
  static size_t writtenFrom = 0, writtenSize = 0;  // the previous input's counters

  std::array<uint8_t, kCgsHeaderSize> header{};
  std::copy_n(data, std::min(size, kCgsHeaderSize), header.begin());
  if (!(header[kCgsStateFlag] & 2)) {
    header[kCgsSource] %= kRecordTraceCount;
    header[kCgsUnit1] %= kCgsUnit1MaxLength + 1;
    header[kCgsUnit2] %= kCgsUnit2MaxLength + 1;
  }
  const size_t fileSize = kCgsRecordSize - (header[kCgsStateFlag] & 1);
  const TCounters counters = CountersOf(data, size);

  // Cut to a byte short first, so that a full file ends in a zero again.
  if (::ftruncate(RecordFile(), static_cast<off_t>(kCgsRecordSize - 1)) != 0 ||
      ::ftruncate(RecordFile(), static_cast<off_t>(fileSize)) != 0)
    std::abort();
  if (writtenSize > 0) {
    const std::vector<uint8_t> zeros(writtenSize);
    WriteAt(writtenFrom, zeros.data(), zeros.size());
  }
  WriteAt(0, header.data(), header.size());
  writtenFrom = kCgsHeaderSize + 4 * counters.First;
  writtenSize = std::min(size - std::min(size, kCounters), fileSize - std::min(fileSize, writtenFrom));
  if (writtenSize > 0) WriteAt(writtenFrom, data + kCounters, writtenSize);

  const uint8_t* const dataBefore = database.Bytes().data();
  const auto headerBefore = HeaderOf(database);
  if (!database.Load(RecordPath()).empty()) {
    fuzz::Require(database.Bytes().data() == dataBefore && HeaderOf(database) == headerBefore,
                  "a refused file leaves the database as it was");
    return 0;
  }
  fuzz::Require(fileSize == kCgsRecordSize && database.Bytes().size() == kCgsRecordSize,
                "only a file of one record loads");
  fuzz::Require(HeaderOf(database) == header, "the header reads as written");
  fuzz::Require(IsRecordTrace(database.Source()) && database.Unit1().size() <= kCgsUnit1MaxLength &&
                    database.Unit2().size() <= kCgsUnit2MaxLength,
                "a loaded file has a record source and units that fit");
  fuzz::Require(database.WaveformCount() == LittleEndian32(header.data() + kCgsWaveformCount, 4),
                "the waveform count reads as written");
  CheckCounters(database, counters);
  FormatHeaderNumbers(database);
  if (fuzz::InSample(fuzz::AsText(data, size), kDrawShare, NORV_FUZZ_REGRESSIONS))
    CheckPicture(database, counters);
  return 0;
}
