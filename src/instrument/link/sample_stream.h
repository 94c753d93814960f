#pragma once
// The sample stream of one record, and the stop of a running record.
//
// After "ACQ:GO" the instrument sends 16-bit words, little-endian: EndOfRecordWord ends
// the record, FillerWord is to be skipped, any other word is a signed sample code (two per
// point, channel 1 first, when both channels are read together). Over TCP the record
// comes in parts, each after a continuation request ($00 CR LF); over USB in blocks read
// with a time-out.
//
// Use by the acquisition cycle: StartAcquisition, then GetWaveData once per idle step
// while Acquiring, clearing Acquiring when the end word has been read; a false result is
// a link failure (clear Acquiring, set CommFailure). Every command sent without
// KeepAcquisition stops a running record first (BreakAcquisition).

#include <cstddef>
#include <cstdint>
#include <span>

namespace norv {

inline constexpr uint16_t EndOfRecordWord = 0x8000;
inline constexpr uint16_t FillerWord = 0x8001;
// A stream word from its two bytes as they arrive.
inline constexpr uint16_t LittleEndianWord(uint8_t low, uint8_t high) {
  return static_cast<uint16_t>(low | high << 8);
}
// Words of the sample buffer.
inline constexpr size_t SampleBufferWords = 8200;
// The most sample codes a record may carry: with its end word they fill the buffer (its
// fillers do not count). A record over TCP with more fails.
inline constexpr size_t MaxRecordCodes = SampleBufferWords - 1;
// Record kinds: the channel read, or both.
inline constexpr uint8_t ReadKindCh1 = 2;
inline constexpr uint8_t ReadKindCh2 = 3;
inline constexpr uint8_t ReadKindBoth = 4;
// A TCP stream that brings nothing for this long has failed (the instrument sends fillers
// while it waits for a trigger).
inline constexpr int TcpStreamSilenceLimitMs = 5000;
// The drain after "ACQ:BREAK" gives up (a link failure) after this long.
inline constexpr int BreakDrainLimitMs = 2000;
// Starts with pattern lock on between two pattern-lock rate checks.
inline constexpr int PatternLockCheckInterval = 50;

struct TSampleStreamState {
  // A record request is running and its stream is being read.
  bool Acquiring = false;
  // BreakAcquisition is draining the stream.
  bool BreakingAcquisition = false;
  // Inside the stream: the running record is the instrument's, not simulated; starts
  // with pattern lock on since the last rate check.
  bool RecordFromInstrument = false;
  int PatternLockStarts = 0;
};

extern TSampleStreamState SampleStreamState;
inline constinit bool& Acquiring = SampleStreamState.Acquiring;
inline constinit bool& BreakingAcquisition = SampleStreamState.BreakingAcquisition;

// Requests one record of recLen points (readKind 2, 3 or 4) with nAvg averages at the
// time-base delay tbDelay, from the instrument or, when useInstrument is false, from the
// simulator. Beeps and does nothing while a record runs. A start that cannot be sent sets
// CommFailure and reports it.
void StartAcquisition(uint8_t readKind, uint16_t recLen, uint16_t nAvg, double tbDelay, bool useInstrument);

// Hands out the stream words that have arrived since the last call (possibly none); they
// stay valid until the link is used again. False when the stream has failed: a USB read
// failed or timed out, the TCP peer closed or fell silent, or the record carries more
// than MaxRecordCodes codes. EAssertion when no record runs, unless allowIdle.
bool GetWaveData(std::span<const uint16_t>& words, bool allowIdle = false);

// Stops a running record: sends "ACQ:BREAK" and drains the stream to its end word (at
// most BreakDrainLimitMs, then CommFailure); when the end word has been handed out
// already, nothing is drained. Always lets the acquisition cycle start afresh; with
// refresh (and the GUI ready) also RefreshAfterStop, but only while Run or Single is on:
// an acquisition that goes on starts its statistics again, a stopped one keeps them.
void BreakAcquisition(bool refresh);
// Resets the point store and the per-acquisition statistics.
void RefreshAfterStop();

int PatternLockCheckCount();

}  // namespace norv
