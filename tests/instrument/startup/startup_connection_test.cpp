// Choosing and connecting the instrument at start and on a switch, the questions asked
// when it cannot be had, the lock between program copies, and the "INSTR:" commands.

#include "instrument/startup/startup_connection.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "framework/settings/choice_handlers.h"
#include "framework/settings/program_objects.h"
#include "framework/settings/settings_tree.h"
#include "framework/text/ini_file.h"
#include "framework/util/dialog_service.h"
#include "instrument/link/link_state.h"
#include "instrument/startup/instrument_commands.h"
#include "instrument/startup/instrument_list.h"
#include "instrument/startup/instrument_lock.h"
#include "support/scoped_env.h"
#include "support/temp_home.h"

namespace norv::test {
namespace {

// Answers from a script and notes each offer as "attempt:" + R (retry) and D (demo).
class ScriptedQuestions final : public IStartupQuestions {
 public:
  std::vector<TStartupAnswer> Answers;
  std::string Offers;

  TStartupAnswer AskHowToGoOn(const TStartupOffer& offer) override {
    Offers += (Offers.empty() ? "" : ",") + std::to_string(offer.Attempt) + ":" + (offer.Retry ? "R" : "") +
              (offer.Demo ? "D" : "") + (offer.WithoutInstrument ? "W" : "");
    if (Answers.empty()) return TStartupAnswer::Exit;
    const TStartupAnswer answer = Answers.front();
    Answers.erase(Answers.begin());
    return answer;
  }
};

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    std::filesystem::remove(ConfigurationFilePath());
    questions = {};
    up.clear();
    attempts.clear();
    StartupState.Questions = &questions;
    // "USB" or the dotted address of each attempt; those listed in `up` answer.
    StartupState.Connector = [this](bool useUSB, const TIPv4Addr& address) {
      const std::string target = useUSB ? "USB" : IPv4ToDottedStr(address);
      attempts += (attempts.empty() ? "" : ",") + target;
      if (!up.contains(target)) return false;
      LinkKind = useUSB ? TLinkKind::USB : TLinkKind::LAN;
      return true;
    };
  }
  void TearDown() override { FreshProgramState(); }

  static void Configure(const std::string& common) {
    std::ofstream(ConfigurationFilePath(), std::ios::binary)
        << "[Instrument1 Instrument]\nName=Bench Scope\nInterface=LAN\nIP Address=10.0.0.7\n"
           "[Demo1 Instrument]\nInterface=Demo\n[COMMON]\n"
        << common;
    ReadInstrumentConfiguration();
  }

  ScriptedQuestions questions;
  std::map<std::string, bool> up;
  std::string attempts;
};

using A = TStartupAnswer;

