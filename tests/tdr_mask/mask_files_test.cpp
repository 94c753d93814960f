// Mask files as a user meets them: written and read back, imported in the line layout,
// refused when damaged (leaving the mask that was loaded), and the shipped standards.

#include "tdr_mask/mask_files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/text/dot_number.h"
#include "support/fake_dialogs.h"
#include "support/temp_home.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_object.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

class MaskFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
    dir = test::MakeTempDir("mask");
  }
  void TearDown() override {
    ClearCurrentMask();
    CurrentMask() = TCurrentMask{};
  }
  // A user mask of two polygons, none of whose vertexes lies on a line through its neighbours.
  static void SetTwoPolygons() {
    TCurrentMask& m = CurrentMask();
    m.Kind = mkUser;
    m.TimeByDivision = 1e-9;  // what a user mask is saved with while no time base exists
    m.ValueByDivision = 0.1;
    m.MaskName = "Two, \"quoted\"";
    m.Slots[0] = {{100.4, 900, 700.6, 300}, {50, 80.5, 600, 700}};
    m.Slots[1] = {{2000, 3999, 3000}, {1000, 1023, 10}};
    m.PolygonCount = 2;
    BuildMaskObjFromCurrent();
  }
  static std::vector<std::vector<double>> Coordinates() {
    std::vector<std::vector<double>> all;
    const TCurrentMask& m = CurrentMask();
    for (const int s : {0, 1, 2, 3, 4, 5, 6, 7}) {
      all.push_back(m.Slots[s].X);
      all.push_back(m.Slots[s].Y);
    }
    return all;
  }
  test::FakeDialogs dialogs;
  fs::path dir;
};

TEST_F(MaskFilesTest, UserStandardAndSetupLayoutsReadBackWhatWasWritten) {
  SetTwoPolygons();
  const std::vector<double> x0 = CurrentMask().Slots[0].X, y0 = CurrentMask().Slots[0].Y;
  ASSERT_TRUE(SaveUserMask(dir / "two.pcm"));
  ClearCurrentMask();
  ASSERT_TRUE(LoadUserMask(dir / "two.pcm"));
  // User masks keep screen integers (halves to even: 100.4 -> 100, 80.5 -> 80, 700.6 -> 701).
  EXPECT_EQ(CurrentMask().Slots[0].X, (std::vector<double>{100, 900, 701, 300}));
  EXPECT_EQ(CurrentMask().Slots[0].Y, (std::vector<double>{50, 80, 600, 700}));
  EXPECT_EQ(CurrentMask().Slots[1].Y, (std::vector<double>{1000, 1023, 10}));
  EXPECT_EQ(CurrentMask().MaskName, "two");  // the file's name, as its own is empty
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_EQ(MaskObj->MaskPolygonCount(), 2);

  // The standard layout keeps 5 significant digits of unit intervals and eye heights.
  SetTwoPolygons();
  ASSERT_TRUE(StoreStandardMask(dir / "std.msk", "My eye", "2.5 Gbps", true));
  TMaskEntry entry;
  ASSERT_TRUE(ReadStandardMaskHeader(dir / "std.msk", entry));
  EXPECT_EQ(entry.MaskName, "My eye");
  EXPECT_DOUBLE_EQ(entry.BitRate, 2.5e9);
  EXPECT_EQ(entry.Kind, mkEye);
  ClearCurrentMask();
  ASSERT_TRUE(LoadStandardMaskFile(dir / "std.msk", entry, 0));
  ASSERT_EQ(CurrentMask().PolygonCount, 2);
  for (int i = 0; i < 4; ++i) {
    EXPECT_NEAR(CurrentMask().Slots[0].X[i], x0[i], 0.05) << i;
    EXPECT_NEAR(CurrentMask().Slots[0].Y[i], y0[i], 0.05) << i;
  }
  // 1023 was written as "MAX" and comes back at the top edge.
  EXPECT_EQ(CurrentMask().Slots[1].Y[1], 1023);
  EXPECT_DOUBLE_EQ(CurrentMask().TimeByDivision, 1 / 2.5e9 / 6);

  // The setup text carries all an automask can make: 4003 vertexes, and the margins.
  TCurrentMask& m = CurrentMask();
  m.Slots[0] = {};
  m.Slots[1] = {{2000, 3999, 3000}, {1000, 1023, 10}};
  for (int x = 0; x <= 4000; ++x) {
    m.Slots[0].X.push_back(x);
    m.Slots[0].Y.push_back(100 + x % 7);
  }
  m.Slots[0].X.insert(m.Slots[0].X.begin(), 0), m.Slots[0].Y.insert(m.Slots[0].Y.begin(), 1);
  m.Slots[0].X.push_back(4000), m.Slots[0].Y.push_back(1);
  m.MarginPercent = -10;
  m.Slots[4] = {{10, 20, 30}, {40, 50, 61}};
  m.MarginPolygonCount = 1;
  m.MaskName = "Two, \"quoted\"";
  const std::vector<std::vector<double>> before = Coordinates();
  const std::string text = MaskSetupText();
  ClearCurrentMask();
  CurrentMask() = TCurrentMask{};
  ASSERT_TRUE(LoadMaskSetupText(text));
  EXPECT_EQ(Coordinates(), before);
  EXPECT_EQ(CurrentMask().Slots[0].VertexCount(), 4003);
  EXPECT_EQ(CurrentMask().MaskName, "Two, \"quoted\"");
  EXPECT_EQ(CurrentMask().MarginPercent, -10);
  ASSERT_NE(MaskObj, nullptr);
  EXPECT_TRUE(MaskObj->MarginFirst());
  // Two comma pairs, each closed by an underscore, are a polygon of two vertexes.
  ASSERT_TRUE(LoadMaskSetupText("#Poly=1,Kind=4,\"Poly1=100,200_300,400_\""));
  EXPECT_EQ(CurrentMask().Slots[0].X, (std::vector<double>{100, 300}));
  EXPECT_EQ(CurrentMask().Slots[0].Y, (std::vector<double>{200, 400}));
  ASSERT_TRUE(LoadMaskSetupText("#Poly=0"));
  EXPECT_EQ(MaskObj, nullptr);

  // The mask erased meanwhile: either writer refuses, and the file it would replace stays.
  std::ifstream in(dir / "std.msk", std::ios::binary);
  const std::string held(std::istreambuf_iterator<char>(in), {});
  ClearCurrentMask();
  for (const bool user : {true, false}) {
    dialogs.shown.clear();
    EXPECT_FALSE(user ? SaveUserMask(dir / "std.msk")
                      : StoreStandardMask(dir / "std.msk", "E", "1 Gbps", true));
    std::ifstream now(dir / "std.msk", std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(now), {}), held) << user;
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{"[error] There is no mask to save"}) << user;
  }
}

