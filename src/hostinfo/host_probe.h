// What the system tells about the seat: the only part of host identity that
// differs between systems. Each system's half fills plain data for the rule.
#ifndef SEATENROL_HOSTINFO_HOST_PROBE_H
#define SEATENROL_HOSTINFO_HOST_PROBE_H

#include <string>
#include <vector>

#include "hostinfo/adapter_rule.h"
#include "platform/ipv4_text.h"

namespace seatenrol {

constexpr int kHostNameBufferSize = 256;

// The host name (gethostname) into name, which the caller has zeroed; false
// when the socket layer gives none.
bool ProbeHostName(char (&name)[kHostNameBufferSize]);

// The host entry of name (gethostbyname); false when it does not resolve.
bool ProbeHostEntry(const char* name, HostEntry& entry);

// The system's network adapters in its own order; false when the list
// cannot be read.
bool ProbeAdapters(std::vector<AdapterRecord>& adapters);

// Whether the named adapter sits on a PCI bus. Whatever cannot be read about
// it counts as physical.
bool ProbeIsPhysicalAdapter(const char* adapterName);

// Copies a resolved host entry (a hostent) into entry, which stays empty when
// the host entry holds no IPv4 address. textOf gives the dotted text of the
// four network-order bytes of one address.
template <typename Hostent, typename TextOf>
void CopyHostEntry(const Hostent& host, int ipv4Family, HostEntry& entry, TextOf textOf) {
  if (host.h_addrtype != ipv4Family || host.h_length != 4 || host.h_addr_list == nullptr) return;
  for (char** item = host.h_addr_list; *item != nullptr; ++item) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(*item);
    entry.addresses.push_back(LoadBigEndian32(bytes));
    entry.texts.push_back(textOf(bytes));
  }
}

}  // namespace seatenrol

#endif
