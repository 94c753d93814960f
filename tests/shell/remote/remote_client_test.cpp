#include "shell/remote/remote_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sstream>
#include <string>
#include <vector>

#include "remote_fixture.h"

namespace norv::test {
namespace {

struct TRun {
  int status;
  std::string out, err;
};

TRun Tool(const std::vector<std::string>& args, const std::string& input = {}) {
  std::istringstream in(input);
  std::ostringstream out, err;
  const int status = RunRemoteClient(args, in, out, err, [] { ServiceRemote(); });
  return {status, out.str(), err.str()};
}

TEST_F(RemoteTest, ToolSendsArgumentsOrInputLinesAndStopsAtAnError) {
  StartServer();
  const std::string pid = std::to_string(getpid());
  const struct {
    std::vector<std::string> args;
    const char* input;
    int status;
    const char* out;
    const char* err;  // a part of it
  } cases[] = {
      {{"TB:SCALEA 2N", "TB:SCALEA?"}, "", 0, "TB:SCALEA 2 ns/div\n", ""},
      {{"--pid", pid, "--timeout", "5"}, "HEADER OFF\r\n\n  \nTB:SCALEA?\nHEADER ON\n", 0, "2 ns/div\n", ""},
      {{"A;;B", "TB:SCALEA 5N"}, "", 1, "", "norv-remote: ERROR!  Mnemonics is Absent\n"},
      {{"--", "--pid"}, "", 0, "ERROR\n", ""},
      {{"--pid", "999999999", "HEADER?"}, "", 2, "", "Nothing answers at"},
      {{"--pid"}, "", 3, "", "--pid needs a process id"},
      {{"--start", "--pid", pid}, "", 3, "", "exclude each other"},
      {{"--frobnicate"}, "", 3, "", "unknown option --frobnicate"},
  };
  for (const auto& c : cases) {
    const TRun run = Tool(c.args, c.input);
    EXPECT_EQ(run.status, c.status) << c.args[0];
    EXPECT_EQ(run.out, c.out) << c.args[0];
    EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    Serve();
    EXPECT_EQ(RemoteClientCount(), 0);  // the tool has hung up
  }
  EXPECT_EQ(Tool({"TB:SCALEA?"}).out, "TB:SCALEA 2 ns/div\n");  // 5N never went
}

TEST_F(RemoteTest, ToolFindsTheOnlyCopyOrAsksWhichOne) {
  EXPECT_EQ(Tool({"HEADER?"}).status, 2);
  EXPECT_NE(Tool({"HEADER?"}).err.find("no running copy"), std::string::npos);

  StartServer();
  // A second copy, under the id of a process that lives.
  const std::filesystem::path other = RemoteSocketPath(RemoteSocketFolder(), getppid());
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  other.native().copy(address.sun_path, sizeof(address.sun_path) - 1);
  ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  listen(fd, 1);
  const TRun two = Tool({"HEADER?"});
  EXPECT_EQ(two.status, 2);
  EXPECT_NE(two.err.find("2 copies are running"), std::string::npos) << two.err;
  close(fd);
  std::filesystem::remove(other);
  EXPECT_EQ(Tool({"HEADER?"}).out, "HEADER ON\n");
}

TEST(RemoteToolStart, AProgramThatEndsBeforeItAnswersIsReported) {
  std::istringstream in;
  std::ostringstream out, err;
  EXPECT_EQ(RunRemoteClient({"--start", "--program", "/bin/false", "HEADER?"}, in, out, err), 2);
  EXPECT_NE(err.str().find("/bin/false ended (status 1) before it answered"), std::string::npos) << err.str();
}

}  // namespace
}  // namespace norv::test
