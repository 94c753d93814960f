#include "instrument/startup/mac_address.h"

#include <algorithm>
#include <cstdio>

#include "framework/language/language.h"
#include "framework/util/dialog_service.h"
#include "framework/util/numeric_utils.h"
#include "instrument/link/instrument_identity.h"

namespace norv {

bool ParseMacText(std::string_view text, TMacAddress& mac) {
  std::string list(text);
  std::replace(list.begin(), list.end(), '-', ' ');
  // Commas are no separators here.
  if (list.find(',') != std::string::npos) return false;
  std::array<int32_t, 7> values{};
  if (ParseNumberList(list, values) != 6) return false;
  for (size_t i = 0; i < 6; ++i) {
    if (values[i] < 0 || values[i] > 255) return false;
    mac[i] = static_cast<uint8_t>(values[i]);
  }
  return true;
}

std::string FormatMacAddress(const TMacAddress& mac, bool hex) {
  std::string text;
  for (size_t i = 0; i < mac.size(); ++i) {
    char part[8];
    std::snprintf(part, sizeof part, hex ? "%02X" : "%u", static_cast<unsigned>(mac[i]));
    if (i > 0) text += hex ? "-" : " ";
    text += part;
  }
  return text;
}

std::string MacWriteQuestion(const TMacAddress& mac) {
  std::string question = GetLangStr("NetworkAdmin");
  if (mac[0] % 2 != 0) question = GetLangStr("UsuallyEven") + "\r\r\n" + question;
  return question;
}

TMacWriteResult WriteMacAddress(const TMacAddress& mac, bool realInstrument,
                                const std::function<std::string(const std::string&)>& query) {
  if (!realInstrument || !query) {
    Dialogs().Inform(TMessageKind::Warning, "Nothing was written: no instrument is connected.");
    return TMacWriteResult::NoInstrument;
  }
  const std::string sent = FormatMacAddress(mac, false);
  TMacAddress read{};
  if (!ParseMacAddress(query("Info:TCPIP:GETMAC? " + sent), read) || read != mac) {
    Dialogs().Inform(TMessageKind::Error, GetLangStr("ERR_MAC"));
    return TMacWriteResult::Failed;
  }
  Dialogs().Inform(TMessageKind::Information, GetLangStr("ToFinish"));
  return TMacWriteResult::Written;
}

}  // namespace norv
