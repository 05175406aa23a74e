#include "hostinfo/interface_data.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "fake_host.h"
#include "platform/host_entry.h"

namespace seatenrol {
namespace {

using testing_support::Adapter;
using Gateways = std::vector<std::string>;

constexpr char kHeader[] =
    "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(RouteTable, GivesEachAdapterItsGatewaysInTableOrder) {
  struct {
    const char* what;
    std::string table;
    Gateways eth0;
    Gateways eth1;
  } cases[] = {
      {"default route",
       "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
       {"192.168.1.1"},
       {}},
      {"routes without a gateway are left out",
       "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
       {},
       {}},
      {"a gateway named twice is kept once, others in order",
       "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
       "eth1\t00000000\t01000A0A\t0003\t0\t0\t200\t00000000\t0\t0\t0\n"
       "eth0\t0000000A\t0101A8C0\t0003\t0\t0\t100\t000000FF\t0\t0\t0\n"
       "eth0\t0000000B\tFE01A8C0\t0003\t0\t0\t100\t000000FF\t0\t0\t0\n",
       {"192.168.1.1", "192.168.1.254"},
       {"10.10.0.1"}},
      {"interfaces without an adapter and lines that do not read are skipped",
       "wg0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
       "eth1 garbage\n\n"
       "eth1\t00000000\t0200A8C0",
       {},
       {"192.168.0.2"}},
      {"the last line need not end", "eth0\t00000000\t0101A8C0", {"192.168.1.1"}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<AdapterRecord> adapters = {Adapter("eth0", {1}, {}, {}),
                                           Adapter("eth1", {2}, {}, {})};
    AddRouteGateways(kHeader + c.table, adapters);
    EXPECT_EQ(adapters[0].gateways, c.eth0);
    EXPECT_EQ(adapters[1].gateways, c.eth1);
  }
}

TEST(RouteTable, TheHeaderIsNeverARoute) {
  std::vector<AdapterRecord> adapters = {Adapter("eth0", {1}, {}, {})};
  AddRouteGateways("eth0\t00000000\t0101A8C0\t0003\n", adapters);
  EXPECT_TRUE(adapters[0].gateways.empty());
}

// sysfs as a table of links: what each path reads as, ENOENT for the rest.
struct FakeSysfs {
  std::map<std::string, LinkRead> links;
  std::vector<std::string> asked;

  LinkReader Reader() {
    return [this](const std::string& path) {
      asked.push_back(path);
      const auto it = links.find(path);
      if (it != links.end()) return it->second;
      LinkRead missing;
      missing.error = ENOENT;
      return missing;
    };
  }
};

LinkRead To(const char* target) {
  LinkRead read;
  read.target = target;
  return read;
}

LinkRead Failing(int error) {
  LinkRead read;
  read.error = error;
  return read;
}

TEST(PhysicalInterface, JudgesByTheBusOfTheDevice) {
  const std::string node = "/sys/class/net/eth0";
  struct {
    const char* what;
    std::map<std::string, LinkRead> links;
    bool physical;
  } cases[] = {
      {"PCI card",
       {{node, To("../../devices/pci0000:00/0000:00:19.0/net/eth0")},
        {node + "/device", To("../../../0000:00:19.0")},
        {node + "/device/subsystem", To("../../../bus/pci")}},
       true},
      {"virtio card on PCI",
       {{node + "/device", To("../../../virtio2")},
        {node + "/device/subsystem", To("../../../../bus/virtio")},
        {node + "/device/../subsystem", To("../../../bus/pci")}},
       true},
      {"virtio card on a platform bus",
       {{node + "/device", To("../../../virtio0")},
        {node + "/device/subsystem", To("../../../../bus/virtio")},
        {node + "/device/../subsystem", To("../../../bus/platform")}},
       false},
      {"USB adapter",
       {{node + "/device", To("../../../1-1:1.0")},
        {node + "/device/subsystem", To("../../../../../../bus/usb")}},
       false},
      {"no device behind the interface", {{node, To("../../devices/virtual/net/eth0")}}, false},
      {"no device, and sysfs lists the interface as a directory", {{node, Failing(EINVAL)}}, false},
      {"the interface is not in sysfs at all", {}, true},
      {"device link unreadable", {{node + "/device", Failing(EACCES)}}, true},
      {"device without a readable subsystem", {{node + "/device", To("../../../x")}}, true},
      {"virtio device whose parent bus is unreadable",
       {{node + "/device", To("../../../virtio2")},
        {node + "/device/subsystem", To("../../../../bus/virtio")}},
       true},
      {"subsystem link without a directory part",
       {{node + "/device", To("../../../x")}, {node + "/device/subsystem", To("pci")}},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FakeSysfs sysfs;
    sysfs.links = c.links;
    EXPECT_EQ(IsPhysicalInterface("eth0", "/sys/class/net", sysfs.Reader()), c.physical);
  }
}

TEST(PhysicalInterface, NamesThatNameNoInterfaceAreNotLookedUp) {
  for (const char* name : {static_cast<const char*>(nullptr), "", ".", "..", "a/b", "../eth0"}) {
    FakeSysfs sysfs;
    EXPECT_TRUE(IsPhysicalInterface(name, "/sys/class/net", sysfs.Reader()));
    EXPECT_TRUE(sysfs.asked.empty());
  }
}

// The resolver's entry, in the layout both systems' hostent share.
struct FakeHostent {
  short h_addrtype;
  short h_length;
  char** h_addr_list;
};

TEST(HostEntryReading, AnEntryWithoutAddressesIsStillAnEntry) {
  char first[4] = {10, 0, 0, 5};
  char second[4] = {static_cast<char>(192), static_cast<char>(168), 1, 7};
  char* two[] = {first, second, nullptr};
  char* none[] = {nullptr};
  struct {
    const char* what;
    FakeHostent host;
    bool isEntry;
    std::vector<std::uint32_t> addresses;
  } cases[] = {
      {"two addresses in the entry's order", {2, 4, two}, true, {0x0A000005u, 0xC0A80107u}},
      {"an empty address list", {2, 4, none}, true, {}},
      {"not an IPv4 entry", {10, 16, two}, false, {}},
      {"IPv4 with a wrong address length", {2, 16, two}, false, {}},
      {"no address list at all", {2, 4, nullptr}, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::uint32_t> addresses;
    EXPECT_EQ(CollectIPv4(&c.host, 2, addresses), c.isEntry);
    EXPECT_EQ(addresses, c.addresses);
  }
  std::vector<std::uint32_t> addresses;
  EXPECT_FALSE(CollectIPv4(static_cast<const FakeHostent*>(nullptr), 2, addresses));
}

}  // namespace
}  // namespace seatenrol
