#pragma once
// The known instruments and the start choice, kept in "Configuration.ini" in the program
// folder: one section per instrument (its name followed by " Instrument") and [COMMON].
//
// An instrument has a name (what commands, lock files and setup files use) and a label
// (the user's description). The two are kept apart everywhere: lists shown to the user
// are built from the entries and give back indexes, never names parsed out of shown text.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "framework/text/ip_address.h"
#include "instrument/link/link_state.h"

namespace norv {

inline constexpr const char* ConfigurationFileName = "Configuration.ini";
inline constexpr const char* CommonSection = "COMMON";
inline constexpr const char* StartUnitKey = "Start Unit";
inline constexpr const char* LastSmartKey = "Last Smart Instrument";

inline constexpr std::string_view AbsentName = "Absent";
inline constexpr std::string_view DefaultAutoName = "Default Auto";
inline constexpr std::string_view DefaultDemoName = "Default Demo";
inline constexpr std::string_view DefaultLanName = "Default LAN";
inline constexpr std::string_view DefaultUsbName = "Default USB";

// The instrument's factory network address, also proposed for new LAN entries.
TIPv4Addr DefaultLanAddress();

// "None", "USB", "LAN", "Demo".
const char* LinkKindText(TLinkKind kind);

struct TInstrumentProp {
  TLinkKind Kind = TLinkKind::None;
  std::string Label;  // key "Name"
  TIPv4Addr Address;  // meaningful for LAN entries
};

struct TInstrumentEntry {
  std::string Name;
  TInstrumentProp Prop;
};

// The entries sorted by name (ignoring letter case), each name once.
class TInstrumentList {
 public:
  int Count() const { return static_cast<int>(entries_.size()); }
  const TInstrumentEntry& operator[](int index) const { return entries_.at(index); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }
  // -1 when absent; names compare ignoring letter case.
  int IndexOf(std::string_view name) const;
  bool Contains(std::string_view name) const { return IndexOf(name) >= 0; }
  // nullptr when absent.
  TInstrumentProp* Find(std::string_view name);
  // A name that is there already raises EAssertion.
  void Add(std::string_view name, const TInstrumentProp& prop);
  void Remove(std::string_view name);
  void Clear() { entries_.clear(); }

 private:
  std::vector<TInstrumentEntry> entries_;
};

// --- names ---
// "Absent", "Default Demo", "Default LAN", "Default USB" (any case), "Demo1".."Demo3" or
// "Instrument1".."Instrument8" (prefix case as written).
bool IsValidInstrumentName(std::string_view name);
// "Default Auto", "Default LAN", "Default USB" or a name containing "INSTRUMENT" (any
// case): these use the real-instrument lock slot, the others the demo slot.
bool IsRealInstrumentName(std::string_view name);
// "Absent" or a name beginning with "DEFAULT" (any case): never deleted.
bool IsDefaultInstrumentName(std::string_view name);
// A pseudo name in its own spelling ("default usb" -> "Default USB"); others unchanged.
std::string CanonicalInstrumentName(std::string_view name);
// The kind of a pseudo name: Demo, None for "Absent", USB, else LAN with the default
// address.
TInstrumentProp KindFromName(std::string_view name);
// The consistency rules of a stored entry; on success the kind and the address.
bool ValidateInstrumentEntry(std::string_view name, std::string_view interfaceText, std::string_view ipText,
                             TLinkKind& kind, TIPv4Addr& address);

// --- the list and the start choice ---
struct TInstrumentListState {
  TInstrumentList InstrumentList;
  std::string CurrentInstrumentName;
  std::string StartInstrumentName;
  std::string LastSmartInstrument = std::string(DefaultUsbName);
  bool CommandLineChosen = false;
  // Deleted since the list was last written; their sections go when it is written.
  std::vector<std::string> RemovedInstrumentNames;
  // The program's parameters, without the program itself.
  std::vector<std::string> CommandLine;
};
extern TInstrumentListState InstrumentListState;
inline constinit TInstrumentList& InstrumentList = InstrumentListState.InstrumentList;
inline constinit std::string& CurrentInstrumentName = InstrumentListState.CurrentInstrumentName;
inline constinit std::string& StartInstrumentName = InstrumentListState.StartInstrumentName;

std::filesystem::path ConfigurationFilePath();

// (Re)builds the list and the start choice from "Configuration.ini": invalid sections go,
// damaged pseudo entries are repaired, missing ones are added, and a start instrument
// no longer listed becomes "Default Auto". The repairs are written back when the folder
// allows it; a file that cannot be read gives the pseudo entries alone.
void ReadInstrumentConfiguration();
// Erases the sections of the removed names, writes every entry and, unless the start
// instrument came from the command line, [COMMON] with "Start Unit" alone. Raises
// EIniFileError when the file cannot be written.
void WriteInstrumentConfiguration();

// The first parameter equal (upper-cased, blanks as "_") to "DEFAULT_AUTO", "ABSENT" or an
// entry's name or label gives its name.
bool CommandLineInstrument(std::string& name);
// A parameter equal to name, both upper-cased unless caseSensitive.
bool IsCommandLineParam(std::string_view name, bool caseSensitive = false);

// "Instrument1".."Instrument8" / "Demo2", "Demo3": the first that is neither listed nor
// waiting for its section to be erased; empty when none is free.
std::string NewInstrumentName();
std::string NewDemoName();
// A LAN entry other than exceptName has this valid address.
bool IpAddressInUse(const TIPv4Addr& address, std::string_view exceptName = {});
// "label  [name]", or the name alone when the label is empty.
std::string InstrumentDisplayText(int index);
// Upper case, blanks as "_": how commands and the command line name instruments.
std::string CommandFormOfName(std::string_view text);

// --- editing, as the selection dialog does it ---
enum class TEntryCheck : uint8_t { Ok, BadAddress, AddressInUse };
// For a LAN entry (adding, or editing the entry `name`): the address text must parse and
// no other LAN entry may have the address. Other kinds always pass.
TEntryCheck CheckInstrumentEntry(std::string_view name, TLinkKind kind, std::string_view ipText,
                                 TIPv4Addr& address);
// Adds or replaces the entry; the name must be valid (EAssertion otherwise).
void StoreInstrumentEntry(std::string_view name, const TInstrumentProp& prop);
// Removes a deletable entry and remembers its name for the next write; false (nothing
// changes) for the current or the start instrument and for default names.
bool DeleteInstrumentEntry(std::string_view name);

}  // namespace norv
