#pragma once
// The remote-control server: a listening Unix-domain socket served from the GUI thread.
// Service() is one step between idle steps: it never blocks, accepts and refuses
// connections, reads, runs at most one request and writes what the socket takes.
//
// One client at a time; a second one gets an error answer and is closed. A client is
// dropped when it hangs up (a request it had not finished is lost with it) or when its
// answer has not moved for kReplyStallMs because it does not read. Bad requests (too
// long, not UTF-8) get an error answer and the client goes on.

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/clock.h"
#include "shell/remote/remote_protocol.h"

namespace norv {

struct TRemoteServerOptions {
  std::filesystem::path Folder;  // empty: RemoteSocketFolder()
  pid_t Pid = 0;                 // the id the socket is named after; 0: this process
  size_t MaxRequestBytes = kMaxRequestBytes;
};

class TRemoteServer {
 public:
  // Runs one request line; returns the reply text or throws (the message becomes an error
  // answer).
  using TExec = std::function<std::string(std::string_view line)>;

  using TOptions = TRemoteServerOptions;

  static constexpr int64_t kReplyStallMs = 10000;
  static constexpr std::string_view kRefusedText = "Another client is connected to this copy of the program";
  static constexpr std::string_view kTooLongText = "Request line longer than 1048576 bytes";
  static constexpr std::string_view kNotUtf8Text = "Request line is not UTF-8";

  TRemoteServer(TExec exec, IClock& clock);
  ~TRemoteServer();
  TRemoteServer(const TRemoteServer&) = delete;
  TRemoteServer& operator=(const TRemoteServer&) = delete;

  // Removes the sockets of copies that are gone (and an old one of this id), then binds
  // and listens (mode 0600). ERemoteError with the reason when that fails.
  void Start(const TOptions& options = {});
  // Closes the client and the socket and removes the socket file.
  void Stop();
  bool Listening() const { return listen_fd_ >= 0; }
  const std::filesystem::path& SocketPath() const { return path_; }

  // One step; a call made while a request runs (from inside TExec) returns at once.
  void Service();

  // The sockets whose input should wake the event loop for a step (listening, client).
  std::vector<int> WatchedSockets() const;
  // The client's socket while an answer waits for room in it, else -1: its room should
  // wake the loop for a step too, or the answer waits for the client's next request (and
  // for a box the user has open).
  int AnswerWaitingSocket() const { return client_fd_ >= 0 && AnswerPending() ? client_fd_ : -1; }
  // Requests that have arrived whole wait for another step (a step runs one at most).
  bool RequestWaiting() const {
    return !in_service_ && client_fd_ >= 0 && !AnswerPending() && reader_.HasEvent();
  }

  // 1 while a client is connected, else 0.
  int ClientCount() const { return client_fd_ >= 0 ? 1 : 0; }
  // Ends the client's connection (the program is closing); OnClientGone does not run.
  void DropClient() { CloseClient(); }
  // Runs when the connected client has gone (hung up or dropped).
  std::function<void()> OnClientGone;

 private:
  void AcceptPending();
  void ServeClient();
  bool ReadClient();  // false: the client is gone
  bool WritePending();
  void Answer(bool ok, std::string text);
  bool AnswerPending() const { return out_pos_ < out_head_.size() + out_body_.size(); }
  void ClearAnswer();
  void CloseClient();
  void RemoveStaleSockets(const std::filesystem::path& folder, pid_t pid);

  TExec exec_;
  IClock& clock_;
  int listen_fd_ = -1;
  int client_fd_ = -1;
  std::filesystem::path path_;
  ino_t inode_ = 0;
  TRequestReader reader_;
  std::string out_head_;  // "OK <n>" LF
  std::string out_body_;
  size_t out_pos_ = 0;            // sent of head and body
  int64_t out_since_ = 0;         // when the answer last moved
  bool peer_closed_ = false;      // the client has shut its sending side
  bool client_readable_ = false;  // this step's look found input (or a hang-up)
  bool in_service_ = false;
};

}  // namespace norv
