#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <new>

#include "platform/host_entry.h"
#include "platform/resolve.h"
#include "platform/system_calls_posix.h"

namespace seatenrol {

// The reentrant gethostbyname: several threads may resolve at once, and the
// addresses keep the host entry's own order, as on Windows.
bool LookUpIPv4(const char* name, std::vector<std::uint32_t>& addresses) {
  addresses.clear();
  if (name == nullptr || *name == '\0') return false;
  try {
    std::vector<char> work(1024);
    hostent storage{};
    hostent* host = nullptr;
    int failure = 0;
    int result = 0;
    while ((result = Posix().gethostbyname_r(name, &storage, work.data(), work.size(), &host,
                                             &failure)) == ERANGE &&
           work.size() < 65536) {
      work.resize(work.size() * 2);
    }
    return result == 0 && CollectIPv4(host, AF_INET, addresses);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace seatenrol
