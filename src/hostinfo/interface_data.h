// What a Unix-like system tells about its interfaces in text form (the
// routing table, the device links of sysfs), read into plain data so the
// decisions run the same over a test's tables as over the running system.
#ifndef SEATENROL_HOSTINFO_INTERFACE_DATA_H
#define SEATENROL_HOSTINFO_INTERFACE_DATA_H

#include <functional>
#include <string>
#include <vector>

#include "hostinfo/adapter_rule.h"

namespace seatenrol {

// Adds the gateways of the text of /proc/net/route to the adapters they
// name: every route through a gateway, in the table's order, each gateway
// once per adapter. The header line and lines that do not read are skipped.
void AddRouteGateways(const std::string& table, std::vector<AdapterRecord>& adapters);

// One readlink: error 0 with the link's target, else the errno it failed with.
struct LinkRead {
  int error = 0;
  std::string target;
};
using LinkReader = std::function<LinkRead(const std::string& path)>;

// Whether the interface named sits on a PCI bus, by its sysfs links under
// root ("/sys/class/net"): its device's subsystem, and for a virtio device
// the subsystem of the device it belongs to. An interface without a device
// is virtual; whatever cannot be read counts as physical. When reason is
// given, it receives why, in words for a technician.
bool IsPhysicalInterface(const char* name, const std::string& root, const LinkReader& readLink,
                         std::string* reason = nullptr);

}  // namespace seatenrol

#endif
