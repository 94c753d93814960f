#include "framework/settings/node_access.h"

#include <cmath>
#include <limits>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/util/numeric_utils.h"

namespace norv {

THandler* NodeAt(std::string_view path) { return RootSpider ? RootSpider->FindHandler(path) : nullptr; }

int IndexAt(std::string_view path) {
  const auto* h = dynamic_cast<const TRadioSwHandler*>(NodeAt(path));
  return h ? h->GetIndex() : 0;
}

void SetIndexAt(std::string_view path, int index) {
  if (auto* h = dynamic_cast<TRadioSwHandler*>(NodeAt(path)); h && index >= 0 && index < h->GetCount())
    h->SetIndexByProgram(static_cast<uint8_t>(index));
}

bool IsOnAt(std::string_view path) { return IsOn(dynamic_cast<const TOnOffHandler*>(NodeAt(path))); }

void SetOnAt(std::string_view path, bool on) {
  if (auto* h = dynamic_cast<TOnOffHandler*>(NodeAt(path))) h->SetOnByProgram(on);
}

double ValueAt(std::string_view path) {
  return GetFloatValue(dynamic_cast<const TEditHandler*>(NodeAt(path)));
}

void SetValueAt(std::string_view path, double value) {
  THandler* node = NodeAt(path);
  if (auto* h = dynamic_cast<TIntEditHandler*>(node))
    h->SetValueByProgram(NearestCode(value));
  else if (auto* d = dynamic_cast<TDoubleEditHandler*>(node))
    d->SetValueByProgram(value);
}

int32_t NearestCode(double x) {
  // Halves away from zero (RoundClamped alone would take them to even).
  return RoundClamped(std::round(x), std::numeric_limits<int32_t>::min(),
                      std::numeric_limits<int32_t>::max());
}

}  // namespace norv
