#include "shell/remote/waveform_transfer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "instrument/record/signal_obj.h"

namespace norv {

TWfmNodes WfmNodes;
const TProgramUnit WfmUnit("waveform transfer", [] { WfmNodes = {}; });

namespace {

constexpr std::string_view kSignalIsAbsent = "SIGNAL IS ABSENT";
constexpr int kPrecision = 5;

void OnSourceChange(THandler&) {
  const TTraceId source = WfmNodes.Source->GetSource();
  if (IsRecordTrace(source))
    WfmNodes.LastRecordSource = source;
  else
    WfmNodes.Source->SetSourceByProgram(WfmNodes.LastRecordSource);
}

const TSignalObj* ChosenRecord() {
  const TTraceId source = WfmNodes.Source ? WfmNodes.Source->GetSource() : TTraceId::Ch1;
  return IsRecordTrace(source) ? &SignalObjs()[source] : nullptr;
}

void DataReply(const std::string&, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  if (HeaderOn()) reply += ' ';
  const TSignalObj* record = ChosenRecord();
  if (!record || !SignalsOn.IsOn(WfmNodes.Source->GetSource())) {
    reply += kSignalIsAbsent;
    return;
  }
  AppendWfmPoints(reply, *record, GetIndex(WfmNodes.Complex));
}

void PreambleReply(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  const std::string param = UpperAscii(TrimBlanks(rawParam));
  const bool header = HeaderOn();
  const TSignalObj* record = ChosenRecord();
  if (header) reply += ":" + param + " ";
  const bool all = param.empty();
  bool any = false;
  auto item = [&](std::string_view key, std::string_view label, auto&& value) {
    if (!all && param != key) return;
    if (any) reply += ", ";
    any = true;
    if (header) reply += label;
    value();
  };
  if (record) {
    item("POIN", "Points = ", [&] { reply += std::to_string(record->GetRecLen()); });
    item("XINC", "XInc = ", [&] { AppendGeneral5(reply, record->GetDX()); });
    item("XORG", "XOrig = ", [&] { AppendGeneral5(reply, record->GetX0()); });
    item("XU", "XU = ", [&] { reply += record->GetHorUnit(); });
    item("YU", "YU = ", [&] { reply += record->GetVertUnitTextFull(); });
  }
  if (!any) reply += "ERROR";
}

}  // namespace

void RegisterWfmCommands() {
  WfmNodes.LastRecordSource = TTraceId::Ch1;
  uint32_t excluded = 0;
  for (int id = kRecordTraceCount; id < kTraceIdCount; ++id) excluded |= 1u << id;
  WfmNodes.Source = RootSpider->AddSignalSourceSw(
      static_cast<uint8_t>(TTraceId::Ch1), "Wfm:Source",
      "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2,XY,DB,Hist,Const,None", excluded, OnSourceChange);
  WfmNodes.Data = RootSpider->AddGpibString("Wfm:Data", DataReply);
  WfmNodes.Preamb = RootSpider->AddGpibString("Wfm:Preamb", PreambleReply);
  WfmNodes.Complex = RootSpider->AddRadioSw(0, "Wfm:Complex", "Mod,Ph,Re,Im");
  for (THandler* node :
       std::initializer_list<THandler*>{WfmNodes.Source, WfmNodes.Data, WfmNodes.Preamb, WfmNodes.Complex})
    node->SetInternal(true);
}

namespace {

// Powers of ten as the nearest doubles, 10^-kMaxPow .. 10^kMaxPow.
constexpr int kMaxPow = 300;
const std::array<double, 2 * kMaxPow + 1> kPowersOfTen = [] {
  std::array<double, 2 * kMaxPow + 1> table{};
  for (int k = -kMaxPow; k <= kMaxPow; ++k) {
    const std::string text = "1e" + std::to_string(k);
    std::from_chars(text.data(), text.data() + text.size(), table[k + kMaxPow]);
  }
  return table;
}();
inline double PowerOfTen(int k) { return kPowersOfTen[static_cast<size_t>(k + kMaxPow)]; }

// Scaled values carry this many fraction bits as integers (five digits stay below 2^17).
constexpr int kFractionBits = 30;

// By the binary exponent of a value in [2^e, 2^(e+1)): the decade it begins in, where the
// next one begins, and the factors that bring either decade to five integer digits and
// kFractionBits fraction bits.
struct TDecade {
  double Threshold;
  double Scale[2];  // for the decade, for the next
  int Exp10;
};
const std::array<TDecade, 2048> kDecades = [] {
  std::array<TDecade, 2048> table{};
  for (int biased = 1; biased < 2047; ++biased) {
    const int exp10 = ((biased - 1023) * 78913) >> 18;  // floor(log10 2^e): one low at most
    if (exp10 < -kMaxPow + 6 || exp10 > kMaxPow - 6) continue;
    table[biased] = {PowerOfTen(exp10 + 1),
                     {std::ldexp(PowerOfTen(kPrecision - 1 - exp10), kFractionBits),
                      std::ldexp(PowerOfTen(kPrecision - 2 - exp10), kFractionBits)},
                     exp10};
  }
  return table;
}();

// Writes the value with the program's general formatter (exact, slower, rarely needed).
[[gnu::noinline, gnu::cold]] char* WriteGeneral5Exact(char* out, double value) {
  const std::string text = FloatToStrF_Dot(value, TFloatFormat::ffGeneral, kPrecision, 0);
  return std::copy(text.begin(), text.end(), out);
}

// "00" .. "99" as the two bytes of a little-endian word.
constexpr std::array<uint16_t, 100> kDigitPairs = [] {
  std::array<uint16_t, 100> pairs{};
  for (int i = 0; i < 100; ++i) pairs[i] = static_cast<uint16_t>(('0' + i / 10) | ('0' + i % 10) << 8);
  return pairs;
}();
// "000" .. "999" in the low three bytes of a little-endian word.
constexpr std::array<uint32_t, 1000> kDigitTriples = [] {
  std::array<uint32_t, 1000> triples{};
  for (uint32_t i = 0; i < 1000; ++i)
    triples[i] = ('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16;
  return triples;
}();

// A value's magnitude rounded to five significant digits: Digits (10000..99999) times
// 10^(Exp10 - 4); Digits 0 when only the exact formatter can tell.
struct TFiveDigits {
  uint32_t Digits;
  int32_t Exp10;
};

// Away from the ends of the range and from zero, the magnitude scaled to five integer
// digits is within 1e-9 of the exact product (truncation to kFractionBits included); only
// a fraction within about 1.2e-7 of one half needs the exact expansion to decide. No
// branches: for a noisy waveform every choice here is a coin toss.
inline TFiveDigits RoundToFiveDigits(double magnitude) {
  constexpr uint64_t kOne = uint64_t{1} << kFractionBits;
  constexpr uint64_t kTieRoom = 128;                               // 128 / 2^30: 1.2e-7
  const bool inRange = magnitude >= 1e-280 && magnitude <= 1e280;  // false for NaN too
  const double a = inRange ? magnitude : 1.0;
  const TDecade& decade = kDecades[std::bit_cast<uint64_t>(a) >> 52];
  const bool higher = a >= decade.Threshold;
  // Plus one half, so that the integer part is the rounded value and a tie ends near 0.
  const uint64_t fixed = static_cast<uint64_t>(static_cast<int64_t>(a * decade.Scale[higher])) + kOne / 2;
  uint32_t r = static_cast<uint32_t>(fixed >> kFractionBits);
  const bool tie = ((fixed + kTieRoom) & (kOne - 1)) < 2 * kTieRoom;
  const bool carry = r == 100000;
  r -= carry * 90000;
  const bool exact = !inRange || tie || r < 10000 || r > 99999;
  return {exact ? 0 : r, decade.Exp10 + higher + carry};
}

// At most 12 characters ("-1.2345E-100"), but it may store up to 20 (the caller leaves
// the room): the common forms are stored in whole words and the end moved back.
[[gnu::always_inline]] inline char* WriteFiveDigits(char* out, double value, TFiveDigits five) {
  if (five.Digits == 0) return WriteGeneral5Exact(out, value);
  const uint32_t r = five.Digits;
  const int exp10 = five.Exp10;
  // The five digits, trailing zeros included, in the first bytes of a word of '0's (built
  // in a register: bytes stored one by one and read back as a word would stall).
  static_assert(std::endian::native == std::endian::little);
  const uint32_t thousands = r / 1000;
  const uint64_t word =
      0x3030300000000000u | kDigitPairs[thousands] | uint64_t{kDigitTriples[r - thousands * 1000]} << 16;
  // The significant digits end at the last byte that is not '0' (the first never is).
  const uint64_t nonZero = (word ^ 0x3030303030303030u) & 0xFFFFFFFFFFu;
  const int count = (std::bit_width(nonZero) + 7) / 8;

  *out = '-';
  out += value < 0;
  if (exp10 >= kPrecision || exp10 < -4) {
    char digits[8];
    std::memcpy(digits, &word, sizeof(word));
    *out++ = digits[0];
    if (count > 1) *out++ = '.';
    for (int i = 1; i < count; ++i) *out++ = digits[i];
    *out++ = 'E';
    return std::to_chars(out, out + 5, exp10).ptr;
  }
  if (exp10 < 0) {
    // "0.", -exp10 - 1 zeros, the digits.
    std::memcpy(out, "0.000000", 8);
    out += 1 - exp10;
    std::memcpy(out, &word, sizeof(word));
    return out + count;
  }
  // The digits with the point after exp10 + 1 of them, when any follow it.
  const int whole = exp10 + 1;
  std::memcpy(out, &word, sizeof(word));
  if (count <= whole) return out + whole;
  const uint64_t after = word >> (8 * whole);
  std::memcpy(out + whole + 1, &after, sizeof(after));
  out[whole] = '.';
  return out + count + 1;
}

}  // namespace

void AppendGeneral5(std::string& text, double value) {
  char buffer[32];  // room for what WriteFiveDigits may store beyond its end
  text.append(buffer, WriteFiveDigits(buffer, value, RoundToFiveDigits(std::fabs(value))));
}

double WfmPhaseDegrees(double re, double im) {
  constexpr double kPi = 3.14159265358979323846;
  double angle = 0;
  if (im != 0 && std::fabs(re) >= 1e-60) {
    angle = std::atan(im / re);
    if (re <= 0 && im < 0) angle -= kPi;
    if (re <= 0 && im > 0) angle += kPi;
  }
  return 57.29577951308232 * angle;
}

void AppendWfmPoints(std::string& text, const TSignalObj& record, int complexView) {
  const int count = record.GetRecLen();
  const bool complex = record.IsSpectrum();
  // Values in reflection units go through the record's conversion; the others are read as
  // stored, without a call per point.
  const bool stored = record.GetTdrUnitKind() == tukNone || record.GetRaw();
  const size_t start = text.size();
  // 14 per point at most, and room for the whole words WriteFiveDigits stores.
  text.resize(start + static_cast<size_t>(count) * 14 + 16);
  char* const first = text.data() + start;
  char* out = first;
  // In blocks: the values, then their rounding (a loop without branches), then the text.
  constexpr int kBlock = 256;
  double values[kBlock];
  TFiveDigits fives[kBlock];
  for (int block = 0; block < count; block += kBlock) {
    const int n = std::min(kBlock, count - block);
    for (int j = 0; j < n; ++j) {
      const int i = block + j;
      double value = stored ? record.GetStoredY(i) : record.GetY(i);
      if (complex) {
        const double im = record.GetIm(i);
        switch (complexView) {
          case cvPhase:
            value = WfmPhaseDegrees(value, im);
            break;
          case cvReal:
            break;
          case cvImaginary:
            value = im;
            break;
          default:
            value = std::sqrt(value * value + im * im);
            break;
        }
      }
      values[j] = value;
    }
    for (int j = 0; j < n; ++j) fives[j] = RoundToFiveDigits(std::fabs(values[j]));
    for (int j = 0; j < n; ++j) {
      if (block + j > 0) {
        std::memcpy(out, ", ", 2);
        out += 2;
      }
      out = WriteFiveDigits(out, values[j], fives[j]);
    }
  }
  text.resize(start + static_cast<size_t>(out - first));
}

}  // namespace norv
