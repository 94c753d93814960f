#include "framework/traces/trace_names.h"

#include <gtest/gtest.h>

#include <map>

#include "framework/settings/program_objects.h"
#include "framework/traces/display_sources.h"

namespace norv {
namespace {

std::map<std::string, std::string> EnglishTexts() {
  return {{"Ch", "Ch"},
          {"Channel", "Channel"},
          {"Fn", "F%d"},
          {"Mn", "M%d"},
          {"Sn", "S%d"},
          {"Function", "Function"},
          {"MemoryZona", "Memory area"},
          {"Spectrum", "Spectrum"},
          {"Histogram", "Histogram"},
          {"Constant", "Constant"},
          {"Graticule", "Graticule"},
          {"Screen", "Screen"}};
}

TLangLookup LookupIn(const std::map<std::string, std::string>& texts) {
  return [texts](const std::string& key) { return texts.at(key); };
}

class TraceNamesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRecordTitleHook.Set([this](TTraceId id, const std::string& title) { titles_[id] = title; });
  }
  void TearDown() override { FreshProgramState(); }
  std::map<TTraceId, std::string> titles_;
};

TEST(TraceIds, ShortNamesAreFixedAndOutsideValuesAreCaught) {
  const char* expected[] = {"Ch1", "Ch1B2", "Ch2", "Ch2B2", "F1",  "F2", "F3",   "F4",    "M1",  "M2",
                            "M3",  "M4",    "S1",  "S2",    "???", "DB", "Hist", "Const", "None"};
  for (int i = 0; i < kTraceIdCount; ++i) EXPECT_EQ(GetTraceShortName(static_cast<TTraceId>(i)), expected[i]);
  EXPECT_EQ(GetTraceShortName(static_cast<TTraceId>(19)), "???");
  EXPECT_EQ(TraceIdFromInt(18), TTraceId::None);
  EXPECT_FALSE(TraceIdFromInt(19) || TraceIdFromInt(-1));
  EXPECT_EQ(GetFFTWindowName(5), "Kaiser-Bessel");
  EXPECT_FALSE(GetFFTWindowName(6) || GetFFTWindowName(-1));
}

TEST_F(TraceNamesTest, EnglishNamesAndRecordTitles) {
  BuildTraceNames(LookupIn(EnglishTexts()));
  const char* expected[] = {"Ch1", "Ch1 B2", "Ch2",       "Ch2 B2",   "F1", "F2", "F3",
                            "F4",  "M1",     "M2",        "M3",       "M4", "S1", "S2",
                            "X/Y", "DB",     "Histogram", "Constant", ""};
  for (int i = 0; i < kTraceIdCount; ++i) EXPECT_EQ(TraceNames[i], expected[i]) << i;
  // XY has a display name although its fixed short name is unknown.
  EXPECT_EQ(GetTraceShortName(TTraceId::XY), "???");

  EXPECT_EQ(titles_.size(), 14u);
  EXPECT_EQ(titles_[TTraceId::Ch1B2], "Channel 1 B2");
  EXPECT_EQ(titles_[TTraceId::M4], "Memory area 4");
}

TEST_F(TraceNamesTest, TranslatedPatternsWithBadPlaceholdersFallBackToEnglish) {
  auto texts = EnglishTexts();
  texts["Ch"] = "Kan";
  texts["Fn"] = "Fkt%s";     // wrong conversion
  texts["Mn"] = "Sp";        // no number at all
  texts["Sn"] = "%d%% S%d";  // two numbers
  texts["Function"] = "Funktion 100%d";
  BuildTraceNames(LookupIn(texts));
  for (const auto& [index, name] : {std::pair{0, "Kan1"}, {4, "F1"}, {9, "M2"}, {13, "S2"}})
    EXPECT_EQ(TraceNames[index], name) << index;
  // A '%' in a translated long word is kept as written.
  EXPECT_EQ(titles_[TTraceId::F2], "Funktion 100%d 2");

  texts["Fn"] = "%d%%-F";
  BuildTraceNames(LookupIn(texts));
  EXPECT_EQ(TraceNames[7], "4%-F");

  EXPECT_EQ(FormatNumbered("abc%", 1, "x%d"), "x1");
  EXPECT_EQ(FormatNumbered("%d", -5, "x%d"), "-5");
}

TEST(DisplaySources, NamesIdentsAndLayers) {
  BuildDisplaySources(LookupIn(EnglishTexts()));
  // Built only once: a later language does not rename the sources.
  auto other = EnglishTexts();
  other["Histogram"] = "Histogramm";
  BuildDisplaySources(LookupIn(other));

  EXPECT_EQ(DisplaySources[1].Name, "Ch1 B2");
  for (const auto& [source, ident] : {std::pair{16, "EyeMarkers"}, {17, "Histogram"}, {22, ""}, {-1, ""}})
    EXPECT_EQ(GetDisplaySourceIdent(source), ident) << source;
  EXPECT_EQ(DisplaySources[15].LayerIndex, DisplaySources[0].LayerIndex);
  EXPECT_EQ(DisplaySources[21].LayerIndex, 55);
}

TEST(DisplaySources, DefaultColoursWithOpacityAsAlpha) {
  ASSERT_FALSE(ColorsReady);
  // 22 % of 255 = 56.1 -> 56; 50 % = 127.5 -> 128
  EXPECT_EQ(GetDisplaySourceARGB(18), (56u << 24) | 0xFFFFFFu);
  EXPECT_EQ(GetDisplaySourceARGB(17), (128u << 24) | 0x0000FFu);
  EXPECT_EQ(GetDisplaySourceARGB(22), 0xFFFFFFFFu);

  // XY and DB swap their sources; Hist draws in the histogram's colour.
  EXPECT_EQ(TraceIdToColorIndex(TTraceId::XY), 15);
  EXPECT_EQ(TraceIdToColorIndex(TTraceId::DB), 14);
  EXPECT_EQ(GetDisplaySourceColor(TTraceId::Hist), GetDisplaySourceARGB(17));
  EXPECT_EQ(GetDisplaySourceColorOpaque(TTraceId::Hist), 0xFF0000FFu);
  // Traces without a source get a fixed colour and read no table.
  EXPECT_EQ(TraceIdToColorIndex(TTraceId::None), std::nullopt);
  EXPECT_EQ(GetDisplaySourceColor(TTraceId::Const), 0xFFFFFFFFu);
  EXPECT_EQ(GetDisplaySourceRGB(static_cast<TTraceId>(200)), 0xFFFFFFu);
}

TEST(DisplaySources, ColourNodesTakeOverOnceReady) {
  DisplayColorNodeValue.Set([](int index) { return index == 3 ? 0x7F123456u : 0x0A000000u | index; });
  EXPECT_EQ(GetDisplaySourceARGB(3), 0xFFAFAF00u);  // not ready yet: defaults
  ColorsReady = true;
  EXPECT_EQ(GetDisplaySourceARGB(3), 0xFF123456u);  // opacity above 100 % is 100 %
  // 10 % = 25.5 -> 26 (half to even)
  EXPECT_EQ(GetDisplaySourceColor(TTraceId::XY), (26u << 24) | 15u);
  ColorsReady = false;
  DisplayColorNodeValue.Reset();
}

}  // namespace
}  // namespace norv