constexpr const char* kLineMask =
    "  MASK_FILE_VXNORV\n"
    "\"Imported 2G5\"\n"
    "\n"
    ":MTES:SCAL:XDEL 4E-10\n"
    "/* Region Number         */  1\n"
    "/* Region Type           */  STD\n"
    "/* Number of vertices    */  3\n"
    "0.25, 0.5\n"
    "0.5 , MAX\n"
    "0.75,0.5\n"
    "/* Region Number         */  1\n"
    "/* Region Type           */  MARGIN_MAX\n"
    "/* Number of vertices    */  3\n"
    "0.15, 0.5\n"
    "0.5, MAX\n"
    "0.85, 0.5\n"
    "/* Region Number         */  1\n"
    "/* Region Type           */  MARGIN_MIN\n"
    "/* Number of vertices    */  3\n"
    "0.35, 0.5\n"
    "0.5, MAX\n"
    "0.65, 0.5\n";

TEST_F(MaskFilesTest, LineLayoutMaskImportsWithItsMarginRegions) {
  WriteFile(dir / "line.msk", kLineMask);
  TMaskEntry entry;
  ASSERT_TRUE(ReadStandardMaskHeader(dir / "line.msk", entry));
  EXPECT_EQ(entry.MaskName, "Imported 2G5");
  EXPECT_DOUBLE_EQ(entry.BitRate, 2.5e9);
  EXPECT_EQ(entry.Kind, mkEye);
  EXPECT_EQ(entry.MarginsType, mtRegions);
  ASSERT_TRUE(LoadStandardMaskFile(dir / "line.msk", entry, 0));
  // X = 800 + 2400 x, Y = (0.5 y + 0.25) x 1024; MAX reaches the top row 1023.
  EXPECT_EQ(CurrentMask().Slots[0].X, (std::vector<double>{1400, 2000, 2600}));
  EXPECT_EQ(CurrentMask().Slots[0].Y, (std::vector<double>{512, 1023, 512}));
  EXPECT_EQ(CurrentMask().MarginPolygonCount, 0);
  // 50 % of the way toward MARGIN_MAX: x 0.2 and 0.8.
  ASSERT_TRUE(LoadStandardMaskFile(dir / "line.msk", entry, 50));
  EXPECT_EQ(CurrentMask().Slots[4].X, (std::vector<double>{1280, 2000, 2720}));
  ASSERT_TRUE(MaskObj && MaskObj->MarginsOn() && !MaskObj->MarginFirst());
  // A negative margin moves toward MARGIN_MIN: x 0.3 and 0.7 at -50 %.
  ASSERT_TRUE(LoadStandardMaskFile(dir / "line.msk", entry, -50));
  EXPECT_EQ(CurrentMask().Slots[4].X, (std::vector<double>{1520, 2000, 2480}));
}

