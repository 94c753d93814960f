#pragma once
// The command link: the one path by which the program talks to the instrument. It opens
// the connection (USB, or TCP to port 55555), sends text commands ending in CR LF, reads
// text replies and offers typed commands and queries. Without a real instrument (link kind
// None or Demo) every command is accepted and dropped and every reply is "Not Pribor".
//
// Failures are values, never exceptions: "Timeout" for a missing reply, QueryIntFailure
// and QueryFloatFailure for a reply that is not a number. A peer that stops answering or
// closes sets CommFailure, after which the acquisition cycle runs the link recovery.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "framework/text/ip_address.h"
#include "framework/util/clock.h"
#include "framework/util/hook.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"

namespace norv {

inline constexpr uint16_t InstrumentTcpPort = 55555;
inline constexpr size_t ReplyBufferSize = 16400;
// A TCP reply that has not begun by then is "Timeout" (at once when the command could
// not be sent).
inline constexpr int TcpReplyTimeoutMs = 5000;
// The wait for a TCP connection to stand.
inline constexpr int TcpConnectTimeoutMs = 500;
// The TCP probe of LinkAlive: a new connection at most this often, which must stand
// within TcpConnectTimeoutMs and answer within TcpProbeReplyTimeoutMs. A probe never
// waits; LinkAlive is asked again on the next idle pass.
inline constexpr int TcpProbeIntervalMs = 1000;
inline constexpr int TcpProbeReplyTimeoutMs = 500;
inline constexpr size_t LastCommandTextLength = 32;

inline constexpr std::string_view ReplyTimeoutText = "Timeout";
inline constexpr std::string_view NoInstrumentReply = "Not Pribor";
inline constexpr int32_t QueryIntFailure = -2147483647;  // $80000001
inline constexpr double QueryFloatFailure = -2147483647.0;
// The query by which LinkAlive asks whether the instrument answers.
inline constexpr std::string_view LinkProbeQuery = "Info:GetVer:FPGAFW?";

// The end marks of a reply text: the last reply character becomes ReplyEndMark, and a CR
// before it ReplyCrMark (U+00B6 and U+00AC, in UTF-8).
inline constexpr std::string_view ReplyEndMark = "\xC2\xB6";
inline constexpr std::string_view ReplyCrMark = "\xC2\xAC";

// PreCommandHook (link_hooks.h) runs before every command that is not marked
// KeepAcquisition.

// Opens USB or TCP, sets LinkKind and asks the instrument for its individual data. A
// failed open or an unanswered probe closes the transport again and gives false; the
// unanswered probe also sets CommFailure.
bool ConnectInstrument(bool useUSB, const TIPv4Addr& address, uint16_t port = InstrumentTcpPort);
// Opens the TCP link to the address (which must be valid: EAssertion otherwise) and waits
// up to TcpConnectTimeoutMs for the connection; true when it stands.
bool OpenTcpInstrument(const TIPv4Addr& address, uint16_t port = InstrumentTcpPort);
// Closes the USB link when LinkKind is USB or both, the TCP link when LinkKind is LAN or
// both. The caller resets LinkKind.
void DisconnectInstrument(bool both);
bool IsInstrumentConnected();
// USB: the device answers after a reopen. LAN: the TCP link answers after a reconnect,
// which takes several calls (see TcpProbeIntervalMs). Other kinds: true.
bool LinkAlive();

// Sends the command with CR LF; see the header comment for the rules. False when the
// transport could not take it (and CommFailure is then set).
bool SendCommand(std::string_view cmd, bool keepAcquisition);
// The reply to the last command, ending in ReplyEndMark; "Timeout" or "Not Pribor".
std::string ReadReply();
// ReadReply cut before ReplyCrMark: a reply ending in CR LF loses both, one ending in LF
// alone keeps ReplyEndMark (and is then no number).
std::string ReadReplyLine();
std::string QueryCommand(std::string_view cmd);
// Appends "?" unless noQuestionMark, queries, and upper-cases the reply line.
std::string QueryUpperString(std::string_view cmd, bool noQuestionMark = false);

void SendIntCommand(std::string_view cmd, int32_t value);
void SendOnOffCommand(std::string_view cmd, bool on);
void SendFloatCommand(std::string_view cmd, bool keepAcquisition, double value);
// The float text of commands: general format, 8 significant digits, '.' ("0.1", "1E-5").
std::string FloatCommandText(double value);

// Appends "?" unless noQuestionMark; waits waitMs between the command and the reply. The
// whole reply line must be a decimal integer, else QueryIntFailure. 0 without a real
// instrument.
int32_t QueryInt(std::string_view cmd, uint16_t waitMs = 0, bool noQuestionMark = false);
// cmd + "? " + n.
int32_t QueryIntArg(std::string_view cmd, int32_t n);
// Like QueryInt for a finite number with '.' and an optional exponent, else
// QueryFloatFailure. 0.0 without a real instrument.
double QueryFloat(std::string_view cmd, bool noQuestionMark = false);
// cmd + "? " + the float text of value.
double QueryFloatArg(std::string_view cmd, double value);

// The reply is "Timeout" (in any letter case).
bool IsTimeoutReply(std::string_view reply);
// The whole text as a decimal integer: leading blanks and a sign allowed, nothing after.
bool ParseReplyInt(std::string_view text, int32_t& value);

// The first 32 characters of the last command sent, for error reports.
const std::string& LastCommandText();

}  // namespace norv
