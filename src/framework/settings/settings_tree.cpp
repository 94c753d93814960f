#include "framework/settings/settings_tree.h"

#include <algorithm>
#include <cstring>

#include "framework/settings/choice_handlers.h"
#include "framework/text/text_case.h"
#include "framework/util/close_signal.h"
#include "framework/util/errors.h"

namespace norv {

constinit TOwned<TSpider>& RootSpider = ProgramObjects.RootSpider;
TSettingsTreeState SettingsTreeState;
const TProgramUnit SettingsTreeUnit("settings tree", [] { SettingsTreeState = {}; });

namespace {

const std::string kError = "ERROR";

bool Unmet(const TNodeRequirement* requirement) {
  return requirement && !(requirement->Fitted && requirement->Fitted());
}

// A client's command reaching a part of the tree the instrument lacks.
void RefuseUnmet(const TNodeRequirement* requirement, std::string_view param) {
  if (!Unmet(requirement) || (requirement->Concerns && !requirement->Concerns(param))) return;
  throw ERefusedCommand(requirement->Refusal ? requirement->Refusal() : std::string(kError));
}

// A registration path: every segment present and short enough, checked before anything
// is inserted so that a refused path leaves no half-built branch.
void CheckRegistrationPath(std::string_view path) {
  size_t start = !path.empty() && path[0] == '*' ? 1 : 0;
  if (path.empty() || start == path.size()) throw EAssertion(kMnemonicsAbsent);
  while (true) {
    const size_t end = std::min(path.find(':', start), path.size());
    if (end == start) throw EAssertion(kMnemonicsAbsent);
    if (end - start > kMaxMnemonicLength) throw EAssertion("ERROR!  Mnemonic too long");
    if (end == path.size()) return;
    start = end + 1;
  }
}

// The segment of a path at position, cut to maxLength, and where the next one starts
// (beyond the path's end when it is the last). A leading "*" is a segment of its own.
std::string_view SegmentAt(std::string_view path, size_t position, size_t maxLength, size_t& next) {
  if (position == 0 && !path.empty() && path[0] == '*') {
    next = 1;
    return path.substr(0, 1);
  }
  const size_t end = std::min(path.find(':', position), path.size());
  next = end + 1;
  return path.substr(position, std::min(end - position, maxLength));
}

}  // namespace

void TSpider::AppendPathPiece(std::string& path, std::string_view mnemonic) {
  const size_t start = path.size();
  path += mnemonic;
  path += ':';
  if (mnemonic.starts_with('*')) path.erase(start + 1, 1);
}

int CompareMnemonics(std::string_view stored, std::string_view typed) {
  size_t i = 0;
  bool digitReached = false;
  for (; i < stored.size() && i < typed.size(); ++i) {
    const auto a = static_cast<unsigned char>(stored[i]);
    const auto b = static_cast<unsigned char>(typed[i]);
    if (a != b) return a > b ? 1 : -1;
    if (IsAsciiDigit(stored[i])) digitReached = true;
  }
  if (i == stored.size() && i == typed.size()) return 0;
  const bool storedEnded = i == stored.size();
  if (digitReached) return storedEnded ? -1 : 1;
  // One text ended in its letter part: the other's letters up to its first digit are
  // passed over; if a digit follows, the text that reached it is the greater.
  const std::string_view rest = storedEnded ? typed : stored;
  while (i < rest.size() && !IsAsciiDigit(rest[i])) ++i;
  if (i == rest.size()) return 0;
  return storedEnded ? -1 : 1;
}

bool HeaderOn() { return HeaderHandler == nullptr || HeaderHandler->IsOn(); }

std::string ValueAnswer(std::string_view value, bool replay) {
  return (HeaderOn() || replay ? " " : "") + std::string(value);
}

// ---------------------------------------------------------------------------------------
// Tree structure

TSpider::~TSpider() {
  if (CurrentSpider == this) CurrentSpider = nullptr;
}

void TSpider::Clear() {
  entries_.clear();
  exact_index_valid_ = false;
}

TSpider& TSpider::Root() {
  TSpider* node = this;
  while (node->parent_) node = node->parent_;
  return *node;
}

void TSpider::LinkParents() {
  for (size_t i = 0; i < entries_.size(); ++i) {
    TSpider* child = entries_[i].Child.get();
    if (!child) continue;
    child->parent_ = this;
    child->index_in_parent_ = static_cast<int>(i);
    child->LinkParents();
  }
  links_valid_ = true;
}

int TSpider::FindEntry(std::string_view segment, bool& found) const {
  int low = 0;
  int high = Count() - 1;
  found = false;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const int c = CompareMnemonics(entries_[mid].Mnemonic, segment);
    if (c == 0) {
      found = true;
      return mid;
    }
    if (c > 0)
      high = mid - 1;
    else
      low = mid + 1;
  }
  return low;
}

