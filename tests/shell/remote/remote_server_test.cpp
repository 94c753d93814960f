#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/undo_ring.h"
#include "framework/util/dialog_service.h"
#include "framework/util/errors.h"
#include "instrument/record/signal_obj.h"
#include "remote_fixture.h"
#include "support/settings_tree_fixture.h"

namespace norv::test {
namespace {

namespace fs = std::filesystem;

std::string Dumped() {
  std::vector<std::string> lines;
  RootSpider->DumpSettings(lines);
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Leaves a socket file behind, as a copy that died does.
void LeaveSocketFile(const fs::path& path) {
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.native().copy(address.sun_path, sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  close(fd);
}

TEST_F(RemoteTest, SessionOfCommandLinesWithTheirExactReplies) {
  RootSpider->AddOnOff(false, "NOGPIB:Probe");
  UndoBuffer = std::make_unique<TUndoBuffer>();
  UndoBuffer->Enabled = true;
  StartServer();
  TRemoteClient client;
  Connect(client);
  const struct {
    const char* line;
    const char* answer;
  } session[] = {
      {"TB:SCALEA 2.5N", "OK "},
      {"TB:SCALEA?", "OK TB:SCALEA 2.5 ns/div"},
      // Two queries, joined; after TB:SCALEA the next path starts at TB: unless ':' leads.
      {"HEADER OFF;TB:SCALEA?;:ACQ:FITTO?", "OK 2.5 ns/div;MULTI"},
      {"HEADER ON;ACQ:FITTO?;:TRIG:SOURCE?", "OK ACQ:FITTO MULTI;\r\nTRIG:SOURCE DIRECT"},
      {"NO:SUCH 1", "OK ERROR"},
      {"NOGPIB:PROBE ON", "OK ERROR"},
      {"", "OK "},
      {"A;;B", "ERR ERROR!  Mnemonics is Absent"},
      {"TB:SCALEA?", "OK TB:SCALEA 2.5 ns/div"},
  };
  for (const auto& step : session) EXPECT_EQ(Ask(client, step.line), step.answer) << step.line;
  EXPECT_FALSE(IsOn(dynamic_cast<TOnOffHandler*>(RootSpider->FindHandler("NOGPIB:Probe"))));

  // The remote change opened an undo step of its own.
  ReplayUndoStep(false);
  EXPECT_EQ(Ask(client, "TB:SCALEA?"), "OK TB:SCALEA 10 ns/div");
}

TEST_F(RemoteTest, GuiModesReachTheWindowAndSuppressDialogs) {
  std::vector<TGuiRemoteMode> applied;
  RemoteHooks.ApplyGuiRemoteMode.Set([&](TGuiRemoteMode mode) { applied.push_back(mode); });
  UndoBuffer = std::make_unique<TUndoBuffer>();
  UndoBuffer->Enabled = true;
  StartServer();
  TRemoteClient client;
  Connect(client);
  const struct {
    const char* mode;
    TGuiRemoteMode applied;
    bool remote;
  } modes[] = {{"RemoteOnly", TGuiRemoteMode::RemoteOnly, true},
               {"invisible", TGuiRemoteMode::Invisible, true},
               {"RemoteLocal", TGuiRemoteMode::RemoteLocal, false}};
  for (const auto& m : modes) {
    applied.clear();
    EXPECT_EQ(Ask(client, std::string("GUI ") + m.mode), "OK ");
    EXPECT_EQ(applied, std::vector<TGuiRemoteMode>{m.applied}) << m.mode;
    EXPECT_EQ(RemoteControlled, m.remote) << m.mode;
    EXPECT_EQ(SuppressedByRemote(), m.remote) << m.mode;
    EXPECT_EQ(AutoCalibrationAllowed(), !m.remote) << m.mode;
  }
  // Internal: no undo step, not in setups.
  EXPECT_TRUE(UndoBuffer->UndoEmpty);
  // No line of either area (other paths may contain the letters: "HIST:NWFM").
  EXPECT_EQ(("\n" + Dumped()).find("\nGUI"), std::string::npos);
  EXPECT_EQ(("\n" + Dumped()).find("\nWFM:"), std::string::npos);

  // Started for a client, dialogs stay suppressed whatever "Gui" says.
  EXPECT_TRUE(HasEmbeddingSwitch({"Default_Demo", "-EMBEDDING"}));
  EXPECT_FALSE(HasEmbeddingSwitch({"Embedding", "-Embedding2"}));
  StartRemoteServer(clock_, true);
  EXPECT_TRUE(SuppressedByRemote());
  EXPECT_TRUE(DialogsSuppressed());
}

TEST_F(RemoteTest, BadRequestsGetAnErrorAndTheClientGoesOn) {
  StartServer();
  TRemoteClient client;
  Connect(client);
  std::string atLimit = "HEADER?";
  atLimit.resize(kMaxRequestBytes, ' ');
  const struct {
    std::string bytes;
    std::string answer;
  } cases[] = {
      {std::string(kMaxRequestBytes + 1, 'A') + "\n", "ERR Request line longer than 1048576 bytes"},
      {atLimit + "\n", "OK HEADER ON"},
      {"HEADER? \xff\n", "ERR Request line is not UTF-8"},
      {"HEADER? \xc0\xaf\n", "ERR Request line is not UTF-8"},      // an overlong '/'
      {"HEADER? \xed\xa0\x80\n", "ERR Request line is not UTF-8"},  // a surrogate
      {"TB:UNITS? \xc2\xb5\n", "OK TB:UNITS TIME"},                 // UTF-8 passes
  };
  for (const auto& c : cases) {
    client.Send(c.bytes, 5000, Idle());
    const TReplyReader::TFrame frame = client.Receive(5000, Idle());
    EXPECT_EQ((frame.Ok ? "OK " : "ERR ") + frame.Text, c.answer) << c.bytes.substr(0, 20);
  }
  EXPECT_EQ(Ask(client, "HEADER?"), "OK HEADER ON");
}

TEST_F(RemoteTest, AClientThatHangsUpOrStopsReadingIsDroppedAndTheNextIsServed) {
  int gone = 0;
  StartServer();
  RemoteServer->OnClientGone = [&] { ++gone; };
  {
    // Hangs up in the middle of a request: the half line never runs.
    TRemoteClient client;
    Connect(client);
    client.Send("TB:SCALEA 7N", 5000, Idle());
    Serve();
  }
  Serve();
  EXPECT_EQ(RemoteClientCount(), 0);
  EXPECT_EQ(gone, 1);
  {
    // Sends its last requests and shuts its side: the whole ones are still answered, then
    // the program hangs up.
    TRemoteClient client;
    Connect(client);
    client.Send("TB:SCALEA 3N\nTB:SCALEA 4N\nTB:SCA", 5000, Idle());
    client.FinishSending();
    for (const char* answer : {"", ""}) EXPECT_EQ(client.Receive(5000, Idle()).Text, answer);
    EXPECT_TRUE(client.WaitHangUp(5000, Idle()));
  }
  EXPECT_EQ(gone, 2);
  {
    // Never reads: its answers fill the socket, and it goes once they have not moved for
    // the stall time.
    SignalObjs()[TTraceId::Ch1].SetRecLen(4096);
    for (int i = 0; i < 4096; ++i) SignalObjs()[TTraceId::Ch1].SetY(i, -1.2345e-7 * (i + 1));
    TRemoteClient client;
    Connect(client);
    std::string requests;
    for (int i = 0; i < 100; ++i) requests += "WFM:DATA?\n";
    client.Send(requests, 5000, Idle());
    for (int i = 0; i < 200; ++i) Serve();
    clock_.Advance(TRemoteServer::kReplyStallMs - 1);
    Serve();
    EXPECT_EQ(RemoteClientCount(), 1);
    clock_.Advance(1);
    Serve();
    EXPECT_EQ(RemoteClientCount(), 0);
    EXPECT_EQ(gone, 3);
  }
  TRemoteClient next;
  Connect(next);
  EXPECT_EQ(Ask(next, "TB:SCALEA?"), "OK TB:SCALEA 4 ns/div");
}

TEST_F(RemoteTest, OneClientAtATimeAndTheCloseRefusedWhileItIsConnected) {
  StartServer();
  EXPECT_NO_THROW(CheckNoRemoteClient());
  TRemoteClient first;
  Connect(first);
  TRemoteClient second;
  second.Connect(RemoteServer->SocketPath());
  const TReplyReader::TFrame refusal = second.Receive(5000, Idle());
  EXPECT_FALSE(refusal.Ok);
  EXPECT_EQ(refusal.Text, TRemoteServer::kRefusedText);
  EXPECT_TRUE(second.WaitHangUp(5000, Idle()));
  // Refused before its request could go: the refusal is the answer all the same.
  TRemoteClient late;
  late.Connect(RemoteServer->SocketPath());
  Serve();
  EXPECT_EQ(Ask(late, "HEADER?"), "ERR " + std::string(TRemoteServer::kRefusedText));

  EXPECT_EQ(RemoteClientCount(), 1);
  EXPECT_EQ(AssertionText([] { CheckNoRemoteClient(); }), "There are active COM client(s) using this server");
  EXPECT_EQ(Ask(first, "HEADER?"), "OK HEADER ON");

  first.Close();
  Serve();
  EXPECT_NO_THROW(CheckNoRemoteClient());
  TRemoteClient third;
  Connect(third);
  EXPECT_EQ(Ask(third, "HEADER?"), "OK HEADER ON");

  // One call of a script after another: the next connects before the server has seen the
  // last one hang up, and is served.
  third.Close();
  TRemoteClient fourth;
  Connect(fourth);
  EXPECT_EQ(Ask(fourth, "HEADER?"), "OK HEADER ON");
}

TEST_F(RemoteTest, ACopyStartedForAClientClosesWhenItsClientHasGone) {
  for (const bool embedded : {true, false}) {
    int closes = 0;
    RemoteHooks.CloseProgram.Set([&] { ++closes; });
    StartServer(embedded);
    TRemoteClient client;
    Connect(client);
    TRemoteClient refused;  // a refused client coming and going changes nothing
    refused.Connect(RemoteServer->SocketPath());
    Serve();
    refused.Close();
    Serve();
    EXPECT_EQ(closes, 0);
    client.Close();
    Serve();
    EXPECT_EQ(closes, embedded ? 1 : 0) << embedded;
  }
}

TEST_F(RemoteTest, TheSocketIsTheUsersAloneAndStaleOnesGo) {
  const fs::path folder = RemoteSocketFolder();
  const fs::path dead = RemoteSocketPath(folder, 999999999);
  const fs::path living = RemoteSocketPath(folder, getppid());
  const fs::path other = folder / "other.sock";
  for (const fs::path& path : {dead, living, other}) LeaveSocketFile(path);
  StartServer();
  const fs::path own = RemoteServer->SocketPath();
  EXPECT_EQ(own, RemoteSocketPath(folder, getpid()));
  struct stat st {};
  ASSERT_EQ(stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(living));
  EXPECT_TRUE(fs::exists(other));
  RemoteServer.reset();
  EXPECT_FALSE(fs::exists(own));
  fs::remove(living);
  fs::remove(other);
}

}  // namespace
}  // namespace norv::test
