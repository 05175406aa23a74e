#include <arpa/inet.h>
#include <ifaddrs.h>
#include <limits.h>
#include <net/if.h>
#include <netinet/in.h>
#include <netpacket/packet.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hostinfo/host_probe.h"

namespace seatenrol {

namespace {

std::string AddressText(in_addr address) {
  // inet_ntoa's text lives in per-thread storage until the next call.
  const char* text = inet_ntoa(address);
  return text == nullptr ? std::string() : std::string(text);
}

std::string SockaddrText(const sockaddr* address) {
  if (address == nullptr || address->sa_family != AF_INET) return std::string();
  return AddressText(reinterpret_cast<const sockaddr_in*>(address)->sin_addr);
}

// An address label such as "eth0:1" belongs to the interface "eth0".
std::string InterfaceName(const char* label) {
  const char* colon = std::strchr(label, ':');
  return colon == nullptr ? std::string(label) : std::string(label, colon);
}

AdapterRecord& AdapterNamed(std::vector<AdapterRecord>& adapters, const std::string& name) {
  for (AdapterRecord& adapter : adapters) {
    if (adapter.name == name) return adapter;
  }
  adapters.emplace_back();
  adapters.back().name = name;
  return adapters.back();
}

// Default and other routes through a gateway, per interface, in the kernel's
// routing-table order.
void AddGateways(std::vector<AdapterRecord>& adapters) {
  std::FILE* routes = std::fopen("/proc/net/route", "r");
  if (routes == nullptr) return;
  char line[512];
  bool header = true;
  while (std::fgets(line, sizeof line, routes) != nullptr) {
    if (header) {
      header = false;
      continue;
    }
    char name[IF_NAMESIZE + 1] = {};
    unsigned long destination = 0;
    unsigned long gateway = 0;
    if (std::sscanf(line, "%16s %lx %lx", name, &destination, &gateway) != 3) continue;
    if (gateway == 0) continue;
    // The table prints the address as the in-memory value of its network-order field.
    in_addr address{};
    address.s_addr = static_cast<in_addr_t>(gateway);
    const std::string text = AddressText(address);
    for (AdapterRecord& adapter : adapters) {
      if (adapter.name != name) continue;
      if (std::find(adapter.gateways.begin(), adapter.gateways.end(), text) ==
          adapter.gateways.end()) {
        adapter.gateways.push_back(text);
      }
    }
  }
  std::fclose(routes);
}

// The bus a sysfs device belongs to ("pci", "virtio", ...); empty when its
// subsystem link cannot be read.
std::string BusOf(const std::string& device) {
  char target[PATH_MAX];
  if (realpath((device + "/subsystem").c_str(), target) == nullptr) return std::string();
  const char* slash = std::strrchr(target, '/');
  return slash == nullptr ? std::string() : std::string(slash + 1);
}

}  // namespace

bool ProbeHostName(char (&name)[kHostNameBufferSize]) {
  return gethostname(name, sizeof name) != -1;
}

bool ProbeAdapters(std::vector<AdapterRecord>& adapters) {
  adapters.clear();
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return false;
  for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    if (item->ifa_name == nullptr || item->ifa_addr == nullptr) continue;
    const int family = item->ifa_addr->sa_family;
    if (family == AF_PACKET) {
      AdapterRecord& adapter = AdapterNamed(adapters, InterfaceName(item->ifa_name));
      const auto* link = reinterpret_cast<const sockaddr_ll*>(item->ifa_addr);
      const std::size_t length = std::min<std::size_t>(link->sll_halen, kMaxHardwareAddressLength);
      std::memcpy(adapter.hardware, link->sll_addr, length);
      adapter.hardwareLength = static_cast<unsigned int>(length);
    } else if (family == AF_INET) {
      AdapterRecord& adapter = AdapterNamed(adapters, InterfaceName(item->ifa_name));
      adapter.addresses.push_back({SockaddrText(item->ifa_addr), SockaddrText(item->ifa_netmask)});
    }
  }
  freeifaddrs(list);
  // The kernel's own order of interfaces is their index.
  std::stable_sort(adapters.begin(), adapters.end(),
                   [](const AdapterRecord& left, const AdapterRecord& right) {
                     return if_nametoindex(left.name.c_str()) < if_nametoindex(right.name.c_str());
                   });
  AddGateways(adapters);
  return true;
}

bool ProbeIsPhysicalAdapter(const char* adapterName) {
  std::string reason;
  return ExplainPhysicalAdapter(adapterName, reason);
}

bool ExplainPhysicalAdapter(const char* adapterName, std::string& reason) {
  // Anything that cannot name an interface directory cannot be looked up, and
  // what cannot be looked up counts as physical.
  if (adapterName == nullptr || *adapterName == '\0' || std::strchr(adapterName, '/') != nullptr ||
      std::strcmp(adapterName, ".") == 0 || std::strcmp(adapterName, "..") == 0) {
    reason = "its name cannot be looked up, which counts as physical";
    return true;
  }
  const std::string node = std::string("/sys/class/net/") + adapterName;
  struct stat status {};
  if (stat(node.c_str(), &status) != 0) {
    reason = node + " cannot be read, which counts as physical";
    return true;
  }
  char device[PATH_MAX];
  if (realpath((node + "/device").c_str(), device) == nullptr) {
    // Loopback, bridges, tunnels and veth pairs have no device behind them.
    const bool physical = errno != ENOENT;
    reason = physical ? "its device cannot be read, which counts as physical"
                      : "no device behind it: loopback, bridge, tunnel or veth";
    return physical;
  }
  std::string current = device;
  std::string bus = BusOf(current);
  if (bus == "virtio") {
    // A paravirtual card is the virtio function of a PCI device.
    current = current.substr(0, current.rfind('/'));
    bus = BusOf(current);
  }
  if (bus.empty()) {
    reason = "its bus cannot be read, which counts as physical";
    return true;
  }
  reason = bus == "pci" ? "its device is on the PCI bus"
                        : "its device is on the " + bus + " bus, not PCI";
  return bus == "pci";
}

}  // namespace seatenrol
