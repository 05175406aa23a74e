// What the system tells about the seat: the only part of host identity that
// differs between systems. Each system's half fills plain data for the rule.
#ifndef SEATENROL_HOSTINFO_HOST_PROBE_H
#define SEATENROL_HOSTINFO_HOST_PROBE_H

#include <string>
#include <vector>

#include "hostinfo/adapter_rule.h"

namespace seatenrol {

constexpr int kHostNameBufferSize = 256;

// The host name (gethostname) into name, which the caller has zeroed; false
// when the socket layer gives none.
bool ProbeHostName(char (&name)[kHostNameBufferSize]);

// The host name in UTF-8 into name, which the caller has zeroed: on Windows
// the computer's DNS host name from the wide API (gethostname gives the ANSI
// code page's bytes), elsewhere gethostname's, which are UTF-8 already. A
// name longer than the buffer is cut at a character boundary. False when the
// system gives none.
bool ProbeHostNameUtf8(char (&name)[kHostNameBufferSize]);

// The host entry of name (gethostbyname); false when it does not resolve.
// An entry that lists no address is still an entry, with empty lists. The
// same resolver serves the session's server name.
bool ProbeHostEntry(const char* name, HostEntry& entry);

// The system's network adapters in its own order; false when the list
// cannot be read. A system may leave out adapters without an IPv4 address,
// which the rule passes over in any case.
bool ProbeAdapters(std::vector<AdapterRecord>& adapters);

// The same list with the interfaces that have no IPv4 address added, which
// the discovery leaves out and the rule passes over in any case. For showing
// a technician the whole system.
bool ProbeEveryInterface(std::vector<AdapterRecord>& adapters);

// Whether the named adapter sits on a PCI bus. Whatever cannot be read about
// it counts as physical.
bool ProbeIsPhysicalAdapter(const char* adapterName);

// The same test with what decided it, in a few words, for a technician.
bool ExplainPhysicalAdapter(const char* adapterName, std::string& reason);

}  // namespace seatenrol

#endif
