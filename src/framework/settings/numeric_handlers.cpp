#include "framework/settings/numeric_handlers.h"

#include <algorithm>
#include <cmath>

#include "framework/settings/settings_recall.h"
#include "framework/text/dot_number.h"
#include "framework/text/text_case.h"
#include "framework/traces/display_sources.h"

namespace norv {

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kYellow = 0x00FFFF;
constexpr uint32_t kRed = 0x0000FF;

std::optional<int> ColourIndexOf(uint8_t source) {
  const auto id = TraceIdFromInt(source);
  return id ? TraceIdToColorIndex(*id) : std::nullopt;
}

// Sets last_step_ for the duration of one step, also when a callback raises.
class TLastStepScope {
 public:
  TLastStepScope(uint8_t& field, uint8_t value) : field_(field) { field_ = value; }
  ~TLastStepScope() { field_ = 0; }
  TLastStepScope(const TLastStepScope&) = delete;
  TLastStepScope& operator=(const TLastStepScope&) = delete;

 private:
  uint8_t& field_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// TEditHandler

TEditHandler::TEditHandler(uint8_t colourSource, std::string_view unitText, uint8_t formatMode,
                           uint8_t digits, double min, double mid, double max, TStepRule coarseRule,
                           double coarseStep, TStepRule fineRule, double fineStep, double tolerance,
                           THandlerEvent onChange, TEditGetText onGetText, TEditBeforeSet onBeforeSet,
                           THandlerEvent onBeforeChange)
    : THandler(std::move(onChange), std::move(onBeforeChange)),
      quantise_to_fine_(coarseRule == sr1_2_5OnFineGrid),
      colour_source_(NoColour),
      unit_text_(unitText),
      format_mode_(formatMode),
      digits_(digits),
      min_(min),
      mid_(mid),
      max_(max),
      coarse_rule_(coarseRule),
      fine_rule_(fineRule),
      coarse_step_(coarseStep),
      fine_step_(fineStep),
      tolerance_(std::fabs(tolerance) < 1e-100 ? 1e-15 : std::fabs(tolerance)),
      on_get_text_(std::move(onGetText)),
      on_before_set_(std::move(onBeforeSet)),
      source_colour_link_([this] { UpdateMyColors(); }),
      screen_colour_link_([this] { UpdateMyColors(); }) {
  SetColorSource(colourSource);
}

TEditHandler::~TEditHandler() = default;

double TEditHandler::Clamp(double value) const { return std::max(min_, std::min(value, max_)); }

void TEditHandler::NoteClampedReplay(double value) const {
  // A recall gives the value again once the lines that widen the range are in.
  if (GetWhoChangedRaw() == wcvReplay && Clamp(value) != value) NoteRecallNotHeld(*this);
}

double TEditHandler::GetMid() const { return Clamp(mid_); }

int32_t TEditHandler::GetIntValue() const {
  const double v = RoundHalfEven(GetValue());
  if (std::isnan(v)) return 0;
  return static_cast<int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

void TEditHandler::SetValueAs(TWhoChanged who, double value) {
  TOriginScope origin(*this, who);
  SetValue(value);
}

void TEditHandler::SetValueBySwitcher(double value) {
  TOriginScope origin(*this, wcvSwitcher);
  if (std::isnan(value)) return;
  if (on_before_set_) on_before_set_(value, *this);
  if (std::isnan(value)) return;
  // The coarse rounding runs on a value already in range, so that a negative, zero or
  // tiny entry is limited first.
  value = Clamp(value);
  if (!HasFineStep()) value = RoundByRule(coarse_rule_, coarse_step_, value);
  SetValue(value);
}

void TEditHandler::SetToLimitBySwitcher(TLimitChoice limit) { SetValueAs(wcvSwitcher, LimitValue(limit)); }

double TEditHandler::LimitValue(TLimitChoice limit) const {
  if (limit == lcMid) return GetMid();
  return (limit == lcMax) != shown_reversed_ ? max_ : min_;
}

void TEditHandler::StepCommand(uint8_t code) {
  switch (code) {
    case scCoarseUp:
    case scCoarseDown:
    case scFineUp:
    case scFineDown:
      mode_ = code == scFineUp || code == scFineDown ? smFine : smCoarse;
      up_ = code == scCoarseUp || code == scFineUp;
      Step(up_);
      repeating_ = true;
      break;
    case scRepeat:
      Step(up_);
      break;
    default:
      repeating_ = false;
      break;
  }
}

void TEditHandler::StepUp() { Step(true); }
void TEditHandler::StepDown() { Step(false); }

void TEditHandler::Step(bool up) {
  TOriginScope origin(*this, wcvSwitcher);
  const bool fine = mode_ == smFine;
  TStepRule rule = fine ? fine_rule_ : coarse_rule_;
  double step = fine ? fine_step_ : coarse_step_;
  const double v = GetValue();
  // Near zero doubling cannot move: the fine step takes over.
  if (!fine && rule == sr1_2_5OnFineGrid && (fine_rule_ == srQuantised || fine_rule_ == srLinear) &&
      v < 0.5 * fine_step_ + tolerance_) {
    rule = srQuantised;
    step = fine_step_;
  }
  double next = v;
  if (!(OnStep && OnStep(next, mode_, up)))
    next = StepByRule(rule, step, v, up, tolerance_, fine_step_, quantise_to_fine_);
  TLastStepScope last(last_step_, up ? 1 : 2);
  SetValue(next);
}

std::string TEditHandler::NumberText(double value, bool replay, bool) const {
  return FloatToEngStr(format_mode_, digits_, IsInteger(), value, replay);
}

std::string TEditHandler::ValueText(double value, bool replay, bool exact) const {
  if (!replay && on_get_text_) {
    std::string text;
    on_get_text_(*this, text, value);
    return text;
  }
  std::string text = NumberText(value, replay, exact);
  if (!unit_text_.empty()) text += replay ? "(" + unit_text_ + ")" : unit_text_;
  return text;
}

void TEditHandler::ParseValueText(std::string_view text, bool replay) {
  // The words all begin with a letter; numbers, by far the most, do not.
  const bool maybeWord = !text.empty() && UpperAscii(text[0]) >= 'A' && UpperAscii(text[0]) <= 'Z';
  const std::string word = maybeWord ? UpperAscii(text) : std::string();
  if (word == "MIN") return SetValue(LimitValue(lcMin));
  if (word == "MID") return SetValue(LimitValue(lcMid));
  if (word == "MAX") return SetValue(LimitValue(lcMax));
  if (word.starts_with("UP") || word.starts_with("DOWN") || word == "STEPCOARSE" || word == "STEPFINE")
    return;
  // The undefined marker as written to setups; it is limited like any value.
  double value = UndefinedValue;
  if (!word.starts_with("UNDEFINED")) {
    const auto number = ReadEngineeringNumber(text, unit_text_);
    if (!number) return;
    value = *number;
  }
  // The replay form ends with the unit in parentheses: "12 n(s)".
  if (const std::string_view line = TrimBlanks(text); replay && unit_from_setup_ && line.ends_with(')'))
    if (const size_t open = line.find('('); open != std::string_view::npos)
      SetUnitText(line.substr(open + 1, line.size() - open - 2));
  if (!replay && on_before_set_) on_before_set_(value, *this);
  SetValue(value);
}

std::string TEditHandler::SetupAnswerOf(const std::string& undoText) const {
  const auto value = ReadEngineeringNumber(undoText);
  return value ? ValueAnswer(ValueText(*value, true, true), true) : THandler::SetupAnswerOf(undoText);
}

std::string TEditHandler::Execute(const std::string& param, bool isQuery, bool replay) {
  if (!param.empty()) ParseValueText(param, replay);
  // A reply shows the node's digits; a setup line carries every digit its value needs.
  return isQuery ? ValueAnswer(GetValueText(replay), replay) : std::string();
}

void TEditHandler::Reconfigure(std::string_view unitText, uint8_t formatMode, double min, double mid,
                               double max, TStepRule coarseRule, double coarseStep, TStepRule fineRule,
                               double fineStep, TEditGetText onGetText, TEditBeforeSet onBeforeSet) {
  unit_text_ = unitText;
  format_mode_ = formatMode;
  min_ = min;
  mid_ = mid;
  max_ = max;
  coarse_rule_ = coarseRule;
  coarse_step_ = coarseStep;
  fine_rule_ = fineRule;
  fine_step_ = fineStep;
  on_get_text_ = std::move(onGetText);
  on_before_set_ = std::move(onBeforeSet);
  // A zero fine step (no fine rule) must not make the grid vanish.
  if (fineStep > 0 && fineStep / 2 < tolerance_) tolerance_ = fineStep / 2;
  tolerance_ = std::max(tolerance_, 1e-12 * std::max(std::fabs(min), std::fabs(max)));
  SetValueAs(wcvProgram, Clamp(GetValue()));
  NotifySwitchers();
}

void TEditHandler::SetMin(double min) {
  min_ = min;
  if (max_ < min_) max_ = min_;
  if (GetValue() < min_ || GetValue() > max_) SetValueAs(wcvProgram, GetValue());
}

void TEditHandler::SetMax(double max) {
  max_ = max;
  if (min_ > max_) min_ = max_;
  if (GetValue() < min_ || GetValue() > max_) SetValueAs(wcvProgram, GetValue());
}

void TEditHandler::SetCoarseRule(TStepRule rule) {
  coarse_rule_ = rule;
  quantise_to_fine_ = rule == sr1_2_5OnFineGrid;
}

void TEditHandler::SetUnitText(std::string_view unitText) {
  unit_text_ = unitText;
  NotifySwitchers();
}

void TEditHandler::SetOnGetText(TEditGetText onGetText) {
  on_get_text_ = std::move(onGetText);
  NotifySwitchers();
}

void TEditHandler::SetHighlight(bool highlight) {
  highlight_ = highlight;
  UpdateMyColors();
}

void TEditHandler::SetColorSource(uint8_t source) {
  if (source == colour_source_) return;
  source_colour_link_.Unbind();
  screen_colour_link_.Unbind();
  colour_source_ = source;
  if (const auto index = ColourIndexOf(source)) {
    // Binding repaints at once.
    source_colour_link_.Bind(DisplayColorNodes[static_cast<size_t>(*index)]);
    screen_colour_link_.Bind(DisplayColorNodes[kDisplaySourceScreen]);
  }
  UpdateMyColors();
}

uint32_t TEditHandler::DisplayColour(int index) const {
  // Before the colour items exist the built-in colours stand in for them.
  const auto* node = dynamic_cast<const TEditHandler*>(DisplayColorNodes[static_cast<size_t>(index)]);
  const uint32_t colour = node ? static_cast<uint32_t>(node->GetIntValue()) : DefaultDisplayColor(index);
  return colour & 0xFFFFFF;
}

void TEditHandler::UpdateMyColors() {
  uint32_t text = highlight_ ? kYellow : kWhite;
  uint32_t back = highlight_ ? kRed : kBlack;
  if (const auto index = ColourIndexOf(colour_source_)) {
    text = DisplayColour(*index);
    back = DisplayColour(kDisplaySourceScreen);
  }
  if (text == text_color_ && back == back_color_) return;
  text_color_ = text;
  back_color_ = back;
  NotifySwitchers();
}

// ---------------------------------------------------------------------------------------
// TIntEditHandler

void TIntEditHandler::SetValue(double value) {
  if (std::isnan(value)) return;
  NoteClampedReplay(value);
  const double rounded = std::clamp(RoundHalfEven(Clamp(value)), -2147483648.0, 2147483647.0);
  const auto next = static_cast<int32_t>(rounded);
  ChangeValue(
      next != value_, [&] { value_ = next; }, RecordsUndo());
}

bool TIntEditHandler::SetValueByProgram(int32_t value) {
  const bool differed = value != value_;
  TOriginScope origin(*this, wcvProgram);
  SetValue(value);
  return differed;
}

std::string TIntEditHandler::UndoText() const { return std::to_string(value_); }

// ---------------------------------------------------------------------------------------
// TDoubleEditHandler

double TDoubleEditHandler::Grid() const {
  const double fine = GetFineStep();
  return QuantisesToFine() && fine > 0 ? fine : GetTolerance();
}

double TDoubleEditHandler::Quantise(double value) const {
  const double q = Grid();
  return std::fabs(value) / q < 2147483647.0 ? RoundHalfEven(value / q) * q : value;
}

void TDoubleEditHandler::SetValue(double value) {
  if (std::isnan(value)) return;
  NoteClampedReplay(value);
  const double next = Quantise(Clamp(value));
  const bool changed = std::fabs(value_ - next) > Grid() / 2;
  // A setup's line gives its value back as written, also where a conversion made just
  // before it left one within the grid (a length scale converted from the time scale).
  if (!changed && GetWhoChangedRaw() == wcvReplay) value_ = next;
  ChangeValue(
      changed, [&] { value_ = next; }, RecordsUndo());
}

bool TDoubleEditHandler::SetValueByProgram(double value) {
  const bool differed = std::fabs(value - value_) > GetTolerance() / 2;
  TOriginScope origin(*this, wcvProgram);
  SetValue(value);
  return differed;
}

// Every digit needed to come back to the same double.
std::string TDoubleEditHandler::UndoText() const { return FloatToStrRoundTrip_Dot(value_); }

std::string TDoubleEditHandler::NumberText(double value, bool replay, bool exact) const {
  if (!exact || GetDigits() > 17) return TEditHandler::NumberText(value, replay, exact);
  // Where the shown digits would lose the value, more digits are written in the same
  // notation. Read back in the replay form, whose "MEG" is not taken for milli, and without
  // today's limits: a recall may meet the line before the one that sets them.
  const double target = Quantise(value);
  for (int digits = GetDigits();; ++digits) {
    const auto d = static_cast<uint8_t>(digits);
    std::string text = FloatToEngStr(GetFormatMode(), d, false, value, true);
    const auto back = ReadEngineeringNumber(text);
    if (digits < 17 && back && Quantise(*back) != target) continue;
    return replay ? text : FloatToEngStr(GetFormatMode(), d, false, value, false);
  }
}

}  // namespace norv
