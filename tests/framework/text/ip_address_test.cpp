#include "framework/text/ip_address.h"

#include <gtest/gtest.h>

namespace norv {
namespace {

using Octets = std::array<uint8_t, 4>;

TEST(IPv4Text, ReadsDotsAndBlanksAndRefusesTheRest) {
  struct Case {
    const char* text;
    bool valid;
    Octets octets;  // parts read before a failure stay, the rest are 255
  };
  const Case cases[] = {
      {"192.168.0.1", true, {192, 168, 0, 1}},    {"  10 0  0. 255", true, {10, 0, 0, 255}},
      {"010.001.000.009", true, {10, 1, 0, 9}},  // leading zeros are plain decimal
      {"10 0 0", false, {10, 0, 255, 255}},      // the third part has no blank after it
      {"256.1.1.1", false, {255, 255, 255, 255}},
  };
  for (const Case& c : cases) {
    TIPv4Addr addr;
    EXPECT_EQ(StrToIPv4(c.text, addr), c.valid) << c.text;
    EXPECT_EQ(addr.Valid, c.valid ? 1 : 0) << c.text;
    EXPECT_EQ(addr.Octets, c.octets) << c.text;
  }
  for (const char* text :
       {"1.2.3.4 ", "", "1.2.3.x", "1.2.3.4.5", "1.2.3.-1", "1.2.3.99999999999999999999"}) {
    TIPv4Addr addr;
    EXPECT_FALSE(StrToIPv4(text, addr)) << text;
    EXPECT_EQ(addr.Valid, 0) << text;
  }
}

TEST(IPv4Text, WritesEachStyle) {
  TIPv4Addr addr;
  ASSERT_TRUE(StrToIPv4("192.168.0.1", addr));
  EXPECT_EQ(IPv4ToStr(addr, 0), "192 168 0 1");
  EXPECT_EQ(IPv4ToStr(addr, 7), "192.168.0.1");
  EXPECT_EQ(IPv4ToStr(addr, 1), "  192 . 168 . 0 . 1");
  EXPECT_EQ(IPv4ToDottedStr(addr), "192.168.0.1");
  TIPv4Addr invalid{0, {1, 2, 3, 4}};
  EXPECT_EQ(IPv4ToStr(invalid, 1), "___ . ___ . ___ . ___");
  EXPECT_EQ(IPv4ToDottedStr(invalid), "???.???.???.???");

  TIPv4Addr same;
  ASSERT_TRUE(StrToIPv4(IPv4ToStr(addr, 1), same));
  EXPECT_TRUE(SameIPv4(addr, same));
  same.Octets[3] = 2;
  EXPECT_FALSE(SameIPv4(addr, same));
  EXPECT_FALSE(SameIPv4(invalid, invalid));
}

}  // namespace
}  // namespace norv
