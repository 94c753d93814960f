#pragma once
// The process-wide objects of the program (the settings tree, its trace on/off notifier,
// the undo ring) have one owner, which frees them in reverse order of creation at exit:
// what is freed first may still reach what was made before it (a handler freed with the
// tree drops its lines from the undo ring). The specified global names refer to the
// owner's slots.

#include <cstdint>
#include <memory>
#include <utility>

namespace norv {

class TSpider;
class TUndoBuffer;
class THandlerSignalEnablity;

// The creation count shared by all slots (1, 2, ...).
uint64_t NextCreationStamp();

// One object held by the owner, used like a std::unique_ptr.
template <class T>
class TOwned {
 public:
  constexpr TOwned() = default;
  TOwned(const TOwned&) = delete;
  TOwned& operator=(const TOwned&) = delete;

  T* get() const { return object_.get(); }
  T* operator->() const { return object_.get(); }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // When the object held now was put in; 0 when empty.
  uint64_t CreatedAt() const { return created_at_; }

  // Holds `object` (nullptr: nothing) from now on; the one held before is freed after
  // the slot has let go of it, so that its destructor finds the slot's new state.
  TOwned& operator=(std::unique_ptr<T> object) {
    std::unique_ptr<T> old = std::exchange(object_, std::move(object));
    created_at_ = object_ ? NextCreationStamp() : 0;
    old.reset();
    return *this;
  }
  void reset() { *this = std::unique_ptr<T>(); }

 private:
  std::unique_ptr<T> object_;
  uint64_t created_at_ = 0;
};

class TProgramObjects {
 public:
  constexpr TProgramObjects() = default;
  ~TProgramObjects();
  TProgramObjects(const TProgramObjects&) = delete;
  TProgramObjects& operator=(const TProgramObjects&) = delete;

  // Frees every object held, the newest first. Also run at exit.
  void FreeAll();

  TOwned<TSpider> RootSpider;
  TOwned<THandlerSignalEnablity> HandlerSignalEnablity;
  TOwned<TUndoBuffer> UndoBuffer;
};

extern TProgramObjects ProgramObjects;

}  // namespace norv
