#include "shell/remote/waveform_transfer.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "framework/settings/handler.h"
#include "framework/text/dot_number.h"
#include "instrument/acquisition/point_store.h"
#include "instrument/record/signal_obj.h"
#include "remote_fixture.h"

namespace norv::test {
namespace {

std::string General5(double v) {
  std::string text;
  AppendGeneral5(text, v);
  return text;
}

// Each value as one number and all of them as records' points (through the block path)
// read as the program's general formatter writes them.
void ExpectFormatterText(const std::vector<double>& values) {
  std::string expected;
  for (const double v : values) {
    const std::string text = FloatToStrF_Dot(v, TFloatFormat::ffGeneral, 5, 0);
    ASSERT_EQ(General5(v), text) << v;
    expected += (expected.empty() ? "" : ", ") + text;
  }
  std::string points;
  TSignalObj record;
  for (size_t first = 0; first < values.size(); first += kMaxRecLen) {
    const size_t count = std::min<size_t>(kMaxRecLen, values.size() - first);
    record.SetRecLen(static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) record.SetY(static_cast<int>(i), values[first + i]);
    if (first > 0) points += ", ";
    AppendWfmPoints(points, record, 0);
  }
  // The first difference, with a little of the text around it.
  const size_t at = static_cast<size_t>(
      std::mismatch(points.begin(), points.end(), expected.begin(), expected.end()).first - points.begin());
  const size_t from = at < 20 ? 0 : at - 20;
  ASSERT_EQ(points.substr(from, 60), expected.substr(from, 60)) << "at character " << at;
  ASSERT_EQ(points.size(), expected.size());
}

TEST(WfmNumbers, GeneralFormWithFiveDigitsAsTheNumberFormatterWritesIt) {
  const struct {
    double value;
    const char* text;
  } fixed[] = {{0, "0"},
               {-0.0, "0"},
               {0.0001, "0.0001"},
               {0.00001, "1E-5"},
               {12345.5, "12346"},
               {12344.5, "12345"},
               {99999.5, "1E5"},
               {123456, "1.2346E5"},
               {-2.5e-10, "-2.5E-10"},
               {1.0 / 3, "0.33333"},
               {100, "100"},
               {NAN, "NAN"}};
  for (const auto& f : fixed) EXPECT_EQ(General5(f.value), f.text) << f.value;

  // Against the program's general formatter: values of every size, exact halves, and
  // halves scaled to other decades (the last one too, and every decade) with a step of one
  // ulp either way.
  std::mt19937_64 random(21);
  std::uniform_real_distribution<double> mantissa(-10, 10);
  std::uniform_int_distribution<int> exponent(-320, 308);
  std::uniform_int_distribution<int> near(-15, 15);
  std::vector<double> values;
  for (int i = 0; i < 30000; ++i) {
    const int digits = i % 16 == 1 ? 99999 : 10000 + static_cast<int>(random() % 90000);
    double v = mantissa(random) * std::pow(10.0, exponent(random));
    if (i % 3 == 0) v = digits + 0.5;
    if (i % 3 == 1) {
      v = (digits + 0.5) * std::pow(10.0, near(random));
      const int step = static_cast<int>(random() % 3) - 1;
      if (step != 0) v = std::nextafter(v, step * HUGE_VAL);
    }
    values.push_back(v);
  }
  // Halves of every decade, also where ties are left to the exact formatter.
  for (int k = -300; k <= 300; ++k) {
    const double half = 12345.5 * std::pow(10.0, k);
    for (const double v : {half, std::nextafter(half, 0.0), std::nextafter(half, HUGE_VAL)})
      values.push_back(-v);
  }
  for (const auto& f : fixed) values.push_back(f.value);
  values.push_back(INFINITY);
  values.push_back(-DBL_MIN / 4);
  ExpectFormatterText(values);
}

// Every value a record can hold as the point store stores sample codes (each 16-bit code
// times the volts of a code, at several attenuations, with and without an offset): the
// text is the general formatter's. Many are ties at five digits (0.0100625) or zero.
TEST(WfmNumbers, EveryStoredSampleValueReadsAsTheNumberFormatterWritesIt) {
  TPointStore store;
  TPointStore::TChannelTarget& target = store.Target(2);
  std::vector<double> values;
  for (const double attenuation : {1.0, 10.0, 0.1, 1000.0}) {
    for (const double offset : {0.0, -0.25}) {
      target.Gain = kVoltsPerCode * attenuation;
      target.Offset = offset * attenuation;
      for (int code = INT16_MIN; code <= INT16_MAX; ++code) values.push_back(store.CodeToVolts(2, code));
    }
  }
  ExpectFormatterText(values);
  EXPECT_EQ(values.size(), 8u * 65536);
  RecordProperty("ValuesChecked", static_cast<int>(values.size()));
  // By hand: 161 and 177 codes are 0.0100625 and 0.0110625 V, ties whose doubles lie just
  // above (...00026) and just below (...99994) them.
  store.Target(2) = {};
  EXPECT_EQ(General5(store.CodeToVolts(2, 161)), "0.010063");
  EXPECT_EQ(General5(store.CodeToVolts(2, 177)), "0.011062");
  EXPECT_EQ(General5(store.CodeToVolts(2, -16100)), "-1.0063");
  EXPECT_EQ(General5(store.CodeToVolts(2, 0)), "0");
}

TEST(WfmNumbers, PhaseEdgeCasesStayAsClientsReadThem) {
  const double cases[][3] = {{0, 1, 0},    {-1, 1, 135}, {-1, -1, -135}, {-1, 0, 0},      {1, 1, 45},
                             {1, -1, -45}, {0, -1, 0},   {1e-61, 1, 0},  {-1e-59, 1, 90}, {3, 0, 0}};
  for (const auto& c : cases) EXPECT_NEAR(WfmPhaseDegrees(c[0], c[1]), c[2], 1e-9) << c[0] << " " << c[1];
}

class WfmTest : public RemoteTest {
 protected:
  static std::string Exec(std::string_view line) { return RootSpider->ExecCommandLine(line, false); }
};

TEST_F(WfmTest, PreambleAndPointsWithAndWithoutHeader) {
  TSignalObj& ch1 = SignalObjs()[TTraceId::Ch1];
  ch1.SetRecLen(1);
  ch1.SetY(0, 0.25);
  ch1.SetDX(2.5e-11);
  ch1.SetX0(-1e-9);
  ch1.SetHorUnit("s");
  ch1.SetVertUnit("V");
  const struct {
    const char* line;
    const char* reply;
  } cases[] = {
      {"WFM:PREAMB?", "WFM:PREAMB: Points = 1, XInc = 2.5E-11, XOrig = -1E-9, XU = s, YU = V"},
      {"WFM:PREAMB? xinc ", "WFM:PREAMB:XINC XInc = 2.5E-11"},
      {"WFM:PREAMB? POIN", "WFM:PREAMB:POIN Points = 1"},
      {"WFM:PREAMB? POINTS", "WFM:PREAMB:POINTS ERROR"},
      {"WFM:DATA?", "WFM:DATA 0.25"},
      {"WFM:DATA 1", ""},
      {"HEADER OFF;WFM:PREAMB? XORG", "-1E-9"},
      {"WFM:PREAMB?", "1, 2.5E-11, -1E-9, s, V"},
      {"WFM:PREAMB? YUNIT", "ERROR"},
      {"WFM:DATA?", "0.25"},
      {"HEADER ON;WFM:SOURCE XY;SOURCE?", "WFM:SOURCE CH1"},  // no record to send
      // M1 is off: no points, but its preamble.
      {"WFM:SOURCE M1;DATA?", "WFM:DATA SIGNAL IS ABSENT"},
      {"WFM:PREAMB? POIN", "WFM:PREAMB:POIN Points = 512"},
      // Ch2 is shown but was never acquired: its zeros are no points.
      {"WFM:SOURCE CH2;DATA?", "WFM:DATA SIGNAL IS ABSENT"},
  };
  for (const auto& c : cases) EXPECT_EQ(Exec(c.line), c.reply) << c.line;

  // In reflection units the points are sent converted: (0.25 - 0.05) / 0.5.
  ch1.SetTdrUnitKind(tukRho);
  ch1.SetTdrBase(0.05);
  ch1.SetTdrAmplitude(0.5);
  EXPECT_EQ(Exec("HEADER OFF;:WFM:SOURCE CH1;DATA?"), "0.4");
}

TEST_F(WfmTest, EachPartOfASpectrum) {
  TSignalObj& s1 = SignalObjs()[TTraceId::S1];
  s1.SetRecLen(4);
  const double points[][2] = {{3, 4}, {-1, 1}, {-1, -1}, {0, 2}};
  for (int i = 0; i < 4; ++i) {
    s1.SetY(i, points[i][0]);
    s1.SetIm(i, points[i][1]);
  }
  SignalsOn.SetOn(TTraceId::S1, true);
  Exec("HEADER OFF;WFM:SOURCE S1");
  const char* views[][2] = {{"MOD", "5, 1.4142, 1.4142, 2"},
                            {"PH", "53.13, 135, -135, 0"},
                            {"RE", "3, -1, -1, 0"},
                            {"IM", "4, 1, -1, 2"}};
  for (const auto& v : views)
    EXPECT_EQ(Exec(std::string(":WFM:COMPLEX ") + v[0] + ";:WFM:DATA?"), v[1]) << v[0];
}

TEST_F(WfmTest, FullRecordThroughTheSocketMatchesTheRecord) {
  TSignalObj& ch2 = SignalObjs()[TTraceId::Ch2];
  ch2.SetRecLen(4096);
  ch2.SetDX(1e-11);
  ch2.SetX0(2e-9);
  for (int i = 0; i < 4096; ++i) ch2.SetY(i, 0.3 * std::sin(i * 0.01) + 1e-7 * i);
  StartServer();
  TRemoteClient client;
  Connect(client);
  EXPECT_EQ(Ask(client, "WFM:SOURCE CH2;PREAMB?"),
            "OK WFM:PREAMB: Points = 4096, XInc = 1E-11, XOrig = 2E-9, XU = s, YU = V");
  const std::string reply = Ask(client, "HEADER OFF;:WFM:DATA?");
  ASSERT_TRUE(reply.starts_with("OK "));
  std::vector<double> values;
  for (size_t pos = 3; pos < reply.size();) {
    const size_t comma = std::min(reply.find(", ", pos), reply.size());
    values.push_back(StrToFloat_Dot(reply.substr(pos, comma - pos)));
    pos = comma + 2;
  }
  ASSERT_EQ(values.size(), 4096u);
  for (int i = 0; i < 4096; ++i) {
    const double y = ch2.GetY(i);
    ASSERT_LE(std::fabs(values[i] - y), 5e-5 * std::fabs(y)) << i;
  }
}

TEST_F(WfmTest, AReplyUpToTheLimitIsReadAndOnePastItIsAnError) {
  TSignalObj& ch1 = SignalObjs()[TTraceId::Ch1];
  ch1.SetRecLen(4096);
  for (int i = 0; i < 4096; ++i) ch1.SetY(i, 1e-3 * i + 1e-9);
  const std::string one = Exec("HEADER OFF;:WFM:DATA?");
  ASSERT_GT(one.size(), 10000u);
  // Replies joined by ';': as many as fit, then enough for one more to pass the limit.
  const size_t fit = (kMaxReplyBytes + 1) / (one.size() + 1);
  auto line = [](size_t queries) {
    std::string text = ":WFM:DATA?";
    for (size_t i = 1; i < queries; ++i) text += ";:WFM:DATA?";
    return text;
  };
  StartServer();
  TRemoteClient client;
  Connect(client);
  const TReplyReader::TFrame full = client.Exchange(line(fit), 5000, Idle());
  ASSERT_TRUE(full.Ok);
  EXPECT_EQ(full.Text.size(), fit * (one.size() + 1) - 1);
  EXPECT_LE(full.Text.size(), kMaxReplyBytes);
  EXPECT_EQ(full.Text.substr(full.Text.size() - one.size()), one);
  EXPECT_EQ(Ask(client, line(fit + 1)), "ERR Reply longer than 16777216 bytes");
  EXPECT_EQ(Ask(client, "WFM:DATA?"), "OK " + one) << "the client goes on after the error";

  // A client refuses a header announcing more than any reply can be.
  TReplyReader reader;
  reader.Feed("OK 16777217\n");
  EXPECT_TRUE(reader.Broken());
}

}  // namespace
}  // namespace norv::test
