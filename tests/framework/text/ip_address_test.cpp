#include "framework/text/ip_address.h"

#include <gtest/gtest.h>

namespace norv {
namespace {

using Octets = std::array<uint8_t, 4>;

TEST(IPv4Text, ReadsDotsAndBlanks) {
  TIPv4Addr addr;
  ASSERT_TRUE(StrToIPv4("192.168.0.1", addr));
  EXPECT_EQ(addr.Valid, 1);
  EXPECT_EQ(addr.Octets, (Octets{192, 168, 0, 1}));
  ASSERT_TRUE(StrToIPv4("  10 0  0. 255", addr));
  EXPECT_EQ(addr.Octets, (Octets{10, 0, 0, 255}));
  // Leading zeros are plain decimal.
  ASSERT_TRUE(StrToIPv4("010.001.000.009", addr));
  EXPECT_EQ(addr.Octets, (Octets{10, 1, 0, 9}));
}

TEST(IPv4Text, RefusesIncompleteOrOutOfRangeText) {
  TIPv4Addr addr;
  EXPECT_FALSE(StrToIPv4("10 0 0", addr));
  EXPECT_EQ(addr.Valid, 0);
  // The parts read before the failure stay, the rest are 255; the third part has no
  // blank after it, so it is not read.
  EXPECT_EQ(addr.Octets, (Octets{10, 0, 255, 255}));
  EXPECT_FALSE(StrToIPv4("1.2.3.4 ", addr));
  EXPECT_FALSE(StrToIPv4("", addr));
  EXPECT_FALSE(StrToIPv4("1.2.3.x", addr));
  EXPECT_FALSE(StrToIPv4("1.2.3.4.5", addr));
  EXPECT_FALSE(StrToIPv4("256.1.1.1", addr));
  EXPECT_EQ(addr.Octets, (Octets{255, 255, 255, 255}));
  EXPECT_FALSE(StrToIPv4("1.2.3.-1", addr));
  EXPECT_FALSE(StrToIPv4("1.2.3.99999999999999999999", addr));
  EXPECT_EQ(addr.Valid, 0);
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
