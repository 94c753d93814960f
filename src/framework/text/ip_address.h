#pragma once
// IPv4 addresses as the instrument's LAN settings hold them, and their text forms.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace norv {

struct TIPv4Addr {
  uint8_t Valid = 0;                // 0: no address
  std::array<uint8_t, 4> Octets{};  // first octet first
};

// Reads four decimal parts 0..255 separated by blanks and/or dots ("192.168.0.1",
// "10 0 0 1"); nothing may follow the fourth. On failure Addr is invalid, the octets read
// so far are kept and the rest are 255.
bool StrToIPv4(std::string_view text, TIPv4Addr& addr);

// Both valid with equal octets.
bool SameIPv4(const TIPv4Addr& a, const TIPv4Addr& b);

// Style 0: "1 2 3 4" (the instrument's command form); style 1: "  1 . 2 . 3 . 4", or
// "___ . ___ . ___ . ___" for an invalid address; any other style "1.2.3.4". Styles other
// than 1 show the octets also when the address is invalid.
std::string IPv4ToStr(const TIPv4Addr& addr, int style);
// "1.2.3.4", or "???.???.???.???" for an invalid address.
std::string IPv4ToDottedStr(const TIPv4Addr& addr);

}  // namespace norv
