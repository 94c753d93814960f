#pragma once
// Numeric settings: an integer or floating value with limits, a middle value, a coarse and
// a fine stepping rule, a resolution, a unit and a display format. Bound edit controls
// step it with their arrows (coarse or fine, with auto-repeat as one undo step), set it
// from typed text or jump to Min, Mid or Max; commands set it with engineering prefixes.

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/settings/handler.h"
#include "framework/settings/settings_tree.h"
#include "framework/settings/step_rules.h"
#include "framework/settings/value_text.h"

namespace norv {

// Arrow commands of a bound edit control.
enum TStepCommand : uint8_t {
  scCoarseUp = 0,
  scCoarseDown = 1,
  scFineUp = 2,
  scFineDown = 3,
  scRepeat = 4,   // auto-repeat tick: one more step in the stored mode and direction
  scRelease = 5,  // end of stepping (any other code too)
};

// Targets of SetToLimitBySwitcher.
enum TLimitChoice : uint8_t { lcMin = 0, lcMid = 1, lcMax = 2 };

class TEditHandler : public THandler {
 public:
  // colourSource: trace id 0..18 (18 = none) whose display colour the bound edit shows; a
  // tolerance of magnitude below 1e-100 becomes 1e-15.
  TEditHandler(uint8_t colourSource, std::string_view unitText, uint8_t formatMode, uint8_t digits,
               double min, double mid, double max, TStepRule coarseRule, double coarseStep,
               TStepRule fineRule, double fineStep, double tolerance, THandlerEvent onChange = {},
               TEditGetText onGetText = {}, TEditBeforeSet onBeforeSet = {},
               THandlerEvent onBeforeChange = {});
  ~TEditHandler() override;

  // --- value ---
  // Clamps into [Min, Max], rounds (integers to the nearest, halves to even; floating
  // values to their grid) and runs the change protocol. Not-a-number is refused.
  virtual void SetValue(double value) = 0;
  virtual double GetValue() const = 0;
  virtual bool IsInteger() const = 0;
  // The value rounded to int32 (limited to its range).
  int32_t GetIntValue() const;
  double GetFloatValue() const { return GetValue(); }

  // --- control side ---
  // As a control's change: OnBeforeSet, clamping, snapping by the coarse rule when there
  // is no fine rule, then SetValue.
  void SetValueBySwitcher(double value);
  // Min, Mid or Max as a control's change.
  void SetToLimitBySwitcher(TLimitChoice limit);
  // The value "MIN", "MID" or "MAX" stands for: the smallest, middle or largest value shown.
  double LimitValue(TLimitChoice limit) const;
  // Arrow codes of TStepCommand; a press steps once and starts the repeat, whose ticks
  // record no undo, so a press-and-hold is one undo step.
  void StepCommand(uint8_t code);
  // One step in the current mode, as a control's change.
  void StepUp();
  void StepDown();
  // The text shown and answered to queries (display form: the node's digits) or written to
  // setups (replay form: "MEG", unit in parentheses, as many digits as restore the value
  // exactly).
  std::string GetValueText(bool replay) const { return ValueText(GetValue(), replay, replay); }
  std::string SetupAnswerOf(const std::string& undoText) const override;
  // A command parameter: MIN, MID, MAX (as LimitValue), a number with prefix and unit letters, UNDEFINED;
  // UP..., DOWN..., STEPCOARSE and STEPFINE are accepted and change nothing; anything else
  // is ignored.
  void ParseValueText(std::string_view text, bool replay);

  // --- configuration ---
  // Replaces the limits, rules, format and hooks; widens the tolerance to the fine step
  // and limits; sets the clamped value again as a program change and notifies.
  void Reconfigure(std::string_view unitText, uint8_t formatMode, double min, double mid, double max,
                   TStepRule coarseRule, double coarseStep, TStepRule fineRule, double fineStep,
                   TEditGetText onGetText, TEditBeforeSet onBeforeSet);
  // Max follows a Min above it (and Min a Max below it); a value outside is set again.
  void SetMin(double min);
  void SetMax(double max);
  void SetMid(double mid) { mid_ = mid; }
  void SetCoarseStep(double step) { coarse_step_ = step; }
  void SetCoarseRule(TStepRule rule);
  void SetUnitText(std::string_view unitText);
  // For a unit that follows data a start does not have yet (a measurement's): a setup line
  // naming a unit in its replay form ("12 n(s)") gives it, in the case written.
  void SetUnitFromSetup(bool take) { unit_from_setup_ = take; }
  bool KeepsParamCase() const override { return unit_from_setup_; }
  void SetOnGetText(TEditGetText onGetText);
  void SetOnBeforeSet(TEditBeforeSet onBeforeSet) { on_before_set_ = std::move(onBeforeSet); }
  void SetHighlight(bool highlight);
  void SetColorSource(uint8_t source);
  // For a value shown falling as the stored one rises (shown negated): the stored Min is
  // the largest value shown.
  void SetShownReversed(bool reversed) { shown_reversed_ = reversed; }

