#include "shell/remote/waveform_transfer.h"

#include <charconv>
#include <cmath>
#include <string_view>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "instrument/record/signal_obj.h"

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
  if (!record || !SignalsOn.IsOn(WfmNodes.Source->GetSource())) {
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
  if (header) reply += ":" + param + " ";
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
  for (THandler* node : std::initializer_list<THandler*>{WfmNodes.Source, WfmNodes.Data, WfmNodes.Preamb,
                                                          WfmNodes.Complex})
    node->SetInternal(true);
}

void AppendGeneral5(std::string& text, double value) {
  // Subnormal values carry too few digits for the shortcut below.
  if (!std::isnormal(value)) {
    text += FloatToStrF_Dot(value, TFloatFormat::ffGeneral, kPrecision, 0);
    return;
  }
  // The shortest text that reads back as the value, rounded to five digits, is the value
  // rounded to five digits (a double's 16 digits leave no five-digit boundary between the
  // two), unless it is a six-digit half: then the exact expansion decides.
  char buffer[40];
  const auto result = std::to_chars(buffer, buffer + sizeof(buffer), std::fabs(value), std::chars_format::scientific);
  const std::string_view sci(buffer, static_cast<size_t>(result.ptr - buffer));
  const size_t e = sci.find('e');
  char digits[24];
  int count = 0;
  for (char c : sci.substr(0, e))
    if (c != '.') digits[count++] = c;
  int exp10 = 0;
  const std::string_view exponent = sci.substr(e + (sci[e + 1] == '+' ? 2 : 1));
  std::from_chars(exponent.data(), exponent.data() + exponent.size(), exp10);
  if (count == kPrecision + 1 && digits[kPrecision] == '5') {
    text += FloatToStrF_Dot(value, TFloatFormat::ffGeneral, kPrecision, 0);
    return;
  }
  if (count > kPrecision) {
    const bool up = digits[kPrecision] >= '5';
    count = kPrecision;
    if (up) {
      int i = count - 1;
      while (i >= 0 && digits[i] == '9') digits[i--] = '0';
      if (i >= 0) {
        ++digits[i];
      } else {
        digits[0] = '1';
        ++exp10;
      }
    }
  }
  while (count > 1 && digits[count - 1] == '0') --count;
  if (value < 0) text += '-';
  if (exp10 >= kPrecision || exp10 < -4) {
    text += digits[0];
    if (count > 1) {
      text += '.';
      text.append(digits + 1, static_cast<size_t>(count - 1));
    }
    text += 'E';
    text += std::to_string(exp10);
    return;
  }
  if (exp10 < 0) {
    text += "0.";
    text.append(static_cast<size_t>(-exp10 - 1), '0');
    text.append(digits, static_cast<size_t>(count));
    return;
  }
  const int whole = exp10 + 1;
  for (int i = 0; i < whole; ++i) text += i < count ? digits[i] : '0';
  if (count > whole) {
    text += '.';
    text.append(digits + whole, static_cast<size_t>(count - whole));
  }
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

void AppendWfmPoints(std::string& text, const TSignalObj& record, int complexView) {
  const int count = record.GetRecLen();
  const bool complex = record.IsSpectrum();
  text.reserve(text.size() + static_cast<size_t>(count) * 13);
  for (int i = 0; i < count; ++i) {
    if (i > 0) text += ", ";
    double value = record.GetY(i);
    if (complex) {
      const double im = record.GetIm(i);
      switch (complexView) {
        case cvPhase:
          value = WfmPhaseDegrees(value, im);
          break;
        case cvReal:
          break;
        case cvImaginary:
          value = im;
          break;
        default:
          value = std::sqrt(value * value + im * im);
          break;
      }
    }
    AppendGeneral5(text, value);
  }
}

}  // namespace norv
