// Colour-grade database files: the input is the header of a record (the rest of the
// record is zeros) and its low bit makes the file one byte short. A file that loads must
// give a waveform record as its source, unit texts that fit their fields and the header
// as written; a refused file must leave the database shown before as it was.
//
// The 16 MB file is made once; each input writes only its header and size into it. A
// header that loads costs a 16 MB read, the same for every such header: one in
// kFullLoadShare of them is loaded and checked, the others only pass the header checks
// Load runs first.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "shell/save/color_grade_database.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr size_t kFullLoadShare = 16;

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

std::array<uint8_t, kCgsHeaderSize> HeaderOf(const TColorGradeDatabase& database) {
  std::array<uint8_t, kCgsHeaderSize> header{};
  if (!database.Empty()) std::copy_n(database.Bytes().begin(), kCgsHeaderSize, header.begin());
  return header;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static TColorGradeDatabase database;
  const int fd = RecordFile();
  std::array<uint8_t, kCgsHeaderSize> header{};
  std::copy_n(data, std::min(size, kCgsHeaderSize), header.begin());
  const size_t fileSize = kCgsRecordSize - (size > 0 && (data[0] & 1) ? 1 : 0);
  if (TColorGradeDatabase::Validate(header, fileSize).empty() &&
      !fuzz::InSample(fuzz::AsText(data, size), kFullLoadShare, NORV_FUZZ_REGRESSIONS))
    return 0;

  // Cut to a byte short first, so that a full file ends in a zero again.
  if (::ftruncate(fd, static_cast<off_t>(kCgsRecordSize - 1)) != 0 ||
      ::ftruncate(fd, static_cast<off_t>(fileSize)) != 0 ||
      ::pwrite(fd, header.data(), header.size(), 0) != static_cast<ssize_t>(header.size()))
    std::abort();

  const uint8_t* const dataBefore = database.Bytes().data();
  const auto headerBefore = HeaderOf(database);
  if (!database.Load(RecordPath()).empty()) {
    if (database.Bytes().data() != dataBefore || HeaderOf(database) != headerBefore) std::abort();
    return 0;
  }
  if (fileSize != kCgsRecordSize || database.Bytes().size() != kCgsRecordSize || HeaderOf(database) != header)
    std::abort();
  if (!IsRecordTrace(database.Source()) || database.Unit1().size() > kCgsUnit1MaxLength ||
      database.Unit2().size() > kCgsUnit2MaxLength)
    std::abort();
  // The counters of the file are zeros, the first and the last included.
  if (database.Hits(0, 1) != 0 || database.Hits(kCgsColumns - 1, kCgsRows) != 0) std::abort();
  return 0;
}
