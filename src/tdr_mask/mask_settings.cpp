// The "Mask:", "Automask:" and "StdMask:" settings, the mask carried through setups and
// undo ("NOGPIB:Mask") and the remote queries of the mask test.

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/handler.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/step_rules.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/link/link_hooks.h"
#include "instrument/startup/dispatchers.h"
#include "instrument/startup/program_folders.h"
#include "tdr_mask/mask_catalogue.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"

namespace norv {

namespace fs = std::filesystem;

namespace {

TMaskState& S() { return MaskSettings(); }

// A command or a control; a setup being replayed brings its mask in "NOGPIB:Mask", which a
// catalogue load must not replace.
bool ByUser(const THandler& h) {
  const TWhoChanged who = h.GetWhoChangedRaw();
  return who == wcvCommand || who == wcvSwitcher;
}

void UpdateRunUntilEnabling() {
  const auto until = GetIndex(S().RunUntil);
  S().FailWfms->SetDisabled(until != mruFailedWfms);
  S().FailSmpls->SetDisabled(until != mruFailedSmpls);
  S().NWfms->SetDisabled(until != mruWfms);
  S().NSamples->SetDisabled(until != mruSamples);
}

void UpdateActionEnabling() {
  const bool save = (S().Action->GetMask() >> maSave & 1u) != 0;
  S().FileFormat->SetDisabled(!save);
  S().FileName->SetDisabled(!save);
}

void ActionChanged(THandler& h) {
  TCheckSwHandler& action = *S().Action;
  if (action.GetLastButton() == maSave && action.GetLastState()) {
    if (h.GetWhoChangedRaw() == wcvSwitcher) {
      const fs::path stem = MaskFileStem();
      const auto chosen = Dialogs().ChooseFile(
          {.Save = true,
           .Title = GetLangStr("SaveWaveformAs"),
           .Filter =
               "Binary format (*.wfm)|*.wfm|Verbose format (*.txt)|*.txt|Y values formats (*.txty)|*.txty",
           .FilterIndex = GetIndex(S().FileFormat),
           .FileName = stem.filename().string(),
           .Folder = stem.parent_path().string()});
      if (chosen) {
        fs::path name(chosen->FileName);
        if (!name.has_parent_path()) name = fs::path(chosen->Folder) / name;
        S().FileStem = name.replace_extension().string();
        S().FileCounter = 0;
        LinkHooks.SystemBeep();
      } else {
        action.SetButtonByProgram(maSave, false);
      }
    } else if (S().FileStem.empty()) {
      S().FileStem = MaskFileStem();
    }
  }
  UpdateActionEnabling();
}

void TestChanged(THandler&) {
  BreakAcquisition(true);
  if (!MaskTestOn()) return;
  if (!MaskObj) {
    S().Test->SetOnByProgram(false);
    return;
  }
  SwitchOffOtherAnalyses(kMaskMenuId);
  ShowMaskResults();
}

// A client's test with no mask to test against is refused before the switch moves: it
// would pass every waveform. A recall without a mask leaves the test off (TestChanged).
void TestBeforeChange(THandler& h) {
  if (!MaskObj && !MaskTestOn() && h.GetWhoChangedRaw() == wcvCommand)
    throw ERefusedCommand(GetLangStr("NoMaskToTest"));
}

fs::path UserMaskFile() { return S().UserMaskStem + ".pcm"; }

void MaskFileCommand(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  if (isQuery) {
    if (S().UserMaskStem.empty()) S().UserMaskStem = (DataFolders().MaskUserDir / "Noname").string();
    reply = " " + UserMaskFile().string();
    return;
  }
  const std::string_view param = TrimBlanks(rawParam);
  if (!param.empty())
    S().UserMaskStem = ConfinedStem(param, S().UserMaskFolder, DataFolders().MaskUserDir, ".pcm");
}

void FileNameCommand(const std::string& rawParam, bool isQuery, uint8_t, std::string& reply) {
  if (isQuery) {
    if (S().FileStem.empty()) S().FileStem = MaskFileStem();
    reply = NextMaskFileName();
    return;
  }
  const std::string_view param = TrimBlanks(rawParam);
  if (!param.empty())
    S().FileStem = ConfinedStem(param, S().FileFolder, DataFolders().MaskTestFilesDir, "-00000.txty");
  S().FileCounter = 0;
}

std::string StandardsListText() {
  std::string text = " =";
  const TListOfStandards& list = StandardsList();
  for (int i = 0; i < list.UsableCount; ++i)
    if (const TStandardEntry* entry = list.Usable(i))
      text += "\r\n" + std::to_string(i) + ": " + entry->StandardName + ";";
  return text;
}

void ReadChosenStandard() {
  if (const TStandardEntry* standard = StandardsList().Usable(S().StdIndex->Value()))
    ReadStandardMaskFiles(DataFolders().MaskStandardDir / standard->FolderName, false);
  else
    StandardMasksInCurrent().Items.clear();
}

std::string MasksListText() {
  ReadChosenStandard();
  std::string text = " =";
  const auto& items = StandardMasksInCurrent().Items;
  for (size_t i = 0; i < items.size(); ++i) {
    text += "\r\n" + std::to_string(i) + ": " + items[i].MaskName + ";   " + items[i].BitRateText;
    if (!items[i].TypeOfLineText.empty()) text += ";   " + items[i].TypeOfLineText;
    text += ";";
  }
  return text;
}

int StdMargin() { return IsOn(S().StdMarginsOn) ? S().StdMarginsVal->Value() : 0; }

// A standard mask loaded again with the margin now chosen.
void ReloadStandardMask() {
  const TCurrentMask& mask = CurrentMask();
  if (mask.Kind != mkEye && mask.Kind != mkPulse) return;
  if (mask.MarginPercent == StdMargin()) return;
  SaveMaskUndo();
  // Its own file again, wherever a mask added since has moved it in the list.
  LocateCurrentMask();
  LoadStandardMask(mask.StdIndex, mask.MaskIndex, StdMargin());
  UpdateMaskMenuEnabling();
}

void StdIndexChanged(THandler& h) {
  ReadChosenStandard();
  S().StdMaskIndex->SetMax(std::max<int>(0, static_cast<int>(StandardMasksInCurrent().Items.size()) - 1));
  if (h.GetWhoChangedRaw() == wcvReplay) FollowRecalledMask();
}

void MaskIndexChanged(THandler& h) {
  // A recalled row is the mask's, which a mask stored since may have moved.
  if (h.GetWhoChangedRaw() == wcvReplay) FollowRecalledMask();
  const int index = S().StdMaskIndex->Value();
  if (ByUser(h) && index >= 0) {
    SaveMaskUndo();
    LoadStandardMask(S().StdIndex->Value(), index, 0);
    UpdateMaskMenuEnabling();
  }
  const TCurrentMask& mask = CurrentMask();
  const bool thatMask = (mask.Kind == mkEye || mask.Kind == mkPulse) &&
                        mask.StdIndex == S().StdIndex->Value() && mask.MaskIndex == index;
  if (thatMask && mask.MarginsType != mtNone) {
    S().StdMarginsOn->SetOnByProgram(true);
    S().StdMarginsVal->SetValueByProgram(mask.MarginPercent);
  } else if (h.GetWhoChangedRaw() == wcvProgram) {
    S().StdMarginsOn->SetOnByProgram(false);
  }
}

// An unchanged value runs no change: a command naming the index already chosen loads
// that mask all the same.
void MaskIndexBeforeSet(double& value, TEditHandler& h) {
  // The rows as they are now: the value is held to them.
  ReadChosenStandard();
  if (h.GetWhoChangedRaw() == wcvCommand && !std::isnan(value) &&
      std::nearbyint(std::clamp(value, h.GetMin(), h.GetMax())) == h.GetValue())
    MaskIndexChanged(h);
}

TIntEditHandler* AddCount(const char* path, const char* unit) {
  return RootSpider->AddIntEdit({.Path = path,
                                 .Value = 1,
                                 .Unit = unit,
                                 .Digits = 6,
                                 .Min = 1,
                                 .Mid = 1,
                                 .Max = 1000000,
                                 .CoarseRule = sr1_2_5,
                                 .CoarseStep = 1,
                                 .FineRule = srLinear,
                                 .FineStep = 1});
}

}  // namespace

void RegisterMaskHandlers() {
  TSpider& root = *RootSpider;
  TMaskState& s = S();
  s.EraseMask = root.AddRightCommand("Mask:EraseMask", [](THandler&) {
    SaveMaskUndo();
    ClearCurrentMask();
    UpdateMaskMenuEnabling();
  });
  s.EraseMask->SetDisabled(!MaskObj);
  s.CompareWith = root.AddRadioSw(0, "Mask:CompareWith", "Ch1,Ch2", [](THandler&) {
    if (MaskTestOn()) ShowMaskResults();
    RefreshMaskDisplay();
  });
  s.Test = root.AddOnOff(false, "Mask:Test", TestChanged, TestBeforeChange);
  s.MaskFile = root.AddGpibString("Mask:MaskFile", MaskFileCommand);
  s.SaveUser = root.AddRightCommand("Mask:SaveUser", [](THandler&) {
    const fs::path file = ConfinedFile(UserMaskFile());
    RunFailingCommand([&] { return SaveUserMask(file); });
  });
  s.LoadUser = root.AddRightCommand("Mask:LoadUser", [](THandler&) {
    const fs::path file = ConfinedFile(UserMaskFile());
    SaveMaskUndo();
    RunFailingCommand([&] {
      const bool loaded = LoadUserMask(file);
      UpdateMaskMenuEnabling();
      return loaded;
    });
  });
  s.RunUntil = root.AddRadioSw(mruStopBtn, "Mask:RunUntil", "StopBtn,FailedWfms,FailedSmpls,Wfms,Samples",
                               [](THandler&) { UpdateRunUntilEnabling(); });
  s.FailWfms = AddCount("Mask:FailWfms", "Wfm");
  s.FailSmpls = AddCount("Mask:FailSmpls", "Smpl");
  s.NWfms = AddCount("Mask:NWfms", "Wfm");
  s.NSamples = AddCount("Mask:NSamples", "Smpl");
  s.Action = root.AddCheckSw(0, "Mask:Action", "Beep,Save", ActionChanged);
  s.FileFormat = root.AddRadioSw(mffBinary, "Mask:FileFormat", "Binary,Verbose,YOnly");
  s.FileName = root.AddGpibString("Mask:FileName", FileNameCommand);

  // Only the traces with a record can be masked: the others are no items, so a command
  // naming one changes nothing.
  s.AutoSource =
      root.AddSignalSourceSw(0, "Automask:Source", "Ch1,Ch1B2,Ch2,Ch2B2,F1,F2,F3,F4,M1,M2,M3,M4,S1,S2", 0,
                             [](THandler&) { RefreshAutomaskControls(); });
  s.AutoUnit =
      root.AddRadioSw(0, "Automask:Unit", "Division,Current", [](THandler&) { RefreshAutomaskControls(); });
  s.AutoDeltaX = root.AddDoubleEdit({.Path = "Automask:DeltaX",
                                     .Value = 0.2,
                                     .Unit = "div",
                                     .FormatMode = vfGeneral,
                                     .Digits = 3,
                                     .Min = 0.02,
                                     .Mid = 0.2,
                                     .Max = 2,
                                     .CoarseRule = srLinear,
                                     .CoarseStep = 0.1,
                                     .FineRule = srLinear,
                                     .FineStep = 0.02,
                                     .Tolerance = 0.002});
  s.AutoDeltaY = root.AddDoubleEdit({.Path = "Automask:Deltay",
                                     .Value = 0.25,
                                     .Unit = "div",
                                     .FormatMode = vfGeneral,
                                     .Digits = 3,
                                     .Min = 0.03125,
                                     .Mid = 0.25,
                                     .Max = 2,
                                     .CoarseRule = srLinear,
                                     .CoarseStep = 0.125,
                                     .FineRule = srLinear,
                                     .FineStep = 0.03125,
                                     .Tolerance = 0.003125});
  for (THandler* h : std::initializer_list<THandler*>{s.AutoSource, s.AutoUnit, s.AutoDeltaX, s.AutoDeltaY})
    h->SetInternal(true);
  s.BuildAMask = root.AddRightCommand("Automask:BuildAMask", [](THandler&) {
    BuildAutomaskFromSettings();
    UpdateMaskMenuEnabling();
  });

  s.StdAlign = root.AddOnOff(false, "StdMask:Align", [](THandler&) {
    StdMaskOptions().Align = IsOn(S().StdAlign);
    if (StdMaskOptions().Align) ApplyMaskAlignment();
  });
  s.StdMarginsOn = root.AddOnOff(false, "StdMask:MarginsOn", [](THandler& h) {
    S().StdMarginsVal->SetDisabled(!IsOn(S().StdMarginsOn));
    if (ByUser(h)) ReloadStandardMask();
  });
  s.StdMarginsVal = root.AddIntEdit({.Path = "StdMask:MarginsVal",
                                     .Value = 0,
                                     .Unit = "%",
                                     .Min = -100,
                                     .Mid = 0,
                                     .Max = 100,
                                     .CoarseRule = srLinear,
                                     .CoarseStep = 5,
                                     .FineRule = srLinear,
                                     .FineStep = 1,
                                     .OnChange = [](THandler& h) {
                                       if (ByUser(h)) ReloadStandardMask();
                                     }});
  s.StdMarginsVal->SetDisabled(true);
  s.StdIndex = root.AddIntEdit({.Path = "StdMask:StdIndex",
                                .Value = 0,
                                .Min = 0,
                                .Max = 16,
                                .CoarseRule = srLinear,
                                .CoarseStep = 1,
                                .FineRule = srLinear,
                                .FineStep = 1,
                                .OnChange = StdIndexChanged});
  s.StdMaskIndex = root.AddIntEdit({.Path = "StdMask:MaskIndex",
                                    .Value = 0,
                                    .Min = -1,
                                    .Max = 32,
                                    .CoarseRule = srLinear,
                                    .CoarseStep = 1,
                                    .FineRule = srLinear,
                                    .FineStep = 1,
                                    .OnChange = MaskIndexChanged,
                                    .OnBeforeSet = MaskIndexBeforeSet});
  for (THandler* h : std::initializer_list<THandler*>{s.StdAlign, s.StdMarginsOn, s.StdMarginsVal, s.StdIndex,
                                                      s.StdMaskIndex})
    h->SetNoUndoStep(true);
  root.AddGpibString("StdMask:StdsList", [](const std::string&, bool isQuery, uint8_t, std::string& reply) {
    if (isQuery) reply = StandardsListText();
  });
  root.AddGpibString("StdMask:MasksList", [](const std::string&, bool isQuery, uint8_t, std::string& reply) {
    if (isQuery) reply = MasksListText();
  });
  root.AddGpibString("Mask:Res", [](const std::string& param, bool isQuery, uint8_t, std::string& reply) {
    if (isQuery) reply = MaskRemoteCommand(param);
  });
  UpdateRunUntilEnabling();
  UpdateActionEnabling();
  // The test waits while the histogram is on.
  static TSwitcherLink histAxis(UpdateMaskMenuEnabling);
  histAxis.Bind(root.FindHandler("Hist:Axis"));
}

void RegisterMaskResultObject() {
  S().MaskObject = RootSpider->AddComplexObject("NOGPIB:Mask", [](std::string& text, bool, bool apply) {
    MaskSetupKeys(text, apply);
    if (!apply) return;
    LocateCurrentMask();
    UpdateMaskMenuEnabling();
  });
}

void ApplyMaskSettings() {
  S().UserMaskStem = (DataFolders().MaskUserDir / "Noname").string();
  S().UserMaskFolder.clear();
  StdMaskOptions().Align = IsOn(S().StdAlign);
  UpdateRunUntilEnabling();
  UpdateActionEnabling();
  UpdateMaskMenuEnabling();
}

}  // namespace norv
