#pragma once
// The instrument's USB device and its two bulk pipes. Every failure raises: EUsbTimeout
// when a read brings nothing in time, EUsbError otherwise, EAssertion for misuse.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "instrument/link/transport/usb_pipes.h"

namespace norv {

inline constexpr uint8_t UsbOutPipe = 0x02;  // commands
inline constexpr uint8_t UsbInPipe = 0x81;   // replies and sample data
// A device that stops taking data must not hold the program for ever.
inline constexpr int UsbWriteTimeoutMs = 2000;

class EUsbError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class EUsbTimeout : public EUsbError {
 public:
  using EUsbError::EUsbError;
};

// Puts another USB stack in place of libusb (nullptr: libusb again). A device open on
// the old one is closed and its library released first.
void SetUsbPipes(IUsbPipes* Pipes);

// Binds the USB library unless it is bound already.
void EnsureUsbLoaded();
void OpenUsbDevice();
// Does nothing when no device is open.
void CloseUsbDevice();
bool UsbDeviceOpened();

void WriteUsbPipe(uint8_t PipeId, const uint8_t* Buffer, size_t Length);
// Returns the number of bytes read. Bytes that arrived before the time ran out are a
// good read; a time-out with nothing raises EUsbTimeout.
size_t ReadUsbPipe(uint8_t PipeId, uint8_t* Buffer, size_t Length, int TimeoutMs);

}  // namespace norv
