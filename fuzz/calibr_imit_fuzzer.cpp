// "CalibrImit.ini": the calibration and adjustment constants recalled from a damaged file
// and stored into it again, without an instrument. Whatever the file holds, the recall
// gives every node a value; what it recalled, stored and recalled again comes back the
// same; a second store of what was just recalled changes no byte of the file; and a store
// after a recall that found the file unreadable writes what a store after a good recall
// does (nothing of the registration values). The recall and the store run for every
// input, the checks that start the program again for a share of them.
//
// Input: one byte (mod 3 the model family; 4 the optics and 8 the generator groups; bits 4
// and 5 the set recalled; 64 the adjustment store), then the file.

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "framework/settings/settings_tree.h"
#include "framework/text/dot_number.h"
#include "framework/util/dialog_service.h"
#include "framework/util/program_dir.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/setting_rules.h"
#include "service/calibration_settings.h"
#include "service/flash_constants.h"
#include "service/oe_converter.h"
#include "support/fuzz_program.h"
#include "tdr_mask/generator_settings.h"

using namespace norv;
namespace fs = std::filesystem;

namespace {

constexpr size_t kRestartShare = 3;

struct TSetUp {
  uint8_t Model = 0;
  bool Optics = false;
  bool Generators = false;
};

fs::path FilePath() { return ProgramDir() / kCalibrImitFileName; }

void WriteFile(std::string_view bytes) {
  std::ofstream(FilePath(), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string FileBytes() {
  std::ifstream in(FilePath(), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The program started on the folder: a fresh tree with the constant nodes of the model.
void Start(const TSetUp& setUp) {
  fuzz::ResetProgramState();
  DialogState.OnSuppressedText.Set([](const std::string&) {});
  CreateRootSpider();
  InstrumentIdentity.ModelCode = setUp.Model;
  InstrumentIdentity.Options = (setUp.Optics ? OptOptics : 0) | (setUp.Generators ? OptGenerators : 0);
  RegisterCalibrationCommands();
  if (setUp.Optics) RegisterOEConvCommands();
  if (setUp.Generators) RegisterGeneratorHandlers();
  AdaptCalibrationNodesToModel();
}

// Every constant as its node shows it and as its code, exactly.
std::string Constants() {
  const TFlashConstantsSnapshot snapshot = FlashConstantsSnapshot();
  std::string text;
  for (const auto* list : {&snapshot.Calibration, &snapshot.Adjustment})
    for (const TFlashConstantEntry& e : *list) text += e.Node + " " + e.ValueText + " [" + e.Raw + "]\n";
  text += "SmplTB " + std::to_string(snapshot.SamplerTimeBase.CalIntrvlA) + " " +
          FormatSamplerCalCurve(snapshot.SamplerTimeBase.Curve) + "\n";
  if (HasOpticsOption()) {
    const TOEFlashConstants oe = OEFlashConstants();
    const auto point = [](const TOEPoint& p) {
      return " " + FloatToStrRoundTrip_Dot(p.Wavelength) + "/" + FloatToStrRoundTrip_Dot(p.Gain);
    };
    text += "OE " + FloatToStrRoundTrip_Dot(oe.DarkLevel);
    for (const TOEPoint& p : oe.Factory) text += point(p);
    for (const TOEPoint& p : oe.User) text += point(p);
    text += "\n";
  }
  if (HasGeneratorsOption())
    for (const int32_t zero : GeneratorZeroConstants()) text += "Gen " + std::to_string(zero) + "\n";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1 || size > 65536) return 0;
  const uint8_t choice = data[0];
  const std::string_view file = fuzz::AsText(data + 1, size - 1);
  constexpr uint8_t kModels[] = {1, 9, 0};  // the Lxx family, the Kxx family, neither
  const TSetUp setUp{kModels[choice % 3], (choice & 4) != 0, (choice & 8) != 0};
  const uint8_t mode = ((choice >> 4) & 3) % 3;
  const bool adjustment = (choice & 64) != 0;

  fuzz::ClearProgramHome();
  WriteFile(file);
  Start(setUp);
  fuzz::Require(RecallFlashConstants(mode), "a readable file always gives the nodes their constants");
  const std::string recalled = Constants();
  fuzz::Require(StoreFlashConstants(adjustment), "the constants are stored");
  // The checks that start the program again cost twice the rest.
  if (!fuzz::InSample(fuzz::AsText(data, size), kRestartShare, NORV_FUZZ_REGRESSIONS)) {
    fuzz::ResetProgramState();
    return 0;
  }

  // Recalled again: the same constants, and a store that changes nothing.
  const std::string stored = FileBytes();
  Start(setUp);
  fuzz::Require(RecallFlashConstants(mode), "the stored file is recalled");
  fuzz::Require(Constants() == recalled, "stored constants come back as they were",
                [&] { return recalled + "--\n" + Constants(); });
  const std::string before = FileBytes();
  fuzz::Require(StoreFlashConstants(adjustment), "the constants are stored again");
  fuzz::Require(FileBytes() == before, "a store of the constants just recalled changes no byte",
                [&] { return before + "\n--\n" + FileBytes(); });

  // The file unreadable at the start's recall (of the calibration set) and readable at the
  // store: the store writes what it wrote above after the good recall.
  if (mode == 0) {
    fuzz::ClearProgramHome();
    fs::create_directory(FilePath());
    Start(setUp);
    fuzz::Require(!RecallFlashConstants(0), "a folder in the file's place is not recalled");
    fs::remove(FilePath());
    WriteFile(file);
    fuzz::Require(StoreFlashConstants(adjustment), "the file read at the store gives the constants");
    fuzz::Require(Constants() == recalled,
                  "a store after a failed recall leaves the nodes the file's constants",
                  [&] { return recalled + "--\n" + Constants(); });
    fuzz::Require(FileBytes() == stored,
                  "a store after a failed recall writes what it writes after a good one",
                  [&] { return stored + "\n--\n" + FileBytes(); });
  }
  fuzz::ResetProgramState();
  return 0;
}
