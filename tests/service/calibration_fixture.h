#pragma once
// The calibration and adjustment nodes in a fresh settings tree, with the program folder a
// fresh temporary one and the dialogs scripted; the instrument variant connects the link
// to a fake instrument that keeps every constant in a register.

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/ip_address.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "service/adjust_access.h"
#include "service/calibration_settings.h"
#include "support/fake_clock.h"
#include "support/fake_dialogs.h"
#include "support/fake_instrument.h"
#include "support/settings_tree_fixture.h"
#include "support/temp_home.h"

namespace norv::test {

inline constexpr uint8_t kLxxModel = 1;
inline constexpr uint8_t kKxxModel = 9;

class CalibrationTest : public SettingsTreeTest {
 protected:
  void SetUp() override {
    SettingsTreeTest::SetUp();
    saved_home_ = std::getenv("VEXILOR_NORV_HOME");
    home_ = MakeTempDir("calibration");
    setenv("VEXILOR_NORV_HOME", home_.c_str(), 1);
    InstrumentIdentity.ModelCode = kLxxModel;
    SetDialogs(&dialogs);
    RegisterCalibrationCommands();
    // A service user who has typed the access code: the close asks about adjustments.
    SubmitAdjustAccessCode("KR4-62M");
  }
  void TearDown() override {
    SettingsTreeTest::TearDown();
    setenv("VEXILOR_NORV_HOME", saved_home_.c_str(), 1);
  }

  // Each command line from the root, as a user's commands.
  static void Run(std::initializer_list<const char*> lines) {
    for (const char* line : lines) RootSpider->ExecCommandLine(line, false);
  }
  static double Value(const std::string& node) {
    return dynamic_cast<TEditHandler&>(*RootSpider->FindHandler(node)).GetValue();
  }
  static bool Disabled(const std::string& node) { return RootSpider->FindHandler(node)->IsDisabled(); }

  // The program started anew on the same folder: a fresh tree and fresh units.
  void Restart(uint8_t model = kLxxModel) {
    FreshProgramState();
    CreateRootSpider();
    InstrumentIdentity.ModelCode = model;
    SetDialogs(&dialogs);
    RegisterCalibrationCommands();
    SubmitAdjustAccessCode("KR4-62M");
  }

  std::filesystem::path home_;
  std::string saved_home_;
  FakeDialogs dialogs;
};

class CalibrationOnInstrumentTest : public CalibrationTest {
 protected:
  void SetUp() override {
    CalibrationTest::SetUp();
    SetProgramClock(clock);
    instrument.SetReply(std::string(IndivDataQuery), "1 255 251 9 1234");
    instrument.SetReply("Info:GetVer:SW?", "3.12.1");
    instrument.SetReply("Info:GetVer:FPGAFW?", "17");
    TIPv4Addr loopback;
    StrToIPv4("127.0.0.1", loopback);
    ASSERT_TRUE(ConnectInstrument(false, loopback, instrument.Port()));
    InstrumentIdentity.ModelCode = kLxxModel;
    InstrumentIdentity.SWVer.Text = "3.12.1";
    ParseVersionText(InstrumentIdentity.SWVer);
    InstrumentIdentity.FPGAVer.Text = "0.17";
    ParseVersionText(InstrumentIdentity.FPGAVer);
    LoadRegisters();
    instrument.ClearCommands();
  }
  void TearDown() override {
    CalibrationTest::TearDown();
    SetProgramClock(SystemClock());
  }

  // Every constant the program reads, at the instrument's factory codes.
  void LoadRegisters() {
    for (const char* g : {"Calibr:Sampler:Ch1:FullBW:", "Calibr:Sampler:Ch1:NarrowBW:",
                          "Calibr:Sampler:Ch2:FullBW:", "Calibr:Sampler:Ch2:NarrowBW:"}) {
      const std::string group = g;
      instrument.SetConstant(group + "PlusD", 32768);
      instrument.SetConstant(group + "MinusD", 32768);
      instrument.SetConstant(group + "LfComp", 32768);
      instrument.SetConstant(group + "ADC200mV", 4096);
      instrument.SetConstant(group + "PromBrNBW", 800);
      instrument.SetReply(group + "GainFix?", "HIGH");
      instrument.SetArgReply(group + "GainFix", FakeInstrument::EchoArg());
    }
    for (const char* name : {"SRD1", "SRD2", "SRD3"})
      instrument.SetConstant(std::string("Calibr:Sampler:") + name, 32768);
    instrument.SetConstant("Calibr:Sampler:StrbAmpl", 65535);
    instrument.SetConstant("Calibr:Sampler:StrbDel", 17475);
    instrument.SetConstant("Calibr:Sampler:ChFndSRD", 0);
    for (const char* name : {"MINSRD1", "MAXSRD1", "MINSRD2", "MAXSRD2"})
      instrument.SetConstant(std::string("Calibr:Sampler:") + name, 36864);
    instrument.SetConstant("Calibr:TB:TGUN", 30667);
    instrument.SetConstant("Calibr:TB:Digit0", 8);
    instrument.SetConstant("Calibr:TB:GainDAC", 18333);
    instrument.SetConstant("Calibr:TB:MinDAC", 16384);
    instrument.SetConstant("Calibr:Trig:LvlZero", 32768);
    instrument.SetConstant("Calibr:SmplTB:CalIntrvlA", 70000);
    instrument.SetReply("Calibr:SmplTB:CalCurve?", "3 0 8000 FFFF");
    for (const char* recall : {"Calibr:ReRead?", "Calibr:AdjRecall?", "Calibr:SetInitialVal?"})
      instrument.SetReply(recall, "1");
  }

  // The command lines with an argument ("CMD? n") the instrument received.
  std::vector<std::string> Sends() {
    std::vector<std::string> sends;
    for (const std::string& line : instrument.Commands())
      if (line.find("? ") != std::string::npos) sends.push_back(line);
    return sends;
  }

  // A query answered proves every earlier line has arrived.
  void Sync() {
    instrument.SetReply("Sync?", "1");
    ASSERT_EQ(QueryCommand("Sync?"), "1");
  }

  CountedWaitClock clock;
  FakeInstrument instrument;
};

}  // namespace norv::test
