// The probes against this machine's own interfaces: whatever it has, the
// identity operations give what the rule makes of it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "hostinfo/adapter_rule.h"
#include "hostinfo/host_identity.h"
#include "hostinfo/host_probe.h"
#include "platform/ipv4_text.h"
#include "seatenrol/hostinfo.h"

namespace seatenrol {
namespace {

using Bytes = std::vector<unsigned char>;

struct Machine {
  bool named = false;
  char name[kHostNameBufferSize] = {};
  bool resolves = false;
  HostEntry entry;
  bool adaptersRead = false;
  std::vector<AdapterRecord> adapters;
};

Machine ReadMachine() {
  Machine machine;
  machine.named = ProbeHostName(machine.name);
  machine.resolves = machine.named && ProbeHostEntry(machine.name, machine.entry);
  machine.adaptersRead = ProbeAdapters(machine.adapters);
  return machine;
}

void Print(const Machine& machine) {
  std::printf("host name: %s\n", machine.named ? machine.name : "(none)");
  for (const std::string& text : machine.entry.texts)
    std::printf("  host address %s\n", text.c_str());
  for (const AdapterRecord& adapter : machine.adapters) {
    std::printf("adapter %s physical=%d hw(%u)=", adapter.name.c_str(),
                ProbeIsPhysicalAdapter(adapter.name.c_str()) ? 1 : 0, adapter.hardwareLength);
    for (unsigned i = 0; i < adapter.hardwareLength; ++i) std::printf("%02X", adapter.hardware[i]);
    std::printf("\n");
    for (const AdapterAddress& address : adapter.addresses) {
      std::printf("  address %s mask %s\n", address.address.c_str(), address.mask.c_str());
    }
    for (const std::string& gateway : adapter.gateways)
      std::printf("  gateway %s\n", gateway.c_str());
  }
}

TEST(SystemProbe, IdentityFollowsTheRuleOverTheRealInterfaces) {
  const Machine machine = ReadMachine();
  Print(machine);

  const AdapterChoice choice = ChooseAdapter(
      machine.adapters, machine.resolves ? &machine.entry : nullptr, ProbeIsPhysicalAdapter);
  const char* hostText = machine.resolves ? ChooseHostAddressText(machine.entry.texts) : nullptr;

  CHostIdentity identity;
  const char* ip = identity.GetSystemIP();
  unsigned char mac[6] = {};
  const int macFound = identity.GetSystemMac(mac, sizeof mac);
  unsigned char name[20] = {};
  const int named = identity.GetHostName(name, sizeof name);
  std::printf("GetSystemIP: %s\nGetSystemMac: %d %02X%02X%02X%02X%02X%02X\nGetHostName: %.20s\n",
              ip == nullptr ? "(null)" : ip, macFound, mac[0], mac[1], mac[2], mac[3], mac[4],
              mac[5], reinterpret_cast<char*>(name));

  if (choice.matched) {
    const AdapterRecord& adapter = machine.adapters[choice.adapter];
    EXPECT_STREQ(ip, adapter.addresses[choice.address].address.c_str());
    EXPECT_EQ(Bytes(mac, mac + 6), Bytes(adapter.hardware, adapter.hardware + 6));
  } else {
    if (hostText == nullptr) {
      EXPECT_EQ(ip, nullptr);
    } else {
      EXPECT_STREQ(ip, hostText);
    }
    const std::uint32_t expected = choice.fallback != 0  ? choice.fallback
                                   : hostText != nullptr ? AddressValue(hostText)
                                                         : 0;
    unsigned char bytes[6] = {};
    StoreBigEndian32(expected, bytes);
    EXPECT_EQ(macFound, expected != 0 ? 1 : 0);
    EXPECT_EQ(Bytes(mac, mac + 6), Bytes(bytes, bytes + 6));
  }
  EXPECT_EQ(named, machine.named ? 1 : 0);
  if (machine.named) {
    EXPECT_EQ(std::strncmp(reinterpret_cast<char*>(name), machine.name, 20), 0);
  }
}

TEST(SystemProbe, CreateErrorStampsAddressAndTerminatedName) {
  CHostIdentity identity;
  const char* ip = identity.GetSystemIP();
  unsigned char name[20] = {};
  if (ip == nullptr || !identity.GetHostName(name, sizeof name)) {
    GTEST_SKIP() << "this machine has no address or no host name";
  }
  RegError error;
  error.SetErrorNo(-5);
  ASSERT_EQ(CreateError(&error), 1);
  EXPECT_EQ(static_cast<std::uint32_t>(error.GetLocalIP()), AddressValue(ip));
  EXPECT_EQ(
      std::strncmp(reinterpret_cast<char*>(error.GetHostName()), reinterpret_cast<char*>(name), 19),
      0);
  EXPECT_EQ(error.GetHostName()[19], 0);
  EXPECT_EQ(error.GetErrorNo(), -5);
  EXPECT_EQ(CreateError(nullptr), 0);
}

TEST(SystemProbe, InterfacesWithoutABusDeviceAreVirtual) {
  const Machine machine = ReadMachine();
  for (const AdapterRecord& adapter : machine.adapters) {
    const bool loopback = !adapter.addresses.empty() && adapter.addresses[0].address == "127.0.0.1";
    if (loopback) {
      EXPECT_FALSE(ProbeIsPhysicalAdapter(adapter.name.c_str())) << adapter.name;
    }
  }
  // What cannot be looked up counts as physical.
  EXPECT_TRUE(ProbeIsPhysicalAdapter("no-such-interface-0"));
  EXPECT_TRUE(ProbeIsPhysicalAdapter(nullptr));
}

// The wide API's name and gethostname's are the same name: an ASCII one
// reads the same in both, whatever the ANSI code page.
TEST(SystemProbe, TheUtf8HostNameIsTheSocketLayersName) {
  char socketName[kHostNameBufferSize] = {};
  char utf8[kHostNameBufferSize] = {};
  ASSERT_TRUE(ProbeHostNameUtf8(utf8));
  if (!ProbeHostName(socketName)) GTEST_SKIP() << "the socket layer gives no host name";
  bool ascii = true;
  for (const char* c = socketName; *c != '\0'; ++c) ascii = ascii && (*c & 0x80) == 0;
  if (!ascii) GTEST_SKIP() << "a host name beyond ASCII reads differently in the ANSI code page";
  EXPECT_STRCASEEQ(utf8, socketName);
}

}  // namespace
}  // namespace seatenrol
