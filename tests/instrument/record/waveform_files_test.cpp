#include "instrument/record/waveform_files.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "instrument/record/signal_obj.h"

namespace norv {
namespace {

std::string SaveBinary(const TSignalObj& r) {
  std::ostringstream out(std::ios::binary);
  EXPECT_TRUE(r.SaveToBinaryFile(out));
  return out.str();
}

bool LoadBinary(TSignalObj& r, const std::string& bytes) {
  std::istringstream in(bytes, std::ios::binary);
  return r.LoadFromBinaryFile(in);
}

std::string SaveText(const TSignalObj& r, bool yOnly = false) {
  std::ostringstream out(std::ios::binary);
  EXPECT_TRUE(r.SaveToTextFile(out, yOnly));
  return out.str();
}

bool LoadText(TSignalObj& r, const std::string& text) {
  std::istringstream in(text, std::ios::binary);
  return r.LoadFromTextFile(in);
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "every line ends with CR LF";
  return lines;
}

double ReadDoubleAt(const std::string& bytes, std::size_t offset) {
  uint64_t bits = 0;
  for (int i = 0; i < 8; ++i)
    bits |= static_cast<uint64_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  return std::bit_cast<double>(bits);
}

// A record with every stored field set to something other than its default.
TSignalObj SampleRecord(int n, bool spectrum) {
  TSignalObj r;
  r.SetRecLen(static_cast<uint16_t>(n));
  r.SetSpectrum(spectrum);
  for (int i = 0; i < n; ++i) {
    r.SetY(i, std::sin(i * 0.37) * 1e-3 + i * 1e-9);
    r.SetIm(i, spectrum ? -std::cos(i * 0.11) / 3 : 0);
  }
  r.SetHorUnit(spectrum ? "Hz" : "s");
  r.SetX0(-1.234567890123e-9);
  r.SetDX(1.0 / 3 * 1e-11);
  r.SetVertUnit("V");
  r.SetVertOffset(-0.0125);
  r.SetVertScale(0.2);
  r.SetFFTWindow(spectrum ? 4 : 0);
  r.SetPropagation(2.25);
  return r;
}

TEST(WaveformBinaryFile, SizeAndLayout) {
  TSignalObj wave = SampleRecord(512, false);
  wave.SetY(0, -2.5);
  wave.SetTdrUnitKind(tukOhm);
  wave.SetTdrAmplitude(0.4);
  wave.SetTdrBase(0.05);
  wave.SetRaw(true);
  const std::string bytes = SaveBinary(wave);
  ASSERT_EQ(bytes.size(), 4286u);                                // 190 + 8 * 512
  EXPECT_EQ(SaveBinary(SampleRecord(512, true)).size(), 8382u);  // 190 + 16 * 512
  EXPECT_EQ(SaveBinary(SampleRecord(4096, true)).size(), 190u + 16 * 4096);

  // Field by field, little-endian, nothing between the fields.
  EXPECT_EQ(bytes.substr(0, 3), std::string("\x00\x02\x00", 3));  // 512, waveform
  EXPECT_EQ(ReadDoubleAt(bytes, 3), -2.5);
  std::size_t at = 3 + 8 * 512;
  EXPECT_EQ(bytes.substr(at, 64), "s" + std::string(63, '\0'));  // UTF-16LE, zero-filled
  at += 64;
  EXPECT_EQ(ReadDoubleAt(bytes, at), wave.GetX0());
  EXPECT_EQ(ReadDoubleAt(bytes, at + 8), wave.GetDX());
  at += 16;
  EXPECT_EQ(bytes.substr(at, 2), std::string("V\0", 2));
  at += 64;
  EXPECT_EQ(ReadDoubleAt(bytes, at), -0.0125);
  EXPECT_EQ(ReadDoubleAt(bytes, at + 8), 0.2);
  EXPECT_EQ(bytes[at + 16], '\0');  // FFT window
  EXPECT_EQ(ReadDoubleAt(bytes, at + 17), 2.25);
  EXPECT_EQ(bytes[at + 25], '\x02');  // Ohm
  EXPECT_EQ(ReadDoubleAt(bytes, at + 26), 0.4);
  EXPECT_EQ(ReadDoubleAt(bytes, at + 34), 0.05);
  EXPECT_EQ(bytes[at + 42], '\x01');
  EXPECT_EQ(at + 43, bytes.size());
}

TEST(WaveformBinaryFile, RoundTripIsBitExact) {
  for (bool spectrum : {false, true}) {
    TSignalObj src = SampleRecord(777, spectrum);
    src.SetY(1, -0.0);
    src.SetY(2, 4.9e-324);  // smallest subnormal
    src.SetY(3, std::nan("7"));
    src.SetTdrUnitKind(tukRho);
    src.SetTdrAmplitude(-0.25);
    src.SetTdrBase(1e-3);
    src.SetRaw(true);
    // A unit of exactly 32 code units, and a longer one: only the first 32 are kept, and
    // a character outside the basic plane is not cut in half.
    const std::string unit32 = "\u2126/\u00B5V" + std::string(28, 'x');
    src.SetHorUnit(unit32);
    src.SetVertUnit(std::string(31, 'y') + "\U0001D4B1 and more");

    TSignalObj dst;
    dst.SetTitle("title stays");
    dst.SetZoomStep(4);
    const std::string bytes = SaveBinary(src);
    ASSERT_TRUE(LoadBinary(dst, bytes));
    EXPECT_EQ(SaveBinary(dst), bytes);  // every stored bit, NaN payload included
    EXPECT_EQ(dst.GetHorUnit(), unit32);
    EXPECT_EQ(dst.GetVertUnit(), std::string(31, 'y'));
    EXPECT_EQ(std::bit_cast<uint64_t>(dst.GetStoredY(3)), std::bit_cast<uint64_t>(std::nan("7")));
    EXPECT_EQ(dst.GetTitle(), "title stays");
    EXPECT_EQ(dst.GetZoomStep(), 4);
  }
}

// Patches one byte of a saved record.
std::string WithByte(std::string bytes, std::size_t offset, char value) {
  bytes.replace(offset, 1, 1, value);
  return bytes;
}

TEST(WaveformBinaryFile, RefusedFilesChangeNothing) {
  const TSignalObj src = SampleRecord(64, false);
  const std::string good = SaveBinary(src);
  const std::size_t tail = 3 + 8 * 64 + 64 + 16 + 64 + 16;  // the FFT window byte
  std::string nanDX = good;
  const double nan = std::nan("");
  std::memcpy(&nanDX[3 + 8 * 64 + 64 + 8], &nan, 8);  // the host is little-endian too

  const struct {
    const char* what;
    std::string bytes;
  } bad[] = {
      {"empty", ""},
      {"length 31", WithByte(good, 0, 31)},
      {"length 4097", WithByte(WithByte(good, 0, 1), 1, 0x10)},
      {"truncated", good.substr(0, good.size() - 1)},
      {"longer", good + '\0'},
      {"spectrum flag 2", WithByte(good, 2, 2)},
      {"FFT window 6", WithByte(good, tail, 6)},
      {"TDR unit 4", WithByte(good, tail + 9, 4)},
      {"Ohm without amplitude", WithByte(good, tail + 9, 2)},  // the sample's amplitude is 0
      {"NaN sample interval", nanDX},
  };
  for (const auto& b : bad) {
    TSignalObj dst = SampleRecord(300, true);
    const std::string before = SaveBinary(dst);
    EXPECT_FALSE(LoadBinary(dst, b.bytes)) << b.what;
    EXPECT_EQ(SaveBinary(dst), before) << b.what;
  }
  // A window and a unit at the top of their ranges are fine.
  TSignalObj dst;
  EXPECT_TRUE(LoadBinary(dst, WithByte(WithByte(good, tail, 5), tail + 9, 0)));
  EXPECT_EQ(dst.GetFFTWindow(), 5);
}

// A stream buffer that takes no byte.
struct FullDisk : std::streambuf {
  int overflow(int) override { return traits_type::eof(); }
};

TEST(WaveformFiles, SavesRefuseRecordsThatCouldNotBeReadBackAndReportWriteFailures) {
  TSignalObj unknownWindow = SampleRecord(64, true);
  unknownWindow.SetFFTWindow(6);
  TSignalObj noAxis = SampleRecord(64, false);
  noAxis.SetDX(NAN);
  std::ostringstream out(std::ios::binary);
  EXPECT_FALSE(SampleRecord(31, false).SaveToTextFile(out, true));
  EXPECT_FALSE(unknownWindow.SaveToBinaryFile(out));
  EXPECT_FALSE(noAxis.SaveToBinaryFile(out));
  EXPECT_FALSE(noAxis.SaveToTextFile(out, false));
  EXPECT_TRUE(out.str().empty());
  EXPECT_TRUE(noAxis.SaveToTextFile(out, true));  // the values alone need no axis

  // A stream that cannot be written reports False, also when it is set to raise.
  std::ostream closed(nullptr);
  EXPECT_FALSE(SampleRecord(64, false).SaveToBinaryFile(closed));
  FullDisk full;
  std::ostream raising(&full);
  raising.exceptions(std::ios::badbit | std::ios::failbit);
  EXPECT_FALSE(SampleRecord(64, false).SaveToTextFile(raising, true));
}

TEST(WaveformTextFile, HeaderAndPointLinesOfAWaveform) {
  TSignalObj r;
  r.SetTitle("Channel 1");
  r.SetRecLen(32);
  r.SetHorUnit("s");
  r.SetX0(-1.5e-9);
  r.SetDX(1e-11);
  r.SetVertUnit("V");
  r.SetVertScale(0.1);
  r.SetVertOffset(0.25);
  const double ys[] = {0.125, -3, 123456789012345678.0, 2.0 / 3, -1e-300};
  for (int i = 0; i < 5; ++i) r.SetY(i + 1, ys[i]);
  const std::vector<std::string> lines = Lines(SaveText(r));
  const std::vector<std::string> expected = {
      "This is text form of saved Waveform",
      "Channel 1",
      "  32                        (Record Length)",
      "Waveform",
      "",
      "  s                         (Dimension of horizontal axes)",
      "-1.50000000000000E-0009        (Shift of the first horizontal point)",
      " 1.00000000000E-0011        (Sample interval)",
      "V                         (Dimension of vertical axes)",
      " 1.00000000000E-0001        (Vertical Scale per division)",
      " 2.50000000000E-0001        (Vertical offset)",
      "",
      "(The following date points are showed in their real value)",
      "     0.00000000000000000E+0000",
      "     1.25000000000000000E-0001",
      "    -3.00000000000000000E+0000",
      "     1.23456789012345680E+0017",  // the nearest double to ...678
      "     6.66666666666666630E-0001",
      "    -1.00000000000000003E-0300",
  };
  ASSERT_EQ(lines.size(), 13u + 32);
  for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]) << i;
}

