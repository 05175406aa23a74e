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

// The outcome of a lookup made under the current call's limits.
enum class LookupResult { kResolved, kUnresolved, kCancelled, kTimedOut };

// ResolveIPv4 under the current call's limits (platform/call_limits.h). A
// cancel or a deadline already reached stops it before it starts. Where the
// call has a deadline or a cancel flag and name is not a dotted address, the
// lookup runs on a thread of its own, which the call stops waiting for when
// it is cancelled or its deadline passes; that thread ends when its lookup
// does, and frees what it holds. Otherwise the lookup runs on the calling
// thread, as ResolveIPv4 does.
LookupResult ResolveWithinLimits(const char* name, std::vector<std::uint32_t>& addresses);

// The lookup ResolveWithinLimits makes in place of LookUpIPv4, so tests can
// stand in a slow or scripted resolver; null restores LookUpIPv4.
using NameLookup = bool (*)(const char* name, std::vector<std::uint32_t>& addresses);
void SetNameLookupForTesting(NameLookup lookup);

// Runs body(argument) on a new thread that nobody joins; the library stays
// loaded until body has returned. False when no thread could be started
// (body then does not run).
bool RunDetached(void (*body)(void*), void* argument);

}  // namespace seatenrol

#endif
