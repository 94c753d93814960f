#include "instrument/link/transport/usb_transport.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "framework/util/clock.h"
#include "framework/util/errors.h"
#include "instrument/link/command_link.h"
#include "instrument/link/link_state.h"
#include "instrument/link/sample_stream.h"
#include "instrument/link/transport/usb_device.h"
#include "instrument/link_fixture.h"
#include "support/fake_clock.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

using test::FakeUsbPipe;
using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;
using TRead = std::pair<std::string, bool>;

class UsbTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshProgramState();
    UsbMessageSink.Set([this](const std::string& text) { messages.push_back(text); });
  }
  void TearDown() override {
    FreshProgramState();
    CloseUSB();
  }

  static bool Send(std::string_view text) {
    return SendBufferToUSB(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  // One read of at most length bytes: what arrived, and whether the read succeeded.
  static TRead Read(size_t length) {
    std::vector<uint8_t> buffer(length);
    size_t got = 99;
    const bool ok = ReadBufferFromUSB(buffer.data(), buffer.size(), got, 1000);
    return {std::string(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(got)), ok};
  }
  // Queues the bytes as one block and reads it as stream words into a buffer of
  // capacity words.
  Words WaveBlock(Bytes bytes, size_t capacity = SampleBufferWords) {
    pipe.QueueIn(std::move(bytes));
    Words words(capacity);
    size_t count = 99;
    EXPECT_TRUE(ReadUsbWaveBlock(words, count));
    words.resize(count);
    return words;
  }

  FakeUsbPipe pipe;
  std::vector<std::string> messages;
};

TEST_F(UsbTransport, OpenFailuresGiveFalseAndCommFailureAndCanBeRetried) {
  pipe.FailBind("no usbfs");
  EXPECT_FALSE(OpenUSB());
  EXPECT_TRUE(CommFailure);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].rfind("Error loading libusb-1.0.", 0), 0u) << messages[0];
  EXPECT_NE(messages[0].find("no usbfs"), std::string::npos);

  pipe.FailBind("");
  pipe.FailOpen("no such device");
  EXPECT_FALSE(OpenUSB());
  EXPECT_TRUE(pipe.IsBound() && !UsbDeviceOpened());
  EXPECT_EQ(messages.back().rfind("Cannot connect to device via USB.", 0), 0u) << messages.back();
  EXPECT_NE(messages.back().find("no such device"), std::string::npos);

  // The instrument has been plugged in meanwhile: its stale data is thrown away in one
  // read, and a second open is a misuse.
  pipe.FailOpen("");
  pipe.QueueIn("stale reply\r\n");
  EXPECT_TRUE(OpenUSB());
  EXPECT_EQ(std::tuple(pipe.Reads().size(), pipe.PendingIn()), std::tuple(1u, 0u));
  EXPECT_THROW(OpenUsbDevice(), EAssertion);
  EXPECT_FALSE(OpenUSB());
  EXPECT_TRUE(UsbDeviceOpened());

  // On an idle pipe the drain times out, which is no failure.
  CloseUSB();
  CommFailure = false;
  const size_t reported = messages.size();
  ASSERT_TRUE(OpenUSB());
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(messages.size(), reported);
}

TEST_F(UsbTransport, SendWritesTheCommandPipeAndReportsFailures) {
  EXPECT_FALSE(Send("X\r\n"));  // no device open
  EXPECT_TRUE(CommFailure);
  ASSERT_TRUE(OpenUSB());
  EXPECT_TRUE(Send("ACQ:GO\r\n"));
  EXPECT_FALSE(CommFailure);  // one good transfer ends a failure state
  EXPECT_EQ(pipe.OutText(), "ACQ:GO\r\n");
  EXPECT_EQ(pipe.OutPipes(), std::vector<uint8_t>{0x02});

  pipe.FailWrites("pipe stalled");
  EXPECT_FALSE(Send("X\r\n"));
  EXPECT_TRUE(CommFailure);
  EXPECT_EQ(messages.back(), "SendBufferToUSB() failed (pipe stalled)");

  // A device that stops taking data: the write gives up instead of hanging.
  pipe.FailWrites("");
  pipe.TimeOutWrites(true);
  EXPECT_FALSE(Send("X\r\n"));
  EXPECT_EQ(messages.back(), "SendBufferToUSB() failed (USB WritePipe Timeout (2000 ms))");
  EXPECT_EQ(pipe.OutText(), "ACQ:GO\r\n");
}