TEST(WaveformTextFile, SpectrumInReflectionUnitsAndValuesOnly) {
  TSignalObj s;
  s.SetTitle("Spectrum 1");
  s.SetSpectrum(true);
  s.SetRecLen(64);
  s.SetHorUnit("Hz");
  s.SetFFTWindow(2);
  s.SetY(0, 0.3);
  s.SetIm(0, -0.5);
  s.SetTdrUnitKind(tukOhm);
  s.SetTdrAmplitude(0.4);
  s.SetTdrBase(0.1);  // 0.3 is rho 0.5, 150 Ohm
  const std::vector<std::string> lines = Lines(SaveText(s));
  EXPECT_EQ(lines[3], "Spectrum");
  EXPECT_EQ(lines[4], "Window: Hanning");
  EXPECT_EQ(lines[5], " Hz                         (Dimension of horizontal axes)");
  EXPECT_EQ(lines[8], "\u2126                         (Dimension of vertical axes)");
  EXPECT_EQ(lines[13], "     1.50000000000000000E+0002    -5.00000000000000000E-0001");

  const std::vector<std::string> values = Lines(SaveText(s, true));
  ASSERT_EQ(values.size(), 64u);
  EXPECT_EQ(values[0], lines[13]);
  EXPECT_EQ(values[63], lines[13 + 63]);

  // The file holds final values: read back, they are plain values in the unit shown.
  TSignalObj back;
  ASSERT_TRUE(LoadText(back, SaveText(s)));
  EXPECT_EQ(std::tuple(back.GetTdrUnitKind(), back.GetVertUnitText(), back.GetY(0)),
            std::tuple(tukNone, "\u2126", 150.0));
}

