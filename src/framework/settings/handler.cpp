#include "framework/settings/handler.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "framework/settings/procedure_setup.h"
#include "framework/settings/settings_recall.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/errors.h"

namespace norv {

THandlerState HandlerState;
const TProgramUnit HandlerUnit("change protocol", [] { HandlerState = {}; });
constinit TOwned<THandlerSignalEnablity>& HandlerSignalEnablity = ProgramObjects.HandlerSignalEnablity;

// ---------------------------------------------------------------------------------------
// TSwitcherLink

void TSwitcherLink::Bind(THandler* handler) {
  if (handler == bound_) return;
  Unbind();
  if (!handler) return;
  bound_ = handler;
  handler->RegisterSwitcher(this);
}

void TSwitcherLink::Unbind() {
  if (!bound_) return;
  THandler* handler = bound_;
  bound_ = nullptr;
  if (handler->IsBound(this)) handler->UnregisterSwitcher(this);
}

// ---------------------------------------------------------------------------------------
// THandler

THandler::THandler(THandlerEvent onChange, THandlerEvent onBeforeChange)
    : OnChange(std::move(onChange)), OnBeforeChange(std::move(onBeforeChange)) {}

THandler::~THandler() {
  // Nobody may keep a pointer to a freed handler: controls are told, undo lines dropped.
  // One at a time, so that a control freed by another one's reaction unbinds itself
  // from the list and is never called.
  while (!switchers_.empty()) {
    ISwitcher* switcher = switchers_.front();
    switchers_.erase(switchers_.begin());
    switcher->HandlerReplaced(nullptr);
  }
  if (UndoBuffer) UndoBuffer->ReplaceHandler(this, nullptr);
  TProcedureSetup::ReplaceHandler(this, nullptr);
  for (THandler*& node : DisplayColorNodes)
    if (node == this) node = nullptr;
}

bool THandler::IsBound(const ISwitcher* switcher) const {
  return std::find(switchers_.begin(), switchers_.end(), switcher) != switchers_.end();
}

void THandler::RegisterSwitcher(ISwitcher* switcher) {
  if (IsBound(switcher)) throw EAssertion("ERROR!  This Switcher already Registered");
  switchers_.push_back(switcher);
  switcher->UpdateFromHandler();
}

void THandler::UnregisterSwitcher(ISwitcher* switcher) {
  if (switchers_.empty()) throw EAssertion("ERROR!  Switchers List Empty");
  auto it = std::find(switchers_.begin(), switchers_.end(), switcher);
  if (it == switchers_.end()) throw EAssertion("ERROR!  This Switcher not Found in Handler");
  switchers_.erase(it);
}

void THandler::NotifySwitchers() {
  // A control may unbind (even be freed) while another one is being updated: each one
  // is called only while it is still bound. A lone one needs no copy of the list.
  if (switchers_.size() == 1) {
    switchers_.front()->UpdateFromHandler();
    return;
  }
  const std::vector<ISwitcher*> snapshot = switchers_;
  for (ISwitcher* switcher : snapshot)
    if (IsBound(switcher)) switcher->UpdateFromHandler();
}

void THandler::HandOverTo(THandler& replacement) {
  // Moved one at a time, as in the destructor; a control freed meanwhile has unbound itself
  // from one of the two lists and is not called.
  std::vector<ISwitcher*> moved;
  while (!switchers_.empty()) {
    ISwitcher* switcher = switchers_.front();
    switchers_.erase(switchers_.begin());
    if (!replacement.IsBound(switcher)) replacement.switchers_.push_back(switcher);
    moved.push_back(switcher);
    switcher->HandlerReplaced(&replacement);
  }
  for (ISwitcher* switcher : moved)
    if (replacement.IsBound(switcher)) switcher->UpdateFromHandler();
  if (UndoBuffer) UndoBuffer->ReplaceHandler(this, &replacement);
  TProcedureSetup::ReplaceHandler(this, &replacement);
  for (THandler*& node : DisplayColorNodes)
    if (node == this) node = &replacement;
}

void THandler::SetDisabled(bool disabled) {
  if (disabled == disabled_) return;
  disabled_ = disabled;
  NotifySwitchers();
  if (OnDisabledChange) OnDisabledChange(disabled);
}

THandler::TOriginScope::TOriginScope(THandler& handler, TWhoChanged who)
    : handler_(handler), saved_(std::exchange(handler.who_changed_, who)) {
  ++HandlerState.ChangeDepth;
}

THandler::TOriginScope::~TOriginScope() {
  handler_.who_changed_ = saved_;
  --HandlerState.ChangeDepth;
}

TWhoChanged THandler::GetWhoChanged() const {
  if (who_changed_ == wcvUnknown) throw EAssertion("WhoChangedVariable = wcvUnknown");
  return who_changed_;
}

std::string THandler::ExecCmd(const std::string& param, bool isQuery, bool replay) {
  TOriginScope origin(*this, replay ? wcvReplay : wcvCommand);
  if (replay && !isQuery) NoteRecallLineSets(*this);
  // Set by a command or a recall, even to the value it holds: the value stays, and a
  // procedure working on it ends first.
  if (!isQuery) TProcedureSetup::BeforeSetByOther(*this);
  return Execute(param, isQuery, replay);
}

std::string THandler::Execute(const std::string&, bool, bool) { return {}; }

std::string THandler::SetupAnswerOf(const std::string& undoText) const { return ValueAnswer(undoText, true); }

void THandler::ExecuteBySwitcher() {
  if (UndoBuffer) UndoBuffer->BeginStep();
  TOriginScope origin(*this, wcvSwitcher);
  if (OnChange) OnChange(*this);
}

void THandler::UpdateMyColors() {
  throw EAssertion("UpdateMyColors must be called only for Edit or SourcesComboBox");
}

void THandler::WriteUndo(const std::function<std::string()>& oldText) {
  if (internal_ || TProcedureSetup::RecordChange(*this, oldText)) return;
  if (!UndoBuffer || !UndoBuffer->Enabled) return;
  const std::optional<std::string> before = TProcedureSetup::ValueBeforeProcedures(*this);
  const TWhoChanged who = GetWhoChanged();
  if ((who == wcvSwitcher || who == wcvCommand) && !no_undo_step_) UndoBuffer->BeginStep();
  WriteUndoLine([&] { return before ? *before : oldText(); });
}

void THandler::WriteUndoLine(const std::function<std::string()>& oldText) {
  if (!UndoBuffer || !UndoBuffer->Enabled || internal_ || UndoBuffer->Stamp() <= undo_stamp_) return;
  UndoBuffer->WriteItem(oldText(), this);
  undo_stamp_ = UndoBuffer->Stamp();
}

void THandler::ChangeValue(bool changed, const std::function<void()>& store, bool recordUndo) {
  if (!changed && !ForceNotify) return;
  if (changed && who_changed_ == wcvSwitcher) TProcedureSetup::BeforeSetByOther(*this);
  if (changed && OnBeforeChange) OnBeforeChange(*this);
  // The old value's text is made only when it is recorded: an item's first change in an
  // undo step is, the others are not.
  if (recordUndo) WriteUndo([this] { return UndoText(); });
  store();
  if (changed && who_changed_ != wcvReplay) NoteRecallNotHeld(*this);
  if (changed) NotifySwitchers();
  if (OnChange) OnChange(*this);
}

// ---------------------------------------------------------------------------------------
// Settings batch

void BeginSettingsBatch() {
  ++HandlerState.SettingsBatchDepth;
  SettingsBatchActive = true;
}

void EndSettingsBatch() {
  int& depth = HandlerState.SettingsBatchDepth;
  if (depth > 0) --depth;
  if (depth > 0) return;
  SettingsBatchActive = false;
  if (SettingsBatchDeferred) {
    SettingsBatchDeferred = false;
    OnSettingsBatchEnd();
  }
}

// ---------------------------------------------------------------------------------------
// TSignalsOn

void TSignalsOn::Reset() {
  on_.fill(false);
  for (TTraceId id : {TTraceId::Ch1, TTraceId::Ch2, TTraceId::Hist, TTraceId::Const})
    on_[TraceIndex(id)] = true;
}

void TSignalsOn::SetOn(TTraceId id, bool on) {
  on_[TraceIndex(id)] = on;
  if (HandlerSignalEnablity) HandlerSignalEnablity->NotifySwitchers();
  if (!on) OnSignalSwitchedOff(id);
  OnSignalOnChanged(id);
}

}  // namespace norv
