#include "tdr_mask/mask_points.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/settings/program_objects.h"
#include "instrument/record/signal_obj.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"

namespace norv {
namespace {

using TKernel = TMask_Obj::TKernel;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

struct TRecordCase {
  const char* Name;
  int RecLen, ZoomStep, FirstShown;
  double Scale, Offset;
  uint8_t TdrUnit;
  // The stored value of point i; the value's span of the screen is passed in.
  std::function<double(int i, double span)> Value;
};

// A value whose screen height lies within a few ulps of a half: the rounding of the
// quotient decides its row.
double NearHalf(int i, double span) {
  const double v = ((i % 1000) + 12.5 - 512) * span / 1024;
  return std::nextafter(v, (i & 1) ? kInf : -kInf) * (1 + ((i >> 1) % 5 - 2) * 1e-16);
}

TSignalObj Record(const TRecordCase& c) {
  TSignalObj r;
  r.SetRecLen(static_cast<uint16_t>(c.RecLen));
  r.SetZoomStep(c.ZoomStep);
  r.SetFirstShown(static_cast<uint16_t>(c.FirstShown));
  r.SetVertScale(c.Scale);
  r.SetVertOffset(c.Offset);
  r.SetTdrUnitKind(c.TdrUnit);
  r.SetTdrAmplitude(0.25);
  r.SetTdrBase(-0.1);
  for (int i = 0; i < kMaxRecLen; ++i) r.SetY(i, c.Value(i, c.Scale * 8));
  return r;
}

// The mask test of every run of points (odd starts and lengths included) on every kernel
// this machine runs takes the heights of the point-by-point conversion: read in place, from
// the end of the store, converted from reflection units or by the trace's own mapping.
TEST(MaskPoints, BlockConversionGivesThePointsHeights) {
  const TRecordCase cases[] = {
      {"512 points, the eye near halves", 512, 1, 0, 0.1, 0, tukNone, NearHalf},
      {"4096 points, the eye near halves", 4096, 1, 0, 0.1, 0.05, tukNone, NearHalf},
      {"1000 points, near halves", 1000, 1, 0, 0.037, -0.3, tukNone, NearHalf},
      {"zoomed: off the screen left and right", 4096, 4, 1500, 0.1, 0, tukNone, NearHalf},
      {"above and below the screen, NaN, infinite, huge and tiny values", 512, 1, 0, 0.1, 0, tukNone,
       [](int i, double) {
         const double v[] = {1, -1, kNaN, kInf, -kInf, 1e300, -1e300, 1e-310, -5e-324, 0.39, -0.4, 0.4};
         return v[i % 12];
       }},
      {"flat scale", 512, 1, 0, 0, 0.1, tukNone,
       [](int i, double) { return i % 3 == 0 ? 0.1 : (i % 3) * 0.1 - 0.05; }},
      {"tiny scale", 512, 1, 0, 1e-200, 0, tukNone, [](int i, double) { return (i % 7 - 3) * 1e-201; }},
      {"huge scale", 512, 1, 0, 1e200, 0, tukNone, [](int i, double) { return (i % 7 - 3) * 1e199; }},
      {"reflection units", 2048, 1, 0, 0.1, 0, tukRho, NearHalf},
      {"ohms", 2048, 1, 0, 20, 50, tukOhm, [](int i, double) { return (i % 101) * 0.004 - 0.2; }},
      {"random values, random scale", 4096, 1, 0, 0.0123456789, 0.0031, tukNone,
       [](int i, double span) {
         uint32_t s = static_cast<uint32_t>(i) * 2654435761u;
         s ^= s >> 13;
         s *= 0x5bd1e995u;
         return (static_cast<double>(s) / 4294967296.0 - 0.5) * span * 1.2;
       }},
  };
  const TMask_Obj mask;  // no polygon: only the heights count here
  constexpr int kPadding = TMask_Obj::kBatchPadding;
  for (const TRecordCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TSignalObj r = Record(c);
    std::vector<int32_t> wantX(kMaxRecLen), wantY(kMaxRecLen);
    for (int i = 0; i < kMaxRecLen; ++i) MaskScreenPoint(r, i, wantX[i], wantY[i]);
    TMaskColumns columns;
    columns.Update(r, mask);
    for (int i = 0; i < kMaxRecLen; ++i)
      ASSERT_EQ(wantX[i] >= 0, columns.First() <= i && i < columns.End()) << i;
    for (const TKernel kernel : {TKernel::Portable, TKernel::Avx2}) {
      if (!TMask_Obj::KernelSupported(kernel)) continue;
      SCOPED_TRACE(kernel == TKernel::Avx2 ? "avx2" : "portable");
      // Whole and odd runs, and the blocks the acquisition hands over: 1 .. 40 points
      // anywhere, up to the end of the store; the points on the screen of each.
      std::vector<std::pair<int, int>> runs = {{0, kMaxRecLen}, {3, 1}, {5, 263}, {4090, 6}, {100, 0}};
      for (int count = 1; count <= 40; ++count)
        runs.insert(runs.end(), {{count * 97, count}, {kMaxRecLen - count, count}});
      for (auto [first, count] : runs) {
        count = std::min(first + count, columns.End()) - std::max(first, columns.First());
        first = std::max(first, columns.First());
        if (count <= 0) continue;
        std::vector<int32_t> ys(count + kPadding + 1, 7777);
        std::vector<uint8_t> bits(count + kPadding);
        std::vector<uint64_t> hits((count + 63) / 64);
        columns.Test(r, mask, first, count, ys.data(), bits.data(), hits.data(), kernel);
        EXPECT_EQ(ys.back(), 7777);
        for (int k = 0; k < count; ++k)
          ASSERT_EQ(ys[k], wantY[first + k]) << "point " << first + k << " value " << r.GetStoredY(first + k);
      }
    }
  }
  // A run past the record's store is refused before anything is read.
  {
    const TSignalObj r;
    EXPECT_THROW(CheckPointRun(r, kMaxRecLen - 100, 200), std::out_of_range);
    EXPECT_THROW(CheckPointRun(r, -4, 8), std::out_of_range);
    EXPECT_NO_THROW(CheckPointRun(r, kMaxRecLen - 100, 100));
  }
  // The reference itself at a few hand-worked points: 512 points at 0.1 V per division
  // put point i at column 8 i, and 0.05 V half a division (64 rows) above the centre line.
  TSignalObj r;
  r.SetVertScale(0.1);
  r.SetY(10, 0.05);
  r.SetY(11, kNaN);
  r.SetY(12, 1);
  int32_t x = 0, y = 0;
  MaskScreenPoint(r, 10, x, y);
  EXPECT_EQ(std::pair(x, y), std::pair(80, 576));
  MaskScreenPoint(r, 11, x, y);
  EXPECT_EQ(std::pair(x, y), std::pair(88, 512));
  MaskScreenPoint(r, 12, x, y);
  EXPECT_EQ(std::pair(x, y), std::pair(96, 1023));
  MaskScreenPoint(r, 501, x, y);
  EXPECT_EQ(x, -1);
}

// The mask test of whole records counts, on every shipped mask and both kernels, the
// hits that the point test of each point's own place counts. Consecutive masks share the
// record's time base, and the time base changes under one mask, so that columns kept for
// another mask or time base would count wrongly.
TEST(MaskPoints, RecordHitCountsMatchThePointTestOnEveryShippedMask) {
  test::FakeDialogs dialogs;
  FreshProgramState();
  const std::filesystem::path folder = test::MakeTempDir("shipped");
  InstallShippedMasks(folder, folder);
  struct TTimeBase {
    int Points, ZoomStep, FirstShown;
    double VertScale;
  };
  // The last two differ in vertical scale alone: the points keep their columns, not their heights.
  std::vector<TTimeBase> timeBases = {{512, 1, 0, 0.1},  {1000, 1, 0, 0.1},    {2048, 1, 0, 0.1},
                                      {4096, 1, 0, 0.1}, {4096, 4, 1000, 0.1}, {4096, 4, 1000, 0.13}};
  int loaded = 0;
  for (const TShippedFile& file : ShippedStandardMasks()) {
    if (std::filesystem::path(file.Path).extension() != ".msk") continue;
    for (const int margin : {0, 10}) {
      TMaskEntry entry;
      ASSERT_TRUE(ReadStandardMaskHeader(folder / file.Path, entry));
      ASSERT_TRUE(LoadStandardMaskFile(folder / file.Path, entry, margin));
      ASSERT_NE(MaskObj, nullptr);
      ++loaded;
      for (const TTimeBase& base : timeBases) {
        SCOPED_TRACE(std::string(file.Path) + " margin " + std::to_string(margin) + ", " +
                     std::to_string(base.Points) + " points, zoom " + std::to_string(base.ZoomStep) +
                     ", scale " + std::to_string(base.VertScale));
        // A noisy sweep of the screen's height.
        TSignalObj& r = SignalObjs().At(0);
        r.SetRecLen(static_cast<uint16_t>(base.Points));
        r.SetZoomStep(static_cast<uint16_t>(base.ZoomStep));
        r.SetFirstShown(static_cast<uint16_t>(base.FirstShown));
        r.SetVertScale(base.VertScale);
        // A NaN stands at the centre row, inside an eye mask's middle polygon.
        for (int i = 0; i < base.Points; ++i)
          r.SetY(i, i % 61 == 7   ? kNaN
                    : i % 67 == 5 ? kInf
                                  : 0.45 * std::sin(i * 0.013) + 0.03 * std::sin(i * 2.1));
        const size_t points = static_cast<size_t>(base.Points);
        std::vector<int32_t> xs(points), ys(points);
        std::array<uint64_t, 9> want{};  // hit points, then each bit
        for (size_t i = 0; i < points; ++i) {
          MaskScreenPoint(r, static_cast<int>(i), xs[i], ys[i]);
          const uint32_t bits = MaskObj->MaskHitBits(xs[i], ys[i]);
          want[0] += bits != 0;
          for (int b = 0; b < 8; ++b) want[1 + b] += bits >> b & 1;
        }
        ASSERT_GT(want[0], 0u);
        // The batch test reads a little past its points.
        const size_t padded = points + TMask_Obj::kBatchPadding;
        xs.resize(padded, -1);
        ys.resize(padded, 0);
        std::vector<uint32_t> words(MaskObj->ColumnWordRows() * padded);
        MaskObj->GatherColumnWords(xs.data(), padded, words.data(), padded);
        for (const TKernel kernel : {TKernel::Portable, TKernel::Avx2}) {
          if (!TMask_Obj::KernelSupported(kernel)) continue;
          SCOPED_TRACE(kernel == TKernel::Avx2 ? "avx2" : "portable");
          std::vector<uint8_t> bits(padded);
          std::vector<uint64_t> hits((points + 63) / 64, ~uint64_t{0});
          MaskObj->MaskHitBits(words.data(), padded, xs.data(), ys.data(), points, bits.data(), hits.data(),
                               kernel);
          std::array<uint64_t, 9> got{};
          for (size_t i = 0; i < points; ++i) {
            got[0] += bits[i] != 0;
            for (int k = 0; k < 8; ++k) got[1 + k] += bits[i] >> k & 1;
            ASSERT_EQ(hits[i / 64] >> (i % 64) & 1, uint64_t{bits[i] != 0}) << "point " << i;
          }
          EXPECT_EQ(got, want);
          // Runs of 1 .. 40 points at odd places give each point its own bits, and no hit
          // past their end.
          for (size_t count = 1, first = 0; first + count <= points; first += count, count = count % 40 + 1) {
            std::array<uint64_t, 1> runHits{~uint64_t{0}};
            MaskObj->MaskHitBits(words.data() + first, padded, xs.data() + first, ys.data() + first, count,
                                 bits.data(), runHits.data(), kernel);
            for (size_t k = 0; k < count; ++k)
              ASSERT_EQ(bits[k], MaskObj->MaskHitBits(xs[first + k], ys[first + k])) << "point " << first + k;
            ASSERT_EQ(runHits[0] >> count, 0u) << "run of " << count << " from " << first;
          }
        }
        // The record whole, and in the blocks the acquisition hands over (1 .. 40 points).
        for (const bool blocks : {false, true}) {
          SCOPED_TRACE(blocks ? "blocks" : "whole");
          ClearMaskTestCounters();
          if (!blocks) CountMaskHitsInRun(0, 0, base.Points);
          for (int count = 1, first = 0; blocks && first < base.Points;
               first += count, count = count % 40 + 1)
            CountMaskHitsInRun(0, first, std::min(count, base.Points - first));
          const auto& counters = MaskSettings().Counters;
          EXPECT_EQ(counters[mcFailSmpl], want[0]);
          for (int b = 0; b < 8; ++b) EXPECT_EQ(counters[mcPoly + b], want[1 + b]);
        }
      }
      std::reverse(timeBases.begin(), timeBases.end());
    }
  }
  EXPECT_GE(loaded, 8);
  ClearCurrentMask();
  FreshProgramState();
}

}  // namespace
}  // namespace norv
