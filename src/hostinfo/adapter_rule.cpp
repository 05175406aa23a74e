#include "hostinfo/adapter_rule.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "platform/ipv4_text.h"
#include "seatenrol/transport.h"

namespace seatenrol {

namespace {

constexpr std::uint32_t kAddressNone = 0xFFFFFFFFu;
constexpr char kLoopbackText[] = "127.0.0.1";

bool HardwareAddressIsZero(const AdapterRecord& adapter) {
  // Only the six bytes of an Ethernet address count, whatever length is reported.
  for (std::size_t i = 0; i < 6; ++i) {
    if (adapter.hardware[i] != 0) return false;
  }
  return true;
}

bool IsHostAddress(const HostEntry& host, std::uint32_t address) {
  return std::find(host.addresses.begin(), host.addresses.end(), address) != host.addresses.end();
}

// The index of the first gateway inside the subnet, or kNone.
std::size_t GatewayInSubnet(const AdapterRecord& adapter, std::uint32_t address,
                            std::uint32_t mask) {
  for (std::size_t g = 0; g < adapter.gateways.size(); ++g) {
    if ((AddressValue(adapter.gateways[g].c_str()) & mask) == (address & mask)) return g;
  }
  return RuleTraceStep::kNone;
}

void Note(RuleTrace* trace, std::size_t adapter, std::size_t address, RuleStep step,
          std::size_t gateway = RuleTraceStep::kNone) {
  if (trace == nullptr) return;
  RuleTraceStep entry;
  entry.adapter = adapter;
  entry.address = address;
  entry.gateway = gateway;
  entry.step = step;
  trace->push_back(entry);
}

}  // namespace

std::uint32_t AddressValue(const char* text) {
  std::uint32_t value = kAddressNone;
  ParseDottedIPv4(text, &value);
  return value;
}

AdapterChoice ChooseAdapter(const std::vector<AdapterRecord>& adapters, const HostEntry* host,
                            const PhysicalAdapterTest& isPhysical, RuleTrace* trace) {
  constexpr std::size_t kWholeAdapter = RuleTraceStep::kNone;
  AdapterChoice choice;
  for (std::size_t a = 0; a < adapters.size(); ++a) {
    const AdapterRecord& adapter = adapters[a];
    if (isPhysical && !isPhysical(adapter.name.c_str())) {
      Note(trace, a, kWholeAdapter, RuleStep::kNotPhysical);
      continue;
    }
    if (HardwareAddressIsZero(adapter)) {
      Note(trace, a, kWholeAdapter, RuleStep::kZeroHardware);
      continue;
    }
    for (std::size_t i = 0; i < adapter.addresses.size(); ++i) {
      const AdapterAddress& entry = adapter.addresses[i];
      if (entry.address == kLoopbackText) {
        Note(trace, a, i, RuleStep::kLoopback);
        continue;
      }
      const std::uint32_t address = AddressValue(entry.address.c_str());
      // An unconfigured adapter lists 0.0.0.0, and unreadable text reads as
      // 255.255.255.255: neither is the seat's address, and with a zero mask
      // either would otherwise pass the gateway test.
      if (address == 0 || address == kAddressNone) {
        Note(trace, a, i, RuleStep::kUnusable);
        continue;
      }
      if (host != nullptr && !IsHostAddress(*host, address)) {
        Note(trace, a, i, RuleStep::kNotHostAddress);
        continue;
      }
      choice.fallback = address;
      const std::size_t gateway =
          GatewayInSubnet(adapter, address, AddressValue(entry.mask.c_str()));
      if (gateway != RuleTraceStep::kNone) {
        Note(trace, a, i, RuleStep::kTaken, gateway);
        choice.matched = true;
        choice.adapter = a;
        choice.address = i;
        return choice;
      }
      Note(trace, a, i, RuleStep::kNoGateway);
    }
  }
  return choice;
}

const char* ChooseHostAddressText(const std::vector<std::string>& texts) {
  if (texts.empty()) return nullptr;
  const std::string* chosen = &texts.back();
  for (const std::string& text : texts) {
    if (CSocketAddress::CheckStrIP(text.c_str()) && text != kLoopbackText) {
      chosen = &text;
      break;
    }
  }
  return chosen->empty() ? nullptr : chosen->c_str();
}

bool AdapterTable::Resize(unsigned long size) noexcept {
  m_data.reset();
  m_size = 0;
  if (size == 0) return true;
  // No exception can leave here: the discovery runs in hosts whose unwinder
  // cannot be relied on, so a refused allocation is a plain result.
  m_data.reset(new (std::nothrow) unsigned char[size]());
  if (m_data == nullptr) return false;
  m_size = size;
  return true;
}

bool FetchAdapterTable(const AdapterTableQuery& query, AdapterTable& table) noexcept {
  if (!query || !table.Resize(kAdapterRecordSize)) return false;
  unsigned long size = kAdapterRecordSize;
  unsigned long result = query(table.Data(), &size);
  for (int fetch = 0; fetch <= kAdapterTableRetries; ++fetch) {
    if (result == kBufferOverflow) {
      // The size the table needs now; a larger one than the last, or more of the same.
      const unsigned long needed = std::max(size, table.Size());
      if (needed > kAdapterTableLimit || !table.Resize(needed)) break;
    }
    size = table.Size();
    result = query(table.Data(), &size);
    if (result == 0) return true;
    if (result != kBufferOverflow) break;
  }
  table.Clear();
  return false;
}

}  // namespace seatenrol