size_t TSpider::IndexSlotOf(const std::vector<TIndexSlot>& slots, const TPackedName& name) {
  const size_t mask = slots.size() - 1;
  size_t i =
      static_cast<size_t>(((name.Low * 0x9E3779B97F4A7C15u) ^ name.High) * 0xBF58476D1CE4E5B9u >> 32) & mask;
  while (slots[i].Entry >= 0 && !(slots[i].Name == name)) i = (i + 1) & mask;
  return i;
}

TSpider::TPackedName TSpider::Packed(std::string_view name) {
  char bytes[16] = {};
  name.copy(bytes, kMaxMnemonicLength);
  bytes[15] = static_cast<char>(std::min(name.size(), kMaxMnemonicLength));
  TPackedName packed;
  std::memcpy(&packed.Low, bytes, 8);
  std::memcpy(&packed.High, bytes + 8, 8);
  return packed;
}

int TSpider::FindEntryIndexed(std::string_view segment, bool& found) const {
  if (!exact_index_valid_) {
    size_t size = 4;
    while (size < 2 * entries_.size()) size *= 2;
    exact_index_.assign(size, TIndexSlot());
    for (int i = 0; i < Count(); ++i) {
      const std::string& name = entries_[i].Mnemonic;
      bool foundItself = false;
      if (FindEntry(name, foundItself) != i || !foundItself) continue;
      const TPackedName packed = Packed(name);
      exact_index_[IndexSlotOf(exact_index_, packed)] = {packed, i};
    }
    exact_index_valid_ = true;
  }
  const TIndexSlot& slot = exact_index_[IndexSlotOf(exact_index_, Packed(segment))];
  if (slot.Entry < 0) return FindEntry(segment, found);
  found = true;
  return slot.Entry;
}

TSpider::TSegment TSpider::FindSegment(std::string_view path, size_t position, bool commandPath) const {
  TSegment result;
  if (position > path.size()) return result;
  const std::string_view typed = SegmentAt(path, position, kMaxMnemonicLength, result.next);
  result.morePath = result.next <= path.size();
  if (typed.empty()) return result;
  const std::string upper = commandPath ? std::string() : UpperAscii(typed);
  const std::string_view segment = commandPath ? typed : std::string_view(upper);
  result.index = commandPath ? FindEntryIndexed(segment, result.found) : FindEntry(segment, result.found);
  // Typing "MOD" does not reach "MODE"; typing "MODEX" does.
  if (result.found && entries_[result.index].Mnemonic.size() > segment.size()) result.found = false;
  return result;
}

TSpider::TSegment TSpider::FindOrInsertSegment(std::string_view path, size_t position,
                                               std::string_view fullPath) {
  TSegment result = FindSegment(path, position);
  if (result.found) return result;
  size_t next = 0;
  const std::string segment = UpperAscii(SegmentAt(path, position, path.size(), next));
  bool found = false;
  const int index = FindEntry(segment, found);
  if (found) throw EAssertion("New Mnemonik " + std::string(fullPath) + " is shorter than Old");
  TSpiderEntry entry;
  entry.Mnemonic = segment;
  entry.Ordinal = static_cast<uint16_t>(entries_.size());
  entries_.insert(entries_.begin() + index, std::move(entry));
  exact_index_valid_ = false;
  result.index = index;
  result.found = true;
  return result;
}

