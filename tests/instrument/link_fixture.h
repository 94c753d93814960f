#pragma once
// A command link connected to a fake instrument over loopback TCP, from a fresh program
// state in each test.

#include <gtest/gtest.h>

#include <string>

#include "framework/settings/program_objects.h"
#include "framework/text/ip_address.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "support/fake_instrument.h"
#include "support/fake_usb_pipe.h"

namespace norv::test {

inline TIPv4Addr Loopback() {
  TIPv4Addr addr;
  StrToIPv4("127.0.0.1", addr);
  return addr;
}

inline constexpr const char* IndivDataReply = "1 255 251 9 1234";

// Connects over the fake USB pipe, which answers the identity query of the connection.
inline bool ConnectUsb(FakeUsbPipe& pipe) {
  pipe.OnWrite = [&pipe](std::string_view bytes) {
    if (bytes == std::string(IndivDataQuery) + "\r\n") pipe.QueueIn(std::string(IndivDataReply) + "\r\n");
  };
  return ConnectInstrument(true, TIPv4Addr{});
}

class LinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    instrument.SetReply(std::string(IndivDataQuery), IndivDataReply);
  }
  // The link closes before the fake instrument goes.
  void TearDown() override { FreshProgramState(); }

  // Connects and forgets the commands of the connection itself.
  void Connect() {
    ASSERT_TRUE(ConnectInstrument(false, Loopback(), instrument.Port()));
    ASSERT_TRUE(instrument.WaitForCommands(1));
    instrument.ClearCommands();
  }

  FakeInstrument instrument;
};

}  // namespace norv::test
