#include "shell/remote/waveform_transfer.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <string_view>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "instrument/record/signal_obj.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define NORV_WFM_AVX2 1
#endif

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
  // A record never acquired (or computed, or read) has no points to serve.
  if (!record || !record->HasLength() || !SignalsOn.IsOn(WfmNodes.Source->GetSource())) {
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
  if (header) reply += ":" + EchoedInput(param) + " ";
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

// Ties are settled in 128-bit integers with powers of five up to this.
constexpr int kMaxTiePower = 27;
// The largest power of ten a double holds exactly.
constexpr int kLargestExactPower = 22;

// Binary exponents (biased) of 1.5e-280 .. 4.5e280: the magnitudes the fast path takes.
// The others (zero and what is not finite among them) go to the exact formatter.
constexpr uint64_t kLowestBiased = 93, kHighestBiased = 1953;

// By the biased binary exponent of a magnitude in [2^e, 2^(e+1)): the decade E it begins
// in (10^E <= 2^e), the factors 10^(4 - E) and 10^(3 - E) that bring it and the next
// decade to five integer digits, and flags: bit 0 (1) when the ties of decade E (E + 1)
// are settled in integers, bit 2 (3) when the factor for decade E (E + 1) is exact.
struct alignas(32) TBinade {
  double Scale[2];
  int32_t Exp10;
  uint32_t Flags;
};
const std::array<TBinade, 2048> kBinades = [] {
  std::array<TBinade, 2048> table{};
  for (uint64_t biased = kLowestBiased; biased <= kHighestBiased; ++biased) {
    const double low = std::ldexp(1.0, static_cast<int>(biased) - 1023);
    int exp10 = -kMaxPow;
    while (PowerOfTen(exp10 + 1) <= low) ++exp10;
    TBinade& binade = table[biased];
    binade.Exp10 = exp10;
    for (int next = 0; next < 2; ++next) {
      const int power = kPrecision - 1 - exp10 - next;
      binade.Scale[next] = PowerOfTen(power);
      binade.Flags |= static_cast<uint32_t>(std::abs(power) <= kMaxTiePower) << next;
      binade.Flags |= static_cast<uint32_t>(power >= 0 && power <= kLargestExactPower) << (2 + next);
    }
  }
  return table;
}();

// Zero, and the values the fast path does not reach (not finite, beyond 1.5e-280 ..
// 4.5e280, ties beyond 1e-23 .. 1e31): zero is "0", the others go to the program's
// general formatter (exact, slower).
[[gnu::noinline]] char* WriteGeneral5Rare(char* out, double value) {
  if (value == 0) {
    *out = '0';
    return out + 1;
  }
  const std::string text = FloatToStrF_Dot(value, TFloatFormat::ffGeneral, kPrecision, 0);
  return std::copy(text.begin(), text.end(), out);
}

// "00" .. "99" in the low two bytes of a little-endian word, and in its top byte the
// count of digits up to the last that is not '0'.
constexpr std::array<uint32_t, 100> kDigitPairs = [] {
  std::array<uint32_t, 100> pairs{};
  for (uint32_t i = 0; i < 100; ++i)
    pairs[i] = ('0' + i / 10) | ('0' + i % 10) << 8 | (i % 10 != 0 ? 2 : 1) << 24;
  return pairs;
}();
// "000" .. "999" in the low three bytes, and the same count in the top one (0 for "000").
constexpr std::array<uint32_t, 1000> kDigitTriples = [] {
  std::array<uint32_t, 1000> triples{};
  for (uint32_t i = 0; i < 1000; ++i) {
    const uint32_t count = i == 0 ? 0 : i % 100 == 0 ? 1 : i % 10 == 0 ? 2 : 3;
    triples[i] = ('0' + i / 100) | ('0' + i / 10 % 10) << 8 | ('0' + i % 10) << 16 | count << 24;
  }
  return triples;
}();

// A value's magnitude rounded to five significant digits: Digits (10000..99999) times
// 10^(Exp10 - 4); Digits 0 for zero and what only the exact formatter can tell. A
// magnitude within reach of a half (a tie) has the lower candidate in Digits until
// SettleTie decides.
struct TFiveDigits {
  uint32_t Digits;
  int32_t Exp10;
};

constexpr double kTieRoom = 0x1p-23;
// Above this the scaled magnitude belongs to the next decade; no tie of its own is near.
constexpr double kNextDecadeFrom = 99999.75;

// The magnitude scaled to five integer digits is within 1e-10 of the exact product (the
// nearest double of the power of ten and the product's rounding, each within 2^-53); only
// a fraction within kTieRoom (1.2e-7) of one half needs the exact value to decide. No
// branches (so no && or ||, and the factor picked by index): for a noisy waveform every
// choice here is a coin toss.
inline TFiveDigits RoundToFiveDigits(double magnitude, uint32_t& tie) {
  constexpr double kShift = 0x1p52;  // adding and taking it away rounds to an integer
  const uint64_t bits = std::bit_cast<uint64_t>(magnitude);
  const uint64_t biased = bits >> 52;
  const uint32_t inRange = biased - kLowestBiased <= kHighestBiased - kLowestBiased;
  // Out of the range 1.0 stands in.
  const TBinade& binade = kBinades[inRange ? biased : 1023];
  const double a = inRange ? magnitude : 1.0;
  const uint32_t next = a * binade.Scale[0] >= kNextDecadeFrom;
  const double scaled = a * binade.Scale[next];
  const double nearest = (scaled + kShift) - kShift;
  const double off = scaled - nearest;
  const uint32_t near = std::fabs(off) > 0.5 - kTieRoom;
  // The nearest integer of a tie is one up when the product lay just above the half.
  uint32_t r = static_cast<uint32_t>(static_cast<int32_t>(nearest)) - (near & (off < 0));
  const uint32_t carry = r == 100000;  // never on a tie
  r -= carry * 90000;
  const uint32_t exact = (inRange ^ 1) | (near & ~(binade.Flags >> next));
  tie = near & (exact ^ 1) & 1;
  return {r & (exact - 1), binade.Exp10 + static_cast<int32_t>(next + carry)};
}

// 5^0 .. 5^kMaxTiePower (the largest below 2^63).
constexpr std::array<uint64_t, kMaxTiePower + 1> kPowersOfFive = [] {
  std::array<uint64_t, kMaxTiePower + 1> powers{};
  powers[0] = 1;
  for (size_t i = 1; i < powers.size(); ++i) powers[i] = powers[i - 1] * 5;
  return powers;
}();

// Rounds a tie exactly, halves away from zero: the magnitude m x 2^k against the half
// (2 Digits + 1) x 10^q / 2, q = Exp10 - 4, that is m x 5^-q x 2^(k - q + 1) against
// (2 Digits + 1) x 5^q with the negative powers moved to the other side. Both sides are
// within a factor of two of each other, the larger below 2^117.
inline void SettleTie(double magnitude, TFiveDigits& five) {
  using TWide = unsigned __int128;
  const uint64_t bits = std::bit_cast<uint64_t>(magnitude);  // normal: 1.5e-280 or more
  const uint64_t m = (bits & ((uint64_t{1} << 52) - 1)) | uint64_t{1} << 52;
  const int k = static_cast<int>(bits >> 52) - 1075;
  const int q = five.Exp10 - 4;
  const TWide left = TWide{m} * kPowersOfFive[static_cast<size_t>(q < 0 ? -q : 0)];
  const TWide right = TWide{2 * five.Digits + 1} * kPowersOfFive[static_cast<size_t>(q > 0 ? q : 0)];
  const int shift = k - q + 1;
  five.Digits += shift >= 0 ? (left << shift) >= right : left >= (right << -shift);
  const bool carry = five.Digits == 100000;
  five.Digits -= carry * 90000;
  five.Exp10 += carry;
}

// The value's magnitude to five digits, ties settled.
inline TFiveDigits FiveDigitsOf(double value) {
  uint32_t tie = 0;
  TFiveDigits five = RoundToFiveDigits(std::fabs(value), tie);
  if (tie) SettleTie(std::fabs(value), five);
  return five;
}

// Rounds the magnitudes of n values: their indexes that are ties go to TieAt (not
// branching on them), their count is returned.
int RoundPortable(const double* values, int n, TFiveDigits* fives, int* tieAt) {
  int ties = 0;
  for (int j = 0; j < n; ++j) {
    uint32_t tie = 0;
    fives[j] = RoundToFiveDigits(std::fabs(values[j]), tie);
    tieAt[ties] = j;
    ties += static_cast<int>(tie);
  }
  return ties;
}

#ifdef NORV_WFM_AVX2
// By a mask of four lanes: the numbers of its lanes that are set, a byte each from the
// lowest, and their count in the high word.
constexpr std::array<uint64_t, 16> kTieLanes = [] {
  std::array<uint64_t, 16> table{};
  for (uint32_t mask = 0; mask < 16; ++mask) {
    uint32_t lanes = 0, count = 0;
    for (uint32_t lane = 0; lane < 4; ++lane)
      if (mask >> lane & 1) lanes |= lane << (8 * count++);
    table[mask] = lanes | uint64_t{count} << 32;
  }
  return table;
}();

// The same four values at a time, as RoundToFiveDigits rounds each. Where the factor is
// exact (magnitudes of 1e-18 .. 1e5) a tie is settled here too: with a fused multiply the
// product is the sum of two doubles exactly, and its difference from the half (exact
// near it) plus the rounding error has the sign of the exact difference. (The four
// indexes stored for each four values stay below the next of them: there are no more
// ties than values before them.)
[[gnu::target("avx2,fma")]] int RoundAvx2(const double* values, int n, TFiveDigits* fives, int* tieAt) {
  static_assert(sizeof(TBinade) == 32 && offsetof(TBinade, Exp10) == 16 && offsetof(TBinade, Flags) == 20);
  static_assert(sizeof(TFiveDigits) == 8);
  const __m256d absMask = _mm256_castsi256_pd(_mm256_set1_epi64x(INT64_MAX));
  const __m256d one = _mm256_set1_pd(1.0);
  const __m256i ones = _mm256_set1_epi64x(1);
  const __m256i all = _mm256_set1_epi64x(-1);
  int ties = 0;
  int j = 0;
  for (; j + 4 <= n; j += 4) {
    const __m256d magnitude = _mm256_and_pd(_mm256_loadu_pd(values + j), absMask);
    const __m256i biased = _mm256_srli_epi64(_mm256_castpd_si256(magnitude), 52);
    const __m256i inRange =
        _mm256_and_si256(_mm256_cmpgt_epi64(biased, _mm256_set1_epi64x(kLowestBiased - 1)),
                         _mm256_cmpgt_epi64(_mm256_set1_epi64x(kHighestBiased + 1), biased));
    // Out of the range 1.0 stands in. The binades are four words apart.
    const __m256i slot = _mm256_slli_epi64(_mm256_blendv_epi8(_mm256_set1_epi64x(1023), biased, inRange), 2);
    const __m256d a = _mm256_blendv_pd(one, magnitude, _mm256_castsi256_pd(inRange));
    // Neighbours mostly share their binade: one entry for all four then, else gathers.
    __m256d scale0, scale1;
    __m256i binade;
    const __m256i firstSlot = _mm256_permute4x64_epi64(slot, 0);
    if (_mm256_testc_si256(_mm256_cmpeq_epi64(slot, firstSlot), all)) {
      const TBinade& entry = kBinades[static_cast<size_t>(_mm256_cvtsi256_si32(firstSlot)) / 4];
      long long info;
      std::memcpy(&info, &entry.Exp10, sizeof(info));
      scale0 = _mm256_set1_pd(entry.Scale[0]);
      scale1 = _mm256_set1_pd(entry.Scale[1]);
      binade = _mm256_set1_epi64x(info);
    } else {
      scale0 = _mm256_i64gather_pd(&kBinades[0].Scale[0], slot, 8);
      scale1 = _mm256_i64gather_pd(&kBinades[0].Scale[1], slot, 8);
      binade = _mm256_i64gather_epi64(reinterpret_cast<const long long*>(&kBinades[0].Exp10), slot, 8);
    }
    const __m256d next = _mm256_cmp_pd(_mm256_mul_pd(a, scale0), _mm256_set1_pd(kNextDecadeFrom), _CMP_GE_OQ);
    const __m256i nextBit = _mm256_and_si256(_mm256_castpd_si256(next), ones);
    const __m256d scale = _mm256_blendv_pd(scale0, scale1, next);
    const __m256d scaled = _mm256_mul_pd(a, scale);
    const __m256d error = _mm256_fmsub_pd(a, scale, scaled);  // a x scale = scaled + error
    const __m256d nearest = _mm256_round_pd(scaled, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
    const __m256d off = _mm256_sub_pd(scaled, nearest);
    const __m256i near = _mm256_castpd_si256(
        _mm256_cmp_pd(_mm256_and_pd(off, absMask), _mm256_set1_pd(0.5 - kTieRoom), _CMP_GT_OQ));
    const __m256d aboveHalf = _mm256_cmp_pd(off, _mm256_setzero_pd(), _CMP_LT_OQ);
    const __m256i above = _mm256_castpd_si256(aboveHalf);
    // The half between the two candidates of a tie, and whether the exact product reaches it.
    const __m256d half =
        _mm256_add_pd(nearest, _mm256_blendv_pd(_mm256_set1_pd(0.5), _mm256_set1_pd(-0.5), aboveHalf));
    const __m256i up = _mm256_castpd_si256(
        _mm256_cmp_pd(_mm256_add_pd(_mm256_sub_pd(scaled, half), error), _mm256_setzero_pd(), _CMP_GE_OQ));
    const __m256i flags = _mm256_srlv_epi64(_mm256_srli_epi64(binade, 32), nextBit);
    const __m256i settles = _mm256_cmpeq_epi64(_mm256_and_si256(flags, ones), ones);
    const __m256i exactScale =
        _mm256_cmpeq_epi64(_mm256_and_si256(flags, _mm256_set1_epi64x(4)), _mm256_set1_epi64x(4));
    const __m256i settledHere = _mm256_and_si256(near, exactScale);
    // The lower candidate of a tie, one up where settled here and reached.
    __m256i r = _mm256_cvtepi32_epi64(_mm256_cvtpd_epi32(nearest));
    r = _mm256_add_epi64(r, _mm256_and_si256(near, above));
    r = _mm256_sub_epi64(r, _mm256_and_si256(settledHere, up));
    const __m256i carry = _mm256_cmpeq_epi64(r, _mm256_set1_epi64x(100000));
    r = _mm256_sub_epi64(r, _mm256_and_si256(carry, _mm256_set1_epi64x(90000)));
    const __m256i left = _mm256_andnot_si256(exactScale, near);  // ties left to SettleTie
    const __m256i exact = _mm256_or_si256(_mm256_andnot_si256(settles, left), _mm256_xor_si256(inRange, all));
    // Digits in the low word of each lane, the exponent (32-bit sums) in the high one.
    const __m256i exp10 = _mm256_add_epi32(_mm256_add_epi32(binade, nextBit), _mm256_and_si256(carry, ones));
    const __m256i five =
        _mm256_blend_epi32(_mm256_andnot_si256(exact, r), _mm256_slli_epi64(exp10, 32), 0xAA);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(fives + j), five);
    const unsigned tie =
        static_cast<unsigned>(_mm256_movemask_pd(_mm256_castsi256_pd(_mm256_andnot_si256(exact, left))));
    // The lanes of the ties, packed (four indexes stored, as many kept as there are ties).
    const uint64_t lanes = kTieLanes[tie];
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(tieAt + ties),
        _mm_add_epi32(_mm_cvtepu8_epi32(_mm_cvtsi32_si128(static_cast<int>(lanes))), _mm_set1_epi32(j)));
    ties += static_cast<int>(lanes >> 32);
  }
  // The compiler leaves it out before a call; without it the SSE code after it slows.
  _mm256_zeroupper();
  const int more = RoundPortable(values + j, n - j, fives + j, tieAt + ties);
  for (int t = 0; t < more; ++t) tieAt[ties + t] += j;
  return ties + more;
}
#endif