TEST(WaveformTextFile, RoundTripWithinTheWrittenDigits) {
  const double max = std::numeric_limits<double>::max();
  for (int kind = 0; kind < 3; ++kind) {
    const bool spectrum = kind == 1;
    TSignalObj src = SampleRecord(1000, spectrum);
    src.SetY(0, std::nan(""));
    src.SetY(1, -INFINITY);
    src.SetY(2, INFINITY);
    src.SetTitle("source");
    src.SetFFTWindow(spectrum ? 5 : 0);
    if (kind == 2) {
      // What a binary file may hold: units with line breaks, and axis values that, rounded
      // to the digits written, would lie beyond the largest double.
      src.SetHorUnit("s\nx");
      src.SetVertUnit("V\r\n");
      src.SetX0(-max);
      src.SetVertScale(max);
      src.SetY(3, max);
    }
    TSignalObj dst;
    dst.SetTitle("kept");
    dst.SetFFTWindow(9);  // only what the file holds is checked
    dst.SetPropagation(NAN);
    const std::string text = SaveText(src);
    EXPECT_EQ(Lines(text)[13].substr(0, 30), std::string(27, ' ') + "Nan");
    EXPECT_EQ(Lines(text)[14].substr(0, 30), std::string(26, ' ') + "-Inf");
    ASSERT_TRUE(LoadText(dst, text)) << kind;
    EXPECT_EQ(
        std::tuple(dst.GetTitle(), dst.GetRecLen(), dst.IsSpectrum(), dst.GetFFTWindow(), dst.GetHorUnit(),
                   dst.GetVertUnit()),
        std::tuple("kept", 1000, spectrum, spectrum ? 5 : 9, kind == 2 ? "s x" : src.GetHorUnit(), "V"));
    // 15 significant digits for X0, 12 for the others, 18 (every bit) for the points.
    EXPECT_NEAR(dst.GetX0(), src.GetX0(), (kind == 2 ? 1e-14 : 1e-15) * std::fabs(src.GetX0()));
    EXPECT_NEAR(dst.GetDX(), src.GetDX(), 1e-12 * src.GetDX());
    EXPECT_NEAR(dst.GetVertOffset(), src.GetVertOffset(), 1e-13);
    EXPECT_NEAR(dst.GetVertScale(), src.GetVertScale(), 1e-11 * src.GetVertScale());
    EXPECT_TRUE(std::isnan(dst.GetStoredY(0)));
    for (int i = 1; i < 1000; ++i) {
      ASSERT_EQ(dst.GetStoredY(i), src.GetStoredY(i)) << i;
      if (spectrum) {
        ASSERT_EQ(dst.GetIm(i), src.GetIm(i)) << i;
      }
    }
  }
}

