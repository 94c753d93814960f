#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/errors.h"
#include "instrument/command_link.h"
#include "instrument/link_state.h"
#include "instrument/usb_device.h"
#include "instrument/usb_transport.h"
#include "support/fake_usb_pipe.h"

namespace norv {
namespace {

using test::FakeUsbPipe;

class UsbTransport : public ::testing::Test {
 protected:
  void SetUp() override {
    CommFailure = false;
    UsbMessageSink.Set([this](const std::string& text) { messages.push_back(text); });
  }
  void TearDown() override {
    CloseUSB();
    LinkKind = TLinkKind::None;
    PreCommandHook.Reset();
    UsbMessageSink.Reset();
    CommFailure = false;
  }

  static bool Send(std::string_view text) {
    return SendBufferToUSB(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  }
  static std::string ReadText(size_t length, int timeoutMs, bool* ok = nullptr) {
    std::vector<uint8_t> buffer(length);
    size_t got = 99;
    bool result = ReadBufferFromUSB(buffer.data(), buffer.size(), got, timeoutMs);
    if (ok) *ok = result;
    return std::string(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(got));
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
  EXPECT_TRUE(pipe.IsBound());
  EXPECT_FALSE(UsbDeviceOpened());
  EXPECT_EQ(messages.back().rfind("Cannot connect to device via USB.", 0), 0u) << messages.back();
  EXPECT_NE(messages.back().find("no such device"), std::string::npos);

  // The instrument has been plugged in meanwhile.
  pipe.FailOpen("");
  EXPECT_TRUE(OpenUSB());
  EXPECT_TRUE(UsbDeviceOpened());
}

TEST_F(UsbTransport, OpenThrowsAwayStaleDataWithoutRaisingAFailure) {
  pipe.QueueIn("stale reply\r\n");
  ASSERT_TRUE(OpenUSB());
  ASSERT_EQ(pipe.Reads().size(), 1u);
  EXPECT_EQ(pipe.Reads()[0].Pipe, 0x81);
  EXPECT_EQ(pipe.Reads()[0].Length, 65576u);
  EXPECT_EQ(pipe.Reads()[0].TimeoutMs, 50);
  EXPECT_EQ(pipe.PendingIn(), 0u);

  // On an idle pipe the drain times out, which is no failure.
  CloseUSB();
  CommFailure = false;
  ASSERT_TRUE(OpenUSB());
  EXPECT_FALSE(CommFailure);
  EXPECT_TRUE(messages.empty());
}

TEST_F(UsbTransport, SecondDeviceOpenIsAMisuse) {
  OpenUsbDevice();
  EXPECT_THROW(OpenUsbDevice(), EAssertion);
  EXPECT_FALSE(OpenUSB());
  EXPECT_TRUE(CommFailure);
  EXPECT_TRUE(UsbDeviceOpened());
}

TEST_F(UsbTransport, SendWritesTheCommandPipeAndReportsFailures) {
  ASSERT_TRUE(OpenUSB());
  CommFailure = true;
  EXPECT_TRUE(Send("ACQ:GO\r\n"));
  EXPECT_FALSE(CommFailure);  // one good transfer ends a failure state
  EXPECT_EQ(pipe.OutText(), "ACQ:GO\r\n");
  EXPECT_EQ(pipe.OutPipes(), std::vector<uint8_t>{0x02});

  pipe.FailWrites("pipe stalled");
  EXPECT_FALSE(Send("X\r\n"));
  EXPECT_TRUE(CommFailure);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "SendBufferToUSB() failed (pipe stalled)");

  // A device that stops taking data: the write gives up instead of hanging.
  pipe.FailWrites("");
  pipe.TimeOutWrites(true);
  EXPECT_FALSE(Send("X\r\n"));
  EXPECT_EQ(messages.back(), "SendBufferToUSB() failed (USB WritePipe Timeout (2000 ms))");
}

TEST_F(UsbTransport, TransfersOnAClosedDeviceFailQuietly) {
  EXPECT_FALSE(Send("X\r\n"));
  EXPECT_TRUE(CommFailure);
  bool ok = true;
  ReadText(10, 50, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_TRUE(pipe.OutBytes().empty());
}

TEST_F(UsbTransport, ReadTimesOutOnAnIdlePipe) {
  ASSERT_TRUE(OpenUSB());
  std::vector<uint8_t> buffer(16);
  try {
    ReadUsbPipe(0x81, buffer.data(), buffer.size(), 50);
    FAIL() << "no time-out";
  } catch (const EUsbTimeout& timeout) {
    std::string text = timeout.what();
    ASSERT_GE(text.size(), 6u);
    EXPECT_EQ(text.substr(text.size() - 6), "50 ms)");
  }

  bool ok = true;
  EXPECT_EQ(ReadText(16, 50, &ok), "");
  EXPECT_FALSE(ok);
  EXPECT_TRUE(CommFailure);
  EXPECT_EQ(messages.back(), "ReadBufferFromUSB() failed (USB ReadPipe Timeout (50 ms))");
}

TEST_F(UsbTransport, ReadGivesWhatArrivedAndClearsTheFailure) {
  ASSERT_TRUE(OpenUSB());
  pipe.QueueIn("12\r\n");
  pipe.QueueInTimeoutAfter("late");
  pipe.QueueIn("");
  pipe.QueueIn("abcdefgh");
  pipe.QueueInFailure("babble");
  CommFailure = true;
  bool ok = false;
  EXPECT_EQ(ReadText(384, 1000, &ok), "12\r\n");
  EXPECT_TRUE(ok);
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(pipe.Reads().back().Pipe, 0x81);
  EXPECT_EQ(pipe.Reads().back().TimeoutMs, 1000);
  // Bytes that came before the time ran out are kept, not lost.
  EXPECT_EQ(ReadText(384, 1000, &ok), "late");
  EXPECT_TRUE(ok);
  // A zero-length transfer is a good read of nothing.
  EXPECT_EQ(ReadText(384, 1000, &ok), "");
  EXPECT_TRUE(ok);
  // Never more than asked for.
  EXPECT_EQ(ReadText(5, 1000, &ok), "abcde");
  EXPECT_EQ(ReadText(5, 1000, &ok), "fgh");
  EXPECT_FALSE(CommFailure);
  EXPECT_EQ(ReadText(5, 1000, &ok), "");
  EXPECT_FALSE(ok);
  EXPECT_EQ(messages.back(), "ReadBufferFromUSB() failed (babble)");
}

TEST_F(UsbTransport, ProbeReopensTheDeviceAndAsksForTheFirmware) {
  ASSERT_TRUE(OpenUSB());
  LinkKind = TLinkKind::USB;
  int stops = 0;
  PreCommandHook.Set([&](bool) { ++stops; });
  pipe.OnWrite = [this](std::string_view) { pipe.QueueIn("1.07\r\n"); };
  EXPECT_TRUE(ProbeUSB());
  EXPECT_EQ(pipe.OpenCount(), 2);
  EXPECT_EQ(pipe.OutText(), "Info:GetVer:FPGAFW?\r\n");
  EXPECT_EQ(stops, 1);  // an ordinary command: a running record is stopped first
  EXPECT_EQ(pipe.Reads().back().Length, 255u);
  EXPECT_EQ(pipe.Reads().back().TimeoutMs, 50);

  // Silent instrument.
  pipe.OnWrite = nullptr;
  EXPECT_FALSE(ProbeUSB());
  EXPECT_TRUE(CommFailure);

  // Unplugged: nothing is sent.
  pipe.ClearOut();
  pipe.FailOpen("gone");
  EXPECT_FALSE(ProbeUSB());
  EXPECT_FALSE(UsbDeviceOpened());
  EXPECT_TRUE(pipe.OutBytes().empty());
}

TEST_F(UsbTransport, WaveBlocksAreLittleEndianWordsAndCarryAnOddByte) {
  ASSERT_TRUE(OpenUSB());
  std::vector<uint16_t> words(8200);
  size_t count = 99;
  pipe.QueueIn(std::vector<uint8_t>{0x34, 0x12, 0x01, 0x80, 0xFE});
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  EXPECT_EQ(pipe.Reads().back().Length, 16400u);
  EXPECT_EQ(pipe.Reads().back().TimeoutMs, 300);
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(words[0], 0x1234);
  EXPECT_EQ(words[1], 0x8001);

  // The kept 0xFE is the low byte of the next block's first word.
  pipe.QueueIn(std::vector<uint8_t>{0xFF, 0x00, 0x80});
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  ASSERT_EQ(count, 2u);
  EXPECT_EQ(words[0], 0xFFFE);
  EXPECT_EQ(words[1], 0x8000);

  // An empty block keeps the carry for the block after it.
  pipe.QueueIn(std::vector<uint8_t>{0x11});
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  EXPECT_EQ(count, 0u);
  pipe.QueueIn("");
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  EXPECT_EQ(count, 0u);
  pipe.QueueIn(std::vector<uint8_t>{0x22});
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(words[0], 0x2211);

  // A new record starts without it.
  pipe.QueueIn(std::vector<uint8_t>{0x33});
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  ClearUsbWaveCarry();
  pipe.QueueIn(std::vector<uint8_t>{0x00, 0x80});
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(words[0], 0x8000);

  pipe.QueueInTimeout();
  EXPECT_FALSE(ReadUsbWaveBlock(words, count));
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(CommFailure);
}

TEST_F(UsbTransport, AFullWaveBlockAfterACarryStaysInsideTheBuffer) {
  ASSERT_TRUE(OpenUSB());
  pipe.QueueIn(std::vector<uint8_t>{0x05});
  // A full block: the high byte of word 0, words 1..8199, and one byte to carry on.
  std::vector<uint8_t> block{0x00};
  for (int i = 1; i < 8200; ++i) {
    block.push_back(static_cast<uint8_t>(i & 0xFF));
    block.push_back(static_cast<uint8_t>(i >> 8));
  }
  block.push_back(0xAA);
  ASSERT_EQ(block.size(), 16400u);
  pipe.QueueIn(block);
  std::vector<uint16_t> words(8200);
  size_t count = 0;
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  ASSERT_EQ(count, 8200u);
  EXPECT_EQ(words[0], 0x0005);
  for (int i = 1; i < 8200; ++i) ASSERT_EQ(words[i], i) << i;
  pipe.QueueIn(std::vector<uint8_t>{0xBB});
  ASSERT_TRUE(ReadUsbWaveBlock(words, count));
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(words[0], 0xBBAA);

  // A smaller buffer limits the read itself.
  std::vector<uint16_t> small(4);
  pipe.QueueIn(std::vector<uint8_t>(20, 0x01));
  ASSERT_TRUE(ReadUsbWaveBlock(small, count));
  EXPECT_EQ(pipe.Reads().back().Length, 8u);
  EXPECT_LE(count, 4u);
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
