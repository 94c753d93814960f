#pragma once
// The channel, time-base, trigger and acquisition settings as the acquisition cycle reads
// them for every record. The settings units answer through this interface (see
// settings_wiring.h); until they are installed, TDefaultAcqSettings stands in with the
// start-up values of the nodes, so the cycle runs on its own and tests and benchmarks can
// change single answers.
//
// Channel codes: 2 = Ch1, 3 = Ch2.

#include <array>
#include <string>

#include "framework/traces/trace_names.h"
#include "instrument/settings/acquisition_settings.h"
#include "instrument/settings/timebase_settings.h"
#include "units/tdr_units.h"

namespace norv {

// The vertical settings of a channel, as stored in its nodes.
struct TChannelScales {
  double Scale = 0.1;
  double Offset = 0;
  double RhoScale = 0.2;
  double RhoOffset = 0;
  double OhmScale = 20;
  double OhmOffset = 50;
  double GainScale = 0.2;
  double GainOffset = 0;
};

class IAcqSettings {
 public:
  virtual ~IAcqSettings() = default;

  // Channels (the "ChN:" and "GSS:" nodes).
  virtual bool IsSourceShown(TTraceId id) const = 0;
  virtual TChannelScales GetChannelScales(int channel) const = 0;
  virtual double GetAttenuationFactor(int channel) const = 0;
  // The unit of the channel's volts ("V", or the attenuator's dimension).
  virtual std::string GetChannelVertUnit(int channel) const = 0;
  virtual double GetDeskew(int channel) const = 0;
  // The channel's vertical unit system: 0 Volt, 1 Rho, 2 Ohm, 3 Gain (TDR/TDT sets it).
  virtual int GetTDRVertUnit(int channel) const = 0;
  // The channel is fed by a simulator generator ("GSS:ChN" not Off).
  virtual bool IsSimulatorAssigned(int channel) const = 0;

  // Acquisition ("Acq:" nodes).
  virtual bool UseCommonAcqSettings() const = 0;
  virtual TAcqMode GetAcqMode(int channel) const = 0;
  virtual int GetAcqNAvg(int channel) const = 0;
  virtual int GetAcqRecLen(int channel) const = 0;
  virtual int GetAcqCount(int channel) const = 0;
  virtual double PeakIntervalRatio(int channel) const = 0;
  virtual bool RunUntilNAcq() const = 0;
  virtual int GetNAcq() const = 0;
  virtual bool AcqReactBeep() const = 0;
  virtual bool AcqReactSave() const = 0;
  // The origin of the command that last asked for the save: its failures are told as that
  // command's would be.
  virtual TRequestOrigin AcqReactSaveOrigin() const = 0;
  // "Acq:FileName" without its extension (folder and base name).
  virtual std::string AutoSaveBaseName() const = 0;
  virtual TAcqFileFormat GetAcqFileFormat() const = 0;

  // Time base ("TB:" nodes).
  virtual bool DualDelayActive() const = 0;  // "TB:Mode" is B and "TB:DualDel" on
  virtual double GetRecordStartTime(int channel, bool secondWindow) const = 0;
  virtual double GetActiveTimeScale() const = 0;
  virtual THorizontalUnit GetHorizontalUnitKind() const = 0;
  // A time (s or s/div) in the horizontal unit.
  virtual double TimeToHorizontalUnit(double seconds) const = 0;
  // The line's relative dielectric constant, 1 / velocity factor squared.
  virtual double GetPropagation() const = 0;

  // Trigger ("Trig:" nodes).
  virtual bool TriggerStatusFromData() const = 0;  // "Trig:Mode" Trig and "Trig:Source" Direct
  virtual double GetTriggerHoldoff() const = 0;    // s
  virtual bool PatternLockOn() const = 0;
  virtual bool PattEyeLineOn() const = 0;
  virtual bool LowJitterOn() const = 0;
};

// The start-up values of the nodes; every field may be changed.
class TDefaultAcqSettings : public IAcqSettings {
 public:
  struct TChannel {
    bool Display = true;
    TChannelScales Scales;
    double Attenuation = 1;
    std::string VertUnit = "V";
    double Deskew = 0;
    int TDRVertUnit = 0;
    bool Simulated = false;
    TAcqMode Mode = TAcqMode::Sample;
    int NAvg = 2;
    int NEnv = 2;
    double PkInterval = 1e-10;
    int RecLen = 512;
  };

