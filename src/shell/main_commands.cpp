#include "shell/main_commands.h"

#include <memory>
#include <string>
#include <utility>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/text/text_encoding.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/acquisition/procedures.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/settings/settings_hooks.h"
#include "shell/save/save_recall.h"
#include "shell/setup_files.h"
#include "shell/shell_state.h"

namespace norv {

TMainCommandsState MainCommands;

namespace {

const TProgramUnit MainCommandsUnit("main commands", [] { MainCommands = {}; });

// A main command that refuses a parameter it does not know, rather than running its
// action with no item, and a query with one: a query only answers.
class TCheckedMainCommand final : public TMainCommandHandler {
 public:
  // hint: ends the refusal of an unknown parameter, naming what was likely meant.
  TCheckedMainCommand(bool* boolVar, std::string_view onOff, std::string_view menu, THandlerEvent action,
                      int32_t defaultItem, std::string hint)
      : TMainCommandHandler(boolVar, onOff, menu, std::move(action), defaultItem), hint_(std::move(hint)) {}

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override {
    if (isQuery && !param.empty())
      throw EAssertion("ERROR!  A query of this command runs nothing: \"" + EchoedInput(param) +
                       "\" was not run");
    if (!KnowsParameter(param))
      throw EAssertion("ERROR!  Unknown item \"" + EchoedInput(param) + "\"; " + Expected() + hint_);
    return TMainCommandHandler::Execute(param, isQuery, replay);
  }

