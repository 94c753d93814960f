#pragma once
// The settings tree: every setting and command of the program is a handler hung at a
// ':'-separated path of named nodes. The tree is the value store, the place where
// controls bind by path, and the interpreter of text command lines.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/handler.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/step_rules.h"
#include "framework/settings/value_text.h"
#include "framework/util/hook.h"

namespace norv {

class TSpider;
class TRadioSwHandler;
class TCheckSwHandler;
class TOnOffHandler;
class TMainCommandHandler;
class TRightCommandHandler;
class TSignalSourceSwHandler;
class TGpibStringHandler;
class TComplexObjectHandler;
class TEditHandler;
class TIntEditHandler;
class TDoubleEditHandler;

// Callback of a free-text command: produces the reply to Param.
using TGpibCallback =
    std::function<void(const std::string& param, bool isQuery, uint8_t flag, std::string& reply)>;
// Callback of a complex object: with Apply it applies Text to the owner's object, without
// it writes the object's whole state into Text.
using TComplexStateCallback = std::function<void(std::string& text, bool flag, bool apply)>;
// Hook of a numeric setting: supplies the whole value text shown and answered to queries
// (not the setup form), given the value.
using TEditGetText = std::function<void(const TEditHandler& handler, std::string& text, double value)>;
// Hook of a numeric setting: may adjust a value from a control or a command (not from a
// setup or undo) before it is set.
using TEditBeforeSet = std::function<void(double& value, TEditHandler& handler)>;

// The colour source of an item whose bound edit shows no trace colour.
inline constexpr uint8_t NoColour = static_cast<uint8_t>(TTraceId::None);

// A numeric item as its registration reads: path, initial value, how its text looks, its
// limits and "MID" value, how arrows step it, and its hooks. A field left out keeps its
// default: no unit and no colour, zero value and limits, no steps, no hooks; integers in
// the general format, floating values in engineering format with 6 digits. Only Path has
// no default, so that a registration without one draws a warning.
struct TIntEditFields {
  std::string_view Path;
  int32_t Value = 0;
  std::string_view Unit = {};
  TValueFormat FormatMode = vfGeneral;
  uint8_t Digits = 0;
  uint8_t ColourSource = NoColour;
  double Min = 0, Mid = 0, Max = 0;
  TStepRule CoarseRule = srNone;
  double CoarseStep = 0;
  TStepRule FineRule = srNone;
  double FineStep = 0;
  THandlerEvent OnChange = {};
  TEditGetText OnGetText = {};
  TEditBeforeSet OnBeforeSet = {};
  THandlerEvent OnBeforeChange = {};
};

struct TDoubleEditFields {
  std::string_view Path;
  double Value = 0;
  std::string_view Unit = {};
  TValueFormat FormatMode = vfEngineering;
  uint8_t Digits = 6;
  uint8_t ColourSource = NoColour;
  double Min = 0, Mid = 0, Max = 0;
  TStepRule CoarseRule = srNone;
  double CoarseStep = 0;
  TStepRule FineRule = srNone;
  double FineStep = 0;
  // The resolution: values closer than this are equal (0 gives 1e-15).
  double Tolerance = 0;
  THandlerEvent OnChange = {};
  TEditGetText OnGetText = {};
  TEditBeforeSet OnBeforeSet = {};
  THandlerEvent OnBeforeChange = {};
};

// Compares a stored mnemonic with a typed one: -1, 0 or 1. A typed name may carry extra
// letters after a registered letter-only name ("MODE" equals "MODEX"); "CH" < "CHAN1";
// "CH1" < "CH12".
int CompareMnemonics(std::string_view stored, std::string_view typed);

constexpr size_t kMaxMnemonicLength = 15;
// The assertion of a command without path (an empty command between ';').
inline constexpr const char* kMnemonicsAbsent = "ERROR!  Mnemonics is Absent";
// The assertion of a line whose rest did not run because the program closes.
inline constexpr const char* kLineStoppedByClose = "The program is closing: the rest of the line did not run";

// What a part of the tree needs of the instrument at hand (an option). While Fitted answers
// false, a command of a command line that reaches the part is refused with Refusal's text
// before anything runs. A replay (a setup, an undo step) still sets its settings: a setup
// passes through an instrument without the option and keeps them for one with it.
struct TNodeRequirement {
  std::function<bool()> Fitted;
  std::function<std::string()> Refusal;
  // Empty: every command; else only those whose parameter it takes (items of a list). A
  // sub-item's path comes before the parameter ("X:CHK:B ON" gives "B ON").
  std::function<bool(std::string_view param)> Concerns;
};

// One name at one level.
struct TSpiderEntry {
  uint16_t Ordinal = 0;  // place in registration order within its node
  std::string Mnemonic;  // upper case, at most 15 characters, or "*"
  std::unique_ptr<THandler> Handler;
  std::unique_ptr<TSpider> Child;
  std::shared_ptr<const TNodeRequirement> Requirement;
};

class TSpider {
 public:
  TSpider() = default;
  ~TSpider();
  TSpider(const TSpider&) = delete;
  TSpider& operator=(const TSpider&) = delete;