// A mask file may hold polygons longer than undo and setups carry: they are cut to their
// first kMaxMaskVertexes vertexes, with a message, and the mask then travels through the
// setup text whole. A polygon of exactly that many is taken as it is.
TEST_F(MaskFilesTest, LongPolygonsAreCutToWhatTheSetupTextCarries) {
  // A square wave along the top and two corners below: no vertex lies on the line through
  // its neighbours, so thinning keeps them all.
  const auto squareWave = [](int count) {
    TMaskSlot p;
    for (int i = 0; i < count - 2; ++i) {
      p.X.push_back(1000 + i / 2);
      p.Y.push_back((i + 1) / 2 % 2 ? 650 : 600);
    }
    p.X.push_back(p.X.back()), p.Y.push_back(300);
    p.X.push_back(1000), p.Y.push_back(300);
    return p;
  };
  struct Case {
    bool user;  // else a line-layout standard mask
    int count;
  };
  for (const Case c : {Case{true, kMaxMaskVertexes}, Case{true, kMaxMaskVertexes + 500},
                       Case{false, kMaxMaskVertexes + 1}}) {
    SCOPED_TRACE(testing::Message() << (c.user ? "user " : "line ") << c.count);
    const TMaskSlot p = squareWave(c.count);
    std::string text;
    TMaskEntry entry;
    const fs::path file = dir / (c.user ? "long.pcm" : "long.msk");
    if (c.user) {
      text =
          "[COMMON]\nSignature=User Mask\nTime by Division=1E-9\nValue by Division=0.1\n"
          "List of Polygons=1\n[Polygon 1]\nNumber of Vertex=" +
          std::to_string(c.count) + "\n";
      for (int i = 0; i < c.count; ++i) text += Format_Dot("Vertex %d=%g, %g\n", i + 1, p.X[i], p.Y[i]);
    } else {
      text =
          "MASK_FILE_VXNORV\n:MTES:SCAL:XDEL 1E-9\n/* Region Number         */  1\n"
          "/* Region Type           */  STD\n/* Number of vertices    */  " +
          std::to_string(c.count) + "\n";
      // Unit intervals: the screen X is 800 + 2400 x, Y (0.5 y + 0.25) x 1024.
      for (int i = 0; i < c.count; ++i)
        text += Format_Dot("%.9g, %.9g\n", (p.X[i] - 800) / 2400, (p.Y[i] / 1024 - 0.25) / 0.5);
    }
    WriteFile(file, text);
    dialogs.shown.clear();
    ASSERT_TRUE(c.user ? LoadUserMask(file)
                       : ReadStandardMaskHeader(file, entry) && LoadStandardMaskFile(file, entry, 0));
    const bool cut = c.count > kMaxMaskVertexes;
    ASSERT_EQ(dialogs.shown.size(), cut ? 1u : 0u);
    if (cut) {
      EXPECT_NE(dialogs.shown[0].find(file.string()), std::string::npos) << dialogs.shown[0];
    }
    const TMaskSlot& loaded = CurrentMask().Slots[0];
    ASSERT_EQ(loaded.VertexCount(), kMaxMaskVertexes);
    for (const int i : {0, kMaxMaskVertexes / 2, kMaxMaskVertexes - 1}) {
      EXPECT_NEAR(loaded.X[i], p.X[i], 1e-6) << i;
      EXPECT_NEAR(loaded.Y[i], p.Y[i], 1e-6) << i;
    }
    // The setup text (and so undo) gives the same mask back.
    const std::vector<std::vector<double>> before = Coordinates();
    const std::string setup = MaskSetupText();
    ClearCurrentMask();
    ASSERT_TRUE(LoadMaskSetupText(setup));
    const std::vector<std::vector<double>> after = Coordinates();
    for (size_t i = 0; i < before.size(); ++i) {
      ASSERT_EQ(after[i].size(), before[i].size()) << i;
      for (size_t v = 0; v < before[i].size(); ++v) ASSERT_NEAR(after[i][v], before[i][v], 1e-6) << i;
    }
  }
}

