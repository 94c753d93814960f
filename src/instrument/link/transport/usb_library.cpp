#include "instrument/link/transport/usb_library.h"

#include <libusb.h>

#include <cstdio>
#include <limits>

namespace norv {
namespace {

TUsbOutcome Failure(int code) { return {TUsbStatus::Failed, 0, libusb_strerror(code)}; }

TUsbOutcome Failure(const std::string& text) { return {TUsbStatus::Failed, 0, text}; }

// libusb takes 0 as "no time-out"; every transfer here is bounded.
unsigned BoundedTimeout(int timeoutMs) { return timeoutMs < 1 ? 1u : static_cast<unsigned>(timeoutMs); }

std::string DeviceIdText() {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", UsbVendorId, UsbProductId);
  return text;
}

class TLibUsbPipes final : public IUsbPipes {
 public:
  TUsbOutcome Bind() override {
    if (context_) return {};
    int rc = libusb_init(&context_);
    if (rc != LIBUSB_SUCCESS) {
      context_ = nullptr;
      return Failure(rc);
    }
    return {};
  }

  void Unbind() override {
    Close();
    if (context_) libusb_exit(context_);
    context_ = nullptr;
  }

  TUsbOutcome Open() override {
    if (!context_) return Failure("USB library not loaded");
    if (handle_) return Failure("USB device already open");
    libusb_device** list = nullptr;
    ssize_t count = libusb_get_device_list(context_, &list);
    if (count < 0) return Failure(static_cast<int>(count));
    int rc = LIBUSB_ERROR_NOT_FOUND;
    for (ssize_t i = 0; i < count && !handle_; ++i) {
      libusb_device_descriptor descriptor{};
      if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS) continue;
      if (descriptor.idVendor != UsbVendorId || descriptor.idProduct != UsbProductId) continue;
      rc = libusb_open(list[i], &handle_);
      if (rc != LIBUSB_SUCCESS) handle_ = nullptr;
    }
    libusb_free_device_list(list, 1);
    if (!handle_) {
      if (rc == LIBUSB_ERROR_NOT_FOUND) return Failure("No USB device " + DeviceIdText() + " found");
      return Failure(rc);
    }
    // A kernel driver bound to the interface would keep us from claiming it.
    libusb_set_auto_detach_kernel_driver(handle_, 1);
    rc = libusb_claim_interface(handle_, UsbInterfaceNumber);
    if (rc != LIBUSB_SUCCESS) {
      libusb_close(handle_);
      handle_ = nullptr;
      return Failure(rc);
    }
    return {};
  }

  void Close() override {
    if (!handle_) return;
    libusb_release_interface(handle_, UsbInterfaceNumber);
    libusb_close(handle_);
    handle_ = nullptr;
  }

  TUsbOutcome Write(uint8_t pipe, const uint8_t* data, size_t length, int timeoutMs) override {
    // libusb's buffer is not const, but an OUT transfer only reads it.
    return Transfer(pipe, const_cast<uint8_t*>(data), length, timeoutMs);
  }

  TUsbOutcome Read(uint8_t pipe, uint8_t* buffer, size_t length, int timeoutMs) override {
    return Transfer(pipe, buffer, length, timeoutMs);
  }

 private:
  TUsbOutcome Transfer(uint8_t pipe, uint8_t* buffer, size_t length, int timeoutMs) {
    if (!handle_) return Failure("USB device not open");
    if (length > static_cast<size_t>(std::numeric_limits<int>::max()))
      return Failure(LIBUSB_ERROR_INVALID_PARAM);
    int transferred = 0;
    int rc = libusb_bulk_transfer(handle_, pipe, buffer, static_cast<int>(length), &transferred,
                                  BoundedTimeout(timeoutMs));
    TUsbOutcome outcome;
    outcome.Transferred = transferred > 0 ? static_cast<size_t>(transferred) : 0;
    if (rc == LIBUSB_ERROR_TIMEOUT) {
      outcome.Status = TUsbStatus::Timeout;
    } else if (rc != LIBUSB_SUCCESS) {
      outcome.Status = TUsbStatus::Failed;
      outcome.Error = libusb_strerror(rc);
    }
    return outcome;
  }

  libusb_context* context_ = nullptr;
  libusb_device_handle* handle_ = nullptr;
};

}  // namespace

IUsbPipes& LibUsbPipes() {
  // Never destroyed: the device layer's finalization still closes through it at exit.
  static TLibUsbPipes* pipes = new TLibUsbPipes;
  return *pipes;
}

}  // namespace norv
