#pragma once
// A USB stack of scripted IN transfers and recorded OUT bytes that stands in for libusb
// while it lives. An IN pipe with nothing queued times out, as an idle instrument does.

#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/clock.h"
#include "instrument/link/transport/usb_pipes.h"

namespace norv::test {

class FakeUsbPipe final : public IUsbPipes {
 public:
  struct TRead {
    uint8_t Pipe;
    size_t Length;
    int TimeoutMs;
  };

  FakeUsbPipe();  // takes libusb's place
  ~FakeUsbPipe() override;
  FakeUsbPipe(const FakeUsbPipe&) = delete;
  FakeUsbPipe& operator=(const FakeUsbPipe&) = delete;

  // One IN transfer each. A block longer than the read asks for is handed out in parts.
  void QueueIn(std::vector<uint8_t> bytes);
  void QueueIn(std::string_view text);
  void QueueInWords(std::initializer_list<uint16_t> words);  // little-endian
  void QueueInTimeout();                                     // a read that brings nothing in time
  void QueueInTimeoutAfter(std::string_view partial);        // some bytes, then the time runs out
  void QueueInFailure(std::string error);

  void FailBind(std::string error) { bindError_ = std::move(error); }
  void FailOpen(std::string error) { openError_ = std::move(error); }
  void FailWrites(std::string error) { writeError_ = std::move(error); }
  void TimeOutWrites(bool on) { writeTimeout_ = on; }

  // A read that times out takes its time-out on this clock (none: no time passes).
  void SetClock(IClock* clock) { clock_ = clock; }

  // Runs after every good write with the bytes written (e.g. to queue a reply).
  std::function<void(std::string_view)> OnWrite;

  std::string OutText() const { return std::string(out_.begin(), out_.end()); }
  const std::vector<uint8_t>& OutBytes() const { return out_; }
  std::vector<uint8_t> OutPipes() const { return outPipes_; }
  void ClearOut() { out_.clear(); }
  const std::vector<TRead>& Reads() const { return reads_; }
  size_t PendingIn() const { return in_.size(); }
  bool IsOpen() const { return open_; }
  int OpenCount() const { return opens_; }
  bool IsBound() const { return bound_; }

  TUsbOutcome Bind() override;
  void Unbind() override;
  TUsbOutcome Open() override;
  void Close() override;
  TUsbOutcome Write(uint8_t Pipe, const uint8_t* Data, size_t Length, int TimeoutMs) override;
  TUsbOutcome Read(uint8_t Pipe, uint8_t* Buffer, size_t Length, int TimeoutMs) override;

 private:
  struct TBlock {
    TUsbStatus Status;
    std::vector<uint8_t> Bytes;
    std::string Error;
  };

  std::deque<TBlock> in_;
  std::vector<uint8_t> out_;
  std::vector<uint8_t> outPipes_;
  std::vector<TRead> reads_;
  std::string bindError_, openError_, writeError_;
  IClock* clock_ = nullptr;
  bool writeTimeout_ = false;
  bool bound_ = false;
  bool open_ = false;
  int opens_ = 0;
};

}  // namespace norv::test