THandler* TSpider::AddItem(std::string_view path, std::unique_ptr<THandler> handler, bool allowReplace) {
  CheckRegistrationPath(path);
  const std::string head = UpperAscii(path.substr(0, 7));
  if (head.starts_with("*") || head.starts_with("SHADOW:") || head.starts_with("FLASH:") ||
      head.starts_with("INSTR:"))
    handler->SetInternal(true);
  Root().links_valid_ = false;
  return AddItemAt(path, 0, handler, allowReplace);
}

THandler* TSpider::AddItemAt(std::string_view path, size_t position, std::unique_ptr<THandler>& handler,
                             bool allowReplace) {
  const TSegment seg = FindOrInsertSegment(path, position, path);
  TSpiderEntry& entry = entries_[seg.index];
  if (seg.morePath) {
    if (!entry.Child) {
      entry.Child = std::make_unique<TSpider>();
      entry.Child->parent_ = this;
    }
    return entry.Child->AddItemAt(path, seg.next, handler, allowReplace);
  }
  THandler* added = handler.get();
  if (entry.Handler) {
    if (!allowReplace) throw EAssertion("ERROR!  Command " + std::string(path) + " Repeated");
    std::unique_ptr<THandler> old = std::move(entry.Handler);
    old->HandOverTo(*added);
    entry.Handler = std::move(handler);
    old.reset();
  } else {
    entry.Handler = std::move(handler);
  }
  return added;
}

THandler* TSpider::FindHandler(std::string_view path) const { return FindHandlerAt(path, 0); }

TSpiderEntry* TSpider::FindEntryAt(std::string_view path, size_t position) {
  const TSegment seg = FindSegment(path, position);
  if (!seg.found) return nullptr;
  TSpiderEntry& entry = entries_[seg.index];
  if (!seg.morePath) return &entry;
  return entry.Child ? entry.Child->FindEntryAt(path, seg.next) : nullptr;
}

bool TSpider::Require(std::string_view path, std::shared_ptr<const TNodeRequirement> requirement) {
  TSpiderEntry* entry = FindEntryAt(path, 0);
  if (!entry) return false;
  entry->Requirement = std::move(requirement);
  return true;
}

THandler* TSpider::FindHandlerAt(std::string_view path, size_t position) const {
  const TSegment seg = FindSegment(path, position);
  if (!seg.found) return nullptr;
  const TSpiderEntry& entry = entries_[seg.index];
  if (!seg.morePath) return entry.Handler.get();
  return entry.Child ? entry.Child->FindHandlerAt(path, seg.next) : nullptr;
}

std::string TSpider::GetItemHeader(int index, bool indent, bool withPath) {
  if (index < 0 || index >= Count()) throw EAssertion("ERROR in CommonQuerry! Child Spider is absent");
  if (!entries_[index].Handler) throw EAssertion("ERROR  - this Item not Handler");
  std::string text;
  if (indent)
    for (const TSpider* node = this; node->parent_; node = node->parent_) text += "   ";
  if (!withPath) return text;
  AppendPathPrefix(text);
  return text += entries_[index].Mnemonic;
}

void TSpider::AppendPathPrefix(std::string& path) {
  TSpider& root = Root();
  if (!root.links_valid_) root.LinkParents();
  AppendParentPath(path);
}

void TSpider::AppendParentPath(std::string& path) const {
  if (!parent_) return;
  parent_->AppendParentPath(path);
  AppendPathPiece(path, parent_->entries_[index_in_parent_].Mnemonic);
}

std::vector<int> TSpider::IndicesInOrder() const {
  std::vector<int> indices(entries_.size(), -1);
  for (size_t i = 0; i < entries_.size(); ++i)
    if (entries_[i].Ordinal < indices.size()) indices[entries_[i].Ordinal] = static_cast<int>(i);
  return indices;
}

