#include "instrument/startup/option_commands.h"

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
  // One item of the list at Path, the others staying open; nullptr: the whole part.
  const char* Item = nullptr;
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
};

std::shared_ptr<const TNodeRequirement> Needs(const TOptionArea& area) {
  auto requirement = std::make_shared<TNodeRequirement>();
  requirement->Fitted = area.Fitted;
  requirement->Refusal = [key = area.NameKey] { return FormatLangStr("OptionNotFitted", GetLangStr(key)); };
  if (area.Item) {
    const auto* list = dynamic_cast<const TRadioSwHandler*>(RootSpider->FindHandler(area.Path));
    const TItemList items = list ? list->Items() : TItemList{};
    const int item = FindItem(items, area.Item);
    requirement->Concerns = [items, item](std::string_view param) {
      return item >= 0 && FindItem(items, param) == item;
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
