// What the network address dialog lets the user write into the instrument.

#include "instrument/startup/lan_addresses.h"

#include <gtest/gtest.h>

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
      {"192.168.1.20", "255.255.255.0", "192.168.2.1", Gateway},  // outside the subnet
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

}  // namespace
}  // namespace norv::test
