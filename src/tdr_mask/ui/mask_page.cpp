#include "tdr_mask/ui/mask_page.h"

#include "controls/menu_pages.h"
#include "controls/side_menu.h"
#include "display/scope_crt.h"
#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/dialog_service.h"
#include "instrument/startup/program_folders.h"
#include "tdr_mask/mask_editor.h"
#include "tdr_mask/mask_files.h"
#include "tdr_mask/mask_object.h"
#include "tdr_mask/mask_testing.h"
#include "tdr_mask/ui/std_mask_dialogs.h"

namespace norv {

namespace {

TSwitcherDecl Command(const char* caption, const char* name, int help) {
  return Sw<TRC_RightPassiveCommandSwitcher>(
      {.Caption = caption, .Items = {caption}, .HelpContext = help, .Name = name});
}
TSwitcherDecl Back(const char* name) { return Command("Back", name, 0); }

TMenuDecl MaskMenu() {
  return {
      .Name = "Mask_Form",
      .Caption = "Mask Test",
      .Pages = {{.Number = mpTest,
                 .Panels = {{.Name = "rmpMaskTest",
                             .Group = "Mask",
                             .Caption = "Mask Test",
                             .Switchers = {Command("Create Mask...", "pcsCreateMask", 901),
                                           Sw<TRC_RightCommandSwitcher>({.Mnemonics = "EraseMask",
                                                                         .Caption = "Erase Mask",
                                                                         .Items = {"Erase Mask"},
                                                                         .HelpContext = 902}),
                                           Command("Run Until/Action...", "pcsRunUntilAction", 905),
                                           Sw<TRC_RadioSwitcher>({.Mnemonics = "CompareWith",
                                                                  .Caption = "Compare with",
                                                                  .Items = {"Ch1", "Ch2"},
                                                                  .Columns = 2,
                                                                  .HelpContext = 903}),
                                           Sw<TRC_OnOffSwitch>(
                                               {.Mnemonics = "Test", .Caption = "Test", .HelpContext = 904})},
                             .HelpContext = 900}}},
                {.Number = mpRunUntil,
                 .Panels = {{.Name = "rmpRunUntilAction",
                             .Group = "Mask",
                             .Caption = "Run Until/Action",
                             .Switchers = {Sw<TRC_RadioSwitcher>(
                                               {.Mnemonics = "RunUntil",
                                                .Caption = "Run Until",
                                                .Height = 20 + 5 * 14,
                                                .Items = {"Stop / Single", "Failed Wfms", "Failed Samples",
                                                          "Waveforms", "Samples"},
                                                .HelpContext = 941}),
                                           Sw<TRC_EditSwitcher>({.Mnemonics = "FailWfms",
                                                                 .Caption = "# OF",
                                                                 .HelpContext = 942,
                                                                 .Name = "eswNumberOf"}),
                                           Sw<TRC_CheckSwitcher>({.Mnemonics = "Action",
                                                                  .Caption = "Select Action",
                                                                  .Items = {"Beep", "Save"},
                                                                  .HelpContext = 943}),
                                           Back("pcsBackRunUntil")},
                             .HelpContext = 940}}},
                {.Number = mpCreate,
                 .Panels = {{.Name = "rmpCreateMask",
                             .Group = "Mask",
                             .Caption = "Create Mask",
                             .Switchers = {Command("Standard Mask...", "pcsStandardMask", 911),
                                           Command("Automask...", "pcsAutomask", 912),
                                           Command("Edit Mask...", "pcsEditMask", 913),
                                           Command("Recall User Mask", "pcsRecallUserMask", 914),
                                           Command("Save User Mask", "pcsSaveUserMask", 915),
                                           Command("Save Mask As Std", "pcsSaveMaskAsStd", 916),
                                           Back("pcsBackCreate")},
                             .HelpContext = 910}}},
                {.Number = mpAutomask,
                 .Panels = {{.Name = "rmpAutomask",
                             .Group = "Automask",
                             .Caption = "Automask",
                             .Switchers = {Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "Source",
                                                                         .Caption = "Source",
                                                                         .HelpContext = 921}),
                                           Sw<TRC_RadioSwitcher>({.Mnemonics = "Unit",
                                                                  .Caption = "Units",
                                                                  .Items = {"Division", "Current"},
                                                                  .HelpContext = 922}),
                                           Sw<TRC_EditSwitcher>({.Mnemonics = "DeltaX",
                                                                 .Caption = "DELTA X",
                                                                 .HelpContext = 923}),
                                           Sw<TRC_EditSwitcher>({.Mnemonics = "Deltay",
                                                                 .Caption = "DELTA Y",
                                                                 .HelpContext = 924}),
                                           Sw<TRC_RightCommandSwitcher>({.Mnemonics = "BuildAMask",
                                                                         .Caption = "Build Automask",
                                                                         .Items = {"Build Automask"},
                                                                         .HelpContext = 925}),
                                           Back("pcsBackAutomask")},
                             .HelpContext = 920}}},
                {.Number = mpEdit,
                 .Panels = {{.Name = "rmpEditMask",
                             .Group = "Mask",
                             .Caption = "Edit Mask",
                             .Switchers = {Command("Add Point", "pcsAddPoint", 931),
                                           Command("Delete Point", "pcsDeletePoint", 932),
                                           Command("Add Polygon", "pcsAddPolygon", 933),
                                           Command("Delete Polygon", "pcsDeletePolygon", 934),
                                           Command("Delete Mask", "pcsDeleteMask", 935), Back("pcsBackEdit")},
                             .HelpContext = 930}}},
                {.Number = mpScale,
                 .Panels = {{.Name = "rmpScaleMask",
                             .Group = "Mask",
                             .Caption = "Scale Mask",
                             .Switchers = {Command("Mask Autoset", "pcsMaskAutoset", 951),
                                           Command("Mask Alignment", "pcsMaskAlignment", 952),
                                           Command("Invert Mask", "pcsInvertMask", 953),
                                           Command("X1 POSITION", "pcsX1Position", 954),
                                           Command("DELTA X POSITION", "pcsDeltaXPosition", 955),
                                           Command("Y2 POSITION", "pcsY2Position", 956),
                                           Command("Y1POSITION", "pcsY1Position", 957), Back("pcsBackScale")},
                             .HelpContext = 950}}}},
      .OwnPageTurns = true};
}

