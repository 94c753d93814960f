#include "instrument/command_link.h"

#include <array>
#include <charconv>
#include <memory>

#include "framework/dot_number.h"
#include "framework/errors.h"
#include "framework/language.h"
#include "framework/text_case.h"
#include "framework/text_encoding.h"
#include "instrument/instrument_identity.h"
#include "instrument/link_hooks.h"
#include "instrument/sample_stream.h"
#include "instrument/usb_transport.h"

namespace norv {

THook<void(bool refresh)> PreCommandHook{[](bool refresh) { BreakAcquisition(refresh); }};

namespace {


std::unique_ptr<TMyTSPIPPribor> Tcp;
TIPv4Addr TcpAddress;
uint16_t TcpPort = InstrumentTcpPort;

std::array<uint8_t, ReplyBufferSize> ReplyBuffer;
size_t ReplyLength = 0;
std::string LastCommand;

// Bytes of 128 and above become '_'; the last character becomes ReplyEndMark and a CR
// before it ReplyCrMark. Needs at least one byte.
std::string ReplyText(const uint8_t* bytes, size_t length) {
  std::string text;
  text.reserve(length + 4);
  for (size_t i = 0; i + 1 < length; ++i) {
    if (i + 2 == length && bytes[i] == '\r') {
      text += ReplyCrMark;
    } else {
      text += bytes[i] < 128 ? static_cast<char>(bytes[i]) : '_';
    }
  }
  text += ReplyEndMark;
  return text;
}

void DiscardStaleInput(TMyTSPIPPribor& link) {
  std::array<uint8_t, 4096> scratch;
  while (link.InputPending() && link.Receive(scratch) > 0) {
  }
}

void CloseTcp() { Tcp.reset(); }

// Makes a new TCP link to the remembered address; true when the connection stands.
bool ReopenTcp() {
  Tcp = std::make_unique<TMyTSPIPPribor>();
  return Tcp->Open(IPv4ToDottedStr(TcpAddress), TcpPort) && Tcp->WaitConnected(TcpConnectTimeoutMs);
}

std::string ReadReplyTcp() {
  const int64_t start = ProgramClock().NowMs();
  for (;;) {
    if (ReplyLength > 0 && ReplyBuffer[ReplyLength - 1] == '\n') break;
    if (ReplyLength == ReplyBuffer.size()) break;
    if (!Tcp || Tcp->Broken()) break;
    if (PumpSocketMessage()) continue;
    if (ProgramClock().NowMs() - start >= TcpReplyTimeoutMs) break;
    ProgramClock().SleepMs(1);
  }
  if (ReplyLength == 0) {
    // A peer that has closed or fell silent: the link has failed.
    CommFailure = true;
    return std::string(ReplyTimeoutText);
  }
  return ReplyText(ReplyBuffer.data(), ReplyLength);
}

std::string ReadReplyUsb() {
  std::array<uint8_t, UsbReplyBytes> buffer;
  size_t received = 0;
  if (!ReadBufferFromUSB(buffer.data(), buffer.size(), received, UsbReplyTimeoutMs) || received == 0)
    return std::string(ReplyTimeoutText);
  return ReplyText(buffer.data(), received);
}

// Reconnects the TCP link and asks for the logic version, reading the socket directly so
// that nothing reaches the reply or sample buffers.
bool ProbeTcp() {
  if (!TcpAddress.Valid) return false;
  CloseTcp();
  if (!ReopenTcp()) return false;
  std::string probe = std::string(LinkProbeQuery) + "\r\n";
  if (!Tcp->Send({reinterpret_cast<const uint8_t*>(probe.data()), probe.size()})) return false;
  std::array<uint8_t, 256> scratch;
  const int64_t start = ProgramClock().NowMs();
  while (!Tcp->Broken() && ProgramClock().NowMs() - start < TcpProbeReplyTimeoutMs) {
    size_t n = Tcp->InputPending() ? Tcp->Receive(scratch) : 0;
    if (n > 0 && scratch[n - 1] == '\n') return true;
    if (n == 0) ProgramClock().SleepMs(1);
  }
  return false;
}

}  // namespace

TMyTSPIPPribor* TcpLink() { return Tcp.get(); }

bool PumpSocketMessage() {
  if (!Tcp || !Tcp->InputPending()) return false;
  SocketReadHandler();
  return true;
}

void ReceiveReplyBytes(TMyTSPIPPribor& link) {
  ReplyLength += link.Receive(std::span(ReplyBuffer).subspan(ReplyLength));
}

bool OpenTcpInstrument(const TIPv4Addr& address, uint16_t port) {
  if (!address.Valid) throw EAssertion("OpenTcpInstrument: invalid address");
  CloseTcp();
  TcpAddress = address;
  TcpPort = port;
  LinkHooks.SplashStatus(GetLangStr("WaitTCP_IP"));
  if (ReopenTcp()) return true;
  LinkHooks.SplashStatus(GetProductName() + GetLangStr("_not_found") + "0");
  return false;
}

bool ConnectInstrument(bool useUSB, const TIPv4Addr& address, uint16_t port) {
  if (useUSB) {
    UsbMessageSink.Set([](const std::string& text) { LinkHooks.SplashStatus(text); });
    if (!OpenUSB()) {
      CloseUSB();
      return false;
    }
    LinkKind = TLinkKind::USB;
  } else {
    if (!OpenTcpInstrument(address, port)) {
      CloseTcp();
      return false;
    }
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
  if (LinkKind == TLinkKind::USB || both) CloseUSB();
  if (LinkKind == TLinkKind::LAN || both) CloseTcp();
}

bool IsInstrumentConnected() { return IsRealInstrument(); }

bool LinkAlive() {
  switch (LinkKind) {
    case TLinkKind::USB: return ProbeUSB();
    case TLinkKind::LAN: return ProbeTcp();
    default: return true;
  }
}

bool SendCommand(std::string_view cmd, bool keepAcquisition) {
  LastCommand = std::string(cmd.substr(0, LastCommandTextLength));
  std::string bytes = EncodeText(cmd, TTextEncoding::Ansi);
  ReplyLength = 0;
  if (!keepAcquisition) PreCommandHook(true);
  bytes += "\r\n";
  const std::span<const uint8_t> wire(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  switch (LinkKind) {
    case TLinkKind::USB:
      return SendBufferToUSB(wire.data(), wire.size());
    case TLinkKind::LAN: {
      // What arrived since the last reply belongs to no command: drop it, as a reply
      // belongs to the last command sent.
      if (Tcp && !SampleStreamReceiving()) DiscardStaleInput(*Tcp);
      const bool sent = Tcp && Tcp->Send(wire);
      if (!sent) CommFailure = true;
      return sent;
    }
    default:
      return true;
  }
}

std::string ReadReply() {
  switch (LinkKind) {
    case TLinkKind::USB: return ReadReplyUsb();
    case TLinkKind::LAN: return ReadReplyTcp();
    default: return std::string(NoInstrumentReply);
  }
}

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

const std::string& LastCommandText() { return LastCommand; }

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
