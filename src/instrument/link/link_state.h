#pragma once
// State of the instrument link shared by the command link, the USB transport and the
// acquisition cycle.

#include <cstdint>

namespace norv {

// Kind of the current link; a real instrument means USB or LAN.
enum class TLinkKind : uint8_t { None = 0, USB = 1, LAN = 2, Demo = 3 };

inline TLinkKind LinkKind = TLinkKind::None;

// The link has failed; set by the transports and a failed start, cleared by a good USB
// transfer and by the link recovery.
inline bool CommFailure = false;

inline bool IsRealInstrument() { return LinkKind == TLinkKind::USB || LinkKind == TLinkKind::LAN; }

}  // namespace norv
