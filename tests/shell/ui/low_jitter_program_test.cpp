// The low-jitter reference in the program as main() builds it: started on the simulator
// with a prescaler named on the command line, switched on by command, run to its end by
// the idle loop, and F4 drawn with the corrected channel 1.

#include <gtest/gtest.h>

#include <string>

#include "analysis/low_jitter.h"
#include "display/scope_crt.h"
#include "framework/settings/settings_tree.h"
#include "instrument/link/link_state.h"
#include "shell/ui/program_fixture.h"

namespace norv {
namespace {

class LowJitterProgramTest : public test::ProgramFixture {
 protected:
  static std::string Ask(const std::string& path) {
    return RootSpider->ExecCommandLine(":HEADER OFF;:" + path + "?", false);
  }
};

TEST_F(LowJitterProgramTest, DemoRunEndsWithF4DrawingTheCorrectedChannel1) {
  Start({"Default_Demo", "Div4"});
  EXPECT_EQ(LinkKind, TLinkKind::Demo);  // "Div4" names no instrument
  EXPECT_EQ(GetPrescalerFromCommandLine(), 4);

  RootSpider->ExecCommandLine("GSS:CH1 B;:GSS:CH2 A;:GSS:TRIGJITTER 20P;:TB:SCALEA 100P", false);
  RootSpider->ExecCommandLine("TRIG:LOWJITTER ON", false);
  EXPECT_EQ(Ask("TB:SCALEA"), "2 ns/div");
  for (int i = 0; i < 4000000 && !LowJitterState().RefSineObj; ++i) window().IdleStep();
  ASSERT_TRUE(LowJitterState().RefSineObj);
  EXPECT_EQ(Ask("TB:SCALEA") + Ask("F4:DISPLAY") + Ask("F4:OPERAT"), "100 ps/divONMMM");
  Acquire(2);
  EXPECT_TRUE(ScopeCRT->HasSignalLayer(TTraceId::F4));
  EXPECT_TRUE(dialogs_.shown.empty());
}

}  // namespace
}  // namespace norv
