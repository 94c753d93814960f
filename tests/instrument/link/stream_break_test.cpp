// A stop that comes after the record's end word has been read.

#include <gtest/gtest.h>

#include <span>
#include <string>
#include <vector>

#include "framework/util/clock.h"
#include "instrument/link/command_link.h"
#include "instrument/link/sample_stream.h"
#include "instrument/link_fixture.h"

namespace norv::test {
namespace {

TEST_F(LinkTest, AStopAfterTheEndWordWasReadWaitsForNoOther) {
  Connect();
  instrument.SetRecord({1, 2, 3}, 64);
  StartAcquisition(ReadKindBoth, 512, 1, 0.0, true);
  std::span<const uint16_t> words;
  // The whole record, read as the cycle reads it (a few seconds at most).
  for (int pass = 0; pass < 5000; ++pass) {
    std::span<const uint16_t> block;
    ASSERT_TRUE(GetWaveData(block));
    if (!block.empty()) words = block;
    if (!words.empty() && words.back() == EndOfRecordWord) break;
    if (block.empty()) SystemClock().SleepMs(1);
  }
  ASSERT_FALSE(words.empty());
  ASSERT_EQ(words.back(), EndOfRecordWord);

  SendCommand("Acq:RecLen 1024", false);  // stops the record, which is over already
  EXPECT_FALSE(Acquiring);
  EXPECT_FALSE(CommFailure);
  EXPECT_TRUE(instrument.WaitForCommands(3));
  EXPECT_EQ(instrument.Commands(), (std::vector<std::string>{"ACQ:GO", "ACQ:BREAK", "Acq:RecLen 1024"}));
}

}  // namespace
}  // namespace norv::test
