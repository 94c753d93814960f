#pragma once
// Handlers of choices and commands: one-of-N choices, on/off switches, sets of buttons,
// main-menu and side-menu commands, a trace chosen as signal source, free-text commands
// answered by their owner and whole objects serialised as text.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"

namespace norv {

using TItemList = std::vector<std::string>;

// Splits "Multi, Single" into its items; blanks and control characters are dropped, ","
// ends an item. With upper the ASCII letters are upper-cased.
TItemList CommaTextToStrings(std::string_view text, bool upper);
// The index of `name` in `items`, ignoring case; -1 when absent.
int FindItem(const TItemList& items, std::string_view name);

// 1 << n for a button number 0..31.
uint32_t GetMaskForButtinNr(int n);

// One of N options; the index of the option is the value.
class TRadioSwHandler : public THandler {
 public:
  TRadioSwHandler(uint8_t index, std::string_view items, THandlerEvent onChange = {},
                  THandlerEvent onBeforeChange = {});

  uint8_t GetIndex() const { return index_; }
  int GetCount() const { return static_cast<int>(items_.size()); }
  uint32_t GetDisabledMask() const { return disabled_mask_; }
  const TItemList& Items() const { return items_; }
  std::string ItemName(int index) const;

  void SetIndex(uint8_t index);
  void SetIndexByProgram(uint8_t index);
  void SetIndexBySwitcher(uint8_t index);
  // Greys options in bound controls (they stay selectable by command); always notifies.
  void SetDisabledMask(uint32_t mask);
  // A new option list; the index goes to 0 without notification.
  void SetItems(std::string_view items);

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;
  std::string UndoText() const override { return ItemName(index_); }

 private:
  TItemList items_;
  uint8_t index_;
  uint32_t disabled_mask_ = 0;
};
// 0 for a missing handler.
inline uint8_t GetIndex(const TRadioSwHandler* h) { return h ? h->GetIndex() : 0; }

class TOnOffHandler : public THandler {
 public:
  explicit TOnOffHandler(bool on, THandlerEvent onChange = {}, THandlerEvent onBeforeChange = {});
  ~TOnOffHandler() override;

  bool IsOn() const { return on_; }
  void SetOn(bool on);
  void SetOnByProgram(bool on);
  void SetOnBySwitcher(bool on);

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;
  std::string UndoText() const override { return on_ ? "ON" : "OFF"; }

 private:
  bool on_;
};
// False for a missing handler.
inline bool IsOn(const TOnOffHandler* h) { return h && h->IsOn(); }

// A set of up to 32 buttons, each on or off.
class TCheckSwHandler : public THandler {
 public:
  enum TMaskMode : uint8_t { smAssign = 0, smInclude = 1, smExclude = 2 };

  TCheckSwHandler(uint32_t mask, std::string_view items, THandlerEvent onChange = {},
                  THandlerEvent onBeforeChange = {});

  uint32_t GetMask() const { return mask_; }
  int GetCount() const { return static_cast<int>(items_.size()); }
  uint32_t GetDisabledMask() const { return disabled_mask_; }
  const TItemList& Items() const { return items_; }
  // The button being switched and its new state, for the callbacks.
  uint8_t GetLastButton() const { return last_button_; }
  bool GetLastState() const { return last_state_; }

  // Notifies only on a change.
  void SetDisabledMask(uint32_t mask);
  // One button; the change protocol runs once per switched button.
  void SetButton(int index, bool on);
  void SetButtonBySwitcher(int index, bool on);
  void SetButtonByProgram(int index, bool on);
  // Switches the buttons to go off one by one in item order, then those to go on.
  void SetMask(uint32_t mask, TMaskMode mode);
  void SetMaskByProgram(uint32_t mask);
  // The bits of the listed items (comma list; unknown names are ignored).
  uint32_t MnemonicsToMask(std::string_view list) const;
  // The names of the buttons that are on, "," between them, or "ClearALL".
  std::string SetText() const;

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;
  std::string UndoText() const override { return SetText(); }

 private:
  TItemList items_;
  uint32_t mask_;
  uint32_t disabled_mask_ = 0;
  uint8_t last_button_ = 0;
  bool last_state_ = false;
};

// A main command (Run, Stop/Single, Autoscale ...). Its action is OnChange. It may be
// bound to a Boolean of its owner (optionally with an off/on pair of names), or carry a
// menu of choices; it never records undo. A query only answers: the Boolean's state (its
// pair's name), else the default item's name; nothing runs and nothing is set.
class TMainCommandHandler : public THandler {
 public:
  TMainCommandHandler(bool* boolVar, std::string_view onOffMnemonics, std::string_view menuMnemonics,
                      THandlerEvent whatDo, int32_t defaultItem = -1);

