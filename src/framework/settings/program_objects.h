#pragma once
// The process-wide state of the program has one owner, ProgramObjects.
//
// Objects (the settings tree, the undo ring, the waveform records, the acquisition cycle,
// the hint stack, ...) sit in TOwned slots, declared by the unit that makes them. The
// owner frees them in reverse order of creation, at exit and for a fresh program state:
// what is freed first may still reach what was made before it (a handler freed with the
// tree drops its lines from the undo ring; a cycle unhooks itself from the link).
//
// Each unit keeps its values (flags, caches, handler pointers, hooks) in one struct and
// joins it to the owner with a TProgramUnit beside the struct's definition, naming the
// function that puts the whole struct back to its start values. The specified global
// names refer to the owner's slots and to the units' fields.

#include <cstdint>
#include <memory>
#include <utility>

namespace norv {

class TSpider;
class TUndoBuffer;
class THandlerSignalEnablity;
class TProgramObjects;

// The creation count shared by all slots (1, 2, ...).
uint64_t NextCreationStamp();

// What the owner knows of a slot.
class TOwnedSlot {
 public:
  TOwnedSlot(const TOwnedSlot&) = delete;
  TOwnedSlot& operator=(const TOwnedSlot&) = delete;

  // When the object held now was put in; 0 when empty.
  uint64_t CreatedAt() const { return created_at_; }

 protected:
  using TFree = void (*)(TOwnedSlot&);
  constexpr explicit TOwnedSlot(TFree free) : free_(free) {}
  ~TOwnedSlot();
  // A new object is held (or none); the first one enlists the slot with the owner.
  void Stamp(bool holding);

 private:
  friend class TProgramObjects;
  TFree free_;
  uint64_t created_at_ = 0;
  TOwnedSlot* next_ = nullptr;
  bool enlisted_ = false;
};

// One object held for the owner, used like a std::unique_ptr.
template <class T>
class TOwned final : public TOwnedSlot {
 public:
  constexpr TOwned() : TOwnedSlot(&FreeSlot) {}
  ~TOwned() { reset(); }

  T* get() const { return object_.get(); }
  T* operator->() const { return object_.get(); }
  T& operator*() const { return *object_; }
  explicit operator bool() const { return object_ != nullptr; }

  // Holds `object` (nullptr: nothing) from now on; the one held before is freed after
  // the slot has let go of it, so that its destructor finds the slot's new state.
  TOwned& operator=(std::unique_ptr<T> object) {
    std::unique_ptr<T> old = std::exchange(object_, std::move(object));
    Stamp(object_ != nullptr);
    old.reset();
    return *this;
  }
  void reset() { *this = std::unique_ptr<T>(); }

 private:
  static void FreeSlot(TOwnedSlot& slot) { static_cast<TOwned&>(slot).reset(); }

  std::unique_ptr<T> object_;
};

// A unit's values joined to the owner: a static object beside the struct's definition,
//   const TProgramUnit LinkUnit("link", [] { LinkState = {}; });
// The reset only puts start values in (it frees no object and reaches no other unit), so
// units reset in any order.
class TProgramUnit {
 public:
  TProgramUnit(const char* name, void (*reset)());
  ~TProgramUnit();
  TProgramUnit(const TProgramUnit&) = delete;
  TProgramUnit& operator=(const TProgramUnit&) = delete;

  const char* Name() const { return name_; }

 private:
  friend class TProgramObjects;
  const char* name_;
  void (*reset_)();
  TProgramUnit* next_ = nullptr;
  bool joined_ = false;
};

class TProgramObjects {
 public:
  constexpr TProgramObjects() = default;
  ~TProgramObjects();
  TProgramObjects(const TProgramObjects&) = delete;
  TProgramObjects& operator=(const TProgramObjects&) = delete;

  // Frees every object held, the newest first. Also run at exit, before the globals that
  // existed when the first object was made are destroyed; main runs it before the
  // platform layer that made timers and windows for the objects closes (as the test
  // mains do).
  void FreeAll();
  // A fresh program state: every object freed, the newest first, then every unit's
  // values back to their start.
  void Fresh();

  // The settings tree, its trace on/off notifier and the undo ring.
  TOwned<TSpider> RootSpider;
  TOwned<THandlerSignalEnablity> HandlerSignalEnablity;
  TOwned<TUndoBuffer> UndoBuffer;

 private:
  friend class TOwnedSlot;
  friend class TProgramUnit;
  void Enlist(TOwnedSlot& slot);
  void Delist(TOwnedSlot& slot);
  void Join(TProgramUnit& unit);
  void Leave(TProgramUnit& unit);

  TOwnedSlot* slots_ = nullptr;
  TProgramUnit* units_ = nullptr;  // in joining order
  bool freed_at_exit_ = false;     // the exit run is arranged
};

extern TProgramObjects ProgramObjects;

// Tests start from here: ProgramObjects.Fresh().
void FreshProgramState();

}  // namespace norv
