#include "hostinfo/host_identity.h"

#include <algorithm>
#include <cstring>

#include "platform/ipv4_text.h"
#include "platform/resolve.h"

namespace seatenrol {

namespace {

// The host entry of the seat's own name; false when the name is missing or
// does not resolve.
bool LookUpOwnHostEntry(const HostSystem& system, HostEntry& entry) {
  char name[kHostNameBufferSize] = {};
  if (!system.hostName || !system.hostName(name)) return false;
  return system.hostEntry && system.hostEntry(name, entry);
}

// An address's four bytes in network order at the start of out, as far as
// out reaches.
void StoreAddressBytes(std::uint32_t address, unsigned char* out, int outLength) {
  unsigned char bytes[4];
  StoreBigEndian32(address, bytes);
  std::memcpy(out, bytes, static_cast<std::size_t>(std::min(outLength, 4)));
}

}  // namespace

bool ProbeHostEntry(const char* name, HostEntry& entry) {
  entry = HostEntry();
  if (!LookUpIPv4(name, entry.addresses)) return false;
  // The dotted text inet_ntoa gives for each address.
  for (const std::uint32_t address : entry.addresses) {
    char text[16];
    FormatDottedIPv4(address, text);
    entry.texts.push_back(text);
  }
  return true;
}

const HostSystem& SystemHost() {
  static const HostSystem system{ProbeHostName, ProbeHostEntry, ProbeAdapters,
                                 ProbeIsPhysicalAdapter, ProbeHostNameUtf8};
  return system;
}

CHostIdentity::CHostIdentity() : m_ipText(), m_mac() {}

bool CHostIdentity::IsPhysicalAdapter(const char* adapterName) {
  return ProbeIsPhysicalAdapter(adapterName);
}

int CHostIdentity::GetHostName(unsigned char* buffer, int length, const HostSystem& system) {
  if (buffer == nullptr || length <= 0) return 0;
  char name[kHostNameBufferSize] = {};
  if (!system.hostName || !system.hostName(name)) return 0;
  std::memcpy(buffer, name, static_cast<std::size_t>(std::min(length, kHostNameLimit)));
  return 1;
}

char* CHostIdentity::GetIPFromHostName(const HostSystem& system) {
  try {
    HostEntry entry;
    if (!LookUpOwnHostEntry(system, entry)) return nullptr;
    const char* chosen = ChooseHostAddressText(entry.texts);
    if (chosen == nullptr) return nullptr;
    std::memset(m_ipText, 0, sizeof m_ipText);
    std::memcpy(m_ipText, chosen, std::min<std::size_t>(std::strlen(chosen), 15));
    return m_ipText;
  } catch (...) {
    // The lists are built on the heap; running out of memory is a failed discovery.
    return nullptr;
  }
}

int CHostIdentity::FindLocalAdapter(unsigned char* out, int outLength, const HostSystem& system) {
  if (out == nullptr || outLength <= 0) return 0;
  try {
    return ApplyAdapterRule(out, outLength, system);
  } catch (...) {
    // The lists are built on the heap; running out of memory is a failed discovery.
    return 0;
  }
}

int CHostIdentity::ApplyAdapterRule(unsigned char* out, int outLength, const HostSystem& system) {
  HostEntry entry;
  const bool hostKnown = LookUpOwnHostEntry(system, entry);
  std::vector<AdapterRecord> adapters;
  if (!system.adapters || !system.adapters(adapters)) return 0;

  const AdapterChoice choice =
      ChooseAdapter(adapters, hostKnown ? &entry : nullptr, system.isPhysical);
  if (choice.matched) {
    const AdapterRecord& adapter = adapters[choice.adapter];
    const std::size_t length = std::min<std::size_t>(
        {adapter.hardwareLength, kMaxHardwareAddressLength, static_cast<std::size_t>(outLength)});
    std::memcpy(out, adapter.hardware, length);
    std::memcpy(m_mac, adapter.hardware, std::min<std::size_t>(length, sizeof m_mac));
    const std::string& text = adapter.addresses[choice.address].address;
    std::memset(m_ipText, 0, sizeof m_ipText);
    std::memcpy(m_ipText, text.data(), std::min(text.size(), sizeof m_ipText - 1));
    return 1;
  }
  if (choice.fallback == 0) return 0;
  std::memset(out, 0, static_cast<std::size_t>(outLength));
  StoreAddressBytes(choice.fallback, out, outLength);
  return 1;
}

char* CHostIdentity::GetSystemIP(const HostSystem& system) {
  if (m_ipText[0] != '\0') return m_ipText;
  unsigned char scratch[64] = {};
  FindLocalAdapter(scratch, sizeof scratch, system);
  if (m_ipText[0] != '\0') return m_ipText;
  return GetIPFromHostName(system);
}

int CHostIdentity::GetSystemMac(unsigned char* out, int outLength, const HostSystem& system) {
  if (out == nullptr || outLength <= 0) return 0;
  if (FindLocalAdapter(out, outLength, system)) return 1;
  const char* text = GetIPFromHostName(system);
  if (text == nullptr) return 0;
  StoreAddressBytes(AddressValue(text), out, outLength);
  if (outLength > 4) out[4] = 0;
  return 1;
}

std::size_t Utf8CutLength(const char* text, std::size_t length, std::size_t limit) {
  if (length <= limit) return length;
  std::size_t kept = limit;
  // A continuation byte (10xxxxxx) just past the cut belongs to a character
  // that the cut would split: that character goes too.
  while (kept > 0 && (static_cast<unsigned char>(text[kept]) & 0xC0) == 0x80) --kept;
  return kept;
}

bool HostNameUtf8(char (&name)[CHostIdentity::kHostNameLimit + 1], const HostSystem& system) {
  char full[kHostNameBufferSize] = {};
  const auto& probe = system.hostNameUtf8 ? system.hostNameUtf8 : system.hostName;
  if (!probe || !probe(full)) return false;
  const std::size_t length = strnlen(full, sizeof full - 1);
  std::memset(name, 0, sizeof name);
  std::memcpy(name, full, Utf8CutLength(full, length, CHostIdentity::kHostNameLimit));
  return true;
}

}  // namespace seatenrol