  struct TState {
    bool BoundToBool = false;
    bool HasOnOffPair = false;
    bool HasDefault = false;
    int MenuCount = 0;
  };
  TState GetState() const;
  bool GetBool() const { return bool_var_ && *bool_var_; }
  int32_t GetCurrentItem() const { return current_item_; }
  int32_t GetDefaultItem() const { return default_item_; }
  const TItemList& MenuItems() const { return menu_items_; }
  const TItemList& OnOffItems() const { return on_off_items_; }

  // Whether a command with `param` sets or chooses something: a menu or pair name, "ON"
  // or "1" for a Boolean without pair, or no parameter at all.
  bool KnowsParameter(std::string_view param) const;

  void SetBySwitcher(int32_t value);
  // Opens an undo step and runs the action.
  void ExecuteBySwitcher();

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;

 private:
  std::string QueryAnswer() const;
  // A query's answer of a command with a menu: the default item's name ("" without one).
  std::string DefaultItemAnswer() const;
  void RunAction();

  bool* bool_var_;
  TItemList on_off_items_;
  TItemList menu_items_;
  int32_t default_item_;
  int32_t current_item_;
};

// A side-menu command button; Busy while its action runs. It takes no parameter: one
// (or a rest of path) is refused and nothing runs.
class TRightCommandHandler : public THandler {
 public:
  explicit TRightCommandHandler(THandlerEvent action);
  bool IsBusy() const { return busy_; }

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;

 private:
  bool busy_ = false;
};

// A choice among sources; descendants say what the chosen index means.
class TSourceSwHandler : public THandler {
 public:
  TSourceSwHandler(std::string_view items, uint32_t excludedMask, THandlerEvent onChange,
                   THandlerEvent onBeforeChange);
  ~TSourceSwHandler() override;

  virtual void SetSourceIndex(int index) = 0;
  virtual int GetSourceIndex() const = 0;

  const TItemList& Items() const { return items_; }
  std::string ItemName(int index) const;
  bool IsItemEnabled(int index) const;
  // Runs OnChange once the central registration is complete.
  void SetItemEnabled(int index, bool on);
  uint32_t GetEnabledMask() const { return enabled_mask_; }
  uint32_t GetExcludedMask() const { return excluded_mask_; }
  bool GetEnabledChanged() const { return enabled_changed_; }
  bool GetColoursChanged() const { return colours_changed_; }
  void SetSourceBySwitcher(int index);

  // A display colour changed: the controls repaint (ColoursChanged set meanwhile).
  void UpdateMyColors() override;

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;
  void NotifyEnabledChanged();

 private:
  TItemList items_;
  uint32_t enabled_mask_ = 0;
  uint32_t excluded_mask_;
  bool enabled_changed_ = false;
  bool colours_changed_ = false;
  std::array<std::unique_ptr<TSwitcherLink>, kDisplaySourceCount> colour_links_;
};

// A trace chosen as signal source; the item list is the signal source list, so the item
// index is the trace id. Only traces that are shown (and not excluded) are enabled.
class TSignalSourceSwHandler : public TSourceSwHandler {
 public:
  TSignalSourceSwHandler(TTraceId source, std::string_view items, uint32_t excludedMask,
                         THandlerEvent onChange = {}, THandlerEvent onBeforeChange = {});

  TTraceId GetSource() const { return source_; }
  void SetSource(TTraceId source);
  void SetSourceByProgram(TTraceId source);
  // Re-reads which traces are on; notifies the controls once when anything changed.
  void UpdateEnabledSources();

  void SetSourceIndex(int index) override;
  int GetSourceIndex() const override { return TraceIndex(source_); }

 protected:
  std::string UndoText() const override { return ItemName(TraceIndex(source_)); }

 private:
  TTraceId source_;
  TSwitcherLink enablity_link_;
};

// A free-text command answered by its owner; never written to setups.
class TGpibStringHandler : public THandler {
 public:
  TGpibStringHandler(TGpibCallback callback, uint8_t flag);
  bool KeepsParamCase() const override { return true; }

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;

 private:
  TGpibCallback callback_;
  uint8_t flag_;
};

// A whole object of its owner serialised as text.
class TComplexObjectHandler : public THandler {
 public:
  explicit TComplexObjectHandler(TComplexStateCallback stateCallback);
  bool KeepsParamCase() const override { return true; }
  // Called by the owner before it changes the object: records the present state for
  // undo (as a replay change with flag, else as a control change).
  void SaveUndo(bool flag);

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;

 private:
  TComplexStateCallback state_callback_;
};

}  // namespace norv
