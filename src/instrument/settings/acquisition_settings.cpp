#include "instrument/settings/acquisition_settings.h"

#include <filesystem>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/node_path.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/traces/trace_names.h"
#include "framework/util/program_dir.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"
#include "instrument/startup/program_folders.h"

namespace norv {

namespace {

constexpr uint32_t UnavailableModes = 136;  // AvgMedian and Peak
constexpr int32_t PeakRecordLength = 512;
constexpr int32_t EndlessEnvelopeText = 6000;
constexpr uint8_t ReactBeep = 1;
constexpr uint8_t ReactSave = 2;
const char* const FileExtensions[] = {".wfm", ".txt", ".txty"};

// Not constinit like the other units: clang does not take the strings' constructor as
// constant, and nothing reads this state before main.
TAcquisitionSettingsState State;
const TProgramUnit StateUnit("acquisition settings", ResetAcquisitionSettingsState);

int Slot(int channel) { return channel == 2 ? 0 : 1; }
int CodeOf(int slot) { return slot == 0 ? 2 : 3; }
// With common settings Ch1's nodes answer for both channels.
const TAcqChannelNodes& Effective(int channel) {
  return State.ChannelNodes[UseCommonAcqSettings() ? 0 : Slot(channel)];
}

void Stop() { BreakAcquisition(true); }

void ModeChanged(int channel) {
  Stop();
  TAcqChannelNodes& n = State.ChannelNodes[Slot(channel)];
  const bool common = channel == 3 && UseCommonAcqSettings();
  const auto mode = static_cast<TAcqMode>(n.Mode->GetIndex());
  n.NAvg->SetDisabled(common || mode < TAcqMode::AvgStab || mode > TAcqMode::AvgMedian);
  n.NAvg->SetMin(mode == TAcqMode::AvgMedian ? 8 : 2);
  n.NEnv->SetDisabled(common || mode < TAcqMode::EnvMinMax || mode > TAcqMode::EnvMin);
  n.PkInterval->SetDisabled(common || mode != TAcqMode::Peak);
  n.RecLen->SetDisabled(common || mode == TAcqMode::Peak);
  SettingsHooks.RefreshChannelStatus();
  SendRecLen(GetAcqRecLen(2), false);
  State.AvgMultSelected = mode == TAcqMode::AvgMult;
}

void FitToChanged(THandler&) {
  Stop();
  SettingsHooks.RedrawFitToIcon();
  ApplyAcqFitTo();
  UpdateHoldoffLimit();
  // Clamped to the new minimum.
  if (TDoubleEditHandler* holdoff = TriggerSettings().Holdoff) holdoff->SetValueByProgram(1e-5);
}

void AverageChanged(THandler&) {
  Stop();
  SettingsHooks.RefreshChannelStatus();
  SendNAvg(State.ChannelNodes[0].NAvg->GetIntValue(), false);
}

void StatusChanged(THandler&) {
  Stop();
  SettingsHooks.RefreshChannelStatus();
}

void IntervalChanged(THandler& h) {
  StatusChanged(h);
  SettingsHooks.RefreshAcquisitionPages();
}

void RecLenChanged(THandler&) {
  Stop();
  SettingsHooks.RefreshChannelStatus();
  SendRecLen(GetAcqRecLen(2), false);
}

void RunUntilChanged(THandler&) {
  const bool nAcq = State.RunUntil->GetIndex() == 1;
  State.NAcq->SetDisabled(!nAcq);
  State.React->SetDisabled(!nAcq);
}

void ReactChanged(THandler& h) {
  const uint32_t now = State.React->GetMask();
  const uint32_t added = now & ~State.ReactBefore;
  if (added & ReactBeep) LinkHooks.SystemBeep();
  if (now & ReactSave) State.ReactSaveOrigin = TRequestOrigin::Here();
  if ((added & ReactSave) && h.GetWhoChangedRaw() == wcvSwitcher) {
    std::string name = AutoSaveBase();
    int filter = State.FileFormat->GetIndex();
    if (SettingsHooks.AskAutoSaveFile(name, filter)) {
      if (filter >= 0 && filter <= 2) State.FileFormat->SetIndexByProgram(static_cast<uint8_t>(filter));
      const std::filesystem::path chosen(name);
      State.AutoSaveFolder = chosen.parent_path();
      State.AutoSaveBaseName = WithoutOwnExtension(chosen);
    } else {
      State.React->SetButtonByProgram(1, false);
    }
  }
}

// "Acq:FileName": a set gives the folder (when the text names one) and the base name,
// inside the program's folders only: every acquisition may write a file there.
void FileNameCommand(const std::string& param, bool isQuery, uint8_t, std::string& reply) {
  if (isQuery) {
    reply = ValueAnswer(AutoSaveNamePattern(), false);
    return;
  }
  const std::filesystem::path& start = DataFolders().AcqLimitFilesDir;
  constexpr std::string_view kLongestEnding = "_00000_Ch1.txty";
  const std::filesystem::path text = FileNameFromText(param);
  if (text.stem().empty()) {
    // A folder alone becomes the folder of the plain names after it.
    if (text.has_parent_path())
      ConfinedStem((text / "Noname").string(), State.AutoSaveFolder, start, kLongestEnding);
    return;
  }
  State.AutoSaveBaseName = ConfinedStem(param, State.AutoSaveFolder, start, kLongestEnding);
}

void NEnvText(const TEditHandler& h, std::string& text, double value) {
  text = value >= EndlessEnvelopeText ? GetLangStr("Continuously")
                                      : FloatToEngStr(h.GetFormatMode(), h.GetDigits(), true, value, false);
}

void RegisterChannel(int slot) {
  TSpider& root = *RootSpider;
  TAcqChannelNodes& n = State.ChannelNodes[slot];
  const std::string base = slot == 0 ? "Acq:Ch1:" : "Acq:Ch2:";
  const int channel = CodeOf(slot);
  n.Mode = root.AddRadioSw(
      0, base + "Mode", "Sample,AvgStab,AvgMult,AvgMedian,EnvMinMax,EnvMax,EnvMin,Peak",
      [channel](THandler&) { ModeChanged(channel); }, {}, false, UnavailableModes);
  // clang-format off
  n.NAvg = root.AddIntEdit({
      .Path = base + "NAvg", .Value = 2, .Digits = 5,
      .Min = 2, .Mid = 32, .Max = 4096,
      .CoarseRule = srPowerOfTwo,
      .OnChange = AverageChanged});
  n.NEnv = root.AddIntEdit({
      .Path = base + "NEnv", .Value = 2, .Digits = 5,
      .Min = 2, .Mid = 32, .Max = 8192,
      .CoarseRule = srPowerOfTwo,
      .OnChange = StatusChanged, .OnGetText = NEnvText});
  n.PkInterval = root.AddDoubleEdit({
      .Path = base + "PkInterval", .Value = 1e-10, .Unit = "s", .Digits = 5,
      .Min = 2e-11, .Mid = 1e-8, .Max = 1e-5,
      .CoarseRule = sr1_2_5, .Tolerance = 1e-12,
      .OnChange = IntervalChanged});
  n.RecLen = root.AddIntEdit({
      .Path = base + "RecLen", .Value = 512, .Digits = 4,
      .Min = 32, .Mid = 512, .Max = 4096,
      .CoarseRule = srPowerOfTwo,
      .OnChange = RecLenChanged});
  // clang-format on
}

}  // namespace

TAcquisitionSettingsState& AcquisitionSettings() { return State; }
void ResetAcquisitionSettingsState() { State = {}; }

void RegisterAcquisitionCommands() {
  TSpider& root = *RootSpider;
  State.ChannelNodes = {};
  State.AvgMultSelected = false;
  State.ReactBefore = 0;
  State.MenuSel = root.AddRadioSw(0, "SHADOW:Acq:MenuSel", "Ch1,Ch2");
  // clang-format off
  // A fixed value that commands cannot change.
  State.LNonChanged = root.AddIntEdit({
      .Path = "SHADOW:Acq:LNonChanged", .Value = PeakRecordLength, .Digits = 3,
      .Min = PeakRecordLength, .Mid = PeakRecordLength, .Max = PeakRecordLength});
  // clang-format on
  State.LNonChanged->SetDisabled(true);
  State.FitTo = root.AddRadioSw(0, "Acq:FitTo", "Multi,Single", FitToChanged);
  State.Sampl = root.AddRadioSw(0, "Acq:Sampl", "Simult,Altern", [](THandler&) { ApplySamplingOrderRule(); });
  State.RunUntil = root.AddRadioSw(0, "Acq:RunUntil", "StopBtn,NAcq", [](THandler& h) {
    RunUntilChanged(h);
    // A run switched to a count counts from here, not from its start as a free run.
    CountRunAfresh();
  });
  // clang-format off
  State.NAcq = root.AddIntEdit({
      .Path = "Acq:NAcq", .Value = 32,
      .Min = 1, .Mid = 32, .Max = 65535,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1});
  // clang-format on
  State.React = root.AddCheckSw(0, "Acq:React", "Beep,Save", ReactChanged,
                                [](THandler&) { State.ReactBefore = State.React->GetMask(); });
  State.FileFormat = root.AddRadioSw(0, "Acq:FileFormat", "Binary,Verbose,YOnly");
  State.FileName = root.AddGpibString("Acq:FileName", FileNameCommand);
  RegisterChannel(0);
  RegisterChannel(1);
}

void ApplyAcquisitionSettings() {
  FitToChanged(*State.FitTo);
  ModeChanged(2);
  ModeChanged(3);
  AverageChanged(*State.ChannelNodes[0].NAvg);
  ApplySamplingOrderRule();
  RunUntilChanged(*State.RunUntil);
}

bool IsSimulatorAssigned(int channel) {
  const auto* h = dynamic_cast<const TRadioSwHandler*>(
      RootSpider->FindHandler(channel == 2 ? "GSS:Ch1"_node : "GSS:Ch2"_node));
  return h && h->GetIndex() != 0;
}

bool BothChannelsEqual() {
  if (!SignalsOn.IsOn(TTraceId::Ch1) || !SignalsOn.IsOn(TTraceId::Ch2)) return false;
  if (GetChannelDeskew(2) != GetChannelDeskew(3)) return false;
  return IsSimulatorAssigned(2) == IsSimulatorAssigned(3);
}

bool UseCommonAcqSettings() { return GetIndex(State.Sampl) == 0 && BothChannelsEqual(); }

TAcqMode GetAcqMode(int channel) { return static_cast<TAcqMode>(GetIndex(Effective(channel).Mode)); }
int32_t GetAcqNAvg(int channel) { return GetIntValue(Effective(channel).NAvg); }
double GetAcqPkInterval(int channel) { return GetFloatValue(Effective(channel).PkInterval); }

int32_t GetAcqRecLen(int channel) {
  if (GetAcqMode(channel) == TAcqMode::Peak) return GetIntValue(State.LNonChanged);
  return GetIntValue(Effective(channel).RecLen);
}

int32_t GetAcqCount(int channel) {
  const TAcqChannelNodes& n = Effective(channel);
  return AcquisitionCount(GetAcqMode(channel), GetIntValue(n.NAvg), GetIntValue(n.NEnv));
}

double PeakIntervalRatio(int channel) {
  const double interval = GetAcqPkInterval(channel);
  return interval > 0 ? GetActiveTimeScale() / 25.0 / interval : 0.0;
}

bool IsAcqFitToSingle() { return GetIndex(State.FitTo) == 1; }
bool IsAcqFitToMulti() { return !IsAcqFitToSingle() || SettingsHooks.AutoscaleRunning(); }
bool AcqReactBeep() { return State.React && (State.React->GetMask() & ReactBeep); }
bool AcqReactSave() { return State.React && (State.React->GetMask() & ReactSave); }
int GetAcqMenuChannel() { return GetIndex(State.MenuSel) == 0 ? 2 : 3; }

void ApplyAcqFitTo() {
  const uint8_t index = GetIndex(State.FitTo);
  uint8_t& sent = SettingSenders().SamplingModeByte;
  if (index == sent) return;
  sent = index;
  SendSmplMode(index);
}

void ApplySamplingOrderRule() {
  if (!State.Sampl || !State.ChannelNodes[1].Mode || !ChannelSettings().Nodes[1].Deskew) return;
  Stop();
  State.Sampl->SetDisabled(!BothChannelsEqual());
  const bool ch1 = SignalsOn.IsOn(TTraceId::Ch1);
  const bool ch2 = SignalsOn.IsOn(TTraceId::Ch2);
  const bool common = UseCommonAcqSettings();
  State.MenuSel->SetDisabled(!(ch1 && ch2) || common);
  if (common || (ch1 && !ch2)) {
    State.MenuSel->SetIndexByProgram(0);
  } else if (ch2 && !ch1) {
    State.MenuSel->SetIndexByProgram(1);
  }
  State.ChannelNodes[1].Mode->SetDisabled(common);
  ModeChanged(3);
  SettingsHooks.RefreshChannelStatus();
}

std::string AutoSaveBase() {
  if (!State.AutoSaveBaseName.empty()) return State.AutoSaveBaseName;
  const std::filesystem::path& folder =
      State.AutoSaveFolder.empty() ? DataFolders().AcqLimitFilesDir : State.AutoSaveFolder;
  return (folder / "Noname").string();
}

std::string AutoSaveNamePattern() {
  return AutoSaveBase() + "*" + FileExtensions[std::min<int>(GetIndex(State.FileFormat), 2)];
}

}  // namespace norv
