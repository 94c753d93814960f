#pragma once
// The colour-grade database: hit counts of one trace over many acquisitions, per screen
// cell (X 0..4000, Y 1..1023), kept as one fixed little-endian record that is saved and
// loaded whole as a ".cgs" file.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "framework/traces/trace_names.h"

namespace norv {

class TSignalObj;

inline constexpr int kCgsColumns = 4001;  // screen X 0..4000
inline constexpr int kCgsRows = 1023;     // screen Y 1..1023
inline constexpr std::size_t kCgsHeaderSize = 80;
inline constexpr std::size_t kCgsRecordSize = kCgsHeaderSize + 4u * kCgsColumns * kCgsRows;
static_assert(kCgsRecordSize == 16'372'172);

// Header fields by offset.
inline constexpr std::size_t kCgsStateFlag = 0, kCgsSource = 1, kCgsUnit1 = 2, kCgsValue = 20, kCgsScale = 28,
                             kCgsUnit2 = 40, kCgsVert1 = 60, kCgsVert2 = 68, kCgsWaveformCount = 76;
inline constexpr int kCgsUnit1MaxLength = 17, kCgsUnit2MaxLength = 19;

class TColorGradeDatabase {
 public:
  // The whole record zeroed, then the header of a new recording of Source.
  void Start(TTraceId source);
  // Adds one record of the source: counts each shown point at the screen cell where its
  // trace draws it, and the count of waveforms. Points off the screen or not numbers are
  // left out. The first record's vertical axis (offset, scale) becomes the recording's, at
  // offsets 60 and 68; a record on another axis is not added: false.
  bool Accumulate(const TSignalObj& record);

  // Writes the record (temporary file, then rename); false on any failure, with why when
  // given.
  bool Save(const std::filesystem::path& file, std::string* why = nullptr) const;
  // Reads one record. Empty on success, else why the file was refused; a refused file
  // changes nothing. The header and the size are checked before the counters are read.
  std::string Load(const std::filesystem::path& file);
  // The checks of Load on the header (at least kCgsHeaderSize bytes) of a file of
  // fileSize bytes: what a file must be to load.
  static std::string Validate(std::span<const uint8_t> header, uint64_t fileSize);

  bool Empty() const { return bytes_.empty(); }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  uint8_t StateFlag() const { return Empty() ? 0 : bytes_[kCgsStateFlag]; }
  void SetStateFlag(uint8_t flag) {
    if (!Empty()) bytes_[kCgsStateFlag] = flag;
  }
  TTraceId Source() const;
  uint32_t WaveformCount() const;
  // Counter of screen cell (x 0..4000, y 1..1023); 0 outside.
  uint32_t Hits(int x, int y) const;
  // A header number at Offset (20, 28, 60 or 68); 0 without a record.
  double HeaderValue(std::size_t offset) const;
  // The header texts at offsets 2 and 40.
  std::string Unit1() const;
  std::string Unit2() const;
  void Clear() { std::vector<uint8_t>().swap(bytes_); }

 private:
  uint32_t ReadU32(std::size_t offset) const;
  void WriteU32(std::size_t offset, uint32_t value);
  void WriteF64(std::size_t offset, double value);

  std::vector<uint8_t> bytes_;
};

}  // namespace norv
