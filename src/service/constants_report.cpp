#include "service/constants_report.h"

#include <charconv>
#include <cstdio>

#include "framework/text/dot_number.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"

namespace norv {

namespace {

constexpr size_t kCurveCodes = 65;  // -1024 mV .. +1024 mV in 32 mV steps
constexpr size_t kListColumns = 8;
constexpr const char* kListIndent = "        ";

std::string Line(const std::string& text) { return text + "\r\n"; }
std::string Number(double value) { return FloatToStrRoundTrip_Dot(value); }

// Looks a constant up by its node in either set.
class TConstantLookup {
 public:
  explicit TConstantLookup(const TFlashConstantsSnapshot& s) : s_(s) {}
  std::string Raw(const std::string& node) const {
    for (const auto* list : {&s_.Adjustment, &s_.Calibration})
      for (const TFlashConstantEntry& e : *list)
        if (e.Node == node) return e.Raw;
    return "";
  }
  int32_t Code(const std::string& node) const {
    const std::string raw = Raw(node);
    int32_t code = 0;
    std::from_chars(raw.data(), raw.data() + raw.size(), code);
    return code;
  }
  TBridgeValues Bridge(const std::string& prefix) const {
    TBridgeCodes codes;
    if (std::sscanf(Raw(prefix + "BridgeVolt").c_str(), "PlusD %d, MinusD %d", &codes.PlusD, &codes.MinusD) !=
        2)
      return {};
    return BridgeFromCodes(codes);
  }