void TSpider::ForEachInOrder(const std::function<void(int index)>& visit) {
  std::vector<int> order = IndicesInOrder();
  for (size_t ordinal = 0; ordinal < entries_.size(); ++ordinal) {
    // A query's callback may have added entries: they come later in the order, and the
    // others may have moved.
    if (order.size() != entries_.size()) order = IndicesInOrder();
    if (order[ordinal] >= 0) visit(order[ordinal]);
  }
}

// ---------------------------------------------------------------------------------------
// Interpreter

void TSpider::CommonQuerry(std::string& reply) {
  bool first = true;
  size_t lastBreak = reply.size();
  auto breakLongReply = [&] {
    if (reply.size() - lastBreak > 32) {
      reply += "\r\n";
      lastBreak = reply.size();
    }
  };
  ForEachInOrder([&](int index) {
    const TSpiderEntry* entry = &entries_[index];
    // A part the instrument lacks is no more listed than it takes commands.
    if (Unmet(entry->Requirement.get()) && !entry->Requirement->Concerns) return;
    if (!entry->Handler) {
      if (!entry->Child) throw EAssertion("ERROR in CommonQuerry! Child Spider is absent");
      entry->Child->CommonQuerry(reply);
      return;
    }
    THandler* handler = entry->Handler.get();
    if (handler->IsDisabled()) return;
    if (first) {
      reply += GetItemHeader(index, false, HeaderOn());
      lastBreak = reply.size();
      first = false;
    } else {
      if (HeaderOn()) reply += entry->Mnemonic;
      breakLongReply();
    }
    reply += handler->ExecCmd(std::string(), true, false) + ";";
    breakLongReply();
  });
}

std::string TSpider::ExecCommand(std::string_view path, const std::string& param, bool isQuery, bool replay) {
  // Most paths are short: upper-cased on the stack.
  char upper[64];
  if (path.size() > sizeof upper) return ExecCommandAt(UpperAscii(path), 0, param, isQuery, replay);
  for (size_t i = 0; i < path.size(); ++i) upper[i] = UpperAscii(path[i]);
  return ExecCommandAt(std::string_view(upper, path.size()), 0, param, isQuery, replay);
}

std::string TSpider::ExecCommandAt(std::string_view path, size_t position, const std::string& param,
                                   bool isQuery, bool replay) {
  if (position == 0) {
    if (path.find("SHADOW") != std::string_view::npos)
      return TSetupCommandsOnly::PassesOver(nullptr) ? std::string() : kError;
    if (!replay && path.find("NOGPIB") != std::string_view::npos) return kError;
  }
  const TSegment seg = FindSegment(path, position, true);
  if (!seg.found) return kError;
  const TSpiderEntry& entry = entries_[seg.index];
  std::string fullParam = param;
  if (seg.morePath && entry.Handler) {
    // A sub-item: the rest of the path goes before the parameter ("X:CHK:B? ON" reaches
    // X:CHK with "B ON").
    const std::string_view rest = seg.next <= path.size() ? path.substr(seg.next) : std::string_view();
    if (!rest.empty()) fullParam = param.empty() ? std::string(rest) : std::string(rest) + " " + param;
  }
  if (!replay) RefuseUnmet(entry.Requirement.get(), fullParam);
  if (seg.morePath) {
    if (!entry.Handler) {
      if (!entry.Child) return kError;
      return entry.Child->ExecCommandAt(path, seg.next, param, isQuery, replay);
    }
  } else if (!entry.Handler) {
    if (!param.empty() || !isQuery || !entry.Child) return kError;
    if (TSetupCommandsOnly::PassesOver(&entry)) return std::string();
    std::string listing;
    entry.Child->CommonQuerry(listing);
    return listing;
  }
  CurrentSpider = this;
  if (TSetupCommandsOnly::PassesOver(&entry)) return std::string();
  const TAnyCommands asProgram;  // the command's own actions
  THandler* handler = entry.Handler.get();
  // Taken before the handler runs: its callbacks may register items into this node.
  const std::string header = isQuery ? GetItemHeader(seg.index, false, true) : std::string();
  if (!handler->KeepsParamCase())
    for (char& c : fullParam) c = UpperAscii(c);
  const std::string answer = handler->ExecCmd(fullParam, isQuery, replay);
  return isQuery && HeaderOn() ? header + answer : answer;
}

