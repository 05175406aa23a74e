// A seat described by plain data, for running CHostIdentity without the system.
#ifndef SEATENROL_TESTS_HOSTINFO_FAKE_HOST_H
#define SEATENROL_TESTS_HOSTINFO_FAKE_HOST_H

#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "hostinfo/host_identity.h"
#include "platform/ipv4_text.h"

namespace seatenrol {
namespace testing_support {

inline AdapterRecord Adapter(const std::string& name, std::initializer_list<unsigned char> hardware,
                             std::vector<AdapterAddress> addresses,
                             std::vector<std::string> gateways) {
  AdapterRecord adapter;
  adapter.name = name;
  std::size_t i = 0;
  for (unsigned char byte : hardware) adapter.hardware[i++] = byte;
  adapter.hardwareLength = static_cast<unsigned int>(hardware.size());
  adapter.addresses = std::move(addresses);
  adapter.gateways = std::move(gateways);
  return adapter;
}

// A host entry whose texts are the dotted forms of its addresses.
inline HostEntry Entry(std::initializer_list<const char*> texts) {
  HostEntry entry;
  for (const char* text : texts) {
    std::uint32_t address = 0xFFFFFFFFu;
    ParseDottedIPv4(text, &address);
    entry.addresses.push_back(address);
    entry.texts.push_back(text);
  }
  return entry;
}

struct FakeHost {
  bool hasName = true;
  std::string name = "seat-07";
  bool resolves = true;
  HostEntry entry;
  bool adaptersReadable = true;
  std::vector<AdapterRecord> adapters;
  std::set<std::string> physical;  // names of the physical adapters
  int calls = 0;                   // every system operation counted

  HostSystem System() {
    HostSystem system;
    system.hostName = [this](char(&out)[kHostNameBufferSize]) {
      ++calls;
      if (!hasName) return false;
      std::strncpy(out, name.c_str(), kHostNameBufferSize - 1);
      return true;
    };
    system.hostEntry = [this](const char*, HostEntry& out) {
      ++calls;
      if (!resolves) return false;
      out = entry;
      return true;
    };
    system.adapters = [this](std::vector<AdapterRecord>& out) {
      ++calls;
      if (!adaptersReadable) return false;
      out = adapters;
      return true;
    };
    system.isPhysical = [this](const char* adapterName) {
      ++calls;
      return physical.count(adapterName) != 0;
    };
    return system;
  }
};

}  // namespace testing_support
}  // namespace seatenrol

#endif
