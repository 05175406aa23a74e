// clang-format off
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
// clang-format on

#include <algorithm>
#include <cstring>
#include <string>

#include "hostinfo/host_identity.h"
#include "hostinfo/host_probe.h"
#include "platform/system_error.h"
#include "platform/wide_text_win.h"

namespace seatenrol {

namespace {

constexpr char kNetworkClassKey[] =
    "System\\CurrentControlSet\\Control\\Network\\{4D36E972-E325-11CE-BFC1-08002BE10318}";

// The text of a fixed 16-byte address field, which need not be terminated.
std::string FieldText(const IP_ADDRESS_STRING& field) {
  const char* text = field.String;
  const void* end = std::memchr(text, 0, sizeof field.String);
  const std::size_t length = end == nullptr
                                 ? sizeof field.String
                                 : static_cast<std::size_t>(static_cast<const char*>(end) - text);
  return std::string(text, length);
}

AdapterRecord RecordOf(const IP_ADAPTER_INFO& info) {
  AdapterRecord adapter;
  adapter.name.assign(info.AdapterName, strnlen(info.AdapterName, sizeof info.AdapterName));
  adapter.description.assign(info.Description, strnlen(info.Description, sizeof info.Description));
  std::memcpy(adapter.hardware, info.Address,
              std::min<std::size_t>(sizeof info.Address, kMaxHardwareAddressLength));
  adapter.hardwareLength = info.AddressLength;
  for (const IP_ADDR_STRING* item = &info.IpAddressList; item != nullptr; item = item->Next) {
    adapter.addresses.push_back({FieldText(item->IpAddress), FieldText(item->IpMask)});
  }
  for (const IP_ADDR_STRING* item = &info.GatewayList; item != nullptr; item = item->Next) {
    adapter.gateways.push_back(FieldText(item->IpAddress));
  }
  return adapter;
}

}  // namespace

bool ProbeHostName(char (&name)[kHostNameBufferSize]) {
  if (gethostname(name, kHostNameBufferSize) != SOCKET_ERROR) return true;
  RecordSystemError(WSAGetLastError());
  return false;
}

// GetComputerNameExW rather than GetHostNameW, which Windows 7 lacks; the
// physical DNS host name is the one gethostname gives, in the wide API's
// characters.
bool ProbeHostNameUtf8(char (&name)[kHostNameBufferSize]) {
  wchar_t wide[kHostNameBufferSize] = {};
  DWORD size = kHostNameBufferSize;  // characters, terminator included
  if (!GetComputerNameExW(ComputerNamePhysicalDnsHostname, wide, &size) || size == 0) return false;
  std::string utf8;
  if (!Utf8FromWide(wide, size, utf8)) return false;
  const std::size_t length = Utf8CutLength(utf8.data(), utf8.size(), kHostNameBufferSize - 1);
  std::memcpy(name, utf8.data(), length);
  return true;
}

bool ProbeAdapters(std::vector<AdapterRecord>& adapters) {
  adapters.clear();
  std::vector<unsigned char> table;
  DWORD last = ERROR_SUCCESS;
  const bool fetched = FetchAdapterTable(
      [&last](void* buffer, unsigned long* size) {
        ULONG length = *size;
        last = GetAdaptersInfo(static_cast<IP_ADAPTER_INFO*>(buffer), &length);
        *size = length;
        return static_cast<unsigned long>(last);
      },
      table);
  if (!fetched) {
    // GetAdaptersInfo returns its system error code rather than setting it.
    RecordSystemError(static_cast<int>(last));
    return false;
  }
  for (const IP_ADAPTER_INFO* info = reinterpret_cast<const IP_ADAPTER_INFO*>(table.data());
       info != nullptr; info = info->Next) {
    adapters.push_back(RecordOf(*info));
  }
  return true;
}

namespace {

// The system's wide text in the ANSI code page, as GetAdaptersInfo gives its texts.
std::string AnsiText(const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return std::string();
  const int size = WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string ansi(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_ACP, 0, text, -1, &ansi[0], size, nullptr, nullptr);
  ansi.resize(static_cast<std::size_t>(size - 1));
  return ansi;
}

bool HasIPv4Address(const IP_ADAPTER_ADDRESSES& adapter) {
  for (const IP_ADAPTER_UNICAST_ADDRESS* item = adapter.FirstUnicastAddress; item != nullptr;
       item = item->Next) {
    if (item->Address.lpSockaddr != nullptr && item->Address.lpSockaddr->sa_family == AF_INET) {
      return true;
    }
  }
  return false;
}

}  // namespace

// GetAdaptersInfo lists the adapters that IPv4 is bound to; GetAdaptersAddresses
// also names those without an IPv4 address, under the same names. The
// loopback pseudo-interface, which has one but is no adapter, stays out.
bool ProbeEveryInterface(std::vector<AdapterRecord>& adapters) {
  if (!ProbeAdapters(adapters)) return false;
  constexpr ULONG kFlags =
      GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;
  std::vector<unsigned char> table;
  ULONG size = 16 * 1024;
  ULONG result = ERROR_BUFFER_OVERFLOW;
  // The table may grow between two calls, so one more may be needed.
  for (int attempt = 0; attempt < 3 && result == ERROR_BUFFER_OVERFLOW; ++attempt) {
    table.resize(size);
    result = GetAdaptersAddresses(AF_UNSPEC, kFlags, nullptr,
                                  reinterpret_cast<IP_ADAPTER_ADDRESSES*>(table.data()), &size);
  }
  // Without the second list, the first is still the whole of what the rule sees.
  if (result != ERROR_SUCCESS) return true;
  for (const auto* item = reinterpret_cast<const IP_ADAPTER_ADDRESSES*>(table.data());
       item != nullptr; item = item->Next) {
    if (item->AdapterName == nullptr || HasIPv4Address(*item)) continue;
    const std::string name = item->AdapterName;
    if (std::any_of(adapters.begin(), adapters.end(),
                    [&name](const AdapterRecord& adapter) { return adapter.name == name; })) {
      continue;
    }
    AdapterRecord adapter;
    adapter.name = name;
    adapter.description = AnsiText(item->Description);
    adapter.hardwareLength = static_cast<unsigned int>(
        std::min<std::size_t>(item->PhysicalAddressLength, kMaxHardwareAddressLength));
    std::memcpy(adapter.hardware, item->PhysicalAddress, adapter.hardwareLength);
    adapters.push_back(adapter);
  }
  return true;
}

namespace {

// An open registry key, closed when its owner goes: building the explanation
// may run out of memory while both keys are open.
class RegistryKey {
public:
  RegistryKey() = default;
  ~RegistryKey() {
    if (m_key != nullptr) RegCloseKey(m_key);
  }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens subKey of parent for reading; false when it cannot be opened.
  bool Open(HKEY parent, const char* subKey) {
    return RegOpenKeyExA(parent, subKey, 0, KEY_READ, &m_key) == ERROR_SUCCESS;
  }
  HKEY Get() const { return m_key; }

private:
  HKEY m_key = nullptr;
};

// The physical-adapter test; reason, when given, receives what decided it.
// The discovery itself asks without one, so it builds no text.
bool TestPhysicalAdapter(const char* adapterName, std::string* reason) {
  if (reason != nullptr) *reason = "its registry entry cannot be read, which counts as physical";
  if (adapterName == nullptr) return true;
  RegistryKey networkClass;
  if (!networkClass.Open(HKEY_LOCAL_MACHINE, kNetworkClassKey)) return true;
  const std::string connection = std::string(adapterName) + "\\Connection";
  RegistryKey adapterKey;
  if (!adapterKey.Open(networkClass.Get(), connection.c_str())) return true;
  // One byte more than the read may fill, so the value always ends in a terminator.
  char instance[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  const LONG read = RegQueryValueExA(adapterKey.Get(), "PnpInstanceID", nullptr, nullptr,
                                     reinterpret_cast<BYTE*>(instance), &size);
  const bool physical = read != ERROR_SUCCESS || std::strncmp(instance, "PCI", 3) == 0;
  if (read == ERROR_SUCCESS && reason != nullptr) {
    *reason = std::string("its PnpInstanceID is ") + instance;
  }
  return physical;
}

}  // namespace

bool ProbeIsPhysicalAdapter(const char* adapterName) {
  return TestPhysicalAdapter(adapterName, nullptr);
}

bool ExplainPhysicalAdapter(const char* adapterName, std::string& reason) {
  return TestPhysicalAdapter(adapterName, &reason);
}

}  // namespace seatenrol