std::string TSpider::ExecCommandLine(std::string_view line, bool replay, size_t maxReplyBytes) {
  std::string reply;
  if (line.empty()) return reply;
  // A command's action may run a line of its own (a setup recall); the outer line then
  // goes on from its own node.
  struct TKeepCurrentSpider {
    TSpider* const saved = CurrentSpider;
    ~TKeepCurrentSpider() { CurrentSpider = saved; }
  } keep;
  CurrentSpider = this;
  int state = 0;     // 0 before the path, 1 path, 2 before the parameter, 3 parameter
  size_t start = 0;  // of the path or the parameter being read
  // A '?' at the start of a path segment (or after such marks) cannot end a query, since
  // it would leave the segment empty: it belongs to the name, as in older setups' "???".
  // Kept as the path is read, so that a line of marks costs no more than its length.
  bool segmentOfMarks = false;
  std::string_view path;
  std::string_view param;
  bool isQuery = false;
  bool first = true;
  auto run = [&](size_t end, bool last) {
    // A setup or undo line is short and runs whole; a client's long line must not hold
    // the close the system has asked for.
    if (!first && !replay && CloseSignalled) throw EAssertion(kLineStoppedByClose);
    first = false;
    if (state == 1) path = line.substr(start, end - start);
    if (state == 3) param = line.substr(start, end - start);
    if (path.empty()) throw EAssertion(kMnemonicsAbsent);
    while (!param.empty() && IsBlankOrControl(param.back())) param.remove_suffix(1);
    reply += CurrentSpider->ExecCommand(path, std::string(param), isQuery, replay);
    // A short line of queries can ask for hundreds of megabytes.
    if (reply.size() > maxReplyBytes)
      throw EAssertion("Reply longer than " + std::to_string(maxReplyBytes) + " bytes");
    if (isQuery && !last) reply += HeaderOn() ? ";\r\n" : ";";
    path = {};
    param = {};
    isQuery = false;
    state = 0;
  };
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == ';') {
      run(i, false);
      continue;
    }
    switch (state) {
      case 0:
        if (IsBlankOrControl(c)) break;
        if (c == ':') {
          CurrentSpider = this;
          break;
        }
        start = i;
        segmentOfMarks = c == '?';
        state = 1;
        break;
      case 1:
        if (IsBlankOrControl(c)) {
          path = line.substr(start, i - start);
          state = 2;
        } else if (c == ':') {
          segmentOfMarks = true;
        } else if (c != '?') {
          segmentOfMarks = false;
        } else if (!segmentOfMarks) {
          path = line.substr(start, i - start);
          isQuery = true;
          state = 2;
        }
        break;
      case 2:
        if (IsBlankOrControl(c)) break;
        start = i;
        state = 3;
        [[fallthrough]];
      default:
        // The parameter runs to the next ';'.
        i = std::min(line.find(';', i), line.size()) - 1;
        break;
    }
  }
  run(line.size(), true);
  while (!reply.empty() && (reply.back() == ';' || reply.back() == '\r' || reply.back() == '\n'))
    reply.pop_back();
  return reply;
}

// ---------------------------------------------------------------------------------------
// The one tree

void DestroyRootSpider() {
  // The reverse of CreateRootSpider.
  HandlerSignalEnablity.reset();
  RootSpider.reset();
  CommandsRegistered = false;
}

void CreateRootSpider() {
  DestroyRootSpider();
  RootSpider = std::make_unique<TSpider>();
  CurrentSpider = RootSpider.get();
  HandlerSignalEnablity = std::make_unique<THandlerSignalEnablity>();
  HeaderHandler = RootSpider->AddOnOff(true, "Header");
  HeaderHandler->SetInternal(true);
}

}  // namespace norv
