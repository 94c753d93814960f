// "DemoUnits.ini", the model a demo instrument stands for: the identity read from a damaged
// file must be one the program can show (a year from 2009, a block 0..4, the default model
// when no block holds data), and the texts made from it (model, options, serial number,
// caption) must come out for any value. Then the model is changed as "Change Model" does
// (block 1 written in place, the rest of the file left as it is) and read again: it must
// read as written.
//
// Input: five bytes (the demo instrument, the model chosen, its options, year and serial
// number), then the file.

#include <cstdint>
#include <fstream>
#include <string>

#include "framework/util/program_dir.h"
#include "instrument/link/instrument_identity.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr const char* kDemoNames[] = {"Default Demo", "Demo1", "Demo2", "Demo3"};

std::string Fields(const TInstrumentIdentity& id) {
  return "block " + std::to_string(id.IndivBlock) + ", model " + std::to_string(id.ModelCode) + ", options " +
         std::to_string(id.Options) + ", year " + std::to_string(id.Year) + ", serial " +
         std::to_string(id.SerialNo);
}

void CheckShownIdentity() {
  const TInstrumentIdentity& id = InstrumentIdentity;
  fuzz::Require(id.IndivBlock <= 4, "the block read is one of the four", [&] { return Fields(id); });
  fuzz::Require(id.Year >= 2009, "the year is 2009 or later", [&] { return Fields(id); });
  if (id.IndivBlock == 0)
    fuzz::Require(id.ModelCode == 4 && id.Options == 0 && id.Year == 2009 && id.SerialNo == 1,
                  "without data the demo is the default model", [&] { return Fields(id); });
  // Every text the program shows of the identity.
  for (const bool showCode : {false, true}) {
    ModelName(id.ModelCode, id.SerialNo, showCode);
    OptionNamesText(id.ModelCode, id.Options, showCode);
  }
  SerialNumberText();
  BuildMainCaption(true);
  IsLxxModel();
  IsKxxModel();
  HasTDROption();
  HasLANOption();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) { return fuzz::InitializeProgram(); }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5 || size > 65536) return 0;
  fuzz::ClearProgramHome();
  const std::string name = kDemoNames[data[0] & 3];
  const auto model = static_cast<uint8_t>(4 + (data[0] >> 2) % 6);  // L0E .. K0
  const uint8_t options = data[1];
  const auto year = static_cast<uint16_t>(2009 + data[2] % 91);
  const auto serial = static_cast<uint16_t>(data[3] | data[4] << 8);
  const std::string file(fuzz::AsText(data + 5, size - 5));
  std::ofstream(ProgramDir() / DemoUnitsFileName, std::ios::binary)
      .write(file.data(), static_cast<std::streamsize>(file.size()));

  ReadDemoUnit(name);
  CheckShownIdentity();

  WriteDemoUnit(name, 1, ModelToFlashCode(model), 255 - options, year - 2000, serial, false);
  ReadDemoUnit(name);
  const TInstrumentIdentity& id = InstrumentIdentity;
  fuzz::Require(id.IndivBlock == 1 && id.ModelCode == model && id.Options == options && id.Year == year &&
                    id.SerialNo == serial,
                "the model written reads again", [&] {
                  TInstrumentIdentity written;
                  written.IndivBlock = 1;
                  written.ModelCode = model;
                  written.Options = options;
                  written.Year = year;
                  written.SerialNo = serial;
                  return "wrote " + Fields(written) + ", read " + Fields(id);
                });
  CheckShownIdentity();
  return 0;
}
