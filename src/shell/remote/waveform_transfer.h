#pragma once
// Waveform records read as text by remote clients: "Wfm:Source" picks one of the fourteen
// records, "Wfm:Data?" gives its points, "Wfm:Preamb?" its scaling and "Wfm:Complex" which
// part of a spectrum is sent. All four are internal nodes (no undo, not in setups).

#include <string>

#include "framework/traces/trace_names.h"

namespace norv {

class TSignalSourceSwHandler;
class TRadioSwHandler;
class TGpibStringHandler;
class TSignalObj;

struct TWfmNodes {
  TSignalSourceSwHandler* Source = nullptr;
  TGpibStringHandler* Data = nullptr;
  TGpibStringHandler* Preamb = nullptr;
  TRadioSwHandler* Complex = nullptr;
  // The last source with a record: a command naming XY, DB, Hist, Const or None is turned
  // back to it, since those have no points to send.
  TTraceId LastRecordSource = TTraceId::Ch1;
};

extern TWfmNodes WfmNodes;

void RegisterWfmCommands();

// The general number form of remote replies: 5 significant digits, '.' as separator,
// halves rounded away from zero ("0.0001", "1E-5", "12346", "1E5").
void AppendGeneral5(std::string& text, double value);

// A spectrum point's phase in degrees as remote clients have always read it: 0 when Im is
// 0 or |Re| is below 1e-60, otherwise arctan(Im/Re) moved by pi into the left half-plane
// (but Im = 0 there stays 0, not 180).
double WfmPhaseDegrees(double re, double im);

// The points of a record as "Wfm:Data?" sends them (the view by "Wfm:Complex" index:
// 0 magnitude, 1 phase, 2 real, 3 imaginary), appended without header.
void AppendWfmPoints(std::string& text, const TSignalObj& record, int complexView);

}  // namespace norv
