// "Configuration.ini": the instrument list and the start choice read from a damaged file.
// Whatever the file holds, the list keeps only valid entries, the start choice names a
// listed instrument or the automatic chain, the repairs written back read again to the
// same list and file, and the list written by the program reads back unchanged.
//
// The list is read and checked for every input; the round trips, which cost three times
// as much, run for a share of the inputs.
//
// Input: a command-line parameter, a line feed, then the file.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "framework/text/ini_file.h"
#include "framework/text/text_case.h"
#include "instrument/startup/instrument_list.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr size_t kRoundTripShare = 4;

// The last smart instrument is not written with the list: it starts again from USB.
std::string ListText(bool withLastSmart = true) {
  std::string text;
  for (const TInstrumentEntry& e : InstrumentList) {
    text += e.Name + "|" + LinkKindText(e.Prop.Kind) + "|" + fuzz::Printable(e.Prop.Label) + "|" +
            IPv4ToDottedStr(e.Prop.Address) + "\n";
  }
  text += "start " + StartInstrumentName;
  return withLastSmart ? text + ", last smart " + InstrumentListState.LastSmartInstrument : text;
}

std::string FileBytes() {
  std::ifstream in(ConfigurationFilePath(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void CheckList() {
  std::string previous;
  for (const TInstrumentEntry& e : InstrumentList) {
    fuzz::Require(IsValidInstrumentName(e.Name), "only valid names are listed", e.Name);
    fuzz::Require(previous.empty() || UpperAscii(previous) < UpperAscii(e.Name),
                  "the list is sorted, each name once", [] { return ListText(); });
    previous = e.Name;
    TLinkKind kind;
    TIPv4Addr address;
    const std::string ip = e.Prop.Kind == TLinkKind::LAN ? IPv4ToDottedStr(e.Prop.Address) : "";
    fuzz::Require(ValidateInstrumentEntry(e.Name, LinkKindText(e.Prop.Kind), ip, kind, address),
                  "every entry keeps the rules of its name", [] { return ListText(); });
  }
  for (std::string_view pseudo : {AbsentName, DefaultDemoName, DefaultLanName, DefaultUsbName})
    fuzz::Require(InstrumentList.Contains(pseudo), "the pseudo instruments are always listed",
                  [] { return ListText(); });
  fuzz::Require(InstrumentList.Contains(StartInstrumentName) || StartInstrumentName == DefaultAutoName,
                "the start choice is listed or the automatic chain", [] { return ListText(); });
  const std::string& last = InstrumentListState.LastSmartInstrument;
  fuzz::Require(last == DefaultUsbName || last == DefaultLanName, "the chain starts with USB or LAN", last);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz::InitializeProgram(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const std::string_view input = fuzz::AsText(data, size);
  const size_t split = input.find('\n');
  const std::string_view param = input.substr(0, split == std::string_view::npos ? 0 : split);
  const std::string_view file = split == std::string_view::npos ? input : input.substr(split + 1);

  // The list's own state is all the reading touches: putting back the whole program
  // state (the language table with it) cost more than the reading.
  InstrumentListState = {};
  fuzz::ClearProgramHome();
  InstrumentListState.CommandLine = {std::string(param)};
  std::ofstream(ConfigurationFilePath(), std::ios::binary)
      .write(file.data(), static_cast<std::streamsize>(file.size()));

  ReadInstrumentConfiguration();
  CheckList();
  // The round trips write and read the file three times more.
  if (!fuzz::InSample(input, kRoundTripShare, NORV_FUZZ_REGRESSIONS)) return 0;
  const std::string list = ListText();
  const std::string written = ListText(false);
  const std::string repaired = FileBytes();
  ReadInstrumentConfiguration();
  fuzz::Require(ListText() == list, "the repaired file reads to the same list",
                [&] { return list + "\n--\n" + ListText(); });
  fuzz::Require(FileBytes() == repaired, "a repaired file needs no second repair");

  try {
    WriteInstrumentConfiguration();
  } catch (const EIniFileError&) {
    return 0;
  }
  ReadInstrumentConfiguration();
  fuzz::Require(ListText(false) == written, "the written list reads back unchanged",
                [&] { return written + "\n--\n" + ListText(false); });
  return 0;
}
