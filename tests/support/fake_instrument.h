#pragma once
// An instrument that speaks the instrument protocol over loopback TCP, on a thread of its
// own, for tests of the command link and the sample stream.
//
// It listens on 127.0.0.1 at an ephemeral port and serves one connection at a time (a
// new connection replaces the old one). Command lines end in CR LF. Set commands are
// taken silently; a query gets its scripted reply (none when it has no script). "ACQ:GO"
// answers with the scripted record, in parts of a fixed number of 16-bit words
// (little-endian) and the end word $8000 after the last part; every part after the first
// waits for a continuation request ($00 CR LF). "ACQ:BREAK" ends a running record with
// the end word at once. Continuation requests outside a record are ignored.
//
// Constants as the instrument keeps them: a register answers "CMD?" with its value and
// takes "CMD? n" (clamped into its range), answering what it took. Other queries with an
// argument may get a reply computed from the argument, and a reply may wait until the
// program has waited long enough (the flash store).

#include <climits>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace norv::test {

class CountedWaitClock;

class FakeInstrument {
 public:
  enum class TFault {
    None,
    Silence,         // takes every line and answers nothing, not even "ACQ:BREAK"
    LfOnlyReplies,   // replies end in LF alone
    NoEndWord,       // the record's last part comes without the end word
    CloseOnCommand,  // the next command line closes the connection (once)
  };

  FakeInstrument();
  ~FakeInstrument();
  FakeInstrument(const FakeInstrument&) = delete;
  FakeInstrument& operator=(const FakeInstrument&) = delete;

  uint16_t Port() const { return port_; }

  // The reply to a query line (compared without regard to case); sent with CR LF.
  void SetReply(const std::string& query, const std::string& reply);
  // The record that "ACQ:GO" sends, without its end word, and the words per part. A
  // record longer than the program's sample buffer is the over-long record.
  void SetRecord(std::vector<uint16_t> words, size_t partWords);
  void SetFault(TFault fault);
  // Forgets the reply of a query line: it is met with silence (a time-out) from now on.
  void RemoveReply(const std::string& query);

  // The reply to "command? argument", computed from the argument text; no value is
  // silence. A scripted reply of the whole line comes first.
  using TArgReply = std::function<std::optional<std::string>(const std::string& argument)>;
  void SetArgReply(const std::string& command, TArgReply reply);
  static TArgReply EchoArg();
  // The integer argument clamped into [lo, hi]; a non-number gets "ERR".
  static TArgReply ClampArg(int64_t lo, int64_t hi);
  static TArgReply SilentArg();

  // A constant register (see above). Registers and their values, by upper-case command.
  void SetConstant(const std::string& command, int64_t value, int64_t lo = INT32_MIN, int64_t hi = INT32_MAX);
  int64_t Constant(const std::string& command) const;
  // The register falls silent: its queries time out.
  void RemoveConstant(const std::string& command);

  // The reply to the query is sent only once `clock` has counted `waitMs` of waits since
  // this call or since the query's last reply; a program that reads without that wait
  // meets silence.
  void SetDelayedReply(const std::string& query, const std::string& reply, const CountedWaitClock& clock,
                       int64_t waitMs);

  // Command lines received in order, without their CR LF; continuation requests are
  // counted apart.
  std::vector<std::string> Commands() const;
  int Continuations() const;
  int Connections() const;
  void ClearCommands();
  // Wait (a few seconds at most) until that many command lines have arrived, so that a
  // test can check commands that get no answer, until that many replies have been sent
  // (they then wait in the link's socket), or that many connections stood. False when
  // they did not come.
  bool WaitForCommands(size_t count) const {
    return WaitUntil([&] { return commands_.size() >= count; });
  }
  bool WaitForContinuations(int count) const {
    return WaitUntil([&] { return continuations_ >= count; });
  }
  bool WaitForReplies(int count) const {
    return WaitUntil([&] { return repliesSent_ >= count; });
  }
  bool WaitForConnections(int count) const {
    return WaitUntil([&] { return connections_ >= count; });
  }
  // Closes the present connection from the instrument's side.
  void DropConnection();
  // The instrument drops off the network: the present connection closes, and a new one
  // never stands (its connect waits in vain, as for a host that does not answer).
  void BecomeUnreachable();

 private:
  bool WaitUntil(const std::function<bool()>& done) const;  // under the lock
  void Serve();
  void AcceptClient();
  void ReadClient();
  void HandleLine(const std::string& line);
  void SendPart();
  // The reply of a query with an argument or of a register; false when none is due.
  bool ComputedReply(const std::string& line, std::optional<std::string>& reply);
  void SendDueDelayedReplies();
  void SendBytes(const std::string& bytes);
  void CloseClient();

  int listenFd_ = -1;
  int wakeFd_ = -1;
  int clientFd_ = -1;  // owned by the serving thread
  int fillerFd_ = -1;  // fills the queue of an unreachable instrument
  uint16_t port_ = 0;
  std::thread thread_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  bool stop_ = false;
  bool dropRequested_ = false;
  bool unreachableRequested_ = false;
  std::map<std::string, std::string> replies_;
  std::map<std::string, TArgReply> argReplies_;
  struct TRegister {
    int64_t Value, Lo, Hi;
  };
  std::map<std::string, TRegister> registers_;
  struct TDelayed {
    std::string Reply;
    const CountedWaitClock* Clock;
    int64_t WaitMs;
    int64_t SinceCountedMs;
  };
  std::map<std::string, TDelayed> delayed_;
  struct TPending {
    std::string Query;
    std::string Reply;
    const CountedWaitClock* Clock;
    int64_t DueCountedMs;
  };
  std::vector<TPending> pending_;  // serving thread only
  std::vector<uint16_t> record_;
  size_t partWords_ = 64;
  TFault fault_ = TFault::None;
  std::vector<std::string> commands_;
  int continuations_ = 0;
  int connections_ = 0;
  int repliesSent_ = 0;

  // Serving thread only.
  bool accepting_ = true;
  std::string lineBuffer_;
  bool recordRunning_ = false;
  size_t recordPos_ = 0;
};

}  // namespace norv::test
