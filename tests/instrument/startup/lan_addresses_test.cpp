// What the network address dialog lets the user write into the instrument.

#include "instrument/startup/lan_addresses.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "framework/settings/program_objects.h"
#include "support/fake_dialogs.h"

namespace norv::test {
namespace {

TEST(LanAddressesTest, RefusesAddressesThatCannotWork) {
  using enum TLanInputError;
  struct Case {
    const char *ip, *mask, *gateway;
    TLanInputError expected;
  };
  const Case cases[] = {
      {"192.168.1.20", "255.255.255.0", "192.168.1.1", None},
      {"192 168 1 20", "255 255 255 0", "0.0.0.0", None},  // blanks as dots; no gateway
      {"10.1.2.3", "255.0.0.0", "10.0.0.1", None},
      {"192.168.1", "255.255.255.0", "192.168.1.1", Address},
      {"0.0.0.0", "255.255.255.0", "192.168.1.1", Address},
      {"255.255.255.255", "255.255.255.0", "192.168.1.1", Address},
      {"192.168.1.255", "255.255.255.0", "192.168.1.1", Address},  // subnet broadcast
      {"192.168.1.0", "255.255.255.0", "192.168.1.1", Address},    // network address
      {"192.168.1.20", "255.0.255.0", "192.168.1.1", Mask},        // not contiguous
      {"192.168.1.20", "255.255.255.1", "192.168.1.1", Mask},
      {"192.168.1.20", "0.0.0.0", "192.168.1.1", Mask},
      {"192.168.1.20", "255.255.255.0", "192.168.1.256", Gateway},
      {"192.168.1.20", "255.255.255.0", "192.168.1.255", Gateway},
      {"192.168.1.20", "255.255.255.0", "192.168.2.1", Gateway},   // outside the subnet
      {"192.168.1.20", "255.255.255.0", "192.168.1.20", Gateway},  // the instrument itself
  };
  for (const Case& c : cases) {
    TIPv4Addr ip, mask, gateway;
    EXPECT_EQ(CheckLanInput(c.ip, c.mask, c.gateway, ip, mask, gateway), c.expected)
        << c.ip << " / " << c.mask << " / " << c.gateway;
  }
  TIPv4Addr ip, mask, gateway;
  ASSERT_EQ(CheckLanInput("10.1.2.3", "255.0.0.0", "10.0.0.1", ip, mask, gateway), None);
  EXPECT_EQ(IPv4ToDottedStr(mask), "255.0.0.0");

  // The read-back compares values, whichever separators the instrument answers with.
  EXPECT_TRUE(ReadBackMatches("10 1 2 3", ip));
  EXPECT_TRUE(ReadBackMatches("10.1.2.3", ip));
  EXPECT_FALSE(ReadBackMatches("10.1.2.4", ip));
  EXPECT_FALSE(ReadBackMatches("", ip));
}

TEST(LanAddressesTest, SuccessIsReportedOnlyForWhatTheInstrumentConfirmed) {
  using enum TLanStoreResult;
  struct Case {
    const char* what;
    bool real, overLan;
    const char* gatewayReply;  // what the instrument answers to the gateway write
    const char* ip;
    TLanStoreResult result;
    size_t sent;
    std::string lastShown;
  };
  const std::string success =
      "[information] New TCP/IP properties successfully stored into the Vexilor Norv!";
  const Case cases[] = {
      {"confirmed in dotted form", true, false, "10.0.0.1", "10.0.0.5", Stored, 6, success},
      {"gateway not taken", true, false, "10.0.0.2", "10.0.0.5", WriteFailed, 1,
       "[error] ERROR in Writing Gateway into Unit"},
      {"no instrument", false, false, "", "10.0.0.5", Cancelled, 0,
       "[warning] Nothing was stored: no instrument is connected."},
      {"over the link itself", true, true, "10.0.0.1", "10.0.0.5", LinkDrops, 3,
       "[warning] The instrument now uses the address 10.0.0.5; the link to it drops. Connect again at the "
       "new "
       "address."},
      {"same address over the link", true, true, "10.0.0.1", "10.0.0.4", Stored, 6, success},
      {"three numbers", true, false, "", "10.0.0", Refused, 0, "[error] incorrect IP Address format"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FreshProgramState();
    FakeDialogs dialogs;
    dialogs.answers = {TAnswer::OK};
    StrToIPv4("10.0.0.4", LanAddressState.InstrumentMyIP);
    std::vector<std::string> sent;
    TLanPort port{c.real, c.overLan, [&](const std::string& line) -> std::string {
                    sent.push_back(line);
                    if (line.starts_with("Info:TCPIP:Gateway? ")) return c.gatewayReply;
                    const size_t blank = line.find(' ');
                    if (blank == std::string::npos) return "10 0 0 9";  // a query
                    TIPv4Addr value;
                    StrToIPv4(line.substr(blank + 1), value);
                    return IPv4ToDottedStr(value);
                  }};
    EXPECT_EQ(StoreLanAddresses(c.ip, "255.255.255.0", "10.0.0.1", port), c.result);
    EXPECT_EQ(sent.size(), c.sent);
    if (!sent.empty()) {
      EXPECT_EQ(sent[0], "Info:TCPIP:Gateway? 10 0 0 1");
    }
    ASSERT_FALSE(dialogs.shown.empty());
    EXPECT_EQ(dialogs.shown.back(), c.lastShown);
    EXPECT_EQ(std::count(dialogs.shown.begin(), dialogs.shown.end(), success), c.result == Stored ? 1 : 0);
  }
  FreshProgramState();
}

}  // namespace
}  // namespace norv::test
