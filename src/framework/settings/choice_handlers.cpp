#include "framework/settings/choice_handlers.h"

#include "framework/settings/settings_recall.h"
#include "framework/settings/undo_ring.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/errors.h"

namespace norv {

namespace {

const char* OnOffText(bool on) { return on ? "ON" : "OFF"; }

bool IsOnWord(std::string_view word) { return word == "1" || SameTextAscii(word, "ON"); }
bool IsOffWord(std::string_view word) { return word == "0" || SameTextAscii(word, "OFF"); }

std::string JoinItems(const TItemList& items, uint32_t mask) {
  std::string text;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!(mask & (1u << i))) continue;
    if (!text.empty()) text += ",";
    text += items[i];
  }
  return text;
}

uint32_t AllButtons(int count) { return count >= 32 ? 0xFFFFFFFFu : (1u << count) - 1; }

// The setup and undo form of a complex object's state. A state that a command line would
// not give back as it is (a ';' ends the command, blanks at either end are cut, a line
// break ends the setup line, a byte that is not UTF-8 changes on the way through the
// file) is written in quotes, with '%', '"', ';' and every byte outside printable ASCII
// as %HH. Any other state is written as it is, as it always was.
bool IsControl(char c) { return IsBlankOrControl(c) && c != ' '; }

bool NeedsQuotes(std::string_view state) {
  if (state.empty()) return false;
  if (IsBlankOrControl(state.front()) || IsBlankOrControl(state.back()) || state.front() == '"') return true;
  for (const char c : state)
    if (c == ';' || IsControl(c) || c == '\x7F') return true;
  return DecodeText(state).encoding != TTextEncoding::Utf8;
}

std::string QuotedState(std::string_view state) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text = "\"";
  for (const char c : state) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= ' ' && b < 0x7F && c != '%' && c != '"' && c != ';') {
      text += c;
      continue;
    }
    text += '%';
    text += kHex[b >> 4];
    text += kHex[b & 0xF];
  }
  return text + "\"";
}