// Editing ends when the mask is left: the mask object is built from the slots again.
void EndMaskEditing() { SetMaskEditMode(false); }

class TMask_Form : public TDeclaredSideMenu {
 public:
  using TDeclaredSideMenu::TDeclaredSideMenu;
  void BeforeMenuChange() override { EndMaskEditing(); }
  void ShowPage(int page) override {
    // Without a mask only the test, create and automask panels make sense.
    const bool editing = CurrentMask().EditorActive;
    if (page == mpEdit && !editing) page = mpCreate;
    if (!MaskObj && !editing && page != mpTest && page != mpCreate && page != mpAutomask) page = mpTest;
    TDeclaredSideMenu::ShowPage(page);
    UpdateEnabling();
  }
  void UpdateEnabling() {
    const TCurrentMask& mask = CurrentMask();
    const bool exists = MaskObj != nullptr;
    Control<TRC_RightPassiveCommandSwitcher>("pcsSaveUserMask").setEnabled(exists);
    Control<TRC_RightPassiveCommandSwitcher>("pcsSaveMaskAsStd").setEnabled(exists);
    Control<TRC_RightPassiveCommandSwitcher>("pcsDeleteMask").setEnabled(mask.PolygonCount > 0);
    Control<TRC_RightPassiveCommandSwitcher>("pcsDeletePolygon").setEnabled(mask.SelectedPolygon >= 0);
    Control<TRC_RightPassiveCommandSwitcher>("pcsAddPoint").setEnabled(mask.SelectedVertex >= 0);
    Control<TRC_RightPassiveCommandSwitcher>("pcsDeletePoint").setEnabled(mask.SelectedVertex >= 0);
    Control<TRC_RightPassiveCommandSwitcher>("pcsAddPolygon").setEnabled(mask.PolygonCount < 8);
  }
};

// The "# OF" edit follows the run-until choice.
void BindCountEdit(TDeclaredSideMenu& menu) {
  static constexpr const char* kNodes[] = {"FailWfms", "FailWfms", "FailSmpls", "NWfms", "NSamples"};
  static constexpr const char* kKeys[] = {"NOFFAILEDWFM", "NOFFAILEDWFM", "NOFFAILEDSMPL", "NOFWAVEFORMS",
                                          "NOFSAMPLES"};
  const int until = std::min<int>(GetIndex(MaskSettings().RunUntil), 4);
  auto& edit = menu.Control<TRC_EditSwitcher>("eswNumberOf");
  edit.SetMnemonics(kNodes[until]);
  edit.SetCaption(QString::fromStdString(GetLangStr(kKeys[until])));
}

std::optional<std::string> ChooseMaskFile(bool save) {
  const std::optional<TFileChoice> choice =
      Dialogs().ChooseFile({.Save = save,
                            .Title = GetLangStr(save ? "SaveMaskAs" : "RecallMask"),
                            .Filter = "Mask file (*.pcm)|*.pcm",
                            .Folder = DataFolders().MaskUserDir.string()});
  if (!choice) return std::nullopt;
  return WithoutOwnExtension(choice->FileName) + ".pcm";
}

