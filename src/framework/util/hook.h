#pragma once
// A call-out from a lower subsystem to a higher one. It does nothing (and gives the
// fallback result) until the higher subsystem fills it in at start-up, so every
// subsystem builds and runs before the ones above it exist.
//
// A wired hook is one that its own subsystem fills when that subsystem is wired at
// start-up (a unit built on the caller, such as the settings behind the link). It carries
// its name, and every wired hook in existence can be listed, so that a test can check
// that wiring leaves none of them empty:
//   THook<bool()> PatternLockOn{Wired("LinkHooks.PatternLockOn")};

#include <functional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace norv {

struct TWired {
  const char* Name;
};
constexpr TWired Wired(const char* name) { return {name}; }

// The names of the wired hooks that exist now, in no particular order; only the empty
// ones when unfilledOnly.
std::vector<std::string> WiredHookNames(bool unfilledOnly);

// What every hook has: its place in the list of wired hooks while it is one.
class THookBase {
 public:
  virtual bool IsSet() const = 0;
  // The name of a wired hook; nullptr for a hook filled from above.
  const char* WiredName() const { return wired_; }

 protected:
  THookBase() = default;
  explicit THookBase(TWired wired);
  // A copy is a hook of its own: it joins the list if the original is wired.
  THookBase(const THookBase& other);
  // An assignment takes the other's function, not its name or place.
  THookBase& operator=(const THookBase&) { return *this; }
  ~THookBase();

 private:
  friend std::vector<std::string> WiredHookNames(bool unfilledOnly);
  void Enlist();

  const char* wired_ = nullptr;
  THookBase* prev_ = nullptr;
  THookBase* next_ = nullptr;
};

template <typename Signature>
class THook;

template <typename R, typename... Args>
class THook<R(Args...)> final : public THookBase {
 public:
  using Function = std::function<R(Args...)>;

  THook() = default;
  // A hook whose empty state answers with something other than R{}.
  explicit THook(Function fallback) : fallback_(std::move(fallback)) {}
  explicit THook(TWired wired, Function fallback = {}) : THookBase(wired), fallback_(std::move(fallback)) {}

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
