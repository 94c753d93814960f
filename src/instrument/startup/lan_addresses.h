#pragma once
// Checks of the network settings the user writes into the instrument: the three texts of
// the address dialog, and the instrument's read-back of each value written.

#include <functional>
#include <string>
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

// The values last read from the instrument; they outlive the dialog.
struct TLanAddressState {
  TIPv4Addr InstrumentMyIP, InstrumentSubMask, InstrumentGateway;
};
extern TLanAddressState LanAddressState;

// The instrument as the address dialog reaches it.
struct TLanPort {
  bool Real = false;     // a real instrument (not the simulator) is connected
  bool OverLan = false;  // ... through the network link
  // Sends a command line and gives the reply line.
  std::function<std::string(const std::string&)> Query;
};

// With a real instrument: asks the address, mask and gateway into LanAddressState.
void QueryAddresses(const TLanPort& port);

enum class TLanStoreResult : uint8_t { Refused, Cancelled, WriteFailed, Stored, LinkDrops };

// Checks the three texts (the first refused one is reported) and writes gateway, mask and
// address, each confirmed by the instrument's read-back before the next; a value not
// confirmed is reported and ends the writing. The success message only follows when all
// three were confirmed. Without an instrument nothing can be stored: after the question
// the user is told so. A new address written over the network link itself ends that link,
// which the user is told instead of a success.
TLanStoreResult StoreLanAddresses(std::string_view ipText, std::string_view maskText,
                                  std::string_view gatewayText, const TLanPort& port);

}  // namespace norv
