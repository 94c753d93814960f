#pragma once
// The command link's one view of how bytes reach the instrument: TCP, USB, or no
// instrument at all. The link picks the transport once, when it connects; the command
// path and the sample stream then call only this interface. Private to the link's own
// files (and their tests); the rest of the program uses command_link.h and
// sample_stream.h.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "instrument/link/sample_stream.h"

namespace norv {

class ILinkTransport {
 public:
  virtual ~ILinkTransport() = default;

  // Sends one command line, CR LF included. Input that no command asked for is dropped
  // first, unless a record is streaming. False (and CommFailure set) when the line could
  // not be sent.
  virtual bool Send(std::span<const uint8_t> line) = 0;
  // The reply to the last command as reply text (ReplyText), "Timeout" when none came.
  virtual std::string ReadReply() = 0;
  // The instrument answers (again); used while the link has failed.
  virtual bool Alive() = 0;
  // The stream words that have arrived since the last call (possibly none), valid until
  // the link is used again; false when the stream has failed.
  virtual bool ReadWaveData(std::span<const uint16_t>& words) = 0;
};

// The transport of the current link: the one opened by ConnectInstrument while LinkKind
// is a real instrument, else the one that drops commands and answers "Not Pribor".
ILinkTransport& LinkTransport();
ILinkTransport& NoInstrumentTransport();

// The TCP transport to the dotted IPv4 address and port, waiting up to
// TcpConnectTimeoutMs for the connection; nullptr when it does not stand.
std::unique_ptr<ILinkTransport> OpenTcpTransport(const std::string& dottedAddress, uint16_t port);
// The USB transport to the one instrument (OpenUSB); nullptr, with the device closed
// again, when it cannot be opened.
std::unique_ptr<ILinkTransport> OpenUsbTransport();

// Reply bytes as reply text: bytes of 128 and above become '_', the last character
// becomes ReplyEndMark and a CR before it ReplyCrMark. No bytes give "Timeout".
std::string ReplyText(std::span<const uint8_t> bytes);

// The sample stream's side for the transports (sample_stream.cpp).
// Received bytes belong to the sample stream rather than to a reply.
bool SampleStreamReceiving();

// The running record's stream words as they arrive. Over TCP a queue of received bytes:
// whole words are handed out, and the room of words handed out is used again, so that
// fillers never fill it; a record of more than MaxRecordCodes codes fails. Over USB the
// block buffer.
class TSampleBuffer {
 public:
  // A new record: nothing received, nothing handed out.
  void Clear();
  // TCP: where received bytes go, after the words handed out have been let go (which
  // ends their validity); empty when full or when the record has failed.
  std::span<uint8_t> Room();
  // TCP: that many bytes were put into Room().
  void Received(size_t bytes);
  // TCP: the last whole word received is the end word.
  bool EndWordLast() const;
  // TCP: the whole words received since the last call, in host order; the words up to
  // the code that makes a record over-long.
  std::span<const uint16_t> TakeWords();
  // TCP: the record is over-long.
  bool Overflowed() const { return overflow_; }
  // TCP: the record's end word has been handed out.
  bool Ended() const { return ended_; }
  // A stop drains the stream to its end word, however long.
  void StartDrain() { overflow_ = false; }
  // TCP: when bytes last arrived (or the record started).
  int64_t LastDataMs() const { return lastDataMs_; }
  // USB: the whole buffer, for one block read from its start.
  std::span<uint16_t> Block() { return words_; }

 private:
  std::span<uint8_t> Bytes() { return {reinterpret_cast<uint8_t*>(words_.data()), SampleBufferWords * 2}; }
  uint16_t WordAt(size_t index) const;

  std::array<uint16_t, SampleBufferWords> words_;
  size_t bytes_ = 0;      // received and not let go
  size_t handedOut_ = 0;  // words
  size_t codes_ = 0;      // sample codes of the record so far
  bool ended_ = false;    // the end word has been handed out
  bool overflow_ = false;
  int64_t lastDataMs_ = 0;
};

TSampleBuffer& StreamBuffer();

}  // namespace norv
