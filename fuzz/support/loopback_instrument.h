#pragma once
// An instrument on a loopback TCP connection, served from the harness's own thread: every
// Service() accepts a new connection, reads the lines that have arrived and answers them
// from a script. Loopback bytes are delivered at once, so an answer written here is
// waiting when the program next looks. The program's waits for a reply sleep on the
// program clock; TServingClock serves the instrument in those sleeps.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/clock.h"
#include "support/fake_clock.h"

namespace norv::fuzz {

class TLoopbackInstrument {
 public:
  TLoopbackInstrument();  // listens on 127.0.0.1, on a port of the system's choice
  ~TLoopbackInstrument();
  TLoopbackInstrument(const TLoopbackInstrument&) = delete;
  TLoopbackInstrument& operator=(const TLoopbackInstrument&) = delete;

  uint16_t Port() const { return port_; }

  // Closes the connection and takes a new script: the answers to query lines (with '?')
  // in turn, and the parts of the sample stream, the first after "ACQ:GO" and each next
  // one after a continuation request. A script that has run out answers nothing.
  void Start(std::vector<std::string_view> replies, std::vector<std::string_view> streamParts);
  // True when it answered something.
  bool Service();
  // Closes the connection and drops the script.
  void Close();
  size_t PartsLeft() const { return parts_.size() - nextPart_; }
  // Nothing left to answer: every wait for it ends in a time-out.
  bool Exhausted() const { return nextReply_ >= replies_.size() && PartsLeft() == 0; }

 private:
  bool HandleLine(const std::string& line);
  void Send(std::string_view bytes);

  int listenFd_ = -1;
  int clientFd_ = -1;
  uint16_t port_ = 0;
  std::string lineBuffer_;
  std::vector<std::string_view> replies_, parts_;
  size_t nextReply_ = 0, nextPart_ = 0;
};

// A fake clock whose sleeps serve the loopback instrument. While the instrument has nothing
// to answer a sleep lasts longer than asked, as on a busy machine, so that time-outs pass
// in a few waits; once its script has run out, a second, as nothing will come.
class TServingClock final : public IClock {
 public:
  TServingClock(test::FakeClock& clock, TLoopbackInstrument& instrument)
      : clock_(clock), instrument_(instrument) {}
  int64_t NowMs() const override { return clock_.NowMs(); }
  void SleepMs(int64_t ms) override {
    const bool answered = instrument_.Service();
    clock_.SleepMs(answered ? ms : std::max<int64_t>(ms, instrument_.Exhausted() ? 1000 : 100));
  }

 private:
  test::FakeClock& clock_;
  TLoopbackInstrument& instrument_;
};

}  // namespace norv::fuzz
