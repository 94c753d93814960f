#pragma once
// A call-out from a lower subsystem to a higher one. It does nothing (and gives the
// fallback result) until the higher subsystem fills it in at start-up, so every
// subsystem builds and runs before the ones above it exist.
//
// Every hook carries its name, "Struct.Member" as the program reaches it, and every hook
// in existence can be listed, so that a test can check that start-up leaves none empty.
// The declaration says who fills it:
//   THook<void()> SystemBeep{"LinkHooks.SystemBeep"};               a unit above, at start-up
//   THook<bool()> PatternLockOn{Wired("LinkHooks.PatternLockOn")};  its own subsystem's wiring
//   THook<void(bool)> PreCommandHook{Fallback("LinkHooks.PreCommandHook"), BreakAcquisition};
//                                                                   nobody needs to: the
//                                                                   fallback is the behaviour
// A hook that must be filled may still answer something other than R{} while empty:
//   THook<int()> HistAxis{"AcqHooks.HistAxis", [] { return 1; }};

#include <cstdint>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace norv {

enum class THookKind : uint8_t { FromAbove, Wired, Fallback };

struct TWired {
  const char* Name;
};
constexpr TWired Wired(const char* name) { return {name}; }

struct TFallback {
  const char* Name;
};
constexpr TFallback Fallback(const char* name) { return {name}; }

struct THookEntry {
  std::string Name;
  THookKind Kind;
  bool Set;
};

// Every hook that exists now, in no particular order.
std::vector<THookEntry> ListHooks();

// What every hook has: its name and its place in the list. A hook is declared once, in
// its struct; copying one would list a second hook under the same name, so it cannot be
// copied (a struct of hooks is put back to its start by assignment, which keeps names).
class THookBase {
 public:
  THookBase(const THookBase&) = delete;
  virtual bool IsSet() const = 0;
  const char* Name() const { return name_; }
  THookKind Kind() const { return kind_; }

 protected:
  THookBase(const char* name, THookKind kind);
  // An assignment takes the other's function, not its name or place.
  THookBase& operator=(const THookBase&) { return *this; }
  ~THookBase();

 private:
  friend std::vector<THookEntry> ListHooks();

  const char* name_;
  THookKind kind_;
  THookBase* prev_ = nullptr;
  THookBase* next_ = nullptr;
};

template <typename Signature>
class THook;

template <typename R, typename... Args>
class THook<R(Args...)> final : public THookBase {
 public:
  using Function = std::function<R(Args...)>;

  explicit THook(const char* name, Function whileEmpty = {})
      : THookBase(name, THookKind::FromAbove), fallback_(std::move(whileEmpty)) {}
  explicit THook(TWired wired, Function whileEmpty = {})
      : THookBase(wired.Name, THookKind::Wired), fallback_(std::move(whileEmpty)) {}
  explicit THook(TFallback name, Function fallback = {})
      : THookBase(name.Name, THookKind::Fallback), fallback_(std::move(fallback)) {}
  THook& operator=(const THook&) = default;

  void Set(Function fn) { fn_ = std::move(fn); }
  void Reset() { fn_ = nullptr; }
  bool IsSet() const override { return static_cast<bool>(fn_); }

  R operator()(Args... args) const {
    if (fn_) return fn_(std::forward<Args>(args)...);
    if (fallback_) return fallback_(std::forward<Args>(args)...);
    if constexpr (!std::is_void_v<R>) return R{};
  }

 private:
  Function fn_;
  Function fallback_;
};

}  // namespace norv
