#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_host.h"
#include "hostinfo/host_identity.h"

namespace seatenrol {
namespace {

using testing_support::Adapter;
using testing_support::Entry;
using testing_support::FakeHost;
using Bytes = std::vector<unsigned char>;

// A seat whose card meets the rule, with the host name's list elsewhere.
FakeHost MatchingSeat() {
  FakeHost host;
  host.adapters = {Adapter("eth0", {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E},
                           {{"192.168.1.10", "255.255.255.0"}}, {"192.168.1.1"})};
  host.physical = {"eth0"};
  host.entry = Entry({"127.0.0.1", "192.168.1.10"});
  return host;
}

// A seat whose only card is virtual: everything comes from the host name.
FakeHost VirtualSeat() {
  FakeHost host = MatchingSeat();
  host.physical.clear();
  host.entry = Entry({"10.20.30.40"});
  return host;
}

// A seat whose host name resolves to an entry that lists no address.
FakeHost NoAddressSeat() {
  FakeHost host = MatchingSeat();
  host.entry = HostEntry{};
  return host;
}

TEST(SystemIP, ComesFromTheAdapterElseTheHostNameAndIsCached) {
  FakeHost matching = MatchingSeat();
  CHostIdentity fromAdapter;
  ASSERT_NE(fromAdapter.GetSystemIP(matching.System()), nullptr);
  EXPECT_STREQ(fromAdapter.IPText(), "192.168.1.10");
  const int callsAfterFirst = matching.calls;
  EXPECT_STREQ(fromAdapter.GetSystemIP(matching.System()), "192.168.1.10");
  EXPECT_EQ(matching.calls, callsAfterFirst);

  FakeHost virtualOnly = VirtualSeat();
  CHostIdentity fromName;
  EXPECT_STREQ(fromName.GetSystemIP(virtualOnly.System()), "10.20.30.40");

  // A passing address without a gateway in its subnet is never used as the IP.
  FakeHost noGateway = MatchingSeat();
  noGateway.adapters[0].gateways = {"10.0.0.1"};
  noGateway.entry = Entry({"10.20.30.40", "192.168.1.10"});
  CHostIdentity fallback;
  EXPECT_STREQ(fallback.GetSystemIP(noGateway.System()), "10.20.30.40");
  EXPECT_EQ(Bytes(fallback.Mac(), fallback.Mac() + 6), Bytes(6, 0));
}

TEST(SystemIP, NullWhenNothingIsFoundAndTriesAgainLater) {
  FakeHost host = VirtualSeat();
  host.resolves = false;
  CHostIdentity identity;
  EXPECT_EQ(identity.GetSystemIP(host.System()), nullptr);
  EXPECT_STREQ(identity.IPText(), "");
  host.resolves = true;
  EXPECT_STREQ(identity.GetSystemIP(host.System()), "10.20.30.40");
}

TEST(SystemMac, AdapterBytesElseTheHostAddressBytes) {
  struct {
    const char* what;
    FakeHost host;
    int result;
    Bytes out;
  } cases[] = {
      {"matching card", MatchingSeat(), 1, {0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xEE, 0xEE}},
      // Byte 4 is cleared, byte 5 keeps what the caller had there.
      {"virtual card", VirtualSeat(), 1, {10, 20, 30, 40, 0, 0xEE, 0xEE, 0xEE}},
      // The card's address is not among the entry's (none are), and the
      // entry has no address of its own to give.
      {"host entry listing no address", NoAddressSeat(), 0, Bytes(8, 0xEE)},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.what);
    CHostIdentity identity;
    unsigned char out[8];
    std::memset(out, 0xEE, sizeof out);
    EXPECT_EQ(identity.GetSystemMac(out, 6, c.host.System()), c.result);
    EXPECT_EQ(Bytes(out, out + 8), c.out);
  }

