#pragma once
// The instrument's Ethernet address as the MAC address dialog shows and writes it.

#include <array>
#include <functional>
#include <string>
#include <string_view>

namespace norv {

using TMacAddress = std::array<uint8_t, 6>;

// Six hexadecimal bytes separated by blanks or '-'; nothing else, none above FF.
bool ParseMacText(std::string_view text, TMacAddress& mac);
// "00-1A-2B-3C-4D-5E" (hex) or "0 26 43 60 77 94" (decimal, the instrument's form).
std::string FormatMacAddress(const TMacAddress& mac, bool hex);

// The question before a write: the network administrator's warning, preceded by the one
// about an odd first byte when it is odd.
std::string MacWriteQuestion(const TMacAddress& mac);

enum class TMacWriteResult : uint8_t { Written, Failed, NoInstrument };

// Writes the address into a real instrument (query: sends a line, gives the reply line)
// and tells the user the outcome: the power-cycle notice only when the instrument
// confirmed the address, the error when it answered another one, and that nothing was
// written when no instrument is connected.
TMacWriteResult WriteMacAddress(const TMacAddress& mac, bool realInstrument,
                                const std::function<std::string(const std::string&)>& query);

}  // namespace norv
