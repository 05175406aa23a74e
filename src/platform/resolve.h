// Name resolution for the management server.
#ifndef SEATENROL_PLATFORM_RESOLVE_H
#define SEATENROL_PLATFORM_RESOLVE_H

#include <cstdint>
#include <vector>

namespace seatenrol {

// The IPv4 addresses name resolves to, in the resolver's order, in host byte
// order; false (addresses cleared) when name is null or does not resolve.
// The socket layer must already be started by the host process.
bool ResolveIPv4(const char* name, std::vector<std::uint32_t>& addresses);

}  // namespace seatenrol

#endif
