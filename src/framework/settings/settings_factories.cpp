// Registration factories: each creates a handler with its initial value (no notification,
// undo or callback), hangs it at its path and returns it.

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"

namespace norv {

namespace {

template <typename T>
T* Hang(TSpider& node, std::string_view path, std::unique_ptr<T> handler, bool allowReplace = false) {
  T* added = handler.get();
  node.AddItem(path, std::move(handler), allowReplace);
  return added;
}

}  // namespace

TRadioSwHandler* TSpider::AddRadioSw(uint8_t index, std::string_view path, std::string_view items,
                                     THandlerEvent onChange, THandlerEvent onBeforeChange, bool allowReplace,
                                     uint32_t disabledMask) {
  auto handler =
      std::make_unique<TRadioSwHandler>(index, items, std::move(onChange), std::move(onBeforeChange));
  handler->SetDisabledMask(disabledMask);
  return Hang(*this, path, std::move(handler), allowReplace);
}

TCheckSwHandler* TSpider::AddCheckSw(uint32_t mask, std::string_view path, std::string_view items,
                                     THandlerEvent onChange, THandlerEvent onBeforeChange,
                                     uint32_t disabledMask) {
  auto handler =
      std::make_unique<TCheckSwHandler>(mask, items, std::move(onChange), std::move(onBeforeChange));
  handler->SetDisabledMask(disabledMask);
  return Hang(*this, path, std::move(handler));
}

TOnOffHandler* TSpider::AddOnOff(bool on, std::string_view path, THandlerEvent onChange,
                                 THandlerEvent onBeforeChange) {
  return Hang(*this, path,
              std::make_unique<TOnOffHandler>(on, std::move(onChange), std::move(onBeforeChange)));
}

TMainCommandHandler* TSpider::AddMainCommand(std::string_view path, bool* boolVar,
                                             std::string_view onOffMnemonics, std::string_view menuMnemonics,
                                             THandlerEvent whatDo, int32_t defaultItem) {
  return Hang(*this, path,
              std::make_unique<TMainCommandHandler>(boolVar, onOffMnemonics, menuMnemonics, std::move(whatDo),
                                                    defaultItem));
}

TRightCommandHandler* TSpider::AddRightCommand(std::string_view path, THandlerEvent action) {
  return Hang(*this, path, std::make_unique<TRightCommandHandler>(std::move(action)));
}

TSignalSourceSwHandler* TSpider::AddSignalSourceSw(uint8_t source, std::string_view path,
                                                   std::string_view items, uint32_t excludedMask,
                                                   THandlerEvent onChange, THandlerEvent onBeforeChange) {
  const TTraceId id = TraceIdFromInt(source).value_or(TTraceId::None);
  return Hang(*this, path,
              std::make_unique<TSignalSourceSwHandler>(id, items, excludedMask, std::move(onChange),
                                                       std::move(onBeforeChange)));
}

TGpibStringHandler* TSpider::AddGpibString(std::string_view path, TGpibCallback callback, uint8_t flag) {
  return Hang(*this, path, std::make_unique<TGpibStringHandler>(std::move(callback), flag));
}

TComplexObjectHandler* TSpider::AddComplexObject(std::string_view path, TComplexStateCallback stateCallback) {
  return Hang(*this, path, std::make_unique<TComplexObjectHandler>(std::move(stateCallback)));
}

TIntEditHandler* TSpider::AddIntEdit(int32_t value, std::string_view path, uint8_t colourSource,
                                     std::string_view unitText, uint8_t formatMode, uint8_t digits,
                                     double min, double mid, double max, TStepRule coarseRule,
                                     double coarseStep, TStepRule fineRule, double fineStep,
                                     THandlerEvent onChange, TEditGetText onGetText,
                                     TEditBeforeSet onBeforeSet, THandlerEvent onBeforeChange) {
  auto handler = std::make_unique<TIntEditHandler>(
      colourSource, unitText, formatMode, digits, min, mid, max, coarseRule, coarseStep, fineRule, fineStep,
      1.0, std::move(onChange), std::move(onGetText), std::move(onBeforeSet), std::move(onBeforeChange));
  handler->SetValueRaw(value);
  return Hang(*this, path, std::move(handler));
}

TDoubleEditHandler* TSpider::AddDoubleEdit(std::string_view path, uint8_t colourSource, double value,
                                           std::string_view unitText, uint8_t formatMode, uint8_t digits,
                                           double min, double mid, double max, TStepRule coarseRule,
                                           double coarseStep, TStepRule fineRule, double fineStep,
                                           double tolerance, THandlerEvent onChange, TEditGetText onGetText,
                                           TEditBeforeSet onBeforeSet, THandlerEvent onBeforeChange) {
  auto handler = std::make_unique<TDoubleEditHandler>(colourSource, unitText, formatMode, digits, min, mid,
                                                      max, coarseRule, coarseStep, fineRule, fineStep,
                                                      tolerance, std::move(onChange), std::move(onGetText),
                                                      std::move(onBeforeSet), std::move(onBeforeChange));
  handler->SetValueRaw(value);
  return Hang(*this, path, std::move(handler));
}

TIntEditHandler* TSpider::AddIntEdit(TIntEditFields item) {
  return AddIntEdit(item.Value, item.Path, item.ColourSource, item.Unit, item.FormatMode, item.Digits,
                    item.Min, item.Mid, item.Max, item.CoarseRule, item.CoarseStep, item.FineRule,
                    item.FineStep, std::move(item.OnChange), std::move(item.OnGetText),
                    std::move(item.OnBeforeSet), std::move(item.OnBeforeChange));
}

TDoubleEditHandler* TSpider::AddDoubleEdit(TDoubleEditFields item) {
  return AddDoubleEdit(item.Path, item.ColourSource, item.Value, item.Unit, item.FormatMode, item.Digits,
                       item.Min, item.Mid, item.Max, item.CoarseRule, item.CoarseStep, item.FineRule,
                       item.FineStep, item.Tolerance, std::move(item.OnChange), std::move(item.OnGetText),
                       std::move(item.OnBeforeSet), std::move(item.OnBeforeChange));
}

}  // namespace norv
