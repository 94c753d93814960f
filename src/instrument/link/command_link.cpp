#include "instrument/link/command_link.h"

#include <charconv>
#include <memory>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/errors.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_transport.h"
#include "instrument/link/sample_stream.h"
#include "instrument/link/transport/usb_transport.h"

namespace norv {

namespace {

// The transport chosen at connect; none while closed.
constinit TOwned<ILinkTransport> Current;

}  // namespace

ILinkTransport& LinkTransport() { return Current && IsRealInstrument() ? *Current : NoInstrumentTransport(); }

bool OpenTcpInstrument(const TIPv4Addr& address, uint16_t port) {
  if (!address.Valid) throw EAssertion("OpenTcpInstrument: invalid address");
  Current.reset();
  LinkHooks.SplashStatus(GetLangStr("WaitTCP_IP"));
  Current = OpenTcpTransport(IPv4ToDottedStr(address), port);
  if (Current) return true;
  LinkHooks.SplashStatus(GetProductName() + GetLangStr("_not_found") + "0");
  return false;
}

bool ConnectInstrument(bool useUSB, const TIPv4Addr& address, uint16_t port) {
  if (useUSB) {
    UsbMessageSink.Set([](const std::string& text) { LinkHooks.SplashStatus(text); });
    Current.reset();
    Current = OpenUsbTransport();
    if (!Current) return false;
    LinkKind = TLinkKind::USB;
  } else {
    if (!OpenTcpInstrument(address, port)) return false;
    LinkKind = TLinkKind::LAN;
  }
  SendCommand(IndivDataQuery, true);
  if (IsTimeoutReply(ReadReplyLine())) {
    // Close at once, so that a retry starts from a closed transport.
    DisconnectInstrument(true);
    LinkKind = TLinkKind::None;
    CommFailure = true;
    return false;
  }
  CommFailure = false;
  return true;
}

void DisconnectInstrument(bool both) {
  if (IsRealInstrument() || both) Current.reset();
}

bool IsInstrumentConnected() { return IsRealInstrument(); }

bool LinkAlive() { return LinkTransport().Alive(); }

bool SendCommand(std::string_view cmd, bool keepAcquisition) {
  LinkState.LastCommand = std::string(cmd.substr(0, LastCommandTextLength));
  std::string bytes = EncodeText(cmd, TTextEncoding::Ansi);
  if (!keepAcquisition) PreCommandHook(true);
  bytes += "\r\n";
  return LinkTransport().Send({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()});
}

std::string ReadReply() { return LinkTransport().ReadReply(); }

std::string ReadReplyLine() {
  std::string s = ReadReply();
  size_t cut = s.find(ReplyCrMark);
  if (cut != std::string::npos) s.resize(cut);
  return s;
}

std::string QueryCommand(std::string_view cmd) {
  SendCommand(cmd, false);
  return ReadReplyLine();
}

std::string QueryUpperString(std::string_view cmd, bool noQuestionMark) {
  std::string text(cmd);
  if (!noQuestionMark) text += '?';
  return UpperAscii(QueryCommand(text));
}

void SendIntCommand(std::string_view cmd, int32_t value) {
  SendCommand(std::string(cmd) + ' ' + std::to_string(value), false);
}

void SendOnOffCommand(std::string_view cmd, bool on) {
  SendCommand(std::string(cmd) + (on ? " On" : " Off"), false);
}

std::string FloatCommandText(double value) { return FloatToStrF_Dot(value, TFloatFormat::ffGeneral, 8, 0); }

void SendFloatCommand(std::string_view cmd, bool keepAcquisition, double value) {
  SendCommand(std::string(cmd) + ' ' + FloatCommandText(value), keepAcquisition);
}

int32_t QueryInt(std::string_view cmd, uint16_t waitMs, bool noQuestionMark) {
  std::string text(cmd);
  if (!noQuestionMark) text += '?';
  SendCommand(text, false);
  if (waitMs > 0) ProgramClock().SleepMs(waitMs);
  std::string reply = ReadReplyLine();
  if (!IsInstrumentConnected()) return 0;
  int32_t value;
  return ParseReplyInt(reply, value) ? value : QueryIntFailure;
}

int32_t QueryIntArg(std::string_view cmd, int32_t n) {
  return QueryInt(std::string(cmd) + "? " + std::to_string(n), 0, true);
}

double QueryFloat(std::string_view cmd, bool noQuestionMark) {
  std::string text(cmd);
  if (!noQuestionMark) text += '?';
  std::string reply = QueryCommand(text);
  if (!IsInstrumentConnected()) return 0.0;
  double value;
  return TryStrToFloat_Dot(reply, value) ? value : QueryFloatFailure;
}

double QueryFloatArg(std::string_view cmd, double value) {
  return QueryFloat(std::string(cmd) + "? " + FloatCommandText(value), true);
}

const std::string& LastCommandText() { return LinkState.LastCommand; }

bool IsTimeoutReply(std::string_view reply) { return SameTextAscii(reply, ReplyTimeoutText); }

bool ParseReplyInt(std::string_view text, int32_t& value) {
  size_t i = text.find_first_not_of(' ');
  if (i == std::string_view::npos) return false;
  const bool plus = text[i] == '+';
  if (plus) ++i;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  if (first == last || (plus && *first == '-')) return false;  // one sign at most
  auto [end, error] = std::from_chars(first, last, value);
  return error == std::errc() && end == last;
}

}  // namespace norv
