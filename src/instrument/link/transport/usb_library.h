#pragma once
// The system's USB stack through libusb-1.0: a libusb context takes the place of loading
// a USB library, and the one instrument is found by its vendor and product id.

#include <cstdint>

#include "instrument/link/transport/usb_pipes.h"

namespace norv {

// The instrument's USB identity. Placeholders until the instrument's own ids are
// assigned; this is the one place that names them.
inline constexpr uint16_t UsbVendorId = 0x1209;
inline constexpr uint16_t UsbProductId = 0x0001;
inline constexpr int UsbInterfaceNumber = 0;

// The libusb implementation; lives until the program ends.
IUsbPipes& LibUsbPipes();

}  // namespace norv
