// Command lines of 1 MiB, the longest a remote client may send, through the settings tree,
// one benchmark per shape of line:
//   BM_CommandLine/<shape>  the line run by ExecCommandLine;
//   BM_SetupLine/<shape>    a setup file of that one line read and loaded.
// Shapes: "????..", "::::..", "a:a:..", "a;a;..", "****..", a number of a million digits,
// a quoted file name, "TB:SCALEA?;" repeated, a name followed by blanks, and (setups) a
// free text in the old code page.
// Baseline: memchr over the line, the floor of any reading of it; no goal for the ratio,
// whose constant differs from shape to shape. Goal: growth, the time per byte at 1 MiB over
// that at 64 KiB, at most 8. Work in proportion to the line gives 1 to 4 (the long line's
// copies no longer stay in the caches); work that grows with its square gives 16 and more.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "acquisition_tree.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/startup/program_folders.h"
#include "ratio.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

constexpr size_t kLong = 1 << 20, kShort = 64 << 10;
constexpr double kGrowthGoal = 8;

enum TShape { kMarks, kColons, kSegments, kCommands, kStars, kNumber, kQuoted, kQueries, kBlanks, kCodePage };

std::string Repeated(std::string_view unit, size_t size) {
  std::string line;
  line.reserve(size + unit.size());
  while (line.size() < size) line += unit;
  line.resize(size);
  return line;
}

std::string LineOf(TShape shape, size_t size) {
  switch (shape) {
    case kMarks:
      return std::string(size, '?');
    case kColons:
      return std::string(size, ':');
    case kSegments:
      return Repeated("a:", size);
    case kCommands:
      return Repeated("a;", size) + "a";
    case kStars:
      return std::string(size, '*');
    case kNumber:
      return "TB:SCALEA " + std::string(size, '7');
    case kQuoted:
      return "ACQ:FILENAME \"" + std::string(size, 'n') + "\"";
    case kQueries:
      return Repeated("TB:SCALEA?;", size) + "TB:SCALEA?";
    case kBlanks:
      return "TB:SCALEA" + std::string(size, ' ');
    case kCodePage:
      return "ACQ:FILENAME " + std::string(size, '\xE9');
  }
  return {};
}

// The settings of the acquisition units, in a program folder of their own.
class TTreeBench {
 public:
  TTreeBench() {
    std::string pattern = (fs::temp_directory_path() / "norv-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp");
    folder_ = pattern;
    setenv("VEXILOR_NORV_HOME", folder_.c_str(), 1);
    FreshProgramState();
    InitDataFolders();
    bench::CreateAcquisitionTree();
  }
  ~TTreeBench() {
    FreshProgramState();
    fs::remove_all(folder_);
  }
  TTreeBench(const TTreeBench&) = delete;
  TTreeBench& operator=(const TTreeBench&) = delete;

  // The size of the reply; a refused line counts as its message's.
  static size_t Run(std::string_view line) {
    try {
      return RootSpider->ExecCommandLine(line, false).size();
    } catch (const std::exception& e) {
      return std::strlen(e.what());
    }
  }
  // The count of lines refused; a refused setup counts as its message's size.
  static size_t Load(std::string_view file) {
    try {
      return RootSpider->LoadSettings(SetupLinesFromFileText(file)).size();
    } catch (const std::exception& e) {
      return std::strlen(e.what());
    }
  }

 private:
  fs::path folder_;
};

size_t Baseline(std::string_view line) {
  return std::memchr(line.data(), '\n', line.size()) == nullptr ? line.size() : 0;
}

// The median seconds of runs of job on the short line.
template <typename Job>
double ShortSeconds(const Job& job, const std::string& line) {
  std::vector<double> times;
  for (int i = 0; i < 31; ++i) times.push_back(bench::TRatio::Seconds([&] { job(line); }));
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

template <typename Job>
void RunShape(benchmark::State& state, TShape shape, const Job& job, std::string_view end) {
  TTreeBench bench;
  const std::string line = LineOf(shape, kLong) + std::string(end);
  size_t sink = 0;
  bench::TRatio::Run(
      state, 0, [&] { sink += job(line); }, [&] { sink += Baseline(line); });
  const double shortSeconds = ShortSeconds(job, LineOf(shape, kShort) + std::string(end));
  if (state.counters.contains("job_ns") && shortSeconds > 0)
    state.counters["growth"] = state.counters["job_ns"] * 1e-9 * kShort / (shortSeconds * kLong);
  state.counters["growth_goal"] = kGrowthGoal;
  benchmark::DoNotOptimize(sink);
}

void BM_CommandLine(benchmark::State& state, TShape shape) { RunShape(state, shape, TTreeBench::Run, ""); }

void BM_SetupLine(benchmark::State& state, TShape shape) { RunShape(state, shape, TTreeBench::Load, "\r\n"); }

#define NORV_LINE_BENCH(kind, shape) \
  BENCHMARK_CAPTURE(kind, shape, shape)->UseManualTime()->Unit(benchmark::kMicrosecond)

NORV_LINE_BENCH(BM_CommandLine, kMarks);
NORV_LINE_BENCH(BM_CommandLine, kColons);
NORV_LINE_BENCH(BM_CommandLine, kSegments);
NORV_LINE_BENCH(BM_CommandLine, kCommands);
NORV_LINE_BENCH(BM_CommandLine, kStars);
NORV_LINE_BENCH(BM_CommandLine, kNumber);
NORV_LINE_BENCH(BM_CommandLine, kQuoted);
NORV_LINE_BENCH(BM_CommandLine, kQueries);
NORV_LINE_BENCH(BM_CommandLine, kBlanks);
NORV_LINE_BENCH(BM_SetupLine, kMarks);
NORV_LINE_BENCH(BM_SetupLine, kSegments);
NORV_LINE_BENCH(BM_SetupLine, kNumber);
NORV_LINE_BENCH(BM_SetupLine, kQuoted);
NORV_LINE_BENCH(BM_SetupLine, kCodePage);

}  // namespace
}  // namespace norv
