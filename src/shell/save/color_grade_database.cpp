#include "shell/save/color_grade_database.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include "framework/util/file_io.h"
#include "instrument/record/signal_obj.h"

namespace norv {

namespace fs = std::filesystem;

static_assert(std::endian::native == std::endian::little, "the record is little-endian in memory");

namespace {

std::size_t CounterOffset(int x, int y) {
  return kCgsHeaderSize + 4u * (static_cast<std::size_t>(kCgsRows) * static_cast<std::size_t>(x) +
                                static_cast<std::size_t>(y - 1));
}

double ReadF64(const std::vector<uint8_t>& bytes, std::size_t offset) {
  double v;
  std::memcpy(&v, bytes.data() + offset, sizeof v);
  return v;
}

}  // namespace

uint32_t TColorGradeDatabase::ReadU32(std::size_t offset) const {
  uint32_t v;
  std::memcpy(&v, bytes_.data() + offset, sizeof v);
  return v;
}

void TColorGradeDatabase::WriteU32(std::size_t offset, uint32_t value) {
  std::memcpy(bytes_.data() + offset, &value, sizeof value);
}

void TColorGradeDatabase::WriteF64(std::size_t offset, double value) {
  std::memcpy(bytes_.data() + offset, &value, sizeof value);
}

void TColorGradeDatabase::Start(TTraceId source) {
  // A fresh record: no counter or header text of an earlier database stays behind.
  bytes_.assign(kCgsRecordSize, 0);
  bytes_[kCgsStateFlag] = 1;
  bytes_[kCgsSource] = static_cast<uint8_t>(source);
}

bool TColorGradeDatabase::Accumulate(const TSignalObj& record) {
  if (Empty()) return false;
  // The axis the record is drawn on, not the one on the screen when the recording was
  // asked for: a recording made while stopped waits for records on the axis set since.
  const double offset = record.GetEffOffset();
  const double scale = record.GetEffScale();
  if (WaveformCount() == 0) {
    WriteF64(kCgsVert1, offset);
    WriteF64(kCgsVert2, scale);
  } else if (offset != ReadF64(bytes_, kCgsVert1) || scale != ReadF64(bytes_, kCgsVert2)) {
    return false;  // its hits would lie elsewhere than its trace
  }
  WriteU32(kCgsWaveformCount, WaveformCount() + 1);
  const int count = record.GetRecLen();
  if (count < 1 || count > kMaxRecLen) return true;
  if (!(scale > 0) || !std::isfinite(scale) || !std::isfinite(offset)) return true;
  // Each point in the column where its trace is drawn: the shown window (zoomed, moved)
  // spans 10.24 divisions, so its last points are beyond the screen.
  const int shown = record.GetShownCount();
  const int available = std::min(shown, count - record.GetFirstShown());
  for (int k = 0; k < available; ++k) {
    const double x = std::nearbyint(ShownPointPlotX(k, shown, kCgsColumns - 1));
    if (x > kCgsColumns - 1) break;  // so are the points after it
    const double value = record.GetDisplayValue(k);
    if (!std::isfinite(value)) continue;
    const double y = std::round(record.ValueToScreenY(value));
    if (!(y >= 1 && y <= kCgsRows)) continue;  // off the screen
    const std::size_t at = CounterOffset(static_cast<int>(x), static_cast<int>(y));
    WriteU32(at, ReadU32(at) + 1);
  }
  return true;
}

bool TColorGradeDatabase::Save(const fs::path& file, std::string* why) const {
  if (Empty()) return false;
  // The record itself, not a copy of its 16 MB.
  return WriteFileAtomically(
      file, std::string_view(reinterpret_cast<const char*>(bytes_.data()), bytes_.size()), true, why);
}

std::string TColorGradeDatabase::Validate(std::span<const uint8_t> header, uint64_t fileSize) {
  if (fileSize != kCgsRecordSize || header.size() < kCgsHeaderSize) return "the file is not one record long";
  if (header[kCgsSource] >= kRecordTraceCount) return "the source is not a waveform record";
  if (header[kCgsUnit1] > kCgsUnit1MaxLength || header[kCgsUnit2] > kCgsUnit2MaxLength)
    return "a unit text is longer than its field";
  return {};
}

std::string TColorGradeDatabase::Load(const fs::path& file) {
  TFileReader in(file);
  if (in.Error() != TFileReadError::None) return "the file cannot be opened: " + in.Why();
  std::array<uint8_t, kCgsHeaderSize> header{};
  const std::size_t got = in.Read(reinterpret_cast<char*>(header.data()), header.size());
  if (std::string why = Validate(std::span(header).first(got), in.Size()); !why.empty()) return why;
  std::vector<uint8_t> bytes(kCgsRecordSize);
  std::copy(header.begin(), header.end(), bytes.begin());
  const std::size_t rest = kCgsRecordSize - kCgsHeaderSize;
  // The file may have changed since its size was taken.
  char more = 0;
  if (in.Read(reinterpret_cast<char*>(bytes.data() + kCgsHeaderSize), rest) != rest || in.Read(&more, 1) != 0)
    return "the file is not one record long";
  if (in.Error() != TFileReadError::None) return "the file cannot be read: " + in.Why();
  bytes_.swap(bytes);
  return {};
}

TTraceId TColorGradeDatabase::Source() const {
  return Empty() ? TTraceId::None : static_cast<TTraceId>(bytes_[kCgsSource]);
}

uint32_t TColorGradeDatabase::WaveformCount() const { return Empty() ? 0 : ReadU32(kCgsWaveformCount); }

uint32_t TColorGradeDatabase::Hits(int x, int y) const {
  if (Empty() || x < 0 || x >= kCgsColumns || y < 1 || y > kCgsRows) return 0;
  return ReadU32(CounterOffset(x, y));
}

double TColorGradeDatabase::HeaderValue(std::size_t offset) const {
  return Empty() || offset + 8 > kCgsHeaderSize ? 0 : ReadF64(bytes_, offset);
}

std::string TColorGradeDatabase::Unit1() const {
  return Empty() ? std::string()
                 : std::string(reinterpret_cast<const char*>(&bytes_[kCgsUnit1 + 1]), bytes_[kCgsUnit1]);
}

std::string TColorGradeDatabase::Unit2() const {
  return Empty() ? std::string()
                 : std::string(reinterpret_cast<const char*>(&bytes_[kCgsUnit2 + 1]), bytes_[kCgsUnit2]);
}

}  // namespace norv
