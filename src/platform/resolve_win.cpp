#include <winsock2.h>

#include "platform/host_entry.h"
#include "platform/resolve.h"
#include "platform/system_error.h"

namespace seatenrol {

// gethostbyname keeps its result per thread on Windows, so concurrent
// sessions on different threads do not disturb each other. Its failure is a
// Winsock error (WSAHOST_NOT_FOUND for a name that does not exist), which
// has a system text and is recorded as the reason.
bool LookUpIPv4(const char* name, std::vector<std::uint32_t>& addresses) {
  addresses.clear();
  if (name == nullptr || *name == '\0') return false;
  const hostent* host = gethostbyname(name);
  if (host == nullptr) RecordSystemError(::WSAGetLastError());
  return CollectIPv4(host, AF_INET, addresses);
}

}  // namespace seatenrol
