#pragma once
// An acquisition cycle on a fake clock, fed by scripted simulated records, from a fresh
// program state in each test.

#include <gtest/gtest.h>

#include <deque>
#include <ostream>
#include <string>
#include <vector>

#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/traces/scale_change_flags.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_recovery.h"
#include "instrument/link/sample_stream.h"
#include "instrument/record/signal_obj.h"
#include "support/fake_clock.h"

namespace norv::test {

// Hands out one scripted record per start (the last one again when the script runs
// out), every slot ready.
class ScriptedSimSource final : public IRecordSimSource {
 public:
  void Add(std::vector<uint16_t> words) { script_.push_back(std::move(words)); }
  void SimStartRecord() override {
    if (!script_.empty()) {
      current_ = script_.front();
      script_.pop_front();
    }
    pos_ = 0;
    ++starts;
  }
  size_t SimReadBlock(std::span<uint16_t> out) override {
    size_t count = 0;
    while (count < out.size()) {
      const uint16_t word = pos_ < current_.size() ? current_[pos_++] : EndOfRecordWord;
      out[count++] = word;
      if (word == EndOfRecordWord) break;
    }
    return count;
  }
  int starts = 0;

 private:
  std::deque<std::vector<uint16_t>> script_;
  std::vector<uint16_t> current_;
  size_t pos_ = 0;
};

// One record request as the setting senders see it.
struct RecordRequest {
  int Kind;
  int RecLen;
  int NAvg;
  double TbDelay;
  bool operator==(const RecordRequest&) const = default;
  friend std::ostream& operator<<(std::ostream& out, const RecordRequest& r) {
    return out << "{" << r.Kind << ", " << r.RecLen << ", " << r.NAvg << ", " << r.TbDelay << "}";
  }
};

class AcquisitionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    GuiReady = true;
    SetProgramClock(clock);
    cycle.SetSimSource(&sim);
    cycle.ConnectToLink();
    LinkHooks.SendRecordSettings.Set([this](uint8_t kind, uint16_t recLen, uint16_t nAvg, double delay) {
      requests.push_back({kind, recLen, nAvg, delay});
    });
    LinkHooks.SystemBeep.Set([this] { ++beeps; });
  }
  void TearDown() override { FreshProgramState(); }

  TDefaultAcqSettings& settings() { return cycle.DefaultSettings(); }
  TSignalObj& record(TTraceId id) { return SignalObjs()[id]; }

  // Idle passes until Run and Single are both off (at most maxSteps); the number taken.
  int StepUntilStopped(int maxSteps = 10000) {
    int steps = 0;
    while ((RunFlag || SingleFlag) && steps < maxSteps) {
      cycle.AcquisitionIdleStep();
      ++steps;
    }
    return steps;
  }
  int Single() {
    SingleFlag = true;
    return StepUntilStopped();
  }
  // Two-channel words of a record: per point the Ch1 code, then the Ch2 code.
  static std::vector<uint16_t> Pairs(const std::vector<int>& ch1, const std::vector<int>& ch2) {
    std::vector<uint16_t> words;
    for (size_t i = 0; i < ch1.size(); ++i) {
      words.push_back(static_cast<uint16_t>(ch1[i]));
      words.push_back(static_cast<uint16_t>(ch2[i]));
    }
    return words;
  }
  static std::vector<uint16_t> Codes(const std::vector<int>& codes) {
    return std::vector<uint16_t>(codes.begin(), codes.end());
  }

  FakeClock clock;
  TAcquisitionCycle cycle{clock, clock};
  ScriptedSimSource sim;
  std::vector<RecordRequest> requests;
  int beeps = 0;
};

}  // namespace norv::test