// Every damaged file is refused with the mask that was loaded left as it was.
TEST_F(MaskFilesTest, DamagedFilesAreRefusedAndTheMaskStays) {
  const std::string userHead =
      "[COMMON]\nSignature=User Mask\nTime by Division=1E-9\nValue by Division=0.1\nMiddle Value=0\n";
  const std::string stdHead = "[COMMON]\nSignature=Standard Mask\nMask Name=M\nType of Mask=Eye\n";
  const auto polygon = [](int count, const char* second) {
    return "Number of Vertex=" + std::to_string(count) + "\nVertex 1=100, 100\nVertex 2=" + second +
           "\nVertex 3=300, 100\n";
  };
  const std::string triangle = polygon(3, "200, 300");
  std::string fivePolygons =
      stdHead + "Bit Rate=1 Gbps\nType of Margins=Square\nList of Polygons=1, 2, 3, 4, 5\n";
  for (int n = 1; n <= 5; ++n)
    fivePolygons += "[Polygon " + std::to_string(n) +
                    "]\nNumber of Vertex=3\nVertex 1=0.1, 0.1\n"
                    "Vertex 2=0.2, 0.3\nVertex 3=0.3, 0.1\n";
  std::string uneven = kLineMask;
  uneven.replace(uneven.find("3\n0.15"), 31, "2\n0.15, 0.5\n0.5, MAX\n");
  std::string pastEnd = kLineMask;
  pastEnd.resize(pastEnd.find("0.75,0.5"));
  std::string zeroDelay = kLineMask;
  zeroDelay.replace(zeroDelay.find("4E-10"), 5, "0");
  std::string negativeDelay = kLineMask;
  negativeDelay.replace(negativeDelay.find("4E-10"), 5, "-4E-10");

  struct Case {
    const char* what;
    bool user;  // a ".pcm" user mask, else a standard ".msk"
    std::string text;
    int margin;
    bool message;  // a standard file of another kind is refused without a message
  };
  const Case cases[] = {
      {"no vertexes", true, userHead + "List of Polygons=1\n[Polygon 1]\nNumber of Vertex=0\n", 0, true},
      {"vertex right of the screen", true,
       userHead + "List of Polygons=1\n[Polygon 1]\n" + polygon(3, "4001, 300"), 0, true},
      {"nan", true, userHead + "List of Polygons=1\n[Polygon 1]\n" + polygon(3, "nan, 5"), 0, true},
      {"inf", true, userHead + "List of Polygons=1\n[Polygon 1]\n" + polygon(3, "200, inf"), 0, true},
      {"more vertexes counted than given", true,
       userHead + "List of Polygons=1\n[Polygon 1]\n" + polygon(5, "200, 300"), 0, true},
      // A user mask is a file the user chose: refused with a message whatever it holds.
      {"another signature", true, "[COMMON]\nSignature=Standard Mask\n", 0, true},
      {"no time scale", true, "[COMMON]\nSignature=User Mask\nValue by Division=0.1\nList of Polygons=1\n", 0,
       true},
      {"bit rate 0", false, stdHead + "Bit Rate=0 Mbps\nList of Polygons=1\n[Polygon 1]\n" + triangle, 0,
       false},
      {"bit rate below 0", false, stdHead + "Bit Rate=-1 Gbps\nList of Polygons=1\n[Polygon 1]\n" + triangle,
       0, false},
      {"margins beside five polygons", false, fivePolygons, 10, true},
      {"margin region shorter than its mask region", false, uneven, 20, true},
      {"region past the file's end", false, pastEnd, 0, false},
      {"X delay 0", false, zeroDelay, 0, false},
      {"X delay below 0", false, negativeDelay, 0, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SetTwoPolygons();
    const std::string before = MaskSetupText();
    const TMask_Obj* obj = MaskObj.get();
    dialogs.shown.clear();
    const fs::path file = dir / (c.user ? "bad.pcm" : "bad.msk");
    WriteFile(file, c.text);
    TMaskEntry entry;
    const bool loaded =
        c.user ? LoadUserMask(file)
               : ReadStandardMaskHeader(file, entry) && LoadStandardMaskFile(file, entry, c.margin);
    EXPECT_FALSE(loaded);
    EXPECT_EQ(MaskSetupText(), before);
    EXPECT_EQ(MaskObj.get(), obj);
    EXPECT_EQ(dialogs.shown.size(), c.message ? 1u : 0u);
  }
  // Setup texts that name more polygons than there are places for, or vertexes off the screen.
  for (const char* text : {"#Poly=9", "#Poly=1,Marg=5,#MgPly=5,\"Poly1=1,1_2,2_\"", "#Poly=5,Marg=5,#MgPly=1",
                           "#Poly=1,\"Poly1=1,1_4001,2_\"", "#Poly=1,\"Poly1=1,nan_\"",
                           "#Poly=2,\"Poly1=1,1_2,2_\"", "#Poly=x"}) {
    SCOPED_TRACE(text);
    SetTwoPolygons();
    const std::string before = MaskSetupText();
    EXPECT_FALSE(LoadMaskSetupText(text));
    EXPECT_EQ(MaskSetupText(), before);
  }
}

}  // namespace
}  // namespace norv