  double GetMin() const { return min_; }
  double GetMax() const { return max_; }
  // Mid clamped into [Min, Max].
  double GetMid() const;
  double GetTolerance() const { return tolerance_; }
  TStepRule GetCoarseRule() const { return coarse_rule_; }
  TStepRule GetFineRule() const { return fine_rule_; }
  double GetCoarseStep() const { return coarse_step_; }
  double GetFineStep() const { return fine_step_; }
  bool HasFineStep() const { return fine_rule_ != srNone; }
  // Floating values are kept on the fine grid (coarse rule 8).
  bool QuantisesToFine() const { return quantise_to_fine_; }
  const std::string& GetUnitText() const { return unit_text_; }
  uint8_t GetFormatMode() const { return format_mode_; }
  uint8_t GetDigits() const { return digits_; }
  uint8_t GetColorSource() const { return colour_source_; }
  bool IsHighlighted() const { return highlight_; }
  uint32_t GetTextColor() const { return text_color_; }
  uint32_t GetBackColor() const { return back_color_; }
  TStepMode GetMode() const { return mode_; }
  bool GetUp() const { return up_; }
  bool IsRepeating() const { return repeating_; }
  // 1 while a step up is being applied, 2 for a step down, else 0 (for OnChange).
  uint8_t GetLastStep() const { return last_step_; }

  // May take over a step: true means the hook handled it and the value it left is set.
  std::function<bool(double& value, TStepMode mode, bool up)> OnStep;

  // Colours of the bound edit: the colour source's display colour on the screen colour,
  // else yellow on red when highlighted, white on black otherwise.
  void UpdateMyColors() override;

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;
  double Clamp(double value) const;
  // Tells the recall in force that a replayed `value` is outside the range just now.
  void NoteClampedReplay(double value) const;
  // The number part of the text of `value` (without unit); `exact` adds the digits needed
  // to read back to the value.
  virtual std::string NumberText(double value, bool replay, bool exact) const;
  // Whether changes now record undo (not during an auto-repeat).
  bool RecordsUndo() const { return !repeating_; }

 private:
  void Step(bool up);
  std::string ValueText(double value, bool replay, bool exact) const;
  void SetValueAs(TWhoChanged who, double value);
  uint32_t DisplayColour(int index) const;

  bool quantise_to_fine_;
  bool unit_from_setup_ = false;
  bool shown_reversed_ = false;
  bool repeating_ = false;
  bool highlight_ = false;
  uint8_t colour_source_;
  std::string unit_text_;
  uint8_t format_mode_;
  uint8_t digits_;
  double min_, mid_, max_;
  TStepRule coarse_rule_, fine_rule_;
  double coarse_step_, fine_step_;
  double tolerance_;
  TEditGetText on_get_text_;
  TEditBeforeSet on_before_set_;
  TStepMode mode_ = smCoarse;
  bool up_ = false;
  uint32_t text_color_ = 0xFFFFFF;
  uint32_t back_color_ = 0;
  uint8_t last_step_ = 0;
  TSwitcherLink source_colour_link_;
  TSwitcherLink screen_colour_link_;
};

class TIntEditHandler : public TEditHandler {
 public:
  using TEditHandler::TEditHandler;

  int32_t Value() const { return value_; }
  void SetValue(double value) override;
  double GetValue() const override { return value_; }
  bool IsInteger() const override { return true; }
  // Initial value, without notification, undo or callback.
  void SetValueRaw(int32_t value) { value_ = value; }
  // As a program change; true when the stored value differed from `value`.
  bool SetValueByProgram(int32_t value);

 protected:
  std::string UndoText() const override;

 private:
  int32_t value_ = 0;
};

class TDoubleEditHandler : public TEditHandler {
 public:
  using TEditHandler::TEditHandler;

  double Value() const { return value_; }
  void SetValue(double value) override;
  double GetValue() const override { return value_; }
  bool IsInteger() const override { return false; }
  void SetValueRaw(double value) { value_ = value; }
  // As a program change; true when `value` differs from the old value by more than half
  // the tolerance.
  bool SetValueByProgram(double value);

 protected:
  std::string UndoText() const override;
  std::string NumberText(double value, bool replay, bool exact) const override;

 private:
  // The value SetValue would store for an in-range `value`: on the grid of the fine step
  // (coarse rule 8) or of the tolerance.
  double Quantise(double value) const;
  double Grid() const;

  double value_ = 0;
};

// Nil-safe readers: 0 for a missing handler.
inline int32_t GetIntValue(const TEditHandler* h) { return h ? h->GetIntValue() : 0; }
inline double GetFloatValue(const TEditHandler* h) { return h ? h->GetFloatValue() : 0.0; }

}  // namespace norv
