#include "instrument/link/link_transport.h"

#include "instrument/link/command_link.h"

namespace norv {

namespace {

// No real instrument (link kind None or Demo): commands are dropped, replies are fixed
// and the simulator makes the records.
class TNoInstrumentTransport final : public ILinkTransport {
 public:
  bool Send(std::span<const uint8_t>) override { return true; }
  std::string ReadReply() override { return std::string(NoInstrumentReply); }
  bool Alive() override { return true; }
  bool ReadWaveData(std::span<const uint16_t>& words) override {
    words = {};
    return false;
  }
};

}  // namespace

ILinkTransport& NoInstrumentTransport() {
  static TNoInstrumentTransport transport;
  return transport;
}

std::string ReplyText(std::span<const uint8_t> bytes) {
  if (bytes.empty()) return std::string(ReplyTimeoutText);
  std::string text;
  text.reserve(bytes.size() + 4);
  for (size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (i + 2 == bytes.size() && bytes[i] == '\r') {
      text += ReplyCrMark;
    } else {
      text += bytes[i] < 128 ? static_cast<char>(bytes[i]) : '_';
    }
  }
  text += ReplyEndMark;
  return text;
}

}  // namespace norv
