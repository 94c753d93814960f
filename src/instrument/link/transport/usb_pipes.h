#pragma once
// What the USB device layer needs of the system's USB stack: bind the library, open and
// close the instrument, and bulk transfers with a time-out. The program uses libusb
// (usb_library.h); tests put a scripted pipe in its place.

#include <cstddef>
#include <cstdint>
#include <string>

namespace norv {

enum class TUsbStatus { Ok, Timeout, Failed };

struct TUsbOutcome {
  TUsbStatus Status = TUsbStatus::Ok;
  size_t Transferred = 0;  // also meaningful with a time-out: bytes that came before it
  std::string Error;       // the stack's own text for a failure

  bool Ok() const { return Status == TUsbStatus::Ok; }
};

class IUsbPipes {
 public:
  virtual ~IUsbPipes() = default;
  virtual TUsbOutcome Bind() = 0;
  virtual void Unbind() = 0;
  // Opens the instrument and claims its interface.
  virtual TUsbOutcome Open() = 0;
  virtual void Close() = 0;
  virtual TUsbOutcome Write(uint8_t Pipe, const uint8_t* Data, size_t Length, int TimeoutMs) = 0;
  // Returns when a transfer completes (a short packet ends it) or the time runs out.
  virtual TUsbOutcome Read(uint8_t Pipe, uint8_t* Buffer, size_t Length, int TimeoutMs) = 0;
};

}  // namespace norv
