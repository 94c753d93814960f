#include "tdr_mask/mask_object.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "framework/util/errors.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"

namespace norv {
namespace {

struct Poly {
  std::vector<double> X, Y;
};

// Nearest integer, halves to the even neighbour, written out rather than taken from the
// library's rounding mode.
int64_t HalfEven(double v) {
  const double lo = std::floor(v);
  const double frac = v - lo;
  int64_t r = static_cast<int64_t>(lo);
  if (frac > 0.5 || (frac == 0.5 && (r % 2 != 0))) ++r;
  return r;
}

// The same integer rules applied straight to the vertex list: every edge between
// neighbouring vertexes, taken left end first, counts for columns X1 < x <= X2 when the
// point lies strictly above its truncated height.
bool ReferenceInside(const Poly& p, int x, int y32) {
  const size_t k = p.X.size();
  bool inside = false;
  for (size_t i = 0; i < k; ++i) {
    int64_t ax = HalfEven(p.X[i]), ay = HalfEven(p.Y[i] * 32);
    int64_t bx = HalfEven(p.X[(i + 1) % k]), by = HalfEven(p.Y[(i + 1) % k] * 32);
    if (ax > bx) std::swap(ax, bx), std::swap(ay, by);
    if (ax == bx || !(ax < x && x <= bx)) continue;
    bool below;
    if ((y32 > ay) != (y32 > by)) {
      const int64_t num = (by - ay) * (x - ax);
      const int64_t den = bx - ax;
      const int64_t q = num >= 0 ? num / den : -((-num) / den);  // toward zero
      below = y32 > ay + q;
    } else {
      below = y32 > ay;
    }
    inside ^= below;
  }
  return inside;
}

TEST(MaskObject, RectangleBordersFollowTheHalfOpenRules) {
  TMask_Obj mask;
  mask.AddPolygon(TMask_Obj::pkMask, {100, 300, 300, 100}, {100, 100, 200.5, 200.5});
  // Y 200.5 is kept as 6416; the bottom edge (3200) is outside, the top edge inside.
  EXPECT_FALSE(mask.PointInPolygon(0, TMask_Obj::pkMask, 200, 3200));
  EXPECT_TRUE(mask.PointInPolygon(0, TMask_Obj::pkMask, 200, 3201));
  EXPECT_TRUE(mask.PointInPolygon(0, TMask_Obj::pkMask, 200, 6416));
  EXPECT_FALSE(mask.PointInPolygon(0, TMask_Obj::pkMask, 200, 6417));
  // The left border column is outside, the right border column inside.
  EXPECT_FALSE(mask.PointInPolygon(0, TMask_Obj::pkMask, 100, 5000));
  EXPECT_TRUE(mask.PointInPolygon(0, TMask_Obj::pkMask, 101, 5000));
  EXPECT_TRUE(mask.PointInPolygon(0, TMask_Obj::pkMask, 300, 5000));
  EXPECT_FALSE(mask.PointInPolygon(0, TMask_Obj::pkMask, 301, 5000));
  // Centre: (100 + 300) / 2, ((3200 + 6416) / 2) / 32 = 4808 / 32 = 150 (truncated).
  EXPECT_EQ(mask.GetMaskPolygonCentre(1), std::make_pair(200, 150));
  EXPECT_EQ(mask.GetMaskPolygonCentre(2), std::make_pair(0, 0));
  // Y 100.5 is 3216 and y 150 in screen units is 4800.
  EXPECT_EQ(mask.MaskHitBits(200, 150), 1u);
  EXPECT_EQ(mask.MaskHitBits(200, 201), 0u);
}

TEST(MaskObject, MarginsLimitsAndTheEmptyMask) {
  TMask_Obj empty;
  EXPECT_EQ(empty.PointInMask(2000, 16384), 0);
  EXPECT_EQ(empty.MaskHitBits(2000, 512), 0u);

  // Mask 100..300 x 100..200, margin 200..400 x 100..200: the overlap decides by MarginFirst.
  TMask_Obj mask;
  mask.AddPolygon(TMask_Obj::pkMask, {100, 300, 300, 100}, {100, 100, 200, 200});
  mask.AddPolygon(TMask_Obj::pkMargin, {200, 400, 400, 200}, {100, 100, 200, 200});
  const int y32 = 150 * 32;
  EXPECT_EQ(mask.PointInMask(250, y32), 1);  // margins off: the margin is not tested
  EXPECT_EQ(mask.PointInMask(350, y32), 0);
  mask.SetMarginsOn(true);
  EXPECT_EQ(mask.PointInMask(150, y32), 1);
  EXPECT_EQ(mask.PointInMask(350, y32), 2);
  EXPECT_EQ(mask.PointInMask(250, y32), 1);
  mask.SetMarginFirst(true);
  EXPECT_EQ(mask.PointInMask(250, y32), 2);
  EXPECT_EQ(mask.MaskHitBits(250, 150), 1u | 1u << 4);
  EXPECT_EQ(mask.MaskHitBits(2000, 2000), 0u);

  // Eight mask polygons at most; margins only beside at most four.
  TMask_Obj full;
  for (int n = 0; n < 8; ++n)
    full.AddPolygon(TMask_Obj::pkMask, {10.0 * n, 10.0 * n + 5, 10.0 * n}, {1, 1, 9});
  EXPECT_THROW(full.AddPolygon(TMask_Obj::pkMask, {1, 2, 3}, {1, 2, 3}), EAssertion);
  EXPECT_THROW(full.AddPolygon(TMask_Obj::pkMargin, {1, 2, 3}, {1, 2, 3}), EAssertion);
  TMask_Obj withMargin;
  for (int n = 0; n < 4; ++n) withMargin.AddPolygon(TMask_Obj::pkMask, {1, 2, 3}, {1, 2, 3});
  withMargin.AddPolygon(TMask_Obj::pkMargin, {1, 2, 3}, {1, 2, 3});
  EXPECT_THROW(withMargin.AddPolygon(TMask_Obj::pkMask, {1, 2, 3}, {1, 2, 3}), EAssertion);
  // A vertex off the screen would index past the column lists.
  EXPECT_THROW(empty.AddPolygon(TMask_Obj::pkMask, {1, 4001, 3}, {1, 2, 3}), EAssertion);
  EXPECT_THROW(empty.AddPolygon(TMask_Obj::pkMask, {1, 2, 3}, {1, NAN, 3}), EAssertion);
}

// Random polygons (self-crossing ones included, vertexes on halves of 1/32) against the
// reference, 100,000 points of which half lie on vertex columns and edge heights.
TEST(MaskObject, PointTestMatchesTheReferenceOnRandomPolygons) {
  std::mt19937 rng(20261207);
  const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  int checked = 0, insideCount = 0;
  for (int round = 0; round < 20; ++round) {
    std::vector<Poly> polys(uniform(1, 4)), margins(uniform(0, 4));
    TMask_Obj mask;
    const bool marginsOn = uniform(0, 1) == 1, marginFirst = uniform(0, 1) == 1;
    mask.SetMarginsOn(marginsOn);
    mask.SetMarginFirst(marginFirst);
    for (int kind = 0; kind < 2; ++kind) {
      for (Poly& p : kind == 0 ? polys : margins) {
        const int k = uniform(3, 12);
        const int cx = uniform(0, 4000), cy = uniform(0, 1024), r = uniform(5, 1500);
        for (int i = 0; i < k; ++i) {
          p.X.push_back(std::clamp(cx + uniform(-r, r), 0, 4000) + (uniform(0, 3) == 0 ? 0.5 : 0.0));
          p.Y.push_back(std::clamp(cy + uniform(-r, r) / 4, 0, 1023) + uniform(0, 63) / 64.0);
        }
        if (uniform(0, 4) == 0) p.X[1] = p.X[0];  // a vertical edge
        for (double& x : p.X) x = std::min(x, 4000.0);
        mask.AddPolygon(kind, p.X, p.Y);
      }
    }
    for (int i = 0; i < 5000; ++i) {
      int x = uniform(0, 4000), y32 = uniform(0, 32768);
      if (i % 2 == 1) {
        const Poly& p = polys[uniform(0, static_cast<int>(polys.size()) - 1)];
        const int v = uniform(0, static_cast<int>(p.X.size()) - 1);
        x = std::clamp(static_cast<int>(HalfEven(p.X[v])) + uniform(-1, 1), 0, 4000);
        y32 = static_cast<int>(HalfEven(p.Y[v] * 32)) + uniform(-1, 1);
      }
      bool inMask = false, inMargin = false;
      uint32_t bits = 0;
      for (size_t n = 0; n < polys.size(); ++n) {
        const bool in = ReferenceInside(polys[n], x, y32);
        ASSERT_EQ(mask.PointInPolygon(static_cast<int>(n), TMask_Obj::pkMask, x, y32), in)
            << round << " " << x;
        inMask |= in;
        if (y32 % 32 == 0 && in) bits |= 1u << n;
      }
      for (size_t n = 0; n < margins.size(); ++n) {
        const bool in = ReferenceInside(margins[n], x, y32);
        ASSERT_EQ(mask.PointInPolygon(static_cast<int>(n), TMask_Obj::pkMargin, x, y32), in);
        inMargin |= in;
        if (y32 % 32 == 0 && in && marginsOn) bits |= 1u << (n + 4);
      }
      const int expected = !marginsOn ? (inMask ? 1 : 0)
                           : !inMask  ? (inMargin ? 2 : 0)
                                      : (inMargin && marginFirst ? 2 : 1);
      ASSERT_EQ(mask.PointInMask(x, y32), expected) << round << " " << x << " " << y32;
      if (y32 % 32 == 0 && y32 <= 32768) {
        ASSERT_EQ(mask.MaskHitBits(x, y32 / 32), bits);
      }
      insideCount += inMask;
      ++checked;
    }
  }
  EXPECT_EQ(checked, 100000);
  EXPECT_GT(insideCount, 5000);  // the sample reaches the insides, not only the outsides
}

// Every run of the points (any offset, any length up to a few blocks) and the whole of
// them get the bits of the point test from the batch test on their gathered column words,
// and hit words that mark the points hit, on every kernel this machine runs; nothing past
// a run is written.
void ExpectBatchMatchesPointTest(const TMask_Obj& mask, const std::vector<int32_t>& xs,
                                 const std::vector<int32_t>& ys) {
  std::vector<uint8_t> expected(xs.size());
  for (size_t i = 0; i < xs.size(); ++i) expected[i] = static_cast<uint8_t>(mask.MaskHitBits(xs[i], ys[i]));
  const auto check = [&](size_t first, size_t count, TMask_Obj::TKernel kernel) {
    // The run and the padding the batch test may read past it.
    const size_t padded = count + TMask_Obj::kBatchPadding;
    std::vector<int32_t> runXs(xs.begin() + static_cast<std::ptrdiff_t>(first),
                               xs.begin() + static_cast<std::ptrdiff_t>(first + count));
    std::vector<int32_t> runYs(ys.begin() + static_cast<std::ptrdiff_t>(first),
                               ys.begin() + static_cast<std::ptrdiff_t>(first + count));
    runXs.resize(padded, -1);
    runYs.resize(padded, 0);
    std::vector<uint32_t> words(mask.ColumnWordRows() * padded);
    mask.GatherColumnWords(runXs.data(), padded, words.data(), padded);
    std::vector<uint8_t> bits(padded + 1, 0xEE);
    std::vector<uint64_t> hits(count / 64 + 2, ~uint64_t{0});
    mask.MaskHitBits(words.data(), padded, runXs.data(), runYs.data(), count, bits.data(), hits.data(),
                     kernel);
    ASSERT_EQ(bits.back(), 0xEE);
    ASSERT_EQ(hits.back(), ~uint64_t{0});
    for (size_t i = 0; i < count; ++i) {
      ASSERT_EQ(bits[i], expected[first + i]) << xs[first + i] << ", " << ys[first + i];
      ASSERT_EQ(hits[i / 64] >> (i % 64) & 1, uint64_t{bits[i] != 0}) << i;
    }
    if (count % 64 != 0) {
      ASSERT_EQ(hits[count / 64] >> (count % 64), 0u);
    }
  };
  for (TMask_Obj::TKernel kernel : {TMask_Obj::TKernel::Portable, TMask_Obj::TKernel::Avx2}) {
    if (!TMask_Obj::KernelSupported(kernel)) continue;
    SCOPED_TRACE(kernel == TMask_Obj::TKernel::Avx2 ? "avx2" : "portable");
    for (size_t first = 0; first < xs.size(); first += 37)
      check(first, std::min<size_t>(xs.size() - first, first % 29 + (first % 3 == 0 ? 70 : 0)), kernel);
    check(0, xs.size(), kernel);
  }
}

// Records across the screen as the mask test sees them (ascending columns, from several
// points a column to several columns a point), their heights sweeping the screen and a
// little beyond it.
void AppendRecords(std::vector<int32_t>& xs, std::vector<int32_t>& ys) {
  int sweep = 0;
  for (const int points : {4096, 4001, 2000, 512}) {
    for (int record = 0; record < 3; ++record) {
      for (int i = 0; i < points; ++i) {
        xs.push_back(static_cast<int32_t>(std::lround(i * 4000.0 / (points - 1))));
        ys.push_back((sweep += 97) % 1031 - 3);
      }
    }
  }
}

// The batch test gives each point the bits of the point test: one-run columns, columns of
// nested or overlapping polygons, columns of more runs or more sets of polygons than the
// packing holds, margins off and on, every Y of the columns around vertexes, points off
// the screen, records.
TEST(MaskObject, BatchTestMatchesThePointTest) {
  struct Shape {
    int Kind;
    std::vector<double> X, Y;
  };
  const auto hexagon = [](double left, double top) {
    return Shape{TMask_Obj::pkMask,
                 {left, left + 100, left + 300, left + 400, left + 300, left + 100},
                 {top - 150, top, top, top - 150, top - 300, top - 300}};
  };
  const Shape screen{TMask_Obj::pkMask, {0, 4000, 4000, 0}, {0, 0, 1024, 1024}};
  const Shape sliver{TMask_Obj::pkMask, {1000, 1200, 1200, 1000}, {100.25, 100.25, 100.75, 100.75}};
  const Shape inner{TMask_Obj::pkMask, {500, 900, 700}, {300, 300, 800}};
  const Shape outer{TMask_Obj::pkMargin, {400, 1000, 1000, 400}, {200, 200, 900, 900}};
  const Shape crossing{TMask_Obj::pkMask, {600, 1500, 600, 1500}, {100, 900, 900, 100}};
  // Ten teeth of 40 rows pointing right from a spine at X 300: columns 301..3000 cross
  // ten runs.
  Shape rake{TMask_Obj::pkMask, {300}, {10}};
  for (int tooth = 0; tooth < 10; ++tooth) {
    const double bottom = 10 + 100 * tooth;
    for (const auto& [x, y] :
         {std::pair{3000.0, bottom}, {3000.0, bottom + 40}, {350.0, bottom + 40}, {350.0, bottom + 100}})
      rake.X.push_back(x), rake.Y.push_back(std::min(y, 1000.0));
  }
  rake.X.push_back(300), rake.Y.push_back(1000);
  // Eight overlapping bands, band n over rows 100n .. 100n + 250 in columns 400n ..
  // 400n + 1200: a column crosses three of them in at most five runs, and the mask holds
  // twenty-one sets of polygons, more than the packing names.
  std::vector<Shape> bands;
  for (int n = 0; n < 8; ++n) {
    const double left = 400 * n, bottom = 100 * n;
    bands.push_back({TMask_Obj::pkMask,
                     {left, left + 1200, left + 1200, left},
                     {bottom, bottom, bottom + 250, bottom + 250}});
  }
  const struct {
    const char* Name;
    std::vector<Shape> Shapes;
    bool MarginsOn;
  } cases[] = {
      {"empty", {}, false},
      {"hexagons", {hexagon(50, 700), hexagon(550, 900), hexagon(1050, 700), hexagon(3550, 900)}, false},
      {"whole screen and a sliver", {screen, sliver}, false},
      {"nested, margins on", {inner, crossing, outer}, true},
      {"nested, margins off", {inner, crossing, outer}, false},
      {"rake and hexagons", {rake, hexagon(2000, 900), hexagon(3500, 400)}, false},
      {"overlapping bands", bands, false},
  };
  std::mt19937 rng(36);
  const auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Name);
    TMask_Obj mask;
    for (const Shape& shape : c.Shapes) mask.AddPolygon(shape.Kind, shape.X, shape.Y);
    mask.SetMarginsOn(c.MarginsOn);
    std::vector<int32_t> xs, ys;
    for (int x : {INT32_MIN, -1, 0, 4000, 4001, INT32_MAX})
      for (int y : {INT32_MIN, -32769, -1, 0, 1, 1024, 1025, 32768, INT32_MAX})
        xs.push_back(x), ys.push_back(y);
    for (const Shape& shape : c.Shapes)
      for (double vx : shape.X)
        for (int x = static_cast<int>(vx) - 1; x <= static_cast<int>(vx) + 1; ++x)
          for (int y = -1; y <= 1025; ++y) xs.push_back(x), ys.push_back(y);
    for (int i = 0; i < 20000; ++i) xs.push_back(uniform(-20, 4020)), ys.push_back(uniform(-20, 1044));
    AppendRecords(xs, ys);
    ExpectBatchMatchesPointTest(mask, xs, ys);
  }
}

// The eye masks the program ships, loaded as a user loads them, without and with margins:
// whole records get the bits of the point test from the batch test.
TEST(MaskObject, BatchTestOfEveryShippedMaskMatchesThePointTest) {
  test::FakeDialogs dialogs;
  const std::filesystem::path folder = test::MakeTempDir("shipped");
  InstallShippedMasks(folder, folder);
  std::vector<int32_t> xs, ys;
  AppendRecords(xs, ys);
  int loaded = 0;
  for (const TShippedFile& file : ShippedStandardMasks()) {
    if (std::filesystem::path(file.Path).extension() != ".msk") continue;
    for (const int margin : {0, 10, -10}) {
      SCOPED_TRACE(std::string(file.Path) + " margin " + std::to_string(margin));
      TMaskEntry entry;
      ASSERT_TRUE(ReadStandardMaskHeader(folder / file.Path, entry));
      ASSERT_TRUE(LoadStandardMaskFile(folder / file.Path, entry, margin));
      ASSERT_NE(MaskObj, nullptr);
      ExpectBatchMatchesPointTest(*MaskObj, xs, ys);
      ++loaded;
    }
  }
  EXPECT_GE(loaded, 12);
  ClearCurrentMask();
}

}  // namespace
}  // namespace norv
