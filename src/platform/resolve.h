// Name resolution for the management server and the seat's own name.
#ifndef SEATENROL_PLATFORM_RESOLVE_H
#define SEATENROL_PLATFORM_RESOLVE_H

#include <cstdint>
#include <vector>

namespace seatenrol {

// The host entry of name: true when the resolver gives one, with its IPv4
// addresses in the resolver's order, in host byte order (an entry may list
// none); false (addresses cleared) when name is null or does not resolve,
// or when memory runs out. The socket layer must already be started by the
// host process.
bool LookUpIPv4(const char* name, std::vector<std::uint32_t>& addresses);

// The addresses to reach name at: as LookUpIPv4, and false as well for an
// entry that lists no address.
inline bool ResolveIPv4(const char* name, std::vector<std::uint32_t>& addresses) {
  return LookUpIPv4(name, addresses) && !addresses.empty();
}

}  // namespace seatenrol

#endif
