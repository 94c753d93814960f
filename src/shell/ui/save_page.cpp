#include "shell/ui/save_page.h"

#include <functional>

#include "controls/menu_pages.h"
#include "framework/settings/choice_handlers.h"
#include "shell/save/save_recall.h"

namespace norv {

namespace {

enum TSavePage { spMemories = 1, spDisk = 2, spSetup = 3 };

// Heights: a choice of n rows of 14 pixels below its caption strip; a plain button.
constexpr int RadioHeight(int rows) { return 20 + 14 * rows; }
constexpr int kButtonHeight = 22;

// A command drawn as one plain button over the whole control, its caption on the button.
template <class Base>
class TPlainButton final : public Base {
 public:
  TPlainButton(QWidget* parent, const TSwitcherFields& fields) : Base(parent, fields) {
    this->SetNoFrame(true);
    this->resize(this->width(), kButtonHeight);
  }
};
using TPageButton = TPlainButton<TRC_RightPassiveCommandSwitcher>;
using TCommandButton = TPlainButton<TRC_RightCommandSwitcher>;

TSwitcherDecl Button(const char* caption, const char* name) {
  return Sw<TPageButton>({.Caption = caption, .Name = name});
}
TSwitcherDecl Command(const char* mnemonics, const char* caption, const char* name) {
  return Sw<TCommandButton>({.Mnemonics = mnemonics, .Caption = caption, .Name = name});
}
TSwitcherDecl Memories(const char* mnemonics, const char* caption, const char* name) {
  return Sw<TRC_RadioSwitcher>({.Mnemonics = mnemonics,
                                .Caption = caption,
                                .Height = RadioHeight(2),
                                .Items = {"M1", "M2", "M3", "M4"},
                                .Columns = 2,
                                .Name = name});
}

TMenuDecl SaveMenu() {
  // clang-format off
  return {
      .Name = "Save_Form",
      .Caption = "Save/Recall",
      .Pages = {
          {.Number = spMemories,
           .Panels = {{.Name = "rmpMemories", .Group = "Save:Memo", .Caption = "Memories", .Switchers = {
               Sw<TRC_CheckSwitcher>({.Mnemonics = "On", .Caption = "Waveform Memory", .Height = RadioHeight(2),
                                      .Items = {"M1", "M2", "M3", "M4"}, .Columns = 2, .Name = "chswMemoOn"}),
               Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "Source", .Caption = "Source",
                                             .Name = "ssswSourceWfm"}),
               Memories("ToMemo", "...to Memory", "rswToMemo"),
               Command("Save", "Save Waveform", "rcswSaveWfm"),
               Button("Disk...", "pcswGotoDisk"),
               Button("Setup...", "pcswGotoSetup")}}}},
          {.Number = spDisk,
           .Panels = {{.Name = "rmpDisk", .Group = "Save:Disk", .Caption = "Disk", .Switchers = {
               Sw<TRC_RadioSwitcher>({.Mnemonics = "FileType", .Caption = "File Type", .Height = RadioHeight(2),
                                      .Items = {"Waveform", "Database"}, .Name = "rswFileType"}),
               Sw<TRC_SignalSourceSwitcher>({.Mnemonics = "Source", .Caption = "Source",
                                             .Name = "ssswSourceForSave"}),
               Sw<TRC_RadioSwitcher>({.Mnemonics = "NameMode", .Caption = "File Name ", .Height = RadioHeight(2),
                                      .Items = {"Manual", "Auto"}, .Name = "rswFileNameMode"}),
               Button("Save...", "pcswSaveToDisk"),
               Memories("ToMemo", "...to Memory", "rswLoadToMemory"),
               Button("Load...", "pcswLoadFromDisk"),
               Button("Back", "SaveBack2")}}}},
          {.Number = spSetup,
           .Panels = {{.Name = "rmpSetup", .Group = "Save:Setup", .Caption = "Setup", .Switchers = {
               Command("RecFact", "Recall Factory", "rcswRecallFactory"),
               Command("RecLast", "Recall Power Off", "rcswRclLastPowerOff"),
               Command("SvAsDefault", "Save as Default", "rcswSaveAsDefault"),
               Button("Recall Setup...", "pcswRecallSetup"),
               Button("Save Setup...", "pcswSaveSetup"),
               Button("Back", "SaveBack3")}}}},
      },
      // The memory page's buttons and "Back" turn the pages.
      .OwnPageTurns = true};
  // clang-format on
}

// A database is fed by its own source, and has no name mode and no memory to load into;
// the controls left close up.
void FollowFileType(TDeclaredSideMenu& menu) {
  const bool db = GetIndex(SaveState.FileType) == 1;
  menu.Control<TRC_SignalSourceSwitcher>("ssswSourceForSave").SetMnemonics(db ? "DbSource" : "Source");
  menu.Control<TRC_RadioSwitcher>("rswFileNameMode").setVisible(!db);
  menu.Control<TRC_RadioSwitcher>("rswLoadToMemory").setVisible(!db);
  // The disk page from the top; the waveform-only controls go while the type is Db.
  menu.StackShown({"rswFileType", "ssswSourceForSave", "rswFileNameMode", "pcswSaveToDisk", "rswLoadToMemory",
                   "pcswLoadFromDisk", "SaveBack2"});
}

void WireSaveMenu(TDeclaredSideMenu& menu, int) {
  const auto onClick = [&menu](const char* name, std::function<void()> action) {
    menu.Control<TRC_RightPassiveCommandSwitcher>(name).OnUpdateMe =
        [action = std::move(action)](TRC_Switcher&) { action(); };
  };
  const auto turn = [&](const char* name, int page) {
    onClick(name, [&menu, page] { menu.ShowPage(page); });
  };
  turn("pcswGotoDisk", spDisk);
  turn("pcswGotoSetup", spSetup);
  turn("SaveBack2", spMemories);
  turn("SaveBack3", spMemories);
  onClick("pcswSaveToDisk", DiskSaveByDialog);
  onClick("pcswLoadFromDisk", DiskLoadByDialog);
  onClick("pcswRecallSetup", RecallSetupByDialog);
  onClick("pcswSaveSetup", SaveSetupByDialog);
  menu.Control<TRC_RadioSwitcher>("rswFileType").OnUpdateMe = [&menu](TRC_Switcher&) {
    FollowFileType(menu);
  };
}

}  // namespace

void RegisterSavePage() { RegisterSideMenu(kSaveMenuId, SaveMenu(), WireSaveMenu); }

}  // namespace norv
