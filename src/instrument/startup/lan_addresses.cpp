#include "instrument/startup/lan_addresses.h"

#include <cstdint>

namespace norv {

namespace {

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

}  // namespace norv