TEST_F(UsbTransport, ReadGivesWhatArrivedAndFailsOnATimeOut) {
  EXPECT_FALSE(Read(10).second);  // no device open
  ASSERT_TRUE(OpenUSB());
  pipe.QueueIn("12\r\n");
  pipe.QueueInTimeoutAfter("late");
  pipe.QueueIn("");
  pipe.QueueIn("abcdefgh");
  pipe.QueueInFailure("babble");
  CommFailure = true;
  EXPECT_EQ(Read(384), (TRead{"12\r\n", true}));
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(pipe.Reads().back().Pipe, 0x81);
  // Bytes that came before the time ran out are kept, not lost.
  EXPECT_EQ(Read(384), (TRead{"late", true}));
  // A zero-length transfer is a good read of nothing.
  EXPECT_EQ(Read(384), (TRead{"", true}));
  // Never more than asked for.
  EXPECT_EQ(Read(5), (TRead{"abcde", true}));
  EXPECT_EQ(Read(5), (TRead{"fgh", true}));
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(Read(5), (TRead{"", false}));
  EXPECT_EQ(messages.back(), "ReadBufferFromUSB() failed (babble)");

  // Nothing at all in time: the device layer raises, the link layer reports.
  std::vector<uint8_t> buffer(16);
  EXPECT_THROW(ReadUsbPipe(UsbInPipe, buffer.data(), buffer.size(), 50), EUsbTimeout);
  EXPECT_EQ(Read(16), (TRead{"", false}));
  EXPECT_TRUE(CommFailure);
  EXPECT_EQ(messages.back(), "ReadBufferFromUSB() failed (USB ReadPipe Timeout (1000 ms))");
}

TEST_F(UsbTransport, ProbeReopensTheDeviceAndAsksForTheFirmware) {
  ASSERT_TRUE(test::ConnectUsb(pipe));
  pipe.ClearOut();
  int stops = 0;
  PreCommandHook.Set([&](bool) { ++stops; });
  pipe.OnWrite = [this](std::string_view) { pipe.QueueIn("1.07\r\n"); };
  EXPECT_TRUE(ProbeUSB());
  EXPECT_EQ(
      std::tuple(pipe.OpenCount(), pipe.OutText(), pipe.Reads().back().Length, pipe.Reads().back().TimeoutMs),
      std::tuple(2, "Info:GetVer:FPGAFW?\r\n", 255u, 50));
  EXPECT_EQ(stops, 1);  // an ordinary command: a running record is stopped first

  pipe.OnWrite = nullptr;  // silent instrument
  EXPECT_FALSE(ProbeUSB());
  EXPECT_TRUE(CommFailure);

  pipe.ClearOut();
  pipe.FailOpen("gone");  // unplugged: nothing is sent
  EXPECT_FALSE(ProbeUSB());
  EXPECT_FALSE(UsbDeviceOpened());
  EXPECT_TRUE(pipe.OutBytes().empty());
}

