#include "instrument/startup/instrument_list.h"

#include <algorithm>
#include <array>
#include <vector>

#include "framework/settings/program_objects.h"
#include "framework/text/ini_file.h"
#include "framework/text/text_case.h"
#include "framework/util/errors.h"
#include "framework/util/program_dir.h"

namespace norv {

TInstrumentListState InstrumentListState;

namespace {

const TProgramUnit ListUnit("instrument list", [] { InstrumentListState = {}; });

constexpr std::array<std::string_view, 4> PseudoNames = {AbsentName, DefaultDemoName, DefaultLanName,
                                                         DefaultUsbName};
constexpr std::string_view SectionSuffix = " Instrument";

bool Contains(std::string_view text, std::string_view upperWord) {
  return UpperAscii(text).find(upperWord) != std::string::npos;
}

std::string SectionOf(std::string_view name) { return std::string(name) + std::string(SectionSuffix); }

// Ignoring letter case, as the list is sorted.
bool NameLess(std::string_view a, std::string_view b) { return UpperAscii(a) < UpperAscii(b); }

void WriteInstrumentSection(TCustomIniFile_Dot& ini, std::string_view name, const TInstrumentProp& prop) {
  const std::string section = SectionOf(name);
  ini.WriteString(section, "Name", prop.Label);
  ini.WriteString(section, "Interface", LinkKindText(prop.Kind));
  if (prop.Address.Valid) ini.WriteString(section, "IP Address", IPv4ToDottedStr(prop.Address));
}

bool IsRemoved(std::string_view name) {
  for (const std::string& removed : InstrumentListState.RemovedInstrumentNames)
    if (SameTextAscii(removed, name)) return true;
  return false;
}

std::string FirstFreeName(std::string_view prefix, char first, char last) {
  for (char digit = first; digit <= last; ++digit) {
    const std::string name = std::string(prefix) + digit;
    if (!InstrumentList.Contains(name) && !IsRemoved(name)) return name;
  }
  return {};
}

// "Default USB" unless the stored value is one of the two the chain knows.
std::string ReadLastSmart(TCustomIniFile_Dot& ini) {
  const std::string stored = ini.ReadString(CommonSection, LastSmartKey, DefaultUsbName);
  return SameTextAscii(stored, DefaultLanName) ? std::string(DefaultLanName) : std::string(DefaultUsbName);
}

// A label is one line of text without outer blanks: a control character that a damaged
// file put into it becomes a blank, so the label reads back as it is written.
std::string LabelText(std::string label) {
  for (char& c : label)
    if (static_cast<unsigned char>(c) < ' ') c = ' ';
  return std::string(TrimBlanks(label));
}

// The entry's section written afresh in place of every section that held it.
void MoveToOwnSection(TCustomIniFile_Dot& ini, std::string_view section, std::string_view name,
                      const TInstrumentProp& prop) {
  ini.EraseSection(section);
  ini.EraseSection(SectionOf(name));
  WriteInstrumentSection(ini, name, prop);
}

// A listed entry's own section, its name in any letter case, as the file finds sections.
bool IsListedOwnSection(std::string_view section) {
  const size_t nameSize = section.size() - std::min(section.size(), SectionSuffix.size());
  return SameTextAscii(section.substr(nameSize), SectionSuffix) &&
         InstrumentList.Contains(section.substr(0, nameSize));
}

// Reads the entries of the file into the list; true when the file needs writing back.
// The first valid section of a name gives the entry, and a listed entry ends in its own
// section (the name and " Instrument") and in no other: a later read then finds the same
// list, and a later write replaces what was read instead of adding a section it hides.
bool ReadEntries(TCustomIniFile_Dot& ini) {
  bool changed = false;
  // Damaged sections of default names, repaired with their label unless a valid one follows.
  std::vector<TInstrumentEntry> damagedDefaults;
  for (const std::string& section : ini.ReadSections()) {
    const size_t suffix = section.find(SectionSuffix);
    const std::string name = CanonicalInstrumentName(section.substr(0, suffix));
    const bool ownSection = SameTextAscii(section, SectionOf(name));
    if (!IsValidInstrumentName(name) || InstrumentList.Contains(name)) {
      // An entry read from elsewhere was moved into its own section, which is kept (also
      // when named here in other letter case: erasing that would erase the entry); any
      // other second section of the name would only hide the first.
      if (SameTextAscii(section, CommonSection) || IsListedOwnSection(section)) continue;
      ini.EraseSection(section);
      changed = true;
      continue;
    }
    TInstrumentProp prop;
    prop.Label = LabelText(ini.ReadString(section, "Name", ""));
    const std::string iface = ini.ReadString(section, "Interface", "");
    const std::string ip = ini.ReadString(section, "IP Address", "");
    if (ValidateInstrumentEntry(name, iface, ip, prop.Kind, prop.Address)) {
      InstrumentList.Add(name, prop);
      if (!ownSection) {
        MoveToOwnSection(ini, section, name, prop);
        changed = true;
      }
      continue;
    }
    ini.EraseSection(section);
    changed = true;
    const bool firstDamaged = std::none_of(damagedDefaults.begin(), damagedDefaults.end(),
                                           [&](const TInstrumentEntry& e) { return e.Name == name; });
    if (IsDefaultInstrumentName(name) && firstDamaged)
      damagedDefaults.push_back(TInstrumentEntry{name, prop});
  }
  for (const TInstrumentEntry& damaged : damagedDefaults) {
    if (InstrumentList.Contains(damaged.Name)) continue;
    TInstrumentProp repaired = KindFromName(damaged.Name);
    repaired.Label = damaged.Prop.Label;
    MoveToOwnSection(ini, SectionOf(damaged.Name), damaged.Name, repaired);
    InstrumentList.Add(damaged.Name, repaired);
  }
  for (std::string_view name : PseudoNames) {
    if (InstrumentList.Contains(name)) continue;
    const TInstrumentProp prop = KindFromName(name);
    MoveToOwnSection(ini, SectionOf(name), name, prop);
    InstrumentList.Add(name, prop);
    changed = true;
  }
  return changed;
}

// The start choice; true when [COMMON] had to be rewritten.
bool ReadStartChoice(TCustomIniFile_Dot& ini) {
  TInstrumentListState& s = InstrumentListState;
  s.CommandLineChosen = CommandLineInstrument(s.StartInstrumentName);
  if (!s.CommandLineChosen) {
    const std::string stored = ini.ReadString(CommonSection, StartUnitKey, "???");
    const int index = InstrumentList.IndexOf(stored);
    s.StartInstrumentName = index >= 0 ? InstrumentList[index].Name : std::string(DefaultAutoName);
  }
  if (s.StartInstrumentName == DefaultAutoName) s.LastSmartInstrument = ReadLastSmart(ini);
  if (s.CommandLineChosen) return false;
  // "Default Auto" is a choice of its own, not a listed name that went.
  const std::string stored = ini.ReadString(CommonSection, StartUnitKey, "???");
  if (InstrumentList.Contains(stored) || SameTextAscii(stored, DefaultAutoName)) return false;
  // The chain's memory is kept, so the next start reads what this one uses.
  ini.EraseSection(CommonSection);
  ini.WriteString(CommonSection, StartUnitKey, s.StartInstrumentName);
  ini.WriteString(CommonSection, LastSmartKey, s.LastSmartInstrument);
  return true;
}

}  // namespace

TIPv4Addr DefaultLanAddress() { return TIPv4Addr{1, {192, 168, 1, 55}}; }

const char* LinkKindText(TLinkKind kind) {
  switch (kind) {
    case TLinkKind::USB:
      return "USB";
    case TLinkKind::LAN:
      return "LAN";
    case TLinkKind::Demo:
      return "Demo";
    case TLinkKind::None:
      break;
  }
  return "None";
}

int TInstrumentList::IndexOf(std::string_view name) const {
  for (size_t i = 0; i < entries_.size(); ++i)
    if (SameTextAscii(entries_[i].Name, name)) return static_cast<int>(i);
  return -1;
}

TInstrumentProp* TInstrumentList::Find(std::string_view name) {
  const int index = IndexOf(name);
  return index < 0 ? nullptr : &entries_[index].Prop;
}

void TInstrumentList::Add(std::string_view name, const TInstrumentProp& prop) {
  if (Contains(name)) throw EAssertion("ERROR!  Instrument " + std::string(name) + " listed twice");
  const auto at = std::find_if(entries_.begin(), entries_.end(),
                               [&](const TInstrumentEntry& e) { return NameLess(name, e.Name); });
  entries_.insert(at, TInstrumentEntry{std::string(name), prop});
}

void TInstrumentList::Remove(std::string_view name) {
  const int index = IndexOf(name);
  if (index >= 0) entries_.erase(entries_.begin() + index);
}

bool IsValidInstrumentName(std::string_view name) {
  for (std::string_view pseudo : PseudoNames)
    if (SameTextAscii(name, pseudo)) return true;
  if (name.size() == 5 && name.starts_with("Demo")) return name[4] >= '1' && name[4] <= '3';
  if (name.size() == 11 && name.starts_with("Instrument")) return name[10] >= '1' && name[10] <= '8';
  return false;
}

bool IsRealInstrumentName(std::string_view name) {
  return SameTextAscii(name, DefaultAutoName) || SameTextAscii(name, DefaultLanName) ||
         SameTextAscii(name, DefaultUsbName) || Contains(name, "INSTRUMENT");
}

bool IsDefaultInstrumentName(std::string_view name) {
  return SameTextAscii(name, AbsentName) || UpperAscii(name).starts_with("DEFAULT");
}

std::string CanonicalInstrumentName(std::string_view name) {
  for (std::string_view pseudo : PseudoNames)
    if (SameTextAscii(name, pseudo)) return std::string(pseudo);
  if (SameTextAscii(name, DefaultAutoName)) return std::string(DefaultAutoName);
  return std::string(name);
}

TInstrumentProp KindFromName(std::string_view name) {
  TInstrumentProp prop;
  if (Contains(name, "DEMO")) {
    prop.Kind = TLinkKind::Demo;
  } else if (SameTextAscii(name, AbsentName)) {
    prop.Kind = TLinkKind::None;
  } else if (Contains(name, "USB")) {
    prop.Kind = TLinkKind::USB;
  } else {
    prop.Kind = TLinkKind::LAN;
    prop.Address = DefaultLanAddress();
  }
  return prop;
}

bool ValidateInstrumentEntry(std::string_view name, std::string_view interfaceText, std::string_view ipText,
                             TLinkKind& kind, TIPv4Addr& address) {
  constexpr std::array<TLinkKind, 4> Kinds = {TLinkKind::None, TLinkKind::USB, TLinkKind::LAN,
                                              TLinkKind::Demo};
  const auto found = std::find_if(Kinds.begin(), Kinds.end(),
                                  [&](TLinkKind k) { return SameTextAscii(interfaceText, LinkKindText(k)); });
  if (found == Kinds.end()) return false;
  const TLinkKind given = *found;
  TIPv4Addr parsed;
  if (Contains(name, "DEMO")) {
    if (given != TLinkKind::Demo || !ipText.empty()) return false;
  } else if (SameTextAscii(name, AbsentName)) {
    if (given != TLinkKind::None || !ipText.empty()) return false;
  } else if (Contains(name, "USB")) {
    if (given != TLinkKind::USB || !ipText.empty()) return false;
  } else {
    if (given != TLinkKind::LAN || !StrToIPv4(ipText, parsed)) return false;
    if (Contains(name, "LAN") && !SameIPv4(parsed, DefaultLanAddress())) return false;
  }
  kind = given;
  address = parsed;
  return true;
}

std::filesystem::path ConfigurationFilePath() { return ProgramDir() / ConfigurationFileName; }

void ReadInstrumentConfiguration() {
  InstrumentList.Clear();
  std::unique_ptr<TMemIniFile_Dot> ini;
  try {
    ini = std::make_unique<TMemIniFile_Dot>(ConfigurationFilePath());
  } catch (const EIniFileError&) {
    // Unreadable: work from the pseudo entries and leave the file alone.
    ini = std::make_unique<TMemIniFile_Dot>(std::filesystem::path());
  }
  const bool entriesChanged = ReadEntries(*ini);
  const bool commonChanged = ReadStartChoice(*ini);
  if ((entriesChanged || commonChanged) && !ini->FileName().empty()) {
    try {
      ini->UpdateFile();
    } catch (const EIniFileError&) {
      // A read-only program folder: the repairs hold for this run.
    }
  }
}

void WriteInstrumentConfiguration() {
  TMemIniFile_Dot ini(ConfigurationFilePath());
  // Removed sections go first, so an entry that took a removed name again keeps its own.
  for (const std::string& name : InstrumentListState.RemovedInstrumentNames)
    ini.EraseSection(SectionOf(name));
  for (const TInstrumentEntry& entry : InstrumentList) {
    ini.EraseSection(SectionOf(entry.Name));
    WriteInstrumentSection(ini, entry.Name, entry.Prop);
  }
  if (!InstrumentListState.CommandLineChosen) {
    ini.EraseSection(CommonSection);
    ini.WriteString(CommonSection, StartUnitKey, StartInstrumentName);
  }
  ini.UpdateFile();
}

std::string CommandFormOfName(std::string_view text) {
  std::string form = UpperAscii(text);
  std::replace(form.begin(), form.end(), ' ', '_');
  return form;
}

bool CommandLineInstrument(std::string& name) {
  for (const std::string& param : InstrumentListState.CommandLine) {
    const std::string typed = UpperAscii(param);
    if (typed == CommandFormOfName(DefaultAutoName)) {
      name = std::string(DefaultAutoName);
      return true;
    }
    if (typed == "ABSENT") {
      name = std::string(AbsentName);
      return true;
    }
    for (const TInstrumentEntry& entry : InstrumentList) {
      // An empty label names nothing.
      if (typed == CommandFormOfName(entry.Name) ||
          (!entry.Prop.Label.empty() && typed == CommandFormOfName(entry.Prop.Label))) {
        name = entry.Name;
        return true;
      }
    }
  }
  return false;
}

bool IsCommandLineParam(std::string_view name, bool caseSensitive) {
  for (const std::string& param : InstrumentListState.CommandLine)
    if (caseSensitive ? param == name : SameTextAscii(param, name)) return true;
  return false;
}

std::string NewInstrumentName() { return FirstFreeName("Instrument", '1', '8'); }
std::string NewDemoName() { return FirstFreeName("Demo", '2', '3'); }

bool IpAddressInUse(const TIPv4Addr& address, std::string_view exceptName) {
  for (const TInstrumentEntry& entry : InstrumentList)
    if (entry.Prop.Kind == TLinkKind::LAN && SameIPv4(entry.Prop.Address, address) &&
        !SameTextAscii(entry.Name, exceptName))
      return true;
  return false;
}

std::string InstrumentDisplayText(int index) {
  const TInstrumentEntry& entry = InstrumentList[index];
  return entry.Prop.Label.empty() ? entry.Name : entry.Prop.Label + "  [" + entry.Name + "]";
}

TEntryCheck CheckInstrumentEntry(std::string_view name, TLinkKind kind, std::string_view ipText,
                                 TIPv4Addr& address) {
  if (kind != TLinkKind::LAN) return TEntryCheck::Ok;
  TIPv4Addr parsed;
  if (!StrToIPv4(ipText, parsed)) return TEntryCheck::BadAddress;
  if (IpAddressInUse(parsed, name)) return TEntryCheck::AddressInUse;
  address = parsed;
  return TEntryCheck::Ok;
}

void StoreInstrumentEntry(std::string_view name, const TInstrumentProp& prop) {
  if (!IsValidInstrumentName(name)) throw EAssertion("ERROR!  Bad instrument name " + std::string(name));
  if (TInstrumentProp* existing = InstrumentList.Find(name)) {
    *existing = prop;
  } else {
    InstrumentList.Add(name, prop);
  }
}

bool DeleteInstrumentEntry(std::string_view name) {
  if (IsDefaultInstrumentName(name) || !InstrumentList.Contains(name) ||
      SameTextAscii(name, CurrentInstrumentName) || SameTextAscii(name, StartInstrumentName))
    return false;
  InstrumentList.Remove(name);
  if (!IsRemoved(name)) InstrumentListState.RemovedInstrumentNames.emplace_back(name);
  return true;
}

}  // namespace norv
