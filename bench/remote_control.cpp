// Remote control through the program's socket, server and client in one thread as in the
// program (the server's step runs between the client's send and its read):
//   BM_RemoteQuery      "TB:SCALEA?" and its answer; goal at most 3 times the baseline;
//   BM_RemoteWfmData    "WFM:DATA?" of a 4096-point record stored as the acquisition stores
//                       it (sample codes times the volts of a code); goal under 5 times the
//                       baseline.
// Baseline of each: the same traffic over a bare socket of the same kind, a line of the
// query's length out and as many bytes as the answer holds back.

#include "shell/remote/remote_control.h"

#include <benchmark/benchmark.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "acquisition_tree.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/clock.h"
#include "instrument/acquisition/point_store.h"
#include "instrument/record/signal_obj.h"
#include "ratio.h"
#include "shell/remote/remote_server.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

constexpr int kPoints = 4096;

void Check(bool ok, const char* what) {
  if (!ok) throw std::runtime_error(what);
}

int ConnectTo(const fs::path& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.native().copy(address.sun_path, sizeof(address.sun_path) - 1);
  Check(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0, "connect");
  return fd;
}

void SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    Check(n > 0, "send");
    bytes.remove_prefix(static_cast<size_t>(n));
  }
}

// Reads exactly `size` bytes (the socket is blocking).
void ReceiveAll(int fd, std::string& buffer, size_t size) {
  buffer.resize(size);
  for (size_t got = 0; got < size;) {
    const ssize_t n = recv(fd, buffer.data() + got, size - got, 0);
    Check(n > 0, "recv");
    got += static_cast<size_t>(n);
  }
}

// The program with its settings, a 4096-point record on Ch1 and its server listening in a
// folder of its own; one client connected.
class TRemoteBench {
 public:
  TRemoteBench() {
    FreshProgramState();
    bench::CreateAcquisitionTree();
    RegisterGuiCommand();
    // A sine of 0.4 V with a little noise, stored through the point store from its codes.
    TSignalObj& ch1 = SignalObjs()[TTraceId::Ch1];
    ch1.SetRecLen(kPoints);
    std::vector<int16_t> codes(kPoints);
    for (int i = 0; i < kPoints; ++i)
      codes[static_cast<size_t>(i)] =
          static_cast<int16_t>(std::lround(0.4 / kVoltsPerCode * std::sin(i * 0.0123) + i * 7 % 5 - 2));
    TPointStore store;
    store.Target(2).Record = &ch1;
    store.AcqPointIndex = 0;
    store.StoreAcquiredPoints(2, codes);
    std::string pattern = (fs::temp_directory_path() / "norv-bench-XXXXXX").string();
    Check(mkdtemp(pattern.data()) != nullptr, "mkdtemp");
    folder_ = pattern;
    server_ = std::make_unique<TRemoteServer>([](std::string_view line) { return ExecCommand(line); },
                                              SystemClock());
    server_->Start({.Folder = folder_});
    client_ = ConnectTo(server_->SocketPath());
    server_->Service();
    // The echo's own pair of the same kind.
    int pair[2];
    Check(socketpair(AF_UNIX, SOCK_STREAM, 0, pair) == 0, "socketpair");
    echo_client_ = pair[0];
    echo_server_ = pair[1];
  }
  ~TRemoteBench() {
    close(client_);
    close(echo_client_);
    close(echo_server_);
    server_.reset();
    fs::remove_all(folder_);
    FreshProgramState();
  }

  // Sends the line, lets the server step and reads the whole answer; its size.
  size_t Ask(std::string_view line) {
    SendAll(client_, line);
    server_->Service();
    answer_.resize(kChunk);
    size_t got = 0, need = 0;
    for (;;) {
      if (answer_.size() - got < kChunk) answer_.resize(got + kChunk);
      const ssize_t n = recv(client_, answer_.data() + got, answer_.size() - got, 0);
      Check(n > 0, "recv");
      got += static_cast<size_t>(n);
      if (!need) {
        const size_t lf = std::string_view(answer_.data(), got).find('\n');
        if (lf == std::string_view::npos) continue;
        Check(answer_.starts_with("OK "), "answer");
        need = lf + 1 + std::stoul(answer_.substr(3, lf - 3));
      }
      if (got >= need) return need;
    }
  }

  // The request's bytes out and the answer's bytes back over a bare socket.
  void Exchange(std::string_view request, std::string_view answer) {
    SendAll(echo_client_, request);
    ReceiveAll(echo_server_, echoed_, request.size());
    SendAll(echo_server_, answer);
    ReceiveAll(echo_client_, back_, answer.size());
  }

 private:
  fs::path folder_;
  std::unique_ptr<TRemoteServer> server_;
  int client_ = -1, echo_client_ = -1, echo_server_ = -1;
  static constexpr size_t kChunk = 64 * 1024;
  std::string answer_, echoed_, back_;
};

void BM_RemoteQuery(benchmark::State& state) {
  TRemoteBench bench;
  const std::string query = "TB:SCALEA?\n";
  const std::string line(query.size(), 'x');
  const std::string answer(bench.Ask(query), 'x');
  bench::TRatio::Run(
      state, 3, [&] { bench.Ask(query); }, [&] { bench.Exchange(line, answer); });
}
BENCHMARK(BM_RemoteQuery)->UseManualTime()->Unit(benchmark::kMicrosecond);

void BM_RemoteWfmData(benchmark::State& state) {
  TRemoteBench bench;
  const std::string query = "WFM:DATA?\n";
  const std::string line(query.size(), 'x');
  const std::string answer(bench.Ask(query), 'x');
  state.counters["bytes"] = static_cast<double>(answer.size());
  bench::TRatio::Run(
      state, 5, [&] { bench.Ask(query); }, [&] { bench.Exchange(line, answer); });
}
BENCHMARK(BM_RemoteWfmData)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace norv
