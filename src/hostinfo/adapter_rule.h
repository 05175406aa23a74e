// The choice of the seat's own address and hardware address, over plain data
// so that it runs the same whatever system filled the data in.
#ifndef SEATENROL_HOSTINFO_ADAPTER_RULE_H
#define SEATENROL_HOSTINFO_ADAPTER_RULE_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace seatenrol {

// Longest hardware address an adapter reports.
constexpr std::size_t kMaxHardwareAddressLength = 8;

struct AdapterAddress {
  std::string address;  // dotted text
  std::string mask;     // dotted text
};

// One network adapter as the system lists it.
struct AdapterRecord {
  std::string name;         // what the physical-adapter test is asked about
  std::string description;  // the system's words for it, where it has any (Windows)
  unsigned char hardware[kMaxHardwareAddressLength] = {};
  unsigned int hardwareLength = 0;
  std::vector<AdapterAddress> addresses;  // in the system's order
  std::vector<std::string> gateways;      // dotted texts, in the system's order
};

// The host entry of the seat's own name: its IPv4 addresses in list order
// (host byte order) and the dotted text the socket layer gave for each
// (empty where it gave none).
struct HostEntry {
  std::vector<std::uint32_t> addresses;
  std::vector<std::string> texts;
};

using PhysicalAdapterTest = std::function<bool(const char* adapterName)>;

// What the adapter rule found.
struct AdapterChoice {
  bool matched = false;        // an adapter, address and gateway met the rule
  std::size_t adapter = 0;     // with matched: index into the adapter list
  std::size_t address = 0;     // with matched: index into that adapter's addresses
  std::uint32_t fallback = 0;  // last address that passed all but the gateway test; 0 = none
};

// What the adapter rule did at one adapter or one of its addresses.
enum class RuleStep {
  kNotPhysical,     // adapter passed over: the physical-adapter test said no
  kZeroHardware,    // adapter passed over: its first six hardware bytes are zero
  kLoopback,        // address passed over: it is "127.0.0.1"
  kUnusable,        // address passed over: 0.0.0.0 or text that does not read
  kNotHostAddress,  // address passed over: not among the host entry's addresses
  kNoGateway,       // address became the fallback: no gateway lies in its subnet
  kTaken,           // address chosen: the gateway lies in its subnet
};

// One step of the rule, in the order the rule took them. Adapter steps name
// no address; a taken address names the gateway that decided it.
struct RuleTraceStep {
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t adapter = 0;
  std::size_t address = kNone;
  std::size_t gateway = kNone;
  RuleStep step = RuleStep::kNotPhysical;
};
using RuleTrace = std::vector<RuleTraceStep>;

// The address value of dotted text as the socket layer's inet_addr reads it,
// in host byte order; 0xFFFFFFFF (INADDR_NONE) for text it cannot read.
std::uint32_t AddressValue(const char* text);

// The adapter rule. Adapters are taken in list order, then their addresses,
// then their gateways; the first adapter that is physical, has a non-zero
// hardware address and carries a non-loopback address that is among the host
// entry's addresses (any address when host is null) with a gateway inside
// that address's subnet wins. With trace, every adapter and address the rule
// looked at is appended to it with the step that passed over or took it.
AdapterChoice ChooseAdapter(const std::vector<AdapterRecord>& adapters, const HostEntry* host,
                            const PhysicalAdapterTest& isPhysical, RuleTrace* trace = nullptr);

// The walk over the host entry's address texts: the first valid dotted text
// that is not "127.0.0.1", else the last text whatever it is. Null for an
// empty list or an empty chosen text.
const char* ChooseHostAddressText(const std::vector<std::string>& texts);

// The memory the adapter table is fetched into: a heap block that refuses
// an allocation rather than throwing, so that running out of memory in the
// discovery is a result, not an unwinding.
class AdapterTable {
public:
  // A block of size bytes in place of the old one, zeroed; false (the table
  // then empty) when there is no memory for it.
  bool Resize(unsigned long size) noexcept;
  void Clear() noexcept { Resize(0); }
  unsigned char* Data() noexcept { return m_data.get(); }
  const unsigned char* Data() const noexcept { return m_data.get(); }
  unsigned long Size() const noexcept { return m_size; }

private:
  std::unique_ptr<unsigned char[]> m_data;
  unsigned long m_size = 0;
};

// The adapter table's protocol: a first query into 640 bytes; when it
// reports the buffer too small (111) the buffer takes the size the query
// wrote back; then a second query into the current buffer, made in every
// case. A table that grew between the two (a DHCP lease or a VPN at logon)
// makes the second report 111 too: the buffer then takes the newer size and
// the query runs again, up to three more times. True with table holding the
// table when a query after the first returns 0; false, the table empty, when
// none does, when no memory is left or when the size asked for passes 4 MiB.
using AdapterTableQuery = std::function<unsigned long(void* buffer, unsigned long* size)>;
constexpr unsigned long kAdapterRecordSize = 640;
constexpr unsigned long kBufferOverflow = 111;
constexpr int kAdapterTableRetries = 3;
constexpr unsigned long kAdapterTableLimit = 4ul * 1024 * 1024;
bool FetchAdapterTable(const AdapterTableQuery& query, AdapterTable& table) noexcept;

}  // namespace seatenrol

#endif
