#pragma once
// The vertical settings of the two input channels under "Ch1:" and "Ch2:": whether a
// channel is displayed and acquired, its scale and offset in one of four unit systems
// (Volt, Rho, Ohm, Gain), its bandwidth, an external attenuation with the dimension of the
// probed quantity, and a deskew time. Channels are addressed by their code: 2 Ch1, 3 Ch2.

#include <array>
#include <string>

namespace norv {

class THandler;
class TRadioSwHandler;
class TOnOffHandler;
class TDoubleEditHandler;

// Per channel, index 0 Ch1 and 1 Ch2.
struct TChannelNodes {
  TOnOffHandler* Display = nullptr;
  TOnOffHandler* Acquire = nullptr;
  // Scale and offset of the unit systems Volt, Rho, Ohm, Gain.
  std::array<TDoubleEditHandler*, 4> Scale{};
  std::array<TDoubleEditHandler*, 4> Offset{};
  TRadioSwHandler* Band = nullptr;
  TRadioSwHandler* AttenUnit = nullptr;
  TDoubleEditHandler* AttenRatio = nullptr;
  TDoubleEditHandler* AttenDB = nullptr;
  TRadioSwHandler* AttenDimens = nullptr;
  TDoubleEditHandler* Deskew = nullptr;
};

// The unit's state: its nodes, held in one place so that it is reset as a whole.
struct TChannelSettingsState {
  std::array<TChannelNodes, 2> Nodes{};
  // The channel shown by a page opened on the left and on the right panel.
  TRadioSwHandler* MenuSelectL = nullptr;
  TRadioSwHandler* MenuSelectR = nullptr;
};
TChannelSettingsState& ChannelSettings();
// Back to the start state: no nodes.
void ResetChannelSettingsState();

void RegisterChannelCommands();
void ApplyChannelSettings();

// Display on or Acquire on.
bool IsChannelAcquired(int channel);
// False when the trace is off; for Ch1, Ch1B2, Ch2 and Ch2B2 the channel's Display.
bool IsSourceShown(int traceId);
// "V", or with attenuation the dimension's "V", "W", "A", "?"; with useTDR and a TDR/TDT
// unit other than Volt "Rho", "Ohm" or "" (Gain).
std::string GetChannelVertUnit(int channel, bool useTDR);
double GetAttenuationFactor(int channel);
// "", "Rho", "Ohm" or "Gain" by the channel's TDR/TDT unit.
std::string GetChannelUnitPrefix(int channel);
void BindChannelScaleControls(int channel);
int GetGraticuleSplit();
// Bound controls redraw the scale and offset texts.
void NotifyChannelScales();
// 2 when the handler is one of Ch1's nodes, else 3.
int ChannelOfHandler(const THandler& handler);
double GetChannelDeskew(int channel);
// The display/acquire rule of a channel.
void ApplyDisplayAcquireRule(int channel);

}  // namespace norv
