#include "instrument/startup/lan_addresses.h"

#include <cstdint>

#include "framework/language/language.h"
#include "framework/settings/program_objects.h"
#include "framework/util/dialog_service.h"

namespace norv {

TLanAddressState LanAddressState;

namespace {

const TProgramUnit LanUnit("LAN addresses", [] { LanAddressState = {}; });

uint32_t Word(const TIPv4Addr& a) {
  return uint32_t{a.Octets[0]} << 24 | uint32_t{a.Octets[1]} << 16 | uint32_t{a.Octets[2]} << 8 | a.Octets[3];
}

bool ContiguousMask(uint32_t mask) {
  // Ones then zeros: the inverted mask plus one is a power of two.
  const uint32_t hosts = ~mask;
  return mask != 0 && (hosts & (hosts + 1)) == 0;
}

}  // namespace

TLanInputError CheckLanInput(std::string_view ipText, std::string_view maskText, std::string_view gatewayText,
                             TIPv4Addr& ip, TIPv4Addr& mask, TIPv4Addr& gateway) {
  if (!StrToIPv4(ipText, ip)) return TLanInputError::Address;
  if (!StrToIPv4(maskText, mask) || !ContiguousMask(Word(mask))) return TLanInputError::Mask;
  if (!StrToIPv4(gatewayText, gateway)) return TLanInputError::Gateway;
  const uint32_t m = Word(mask), a = Word(ip), g = Word(gateway);
  const uint32_t hostPart = a & ~m;
  // A /31 or /32 subnet has no network and broadcast addresses of its own.
  const bool hasBroadcast = ~m > 1;
  if (a == 0 || a == 0xFFFFFFFFu || (hasBroadcast && (hostPart == 0 || hostPart == ~m)))
    return TLanInputError::Address;
  if (g != 0 && (g == 0xFFFFFFFFu || (g & m) != (a & m) || (hasBroadcast && (g & ~m) == ~m) || g == a))
    return TLanInputError::Gateway;
  return TLanInputError::None;
}

bool ReadBackMatches(std::string_view reply, const TIPv4Addr& sent) {
  TIPv4Addr read;
  return StrToIPv4(reply, read) && SameIPv4(read, sent);
}

void QueryAddresses(const TLanPort& port) {
  if (!port.Real || !port.Query) return;
  TLanAddressState& s = LanAddressState;
  StrToIPv4(port.Query("Info:TCPIP:MyIP?"), s.InstrumentMyIP);
  StrToIPv4(port.Query("Info:TCPIP:SubMask?"), s.InstrumentSubMask);
  StrToIPv4(port.Query("Info:TCPIP:Gateway?"), s.InstrumentGateway);
}

TLanStoreResult StoreLanAddresses(std::string_view ipText, std::string_view maskText,
                                  std::string_view gatewayText, const TLanPort& port) {
  TIPv4Addr ip, mask, gateway;
  switch (CheckLanInput(ipText, maskText, gatewayText, ip, mask, gateway)) {
    case TLanInputError::Address:
      Dialogs().Inform(TMessageKind::Error, GetLangStr("incorrIPAddress"));
      return TLanStoreResult::Refused;
    case TLanInputError::Mask:
      Dialogs().Inform(TMessageKind::Error, GetLangStr("incorrSubnetMask"));
      return TLanStoreResult::Refused;
    case TLanInputError::Gateway:
      Dialogs().Inform(TMessageKind::Error, GetLangStr("incorrSubnetGateway"));
      return TLanStoreResult::Refused;
    case TLanInputError::None:
      break;
  }
  if (!port.Real || !port.Query) {
    if (Dialogs().Ask(TMessageKind::Confirmation, GetLangStr("Unit not connected."),
                      {TAnswer::OK, TAnswer::Cancel}, TAnswer::Cancel) != TAnswer::OK)
      return TLanStoreResult::Cancelled;
    Dialogs().Inform(TMessageKind::Warning, "Nothing was stored: no instrument is connected.");
    return TLanStoreResult::Cancelled;
  }
  const bool addressMoves = port.OverLan && !SameIPv4(ip, LanAddressState.InstrumentMyIP);
  struct TWrite {
    const char* Command;
    const TIPv4Addr& Value;
    const char* ErrorKey;
  };
  const TWrite writes[] = {{"Info:TCPIP:Gateway?", gateway, "ERR_WrGateway"},
                           {"Info:TCPIP:SubMask?", mask, "ERR_WrSubnetMask"},
                           {"Info:TCPIP:MyIP?", ip, "ERR_WrIPAddress"}};
  for (const TWrite& w : writes) {
    const std::string command = std::string(w.Command) + " " + IPv4ToStr(w.Value, 0);
    if (addressMoves && &w.Value == &ip) {
      // The instrument answers from its new address, if at all: the link ends here.
      try {
        port.Query(command);
      } catch (const std::exception&) {
      }
      LanAddressState.InstrumentMyIP = ip;
      Dialogs().Inform(TMessageKind::Warning,
                       "The instrument now uses the address " + IPv4ToDottedStr(ip) +
                           "; the link to it drops. Connect again at the new address.");
      return TLanStoreResult::LinkDrops;
    }
    if (!ReadBackMatches(port.Query(command), w.Value)) {
      Dialogs().Inform(TMessageKind::Error, GetLangStr(w.ErrorKey));
      return TLanStoreResult::WriteFailed;
    }
  }
  QueryAddresses(port);
  Dialogs().Inform(TMessageKind::Information, GetLangStr("IPsuccessfullyStored"));
  return TLanStoreResult::Stored;
}

}  // namespace norv
