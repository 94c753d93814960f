#include "support/setting_moves.h"

#include <algorithm>
#include <cmath>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/numeric_handlers.h"
#include "framework/settings/settings_tree.h"

namespace norv::test {

std::string PathOf(const std::string& line) { return line.substr(0, line.find(' ')); }

std::string MoveCommand(const std::string& path) {
  THandler* h = RootSpider->FindHandler(path);
  std::string param;
  if (auto* e = dynamic_cast<TEditHandler*>(h)) {
    if (e->GetMin() == e->GetMax()) return "";
    param = std::abs(e->GetValue() - e->GetMax()) < e->GetTolerance() / 2 ? "MIN" : "MAX";
  } else if (auto* r = dynamic_cast<TRadioSwHandler*>(h)) {
    if (r->GetCount() > 1) param = r->ItemName((r->GetIndex() + 1) % r->GetCount());
  } else if (auto* o = dynamic_cast<TOnOffHandler*>(h)) {
    param = o->IsOn() ? "OFF" : "ON";
  } else if (auto* c = dynamic_cast<TCheckSwHandler*>(h)) {
    for (int i = 0; i < c->GetCount(); ++i)
      if (!(c->GetMask() & GetMaskForButtinNr(i))) param += (param.empty() ? "" : ",") + c->Items()[i];
    if (param.empty()) param = "CLEARALL";
  } else if (auto* s = dynamic_cast<TSourceSwHandler*>(h)) {
    const int count = static_cast<int>(s->Items().size());
    for (int step = 1; step < count && param.empty(); ++step) {
      const int i = (s->GetSourceIndex() + step) % count;
      if (s->IsItemEnabled(i)) param = s->ItemName(i);
    }
  }
  return param.empty() ? "" : path + " " + param;
}

std::string Changes(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  std::string text;
  for (size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
    const std::string e = i < expected.size() ? expected[i] : "(none)";
    const std::string a = i < actual.size() ? actual[i] : "(none)";
    if (e != a) text += "\n    expected " + e + "\n    actual   " + a;
  }
  return text;
}

}  // namespace norv::test
