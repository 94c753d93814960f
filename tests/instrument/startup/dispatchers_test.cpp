// The start of the program with an instrument on the network, and the dispatchers'
// fixed order with the slots of later subsystems.

#include "instrument/startup/dispatchers.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/settings/settings_wiring.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/program_folders.h"
#include "instrument/startup/startup_connection.h"
#include "support/fake_instrument.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

class ProgramStartTest : public ::testing::Test {
 protected:
  void SetUp() override { FreshProgramState(); }
  void TearDown() override { FreshProgramState(); }
};

TEST_F(ProgramStartTest, AListedLanInstrumentIsConnectedIdentifiedAndGivenEverySetting) {
  FakeInstrument instrument;
  instrument.SetReply("Info:IndivData?", "1 255 251 9 1234");
  instrument.SetReply("Info:GetTemp?", "31.5");
  instrument.SetReply("Info:GetVer:SW?", "3.10.4");
  instrument.SetReply("Info:GetVer:FPGAFW?", "7");
  std::ofstream(ConfigurationFilePath(), std::ios::binary)
      << "[Instrument2 Instrument]\nName=Lab\nInterface=LAN\nIP Address=127.0.0.1\n[COMMON]\nStart "
         "Unit=Instrument2\n";
  StartupState.TcpPort = instrument.Port();
  InstallInstrumentSettings();

  ReadInstrumentConfiguration();
  std::string name;
  ASSERT_TRUE(SelectAndConnectInstrument(true, name));
  EXPECT_EQ(CurrentInstrumentName, "Instrument2");
  EXPECT_EQ(LinkKind, TLinkKind::LAN);
  EXPECT_DOUBLE_EQ(StartupState.ReferenceTemperature, 31.5);
  RegisterAllCommandsAtStart();
  ASSERT_TRUE(ReadIndivData());
  ForceNotify = true;
  ApplyAllSettings();
  ForceNotify = false;
  instrument.SetReply("Sync?", "1");
  ASSERT_EQ(QueryCommand("Sync?"), "1");
  EXPECT_EQ(InstrumentIdentity.SerialNo, 1234);

  // The connection's probe, the reference temperature, the identity, then the factory
  // settings unit by unit: channels, time base, trigger, acquisition.
  // clang-format off
  const std::vector<std::string> expected = {
      "Info:IndivData?", "Info:GetTemp?", "Info:IndivData?", "Info:GetVer:SW?", "Info:GetVer:FPGAFW?",
      "Ch1:Comp 0", "Acq:RecLen 512", "Acq:Channels Both", "Ch1:Band Full", "Ch2:Comp 0", "Ch2:Band Full",
      "TB:TIMEDIV 1E-8", "TB:DELAY 0",
      "Trig:Source DIRECT", "Trig:IntRate 1E-5", "Trig:Mode Free", "Trig:Slope Pos", "Trig:HoldOff 1E-5",
      "Trig:Hister Norm",
      "Acq:SmplMode SIMPLE", "Trig:HoldOff 1E-5", "Acq:NAvg 2;Mode Avg",
      "Sync?"};
  // clang-format on
  EXPECT_EQ(instrument.Commands(), expected);
}

// A later subsystem's step: a setting named after it, so the dump shows when it ran.
void Marker(const char* name) { RootSpider->AddOnOff(false, name); }

TEST_F(ProgramStartTest, DispatchersRunEveryStepInTheFixedOrder) {
  using R = TRegistrationStep;
  // clang-format off
  const std::pair<R, const char*> later[] = {
      {R::MaskResultObject, "Result"}, {R::DisplayColors, "Colours"}, {R::MainCommands, "Main"}, {R::OEConv, "OE"},
      {R::Display, "Displ"}, {R::Save, "Save"}, {R::Marks, "Mark"}, {R::Meas, "Meas"}, {R::Limits, "Limit"},
      {R::Math, "Math"}, {R::FFT, "FFT"}, {R::Zoom, "Zoom"}, {R::Hist, "Hist"}, {R::Mask, "Mask"}, {R::Eye, "Eye"},
      {R::Generator, "Gen"}, {R::TDR, "TDR"}, {R::Jitter, "Jitter"}, {R::Wfm, "Wfm"}, {R::Calibration, "Calibr"},
      {R::Keypad, "Keypad"}, {R::RampTest, "RampTest"}, {R::RampDac, "RampDAC"}, {R::Gui, "Gui"}};
  // clang-format on
  for (const auto& [step, name] : later) SetRegistrationRoutine(step, [name] { Marker(name); });
  RegisterAllCommands(true);
  EXPECT_TRUE(CommandsRegistered);
  EXPECT_FALSE(RootSpider);
  RegisterAllCommandsAtStart();
  ASSERT_TRUE(RootSpider->FindHandler("INSTR:GUIReady"));

  // The first word of every path, each once, in the order the dump (registration) gives.
  std::string order;
  std::vector<std::string> lines;
  RootSpider->DumpSettings(lines);
  for (const std::string& line : lines) {
    const std::string word = " " + line.substr(0, line.find_first_of(": ")) + " ";
    if (order.find(word) == std::string::npos) order += word.substr(1);
  }
  EXPECT_EQ(order,
            "RESULT COLOURS MAIN CH1 CH2 OE TB TRIG ACQ DISPL SAVE MARK MEAS LIMIT MATH FFT ZOOM HIST MASK "
            "EYE GEN TDR "
            "JITTER WFM UTIL GSS CALIBR KEYPAD RAMPTEST RAMPDAC GUI ");

  // Apply: the optional steps only with their option; the simulator's always.
  std::string applied;
  const auto note = [&](const char* name) {
    return [&applied, name] { applied += std::string(name) + " "; };
  };
  SetApplyRoutine(TApplyStep::OEConv, note("OE"));
  SetApplyRoutine(TApplyStep::Generators, note("Gen"));
  SetApplyRoutine(TApplyStep::TDR, note("TDR"));
  SetApplyRoutine(TApplyStep::Save, note("Save"));
  SetApplyRoutine(TApplyStep::Simulator, note("Sim"));
  SetApplyRoutine(TApplyStep::Calibration, note("Calibr"));
  InstrumentIdentity.ModelCode = 1;
  for (const uint8_t options : {uint8_t{0}, uint8_t(OptGenerators | OptOptics)}) {
    InstrumentIdentity.Options = options;
    ApplyAllSettings();
    applied += "| ";
  }
  EXPECT_EQ(applied, "Save Sim Calibr | OE Save Gen TDR Sim Calibr | ");

  // Every analysis but the kept one goes off, jitter too: it is reached through its page.
  std::string off;
  for (const uint8_t code : {7, 8, 13, 14, 15, 17, 18})
    SetAnalysisSwitchOff(code, [&off, code] { off += std::to_string(code) + " "; });
  SwitchOffOtherAnalyses(13);
  EXPECT_EQ(off, "7 18 8 15 14 17 ");
}

}  // namespace
}  // namespace norv::test
