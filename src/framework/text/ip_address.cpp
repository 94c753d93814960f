#include "framework/text/ip_address.h"

#include <charconv>

namespace norv {

namespace {

// A part of only decimal digits with a value 0..255.
bool ParseOctet(std::string_view part, uint8_t& octet) {
  if (part.empty()) return false;
  unsigned value = 0;
  const auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
  if (error != std::errc() || end != part.data() + part.size() || value > 255) return false;
  octet = static_cast<uint8_t>(value);
  return true;
}

std::string JoinOctets(const TIPv4Addr& addr, std::string_view separator) {
  std::string text;
  for (size_t i = 0; i < addr.Octets.size(); ++i) {
    if (i > 0) text += separator;
    text += std::to_string(addr.Octets[i]);
  }
  return text;
}

}  // namespace

bool StrToIPv4(std::string_view text, TIPv4Addr& addr) {
  addr.Valid = 0;
  addr.Octets.fill(255);
  std::string blanked(text);
  for (char& c : blanked) {
    if (c == '.') c = ' ';
  }
  const std::string_view rest(blanked);
  size_t pos = 0;
  for (size_t k = 0; k < addr.Octets.size(); ++k) {
    pos = rest.find_first_not_of(' ', pos);
    if (pos == std::string_view::npos) return false;
    const bool last = k + 1 == addr.Octets.size();
    const size_t end = last ? rest.size() : rest.find(' ', pos);
    if (end == std::string_view::npos) return false;
    if (!ParseOctet(rest.substr(pos, end - pos), addr.Octets[k])) return false;
    pos = end;
  }
  addr.Valid = 1;
  return true;
}

bool SameIPv4(const TIPv4Addr& a, const TIPv4Addr& b) { return a.Valid && b.Valid && a.Octets == b.Octets; }

std::string IPv4ToStr(const TIPv4Addr& addr, int style) {
  switch (style) {
    case 0:
      return JoinOctets(addr, " ");
    case 1:
      return addr.Valid ? "  " + JoinOctets(addr, " . ") : "___ . ___ . ___ . ___";
    default:
      return JoinOctets(addr, ".");
  }
}

std::string IPv4ToDottedStr(const TIPv4Addr& addr) {
  return addr.Valid ? JoinOctets(addr, ".") : "???.???.???.???";
}

}  // namespace norv
