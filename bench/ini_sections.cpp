// An ini file of many sections read as the start-up reads "Configuration.ini":
//   BM_IniManySections   40,000 sections: the file loaded, its section names listed, three
//                        keys of each section read and every section erased (as damaged
//                        entries are); goal under 100 times the baseline. Time that grows
//                        with the square of the sections shows as a ratio in the thousands.
// Baseline: the same file read and split into its lines, the floor of any ini reader.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "framework/text/ini_file.h"
#include "framework/text/text_encoding.h"
#include "ratio.h"

namespace norv {
namespace {

namespace fs = std::filesystem;

constexpr int kSections = 40000;

fs::path WriteManySections() {
  const fs::path path = fs::temp_directory_path() / "norv-bench-many-sections.ini";
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (int i = 0; i < kSections; ++i)
    out << "[Unit" << i << " Instrument]\nName=Bench " << i << "\nInterface=LAN\nIP Address=10.0.0."
        << i % 250 << "\n\n";
  return path;
}

void BM_IniManySections(benchmark::State& state) {
  const fs::path path = WriteManySections();
  size_t found = 0;
  bench::TRatio::Run(
      state, 100,
      [&] {
        TMemIniFile_Dot ini(path);
        for (const std::string& section : ini.ReadSections()) {
          found += ini.ReadString(section, "Name", "").size();
          found += ini.ReadString(section, "Interface", "").size();
          found += ini.ReadString(section, "IP Address", "").size();
          ini.EraseSection(section);
        }
      },
      [&] {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        const std::string text = bytes.str();
        found += SplitLines(text).size();
      });
  benchmark::DoNotOptimize(found);
  fs::remove(path);
}
BENCHMARK(BM_IniManySections)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace norv
