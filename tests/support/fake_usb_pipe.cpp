#include "support/fake_usb_pipe.h"

#include <algorithm>
#include <cstring>

#include "instrument/link/transport/usb_device.h"

namespace norv::test {

FakeUsbPipe::FakeUsbPipe() { SetUsbPipes(this); }

FakeUsbPipe::~FakeUsbPipe() { SetUsbPipes(nullptr); }

void FakeUsbPipe::QueueIn(std::vector<uint8_t> bytes) {
  in_.push_back({TUsbStatus::Ok, std::move(bytes), {}});
}

void FakeUsbPipe::QueueIn(std::string_view text) { QueueIn(std::vector<uint8_t>(text.begin(), text.end())); }

void FakeUsbPipe::QueueInWords(std::initializer_list<uint16_t> words) {
  std::vector<uint8_t> bytes;
  for (uint16_t word : words) {
    bytes.push_back(static_cast<uint8_t>(word & 0xFF));
    bytes.push_back(static_cast<uint8_t>(word >> 8));
  }
  QueueIn(std::move(bytes));
}

void FakeUsbPipe::QueueInTimeout() { in_.push_back({TUsbStatus::Timeout, {}, {}}); }

void FakeUsbPipe::QueueInTimeoutAfter(std::string_view partial) {
  in_.push_back({TUsbStatus::Timeout, std::vector<uint8_t>(partial.begin(), partial.end()), {}});
}

void FakeUsbPipe::QueueInFailure(std::string error) {
  in_.push_back({TUsbStatus::Failed, {}, std::move(error)});
}

TUsbOutcome FakeUsbPipe::Bind() {
  if (!bindError_.empty()) return {TUsbStatus::Failed, 0, bindError_};
  bound_ = true;
  return {};
}

void FakeUsbPipe::Unbind() { bound_ = false; }

TUsbOutcome FakeUsbPipe::Open() {
  if (!openError_.empty()) return {TUsbStatus::Failed, 0, openError_};
  open_ = true;
  ++opens_;
  return {};
}

void FakeUsbPipe::Close() { open_ = false; }

TUsbOutcome FakeUsbPipe::Write(uint8_t pipe, const uint8_t* data, size_t length, int) {
  if (!open_) return {TUsbStatus::Failed, 0, "fake USB device not open"};
  if (!writeError_.empty()) return {TUsbStatus::Failed, 0, writeError_};
  if (writeTimeout_) return {TUsbStatus::Timeout, 0, {}};
  out_.insert(out_.end(), data, data + length);
  outPipes_.push_back(pipe);
  if (OnWrite) OnWrite(std::string_view(reinterpret_cast<const char*>(data), length));
  return {TUsbStatus::Ok, length, {}};
}

TUsbOutcome FakeUsbPipe::Read(uint8_t pipe, uint8_t* buffer, size_t length, int timeoutMs) {
  reads_.push_back({pipe, length, timeoutMs});
  if (!open_) return {TUsbStatus::Failed, 0, "fake USB device not open"};
  TUsbOutcome outcome{TUsbStatus::Timeout, 0, {}};
  if (!in_.empty()) {
    TBlock& block = in_.front();
    size_t n = std::min(length, block.Bytes.size());
    if (n > 0) std::memcpy(buffer, block.Bytes.data(), n);
    outcome = {block.Status, n, block.Error};
    if (n < block.Bytes.size()) {
      // The rest stays queued; this part is a full transfer.
      block.Bytes.erase(block.Bytes.begin(), block.Bytes.begin() + static_cast<ptrdiff_t>(n));
      outcome.Status = TUsbStatus::Ok;
    } else {
      in_.pop_front();
    }
  }
  if (outcome.Status == TUsbStatus::Timeout && clock_) clock_->SleepMs(timeoutMs);
  return outcome;
}

}  // namespace norv::test