 private:
  const std::string hint_;
  std::string Expected() const {
    const TItemList& items = !MenuItems().empty() ? MenuItems() : OnOffItems();
    if (items.empty())
      return HandlerPath(this) + (GetState().BoundToBool ? " takes ON or none" : " takes none");
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
    return "expected one of " + text;
  }
};

TMainCommandHandler* Add(std::string_view path, bool* boolVar, std::string_view onOff, std::string_view menu,
                         THandlerEvent action, int32_t defaultItem = -1, std::string hint = {}) {
  auto handler = std::make_unique<TCheckedMainCommand>(boolVar, onOff, menu, std::move(action), defaultItem,
                                                       std::move(hint));
  return static_cast<TMainCommandHandler*>(RootSpider->AddItem(path, std::move(handler)));
}

// The acquisition starts afresh at the next idle step.
void SetAcqRestartFlags() {
  LinkHooks.ResetPointStore();
  LinkHooks.ClearAcqStarted();
}

void ShowBothAcqStatus() {
  AcqHooks.ShowAcqStatus(2, !RunFlag && !SingleFlag);
  AcqHooks.ShowAcqStatus(3, !RunFlag && !SingleFlag);
}

void ClearDisplayCommand(THandler&) {
  BreakAcquisition(true);
  ShellHooks.RebuildScreens();
  ShellHooks.ClearAnalyses();
  ShellHooks.RedrawBottomStrip();
}

void RunCommand(THandler&) {
  NoteRunSetByActor();
  ShellHooks.ResetLimitAndDatabaseDisplay();
  SetAcqRestartFlags();
  SingleFlag = false;
  if (MainCommands.StopSingle) MainCommands.StopSingle->NotifySwitchers();
  SettingsHooks.RefreshSamplingRateCells();
  ShowBothAcqStatus();
}

void StopSingleCommand(THandler&) {
  // A Stop or Single is a way out of the procedure that holds the acquisition: it ends as
  // its Cancel ends it, and the run then stays as this command leaves it. (The close ends
  // every procedure itself, without a word.)
  NoteRunSetByActor();
  const bool single = SingleFlag;
  if (!ClosingFlag) CancelProcedureForStop();
  SingleFlag = single;
  ShellHooks.ResetLimitAndDatabaseDisplay();
  SetAcqRestartFlags();
  StopRun();
  if (!SingleFlag) {
    BreakAcquisition(true);
    // A recording ends with the acquisition, as the next idle step would end it, so that a
    // client hears a write that fails. A close or a change of instrument goes on whatever
    // the write does.
    if (GuiReady && !ClosingFlag) RunFailingCommand(SaveDatabaseAtStop);
  }
  ShowBothAcqStatus();
}

void AutoscaleCommand(THandler& h) {
  ShellHooks.StartAutoscale(EffectiveItem(static_cast<TMainCommandHandler&>(h), 0));
}

void DefaultSetupCommand(THandler& h) {
  const int32_t item = EffectiveItem(static_cast<TMainCommandHandler&>(h), kSetupDefault);
  // A click on a command line of the program's own is not asked about a failed save; a
  // remote client gets it as its answer.
  const bool toldOfSave = h.GetWhoChangedRaw() != wcvCommand || DialogsSuppressed();
  RunFailingCommand([item, toldOfSave] {
    switch (item) {
      case kSetupFactory:
        return RecallSetup(TSetupKind::Factory, true);
      case kSetupPowerOff:
        return RecallSetup(TSetupKind::PowerOff, true);
      case kSetupSaveAsDef:
        return SaveSetup(TSetupKind::Default, toldOfSave);
      default:
        return RecallSetup(TSetupKind::Default, true);
    }
  });
}

// Named without an item it undoes, whatever was chosen before.
void UndoCommand(THandler& h) {
  // The steps written while a procedure runs hold, for the settings it set for itself, the
  // values from before it: an undo before its end would pull them from under it. The
  // jitter analysis is a mode the user leaves on: an undo that reaches its settings ends it.
  if (const TProcedure running = RunningProcedure(); TakesTheRun(running)) {
    FailCommand(FormatLangStr("UndoWaitsForProcedure", ProcedureName(running)));
    return;
  }
  UndoRedoSettings(static_cast<TMainCommandHandler&>(h).GetCurrentItem() == 1, false);
}

void CopyCommand(THandler& h) {
  ShellHooks.CopyPicture(EffectiveItem(static_cast<TMainCommandHandler&>(h), kCopyFullWindow));
}

void PrintCommand(THandler& h) {
  if (EffectiveItem(static_cast<TMainCommandHandler&>(h), 0) == 1) {
    ShellHooks.PrinterSetup();
    return;
  }
  // A remote client prints at once; a click asks first.
  if (h.GetWhoChangedRaw() != wcvCommand &&
      Dialogs().Ask(TMessageKind::Confirmation, GetLangStr("WantToPrint"), {TAnswer::Yes, TAnswer::No},
                    TAnswer::No) != TAnswer::Yes)
    return;
  ShellHooks.PrintWindow();
}

void HelpModeCommand(THandler& h) {
  switch (static_cast<TMainCommandHandler&>(h).GetCurrentItem()) {
    case 0:
      ShellHooks.OpenHelp(1);
      break;
    case 1:
      ShellHooks.ShowAbout();
      break;
    default:
      ShellHooks.EnterHelpMode();
      break;
  }
}

}  // namespace

int32_t EffectiveItem(const TMainCommandHandler& handler, int32_t fallback) {
  if (handler.GetCurrentItem() >= 0) return handler.GetCurrentItem();
  if (handler.GetDefaultItem() >= 0) return handler.GetDefaultItem();
  return fallback;
}

void RegisterMainCommands() {
  MainCommands.ClrDispl = Add("*ClrDispl", nullptr, "", "", ClearDisplayCommand);
  MainCommands.Run = Add("*Run", &RunFlag, "", "", RunCommand, -1, "; a run stops with \"*StopSingle Stop\"");
  MainCommands.StopSingle = Add("*StopSingle", &SingleFlag, "Stop,Single", "", StopSingleCommand);
  MainCommands.Autoscale = Add("*Autoscale", nullptr, "", "Auto,SingleVal,NRZ,RZ", AutoscaleCommand, 0);
  MainCommands.DefSetup =
      Add("*DefSetup", nullptr, "", "Default,Factory,PowerOff,SaveAsDef", DefaultSetupCommand);
  MainCommands.Undo = Add("*Undo", nullptr, "", "Undo,Redo", UndoCommand);
  MainCommands.Copy =
      Add("*Copy", nullptr, "", "FullScreen,FullWindow,ClientPart,InvClientPart,ScopeScreen,InvScopeScr",
          CopyCommand, kCopyFullWindow);
  MainCommands.Print = Add("*Print", nullptr, "", "Print,PrinterSetup", PrintCommand);
  MainCommands.Help = Add("SHADOW:Help", nullptr, "", "1,2", HelpModeCommand);

  AcqHooks.NotifyRunSwitchers.Set([] {
    if (MainCommands.Run) MainCommands.Run->NotifySwitchers();
  });
  AcqHooks.NotifyStopSingleSwitchers.Set([] {
    if (MainCommands.StopSingle) MainCommands.StopSingle->NotifySwitchers();
  });
}

void UndoRedoSettings(bool redo, bool clearRedo) {
  if (!UndoBuffer || (redo ? UndoBuffer->RedoEmpty : UndoBuffer->UndoEmpty)) return;
  ReplayUndoStep(redo);
  if (clearRedo) UndoBuffer->ClearRedo();
  ShellHooks.AfterUndoReplay();
}

}  // namespace norv