TEST_F(UsbTransport, WhileTheInstrumentIsAwayLinkAliveProbesAboutOnceASecond) {
  test::FakeClock clock;
  SetProgramClock(clock);
  ASSERT_TRUE(test::ConnectUsb(pipe));
  UsbMessageSink.Set([this](const std::string& text) { messages.push_back(text); });
  pipe.OnWrite = nullptr;  // the instrument stops answering
  // Idle passes 100 ms apart for 3 s: the first probes, then one pass a second; the
  // others leave the device alone.
  std::vector<int> probed;
  for (int pass = 0; pass < 30; ++pass) {
    const int opens = pipe.OpenCount();
    const size_t reads = pipe.Reads().size();
    pipe.ClearOut();
    EXPECT_FALSE(LinkAlive());
    const bool touched =
        pipe.OpenCount() != opens || pipe.Reads().size() != reads || !pipe.OutBytes().empty();
    if (touched) probed.push_back(pass);
    clock.Advance(100);
  }
  EXPECT_EQ(probed, (std::vector<int>{0, 10, 20}));

  // Unplugged: the probes that are due fail at the open, the others wait as before.
  pipe.FailOpen("gone");
  EXPECT_FALSE(LinkAlive());
  const size_t reported = messages.size();
  clock.Advance(900);
  EXPECT_FALSE(LinkAlive());
  EXPECT_EQ(messages.size(), reported);
  clock.Advance(100);
  EXPECT_FALSE(LinkAlive());
  EXPECT_EQ(messages.size(), reported + 1);

  // Back and answering: the first probe that is due finds it, and while it answers every
  // pass probes.
  pipe.FailOpen("");
  pipe.OnWrite = [this](std::string_view) { pipe.QueueIn("1.07\r\n"); };
  clock.Advance(999);
  EXPECT_FALSE(LinkAlive());
  EXPECT_FALSE(pipe.IsOpen());
  clock.Advance(1);
  EXPECT_TRUE(LinkAlive());
  const int opens = pipe.OpenCount();
  EXPECT_TRUE(LinkAlive());
  EXPECT_EQ(pipe.OpenCount(), opens + 1);
}

TEST_F(UsbTransport, WaveBlocksAreLittleEndianWordsAndCarryAnOddByte) {
  ASSERT_TRUE(OpenUSB());
  EXPECT_EQ(WaveBlock({0x34, 0x12, 0x01, 0x80, 0xFE}), (Words{0x1234, 0x8001}));
  EXPECT_EQ(pipe.Reads().back().Length, 16400u);
  EXPECT_EQ(pipe.Reads().back().TimeoutMs, 300);
  // The kept 0xFE is the low byte of the next block's first word.
  EXPECT_EQ(WaveBlock({0xFF, 0x00, 0x80}), (Words{0xFFFE, 0x8000}));
  // An empty block keeps the carry for the block after it.
  EXPECT_EQ(WaveBlock({0x11}), Words{});
  EXPECT_EQ(WaveBlock({}), Words{});
  EXPECT_EQ(WaveBlock({0x22}), Words{0x2211});
  // A new record starts without it.
  EXPECT_EQ(WaveBlock({0x33}), Words{});
  ClearUsbWaveCarry();
  EXPECT_EQ(WaveBlock({0x00, 0x80}), Words{0x8000});

  // A full block after a carry: the high byte of word 0, words 1..8199, and one byte to
  // carry on, all inside the buffer.
  Bytes block{0x00};
  Words expected{0x0005};
  for (uint16_t i = 1; i < SampleBufferWords; ++i) {
    block.insert(block.end(), {static_cast<uint8_t>(i & 0xFF), static_cast<uint8_t>(i >> 8)});
    expected.push_back(i);
  }
  block.push_back(0xAA);
  ASSERT_EQ(block.size(), UsbWaveBlockBytes);
  WaveBlock({0x05});
  EXPECT_EQ(WaveBlock(block), expected);
  EXPECT_EQ(WaveBlock({0xBB}), Words{0xBBAA});

  // A smaller buffer limits the read itself.
  EXPECT_EQ(WaveBlock(Bytes(8, 0x01), 4), Words(4, 0x0101));
  EXPECT_EQ(pipe.Reads().back().Length, 8u);

  pipe.QueueInTimeout();
  Words words(4);
  size_t count = 99;
  EXPECT_FALSE(ReadUsbWaveBlock(words, count));
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(CommFailure);
}

TEST(UsbLibusb, OpeningWithoutAnInstrumentGivesFalseWithoutException) {
  CommFailure = false;
  SetUsbPipes(nullptr);
  bool opened = true;
  EXPECT_NO_THROW(opened = OpenUSB());
  EXPECT_FALSE(opened);
  EXPECT_TRUE(CommFailure);
  CloseUSB();
  CommFailure = false;
}

}  // namespace
}  // namespace norv
