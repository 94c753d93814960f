#include "instrument/link/transport/usb_transport.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/util/clock.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_state.h"
#include "instrument/link/link_transport.h"
#include "instrument/link/sample_stream.h"
#include "instrument/link/transport/usb_device.h"

namespace norv {
namespace {

// The USB side of the sample stream: a block as read, and the byte of a word that a block
// cut in two.
struct TUsbStreamState {
  std::array<uint8_t, UsbWaveBlockBytes> WaveBlock{};
  bool WaveCarried = false;
  uint8_t WaveCarry = 0;
};
TUsbStreamState UsbStream;
const TProgramUnit UsbStreamUnit("USB stream", [] { UsbStream = {}; });

void ReportFailure(const char* operation, const std::exception& error) {
  CommFailure = true;
  UsbMessageSink(std::string(operation) + "() failed (" + error.what() + ")");
}

}  // namespace

bool OpenUSB() {
  ClearUsbWaveCarry();
  try {
    OpenUsbDevice();
  } catch (const std::exception& error) {
    CommFailure = true;
    UsbMessageSink(error.what());
    return false;
  }
  // Whatever an earlier session left in the IN pipe; normally the read just times out.
  std::vector<uint8_t> scratch(UsbDrainBytes);
  try {
    ReadUsbPipe(UsbInPipe, scratch.data(), scratch.size(), UsbDrainTimeoutMs);
  } catch (const std::exception&) {
  }
  return true;
}

void CloseUSB() {
  ClearUsbWaveCarry();
  CloseUsbDevice();
}

bool ProbeUSB() {
  CloseUSB();
  if (!OpenUSB()) return false;
  if (!SendCommand(LinkProbeQuery, false)) return false;
  std::array<uint8_t, UsbProbeReplyBytes> reply;
  size_t transferred = 0;
  return ReadBufferFromUSB(reply.data(), reply.size(), transferred, UsbProbeTimeoutMs);
}

bool SendBufferToUSB(const uint8_t* buffer, size_t length) {
  CommFailure = false;
  try {
    WriteUsbPipe(UsbOutPipe, buffer, length);
    return true;
  } catch (const std::exception& error) {
    ReportFailure("SendBufferToUSB", error);
    return false;
  }
}

bool ReadBufferFromUSB(uint8_t* buffer, size_t length, size_t& transferred, int timeoutMs) {
  CommFailure = false;
  transferred = 0;
  try {
    transferred = ReadUsbPipe(UsbInPipe, buffer, length, timeoutMs);
    return true;
  } catch (const std::exception& error) {
    ReportFailure("ReadBufferFromUSB", error);
    return false;
  }
}

bool ReadUsbWaveBlock(std::span<uint16_t> words, size_t& count) {
  count = 0;
  size_t request = std::min(UsbStream.WaveBlock.size(), words.size() * 2);
  size_t received = 0;
  if (!ReadBufferFromUSB(UsbStream.WaveBlock.data(), request, received, UsbWaveTimeoutMs)) return false;
  // A carried byte plus `request` bytes is at most one byte more than `words` holds,
  // and that byte is carried on again.
  size_t next = 0;
  if (UsbStream.WaveCarried && received > 0) {
    words[count++] = LittleEndianWord(UsbStream.WaveCarry, UsbStream.WaveBlock[next++]);
    UsbStream.WaveCarried = false;
  }
  for (; next + 1 < received; next += 2)
    words[count++] = LittleEndianWord(UsbStream.WaveBlock[next], UsbStream.WaveBlock[next + 1]);
  if (next < received) {
    UsbStream.WaveCarried = true;
    UsbStream.WaveCarry = UsbStream.WaveBlock[next];
  }
  return true;
}

void ClearUsbWaveCarry() { UsbStream.WaveCarried = false; }

// --- the USB transport ------------------------------------------------------------------

namespace {

// A failed probe holds the GUI for its open and read time-outs, so while the instrument
// is away it is retried no more often than the TCP one.
constexpr int UsbProbeIntervalMs = TcpProbeIntervalMs;

class TUsbTransport final : public ILinkTransport {
 public:
  ~TUsbTransport() override { CloseUSB(); }

  bool Send(std::span<const uint8_t> line) override {
    // What arrived since the last reply belongs to no command, as over TCP.
    if (!SampleStreamReceiving() && UsbDeviceOpened()) DropStaleInput();
    return SendBufferToUSB(line.data(), line.size());
  }

  // Reads until the reply's LF (a long reply takes several reads), at most
  // ReplyBufferSize bytes. A read that fails or brings nothing ends the reply with what
  // has come.
  std::string ReadReply() override {
    size_t length = 0;
    while (length < reply_.size()) {
      size_t received = 0;
      const size_t ask = std::min(UsbReplyBytes, reply_.size() - length);
      if (!ReadBufferFromUSB(reply_.data() + length, ask, received, UsbReplyTimeoutMs) || received == 0)
        break;
      length += received;
      if (reply_[length - 1] == '\n') break;
    }
    return ReplyText(std::span(reply_).first(length));
  }

  // After a failed probe, false at once without touching the device until
  // UsbProbeIntervalMs has passed.
  bool Alive() override {
    const int64_t now = ProgramClock().NowMs();
    if (retryAtMs_ && now < *retryAtMs_) return false;
    if (ProbeUSB()) {
      retryAtMs_.reset();
      return true;
    }
    retryAtMs_ = now + UsbProbeIntervalMs;
    return false;
  }

  bool ReadWaveData(std::span<const uint16_t>& words) override {
    words = {};
    const std::span<uint16_t> block = StreamBuffer().Block();
    size_t count = 0;
    if (!ReadUsbWaveBlock(block, count)) return false;
    words = block.first(count);
    return true;
  }

 private:
  // Throws away what the IN pipe holds, a bounded amount, without a failure: the reads
  // end as soon as one brings nothing in UsbStaleTimeoutMs.
  void DropStaleInput() {
    ClearUsbWaveCarry();
    try {
      for (int read = 0; read < UsbStaleReadsMax; ++read) {
        if (ReadUsbPipe(UsbInPipe, stale_.data(), stale_.size(), UsbStaleTimeoutMs) == 0) break;
      }
    } catch (const std::exception&) {
    }
  }

  std::array<uint8_t, ReplyBufferSize> reply_;
  std::array<uint8_t, UsbWaveBlockBytes> stale_;
  std::optional<int64_t> retryAtMs_;
};

}  // namespace

std::unique_ptr<ILinkTransport> OpenUsbTransport() {
  if (!OpenUSB()) {
    CloseUSB();
    return nullptr;
  }
  return std::make_unique<TUsbTransport>();
}

}  // namespace norv
