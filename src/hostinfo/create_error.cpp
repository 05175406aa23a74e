#include <cstdint>

#include "hostinfo/adapter_rule.h"
#include "hostinfo/host_identity.h"
#include "seatenrol/hostinfo.h"

extern "C" int CreateError(RegError* error) {
  if (error == nullptr) return 0;
  try {
    seatenrol::CHostIdentity identity;
    const char* ip = identity.GetSystemIP();
    if (ip == nullptr) return 0;
    // The record keeps the address as an integer in host byte order.
    error->SetLocalIP(static_cast<int>(seatenrol::AddressValue(ip)));
    unsigned char name[seatenrol::CHostIdentity::kHostNameLimit] = {};
    if (!identity.GetHostName(name, sizeof name)) return 0;
    error->SetHostName(name, sizeof name);
    return 1;
  } catch (...) {
    // Nothing may unwind into the host; a discovery that failed finds nothing.
    return 0;
  }
}
