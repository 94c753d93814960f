#pragma once
// A call-out from a lower subsystem to a higher one. It does nothing (and gives the
// fallback result) until the higher subsystem fills it in at start-up, so every
// subsystem builds and runs before the ones above it exist.

#include <functional>
#include <type_traits>
#include <utility>

namespace norv {

template <typename Signature>
class THook;

template <typename R, typename... Args>
class THook<R(Args...)> {
 public:
  using Function = std::function<R(Args...)>;

  THook() = default;
  // A hook whose empty state answers with something other than R{}.
  explicit THook(Function fallback) : fallback_(std::move(fallback)) {}

  void Set(Function fn) { fn_ = std::move(fn); }
  void Reset() { fn_ = nullptr; }
  bool IsSet() const { return static_cast<bool>(fn_); }

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