// The scientific form ("1.2345E-5"): the digits with the point after the first of them.
[[gnu::noinline]] char* WriteScientific(char* out, uint64_t word, int count, int exp10) {
  char digits[8];
  std::memcpy(digits, &word, sizeof(word));
  *out++ = digits[0];
  if (count > 1) *out++ = '.';
  for (int i = 1; i < count; ++i) *out++ = digits[i];
  *out++ = 'E';
  return std::to_chars(out, out + 5, exp10).ptr;
}

// At most 12 characters ("-1.2345E-100"), but it may store up to 20 (the caller leaves
// the room): the common forms are stored in whole words and the end moved back.
[[gnu::always_inline]] inline char* WriteFiveDigits(char* out, double value, TFiveDigits five) {
  if (five.Digits == 0) [[unlikely]]
    return WriteGeneral5Rare(out, value);
  const uint32_t r = five.Digits;
  const int exp10 = five.Exp10;
  // The five digits, trailing zeros included, in the first bytes of a word (built in a
  // register: bytes stored one by one and read back as a word would stall), and the count
  // of them up to the last that is not '0' (the first never is).
  static_assert(std::endian::native == std::endian::little);
  const uint32_t thousands = r / 1000;
  const uint32_t pair = kDigitPairs[thousands], triple = kDigitTriples[r - thousands * 1000];
  const uint64_t word = (pair & 0xFFFF) | uint64_t{triple & 0xFFFFFF} << 16;
  const int count = static_cast<int>(triple >> 24 != 0 ? (triple >> 24) + 2 : pair >> 24);

  *out = '-';
  out += std::bit_cast<uint64_t>(value) >> 63;
  if (static_cast<unsigned>(exp10 + 4) > kPrecision + 3) [[unlikely]]
    return WriteScientific(out, word, count, exp10);
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
  text.append(buffer, WriteFiveDigits(buffer, value, FiveDigitsOf(value)));
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

namespace {

// Point i of the record as "Wfm:Data?" sends it: read as stored or converted, and of a
// spectrum the part the view names.
double PointValue(const TSignalObj& record, int i, bool stored, int complexView) {
  const double value = stored ? record.GetStoredY(i) : record.GetY(i);
  if (!record.IsSpectrum()) return value;
  const double im = record.GetIm(i);
  switch (complexView) {
    case cvPhase:
      return WfmPhaseDegrees(value, im);
    case cvReal:
      return value;
    case cvImaginary:
      return im;
    default:
      return std::sqrt(value * value + im * im);
  }
}

}  // namespace

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
  int tieAt[kBlock];
#ifdef NORV_WFM_AVX2
  static const auto round =
      __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma") ? RoundAvx2 : RoundPortable;
#else
  constexpr auto round = RoundPortable;
#endif
  for (int block = 0; block < count; block += kBlock) {
    const int n = std::min(kBlock, count - block);
    // A record's values as stored (the common case) in a loop of their own.
    if (stored && !complex) {
      for (int j = 0; j < n; ++j) values[j] = record.GetStoredY(block + j);
    } else {
      for (int j = 0; j < n; ++j) values[j] = PointValue(record, block + j, stored, complexView);
    }
    // The ties (a quantised record has many) are settled apart, so that the rounding does
    // not branch on them.
    const int ties = round(values, n, fives, tieAt);
    for (int t = 0; t < ties; ++t) SettleTie(std::fabs(values[tieAt[t]]), fives[tieAt[t]]);
    // Each value with ", " after it; the last one's goes at the end.
    for (int j = 0; j < n; ++j) {
      out = WriteFiveDigits(out, values[j], fives[j]);
      std::memcpy(out, ", ", 2);
      out += 2;
    }
  }
  if (out != first) out -= 2;
  text.resize(start + static_cast<size_t>(out - first));
}

}  // namespace norv
