// The seat's identity: its IPv4 address text, the hardware address of its
// physical adapter and its host name, discovered on demand and cached.
#ifndef SEATENROL_HOSTINFO_HOST_IDENTITY_H
#define SEATENROL_HOSTINFO_HOST_IDENTITY_H

#include <cstddef>
#include <functional>
#include <vector>

#include "hostinfo/adapter_rule.h"
#include "hostinfo/host_probe.h"

namespace seatenrol {

// The system operations behind CHostIdentity. SystemHost() is the running
// system's; another set runs the same operations over chosen data.
struct HostSystem {
  std::function<bool(char (&name)[kHostNameBufferSize])> hostName;
  std::function<bool(const char* name, HostEntry& entry)> hostEntry;
  std::function<bool(std::vector<AdapterRecord>& adapters)> adapters;
  PhysicalAdapterTest isPhysical;
  // The host name in UTF-8 for the C interface; when empty, hostName's bytes.
  std::function<bool(char (&name)[kHostNameBufferSize])> hostNameUtf8;
};

const HostSystem& SystemHost();

// Plain copyable bytes: a 32-byte dotted IP text (empty until found) and the
// chosen adapter's 6-byte hardware address.
class CHostIdentity {
public:
  static constexpr int kIPTextSize = 32;
  static constexpr int kMacSize = 6;
  // A host name is handed out at most this long, terminated or not.
  static constexpr int kHostNameLimit = 20;

  CHostIdentity();
  ~CHostIdentity() {}

  // The first usable address of the host name's address list, stored as the
  // IP text; null (text unchanged) when the name is missing or unresolved.
  char* GetIPFromHostName(const HostSystem& system = SystemHost());
  // Copies min(length, 20) bytes of the host name, NUL-padded, into buffer;
  // 0 (buffer untouched) for a null buffer, length <= 0 or no host name.
  int GetHostName(unsigned char* buffer, int length, const HostSystem& system = SystemHost());
  // Whether the named adapter is a physical (PCI) one; unreadable counts as physical.
  static bool IsPhysicalAdapter(const char* adapterName);
  // The adapter rule: 1 when an adapter matched (its hardware address in
  // out, IP text and MAC set) or an address passed all but the gateway test
  // (its four bytes at the start of out, zeros behind, instance unchanged).
  int FindLocalAdapter(unsigned char* out, int outLength, const HostSystem& system = SystemHost());
  // The cached IP text, else the adapter rule's, else the host name's; null
  // when none is found.
  char* GetSystemIP(const HostSystem& system = SystemHost());
  // The hardware address by the adapter rule, else the host name's address
  // bytes; never reads the cache. 0 when nothing is found.
  int GetSystemMac(unsigned char* out, int outLength, const HostSystem& system = SystemHost());

  const char* IPText() const { return m_ipText; }
  const unsigned char* Mac() const { return m_mac; }

private:
  int ApplyAdapterRule(unsigned char* out, int outLength, const HostSystem& system);

  char m_ipText[kIPTextSize];
  unsigned char m_mac[kMacSize];
};

// How many of length bytes of UTF-8 text to keep so that at most limit
// remain and no character is cut: the text itself when it fits, else up to
// the last character that ends within limit.
std::size_t Utf8CutLength(const char* text, std::size_t length, std::size_t limit);

// The host name as the C interface gives it: UTF-8, at most
// CHostIdentity::kHostNameLimit bytes cut at a character boundary, zeros
// behind it. False (name untouched) when the system gives none. A request
// carries GetHostName's bytes instead, as it always has.
bool HostNameUtf8(char (&name)[CHostIdentity::kHostNameLimit + 1],
                  const HostSystem& system = SystemHost());

}  // namespace seatenrol

#endif