 private:
  const TFlashConstantsSnapshot& s_;
};

// Values 6 characters wide, a row of kListColumns per line.
std::string CodeList(const std::vector<int32_t>& codes) {
  std::string text = kListIndent;
  for (size_t i = 0; i < codes.size(); ++i) {
    if (i > 0 && i % kListColumns == 0) text += "\r\n" + std::string(kListIndent);
    char cell[16];
    std::snprintf(cell, sizeof cell, "%6d", codes[i]);
    text += cell;
  }
  return Line(text);
}

std::vector<int32_t> Differences(const std::vector<int32_t>& codes) {
  std::vector<int32_t> steps;
  for (size_t i = 1; i < codes.size(); ++i) steps.push_back(codes[i] - codes[i - 1]);
  return steps;
}

bool SamplerQueriesAnswered() {
  return IsInstrumentConnected() && VersionAtLeast(InstrumentIdentity.SWVer, {3, 10});
}

std::string ChannelLine(int channel, const char* band) {
  return Line("\r\n   CHANNEL " + std::to_string(channel) + "  " + band);
}

std::string Channels(const TConstantLookup& c, bool adjustment) {
  std::string text;
  for (int channel : {1, 2}) {
    const std::string ch = "CH" + std::to_string(channel) + ":";
    for (bool narrow : {false, true}) {
      const std::string prefix = "FLASH:Calibr:Ch" + std::to_string(channel) + (narrow ? "Narrow:" : "Full:");
      text += ChannelLine(channel, narrow ? "NARROW BW:" : "FULL BW:");
      const TBridgeValues bridge = c.Bridge(prefix);
      text += Line("Balance: " + Number(bridge.Balance) + " V");
      text += Line("Bridge Voltage: " + Number(bridge.BridgeVolt) + " V");
      if (SamplerQueriesAnswered()) {
        const std::vector<int32_t> curve = ParseCodeList(
            QueryUpperString("CALIBR:SAMPLER:" + ch + (narrow ? "NARROWBW:" : "FULLBW:") + "CALCURVE?", true),
            kCurveCodes);
        if (curve.size() == kCurveCodes) {
          text +=
              "ADC codes for input Voltage -1024mV, ..., 0V, ..., 1024mV step 32mV:\r\n" + CodeList(curve);
          text += "ADC increments for every 32mv-steps -1024mV - +1024mV:\r\n" + CodeList(Differences(curve));
        }
      }
      if (adjustment)
        text += Line(narrow ? "% OF BRIDGE: " + Number(c.Code(prefix + "PromBrNBW") / 10.0) + " %"
                            : "Swing ADC/200 mV: " + std::to_string(c.Code(prefix + "ADC200mV")));
      text += Line("LF Distortion: " + std::to_string(c.Code(prefix + "LfDist")));
      if (adjustment)
        text += Line(std::string("Fixed Gain: ") + (c.Raw(prefix + "GainFix") == "LOW" ? "Low" : "High"));
    }
    if (SamplerQueriesAnswered()) {
      text += ChannelLine(channel, "");
      // A time-out reads as zero, not as the failure mark.
      const int32_t delta = QueryInt("CALIBR:SAMPLER:" + ch + "ZEROOFADC");
      text +=
          Line("Delta Code of ADC without Strobe = " + std::to_string(delta == QueryIntFailure ? 0 : delta));
    }
  }
  return text;
}

std::string StrobeGenerator(const TConstantLookup& c) {
  return Line("\r\n   STROBE GENERATOR:") +
         Line("SRD1 Current: " + Number(SrdFromCode(c.Code("Flash:Calibr:Strobe:SRD1")) * 1e3) + " mA") +
         Line("SRD2 Current: " + Number(SrdFromCode(c.Code("Flash:Calibr:Strobe:SRD2")) * 1e3) + " mA") +
         Line("Amplitude: " + Number(StrobeAmplitudeFromCode(c.Code("Flash:Calibr:Strobe:Amplitude"))) +
              " %") +
         Line("Delay: " + Number(StrobeDelayFromCode(c.Code("Flash:Calibr:Strobe:Delay")) * 1e9) + " ns");
}

// The limits are kept for the channel the search was set to.
std::string FindSrds(const TConstantLookup& c) {
  const auto current = [&](const char* label, const char* node) {
    return Line(std::string(label) + Number(SrdFromCode(c.Code(node)) * 1e3) + " mA");
  };
  return Line("\r\n   FIND SRDs:") +
         Line("Channel: Channel " + std::to_string(c.Code("Flash:Calibr:Strobe:ChFindSRD") + 1)) +
         current("Min SRD1 Current: ", "Flash:Calibr:Strobe:MinSRD1") +
         current("Max SRD1 Current: ", "Flash:Calibr:Strobe:MaxSRD1") +
         current("Min SRD2 Current: ", "Flash:Calibr:Strobe:MinSRD2") +
         current("Max SRD2 Current: ", "Flash:Calibr:Strobe:MaxSRD2");
}

std::string SamplerTimeBase(const TSamplerTimeBaseCal& cal) {
  const std::vector<int32_t> points(cal.Curve.begin(), cal.Curve.end());
  const std::vector<int32_t> intervals = Differences(points);
  return Line("\r\n   SAMPLER'S TimeBase: ") +
         Line("Calibration's Interval = " + std::to_string(cal.CalIntrvlA)) +
         Line("Calibration's Points: " + std::to_string(points.size()) +
              "; Intervals: " + std::to_string(intervals.size()) + "\r\n") +
         "Calibration's Points:\r\n" + CodeList(points) + "Calibration's Intervals:\r\n" +
         CodeList(intervals);
}

std::string TimeBase(const TConstantLookup& c) {
  return Line("\r\n   TIMEBASE:") +
         Line("Coarse Timebase: " + Number(CoarseTBFromCode(c.Code("FLASH:Calibr:CoarseTB")) * 1e9) + " ns") +
         Line("Coarse Timebase Delay: " + std::to_string(c.Code("FLASH:Calibr:CoarseDelay"))) +
         Line("Fine Timebase / 4 ns: " + std::to_string(c.Code("FLASH:Calibr:FineTB"))) +
         Line("Fine Timebase Delay: " + std::to_string(c.Code("FLASH:Calibr:FineDelay")));
}

std::string Trigger(const TConstantLookup& c) {
  return Line("\r\n   TRIGGER:") +
         Line("Ext. Level Zero: " + Number(LevelZeroFromCode(c.Code("FLASH:Calibr:LevelZero"))) + " mV");
}

}  // namespace

std::vector<int32_t> ParseCodeList(const std::string& reply, size_t cap) {
  std::vector<int32_t> codes;
  const char* p = reply.data();
  const char* end = p + reply.size();
  while (codes.size() < cap) {
    while (p < end && (*p == ' ' || *p == ',' || *p == '\t' || *p == '\r' || *p == '\n')) ++p;
    if (p == end) break;
    int32_t code = 0;
    const auto [next, error] = std::from_chars(p, end, code);
    if (error != std::errc()) break;
    codes.push_back(code);
    p = next;
  }
  return codes;
}

std::string BuildConstantsReport(const TFlashConstantsSnapshot& snapshot) {
  const TConstantLookup c(snapshot);
  const std::string rule = Line(std::string(25, '-'));
  return Line("\r\n\r\n\tADJUSTMENTS") + rule + Channels(c, true) + StrobeGenerator(c) + FindSrds(c) +
         SamplerTimeBase(snapshot.SamplerTimeBase) + TimeBase(c) + Trigger(c) +
         Line("\r\n\r\n\tCALIBRATIONS") + rule + Channels(c, false) + StrobeGenerator(c) +
         SamplerTimeBase(snapshot.SamplerTimeBase) + TimeBase(c);
}

}  // namespace norv
