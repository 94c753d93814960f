#pragma once
// The TCP link object: a non-blocking client socket to the instrument. It never blocks
// and never raises; the TCP transport polls it from its own waits and from the idle loop.
// Private to the link (link_transport.h is its way in).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace norv {

class TMyTSPIPPribor {
 public:
  TMyTSPIPPribor() = default;
  ~TMyTSPIPPribor();
  TMyTSPIPPribor(const TMyTSPIPPribor&) = delete;
  TMyTSPIPPribor& operator=(const TMyTSPIPPribor&) = delete;

  // Starts connecting to the dotted IPv4 address and port without waiting. False when
  // the socket could not be created or the address is not a dotted IPv4 text.
  bool Open(const std::string& dottedAddress, uint16_t port);
  void Close();

  // Waits up to timeoutMs for a pending connect (returning as soon as it stands or has
  // failed); true when the connection stands.
  bool WaitConnected(int timeoutMs);
  bool Connected() const { return connected_; }
  // The peer closed the connection or the socket failed; nothing more will arrive.
  bool Broken() const { return broken_; }

  // Bytes are waiting to be received, or the peer's close is still to be noticed.
  bool InputPending() const;
  // Receives what is waiting, at most into.size() bytes; 0 when nothing is waiting.
  size_t Receive(std::span<uint8_t> into);
  // Sends all bytes, waiting briefly while the socket's send buffer is full; false when
  // the connection is broken or not established.
  bool Send(std::span<const uint8_t> bytes);

 private:
  int fd_ = -1;
  bool connected_ = false;
  bool broken_ = false;
};

}  // namespace norv
