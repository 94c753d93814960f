// The MAC address text and its write into the instrument.

#include "instrument/startup/mac_address.h"

#include <gtest/gtest.h>

#include "framework/settings/program_objects.h"
#include "support/fake_dialogs.h"

namespace norv::test {
namespace {

TEST(MacAddressTest, TextsParseToSixBytes) {
  const TMacAddress expected{0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0xFE};
  for (const char* text : {"00-1A-2B-3C-4D-FE", "0 1a 2b 3c 4d fe", " 00-1A 2B-3C 4D  FE "}) {
    TMacAddress mac{};
    EXPECT_TRUE(ParseMacText(text, mac)) << text;
    EXPECT_EQ(mac, expected) << text;
  }
  for (const char* text : {"00-1A-2B-3C-4D", "00-1A-2B-3C-4D-FE-01", "00-1A-2B-3C-4D-100",
                           "00-1A-2B-3C-4D-GG", "00,1A,2B,3C,4D,FE", ""}) {
    TMacAddress mac{};
    EXPECT_FALSE(ParseMacText(text, mac)) << text;
  }
  EXPECT_EQ(FormatMacAddress(expected, true), "00-1A-2B-3C-4D-FE");
  EXPECT_EQ(FormatMacAddress(expected, false), "0 26 43 60 77 254");
}

TEST(MacAddressTest, TheNoticeFollowsOnlyAConfirmedWrite) {
  const TMacAddress odd{0x01, 2, 3, 4, 5, 6};
  FreshProgramState();
  EXPECT_EQ(
      MacWriteQuestion(odd).rfind("!!! The first byte of the MAC address must be even!\r\r\nYou must", 0),
      0u);
  EXPECT_EQ(MacWriteQuestion({2, 2, 3, 4, 5, 6}).rfind("You must", 0), 0u);

  struct Case {
    bool real;
    const char* reply;
    TMacWriteResult result;
    const char* shown;
  };
  const Case cases[] = {
      {true, "1 2 3 4 5 6", TMacWriteResult::Written,
       "[information] A new MAC Address will be activated after power off the Vexilor Norv"},
      {true, "1 2 3 4 5 7", TMacWriteResult::Failed, "[error] ERROR in Writing MAC Address into Unit"},
      {true, "", TMacWriteResult::Failed, "[error] ERROR in Writing MAC Address into Unit"},
      {false, "", TMacWriteResult::NoInstrument,
       "[warning] Nothing was written: no instrument is connected."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown);
    FakeDialogs dialogs;
    std::vector<std::string> sent;
    const auto query = [&](const std::string& line) {
      sent.push_back(line);
      return std::string(c.reply);
    };
    EXPECT_EQ(WriteMacAddress(odd, c.real, query), c.result);
    EXPECT_EQ(sent, c.real ? std::vector<std::string>{"Info:TCPIP:GETMAC? 1 2 3 4 5 6"}
                           : std::vector<std::string>{});
    EXPECT_EQ(dialogs.shown, std::vector<std::string>{c.shown});
  }
}

}  // namespace
}  // namespace norv::test