TEST_F(StartupTest, FailedStartsAskHowToGoOn) {
  struct TCase {
    const char* What;
    const char* Common;
    std::vector<const char*> Up;
    std::vector<TStartupAnswer> Answers;
    bool Embedded;
    // Expected: result, name in use, link kind, offers, attempts.
    bool Ok;
    const char* Name;
    TLinkKind Kind;
    const char* Offers;
    const char* Attempts;
  };
  // clang-format off
  const TCase cases[] = {
      {"a third failure still offers going on without the instrument", "Start Unit=Instrument1\n", {},
       {A::Retry, A::Retry, A::WithoutInstrument}, false,
       true, "Absent", TLinkKind::None, "1:RW,2:RW,3:W", "10.0.0.7,10.0.0.7,10.0.0.7"},
      {"exit ends the start", "Start Unit=Instrument1\n", {}, {A::Exit}, false,
       false, "Instrument1", TLinkKind::None, "1:RW", "10.0.0.7"},
      {"an answer not offered ends the start", "Start Unit=Instrument1\n", {}, {A::Demo}, false,
       false, "Instrument1", TLinkKind::None, "1:RW", "10.0.0.7"},
      {"the automatic chain offers the demo instrument", "Start Unit=Default Auto\n", {}, {A::Demo}, false,
       true, "Default Demo", TLinkKind::Demo, "1:RDW", "USB,192.168.1.55"},
      {"the chain tries the last one found first", "Start Unit=Default Auto\nLast Smart Instrument=Default LAN\n",
       {"USB"}, {}, false,
       true, "Default USB", TLinkKind::USB, "", "192.168.1.55,USB"},
      {"the second question after a retry", "Start Unit=Default LAN\n", {}, {A::Retry}, false,
       false, "Default LAN", TLinkKind::None, "1:RW,2:RW", "192.168.1.55,192.168.1.55"},
      {"embedded, the chain falls back to the demo instrument", "Start Unit=Default Auto\n", {}, {}, true,
       true, "Default Demo", TLinkKind::Demo, "", "USB,192.168.1.55"},
      {"embedded, an entry falls back to no instrument", "Start Unit=Instrument1\n", {}, {}, true,
       true, "Absent", TLinkKind::None, "", "10.0.0.7"},
      {"a demo entry needs no link", "Start Unit=Demo1\n", {}, {}, false,
       true, "Demo1", TLinkKind::Demo, "", ""},
  };
  // clang-format on
  for (const TCase& c : cases) {
    SetUp();
    for (const char* target : c.Up) up[target] = true;
    questions.Answers = c.Answers;
    if (c.Embedded) InstrumentListState.CommandLine = {"-Embedding"};
    Configure(c.Common);
    std::string name;
    EXPECT_EQ(SelectAndConnectInstrument(true, name), c.Ok) << c.What;
    EXPECT_EQ(name, c.Name) << c.What;
    EXPECT_EQ(CurrentInstrumentName, c.Ok ? c.Name : "") << c.What;
    EXPECT_EQ(LinkKind, c.Kind) << c.What;
    EXPECT_EQ(questions.Offers, c.Offers) << c.What;
    EXPECT_EQ(attempts, c.Attempts) << c.What;
  }

  // The chain stores the instrument it found after the other was not detected.
  SetUp();
  up["USB"] = true;
  Configure("Start Unit=Default Auto\nLast Smart Instrument=Default LAN\n");
  std::string name;
  ASSERT_TRUE(SelectAndConnectInstrument(true, name));
  EXPECT_EQ(TMemIniFile_Dot(ConfigurationFilePath()).ReadString("COMMON", "Last Smart Instrument", ""),
            "Default USB");
}

// Two copies started on one instrument: the second finds it busy while the first runs,
// and free once the first has died without releasing anything. The same without a private
// runtime folder, beside a temporary folder where another user put a link in our folder's
// place.
TEST_F(StartupTest, ASecondCopyFindsTheInstrumentBusyUntilTheFirstDies) {
  Configure("Start Unit=Demo1\n");
  const std::filesystem::path hostile = MakeTempDir("hostile-temp");
  std::filesystem::create_directory_symlink(MakeTempDir("open"),
                                            hostile / ("vexilor-norv-" + std::to_string(geteuid())));
  for (const bool privateRuntime : {true, false}) {
    SCOPED_TRACE(privateRuntime ? "private runtime folder" : "hostile temporary folder");
    const std::string runtime = privateRuntime ? std::getenv("XDG_RUNTIME_DIR") : "";
    const TScopedEnv xdg("XDG_RUNTIME_DIR", runtime), tmpdir("TMPDIR", hostile.string());
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t first = fork();
    ASSERT_GE(first, 0);
    if (first == 0) {
      std::string name;
      const bool ok = SelectAndConnectInstrument(true, name);
      const char report = ok && name == "Demo1" ? 'y' : 'n';
      if (write(ready[1], &report, 1) != 1) _exit(2);
      for (;;) pause();
    }
    struct TReap {
      pid_t pid;
      ~TReap() {
        if (pid > 0) {
          kill(pid, SIGKILL);
          waitpid(pid, nullptr, 0);
        }
      }
    } reap{first};
    char report = 0;
    ASSERT_EQ(read(ready[0], &report, 1), 1);
    ASSERT_EQ(report, 'y');

    questions = {};
    questions.Answers = {A::WithoutInstrument};
    std::string name;
    EXPECT_TRUE(SelectAndConnectInstrument(true, name));
    EXPECT_EQ(FirstConnectResult, ConnectBusy);
    EXPECT_EQ(questions.Offers, "1:W");
    EXPECT_EQ(name, "Absent");
    EXPECT_EQ(waitpid(first, nullptr, WNOHANG), 0) << "the first copy keeps running";

    kill(first, SIGKILL);
    ASSERT_EQ(waitpid(first, nullptr, 0), first);
    reap.pid = 0;
    close(ready[0]);
    close(ready[1]);
    EXPECT_FALSE(InstrumentBusy("Demo1"));
    EXPECT_EQ(TryConnectInstrument("Demo1", true), ConnectOk);
    // Now this copy holds it.
    EXPECT_TRUE(InstrumentBusy("Demo1"));
    ReleaseDemoMutex();
  }
}

