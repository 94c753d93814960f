// The sample stream as the acquisition cycle reads it from an instrument on the USB link,
// with the program's settings nodes. Input: one command line that sets up the
// acquisition (modes, record lengths, channels), LF, then the stream's USB transfers,
// each a 16-bit little-endian length and that many bytes. The cycle runs until every
// transfer has been read, then a few passes more (the link then fails and recovers).
// Every point the cycle hands to a trace layer must lie inside the record it scaled.

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "framework/numeric_utils.h"
#include "framework/settings_tree.h"
#include "instrument/acquisition_cycle.h"
#include "instrument/acquisition_hooks.h"
#include "instrument/command_link.h"
#include "instrument/instrument_identity.h"
#include "instrument/link_hooks.h"
#include "instrument/sample_stream.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"
#include "support/fuzz_program.h"

using namespace norv;

namespace {

constexpr int kStepsAfterStream = 8;

class TCheckingLayer final : public IAcqLayer {
 public:
  void SetSignalScale(int pointCount, double, double) override { count_ = pointCount; }
  void PutSample(int index, double) override {
    fuzz::Require(index >= 0 && index < count_, "the cycle puts every point inside the record it scaled",
                  "point " + std::to_string(index) + " of " + std::to_string(count_));
  }

 private:
  int count_ = 0;
};

std::vector<std::string_view> Transfers(std::string_view stream) {
  std::vector<std::string_view> transfers;
  while (stream.size() >= 2) {
    const size_t length =
        static_cast<uint8_t>(stream[0]) | static_cast<size_t>(static_cast<uint8_t>(stream[1])) << 8;
    stream.remove_prefix(2);
    transfers.push_back(stream.substr(0, length));
    stream.remove_prefix(std::min(length, stream.size()));
  }
  return transfers;
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

  fuzz::ClearProgramHome();
  fuzz::ResetProgramState();
  fuzz::ResetRecords();
  ProgramRandom().SetSeed(3);
  fuzz::CreateRegisteredTree();
  test::FakeClock clock;
  SetProgramClock(clock);
  test::FakeUsbPipe pipe;
  // The identity of a connected instrument; later questions are answered by the stream.
  pipe.OnWrite = [&](std::string_view bytes) {
    if (bytes.starts_with(IndivDataQuery)) {
      pipe.QueueIn("1 255 251 9 1234\r\n");
    } else if (bytes.find('?') != std::string_view::npos) {
      pipe.QueueIn("3.9.4 (20 Jan 2020)\r\n");
    }
  };
  TCheckingLayer layer;
  AcqHooks.TraceLayer.Set([&](TTraceId, TAcqLayerKind) { return &layer; });

  try {
    RootSpider->ExecCommandLine(input.substr(0, lineEnd), false);
  } catch (const std::runtime_error&) {
  }
  if (!ConnectInstrument(true, TIPv4Addr{})) return 0;
  ReadIndivData();
  pipe.OnWrite = nullptr;
  const std::vector<std::string_view> transfers =
      Transfers(input.substr(std::min(lineEnd + 1, input.size())));
  for (std::string_view transfer : transfers) pipe.QueueIn(transfer);

  TAcquisitionCycle& cycle = CreateAcquisitionCycle(clock, clock);
  GuiReady = true;
  RunFlag = true;
  const size_t stepLimit = 4 * transfers.size() + 64;
  int stepsAfter = 0;
  try {
    for (size_t step = 0; step < stepLimit && stepsAfter < kStepsAfterStream; ++step) {
      if (pipe.PendingIn() == 0) ++stepsAfter;
      cycle.AcquisitionIdleStep();
    }
    RunFlag = false;
    BreakAcquisition(true);
    cycle.AcquisitionIdleStep();
  } catch (const std::runtime_error&) {
  }
  DestroyAcquisitionCycle();
  DisconnectInstrument(true);
  return 0;
}
