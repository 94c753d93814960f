#pragma once
// State of the instrument link shared by the command link, the USB transport and the
// acquisition cycle.

#include <cstdint>
#include <string>

namespace norv {

// Kind of the current link; a real instrument means USB or LAN.
enum class TLinkKind : uint8_t { None = 0, USB = 1, LAN = 2, Demo = 3 };

struct TLinkState {
  TLinkKind LinkKind = TLinkKind::None;
  // The link has failed; set by the transports and a failed start, cleared by a good USB
  // transfer and by the link recovery.
  bool CommFailure = false;

  // Main-window state read by the acquisition stop.
  bool GuiReady = false;        // start-up has finished
  bool ClosingFlag = false;     // the main window closes: a stop drains at most 3 passes
  bool BreakRequest = false;    // ends the drain of a stop after its current pass
  bool NoTimerRestart = false;  // program end: a stop neither restarts timers nor refreshes

  // The first characters of the last command sent, for error reports (LastCommandText).
  std::string LastCommand;
};

extern TLinkState LinkState;
inline constinit TLinkKind& LinkKind = LinkState.LinkKind;
inline constinit bool& CommFailure = LinkState.CommFailure;
inline constinit bool& GuiReady = LinkState.GuiReady;
inline constinit bool& ClosingFlag = LinkState.ClosingFlag;
inline constinit bool& BreakRequest = LinkState.BreakRequest;
inline constinit bool& NoTimerRestart = LinkState.NoTimerRestart;

inline bool IsRealInstrument() { return LinkKind == TLinkKind::USB || LinkKind == TLinkKind::LAN; }

}  // namespace norv
