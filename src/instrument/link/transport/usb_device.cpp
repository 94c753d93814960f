#include "instrument/link/transport/usb_device.h"

#include <algorithm>

#include "framework/util/errors.h"
#include "instrument/link/transport/usb_library.h"

namespace norv {
namespace {

const char* const LoadErrorPrefix = "Error loading libusb-1.0. Make sure the USB library is installed.\n\n";
const char* const OpenErrorPrefix =
    "Cannot connect to device via USB. Make sure the device is connected and you may access it.\n\n";

IUsbPipes* CurrentPipes = nullptr;
bool LibraryBound = false;
bool Opened = false;

IUsbPipes& Pipes() { return CurrentPipes ? *CurrentPipes : LibUsbPipes(); }

void RequireOpened() {
  if (!Opened) throw EAssertion("USB device not open");
}

std::string TimeoutText(const char* operation, int timeoutMs) {
  return std::string("USB ") + operation + " Timeout (" + std::to_string(timeoutMs) + " ms)";
}

void ReleaseAll() {
  CloseUsbDevice();
  if (LibraryBound) Pipes().Unbind();
  LibraryBound = false;
}

// The device is closed and the library released when the program ends.
struct TFinalization {
  ~TFinalization() { ReleaseAll(); }
} Finalization;

}  // namespace

void SetUsbPipes(IUsbPipes* pipes) {
  ReleaseAll();
  CurrentPipes = pipes;
}

void EnsureUsbLoaded() {
  if (LibraryBound) return;
  TUsbOutcome outcome = Pipes().Bind();
  if (!outcome.Ok()) throw EUsbError(LoadErrorPrefix + outcome.Error);
  LibraryBound = true;
}

void OpenUsbDevice() {
  EnsureUsbLoaded();
  if (Opened) throw EAssertion("USB device already open");
  TUsbOutcome outcome = Pipes().Open();
  if (!outcome.Ok()) throw EUsbError(OpenErrorPrefix + outcome.Error);
  Opened = true;
}

void CloseUsbDevice() {
  if (!Opened) return;
  Opened = false;
  Pipes().Close();
}

bool UsbDeviceOpened() { return Opened; }

void WriteUsbPipe(uint8_t pipeId, const uint8_t* buffer, size_t length) {
  RequireOpened();
  TUsbOutcome outcome = Pipes().Write(pipeId, buffer, length, UsbWriteTimeoutMs);
  if (outcome.Status == TUsbStatus::Timeout) throw EUsbTimeout(TimeoutText("WritePipe", UsbWriteTimeoutMs));
  if (!outcome.Ok()) throw EUsbError(outcome.Error);
}

size_t ReadUsbPipe(uint8_t pipeId, uint8_t* buffer, size_t length, int timeoutMs) {
  RequireOpened();
  TUsbOutcome outcome = Pipes().Read(pipeId, buffer, length, timeoutMs);
  if (outcome.Status == TUsbStatus::Failed) throw EUsbError(outcome.Error);
  if (outcome.Status == TUsbStatus::Timeout && outcome.Transferred == 0)
    throw EUsbTimeout(TimeoutText("ReadPipe", timeoutMs));
  return std::min(outcome.Transferred, length);
}

}  // namespace norv
