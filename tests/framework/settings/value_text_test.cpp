// Engineering value texts and the reader of numbers with prefix letters.

#include "framework/settings/value_text.h"

#include <gtest/gtest.h>

#include <string>

namespace norv {
namespace {

TEST(FloatToEngStr, EngineeringGeneralZeroAndUndefinedForms) {
  struct Case {
    uint8_t mode, digits;
    bool isInt;
    double value;
    const char* text;
  };
  const Case cases[] = {
      // Engineering moves the point to a prefix; digits limit the mantissa.
      {vfEngineering, 6, false, 1.5e-8, "15 n"},
      {vfEngineering, 6, false, 1.5e-9, "1.5 n"},
      {vfEngineering, 6, false, 4.7e-6, "4.7 \xC2\xB5"},
      {vfEngineering, 6, false, 1.5, "1.5 "},
      {vfEngineering, 6, false, -4700, "-4.7 k"},
      {vfEngineering, 6, false, 1e14, "100 T"},
      {vfEngineering, 6, false, 1e-15, "1 f"},
      {vfEngineering, 6, false, 10.709225e9, "10.7092 G"},
      // Exponents outside -15..14 keep the exponent form; below 1e-15 is zero.
      {vfEngineering, 4, false, 1.5e15, "1.500E+015 "},
      {vfEngineering, 6, false, 9e-16, " 0 "},
      {vfGeneral, 0, true, 0, " 0 "},
      {vfGeneral, 0, true, -7, "-7 "},
      // The undefined marker and below; the next float up is a number.
      {vfEngineering, 6, false, UndefinedValue, "  Undefined"},
      {vfEngineering, 6, false, -1e39, "  Undefined"},
      {vfEngineering, 6, false, -3.4e38, "-3.40000E+038 "},
      {vfGeneral, 6, false, 0.25, "0.25 "},
      {vfGeneral, 3, false, 1234.5, "1.23E3 "},
      // General from 1 up, engineering below; and the other way round.
      {vfGeneralAboveOne, 6, false, 2.5, "2.5 "},
      {vfGeneralAboveOne, 6, false, 0.0025, "2.5 m"},
      {vfEngineeringAboveOne, 6, false, 2500, "2.5 k"},
      {vfEngineeringAboveOne, 6, false, 0.25, "0.25 "},
  };
  for (const Case& c : cases)
    EXPECT_EQ(FloatToEngStr(c.mode, c.digits, c.isInt, c.value, false), c.text) << c.value;
  // Mega is "M" on screen and "MEG" in the replay form, where "M" would read as milli.
  EXPECT_EQ(FloatToEngStr(vfEngineering, 6, false, 2e6, false), "2 M");
  EXPECT_EQ(FloatToEngStr(vfEngineering, 6, false, 2e6, true), "2 MEG");
}

TEST(ReadEngineeringNumber, PrefixLettersScaleTheNumber) {
  struct Case {
    const char* text;
    double value;
  };
  for (const Case c :
       {Case{"1F", 1e-15}, {"1P", 1e-12}, {"1N", 1e-9},      {"1U", 1e-6},     {"1\xC2\xB5", 1e-6},
        {"1\xB5", 1e-6},   {"1M", 1e-3},  {"1K", 1e3},       {"1k", 1e3},      {"1000", 1e3},
        {"1MEG", 1e6},     {"1meg", 1e6}, {"1G", 1e9},       {"1T", 1e12},     {"1.5MS", 1.5e-3},
        {"2MEG", 2e6},     {"10(S)", 10}, {"10 n(s)", 1e-8}, {"2 MEG", 2e6},   {"2.5 m(s)", 2.5e-3},
        {"-5U", -5e-6},    {"2E3K", 2e6}, {".5k", 500},      {"1.5 (V)", 1.5}, {"  3", 3},
        {"1E", 1},         {"7X", 7}})
    EXPECT_EQ(ReadEngineeringNumber(c.text), c.value) << c.text;
  // A micro sign in UTF-8, as the single byte of older files, or a Greek mu.
  for (const char* text : {"4.7 \xC2\xB5(s)", "4.7 \xB5(s)", "4.7\xCE\xBC"})
    EXPECT_EQ(ReadEngineeringNumber(text), 4.7e-6) << text;
}

TEST(ReadEngineeringNumber, AUnitThatBeginsWithAPrefixLetterIsNoPrefix) {
  struct Case {
    const char* text;
    const char* unit;
    double value;
  };
  const Case cases[] = {
      {"1.49896 M/DIV", "m/div", 1.49896}, {"1.5 m", "m/div", 1.5},          {"4.9 FT", "ft/div", 4.9},
      {"1.5 MM/DIV", "m/div", 1.5e-3},     {"4.9 kft/div", "ft/div", 4.9e3}, {"2 MEGM/DIV", "m/div", 2e6},
      {"1.5 m(m/div)", "m/div", 1.5e-3},   {"1.5 M", "s/div", 1.5e-3},       {"4.9 FT", "in/div", 4.9e-15}};
  for (const Case c : cases)
    EXPECT_EQ(ReadEngineeringNumber(c.text, c.unit), c.value) << c.text << " in " << c.unit;
}

TEST(ReadEngineeringNumber, NonNumbersAndNonFiniteValuesGiveNothing) {
  for (const char* text : {"", "NAN", "nan", "INF", "-INF", "ABC", "-", ".", "E5", "1E400", "1E308T", "K5"})
    EXPECT_FALSE(ReadEngineeringNumber(text).has_value()) << text;
}

TEST(ReadEngineeringNumber, WrittenTextsReadBackExactly) {
  // With 17 digits every double comes back, prefix included.
  for (double v : {1.0 / 3, 10.709225e9, 2.5e-3, 1e-8 + 1e-24, -7.123456789e-13, 123456789.123})
    EXPECT_EQ(ReadEngineeringNumber(FloatToEngStr(vfEngineering, 17, false, v, true)), v) << v;
}

}  // namespace
}  // namespace norv
