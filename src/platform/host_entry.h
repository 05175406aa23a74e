// Reading a resolver's host entry, shared by both systems' resolvers; the
// entry type is each system's own hostent.
#ifndef SEATENROL_PLATFORM_HOST_ENTRY_H
#define SEATENROL_PLATFORM_HOST_ENTRY_H

#include <cstdint>
#include <new>
#include <vector>

#include "platform/ipv4_text.h"

namespace seatenrol {

// The entry's IPv4 addresses in its own order, in host byte order; false
// when there is no IPv4 entry. An entry whose list is empty is still an
// entry: the seat's own name then vouches for none of its addresses. Out of
// memory, false with addresses cleared.
template <typename HostEntry>
bool CollectIPv4(const HostEntry* host, int ipv4Family, std::vector<std::uint32_t>& addresses) {
  if (host == nullptr || host->h_addrtype != ipv4Family || host->h_length != 4 ||
      host->h_addr_list == nullptr) {
    return false;
  }
  try {
    for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
      addresses.push_back(LoadBigEndian32(reinterpret_cast<const unsigned char*>(*entry)));
    }
  } catch (const std::bad_alloc&) {
    addresses.clear();
    return false;
  }
  return true;
}

}  // namespace seatenrol

#endif
