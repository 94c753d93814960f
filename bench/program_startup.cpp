// Start-up of the real program in demo mode, offscreen, in a fresh program folder:
//   BM_ProgramStartup   from the process start to the first record of both channels drawn
//                       (goal under 1 s), and the resident memory once 100 records have been
//                       drawn (goal under 250 MB; counter resident_mb).
// Baseline: the start and end of a process that does nothing (/bin/true), the floor that
// every start pays on this machine. The goals are absolute (counters <name>_goal), not ratios.

#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// Runs a program to its end (killed after 60 s); its exit status.
int RunToEnd(const std::vector<std::string>& args, const std::vector<std::string>& extraEnv) {
  std::vector<std::string> envText;
  for (char** e = environ; *e != nullptr; ++e) envText.emplace_back(*e);
  envText.insert(envText.end(), extraEnv.begin(), extraEnv.end());
  std::vector<char*> argv, envp;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : envText) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), envp.data()) != 0)
    throw std::runtime_error("cannot start " + args[0]);
  const int64_t deadline = NowNs() + 60'000'000'000;
  int status = 0;
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (NowNs() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      throw std::runtime_error("the program did not end within 60 s");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return status;
}

void BM_ProgramStartup(benchmark::State& state) {
  const fs::path work = fs::temp_directory_path() / ("norv-startup-" + std::to_string(getpid()));
  double jobNs = 0, baselineNs = 0, residentMb = 0;
  int runs = 0;
  for (auto _ : state) {
    fs::remove_all(work);
    fs::create_directories(work / "home");
    fs::create_directories(work / "runtime");
    fs::permissions(work / "runtime", fs::perms::owner_all);
    const fs::path probe = work / "probe";
    const int64_t started = NowNs();
    RunToEnd(
        {NORV_PROGRAM_PATH, "Default_Demo"},
        {"VEXILOR_NORV_HOME=" + (work / "home").string(), "XDG_RUNTIME_DIR=" + (work / "runtime").string(),
         "XDG_CONFIG_HOME=" + (work / "config").string(), "QT_QPA_PLATFORM=offscreen",
         "NORV_STARTUP_PROBE=" + probe.string()});
    std::ifstream in(probe);
    std::string key;
    int64_t firstNs = 0;
    long residentKb = 0;
    while (in >> key) {
      if (key == "first_record_ns") in >> firstNs;
      if (key == "resident_kb") in >> residentKb;
    }
    if (firstNs == 0 || residentKb <= 0) {
      state.SkipWithError("the program wrote no start-up figures");
      break;
    }
    const double job = static_cast<double>(firstNs - started);
    const int64_t baseStart = NowNs();
    RunToEnd({"/bin/true"}, {});
    const double baseline = static_cast<double>(NowNs() - baseStart);
    state.SetIterationTime(job * 1e-9);
    jobNs += job;
    baselineNs += baseline;
    residentMb += static_cast<double>(residentKb) / 1024.0;
    ++runs;
  }
  fs::remove_all(work);
  if (runs == 0) return;
  state.counters["job_ns"] = jobNs / runs;
  state.counters["baseline_ns"] = baselineNs / runs;
  state.counters["ratio"] = jobNs / baselineNs;
  state.counters["goal"] = 0;
  state.counters["first_record_ms"] = jobNs / runs * 1e-6;
  state.counters["first_record_ms_goal"] = 1000;
  state.counters["resident_mb"] = residentMb / runs;
  state.counters["resident_mb_goal"] = 250;
}
BENCHMARK(BM_ProgramStartup)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace
