#include "instrument/settings/acquisition_settings.h"

#include <filesystem>

#include "framework/settings/choice_handlers.h"
#include "framework/language/language.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/traces/trace_names.h"
#include "instrument/settings/channel_settings.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/setting_rules.h"
#include "instrument/settings/setting_senders.h"
#include "instrument/settings/settings_hooks.h"
#include "instrument/settings/timebase_settings.h"
#include "instrument/settings/trigger_settings.h"

namespace norv {

namespace {

constexpr uint32_t UnavailableModes = 136;  // AvgMedian and Peak
constexpr int32_t PeakRecordLength = 512;
constexpr int32_t EndlessEnvelopeText = 6000;
constexpr uint8_t ReactBeep = 1;
constexpr uint8_t ReactSave = 2;
const char* const FileExtensions[] = {".wfm", ".txt", ".txty"};

uint32_t ReactBefore = 0;

int Slot(int channel) { return channel == 2 ? 0 : 1; }
int CodeOf(int slot) { return slot == 0 ? 2 : 3; }
// With common settings Ch1's nodes answer for both channels.
const TAcqChannelNodes& Effective(int channel) { return AcqChannelNodes[UseCommonAcqSettings() ? 0 : Slot(channel)]; }

void Stop() { BreakAcquisition(true); }

void ModeChanged(int channel) {
  Stop();
  TAcqChannelNodes& n = AcqChannelNodes[Slot(channel)];
  const bool common = channel == 3 && UseCommonAcqSettings();
  const auto mode = static_cast<TAcqMode>(n.Mode->GetIndex());
  n.NAvg->SetDisabled(common || mode < TAcqMode::AvgStab || mode > TAcqMode::AvgMedian);
  n.NAvg->SetMin(mode == TAcqMode::AvgMedian ? 8 : 2);
  n.NEnv->SetDisabled(common || mode < TAcqMode::EnvMinMax || mode > TAcqMode::EnvMin);
  n.PkInterval->SetDisabled(common || mode != TAcqMode::Peak);
  n.RecLen->SetDisabled(common || mode == TAcqMode::Peak);
  SettingsHooks.RefreshChannelStatus();
  SendRecLen(GetAcqRecLen(2), false);
  AvgMultSelected = mode == TAcqMode::AvgMult;
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
  SendNAvg(AcqChannelNodes[0].NAvg->GetIntValue(), false);
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
  const bool nAcq = hAcqRunUntil->GetIndex() == 1;
  hAcqNAcq->SetDisabled(!nAcq);
  hAcqReact->SetDisabled(!nAcq);
}

void ReactChanged(THandler& h) {
  const uint32_t now = hAcqReact->GetMask();
  const uint32_t added = now & ~ReactBefore;
  if (added & ReactBeep) LinkHooks.SystemBeep();
  if ((added & ReactSave) && h.GetWhoChangedRaw() == wcvSwitcher) {
    std::string name = AutoSaveBase();
    int filter = hAcqFileFormat->GetIndex();
    if (SettingsHooks.AskAutoSaveFile(name, filter)) {
      if (filter >= 0 && filter <= 2) hAcqFileFormat->SetIndexByProgram(static_cast<uint8_t>(filter));
      const std::filesystem::path chosen(name);
      AutoSaveFolder = chosen.parent_path().string();
      AutoSaveBaseName = (chosen.parent_path() / chosen.stem()).string();
    } else {
      hAcqReact->SetButtonByProgram(1, false);
    }
  }
}

// "Acq:FileName": a set gives the folder (when the text names one) and the base name.
void FileNameCommand(const std::string& param, bool isQuery, uint8_t, std::string& reply) {
  if (isQuery) {
    reply = ValueAnswer(AutoSaveNamePattern(), false);
    return;
  }
  const std::filesystem::path text(param);
  if (text.has_parent_path()) AutoSaveFolder = text.parent_path().string();
  const std::string stem = text.stem().string();
  if (stem.empty()) return;
  AutoSaveBaseName = text.has_parent_path() ? (text.parent_path() / stem).string()
                                            : (std::filesystem::path(AutoSaveFolder) / stem).string();
}

void NEnvText(const TEditHandler& h, std::string& text, double value) {
  text = value >= EndlessEnvelopeText ? GetLangStr("Continuously")
                                      : FloatToEngStr(h.GetFormatMode(), h.GetDigits(), true, value, false);
}

void RegisterChannel(int slot) {
  TSpider& root = *RootSpider;
  TAcqChannelNodes& n = AcqChannelNodes[slot];
  const std::string base = slot == 0 ? "Acq:Ch1:" : "Acq:Ch2:";
  const int channel = CodeOf(slot);
  n.Mode = root.AddRadioSw(0, base + "Mode",
                           "Sample,AvgStab,AvgMult,AvgMedian,EnvMinMax,EnvMax,EnvMin,Peak",
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

void RegisterAcquisitionCommands() {
  TSpider& root = *RootSpider;
  AcqChannelNodes = {};
  AvgMultSelected = false;
  ReactBefore = 0;
  hAcqMenuSel = root.AddRadioSw(0, "SHADOW:Acq:MenuSel", "Ch1,Ch2");
  // A fixed value that commands cannot change.
  hAcqLNonChanged = root.AddIntEdit({
      .Path = "SHADOW:Acq:LNonChanged", .Value = PeakRecordLength, .Digits = 3,
      .Min = PeakRecordLength, .Mid = PeakRecordLength, .Max = PeakRecordLength});
  hAcqLNonChanged->SetDisabled(true);
  hAcqFitTo = root.AddRadioSw(0, "Acq:FitTo", "Multi,Single", FitToChanged);
  hAcqSampl = root.AddRadioSw(0, "Acq:Sampl", "Simult,Altern", [](THandler&) { ApplySamplingOrderRule(); });
  hAcqRunUntil = root.AddRadioSw(0, "Acq:RunUntil", "StopBtn,NAcq", RunUntilChanged);
  hAcqNAcq = root.AddIntEdit({
      .Path = "Acq:NAcq", .Value = 32,
      .Min = 1, .Mid = 32, .Max = 65535,
      .CoarseRule = srPowerOfTwo, .FineRule = srQuantised, .FineStep = 1});
  hAcqReact = root.AddCheckSw(0, "Acq:React", "Beep,Save", ReactChanged,
                              [](THandler&) { ReactBefore = hAcqReact->GetMask(); });
  hAcqFileFormat = root.AddRadioSw(0, "Acq:FileFormat", "Binary,Verbose,YOnly");
  hAcqFileName = root.AddGpibString("Acq:FileName", FileNameCommand);
  RegisterChannel(0);
  RegisterChannel(1);
}

void ApplyAcquisitionSettings() {
  FitToChanged(*hAcqFitTo);
  ModeChanged(2);
  ModeChanged(3);
  AverageChanged(*AcqChannelNodes[0].NAvg);
  ApplySamplingOrderRule();
  RunUntilChanged(*hAcqRunUntil);
}

bool IsSimulatorAssigned(int channel) {
  const auto* h = dynamic_cast<const TRadioSwHandler*>(RootSpider->FindHandler(channel == 2 ? "GSS:Ch1" : "GSS:Ch2"));
  return h && h->GetIndex() != 0;
}

bool BothChannelsEqual() {
  if (!SignalsOn.IsOn(TTraceId::Ch1) || !SignalsOn.IsOn(TTraceId::Ch2)) return false;
  if (GetChannelDeskew(2) != GetChannelDeskew(3)) return false;
  return IsSimulatorAssigned(2) == IsSimulatorAssigned(3);
}

bool UseCommonAcqSettings() { return GetIndex(hAcqSampl) == 0 && BothChannelsEqual(); }

TAcqMode GetAcqMode(int channel) { return static_cast<TAcqMode>(GetIndex(Effective(channel).Mode)); }
int32_t GetAcqNAvg(int channel) { return GetIntValue(Effective(channel).NAvg); }
double GetAcqPkInterval(int channel) { return GetFloatValue(Effective(channel).PkInterval); }

int32_t GetAcqRecLen(int channel) {
  if (GetAcqMode(channel) == TAcqMode::Peak) return GetIntValue(hAcqLNonChanged);
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

bool IsAcqFitToSingle() { return GetIndex(hAcqFitTo) == 1; }
bool IsAcqFitToMulti() { return !IsAcqFitToSingle() || SettingsHooks.AutoscaleRunning(); }
bool AcqReactBeep() { return hAcqReact && (hAcqReact->GetMask() & ReactBeep); }
bool AcqReactSave() { return hAcqReact && (hAcqReact->GetMask() & ReactSave); }
int GetAcqMenuChannel() { return GetIndex(hAcqMenuSel) == 0 ? 2 : 3; }

void ApplyAcqFitTo() {
  const uint8_t index = GetIndex(hAcqFitTo);
  uint8_t& sent = SettingSenders().SamplingModeByte;
  if (index == sent) return;
  sent = index;
  SendSmplMode(index);
}

void ApplySamplingOrderRule() {
  if (!hAcqSampl || !AcqChannelNodes[1].Mode || !ChannelSettings().Nodes[1].Deskew) return;
  Stop();
  hAcqSampl->SetDisabled(!BothChannelsEqual());
  const bool ch1 = SignalsOn.IsOn(TTraceId::Ch1);
  const bool ch2 = SignalsOn.IsOn(TTraceId::Ch2);
  const bool common = UseCommonAcqSettings();
  hAcqMenuSel->SetDisabled(!(ch1 && ch2) || common);
  if (common || (ch1 && !ch2)) {
    hAcqMenuSel->SetIndexByProgram(0);
  } else if (ch2 && !ch1) {
    hAcqMenuSel->SetIndexByProgram(1);
  }
  AcqChannelNodes[1].Mode->SetDisabled(common);
  ModeChanged(3);
  SettingsHooks.RefreshChannelStatus();
}

std::string AutoSaveBase() {
  return AutoSaveBaseName.empty() ? (std::filesystem::path(AutoSaveFolder) / "Noname").string() : AutoSaveBaseName;
}

std::string AutoSaveNamePattern() {
  return AutoSaveBase() + "*" + FileExtensions[std::min<int>(GetIndex(hAcqFileFormat), 2)];
}

}  // namespace norv