int HexDigit(char c) {
  if (IsAsciiDigit(c)) return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The state of a setup or undo line: the quoted form unquoted; anything else (the lines
// of older setups) as it stands.
std::string StateFromSetupForm(std::string_view text) {
  if (text.size() < 2 || text.front() != '"' || text.back() != '"') return std::string(text);
  const std::string_view inner = text.substr(1, text.size() - 2);
  std::string state;
  for (size_t i = 0; i < inner.size(); ++i) {
    if (inner[i] == '"') return std::string(text);
    if (inner[i] != '%') {
      state += inner[i];
      continue;
    }
    const int hi = i + 2 < inner.size() ? HexDigit(inner[i + 1]) : -1;
    const int lo = hi >= 0 ? HexDigit(inner[i + 2]) : -1;
    if (lo < 0) return std::string(text);
    state += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return state;
}

std::string SetupFormOfState(const std::string& state) {
  return NeedsQuotes(state) ? QuotedState(state) : state;
}

}  // namespace

TItemList CommaTextToStrings(std::string_view text, bool upper) {
  TItemList items;
  std::string item;
  bool pending = false;
  for (const char c : text) {
    if (c == ',') {
      items.push_back(std::move(item));
      item.clear();
      pending = false;
      continue;
    }
    if (IsBlankOrControl(c)) continue;
    item += upper ? UpperAscii(c) : c;
    pending = true;
  }
  if (pending) items.push_back(std::move(item));
  return items;
}

int FindItem(const TItemList& items, std::string_view name) {
  for (size_t i = 0; i < items.size(); ++i)
    if (SameTextAscii(items[i], name)) return static_cast<int>(i);
  return -1;
}

uint32_t GetMaskForButtinNr(int n) {
  if (n < 0 || n > 31) throw EAssertion("ERROR in GetMaskForButtinNr - Number of Button > 31");
  return 1u << n;
}

// ---------------------------------------------------------------------------------------
// Radio

TRadioSwHandler::TRadioSwHandler(uint8_t index, std::string_view items, THandlerEvent onChange,
                                 THandlerEvent onBeforeChange)
    : THandler(std::move(onChange), std::move(onBeforeChange)),
      items_(CommaTextToStrings(items, true)),
      index_(index) {}

std::string TRadioSwHandler::ItemName(int index) const {
  return index >= 0 && index < GetCount() ? items_[index] : std::string();
}

void TRadioSwHandler::SetIndex(uint8_t index) {
  if (index >= GetCount()) return;
  ChangeValue(index != index_, [&] { index_ = index; });
}

void TRadioSwHandler::SetIndexByProgram(uint8_t index) {
  TOriginScope origin(*this, wcvProgram);
  SetIndex(index);
}

void TRadioSwHandler::SetIndexBySwitcher(uint8_t index) {
  TOriginScope origin(*this, wcvSwitcher);
  SetIndex(index);
}

void TRadioSwHandler::SetDisabledMask(uint32_t mask) {
  disabled_mask_ = mask;
  NotifySwitchers();
}

void TRadioSwHandler::SetItems(std::string_view items) {
  items_ = CommaTextToStrings(items, true);
  index_ = 0;
}

std::string TRadioSwHandler::Execute(const std::string& param, bool isQuery, bool replay) {
  const int index = FindItem(items_, param);
  if (index >= 0) SetIndex(static_cast<uint8_t>(index));
  return isQuery ? ValueAnswer(ItemName(index_), replay) : std::string();
}

// ---------------------------------------------------------------------------------------
// On/off

TOnOffHandler::TOnOffHandler(bool on, THandlerEvent onChange, THandlerEvent onBeforeChange)
    : THandler(std::move(onChange), std::move(onBeforeChange)), on_(on) {}

TOnOffHandler::~TOnOffHandler() {
  if (HeaderHandler == this) HeaderHandler = nullptr;
}

void TOnOffHandler::SetOn(bool on) {
  ChangeValue(on != on_, [&] { on_ = on; });
}

void TOnOffHandler::SetOnByProgram(bool on) {
  TOriginScope origin(*this, wcvProgram);
  SetOn(on);
}

void TOnOffHandler::SetOnBySwitcher(bool on) {
  TOriginScope origin(*this, wcvSwitcher);
  SetOn(on);
}

std::string TOnOffHandler::Execute(const std::string& param, bool isQuery, bool replay) {
  if (IsOnWord(param))
    SetOn(true);
  else if (IsOffWord(param))
    SetOn(false);
  return isQuery ? ValueAnswer(OnOffText(on_), replay) : std::string();
}

// ---------------------------------------------------------------------------------------
// Check set

TCheckSwHandler::TCheckSwHandler(uint32_t mask, std::string_view items, THandlerEvent onChange,
                                 THandlerEvent onBeforeChange)
    : THandler(std::move(onChange), std::move(onBeforeChange)), items_(CommaTextToStrings(items, true)) {
  if (!items_.empty()) GetMaskForButtinNr(GetCount() - 1);
  mask_ = mask & AllButtons(GetCount());
}

void TCheckSwHandler::SetDisabledMask(uint32_t mask) {
  if (mask == disabled_mask_) return;
  disabled_mask_ = mask;
  NotifySwitchers();
}

void TCheckSwHandler::SetButton(int index, bool on) {
  if (index < 0 || index >= GetCount()) return;
  const uint32_t bit = GetMaskForButtinNr(index);
  const bool changed = ((mask_ & bit) != 0) != on;
  if (!changed && !ForceNotify) return;
  last_button_ = static_cast<uint8_t>(index);
  last_state_ = on;
  ChangeValue(changed, [&] { mask_ = on ? mask_ | bit : mask_ & ~bit; });
}

void TCheckSwHandler::SetButtonBySwitcher(int index, bool on) {
  TOriginScope origin(*this, wcvSwitcher);
  SetButton(index, on);
}

void TCheckSwHandler::SetButtonByProgram(int index, bool on) {
  TOriginScope origin(*this, wcvProgram);
  SetButton(index, on);
}

void TCheckSwHandler::SetMask(uint32_t mask, TMaskMode mode) {
  uint32_t target = mask;
  if (mode == smInclude) target = mask_ | mask;
  if (mode == smExclude) target = mask_ & ~mask;
  target &= AllButtons(GetCount());
  // ForceNotify runs every button, so that each one's OnChange is called.
  const uint32_t touched = ForceNotify ? AllButtons(GetCount()) : mask_ ^ target;
  // One new set is one undo step: only the first switched button may open a step, and
  // its undo line holds the whole set as it was.
  struct TStepScope {
    THandler& h;
    const bool saved;
    explicit TStepScope(THandler& handler) : h(handler), saved(handler.GetNoUndoStep()) {}
    ~TStepScope() { h.SetNoUndoStep(saved); }
  } step(*this);
  auto switchButton = [&](int i, bool on) {
    SetButton(i, on);
    SetNoUndoStep(true);
  };
  for (int i = 0; i < GetCount(); ++i)
    if ((touched & (1u << i)) && !(target & (1u << i))) switchButton(i, false);
  for (int i = 0; i < GetCount(); ++i)
    if ((touched & (1u << i)) && (target & (1u << i))) switchButton(i, true);
}

void TCheckSwHandler::SetMaskByProgram(uint32_t mask) {
  TOriginScope origin(*this, wcvProgram);
  SetMask(mask, smAssign);
}

uint32_t TCheckSwHandler::MnemonicsToMask(std::string_view list) const {
  uint32_t mask = 0;
  for (const std::string& name : CommaTextToStrings(list, true)) {
    const int index = FindItem(items_, name);
    if (index >= 0) mask |= 1u << index;
  }
  return mask;
}

std::string TCheckSwHandler::SetText() const {
  const std::string names = JoinItems(items_, mask_);
  return names.empty() ? "ClearALL" : names;
}

std::string TCheckSwHandler::Execute(const std::string& param, bool isQuery, bool replay) {
  const size_t blank = param.find(' ');
  std::string word = blank == std::string::npos ? std::string() : param.substr(0, blank);
  std::string rest = blank == std::string::npos ? param : param.substr(blank + 1);
  if (word.empty() && SameTextAscii(rest, "CLEARALL")) std::swap(word, rest);
  // A query that names one button alone ("X:CHK:B?") reads that button; it must not
  // make the set that one button.
  if (word.empty() && isQuery && FindItem(items_, rest) >= 0) std::swap(word, rest);

  if (SameTextAscii(word, "CLEARALL")) {
    SetMask(0, smAssign);
  } else if (SameTextAscii(word, "INCLUDE")) {
    SetMask(MnemonicsToMask(rest), smInclude);
  } else if (SameTextAscii(word, "EXCLUDE")) {
    SetMask(MnemonicsToMask(rest), smExclude);
  } else if (!word.empty()) {
    const int index = FindItem(items_, word);
    if (index < 0) return std::string();
    if (IsOnWord(rest)) SetButton(index, true);
    if (IsOffWord(rest)) SetButton(index, false);
    if (!isQuery) return std::string();
    const std::string state = OnOffText(mask_ & (1u << index));
    return HeaderOn() ? ":" + UpperAscii(word) + " " + state : state;
  } else if (const uint32_t listed = MnemonicsToMask(rest); listed != 0) {
    // A list that names no button at all ("X:CHK:NOSUCH?") is ignored like any unknown
    // name; only "CLEARALL" empties the set.
    SetMask(listed, smAssign);
  }
  return isQuery ? ValueAnswer(SetText(), replay) : std::string();
}

// ---------------------------------------------------------------------------------------
// Main command

TMainCommandHandler::TMainCommandHandler(bool* boolVar, std::string_view onOffMnemonics,
                                         std::string_view menuMnemonics, THandlerEvent whatDo,
                                         int32_t defaultItem)
    : THandler(std::move(whatDo)),
      bool_var_(boolVar),
      on_off_items_(CommaTextToStrings(onOffMnemonics, true)),
      menu_items_(CommaTextToStrings(menuMnemonics, false)),
      default_item_(defaultItem),
      current_item_(defaultItem) {
  if (!on_off_items_.empty() && on_off_items_.size() != 2)
    throw EAssertion("OnOffMnemonic must contain 2 mnemonics");
  if (bool_var_ && !menu_items_.empty()) throw EAssertion("If Bool defined - MenuMnemonic must be empty");
  if (!bool_var_ && !OnChange) throw EAssertion("If Bool Undefined - aWhatDo is necessary");
  if (!bool_var_ && !on_off_items_.empty())
    throw EAssertion("If Bool Undefined - OnOffMnemonic must be empty");
}

TMainCommandHandler::TState TMainCommandHandler::GetState() const {
  return {bool_var_ != nullptr, !on_off_items_.empty(), default_item_ >= 0,
          static_cast<int>(menu_items_.size())};
}

void TMainCommandHandler::RunAction() {
  if (OnChange) OnChange(*this);
}

std::string TMainCommandHandler::Execute(const std::string& param, bool isQuery, bool) {
  // A query answers the command's state and runs nothing: a script asking whether a run
  // goes on must not start one.
  if (isQuery) return QueryAnswer();
  if (bool_var_) {
    bool assigned = false;
    if (on_off_items_.empty()) {
      *bool_var_ = true;
      assigned = true;
    } else if (const int index = FindItem(on_off_items_, param); index >= 0) {
      *bool_var_ = index == 1;
      assigned = true;
    }
    if (assigned) RunAction();
    NotifySwitchers();
    return std::string();
  }
  if (!menu_items_.empty()) {
    current_item_ = FindItem(menu_items_, param);
    if (current_item_ >= 0) default_item_ = current_item_;
    RunAction();
    NotifySwitchers();
    return std::string();
  }
  RunAction();
  return std::string();
}

std::string TMainCommandHandler::QueryAnswer() const {
  if (bool_var_) {
    const std::string value =
        on_off_items_.empty() ? OnOffText(*bool_var_) : on_off_items_[*bool_var_ ? 1 : 0];
    return (HeaderOn() ? " " : "") + value;
  }
  return DefaultItemAnswer();
}

bool TMainCommandHandler::KnowsParameter(std::string_view param) const {
  if (param.empty()) return true;
  if (!menu_items_.empty()) return FindItem(menu_items_, param) >= 0;
  if (!on_off_items_.empty()) return FindItem(on_off_items_, param) >= 0;
  return bool_var_ && IsOnWord(param);
}

std::string TMainCommandHandler::DefaultItemAnswer() const {
  if (default_item_ < 0 || default_item_ >= static_cast<int>(menu_items_.size())) return std::string();
  return (HeaderOn() ? " " : "") + menu_items_[default_item_];
}

void TMainCommandHandler::SetBySwitcher(int32_t value) {
  TOriginScope origin(*this, wcvSwitcher);
  if (!menu_items_.empty()) {
    current_item_ = value;
    if (value >= 0) default_item_ = value;
    RunAction();
    NotifySwitchers();
  } else if (bool_var_) {
    const bool on = value != 0;
    if (on == *bool_var_) return;
    *bool_var_ = on;
    RunAction();
    NotifySwitchers();
  } else {
    RunAction();
  }
}

void TMainCommandHandler::ExecuteBySwitcher() {
  if (UndoBuffer) UndoBuffer->BeginStep();
  TOriginScope origin(*this, wcvSwitcher);
  RunAction();
}

// ---------------------------------------------------------------------------------------
// Right command

TRightCommandHandler::TRightCommandHandler(THandlerEvent action) : THandler(std::move(action)) {}

std::string TRightCommandHandler::Execute(const std::string& param, bool isQuery, bool) {
  // A button takes no word. A parameter here is mostly a relative path that went on past
  // the button ("Save:Setup:FileName A;Save:Setup:Recall" reaches Save with "SETUP:RECALL"):
  // running it would save over a kept file.
  if (!param.empty()) {
    const std::string path = HandlerPath(this);
    throw EAssertion("ERROR!  Unexpected parameter \"" + EchoedInput(param) + "\"; " +
                     (path.empty() ? std::string("the command") : path) + " takes none");
  }
  if (isQuery) return std::string();
  struct TBusyScope {
    TRightCommandHandler& h;
    explicit TBusyScope(TRightCommandHandler& handler) : h(handler) {
      h.busy_ = true;
      h.NotifySwitchers();
    }
    ~TBusyScope() {
      h.busy_ = false;
      h.NotifySwitchers();
    }
  } busy(*this);
  if (UndoBuffer) UndoBuffer->BeginStep();
  if (OnChange) OnChange(*this);
  return std::string();
}

// ---------------------------------------------------------------------------------------
// Sources

TSourceSwHandler::TSourceSwHandler(std::string_view items, uint32_t excludedMask, THandlerEvent onChange,
                                   THandlerEvent onBeforeChange)
    : THandler(std::move(onChange), std::move(onBeforeChange)),
      items_(CommaTextToStrings(items, true)),
      excluded_mask_(excludedMask) {
  // A change of any display colour repaints the source controls.
  for (size_t i = 0; i < colour_links_.size(); ++i) {
    colour_links_[i] = std::make_unique<TSwitcherLink>([this] { UpdateMyColors(); });
    colour_links_[i]->Bind(DisplayColorNodes[i]);
  }
}

TSourceSwHandler::~TSourceSwHandler() = default;

std::string TSourceSwHandler::ItemName(int index) const {
  return index >= 0 && index < static_cast<int>(items_.size()) ? items_[index] : std::string();
}

bool TSourceSwHandler::IsItemEnabled(int index) const {
  return index >= 0 && index < 32 && (enabled_mask_ & (1u << index));
}

void TSourceSwHandler::SetItemEnabled(int index, bool on) {
  const uint32_t bit = GetMaskForButtinNr(index);
  enabled_mask_ = on ? enabled_mask_ | bit : enabled_mask_ & ~bit;
  if (CommandsRegistered && OnChange) OnChange(*this);
}

void TSourceSwHandler::SetSourceBySwitcher(int index) {
  TOriginScope origin(*this, wcvSwitcher);
  SetSourceIndex(index);
}

void TSourceSwHandler::UpdateMyColors() {
  colours_changed_ = true;
  NotifySwitchers();
  colours_changed_ = false;
}

void TSourceSwHandler::NotifyEnabledChanged() {
  enabled_changed_ = true;
  NotifySwitchers();
  enabled_changed_ = false;
}

std::string TSourceSwHandler::Execute(const std::string& param, bool isQuery, bool replay) {
  if (SameTextAscii(param, "ENABLED")) {
    if (!isQuery) return "ERROR";
    return (HeaderOn() ? ":ENABLED " : "") + JoinItems(items_, enabled_mask_);
  }
  // An excluded source is no item of this setting: naming it changes nothing.
  const int index = FindItem(items_, param);
  if (index >= 0 && !(index < 32 && (excluded_mask_ & (1u << index)))) SetSourceIndex(index);
  return isQuery ? ValueAnswer(ItemName(GetSourceIndex()), replay) : std::string();
}

TSignalSourceSwHandler::TSignalSourceSwHandler(TTraceId source, std::string_view items, uint32_t excludedMask,
                                               THandlerEvent onChange, THandlerEvent onBeforeChange)
    : TSourceSwHandler(items, excludedMask, std::move(onChange), std::move(onBeforeChange)),
      source_(source),
      enablity_link_([this] { UpdateEnabledSources(); }) {
  if (HandlerSignalEnablity)
    enablity_link_.Bind(HandlerSignalEnablity.get());  // runs UpdateEnabledSources at once
  else
    UpdateEnabledSources();
}

void TSignalSourceSwHandler::SetSource(TTraceId source) {
  ChangeValue(source != source_, [&] { source_ = source; });
}

void TSignalSourceSwHandler::SetSourceByProgram(TTraceId source) {
  TOriginScope origin(*this, wcvProgram);
  SetSource(source);
}

void TSignalSourceSwHandler::SetSourceIndex(int index) {
  if (const auto id = TraceIdFromInt(index); id && index < static_cast<int>(Items().size())) SetSource(*id);
}

void TSignalSourceSwHandler::UpdateEnabledSources() {
  bool changed = false;
  const int last = std::min<int>(TraceIndex(TTraceId::Const), static_cast<int>(Items().size()) - 1);
  for (int id = 0; id <= last; ++id) {
    const auto trace = static_cast<TTraceId>(id);
    const bool shown = trace == TTraceId::Const || SignalsOn.IsOn(trace);
    const bool wanted = shown && !(GetExcludedMask() & (1u << id));
    if (wanted == IsItemEnabled(id)) continue;
    SetItemEnabled(id, wanted);
    changed = true;
  }
  if (changed) NotifyEnabledChanged();
}

// ---------------------------------------------------------------------------------------
// Free text and complex objects

TGpibStringHandler::TGpibStringHandler(TGpibCallback callback, uint8_t flag)
    : callback_(std::move(callback)), flag_(flag) {}

std::string TGpibStringHandler::Execute(const std::string& param, bool isQuery, bool) {
  std::string reply;
  if (!isQuery && param.empty()) return reply;
  if (callback_) callback_(param, isQuery, flag_, reply);
  return reply;
}

TComplexObjectHandler::TComplexObjectHandler(TComplexStateCallback stateCallback)
    : state_callback_(std::move(stateCallback)) {}

std::string TComplexObjectHandler::Execute(const std::string& param, bool isQuery, bool replay) {
  if (!state_callback_) throw EAssertion("NO FUNCTION");
  // Setups and undo lines carry the state in their own form; remote callers see it bare.
  std::string text = replay ? StateFromSetupForm(param) : param;
  if (!isQuery) {
    // The object it replaces goes to the undo ring as any setting's old value does: an
    // undo of a recall gives it back.
    std::string present;
    state_callback_(present, true, false);
    if (present != text) WriteUndo([&] { return SetupFormOfState(present); });
    state_callback_(text, true, true);
    return std::string();
  }
  text.clear();
  state_callback_(text, true, false);
  return " " + (replay ? SetupFormOfState(text) : text);
}

void TComplexObjectHandler::SaveUndo(bool flag) {
  if (!state_callback_) throw EAssertion("NO FUNCTION");
  std::string text;
  state_callback_(text, flag, false);
  TOriginScope origin(*this, flag ? wcvReplay : wcvSwitcher);
  WriteUndo([&] { return SetupFormOfState(text); });
}

}  // namespace norv