  // Hangs `handler` at `path` below this node; the tree owns it. Paths beginning "*",
  // "SHADOW:", "FLASH:" or "INSTR:" are Internal (no undo, not in setups). With
  // allowReplace an existing handler at the path is replaced (its controls and undo
  // lines move to the new one) and freed. Returns the handler.
  THandler* AddItem(std::string_view path, std::unique_ptr<THandler> handler, bool allowReplace = false);

  // Marks the node or item at `path` with what it needs (nullptr: nothing); false when the
  // path names nothing.
  bool Require(std::string_view path, std::shared_ptr<const TNodeRequirement> requirement);

  // The handler at a path, or nullptr. No SHADOW or NOGPIB filtering: controls bind to
  // Internal items too. Program code writes a fixed path as "Ch1:Display"_node (node_path.h),
  // so a test finds it when the node is missing.
  THandler* FindHandler(std::string_view path) const;

  // Executes a command line from this node (callers pass RootSpider) and returns the
  // reply. Replay: the line comes from a setup or undo (NOGPIB paths allowed, replay
  // forms of values). A reply that grows past maxReplyBytes raises EAssertion at once;
  // the commands before have run, the rest of the line does not. So does a line that is
  // no replay once CloseSignalled is noted, at its next command.
  std::string ExecCommandLine(std::string_view line, bool replay, size_t maxReplyBytes = SIZE_MAX);

  // One command: path (upper case), parameter, query flag.
  std::string ExecCommand(std::string_view path, const std::string& param, bool isQuery, bool replay);

  // The listing of this subtree: every enabled item with its value, in registration
  // order.
  void CommonQuerry(std::string& reply);

  // The full path of entry `index` ("TB:SCALEA", "*RUN") and/or its indentation.
  std::string GetItemHeader(int index, bool indent, bool withPath);

  // Frees every handler and child.
  void Clear();
  // Fills every child's Parent index (done on demand before a header is built).
  void LinkParents();

