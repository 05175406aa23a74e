#include <gtest/gtest.h>

#include <ostream>

#include "seatenrol/transport.h"

namespace {

struct IpCase {
  const char* text;
  int valid;
};

// Names each case by its text in the test list.
void PrintTo(const IpCase& c, std::ostream* out) { *out << (c.text ? c.text : "(null)"); }

class CheckStrIPTest : public ::testing::TestWithParam<IpCase> {};

TEST_P(CheckStrIPTest, AcceptsExactlyFourPlainDecimalParts) {
  const IpCase& c = GetParam();
  EXPECT_EQ(CSocketAddress::CheckStrIP(c.text) != 0, c.valid != 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CheckStrIPTest,
    ::testing::Values(IpCase{"127.0.0.1", 1}, IpCase{"0.0.0.0", 1}, IpCase{"255.255.255.255", 1},
                      IpCase{"192.168.1.10", 1}, IpCase{"10.0.100.9", 1},
                      // out of range or too many digits
                      IpCase{"256.0.0.1", 0}, IpCase{"1.2.3.300", 0}, IpCase{"1.2.3.1000", 0},
                      // octal and hex readings inet_addr would accept
                      IpCase{"010.0.0.1", 0}, IpCase{"1.2.3.00", 0}, IpCase{"0x7f.0.0.1", 0},
                      // wrong number of parts
                      IpCase{"127.1", 0}, IpCase{"1.2.3", 0}, IpCase{"1.2.3.4.5", 0},
                      IpCase{"2130706433", 0},
                      // empty parts, signs, spaces, trailing text
                      IpCase{"", 0}, IpCase{"1..3.4", 0}, IpCase{".1.2.3", 0}, IpCase{"1.2.3.", 0},
                      IpCase{"+1.2.3.4", 0}, IpCase{"1.-2.3.4", 0}, IpCase{" 1.2.3.4", 0},
                      IpCase{"1.2.3.4 ", 0}, IpCase{"1.2. 3.4", 0}, IpCase{"1.2.3.4x", 0},
                      IpCase{"localhost", 0}, IpCase{nullptr, 0}));

TEST(SocketAddressTest, RefusedValuesKeepTheOldOnes) {
  CSocketAddress address;
  ASSERT_NE(address.SetIP("10.1.2.3"), 0);
  ASSERT_NE(address.SetPort(65535), 0);
  for (const char* bad : {"10.1.2", "999.1.1.1", static_cast<const char*>(nullptr)}) {
    EXPECT_EQ(address.SetIP(bad), 0);
  }
  for (int bad : {0, -1, 65536}) EXPECT_EQ(address.SetPort(bad), 0) << bad;
  EXPECT_STREQ(address.GetIP(), "10.1.2.3");
  EXPECT_EQ(address.GetPort(), 65535);

  // A shorter address leaves nothing of the longer one behind.
  ASSERT_NE(address.SetIP("1.2.3.4"), 0);
  EXPECT_STREQ(address.GetIP(), "1.2.3.4");
}

}  // namespace
