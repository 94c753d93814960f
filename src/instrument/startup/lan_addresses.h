#pragma once
// Checks of the network settings the user writes into the instrument: the three texts of
// the address dialog, and the instrument's read-back of each value written.

#include <string_view>

#include "framework/text/ip_address.h"

namespace norv {

// The first input that is refused, in the order address, mask, gateway.
enum class TLanInputError : uint8_t { None, Address, Mask, Gateway };

// Parses the three texts. Refused: text that does not parse; a mask that is not a run of
// ones followed by zeros (all zeros included); an address of 0.0.0.0, 255.255.255.255, or
// the network or broadcast address of its subnet; a gateway of 255.255.255.255, the
// subnet's broadcast address, or outside the subnet (0.0.0.0 stands for "no gateway").
TLanInputError CheckLanInput(std::string_view ipText, std::string_view maskText, std::string_view gatewayText,
                             TIPv4Addr& ip, TIPv4Addr& mask, TIPv4Addr& gateway);

// The instrument's reply to a write holds the value sent, in whichever of its text forms.
bool ReadBackMatches(std::string_view reply, const TIPv4Addr& sent);

}  // namespace norv