class InstrumentCommandsTest : public StartupTest {
 protected:
  void SetUp() override {
    StartupTest::SetUp();
    CreateRootSpider();
    RegisterInstrumentCommands();
    Exec("HEADER OFF");
    StoreInstrumentEntry("Absent", KindFromName("Absent"));
    StoreInstrumentEntry("Default Demo", KindFromName("Default Demo"));
    StoreInstrumentEntry("Instrument1", {TLinkKind::LAN, "Bench Scope", TIPv4Addr{1, {10, 0, 0, 7}}});
    CurrentInstrumentName = "Absent";
    StartupState.Hooks.StopInstrumentWork.Set([this] { ++switches; });
    DialogState.SuppressedByProgram.Set([] { return true; });
  }
  static std::string Exec(const std::string& line) { return RootSpider->ExecCommandLine(line, false); }
  int switches = 0;
};

TEST_F(InstrumentCommandsTest, ListReportAndSwitch) {
  const std::pair<const char*, const char*> replies[] = {
      {"INSTR:LIST:COUNT?", " 3"},
      {"INSTR:LIST:UNIT? 0", " 0;[ABSENT];NONE"},
      {"INSTR:LIST:UNIT? 1", " 1;[DEFAULT_DEMO];DEMO"},
      {"INSTR:LIST:UNIT? 2", " 2;BENCH_SCOPE[INSTRUMENT1];LAN;10.0.0.7"},
      {"INSTR:LIST:UNIT? x", " BAD PARAMETER x"},
      {"INSTR:LIST:UNIT? -1", " BAD PARAMETER -1"},
      {"INSTR:LIST:UNIT? 3", " BAD PARAMETER 3"},
      {"INSTR:LIST:UNIT? 1x", " BAD PARAMETER 1x"},
      {"INSTR:CURRENT:GET?", " [ABSENT]"},
      {"INSTR:CURRENT:SET? Nowhere", " BAD SPECIFIER OF THE INSTRUMENT \"Nowhere\""},
      {"INSTR:CURRENT:SET? 7", " BAD SPECIFIER OF THE INSTRUMENT \"7\""},
      // A name is typed with "_" for its blanks (only a label may be typed with blanks).
      {"INSTR:CURRENT:SET? DEFAULT DEMO", " BAD SPECIFIER OF THE INSTRUMENT \"DEFAULT DEMO\""},
  };
  for (const auto& [command, reply] : replies) EXPECT_EQ(Exec(command), reply) << command;
  EXPECT_EQ(switches, 0);

  // To the demo instrument by name and back by index.
  EXPECT_EQ(Exec("INSTR:CURRENT:SET? default_demo"), " OK");
  EXPECT_EQ(Exec("INSTR:CURRENT:GET?"), " [DEFAULT_DEMO]");
  EXPECT_EQ(LinkKind, TLinkKind::Demo);
  EXPECT_TRUE(InstrumentBusy("Default Demo"));
  EXPECT_TRUE(IsOn(InstrumentCommands().GuiReady));
  EXPECT_EQ(Exec("INSTR:CURRENT:SET? 1"), " OK");
  EXPECT_EQ(switches, 1) << "the instrument in use is not connected again";
  EXPECT_EQ(Exec("INSTR:CURRENT:SET? 0"), " OK");
  EXPECT_EQ(Exec("INSTR:CURRENT:GET?"), " [ABSENT]");
  EXPECT_FALSE(InstrumentBusy("Default Demo"));

  // A LAN instrument that does not answer: the previous one is in use again.
  EXPECT_EQ(Exec("INSTR:CURRENT:SET? bench scope"), " NOT DETECTED");
  EXPECT_EQ(attempts, "10.0.0.7");
  EXPECT_EQ(CurrentInstrumentName, "Absent");
  EXPECT_EQ(LinkKind, TLinkKind::None);

  // Held by another copy.
  {
    std::string why;
    const auto other = TInstrumentLock::Take("Default Demo", why);
    ASSERT_TRUE(other);
    EXPECT_EQ(Exec("INSTR:CURRENT:SET? Default_Demo"), " BUSY");
    EXPECT_EQ(CurrentInstrumentName, "Absent");
  }

  // Without a query the switch happens and nothing is answered.
  up["10.0.0.7"] = true;
  EXPECT_EQ(Exec("INSTR:CURRENT:SET INSTRUMENT1"), "");
  EXPECT_EQ(CurrentInstrumentName, "Instrument1");
  EXPECT_EQ(LinkKind, TLinkKind::LAN);
}

}  // namespace
}  // namespace norv::test
