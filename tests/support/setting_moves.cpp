#include "support/setting_moves.h"

#include <algorithm>
#include <charconv>
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
    // No other value between limits a neighbour has closed up (thresholds packed at one end).
    if (e->GetMax() - e->GetMin() < e->GetTolerance() / 2) return "";
    param = std::abs(e->GetValue() - e->LimitValue(lcMax)) < e->GetTolerance() / 2 ? "MIN" : "MAX";
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

namespace {

int Below(std::mt19937& rng, int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

// One of the `count` items other than `current` for which `usable` holds; -1 when none.
int OtherItem(std::mt19937& rng, int count, int current, const std::function<bool(int)>& usable) {
  std::vector<int> items;
  for (int i = 0; i < count; ++i)
    if (i != current && usable(i)) items.push_back(i);
  return items.empty() ? -1 : items[static_cast<size_t>(Below(rng, static_cast<int>(items.size())))];
}

}  // namespace

void MoveAtRandom(const std::string& path, std::mt19937& rng,
                  const std::function<void(const std::string&)>& exec) {
  THandler* h = RootSpider->FindHandler(path);
  if (auto* e = dynamic_cast<TEditHandler*>(h)) {
    if (e->GetMin() == e->GetMax()) return;
    if (Below(rng, 2) == 1) {
      // Typed: three significant digits anywhere inside the range, spread over its decades
      // when it spans many.
      const double min = e->GetMin(), max = e->GetMax();
      const bool decades = min > 0 && max > 100 * min;
      const double u = std::uniform_real_distribution<double>(0, 1)(rng);
      const double value = decades ? min * std::pow(max / min, u) : min + u * (max - min);
      char text[32];
      const auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 3).ptr;
      exec(path + " " + std::string(text, end));
      return;
    }
    const bool fromMax = Below(rng, 2) == 1;
    const std::string command = path + (fromMax ? " MAX" : " MIN");
    exec(command);
    const int steps = 1 + Below(rng, 8);
    for (int i = 0; i < steps; ++i) fromMax ? e->StepDown() : e->StepUp();
    return;
  }
  std::string param;
  if (auto* r = dynamic_cast<TRadioSwHandler*>(h)) {
    const int i = OtherItem(rng, r->GetCount(), r->GetIndex(), [r](int item) {
      return item >= 32 || !(r->GetDisabledMask() & GetMaskForButtinNr(item));
    });
    if (i >= 0) param = r->ItemName(i);
  } else if (auto* c = dynamic_cast<TCheckSwHandler*>(h)) {
    uint32_t mask = 0;
    for (int i = 0; i < c->GetCount(); ++i)
      if (Below(rng, 2) == 1) mask |= GetMaskForButtinNr(i);
    if (mask == c->GetMask() && c->GetCount() > 0) mask ^= GetMaskForButtinNr(Below(rng, c->GetCount()));
    for (int i = 0; i < c->GetCount(); ++i)
      if (mask & GetMaskForButtinNr(i)) param += (param.empty() ? "" : ",") + c->Items()[i];
    if (param.empty()) param = "CLEARALL";
  } else if (auto* s = dynamic_cast<TSourceSwHandler*>(h)) {
    const int i = OtherItem(rng, static_cast<int>(s->Items().size()), s->GetSourceIndex(),
                            [s](int item) { return s->IsItemEnabled(item); });
    if (i >= 0) param = s->ItemName(i);
  } else {
    // Switches have only their other state.
    const std::string command = MoveCommand(path);
    if (!command.empty()) exec(command);
    return;
  }
  if (!param.empty()) exec(path + " " + param);
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