  const std::vector<TSpiderEntry>& Entries() const { return entries_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  TSpider* Parent() const { return parent_; }

  // --- registration factories: create the handler with its initial value (no
  // notification, undo or callback), hang it at Path and return it. Item lists are
  // comma lists ("Multi,Single"), stored upper case. ---
  TRadioSwHandler* AddRadioSw(uint8_t index, std::string_view path, std::string_view items,
                              THandlerEvent onChange = {}, THandlerEvent onBeforeChange = {},
                              bool allowReplace = false, uint32_t disabledMask = 0);
  TCheckSwHandler* AddCheckSw(uint32_t mask, std::string_view path, std::string_view items,
                              THandlerEvent onChange = {}, THandlerEvent onBeforeChange = {},
                              uint32_t disabledMask = 0);
  TOnOffHandler* AddOnOff(bool on, std::string_view path, THandlerEvent onChange = {},
                          THandlerEvent onBeforeChange = {});
  // boolVar: a Boolean owned by the caller or nullptr; onOffMnemonics: two names (off,
  // on) or empty; menuMnemonics: comma list kept as written, or empty; defaultItem -1 =
  // none.
  TMainCommandHandler* AddMainCommand(std::string_view path, bool* boolVar, std::string_view onOffMnemonics,
                                      std::string_view menuMnemonics, THandlerEvent whatDo,
                                      int32_t defaultItem = -1);
  TRightCommandHandler* AddRightCommand(std::string_view path, THandlerEvent action);
  TSignalSourceSwHandler* AddSignalSourceSw(uint8_t source, std::string_view path, std::string_view items,
                                            uint32_t excludedMask, THandlerEvent onChange = {},
                                            THandlerEvent onBeforeChange = {});
  TGpibStringHandler* AddGpibString(std::string_view path, TGpibCallback callback, uint8_t flag = 0);
  TComplexObjectHandler* AddComplexObject(std::string_view path, TComplexStateCallback stateCallback);
  // Numeric items. colourSource: trace id 0..18 (18 = none); formatMode, digits: the value
  // text's format (TValueFormat); min, mid, max: limits and the "MID" value; the coarse and
  // fine rules with their steps (fine rule srNone: no fine step). Integer items have a
  // tolerance of 1.
  TIntEditHandler* AddIntEdit(int32_t value, std::string_view path, uint8_t colourSource,
                              std::string_view unitText, uint8_t formatMode, uint8_t digits, double min,
                              double mid, double max, TStepRule coarseRule, double coarseStep,
                              TStepRule fineRule, double fineStep, THandlerEvent onChange = {},
                              TEditGetText onGetText = {}, TEditBeforeSet onBeforeSet = {},
                              THandlerEvent onBeforeChange = {});
  TDoubleEditHandler* AddDoubleEdit(std::string_view path, uint8_t colourSource, double value,
                                    std::string_view unitText, uint8_t formatMode, uint8_t digits, double min,
                                    double mid, double max, TStepRule coarseRule, double coarseStep,
                                    TStepRule fineRule, double fineStep, double tolerance,
                                    THandlerEvent onChange = {}, TEditGetText onGetText = {},
                                    TEditBeforeSet onBeforeSet = {}, THandlerEvent onBeforeChange = {});
  // The same from a item: AddIntEdit({.Path = "Acq:NAcq", .Value = 32, .Min = 1, ...}).
  TIntEditHandler* AddIntEdit(TIntEditFields item);
  TDoubleEditHandler* AddDoubleEdit(TDoubleEditFields item);
  // An older path of `target` (TPathAlias): it takes every command of the setting, also
  // from setups, and shows in no listing or setup.
  THandler* AddAlias(std::string_view path, THandler* target);

  // --- setup text ---
  // Appends one line per setting of this subtree, in registration order: the item's full
  // path and its query answer in the replay form ("ACQ:FITTO MULTI", "TB:SCALEA 10 n(s)").
  // Only items that IsSetupHandler takes and that answer a value are written.
  void DumpSettings(std::vector<std::string>& list);
  // Plays a setup back into the whole tree (call on RootSpider): inside one settings
  // batch, every line as a replay command line through ReplayRecallLines (so items whose
  // limits depend on later ones, or that a later line's callback moves, get their values),
  // then OnSettingsLoaded. A setup sets settings
  // and does nothing else: each command of a line runs only when it reaches an item the
  // dump writes (TSetupCommandsOnly); the lines with commands passed over are named in
  // one warning. Unknown, refused and damaged lines are skipped too (the rest still
  // loads). Every line skipped in whole or in part is given back; blank lines are passed
  // over.
  std::vector<std::string> LoadSettings(const std::vector<std::string>& list);

 private:
  struct TSegment {
    bool found = false;
    int index = 0;          // the entry, or the insert position when not found
    size_t next = 0;        // start of the following segment
    bool morePath = false;  // a further segment follows
  };
  TSegment FindOrInsertSegment(std::string_view path, size_t position, std::string_view fullPath);
  // commandPath: a path already upper case, looked up through the index of exact names
  // (command lines run on a finished tree).
  TSegment FindSegment(std::string_view path, size_t position, bool commandPath = false) const;
  int FindEntry(std::string_view segment, bool& found) const;
  // FindEntry of a segment cut to kMaxMnemonicLength: a name some entry has is looked up
  // in an index of the names the search finds as themselves (built at the first look-up
  // after an insert); others are searched.
  int FindEntryIndexed(std::string_view segment, bool& found) const;

  // A mnemonic of at most 15 characters and its length in two words, for the index.
  struct TPackedName {
    uint64_t Low = 0;
    uint64_t High = 0;
    bool operator==(const TPackedName&) const = default;
  };
  struct TIndexSlot {
    TPackedName Name;
    int Entry = -1;  // none
  };
  static TPackedName Packed(std::string_view name);
  // The slot where a name is or goes: the index is never full.
  static size_t IndexSlotOf(const std::vector<TIndexSlot>& slots, const TPackedName& name);
  THandler* AddItemAt(std::string_view path, size_t position, std::unique_ptr<THandler>& handler,
                      bool allowReplace);
  THandler* FindHandlerAt(std::string_view path, size_t position) const;
  TSpiderEntry* FindEntryAt(std::string_view path, size_t position);
  std::string ExecCommandAt(std::string_view path, size_t position, const std::string& param, bool isQuery,
                            bool replay);
  TSpider& Root();
  // Appends what a node's mnemonic puts before the names below it: "TB:"; the "*" of the
  // main commands joins without a colon ("*RUN").
  static void AppendPathPiece(std::string& path, std::string_view mnemonic);
  // Appends the path of this node's entries ("TB:" below "TB"), linking parents first.
  void AppendPathPrefix(std::string& path);
  void AppendParentPath(std::string& path) const;
  // The entries' indices in registration order.
  std::vector<int> IndicesInOrder() const;
  // Visits every entry in registration order, those a visit adds included.
  void ForEachInOrder(const std::function<void(int index)>& visit);
  void DumpSettingsBelow(std::vector<std::string>& list, std::string& prefix);

  std::vector<TSpiderEntry> entries_;            // sorted by CompareMnemonics
  mutable std::vector<TIndexSlot> exact_index_;  // open addressing, a power of two long
  mutable bool exact_index_valid_ = false;
  TSpider* parent_ = nullptr;
  int index_in_parent_ = -1;
  bool links_valid_ = false;  // meaningful on the root only
};

// The one tree of the program (held by ProgramObjects).
extern TOwned<TSpider>& RootSpider;

// The older path of a setting: it passes every command on to the setting.
class TPathAlias final : public THandler {
 public:
  explicit TPathAlias(THandler* target) : target_(target) {}
  THandler* Target() const { return target_; }