void WireMaskMenu(TDeclaredSideMenu& base, int) {
  auto& menu = static_cast<TMask_Form&>(base);
  const auto turn = [&menu](const char* name, int page, std::function<void()> before = {}) {
    menu.Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [&menu, page, before](TRC_Switcher&) {
      if (before) before();
      menu.ShowPage(page);
    };
  };
  turn("pcsCreateMask", mpCreate, [] {
    if (MaskTestOn()) {
      MaskSettings().Test->SetOnByProgram(false);
      if (ScopeCRT) ScopeCRT->BottomText().Clear();
    }
  });
  turn("pcsRunUntilAction", mpRunUntil);
  turn("pcsAutomask", mpAutomask);
  turn("pcsBackRunUntil", mpTest);
  turn("pcsBackCreate", mpTest);
  turn("pcsBackScale", mpTest);
  turn("pcsBackAutomask", mpCreate);
  turn("pcsBackEdit", mpCreate, [] { EndMaskEditing(); });
  turn("pcsEditMask", mpEdit, [] {
    SaveMaskUndo();
    TCurrentMask& mask = CurrentMask();
    mask.Kind = mkUser;
    mask.SetMarginPercent(0);
    mask.MarginPolygonCount = 0;
    SetMaskEditMode(true);
  });
  turn("pcsDeleteMask", mpEdit, [] {
    SaveMaskUndo();
    CurrentMask().Kind = mkUser;
    ClearCurrentMask();
    UpdateMaskMenuEnabling();
  });
  menu.Control<TRC_RightPassiveCommandSwitcher>("pcsRecallUserMask").OnUpdateMe = [&menu](TRC_Switcher&) {
    if (const auto name = ChooseMaskFile(false)) {
      SaveMaskUndo();
      LoadUserMask(*name);
      UpdateMaskMenuEnabling();
      menu.UpdateEnabling();
    }
  };
  menu.Control<TRC_RightPassiveCommandSwitcher>("pcsSaveUserMask").OnUpdateMe = [](TRC_Switcher&) {
    if (const auto name = ChooseMaskFile(true)) SaveUserMask(*name);
  };
  const auto edit = [&menu](const char* name, void (*action)()) {
    menu.Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe = [&menu, action](TRC_Switcher&) {
      action();
      menu.UpdateEnabling();
    };
  };
  edit("pcsAddPoint", MaskEditInsertVertex);
  edit("pcsDeletePoint", MaskEditDeleteVertex);
  edit("pcsAddPolygon", MaskEditStartPolygon);
  edit("pcsDeletePolygon", MaskEditDeletePolygon);
  // Its page opens only while the rule can be set (a mask, no histogram in the way).
  const auto followRunUntil = [&menu] {
    BindCountEdit(menu);
    menu.Control<TRC_RightPassiveCommandSwitcher>("pcsRunUntilAction")
        .setEnabled(!MaskSettings().RunUntil->IsDisabled());
  };
  menu.Control<TRC_RadioSwitcher>("rswRunUntil").OnUpdateMe = [followRunUntil](TRC_Switcher&) {
    followRunUntil();
  };
  menu.Control<TRC_RightCommandSwitcher>("rcsBuildAMask").OnUpdateMe = [&menu](TRC_Switcher&) {
    menu.UpdateEnabling();
  };
  menu.Control<TRC_RightPassiveCommandSwitcher>("pcsStandardMask").OnUpdateMe = [&menu](TRC_Switcher&) {
    SaveMaskUndo();
    TStdMaskFrm dialog(&menu);
    dialog.exec();
    UpdateMaskMenuEnabling();
    menu.UpdateEnabling();
  };
  menu.Control<TRC_RightPassiveCommandSwitcher>("pcsSaveMaskAsStd").OnUpdateMe = [&menu](TRC_Switcher&) {
    TfrmStdMaskStoreDlg dialog(&menu);
    dialog.exec();
  };
  // Not built yet: the mask scaling commands.
  for (const char* name : {"pcsMaskAutoset", "pcsMaskAlignment", "pcsInvertMask", "pcsX1Position",
                           "pcsDeltaXPosition", "pcsY2Position", "pcsY1Position"})
    menu.Control<TRC_RightPassiveCommandSwitcher>(name).setEnabled(false);
  // Their texts need the whole width.
  for (TRC_RightPassiveCommandSwitcher* command : menu.findChildren<TRC_RightPassiveCommandSwitcher*>())
    command->SetNoFrame(true);
  followRunUntil();
}

}  // namespace

void RegisterMaskPage() {
  MaskEditorHooks.RefreshEditPage.Set([] {
    for (const QPointer<TSideMenuForm>& form : SideMenuForms)
      if (auto* mask = dynamic_cast<TMask_Form*>(form.data())) mask->UpdateEnabling();
  });
  const TMenuDecl decl = MaskMenu();
  RegisterSideMenuFactory(kMaskMenuId, [decl](QWidget* owner, int panel) -> TSideMenuForm* {
    auto* menu = new TMask_Form(owner, decl);
    try {
      WireMaskMenu(*menu, panel);
    } catch (...) {
      delete menu;
      throw;
    }
    return menu;
  });
}

}  // namespace norv
