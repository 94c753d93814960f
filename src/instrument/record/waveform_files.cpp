#include "instrument/record/waveform_files.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <istream>
#include <limits>
#include <optional>
#include <ostream>
#include <string_view>
#include <system_error>
#include <utility>

#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "instrument/record/signal_obj.h"

namespace norv {

TWaveformFileHooks WaveformFileHooks;

namespace {

const TProgramUnit WaveformFileHooksUnit("waveform file hooks", [] { WaveformFileHooks = {}; });

constexpr std::size_t kUnitCodeUnits = 32;
constexpr std::size_t kUnitBytes = 2 * kUnitCodeUnits;
constexpr std::size_t kBinaryFixedBytes = 190;
constexpr std::size_t kMaxBinaryBytes = kBinaryFixedBytes + 16 * kMaxRecLen;

// ---- binary form ---------------------------------------------------------------------

class TLeWriter {
 public:
  void U8(uint8_t v) { bytes_ += static_cast<char>(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v & 0xFF));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void F64(double v) {
    const auto bits = std::bit_cast<uint64_t>(v);
    for (int i = 0; i < 8; ++i) U8(static_cast<uint8_t>(bits >> (8 * i)));
  }
  // UTF-16LE, at most 32 code units, zero-filled; a surrogate pair is never cut in half.
  void Unit(const std::string& text) {
    std::string units = EncodeText(text, TTextEncoding::Utf16LE).substr(2);  // no byte-order mark
    if (units.size() > kUnitBytes) {
      std::size_t keep = kUnitBytes;
      const auto lastHigh = static_cast<unsigned char>(units[keep - 1]);
      if (lastHigh >= 0xD8 && lastHigh <= 0xDB) keep -= 2;
      units.resize(keep);
    }
    units.resize(kUnitBytes, '\0');
    bytes_ += units;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

class TLeReader {
 public:
  explicit TLeReader(std::string_view bytes) : bytes_(bytes) {}
  bool Ok() const { return ok_; }
  bool AtEnd() const { return pos_ == bytes_.size(); }
  uint8_t U8() {
    if (pos_ >= bytes_.size()) {
      ok_ = false;
      return 0;
    }
    return static_cast<uint8_t>(bytes_[pos_++]);
  }
  uint16_t U16() {
    const uint16_t lo = U8();
    return static_cast<uint16_t>(lo | (U8() << 8));
  }
  double F64() {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(U8()) << (8 * i);
    return std::bit_cast<double>(bits);
  }
  // Up to the first zero code unit.
  std::string Unit() {
    std::string units = "\xFF\xFE";  // read as UTF-16LE
    bool ended = false;
    for (std::size_t i = 0; i < kUnitCodeUnits; ++i) {
      const uint16_t u = U16();
      if (u == 0) ended = true;
      if (!ended) {
        units += static_cast<char>(u & 0xFF);
        units += static_cast<char>(u >> 8);
      }
    }
    return DecodeText(units).utf8;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

bool ValidRecLen(int n) { return n >= kMinFileRecLen && n <= kMaxRecLen; }

bool AllFinite(std::initializer_list<double> values) {
  return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

// Both file forms hold the axes; they must be finite numbers.
bool FiniteAxes(const TSignalObj& r) {
  return AllFinite({r.GetX0(), r.GetDX(), r.GetVertOffset(), r.GetVertScale()});
}

// What the binary form may hold: a readable length, a known window, a known reflection
// unit with an amplitude to divide by, and finite numbers. Saving checks the same, so
// every file written can be read back.
bool AcceptableBinaryRecord(const TSignalObj& r) {
  if (!ValidRecLen(r.GetRecLen())) return false;
  if (r.GetFFTWindow() >= kFFTWindowCount) return false;
  if (r.GetTdrUnitKind() > tukNoUnit) return false;
  if (r.GetTdrUnitKind() != tukNone && r.GetTdrAmplitude() == 0) return false;
  return FiniteAxes(r) && AllFinite({r.GetPropagation(), r.GetTdrAmplitude(), r.GetTdrBase()});
}

bool ReadBinary(TLeReader& in, TSignalObj& r) {
  const uint16_t n = in.U16();
  if (!in.Ok() || !ValidRecLen(n)) return false;
  r.SetRecLen(n);
  const uint8_t spectrum = in.U8();
  if (spectrum > 1) return false;
  r.SetSpectrum(spectrum == 1);
  for (int i = 0; i < n; ++i) r.SetY(i, in.F64());
  if (r.IsSpectrum()) {
    for (int i = 0; i < n; ++i) r.SetIm(i, in.F64());
  }
  r.SetHorUnit(in.Unit());
  r.SetX0(in.F64());
  r.SetDX(in.F64());
  r.SetVertUnit(in.Unit());
  r.SetVertOffset(in.F64());
  r.SetVertScale(in.F64());
  r.SetFFTWindow(in.U8());
  r.SetPropagation(in.F64());
  r.SetTdrUnitKind(in.U8());
  r.SetTdrAmplitude(in.F64());
  r.SetTdrBase(in.F64());
  r.SetRaw(in.U8() != 0);
  return in.Ok() && in.AtEnd() && AcceptableBinaryRecord(r);
}

// ---- verbose text form ---------------------------------------------------------------

constexpr std::string_view kWindowPrefix = "Window: ";
constexpr const char* kPointsHeading = "(The following date points are showed in their real value)";

std::string PadLeft(const std::string& text, std::size_t width) {
  std::size_t chars = 0;  // characters, not bytes: UTF-8 continuation bytes are not counted
  for (char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  return chars >= width ? text : std::string(width - chars, ' ') + text;
}

// The exponent form in a field of the given width: a blank or "-", one digit, ".", the
// further digits, "E", the exponent's sign and four digits, with width - 8 significant
// digits (2..18), right-aligned. Non-finite values are written "+Inf", "-Inf", "Nan".
std::string ExponentField(double v, int width) {
  if (std::isnan(v)) return PadLeft("Nan", static_cast<std::size_t>(width));
  if (std::isinf(v)) return PadLeft(v > 0 ? "+Inf" : "-Inf", static_cast<std::size_t>(width));
  const int digits = std::clamp(width - 8, 2, 18);
  std::array<char, 64> buf{};
  const auto res = std::to_chars(buf.data(), buf.data() + buf.size(), std::fabs(v),
                                 std::chars_format::scientific, digits - 1);
  const std::string_view text(buf.data(), static_cast<std::size_t>(res.ptr - buf.data()));
  const std::size_t e = text.find('e');
  std::string mantissa(text.substr(0, e));
  // Near the largest double, rounding up to the digits kept would write a number beyond
  // the double range, which no reader takes: the digits are cut instead (one unit less in
  // the last digit than the rounded-up text).
  double check = 0;
  if (std::fabs(v) > 1e308 && !TryStrToFloat_Dot(std::string(text), check)) {
    for (auto it = mantissa.rbegin(); it != mantissa.rend(); ++it) {
      if (*it == '.') continue;
      if (*it != '0') {
        --*it;
        break;
      }
      *it = '9';
    }
  }
  // to_chars writes the exponent as e+dd or e-ddd; the field wants E+dddd.
  const char expSign = text[e + 1];
  std::string expDigits(text.substr(e + 2));
  if (expDigits.size() < 4) expDigits.insert(0, 4 - expDigits.size(), '0');
  std::string field(1, v < 0 ? '-' : ' ');
  field.append(mantissa).append(1, 'E').append(1, expSign).append(expDigits);
  return PadLeft(field, static_cast<std::size_t>(width));
}

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

// The number at the start of the text (after blanks), fixed or exponent notation with
// '.', or one of the texts written for non-finite values; the text is advanced past it.
// Nothing when the text does not begin with a number.
std::optional<double> TakeNumber(std::string_view& s) {
  s = SkipBlanks(s);
  std::size_t end = 0;
  while (end < s.size() && s[end] != ' ' && s[end] != '\t') ++end;
  const std::string_view token = s.substr(0, end);
  double v = 0;
  if (token == "Nan") {
    v = std::numeric_limits<double>::quiet_NaN();
  } else if (token == "+Inf" || token == "-Inf") {
    v = token[0] == '-' ? -std::numeric_limits<double>::infinity() : std::numeric_limits<double>::infinity();
  } else if (token.empty() || !TryStrToFloat_Dot(token, v)) {
    return std::nullopt;
  }
  s.remove_prefix(end);
  return v;
}

std::optional<int> LeadingInteger(std::string_view s) {
  s = SkipBlanks(s);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  int v = 0;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), v);
  if (res.ec != std::errc()) return std::nullopt;
  return v;
}

// The unit written before the comment in parentheses.
std::string UnitBeforeComment(const std::string& line) {
  const std::size_t paren = line.rfind('(');
  return std::string(
      TrimBlanks(std::string_view(line).substr(0, paren == std::string::npos ? line.size() : paren)));
}

class TLineReader {
 public:
  explicit TLineReader(std::istream& in) : in_(in) {}
  // The next line without its CR LF (or LF); nothing at the end of the file. Old files may
  // be in the Windows code page; only the file's start can hold a byte-order mark.
  std::optional<std::string> Next() {
    std::string line;
    if (!std::getline(in_, line)) return std::nullopt;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const bool first = std::exchange(first_, false);
    return (first ? DecodeText(line) : DecodeUnmarkedText(line)).utf8;
  }
  std::optional<double> NextLeadingNumber() {
    const auto line = Next();
    if (!line) return std::nullopt;
    std::string_view rest(*line);
    return TakeNumber(rest);
  }

 private:
  std::istream& in_;
  bool first_ = true;
};

void AppendLine(std::string& out, const std::string& line) {
  out += line;
  out += "\r\n";
}

void AppendPointLines(std::string& out, const TSignalObj& r) {
  for (int i = 0; i < r.GetRecLen(); ++i) {
    std::string line = ExponentField(r.GetY(i), 30);
    if (r.IsSpectrum()) line += ExponentField(r.GetIm(i), 30);
    AppendLine(out, line);
  }
}

// A title or a unit holds one line of the file; line breaks inside it become blanks.
std::string SingleLine(std::string text) {
  for (char& c : text) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return text;
}

std::string VerboseText(const TSignalObj& r) {
  std::string out;
  AppendLine(out, kWaveformTextHeader);
  AppendLine(out, SingleLine(r.GetTitle()));
  AppendLine(out, PadLeft(std::to_string(r.GetRecLen()), 4) + "                        (Record Length)");
  AppendLine(out, r.IsSpectrum() ? "Spectrum" : "Waveform");
  std::string window;
  if (r.IsSpectrum()) {
    window = std::string(kWindowPrefix);
    window += GetFFTWindowName(r.GetFFTWindow()).value_or("");
  }
  AppendLine(out, window);
  AppendLine(out, PadLeft(SingleLine(r.GetHorUnit()), 3) +
                      "                         (Dimension of horizontal axes)");
  AppendLine(out, ExponentField(r.GetX0(), 23) + "        (Shift of the first horizontal point)");
  AppendLine(out, ExponentField(r.GetDX(), 20) + "        (Sample interval)");
  AppendLine(out, SingleLine(r.GetVertUnitText()) + "                         (Dimension of vertical axes)");
  AppendLine(out, ExponentField(r.GetVertScale(), 20) + "        (Vertical Scale per division)");
  AppendLine(out, ExponentField(r.GetVertOffset(), 20) + "        (Vertical offset)");
  AppendLine(out, "");
  AppendLine(out, kPointsHeading);
  AppendPointLines(out, r);
  return out;
}

bool ReadVerbose(TLineReader& lines, TSignalObj& r) {
  const auto header = lines.Next();
  if (!header || *header != kWaveformTextHeader) return false;
  if (!lines.Next()) return false;  // the title stays the record's own
  const auto lengthLine = lines.Next();
  if (!lengthLine) return false;
  const auto n = LeadingInteger(*lengthLine);
  if (!n || !ValidRecLen(*n)) return false;
  r.SetRecLen(static_cast<uint16_t>(*n));
  const auto kind = lines.Next();
  const auto window = lines.Next();
  if (!kind || !window) return false;
  r.SetSpectrum(*kind == "Spectrum");
  if (r.IsSpectrum() && window->size() >= kWindowPrefix.size()) {
    const std::string name = window->substr(kWindowPrefix.size());
    for (int w = 0; w < kFFTWindowCount; ++w) {
      if (name == GetFFTWindowName(w)) {
        r.SetFFTWindow(static_cast<uint8_t>(w));
        break;
      }
    }
  }
  const auto horUnit = lines.Next();
  const auto x0 = lines.NextLeadingNumber();
  const auto dx = lines.NextLeadingNumber();
  const auto vertUnit = lines.Next();
  const auto vertScale = lines.NextLeadingNumber();
  const auto vertOffset = lines.NextLeadingNumber();
  if (!horUnit || !x0 || !dx || !vertUnit || !vertScale || !vertOffset) return false;
  if (!lines.Next() || !lines.Next()) return false;
  r.SetHorUnit(UnitBeforeComment(*horUnit));
  r.SetX0(*x0);
  r.SetDX(*dx);
  r.SetVertUnit(UnitBeforeComment(*vertUnit));
  r.SetVertScale(*vertScale);
  r.SetVertOffset(*vertOffset);
  r.SetTdrUnitKind(tukNone);  // the file holds final values
  for (int i = 0; i < *n; ++i) {
    const auto line = lines.Next();
    if (!line) return false;
    std::string_view rest(*line);
    const auto y = TakeNumber(rest);
    if (!y) return false;
    r.SetY(i, *y);
    if (r.IsSpectrum()) {
      const auto im = TakeNumber(rest);
      if (!im) return false;
      r.SetIm(i, *im);
    }
  }
  return FiniteAxes(r);
}

bool WriteAll(std::ostream& out, const std::string& bytes) {
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return static_cast<bool>(out);
}

// Every file operation reports failure as False and never raises.
template <typename Fn>
bool Guarded(Fn&& fn) {
  try {
    return fn();
  } catch (...) {
    return false;
  }
}

}  // namespace

bool TSignalObj::SaveToBinaryFile(std::ostream& out) const {
  return Guarded([&] {
    if (!AcceptableBinaryRecord(*this)) return false;
    TLeWriter w;
    w.U16(recLen_);
    w.U8(isSpectrum_ ? 1 : 0);
    for (int i = 0; i < recLen_; ++i) w.F64(y_[static_cast<std::size_t>(i)]);
    if (isSpectrum_) {
      for (int i = 0; i < recLen_; ++i) w.F64(im_[static_cast<std::size_t>(i)]);
    }
    w.Unit(horUnit_);
    w.F64(x0_);
    w.F64(dx_);
    w.Unit(vertUnit_);
    w.F64(vertOffset_);
    w.F64(vertScale_);
    w.U8(fftWindow_);
    w.F64(propagation_);
    w.U8(tdrUnitKind_);
    w.F64(tdrAmplitude_);
    w.F64(tdrBase_);
    w.U8(raw_ ? 1 : 0);
    return WriteAll(out, w.Bytes());
  });
}

bool TSignalObj::LoadFromBinaryFile(std::istream& in) {
  return Guarded([&] {
    // One byte more than the largest record tells a longer file from a full one.
    std::string bytes(kMaxBinaryBytes + 1, '\0');
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return false;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    TLeReader reader(bytes);
    TSignalObj loaded = *this;
    if (!ReadBinary(reader, loaded)) return false;
    *this = std::move(loaded);
    return true;
  });
}

bool TSignalObj::SaveToTextFile(std::ostream& out, bool yOnly) const {
  return Guarded([&] {
    if (!ValidRecLen(recLen_) || (!yOnly && !FiniteAxes(*this))) return false;
    std::string text;
    if (yOnly) {
      AppendPointLines(text, *this);
    } else {
      text = VerboseText(*this);
    }
    return WriteAll(out, text);
  });
}

bool TSignalObj::LoadFromTextFile(std::istream& in) {
  return Guarded([&] {
    TLineReader lines(in);
    TSignalObj loaded = *this;
    if (!ReadVerbose(lines, loaded) || in.bad()) return false;
    *this = std::move(loaded);
    return true;
  });
}

}  // namespace norv
