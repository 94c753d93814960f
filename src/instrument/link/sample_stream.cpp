#include "instrument/link/sample_stream.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>

#include "framework/settings/program_objects.h"
#include "framework/util/errors.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_recovery.h"
#include "instrument/link/link_transport.h"

namespace norv {

TSampleStreamState SampleStreamState;

namespace {

constexpr size_t SampleBufferBytes = SampleBufferWords * 2;
constexpr int ClosingDrainPasses = 3;

// The received words of the running record (private to the link, so beside the state).
TSampleBuffer SampleBuffer;

const TProgramUnit SampleStreamUnit("sample stream", [] {
  SampleStreamState = {};
  SampleBuffer = TSampleBuffer();
});

// Reads the stream after "ACQ:BREAK" until its end word. A failed read waits for the link
// to answer again. False when the bound ran out.
bool DrainAfterBreak() {
  IClock& clock = ProgramClock();
  const int64_t start = clock.NowMs();
  auto timeLeft = [&] { return clock.NowMs() - start < BreakDrainLimitMs; };
  for (int pass = 1; !(ClosingFlag && pass > ClosingDrainPasses); ++pass) {
    std::span<const uint16_t> words;
    if (!GetWaveData(words, true)) {
      while (!LinkAlive()) {
        if (!timeLeft()) return false;
        clock.SleepMs(1);
      }
      return true;
    }
    if (!words.empty() && words.back() == EndOfRecordWord) return true;
    if (BreakRequest) return true;
    if (!timeLeft()) return false;
    if (words.empty()) clock.SleepMs(1);
  }
  return true;
}

}  // namespace

void TSampleBuffer::Clear() {
  bytes_ = 0;
  handedOut_ = 0;
  codes_ = 0;
  ended_ = false;
  overflow_ = false;
  lastDataMs_ = ProgramClock().NowMs();
}

std::span<uint8_t> TSampleBuffer::Room() {
  if (overflow_) return {};
  // Let the words handed out go once all are out (nothing to move) or the end is reached.
  if (handedOut_ > 0 && (bytes_ / 2 == handedOut_ || bytes_ == SampleBufferBytes)) {
    const size_t keep = bytes_ - 2 * handedOut_;
    std::memmove(Bytes().data(), Bytes().data() + 2 * handedOut_, keep);
    bytes_ = keep;
    handedOut_ = 0;
  }
  return Bytes().subspan(bytes_);
}

void TSampleBuffer::Received(size_t bytes) {
  bytes_ += bytes;
  lastDataMs_ = ProgramClock().NowMs();
}

uint16_t TSampleBuffer::WordAt(size_t index) const {
  const auto* bytes = reinterpret_cast<const uint8_t*>(words_.data());
  return LittleEndianWord(bytes[2 * index], bytes[2 * index + 1]);
}

bool TSampleBuffer::EndWordLast() const { return bytes_ >= 2 && WordAt(bytes_ / 2 - 1) == EndOfRecordWord; }

std::span<const uint16_t> TSampleBuffer::TakeWords() {
  if (overflow_) return {};
  const size_t first = handedOut_;
  size_t last = first;
  for (; last < bytes_ / 2; ++last) {
    const uint16_t word = WordAt(last);
    // Words go out in the host's order.
    if constexpr (std::endian::native == std::endian::big) words_[last] = word;
    if (BreakingAcquisition || ended_) continue;  // a drain reads to the end however long
    if (word == EndOfRecordWord) {
      ended_ = true;
    } else if (word != FillerWord && ++codes_ > MaxRecordCodes) {
      overflow_ = true;  // the record fails with the words before this one
      break;
    }
  }
  handedOut_ = last;
  return std::span(words_).subspan(first, last - first);
}

TSampleBuffer& StreamBuffer() { return SampleBuffer; }

bool SampleStreamReceiving() {
  return (Acquiring && SampleStreamState.RecordFromInstrument) || BreakingAcquisition;
}

void StartAcquisition(uint8_t readKind, uint16_t recLen, uint16_t nAvg, double tbDelay, bool useInstrument) {
  if (Acquiring) {
    LinkHooks.SystemBeep();
    return;
  }
  if (LinkHooks.PatternLockOn() && ++SampleStreamState.PatternLockStarts > PatternLockCheckInterval) {
    SampleStreamState.PatternLockStarts = 0;
    LinkHooks.CheckPatternLockRate();
  }
  LinkHooks.SendRecordSettings(readKind, recLen, nAvg, tbDelay);
  SampleBuffer.Clear();
  SampleStreamState.RecordFromInstrument = useInstrument;
  if (!useInstrument) {
    LinkHooks.StartSimulatedRecord();
  } else if (!SendCommand("ACQ:GO", true)) {
    CommFailure = true;
  }
  if (CommFailure) {
    ReportCommFailure(" on start");
  } else {
    Acquiring = true;
  }
}

bool GetWaveData(std::span<const uint16_t>& words, bool allowIdle) {
  if (!Acquiring && !allowIdle) throw EAssertion("GetWaveData: no acquisition running");
  return LinkTransport().ReadWaveData(words);
}

void BreakAcquisition(bool refresh) {
  if (Acquiring) {
    Acquiring = false;
    if (IsInstrumentConnected() && SampleStreamState.RecordFromInstrument) {
      BreakingAcquisition = true;
      // A record whose end word has been handed out already leaves nothing to wait for.
      const bool ended = SampleBuffer.Ended();
      SampleBuffer.StartDrain();
      SendCommand("ACQ:BREAK", true);
      if (!ended && !DrainAfterBreak()) CommFailure = true;
      BreakingAcquisition = false;
      if (!NoTimerRestart) LinkHooks.EnableFlagRegisterTimer();
    }
  }
  LinkHooks.ClearAcqStarted();
  // Stopped, nothing is broken (a query of the trigger status, a setting changed): what
  // the acquisitions so far have gathered stays.
  if (GuiReady && !NoTimerRestart && refresh && LinkHooks.AcquisitionOn()) RefreshAfterStop();
}

void RefreshAfterStop() {
  LinkHooks.ResetPointStore();
  if (LinkHooks.MeasDisplayOn()) {
    LinkHooks.ResetHisticons();
    LinkHooks.ResetMeasStatistics();
  }
  if (LinkHooks.EyeMeasureOn()) LinkHooks.ClearEyeMeasurement();
}

int PatternLockCheckCount() { return SampleStreamState.PatternLockStarts; }

}  // namespace norv
