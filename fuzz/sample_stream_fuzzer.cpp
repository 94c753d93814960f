// The sample stream as the acquisition cycle reads it from an instrument, with the
// program's settings nodes as registered once an instrument was found (so the channels
// read the stream, not the simulator), on the USB link or over TCP (one input in a share
// and every regression input take both; the others one, chosen by the input's last
// byte). Input: one command line that sets up the acquisition (modes, record lengths,
// channels), LF, then the stream in parts, each a 16-bit little-endian length and that
// many bytes: one USB transfer each, or over TCP the part sent after "ACQ:GO" and after
// each continuation request. The cycle runs until the instrument has sent every part,
// then a few passes more while time goes by (the stream then fails and the link
// recovers). Every point the cycle hands to a trace layer must lie inside the record it
// scaled.

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "framework/settings/settings_tree.h"
#include "framework/text/ip_address.h"
#include "framework/util/numeric_utils.h"
#include "instrument/acquisition/acquisition_cycle.h"
#include "instrument/acquisition/acquisition_hooks.h"
#include "instrument/link/command_link.h"
#include "instrument/link/instrument_identity.h"
#include "instrument/link/link_hooks.h"
#include "instrument/link/sample_stream.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"
#include "support/fuzz_program.h"
#include "support/loopback_instrument.h"

using namespace norv;

namespace {

constexpr int kStepsAfterStream = 8;
constexpr size_t kBothLinksShare = 16;
// What a connected instrument answers to the identity questions.
const std::vector<std::string_view> kIdentityReplies{"1 255 251 9 1234\r\n", "1 255 251 9 1234\r\n",
                                                     "3.9.4 (20 Jan 2020)\r\n", "7\r\n"};

class TCheckingLayer final : public IAcqLayer {
 public:
  void SetSignalScale(int pointCount, double, double) override { count_ = pointCount; }
  void PutSample(int index, double) override {
    if (index >= 0 && index < count_) return;
    fuzz::Require(false, "the cycle puts every point inside the record it scaled",
                  "point " + std::to_string(index) + " of " + std::to_string(count_));
  }

 private:
  int count_ = 0;
};

std::vector<std::string_view> Parts(std::string_view stream) {
  std::vector<std::string_view> parts;
  while (stream.size() >= 2) {
    const size_t length =
        static_cast<uint8_t>(stream[0]) | static_cast<size_t>(static_cast<uint8_t>(stream[1])) << 8;
    stream.remove_prefix(2);
    parts.push_back(stream.substr(0, length));
    stream.remove_prefix(std::min(length, stream.size()));
  }
  return parts;
}

fuzz::TLoopbackInstrument& LanInstrument() {
  static fuzz::TLoopbackInstrument instrument;
  return instrument;
}

void Session(bool overTcp, std::string_view setup, const std::vector<std::string_view>& parts) {
  fuzz::ClearProgramHome();
  fuzz::UseRegisteredTree(true);
  fuzz::ResetRecords();
  ProgramRandom().SetSeed(3);
  test::FakeClock fake;
  fuzz::TServingClock clock(fake, LanInstrument());
  SetProgramClock(clock);
  TCheckingLayer layer;
  AcqHooks.TraceLayer.Set([&](TTraceId, TAcqLayerKind) { return &layer; });
  try {
    RootSpider->ExecCommandLine(setup, false);
  } catch (const std::runtime_error&) {
  }

  std::optional<test::FakeUsbPipe> pipe;
  size_t nextReply = 0;
  bool connected = false;
  if (overTcp) {
    LanInstrument().Start(kIdentityReplies, parts);
    TIPv4Addr loopback;
    StrToIPv4("127.0.0.1", loopback);
    connected = ConnectInstrument(false, loopback, LanInstrument().Port());
  } else {
    // The identity first; the parts are queued after it, so later questions get stream
    // bytes for an answer.
    pipe.emplace();
    pipe->OnWrite = [&](std::string_view bytes) {
      if (bytes.find('?') != std::string_view::npos && nextReply < kIdentityReplies.size())
        pipe->QueueIn(kIdentityReplies[nextReply++]);
    };
    connected = ConnectInstrument(true, TIPv4Addr{});
  }
  if (connected) {
    ReadIndivData();
    if (pipe) {
      pipe->OnWrite = nullptr;
      for (std::string_view part : parts) pipe->QueueIn(part);
    }
    const auto partsLeft = [&] { return pipe ? pipe->PendingIn() : LanInstrument().PartsLeft(); };

    TAcquisitionCycle& cycle = CreateAcquisitionCycle(clock, fake);
    GuiReady = true;
    RunFlag = true;
    const size_t stepLimit = 4 * parts.size() + 64;
    int stepsAfter = 0;
    try {
      for (size_t step = 0; step < stepLimit && stepsAfter < kStepsAfterStream; ++step) {
        LanInstrument().Service();
        if (partsLeft() == 0) {
          ++stepsAfter;
          fake.Advance(1000);
        }
        cycle.AcquisitionIdleStep();
      }
      RunFlag = false;
      BreakAcquisition(true);
      cycle.AcquisitionIdleStep();
    } catch (const std::runtime_error&) {
    }
    DestroyAcquisitionCycle();
  }
  DisconnectInstrument(true);
  LanInstrument().Close();
  AcqHooks.TraceLayer.Reset();
  SetProgramClock(SystemClock());  // the clocks above end here
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::SetUpProgramHome();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const std::string_view input = fuzz::AsText(data, size);
  const size_t lineEnd = std::min(input.find('\n'), input.size());
  const std::string_view setup = input.substr(0, lineEnd);
  const std::vector<std::string_view> parts = Parts(input.substr(std::min(lineEnd + 1, input.size())));
  const bool both = fuzz::InSample(input, kBothLinksShare, NORV_FUZZ_REGRESSIONS);
  const bool overTcp = size > 0 && (data[size - 1] & 1) != 0;
  if (both || !overTcp) Session(false, setup, parts);
  if (both || overTcp) Session(true, setup, parts);
  fuzz::PutBackRegisteredTree();
  return 0;
}
