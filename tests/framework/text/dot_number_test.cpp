#include "framework/text/dot_number.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <locale>

#include "framework/settings/value_text.h"
#include "framework/text/ini_file.h"
#include "support/temp_home.h"

namespace norv {
namespace {

TEST(StrToFloatDot, ReadsDecimalTextAndRefusesEverythingElse) {
  // Too small for a double is zero, not an error.
  for (const auto& [text, value] :
       {std::pair{"1.5", 1.5}, {"  -2.5E3 ", -2500.0}, {"+.5", 0.5}, {"1e-3", 0.001}, {"1e-400", 0.0}})
    EXPECT_EQ(StrToFloat_Dot(text), value) << text;
  for (const char* bad : {"", " ", "abc", "1,5", "nan", "inf", "-inf", "infinity", "1e999", "-1e400x", "--1",
                          "+-1", "1.5x", "1 5", "0x10", "e5", "."}) {
    EXPECT_THROW(StrToFloat_Dot(bad), EConvertError) << bad;
    double untouched = 7;
    EXPECT_FALSE(TryStrToFloat_Dot(bad, untouched)) << bad;
    EXPECT_EQ(untouched, 7);
  }
}

TEST(FloatToStrDot, GeneralFormWithFifteenDigits) {
  // 15 integer digits stay fixed.
  for (const auto& [value, text] : {std::pair{100.0, "100"},
                                    {0.0, "0"},
                                    {2.0 / 3, "0.666666666666667"},
                                    {123456789012345.0, "123456789012345"},
                                    {1e15, "1E15"},
                                    {0.0001, "0.0001"},
                                    {-1.5e-6, "-1.5E-6"},
                                    {0.1 + 0.2, "0.3"},
                                    {std::nan(""), "NAN"},
                                    {-INFINITY, "-INF"}})
    EXPECT_EQ(FloatToStr_Dot(value), text) << value;
}

TEST(FloatToStrFDot, FormatsRoundHalvesAwayFromZero) {
  using enum TFloatFormat;
  EXPECT_EQ(FloatToStrF_Dot(1500, ffExponent, 4, 3), "1.500E+003");
  EXPECT_EQ(FloatToStrF_Dot(-0.00123, ffExponent, 3, 2), "-1.23E-03");
  EXPECT_EQ(FloatToStrF_Dot(0, ffExponent, 3, 0), "0.00E+0");
  EXPECT_EQ(FloatToStrF_Dot(123456, ffGeneral, 3, 0), "1.23E5");
  // An exact half, one stored just below the half, a carry and no negative zero.
  for (const auto& [value, text] : {std::pair{0.125, "0.13"},
                                    {-0.125, "-0.13"},
                                    {2.675, "2.67"},
                                    {9.996, "10.00"},
                                    {-0.001, "0.00"},
                                    {1e20, "1.00000000000000E+020"}})
    EXPECT_EQ(FloatToStrF_Dot(value, ffFixed, 15, 2), text) << value;
  EXPECT_EQ(FloatToStrF_Dot(2.5, ffFixed, 15, 0), "3");
  EXPECT_EQ(FloatToStrF_Dot(1234567.891, ffNumber, 15, 2), "1,234,567.89");
  EXPECT_EQ(FloatToStrF_Dot(123.0, ffNumber, 15, 1), "123.0");
}

TEST(FloatToStrRoundTripDot, ReadsBackExactlyInFewDigits) {
  EXPECT_EQ(FloatToStrRoundTrip_Dot(0.1), "0.1");
  EXPECT_EQ(FloatToStrRoundTrip_Dot(10.709225e9), "10709225000");
  EXPECT_EQ(FloatToStrRoundTrip_Dot(0.1 + 0.2), "0.30000000000000004");
  // A spread of awkward doubles: every one must come back bit for bit.
  uint64_t state = 12345;
  for (int i = 0; i < 20000; ++i) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    double v;
    uint64_t bits = state;
    std::memcpy(&v, &bits, sizeof v);
    if (!std::isfinite(v)) continue;
    std::string text = FloatToStrRoundTrip_Dot(v);
    ASSERT_EQ(StrToFloat_Dot(text), v) << text;
  }
}

TEST(FormatDot, ClassicSpecifiers) {
  EXPECT_EQ(Format_Dot("%d|%5d|%-5d|%.4d", 42, 7, 7, -5), "42|    7|7    |-0005");
  EXPECT_EQ(Format_Dot("%x %.2x %.2X", 255, 10, uint8_t{171}), "FF 0A AB");
  EXPECT_EQ(Format_Dot("%u %x", -1, -2), "4294967295 FFFFFFFE");
  EXPECT_EQ(Format_Dot("[%s] [%.2s] [%4s] [%s]", "abc", std::string("xyz"), 'q', std::string_view("v")),
            "[abc] [xy] [   q] [v]");
  EXPECT_EQ(Format_Dot("%.1f%%", 2.25), "2.3%");
  EXPECT_EQ(Format_Dot("%f", 1.0), "1.00");
  EXPECT_EQ(Format_Dot("%e", 1500.0), "1.50000000000000E+003");
  EXPECT_EQ(Format_Dot("%.3e", 0.00123), "1.23E-003");
  EXPECT_EQ(Format_Dot("%g %g", 0.5, 1e20), "0.5 1E20");
  EXPECT_EQ(Format_Dot("%n", 12345.678), "12,345.68");
  EXPECT_EQ(Format_Dot("%1:s %0:s %s", "a", "b", "c"), "b a b");
  EXPECT_EQ(Format_Dot("%*d|%-*.*f", 4, 3, 6, 1, 2.0), "   3|2.0   ");
  EXPECT_EQ(Format_Dot("_%.5d", 42), "_00042");
  EXPECT_EQ(Format_Dot("no placeholders"), "no placeholders");
  EXPECT_EQ(Format_Dot("%d", INT64_MIN), "-9223372036854775808");
}

TEST(FormatDot, MismatchedArgumentsRaise) {
  EXPECT_THROW(Format_Dot("%d", 1.5), EConvertError);
  EXPECT_THROW(Format_Dot("%f", 3), EConvertError);
  EXPECT_THROW(Format_Dot("%s", 3), EConvertError);
  EXPECT_THROW(Format_Dot("%d"), EConvertError);
  for (const char* format : {"%d %d", "%q", "100%", "%5:d"})
    EXPECT_THROW(Format_Dot(format, 1), EConvertError);
}

// Under a decimal-comma locale nothing changes.
TEST(NumberTextUnderCommaLocale, NumbersStillUseThePoint) {
  std::locale saved;
  std::string savedC = std::setlocale(LC_ALL, nullptr);
  try {
    std::locale::global(std::locale("de_DE.UTF-8"));
  } catch (const std::runtime_error&) {
    FAIL() << "the de_DE.UTF-8 locale is missing (scripts/setup installs it)";
  }
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");

  EXPECT_EQ(FloatToStr_Dot(1.5), "1.5");
  EXPECT_EQ(StrToFloat_Dot("1.5"), 1.5);
  EXPECT_THROW(StrToFloat_Dot("1,5"), EConvertError);
  EXPECT_EQ(Format_Dot("%.2f %e", 1.5, 2.5), "1.50 2.50000000000000E+000");
  EXPECT_EQ(FloatToStrF_Dot(1234.5, TFloatFormat::ffNumber, 15, 1), "1,234.5");
  EXPECT_EQ(FloatToEngStr(vfEngineering, 6, false, 1.5, false), "1.5 ");
  EXPECT_EQ(ReadEngineeringNumber("1.5 m"), 1.5e-3);

  TMemIniFile_Dot ini(test::MakeTempDir("locale") / "x.ini");
  ini.WriteFloat("S", "F", 1.5);
  EXPECT_EQ(ini.GetText(), "[S]\nF=1.5\n");
  EXPECT_EQ(ini.ReadFloat("S", "F", 0), 1.5);

  std::locale::global(saved);
  std::setlocale(LC_ALL, savedC.c_str());
}

}  // namespace
}  // namespace norv