  FakeHost nothing = VirtualSeat();
  nothing.hasName = false;
  CHostIdentity identity;
  unsigned char out[6] = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(identity.GetSystemMac(out, 6, nothing.System()), 0);
  EXPECT_EQ(Bytes(out, out + 6), Bytes({1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(identity.GetSystemMac(nullptr, 6, VirtualSeat().System()), 0);
}

TEST(SystemMac, ScansAfreshEvenWhenTheIPIsCached) {
  FakeHost host = VirtualSeat();
  CHostIdentity identity;
  ASSERT_STREQ(identity.GetSystemIP(host.System()), "10.20.30.40");
  host.entry = Entry({"10.20.30.41"});
  unsigned char out[6] = {};
  EXPECT_EQ(identity.GetSystemMac(out, 6, host.System()), 1);
  EXPECT_EQ(out[3], 41);
}

TEST(HostName, CopiesAtMostTwentyBytesNulPadded) {
  struct {
    const char* what;
    const char* name;
    int length;
    int result;
    std::string expected;  // all 24 bytes of the buffer afterwards
  } cases[] = {
      {"short name is padded", "pc", 20, 1, std::string("pc") + std::string(18, '\0') + "####"},
      {"25 characters are cut to 20 without terminator", "abcdefghijklmnopqrstuvwxy", 20, 1,
       "abcdefghijklmnopqrst####"},
      {"length above 20 copies 20", "abcdefghijklmnopqrstuvwxy", 24, 1, "abcdefghijklmnopqrst####"},
      {"shorter length copies that many", "abcdefghijklmnopqrstuvwxy", 5, 1,
       "abcde###################"},
      {"length 0 touches nothing", "pc", 0, 0, std::string(24, '#')},
      {"negative length touches nothing", "pc", -1, 0, std::string(24, '#')},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeHost host;
    host.name = c.name;
    unsigned char buffer[24];
    std::memset(buffer, '#', sizeof buffer);
    CHostIdentity identity;
    EXPECT_EQ(identity.GetHostName(buffer, c.length, host.System()), c.result);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), sizeof buffer), c.expected);
  }
  FakeHost host;
  CHostIdentity identity;
  EXPECT_EQ(identity.GetHostName(nullptr, 20, host.System()), 0);
  host.hasName = false;
  unsigned char buffer[20] = {};
  EXPECT_EQ(identity.GetHostName(buffer, 20, host.System()), 0);
}

// The C interface's host name: UTF-8 cut to 20 bytes without splitting a
// character (网 is three bytes, é two, 😀 four).
TEST(HostName, Utf8NameIsCutAtACharacterBoundary) {
  const struct {
    const char* name;
    const char* shown;
  } cases[] = {
      {"pc", "pc"},
      {"abcdefghijklmnopqrst", "abcdefghijklmnopqrst"},
      {"abcdefghijklmnopqrstuvwxy", "abcdefghijklmnopqrst"},
      {u8"网吧网吧网吧网", u8"网吧网吧网吧"},
      {u8"网吧网吧网吧-7", u8"网吧网吧网吧-7"},
      {u8"ééééééééééé", u8"éééééééééé"},
      {u8"abcdefghijklmnopqr😀", u8"abcdefghijklmnopqr"},
      {u8"abcdefghijklmnop😀x", u8"abcdefghijklmnop😀"},
      {"", ""},
  };
  for (const auto& c : cases) {
    FakeHost host;
    host.name = c.name;
    char name[CHostIdentity::kHostNameLimit + 1];
    std::memset(name, '#', sizeof name);
    ASSERT_TRUE(HostNameUtf8(name, host.System())) << c.name;
    EXPECT_EQ(std::string(name), c.shown) << c.name;
    for (std::size_t i = std::strlen(c.shown); i < sizeof name; ++i) EXPECT_EQ(name[i], '\0');
  }
  FakeHost host;
  host.hasName = false;
  char name[CHostIdentity::kHostNameLimit + 1] = "kept";
  EXPECT_FALSE(HostNameUtf8(name, host.System()));
  EXPECT_STREQ(name, "kept");
}

}  // namespace
}  // namespace seatenrol
