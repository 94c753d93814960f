#include "instrument/startup/option_commands.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "framework/language/language.h"
#include "framework/settings/choice_handlers.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/instrument_identity.h"

namespace norv {

namespace {

struct TOptionArea {
  const char* Path;
  bool (*Fitted)();
  const char* NameKey;  // the option's name
  // Items of the list at Path (a comma list), the others staying open; nullptr: the whole part.
  const char* Items = nullptr;
};

// TDR / TDT runs on the generators' step, so it is the generators' option, as is the
// simulated TDR head.
constexpr TOptionArea kOptionAreas[] = {
    {"OEConv", HasOpticsOption, "optOptics"},
    {"FLASH:OE", HasOpticsOption, "optOptics"},  // "FLASH:OECalibr:" lives here too
    {"Gen", HasGeneratorsOption, "optGenerators"},
    {"FLASH:Gen", HasGeneratorsOption, "optGenerators"},
    {"TDR", HasTDROption, "optGenerators"},
    {"GSS:A:Waweform", HasTDROption, "optGenerators", "TDR"},
    {"GSS:B:Waweform", HasTDROption, "optGenerators", "TDR"},
    {"GSS:C:Waweform", HasTDROption, "optGenerators", "TDR"},
    {"GSS:D:Waweform", HasTDROption, "optGenerators", "TDR"},
    {"Trig:PatternLockMode", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:DataRate", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:ExtDivider", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:PattLen", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:PattDelay", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:PattAddDelay", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:ResetPattLock", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:PattScanBits", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:PattEyeLine", HasPatSyncTrigOption, "optPatSyncTrig"},
    {"Trig:Source", HasClockRecoveryOption, "optClockRecoveryTrig", "ClockRecov"},
    // The eye's powers and extinction ratios are measured on the converter's output.
    {"Eye:YNRZParam", HasOpticsOption, "optOptics", "AvgPower,AvgPWdBm,ExtRatioDB,ExtRatioP,ExtRatio"},
    {"Eye:YRZParam", HasOpticsOption, "optOptics", "AvgPower,AvgPWdBm,ExtRatioDB,ExtRatioP,ExtRatio"},
};

// Whether a command's parameter names one of `named` among a list's items: a word of it,
// between blanks and commas ("ClockRecov", "ExtRatio On", "Include Max,ExtRatio").
bool NamesAnyOf(const TItemList& items, uint32_t named, std::string_view param) {
  size_t start = 0;
  while (start < param.size()) {
    const size_t end = std::min(param.find_first_of(" ,", start), param.size());
    const int item = FindItem(items, param.substr(start, end - start));
    if (item >= 0 && item < 32 && (named >> item & 1u)) return true;
    start = end + 1;
  }
  return false;
}

std::shared_ptr<const TNodeRequirement> Needs(const TOptionArea& area) {
  auto requirement = std::make_shared<TNodeRequirement>();
  requirement->Fitted = area.Fitted;
  requirement->Refusal = [key = area.NameKey] { return FormatLangStr("OptionNotFitted", GetLangStr(key)); };
  if (area.Items) {
    const THandler* list = RootSpider->FindHandler(area.Path);
    TItemList items;
    if (const auto* radio = dynamic_cast<const TRadioSwHandler*>(list)) items = radio->Items();
    if (const auto* check = dynamic_cast<const TCheckSwHandler*>(list)) items = check->Items();
    uint32_t named = 0;
    for (const std::string& name : CommaTextToStrings(area.Items, false))
      if (const int item = FindItem(items, name); item >= 0 && item < 32) named |= 1u << item;
    requirement->Concerns = [items, named](std::string_view param) {
      return NamesAnyOf(items, named, param);
    };
  }
  return requirement;
}

}  // namespace

void MarkOptionCommands() {
  if (!RootSpider) return;
  for (const TOptionArea& area : kOptionAreas) RootSpider->Require(area.Path, Needs(area));
}

}  // namespace norv
