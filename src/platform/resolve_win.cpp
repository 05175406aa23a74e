#include <winsock2.h>

#include "platform/ipv4_text.h"
#include "platform/resolve.h"

namespace seatenrol {

// gethostbyname keeps its result per thread on Windows, so concurrent
// sessions on different threads do not disturb each other.
bool ResolveIPv4(const char* name, std::vector<std::uint32_t>& addresses) {
  addresses.clear();
  if (name == nullptr || *name == '\0') return false;
  const hostent* host = gethostbyname(name);
  if (host == nullptr || host->h_addrtype != AF_INET || host->h_length != 4 ||
      host->h_addr_list == nullptr) {
    return false;
  }
  for (char** entry = host->h_addr_list; *entry != nullptr; ++entry) {
    addresses.push_back(LoadBigEndian32(reinterpret_cast<const unsigned char*>(*entry)));
  }
  return !addresses.empty();
}

}  // namespace seatenrol
