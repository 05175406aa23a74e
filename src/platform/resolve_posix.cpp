#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>

#include "platform/resolve.h"

namespace seatenrol {

// getaddrinfo rather than gethostbyname: several sessions may resolve at once
// on different threads, and gethostbyname's result is shared process-wide here.
bool ResolveIPv4(const char* name, std::vector<std::uint32_t>& addresses) {
  addresses.clear();
  if (name == nullptr || *name == '\0') return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &list) != 0) return false;
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET || entry->ai_addr == nullptr) continue;
    const auto* in = reinterpret_cast<const sockaddr_in*>(entry->ai_addr);
    const std::uint32_t address = ntohl(in->sin_addr.s_addr);
    if (std::find(addresses.begin(), addresses.end(), address) == addresses.end()) {
      addresses.push_back(address);
    }
  }
  freeaddrinfo(list);
  return !addresses.empty();
}

}  // namespace seatenrol
