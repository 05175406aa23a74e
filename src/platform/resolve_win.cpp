#include <winsock2.h>

#include "platform/host_entry.h"
#include "platform/resolve.h"

namespace seatenrol {

// gethostbyname keeps its result per thread on Windows, so concurrent
// sessions on different threads do not disturb each other.
bool LookUpIPv4(const char* name, std::vector<std::uint32_t>& addresses) {
  addresses.clear();
  if (name == nullptr || *name == '\0') return false;
  const hostent* host = gethostbyname(name);
  return CollectIPv4(host, AF_INET, addresses);
}

}  // namespace seatenrol
