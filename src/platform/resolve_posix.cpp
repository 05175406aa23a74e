#include <dlfcn.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "platform/host_entry.h"
#include "platform/resolve.h"
#include "platform/system_calls_posix.h"
#include "platform/system_error.h"

namespace seatenrol {

// The reentrant gethostbyname: several threads may resolve at once, and the
// addresses keep the host entry's own order, as on Windows.
//
// A name that does not resolve is the resolver's answer (h_errno's
// HOST_NOT_FOUND, TRY_AGAIN, NO_DATA), whose codes are not errno values and
// have no system text: no system error is recorded for it. Only a failure in
// the system itself is: the errno value gethostbyname_r returns, or errno
// when it reports NETDB_INTERNAL.
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
    if (result != 0) {
      RecordSystemError(result);
      return false;
    }
    if (host == nullptr && failure == NETDB_INTERNAL) RecordSystemError(errno);
    return CollectIPv4(host, AF_INET, addresses);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

namespace {

// A thread the call stopped waiting for may still be inside the library when
// the host unloads it; so once such a thread has been started, the library
// stays mapped for the rest of the process (one reference, taken with
// RTLD_NODELETE and never given back). A library linked into the program
// itself, which is never unloaded, is refused by RTLD_NOLOAD and needs none.
void KeepLibraryLoaded() {
  static const bool kept = [] {
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(&KeepLibraryLoaded), &info) == 0 ||
        info.dli_fname == nullptr) {
      return false;
    }
    return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
  }();
  (void)kept;
}

}  // namespace

bool RunDetached(void (*body)(void*), void* argument) {
  KeepLibraryLoaded();
  try {
    std::thread(body, argument).detach();
    return true;
  } catch (const std::system_error&) {
    return false;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace seatenrol
