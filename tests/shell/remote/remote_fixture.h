#pragma once
// A program with every settings unit, the waveform transfer and "Gui" registered, its
// remote server listening in the test's runtime folder on a fake clock, and clients that
// wait for it by serving it in the same thread.

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "shell/remote/remote_client.h"
#include "shell/remote/remote_control.h"
#include "shell/remote/remote_server.h"
#include "shell/remote/waveform_transfer.h"
#include "support/every_unit.h"
#include "support/fake_clock.h"

namespace norv::test {

class RemoteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    RegisterEveryUnit();
  }
  void TearDown() override { FreshProgramState(); }

  void StartServer(bool embedded = false) { StartRemoteServer(clock_, embedded); }

  static void Serve() { ServiceRemote(); }
  static TRemoteIdle Idle() {
    return [] { ServiceRemote(); };
  }

  // A client of the program's socket.
  static void Connect(TRemoteClient& client) {
    client.Connect(RemoteServer->SocketPath());
    Serve();  // accepted
  }
  // The answer to one line as "OK <text>" or "ERR <text>".
  static std::string Ask(TRemoteClient& client, std::string_view line) {
    const TReplyReader::TFrame frame = client.Exchange(line, 5000, Idle());
    return (frame.Ok ? "OK " : "ERR ") + frame.Text;
  }

  FakeClock clock_;
};

}  // namespace norv::test
