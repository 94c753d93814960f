#include "instrument/sample_stream.h"

#include <algorithm>
#include <array>
#include <bit>

#include "framework/errors.h"
#include "instrument/command_link.h"
#include "instrument/link_hooks.h"
#include "instrument/link_recovery.h"
#include "instrument/usb_transport.h"

namespace norv {

namespace {

constexpr size_t SampleBufferBytes = SampleBufferWords * 2;
constexpr int ClosingDrainPasses = 3;

std::array<uint16_t, SampleBufferWords> SampleBuffer;
size_t SampleByteCount = 0;
size_t SampleWordsHandedOut = 0;
bool SampleOverflow = false;      // the record did not fit the buffer
bool RecordFromInstrument = false;  // the running record is the instrument's, not simulated
int64_t LastStreamDataMs = 0;
int PatternLockStarts = 0;

// The buffer as the bytes received (little-endian words).
std::span<uint8_t> SampleBytes() { return {reinterpret_cast<uint8_t*>(SampleBuffer.data()), SampleBufferBytes}; }

uint16_t WordAt(size_t index) {
  return LittleEndianWord(SampleBytes()[2 * index], SampleBytes()[2 * index + 1]);
}

// Hands words out in the host's order.
std::span<const uint16_t> WordsOf(size_t first, size_t count) {
  if constexpr (std::endian::native == std::endian::big) {
    for (size_t i = first; i < first + count; ++i) SampleBuffer[i] = WordAt(i);
  }
  return std::span(SampleBuffer).subspan(first, count);
}

void ClearStreamCounters() {
  SampleByteCount = 0;
  SampleWordsHandedOut = 0;
  SampleOverflow = false;
  LastStreamDataMs = ProgramClock().NowMs();
}

bool GetTcpWaveData(std::span<const uint16_t>& words) {
  words = {};
  TMyTSPIPPribor* link = TcpLink();
  if (Acquiring) {
    while (!SampleOverflow && PumpSocketMessage()) {
    }
  }
  const size_t wordCount = SampleByteCount / 2;
  if (wordCount > SampleWordsHandedOut) {
    words = WordsOf(SampleWordsHandedOut, wordCount - SampleWordsHandedOut);
    SampleWordsHandedOut = wordCount;
    return true;
  }
  if (SampleOverflow || !link || link->Broken()) return false;
  return !Acquiring || ProgramClock().NowMs() - LastStreamDataMs < TcpStreamSilenceLimitMs;
}

bool GetUsbWaveData(std::span<const uint16_t>& words) {
  words = {};
  size_t count = 0;
  if (!ReadUsbWaveBlock(SampleBuffer, count)) return false;
  words = std::span(SampleBuffer).first(count);
  return true;
}

// Reads the stream after "ACQ:BREAK" until its end word. A failed read waits for the link
// to answer again. False when the bound ran out.
bool DrainAfterBreak() {
  IClock& clock = ProgramClock();
  const int64_t start = clock.NowMs();
  auto timeLeft = [&] { return clock.NowMs() - start < BreakDrainLimitMs; };
  for (int pass = 1; !(ClosingFlag && pass > ClosingDrainPasses); ++pass) {
    if (LinkKind == TLinkKind::LAN) PumpSocketMessage();
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

bool SampleStreamReceiving() { return (Acquiring && RecordFromInstrument) || BreakingAcquisition; }

void StartAcquisition(uint8_t readKind, uint16_t recLen, uint16_t nAvg, double tbDelay, bool useInstrument) {
  if (Acquiring) {
    LinkHooks.SystemBeep();
    return;
  }
  if (LinkHooks.PatternLockOn() && ++PatternLockStarts > PatternLockCheckInterval) {
    PatternLockStarts = 0;
    LinkHooks.CheckPatternLockRate();
  }
  LinkHooks.SendRecordSettings(readKind, recLen, nAvg, tbDelay);
  ClearStreamCounters();
  ClearUsbWaveCarry();
  RecordFromInstrument = useInstrument;
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
  switch (LinkKind) {
    case TLinkKind::LAN: return GetTcpWaveData(words);
    case TLinkKind::USB: return GetUsbWaveData(words);
    default:
      words = {};
      return false;
  }
}

void SocketReadHandler() {
  TMyTSPIPPribor* link = TcpLink();
  if (!link) return;
  if (!SampleStreamReceiving()) {
    ReceiveReplyBytes(*link);
    return;
  }
  if (SampleByteCount == SampleBufferBytes) {
    if (!BreakingAcquisition) {
      SampleOverflow = true;  // the record fails; nothing is written past the buffer
      return;
    }
    // Draining needs only the newest words: start the buffer again (it holds whole words).
    SampleByteCount = 0;
    SampleWordsHandedOut = 0;
  }
  const size_t received = link->Receive(SampleBytes().subspan(SampleByteCount));
  if (received == 0) return;
  SampleByteCount += received;
  LastStreamDataMs = ProgramClock().NowMs();
  const size_t wordCount = SampleByteCount / 2;
  if (BreakingAcquisition || wordCount == 0 || WordAt(wordCount - 1) != EndOfRecordWord)
    RequestNextBlock();
}

void RequestNextBlock() {
  TMyTSPIPPribor* link = TcpLink();
  if (!IsInstrumentConnected() || !link) return;
  static constexpr std::array<uint8_t, 3> Continuation{0x00, 0x0D, 0x0A};
  link->Send(Continuation);
}

void BreakAcquisition(bool refresh) {
  if (Acquiring) {
    Acquiring = false;
    if (IsInstrumentConnected() && RecordFromInstrument) {
      BreakingAcquisition = true;
      SampleOverflow = false;  // the drain keeps only the newest words
      SendCommand("ACQ:BREAK", true);
      if (!DrainAfterBreak()) CommFailure = true;
      BreakingAcquisition = false;
      if (!NoTimerRestart) LinkHooks.EnableFlagRegisterTimer();
    }
  }
  LinkHooks.ClearAcqStarted();
  if (GuiReady && !NoTimerRestart && refresh) RefreshAfterStop();
}

void RefreshAfterStop() {
  LinkHooks.ResetPointStore();
  if (LinkHooks.MeasDisplayOn()) {
    LinkHooks.ResetHisticons();
    LinkHooks.ResetMeasStatistics();
  }
  if (LinkHooks.HistAxisOn() && LinkHooks.EyeMeasureOn()) LinkHooks.ClearEyeMeasurement();
}

int PatternLockCheckCount() { return PatternLockStarts; }

}  // namespace norv