  std::array<TChannel, 2> Channels;  // [0] Ch1, [1] Ch2
  bool SimultaneousSampling = true;  // "Acq:Sampl" is Simult
  bool RunUntilCount = false;
  int NAcq = 32;
  bool ReactBeep = false;
  bool ReactSave = false;
  TRequestOrigin ReactSaveOrigin;
  std::string FileBaseName = "Noname";
  TAcqFileFormat FileFormat = TAcqFileFormat::Binary;
  bool ModeB = false;
  bool DualDelay = false;
  double ScaleA = 1e-9;
  double ScaleB = 1e-10;
  double Delay = 0;       // divisions of time base A
  double DeltaDelay = 0;  // divisions of time base A
  THorizontalUnit HorUnit = huTime;
  double BitRate = 1.544e6;
  double PropagationFactor = 1;  // velocity factor of the line
  double PathDivisor = 2;        // TDR: the reflection travels the line twice
  bool TriggerDirect = true;
  bool TriggerFree = false;
  double Holdoff = 1e-5;
  bool PatternLock = false;
  bool PattEyeLine = false;
  bool LowJitter = false;

  TChannel& Channel(int channel) { return Channels[Slot(channel)]; }
  const TChannel& Channel(int channel) const { return Channels[Slot(channel)]; }

  bool IsSourceShown(TTraceId id) const override;
  TChannelScales GetChannelScales(int channel) const override { return Channel(channel).Scales; }
  double GetAttenuationFactor(int channel) const override { return Channel(channel).Attenuation; }
  std::string GetChannelVertUnit(int channel) const override { return Channel(channel).VertUnit; }
  double GetDeskew(int channel) const override { return Channel(channel).Deskew; }
  int GetTDRVertUnit(int channel) const override { return Channel(channel).TDRVertUnit; }
  bool IsSimulatorAssigned(int channel) const override { return Channel(channel).Simulated; }
  bool UseCommonAcqSettings() const override;
  TAcqMode GetAcqMode(int channel) const override { return Effective(channel).Mode; }
  int GetAcqNAvg(int channel) const override { return Effective(channel).NAvg; }
  int GetAcqRecLen(int channel) const override;
  int GetAcqCount(int channel) const override;
  double PeakIntervalRatio(int channel) const override;
  bool RunUntilNAcq() const override { return RunUntilCount; }
  int GetNAcq() const override { return NAcq; }
  bool AcqReactBeep() const override { return ReactBeep; }
  bool AcqReactSave() const override { return ReactSave; }
  TRequestOrigin AcqReactSaveOrigin() const override { return ReactSaveOrigin; }
  std::string AutoSaveBaseName() const override { return FileBaseName; }
  TAcqFileFormat GetAcqFileFormat() const override { return FileFormat; }
  bool DualDelayActive() const override { return ModeB && DualDelay; }
  double GetRecordStartTime(int channel, bool secondWindow) const override;
  double GetActiveTimeScale() const override { return ModeB ? ScaleB : ScaleA; }
  THorizontalUnit GetHorizontalUnitKind() const override { return HorUnit; }
  double TimeToHorizontalUnit(double seconds) const override;
  double GetPropagation() const override { return PropagationOfFactor(PropagationFactor); }
  bool TriggerStatusFromData() const override { return !TriggerFree && TriggerDirect; }
  double GetTriggerHoldoff() const override { return Holdoff; }
  bool PatternLockOn() const override { return PatternLock; }
  bool PattEyeLineOn() const override { return PattEyeLine; }
  bool LowJitterOn() const override { return LowJitter; }

 private:
  static int Slot(int channel) { return channel == 3 ? 1 : 0; }
  // Ch1's settings answer for both channels while they share them.
  const TChannel& Effective(int channel) const { return Channel(UseCommonAcqSettings() ? 2 : channel); }
};

}  // namespace norv