TEST(WaveformTextFile, ReadsFilesFromOtherWriters) {
  TSignalObj r;
  r.SetFFTWindow(3);
  const std::string text =
      "This is text form of saved Waveform\n"
      "anything\n"
      "32 (Record Length)\n"
      "Spectrum\n"
      "Window: Triangle\n"
      "GHz (Dimension of horizontal axes)\n"
      "+1.5 (Shift of the first horizontal point)\n"
      "  2e-3\n"
      "  \xB5V   (Dimension of vertical axes)\n"  // Latin-1 micro sign
      "0.5\n"
      "-1\n"
      "\n"
      "\n";
  std::string points;
  for (int i = 0; i < 32; ++i) points += std::to_string(i) + ".25 " + std::to_string(-i) + " extra\r\n";
  ASSERT_TRUE(LoadText(r, text + points));
  // An unknown window name keeps the previous one.
  EXPECT_EQ(std::tuple(r.IsSpectrum(), r.GetFFTWindow(), r.GetHorUnit(), r.GetX0(), r.GetDX(),
                       r.GetVertUnit(), r.GetVertOffset(), r.GetStoredY(31), r.GetIm(31)),
            std::tuple(true, 3, "GHz", 1.5, 2e-3, "\u00B5V", -1.0, 31.25, -31.0));
}

