// The interface dump against the C library's own reading of the same
// interfaces: both must list the same adapters with IPv4 addresses (or with
// every interface, all of them), their hardware and addresses, in the same
// order.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "hostinfo/host_probe.h"

namespace seatenrol {
namespace {

struct Listed {
  std::string name;
  std::string hardware;
  std::vector<std::string> addresses;  // "address/mask"
  bool operator==(const Listed& other) const {
    return name == other.name && hardware == other.hardware && addresses == other.addresses;
  }
};

std::string Text(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return std::string();
  return inet_ntoa(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
}

Listed& Named(std::vector<Listed>& list, const std::string& name) {
  for (Listed& item : list) {
    if (item.name == name) return item;
  }
  list.push_back({name, "", {}});
  return list.back();
}

std::vector<Listed> FromGetifaddrs(bool withoutIPv4) {
  std::vector<Listed> list;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return list;
  for (const ifaddrs* item = all; item != nullptr; item = item->ifa_next) {
    if (item->ifa_name == nullptr || item->ifa_addr == nullptr) continue;
    std::string name = item->ifa_name;
    name = name.substr(0, name.find(':'));
    if (item->ifa_addr->sa_family == AF_PACKET) {
      const auto* link = reinterpret_cast<const sockaddr_ll*>(item->ifa_addr);
      Named(list, name)
          .hardware.assign(reinterpret_cast<const char*>(link->sll_addr),
                           std::min<std::size_t>(link->sll_halen, 8));
    } else if (item->ifa_addr->sa_family == AF_INET) {
      Named(list, name).addresses.push_back(Text(item->ifa_addr) + "/" + Text(item->ifa_netmask));
    }
  }
  freeifaddrs(all);
  // Only interfaces with an IPv4 address take part in the rule.
  list.erase(std::remove_if(list.begin(), list.end(),
                            [withoutIPv4](const Listed& item) {
                              return !withoutIPv4 && item.addresses.empty();
                            }),
             list.end());
  std::stable_sort(list.begin(), list.end(), [](const Listed& left, const Listed& right) {
    return if_nametoindex(left.name.c_str()) < if_nametoindex(right.name.c_str());
  });
  return list;
}

TEST(InterfaceDump, ListsWhatGetifaddrsLists) {
  for (const bool every : {false, true}) {
    SCOPED_TRACE(every ? "every interface" : "interfaces with IPv4");
    std::vector<AdapterRecord> adapters;
    ASSERT_TRUE(every ? ProbeEveryInterface(adapters) : ProbeAdapters(adapters));
    std::vector<Listed> dumped;
    for (const AdapterRecord& adapter : adapters) {
      Listed item{
          adapter.name,
          std::string(reinterpret_cast<const char*>(adapter.hardware), adapter.hardwareLength),
          {}};
      for (const AdapterAddress& address : adapter.addresses) {
        item.addresses.push_back(address.address + "/" + address.mask);
      }
      dumped.push_back(item);
    }
    const std::vector<Listed> expected = FromGetifaddrs(every);
    ASSERT_EQ(dumped.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      EXPECT_TRUE(dumped[i] == expected[i])
          << "adapter " << i << ": " << dumped[i].name << " vs " << expected[i].name;
    }
  }
}

}  // namespace
}  // namespace seatenrol
