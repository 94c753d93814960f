#include "instrument/startup/instrument_commands.h"

#include <charconv>
#include <string>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/text_case.h"
#include "framework/text/text_encoding.h"
#include "framework/util/errors.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/startup_connection.h"

namespace norv {

namespace {

constinit TInstrumentCommandsState State;
const TProgramUnit StateUnit("instrument commands", [] { State = {}; });

// The whole text as a decimal integer (an optional sign, nothing else).
bool ParseIndex(const std::string& text, int& value) {
  const char* first = text.data();
  if (!text.empty() && text[0] == '+') ++first;
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, value);
  return ec == std::errc() && end == last && first != last;
}

bool ValidIndex(const std::string& param, int& index) {
  return ParseIndex(param, index) && index >= 0 && index < InstrumentList.Count();
}

std::string LabelAndName(const TInstrumentEntry& entry) {
  return CommandFormOfName(entry.Prop.Label) + "[" + CommandFormOfName(entry.Name) + "]";
}

void ListCount(const std::string&, bool isQuery, uint8_t, std::string& reply) {
  if (isQuery) reply = " " + std::to_string(InstrumentList.Count());
}

void ListUnit(const std::string& param, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  int index = 0;
  if (!ValidIndex(param, index)) {
    reply = " BAD PARAMETER " + EchoedInput(param);
    return;
  }
  const TInstrumentEntry& entry = InstrumentList[index];
  reply = " " + std::to_string(index) + ";" + LabelAndName(entry) + ";" +
          UpperAscii(LinkKindText(entry.Prop.Kind));
  if (entry.Prop.Kind == TLinkKind::LAN) reply += ";" + IPv4ToDottedStr(entry.Prop.Address);
}

void CurrentGet(const std::string&, bool isQuery, uint8_t, std::string& reply) {
  if (!isQuery) return;
  const int index = InstrumentList.IndexOf(CurrentInstrumentName);
  if (index < 0) throw EAssertion("Unknown Instrument");
  reply = " " + LabelAndName(InstrumentList[index]);
}

// The entry a parameter names: an index, a name in its command form (blanks as "_") or a
// label with blanks or "_", in any letter case; -1 for none.
int ChosenEntry(const std::string& param) {
  int index = 0;
  if (ParseIndex(param, index)) return index >= 0 && index < InstrumentList.Count() ? index : -1;
  const std::string typed = CommandFormOfName(param);
  const std::string upper = UpperAscii(param);
  for (int i = 0; i < InstrumentList.Count(); ++i)
    if (upper == CommandFormOfName(InstrumentList[i].Name)) return i;
  for (int i = 0; i < InstrumentList.Count(); ++i)
    if (!InstrumentList[i].Prop.Label.empty() && typed == CommandFormOfName(InstrumentList[i].Prop.Label))
      return i;
  return -1;
}

void CurrentSet(const std::string& param, bool isQuery, uint8_t, std::string& answer) {
  std::string reply = " BAD SPECIFIER OF THE INSTRUMENT \"" + EchoedInput(param) + "\"";
  const int index = ChosenEntry(param);
  if (index >= 0) {
    std::string name = InstrumentList[index].Name;
    if (SameTextAscii(name, CurrentInstrumentName)) {
      reply = " OK";
    } else {
      const std::string previous = CurrentInstrumentName;
      SelectAndConnectInstrument(false, name);
      const uint8_t first = FirstConnectResult;
      if (first != ConnectOk) {
        std::string back = previous;
        SelectAndConnectInstrument(false, back);
      }
      reply = first == ConnectBusy ? " BUSY" : first == ConnectNotDetected ? " NOT DETECTED" : " OK";
    }
  }
  if (isQuery) answer = reply;
}

}  // namespace

TInstrumentCommandsState& InstrumentCommands() { return State; }

void RegisterInstrumentCommands() {
  RootSpider->AddGpibString("INSTR:List:Count", ListCount);
  RootSpider->AddGpibString("INSTR:List:Unit", ListUnit);
  RootSpider->AddGpibString("INSTR:Current:Get", CurrentGet);
  RootSpider->AddGpibString("INSTR:Current:Set", CurrentSet);
  State.GuiReady = RootSpider->AddOnOff(false, "INSTR:GUIReady");
}

}  // namespace norv
