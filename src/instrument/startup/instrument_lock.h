#pragma once
// One instrument per running copy of the program: a copy that uses an instrument holds an
// exclusive flock() on a lock file named after it in the user's runtime folder. The
// kernel drops the lock when the holder's file closes, so a copy that ends in any way,
// a crash included, leaves the instrument free.

#include <memory>
#include <string>
#include <string_view>

namespace norv {

// The fixed GUID text followed by the name, the whole upper-cased.
std::string InstrumentMutexName(std::string_view name);

class TInstrumentLock {
 public:
  // The lock of the instrument, or nullptr when another holder has it (`why` empty) or
  // when it cannot be had at all: no private runtime folder, a link or other file in the
  // lock file's place (`why` tells what). Without a lock another copy could drive the same
  // instrument, so the instrument is not used then either.
  static std::unique_ptr<TInstrumentLock> Take(std::string_view name, std::string& why);
  ~TInstrumentLock();
  TInstrumentLock(const TInstrumentLock&) = delete;
  TInstrumentLock& operator=(const TInstrumentLock&) = delete;

 private:
  explicit TInstrumentLock(int fd) : fd_(fd) {}
  int fd_;
};

// Another holder (this process included) has the instrument's lock.
bool InstrumentBusy(std::string_view name);

}  // namespace norv
