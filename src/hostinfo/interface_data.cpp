#include "hostinfo/interface_data.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "platform/ipv4_text.h"

namespace seatenrol {

namespace {

// The table prints each address as the in-memory value of its network-order
// field, so the value's own bytes are the address's bytes in network order.
std::string RouteAddressText(unsigned long printed) {
  const std::uint32_t field = static_cast<std::uint32_t>(printed);
  unsigned char bytes[4];
  std::memcpy(bytes, &field, sizeof bytes);
  char text[16];
  FormatDottedIPv4(LoadBigEndian32(bytes), text);
  return text;
}

void AddRoute(const std::string& line, std::vector<AdapterRecord>& adapters) {
  char name[17] = {};
  unsigned long destination = 0;
  unsigned long gateway = 0;
  if (std::sscanf(line.c_str(), "%16s %lx %lx", name, &destination, &gateway) != 3) return;
  if (gateway == 0) return;
  const std::string text = RouteAddressText(gateway);
  for (AdapterRecord& adapter : adapters) {
    if (adapter.name != name) continue;
    if (std::find(adapter.gateways.begin(), adapter.gateways.end(), text) ==
        adapter.gateways.end()) {
      adapter.gateways.push_back(text);
    }
  }
}

// The bus a subsystem link names: its last component; empty when unread.
std::string BusOf(const LinkRead& subsystem) {
  if (subsystem.error != 0) return std::string();
  const std::string::size_type slash = subsystem.target.rfind('/');
  return slash == std::string::npos ? subsystem.target : subsystem.target.substr(slash + 1);
}

// readlink of something that is there but is no link.
bool PresentWithoutLink(const LinkRead& read) { return read.error == 0 || read.error == EINVAL; }

}  // namespace

void AddRouteGateways(const std::string& table, std::vector<AdapterRecord>& adapters) {
  std::string::size_type start = table.find('\n');  // past the header
  while (start != std::string::npos && start + 1 < table.size()) {
    ++start;
    const std::string::size_type end = table.find('\n', start);
    AddRoute(table.substr(start, end == std::string::npos ? std::string::npos : end - start),
             adapters);
    start = end;
  }
}

bool IsPhysicalInterface(const char* name, const std::string& root, const LinkReader& readLink,
                         std::string* reason) {
  const auto decide = [reason](bool physical, const std::string& why) {
    if (reason != nullptr) *reason = why;
    return physical;
  };
  // Anything that cannot name an interface directory cannot be looked up, and
  // what cannot be looked up counts as physical.
  if (name == nullptr || *name == '\0' || std::strchr(name, '/') != nullptr ||
      std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
    return decide(true, "its name cannot be looked up, which counts as physical");
  }
  const std::string node = root + "/" + name;
  const LinkRead device = readLink(node + "/device");
  if (device.error == ENOENT) {
    // Loopback, bridges, tunnels and veth pairs have no device behind them;
    // an interface missing from sysfs altogether cannot be looked up.
    if (PresentWithoutLink(readLink(node))) {
      return decide(false, "no device behind it: loopback, bridge, tunnel or veth");
    }
    return decide(true, node + " cannot be read, which counts as physical");
  }
  if (!PresentWithoutLink(device)) {
    return decide(true, "its device cannot be read, which counts as physical");
  }
  std::string bus = BusOf(readLink(node + "/device/subsystem"));
  if (bus == "virtio") {
    // A paravirtual card is the virtio function of the device above it; the
    // kernel takes ".." from where the device link leads.
    bus = BusOf(readLink(node + "/device/../subsystem"));
  }
  if (bus.empty()) return decide(true, "its bus cannot be read, which counts as physical");
  if (bus == "pci") return decide(true, "its device is on the PCI bus");
  return decide(false, "its device is on the " + bus + " bus, not PCI");
}

}  // namespace seatenrol
