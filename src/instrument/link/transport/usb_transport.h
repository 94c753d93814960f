#pragma once
// The instrument's USB link: opens the one instrument, probes it, and wraps every
// transfer so that a failure becomes a false result, the link's failure flag
// (CommFailure) and a message to the sink. Nothing here raises. Private to the link
// (link_transport.h is its way in).

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "instrument/link/link_hooks.h"

namespace norv {

// Sizes and time-outs of the instrument's USB traffic.
inline constexpr size_t UsbReplyBytes = 384;  // one read of a command reply
inline constexpr int UsbReplyTimeoutMs = 1000;
inline constexpr size_t UsbWaveBlockBytes = 16400;  // one block of the sample stream
inline constexpr int UsbWaveTimeoutMs = 300;
inline constexpr size_t UsbProbeReplyBytes = 255;
inline constexpr int UsbProbeTimeoutMs = 50;
inline constexpr size_t UsbDrainBytes = 65576;  // stale data thrown away at open
inline constexpr int UsbDrainTimeoutMs = 50;
// Stale input dropped before a command: reads until one brings nothing in this time, at
// most UsbStaleReadsMax of them.
inline constexpr int UsbStaleTimeoutMs = 1;
inline constexpr int UsbStaleReadsMax = 8;

// The failure texts go to UsbMessageSink (link_hooks.h); silent until set.

// Opens the instrument and throws away what its IN pipe still holds. False (and
// CommFailure set) when the library or the device cannot be opened.
bool OpenUSB();
void CloseUSB();
// Reopens the device (which also resets one that stopped answering) and asks for its
// firmware version through SendCommand, so a running record is stopped first; true when
// the instrument answered in time. Used by LinkAlive while LinkKind is USB.
bool ProbeUSB();

// One transfer to the command pipe. Clears CommFailure on success.
bool SendBufferToUSB(const uint8_t* Buffer, size_t Length);
// One transfer from the IN pipe of at most Length bytes; a time-out is a failure.
// Clears CommFailure on success. A successful read may bring zero bytes.
bool ReadBufferFromUSB(uint8_t* Buffer, size_t Length, size_t& Transferred, int TimeoutMs);

// The USB side of the sample stream: reads one block (at most UsbWaveBlockBytes, in
// UsbWaveTimeoutMs) into Words as little-endian 16-bit words and gives their number in
// Count. A block that ends inside a word keeps its last byte, which becomes the first
// byte of the next block. False when the read fails or times out.
bool ReadUsbWaveBlock(std::span<uint16_t> Words, size_t& Count);
// Forgets a byte kept from the last block; done before every command that is not part
// of a running record (so before "ACQ:GO").
void ClearUsbWaveCarry();

}  // namespace norv