 protected:
  std::string Execute(const std::string& param, bool isQuery, bool replay) override;

 private:
  THandler* target_;
};

// What a setup holds, the one rule for the dump that writes setups and for the replays of
// setups and undo steps: a setting of the user's, so not an Internal item (paths "*",
// "SHADOW:", "FLASH:", "INSTR:", and "Header"), a command button or a free-text command.
// Setups are files that users exchange: a line of one must never store constants, write
// files or start a procedure.
bool IsSetupHandler(const THandler* handler);

// While one lives, a command of a command line runs only when it reaches an item a setup
// holds (IsSetupHandler; through an older path too): a setup's lines are replayed. Any
// other command, a subtree listing and a "SHADOW" path are passed over (they answer
// nothing) and counted. A command that runs runs the command lines of its own actions
// unrestricted, as the program's.
class TSetupCommandsOnly {
 public:
  TSetupCommandsOnly();
  ~TSetupCommandsOnly();
  TSetupCommandsOnly(const TSetupCommandsOnly&) = delete;
  TSetupCommandsOnly& operator=(const TSetupCommandsOnly&) = delete;

  int PassedOver() const { return passed_over_; }
  // Whether the command reaching `entry` (nullptr: a path refused before it reaches an
  // entry) is passed over now; counts it if so.
  static bool PassesOver(const TSpiderEntry* entry);

 private:
  TSetupCommandsOnly* saved_;
  int passed_over_ = 0;
};

// Lifts a TSetupCommandsOnly for a scope: a command that runs and its own actions.
class TAnyCommands {
 public:
  TAnyCommands();
  ~TAnyCommands();
  TAnyCommands(const TAnyCommands&) = delete;
  TAnyCommands& operator=(const TAnyCommands&) = delete;

 private:
  TSetupCommandsOnly* saved_;
};

// The tree's values beside it.
struct TSettingsTreeState {
  // "Header": replies carry their path while it is on (on at start).
  TOnOffHandler* HeaderHandler = nullptr;
  // The node at which the next relative path of a command line starts.
  TSpider* CurrentSpider = nullptr;
  // Set by the central registration once every unit has registered.
  bool CommandsRegistered = false;
  // Called at the end of every setup load, inside its settings batch (installed by the
  // instrument side).
  THook<void()> OnSettingsLoaded{"SettingsTreeState.OnSettingsLoaded"};
  // The innermost TSetupCommandsOnly in force, or none.
  TSetupCommandsOnly* SetupCommandsOnly = nullptr;
};

extern TSettingsTreeState SettingsTreeState;
inline constinit TOnOffHandler*& HeaderHandler = SettingsTreeState.HeaderHandler;
inline constinit TSpider*& CurrentSpider = SettingsTreeState.CurrentSpider;
inline constinit bool& CommandsRegistered = SettingsTreeState.CommandsRegistered;
inline constinit THook<void()>& OnSettingsLoaded = SettingsTreeState.OnSettingsLoaded;

// Creates a fresh RootSpider (freeing any old tree) with the Internal "Header" item on,
// and the trace on/off notifier.
void CreateRootSpider();
// Frees the tree and everything that hangs on it.
void DestroyRootSpider();

// The lines of a setup file's bytes: UTF-8 (with or without byte-order mark) or UTF-16,
// with LF or CR LF line ends. A line that is not UTF-8 is read alone in the 8-bit code
// page of older files (µ as 0xB5); the other lines stay UTF-8.
std::vector<std::string> SetupLinesFromFileText(std::string_view bytes);
// The bytes of a setup file: always UTF-8, one line per setting, each ended by LF.
std::string SetupFileTextFromLines(const std::vector<std::string>& lines);

// Whether replies carry their path ("Header" on; on while there is no tree).
bool HeaderOn();
// A query answer: the value after a blank when Header is on or in the replay form, so
// that replies read "ACQ:FITTO MULTI" and setup lines "path value".
std::string ValueAnswer(std::string_view value, bool replay);

}  // namespace norv
