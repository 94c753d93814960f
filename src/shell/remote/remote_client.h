#pragma once
// The client side of remote control, as the norv-remote tool and scripts use it: find a
// running copy (by process id, or the only one), or start one for this client with
// "-Embedding", send command lines and read their answers.

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <iosfwd>
#include <string>
#include <string_view>
#include <vector>

#include "shell/remote/remote_protocol.h"

namespace norv {

// Runs while a client waits for its socket; empty in the tool. A test serves the program's
// side of the socket here, in the same thread.
using TRemoteIdle = std::function<void()>;

class TRemoteClient {
 public:
  TRemoteClient() = default;
  ~TRemoteClient() { Close(); }
  TRemoteClient(const TRemoteClient&) = delete;
  TRemoteClient& operator=(const TRemoteClient&) = delete;

  // ERemoteError when nobody listens there.
  void Connect(const std::filesystem::path& socketPath);
  void Close();
  bool Connected() const { return fd_ >= 0; }

  // Sends the line with its LF and waits for the answer. ERemoteError when the line holds
  // a line break, the copy hangs up, answers nonsense or stays silent for timeoutMs.
  TReplyReader::TFrame Exchange(std::string_view line, int timeoutMs, const TRemoteIdle& idle = {});
  // The two halves, for bytes that are not one request line.
  void Send(std::string_view bytes, int timeoutMs, const TRemoteIdle& idle = {});
  TReplyReader::TFrame Receive(int timeoutMs, const TRemoteIdle& idle = {});
  // No more requests come; answers still arrive.
  void FinishSending();
  // Waits until the copy hangs up (true) or timeoutMs passes (false); answers that come
  // meanwhile are dropped.
  bool WaitHangUp(int timeoutMs, const TRemoteIdle& idle = {});

 private:
  // Waits for `events` on the socket, at most until deadline (steady ms).
  bool WaitFor(short events, int64_t deadline, const TRemoteIdle& idle);

  int fd_ = -1;
  TReplyReader reader_;
};

// The program norv-remote starts: $VEXILOR_NORV_PROGRAM, else "vexilor-norv" beside the
// running executable when it is there, else "vexilor-norv" (searched on PATH).
std::filesystem::path DefaultProgramPath();

// Starts the program with "-Embedding" and `args`, its standard input and output on
// /dev/null, and waits up to timeoutMs until its socket in `folder` takes a connection.
// Returns its process id. ERemoteError when it cannot start, ends first or stays silent.
pid_t StartEmbeddedCopy(const std::filesystem::path& program, const std::vector<std::string>& args,
                        const std::filesystem::path& folder, int timeoutMs);

// The whole tool: arguments without the program name; command lines from the arguments,
// else one per line from `in`. Prints each non-empty reply on `out` followed by LF and
// diagnostics on `err`. Returns 0 when every command was answered OK, 1 after an error
// answer (later commands are not sent), 2 when no copy answers or the connection fails,
// 3 for wrong arguments.
int RunRemoteClient(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                    std::ostream& err, const TRemoteIdle& idle = {});

}  // namespace norv