// Only the file's start can hold a byte-order mark: the same bytes at the start of a later
// line are text, so a unit beginning with them survives every save.
TEST(WaveformTextFile, OnlyTheFilesStartCanHoldAByteOrderMark) {
  const TSignalObj wave = SampleRecord(40, false);
  const std::string good = SaveText(wave);
  TSignalObj dst;
  ASSERT_TRUE(LoadText(dst, "\xEF\xBB\xBF" + good));
  EXPECT_EQ(SaveText(dst), good);

  const struct {
    std::string unitLine, unit;  // the bytes of line 9, the unit read from it (UTF-8)
  } units[] = {
      {"\xEF\xBB\xBFV (Dimension)", "\xEF\xBB\xBFV"},                // U+FEFF, then V
      {"\xEF\xBB\xBF\xEF\xBB\xBFmV", "\xEF\xBB\xBF\xEF\xBB\xBFmV"},  // two of them
      {"\xFF\xFEmV", "\xC3\xBF\xC3\xBEmV"},                          // Windows-1252: y-diaeresis, thorn
      {"\xFE\xFF", "\xC3\xBE\xC3\xBF"},
  };
  for (const auto& u : units) {
    std::vector<std::string> lines = Lines(good);
    lines[8] = u.unitLine;
    std::string text;
    for (const auto& l : lines) text += l + "\r\n";
    TSignalObj loaded;
    ASSERT_TRUE(LoadText(loaded, text)) << u.unit;
    EXPECT_EQ(loaded.GetVertUnit(), u.unit);
    const std::string once = SaveText(loaded);
    TSignalObj again;
    ASSERT_TRUE(LoadText(again, once)) << u.unit;
    EXPECT_EQ(SaveText(again), once) << u.unit;
  }
}

TEST(WaveformTextFile, RefusedFilesChangeNothing) {
  const TSignalObj wave = SampleRecord(48, false);
  const std::string good = SaveText(wave);
  const auto replaceLine = [&](const std::string& text, int index, const std::string& line) {
    std::vector<std::string> lines = Lines(text);
    lines[static_cast<std::size_t>(index)] = line;
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";
    return out;
  };

  const struct {
    const char* what;
    std::string text;
  } bad[] = {
      {"empty", ""},
      {"header differs", "this is text form of saved Waveform\r\n" + good.substr(good.find('\n') + 1)},
      {"length 4097", replaceLine(good, 2, "4097                        (Record Length)")},
      {"length not a number", replaceLine(good, 2, "many")},
      {"X0 not a number", replaceLine(good, 6, "abc")},
      {"scale infinite", replaceLine(good, 9, " 1E+9999")},
      {"a point not a number", replaceLine(good, 30, "x")},
      {"points missing", good.substr(0, good.size() - 40)},
      {"imaginary part missing", replaceLine(SaveText(SampleRecord(48, true)), 20, "  1.0")},
  };
  for (const auto& b : bad) {
    TSignalObj dst = SampleRecord(300, true);
    const std::string before = SaveBinary(dst);
    EXPECT_FALSE(LoadText(dst, b.text)) << b.what;
    EXPECT_EQ(SaveBinary(dst), before) << b.what;
  }
}

}  // namespace
}  // namespace norv
