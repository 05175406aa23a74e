// The adapter rule over any adapter data. The input decodes into adapters
// (physical or not, hardware address and its length, address/mask pairs,
// gateways), the host name's address list (or no name, or no entry) and an
// out length. FindLocalAdapter, GetSystemMac and GetSystemIP run over that
// data and are compared with a reference reading of the rule written here:
// the same choice, the same fallback, the out bytes exactly as the rule
// writes them and not one byte beyond.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "hostinfo/host_identity.h"

namespace {

using seatenrol::AdapterAddress;
using seatenrol::AdapterRecord;
using seatenrol::CHostIdentity;
using seatenrol::HostEntry;
using seatenrol::HostSystem;
using seatenrol::fuzz::InputReader;
using seatenrol::fuzz::ReferenceParse;
using seatenrol::fuzz::Require;

constexpr std::size_t kOutSize = 64;
constexpr unsigned char kUntouched = 0xA5;
constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// Texts the rule meets in practice, so the fuzzer need not find them.
const char* const kPalette[] = {
    "192.168.1.10", "192.168.1.1", "255.255.255.0",   "10.0.0.5",  "10.0.0.1",   "255.0.0.0",
    "127.0.0.1",    "0.0.0.0",     "255.255.255.255", "",          "172.16.3.4", "192.168.1.010",
    "1.2.3",        "192.168.2.1", "255.255.0.0",     "127.0.0.1 "};

std::string FormatAddress(std::uint32_t value) {
  return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
         std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

// One text: a palette entry, four raw bytes as dotted text, or raw bytes.
std::string TextFrom(InputReader& input) {
  const std::uint8_t kind = input.Byte();
  if (kind < 0xA0) return kPalette[kind % (sizeof kPalette / sizeof kPalette[0])];
  if (kind < 0xE0) {
    std::uint8_t b[4] = {};
    input.Bytes(b, 4);
    return FormatAddress(static_cast<std::uint32_t>(b[0]) << 24 | b[1] << 16 | b[2] << 8 | b[3]);
  }
  char raw[40] = {};
  input.Bytes(raw, kind % 40u);
  return std::string(raw);
}

struct Scenario {
  std::vector<AdapterRecord> adapters;
  std::vector<bool> physical;
  bool hasName = false;
  bool resolves = false;
  HostEntry host;
  int outLength = 0;
};

Scenario Decode(InputReader& input) {
  Scenario s;
  const std::uint8_t shape = input.Byte();
  s.hasName = (shape & 1) == 0;
  s.resolves = (shape & 2) == 0;
  s.outLength = static_cast<int>(input.Byte() % 20u) - 2;  // -2 .. 17
  const int adapters = input.Byte() % 5;
  for (int a = 0; a < adapters; ++a) {
    AdapterRecord adapter;
    const std::uint8_t flags = input.Byte();
    adapter.name = "{adapter-" + std::to_string(a) + "}";
    s.physical.push_back((flags & 1) == 0);
    adapter.hardwareLength = input.Byte() % 10u;
    if ((flags & 2) == 0) input.Bytes(adapter.hardware, sizeof adapter.hardware);
    const int addresses = (flags >> 2) % 4;
    for (int i = 0; i < addresses; ++i) {
      AdapterAddress entry;
      entry.address = TextFrom(input);
      entry.mask = TextFrom(input);
      adapter.addresses.push_back(entry);
    }
    const int gateways = (flags >> 4) % 4;
    for (int g = 0; g < gateways; ++g) adapter.gateways.push_back(TextFrom(input));
    s.adapters.push_back(adapter);
  }
  const int hostAddresses = input.Byte() % 5;
  for (int h = 0; h < hostAddresses; ++h) {
    const std::string text = TextFrom(input);
    std::uint32_t value = kNone;
    ReferenceParse(text, &value);
    s.host.addresses.push_back(value);
    s.host.texts.push_back(text);
  }
  return s;
}

HostSystem SystemOf(const Scenario& s) {
  HostSystem system;
  system.hostName = [&s](char(&name)[seatenrol::kHostNameBufferSize]) {
    if (!s.hasName) return false;
    std::strcpy(name, "seat-under-test");
    return true;
  };
  system.hostEntry = [&s](const char*, HostEntry& entry) {
    if (!s.resolves) return false;
    entry = s.host;
    return true;
  };
  system.adapters = [&s](std::vector<AdapterRecord>& adapters) {
    adapters = s.adapters;
    return true;
  };
  system.isPhysical = [&s](const char* name) {
    for (std::size_t a = 0; a < s.adapters.size(); ++a) {
      if (s.adapters[a].name == name) return static_cast<bool>(s.physical[a]);
    }
    Require(false, "the physical test is asked about a listed adapter");
    return false;
  };
  return system;
}

struct Expected {
  bool matched = false;
  std::size_t adapter = 0;
  std::size_t address = 0;
  std::uint32_t fallback = 0;
};

// The rule as the seat applies it: physical, a non-zero six-byte hardware
// address, a readable address other than loopback, 0.0.0.0 and
// 255.255.255.255, among the host's addresses when the host entry is known,
// and a gateway in its subnet.
Expected ReferenceRule(const Scenario& s) {
  const bool hostKnown = s.hasName && s.resolves;
  Expected e;
  for (std::size_t a = 0; a < s.adapters.size(); ++a) {
    const AdapterRecord& adapter = s.adapters[a];
    if (!s.physical[a]) continue;
    if (std::all_of(adapter.hardware, adapter.hardware + 6, [](unsigned char b) { return b == 0; }))
      continue;
    for (std::size_t i = 0; i < adapter.addresses.size(); ++i) {
      const std::string& text = adapter.addresses[i].address;
      std::uint32_t address = kNone;
      if (text == "127.0.0.1" || !ReferenceParse(text, &address)) continue;
      if (address == 0 || address == kNone) continue;
      if (hostKnown && std::find(s.host.addresses.begin(), s.host.addresses.end(), address) ==
                           s.host.addresses.end())
        continue;
      e.fallback = address;
      std::uint32_t mask = kNone;
      ReferenceParse(adapter.addresses[i].mask, &mask);
      for (const std::string& gatewayText : adapter.gateways) {
        std::uint32_t gateway = kNone;
        ReferenceParse(gatewayText, &gateway);
        if ((gateway & mask) == (address & mask)) {
          e.matched = true;
          e.adapter = a;
          e.address = i;
          return e;
        }
      }
    }
  }
  return e;
}

// The host list's text: the first valid text other than loopback, else the
// last one; none for an empty list or an empty text.
const std::string* ReferenceHostText(const Scenario& s) {
  if (!s.hasName || !s.resolves || s.host.texts.empty()) return nullptr;
  const std::string* chosen = &s.host.texts.back();
  for (const std::string& text : s.host.texts) {
    std::uint32_t ignored;
    if (text != "127.0.0.1" && ReferenceParse(text, &ignored)) {
      chosen = &text;
      break;
    }
  }
  return chosen->empty() ? nullptr : chosen;
}

bool Untouched(const unsigned char* out, std::size_t from) {
  return std::all_of(out + from, out + kOutSize, [](unsigned char b) { return b == kUntouched; });
}

void StoreBigEndian(std::uint32_t value, unsigned char* bytes) {
  bytes[0] = static_cast<unsigned char>(value >> 24);
  bytes[1] = static_cast<unsigned char>(value >> 16);
  bytes[2] = static_cast<unsigned char>(value >> 8);
  bytes[3] = static_cast<unsigned char>(value);
}

void CheckFindLocalAdapter(const Scenario& s, const HostSystem& system, const Expected& e) {
  CHostIdentity identity;
  unsigned char out[kOutSize];
  std::memset(out, kUntouched, sizeof out);
  const int found = identity.FindLocalAdapter(out, s.outLength, system);
  if (s.outLength <= 0) {
    Require(found == 0 && Untouched(out, 0), "no out buffer: nothing found, nothing written");
    return;
  }
  const auto length = static_cast<std::size_t>(s.outLength);
  if (e.matched) {
    const AdapterRecord& adapter = s.adapters[e.adapter];
    const std::size_t n = std::min<std::size_t>({adapter.hardwareLength, 8, length});
    Require(found == 1, "a matching adapter is found");
    Require(std::memcmp(out, adapter.hardware, n) == 0, "out holds the hardware address");
    Require(Untouched(out, n), "out beyond the hardware address is untouched");
    Require(std::memcmp(identity.Mac(), adapter.hardware, std::min<std::size_t>(n, 6)) == 0,
            "the MAC field holds the hardware address");
    Require(adapter.addresses[e.address].address == identity.IPText(), "the IP text is chosen");
    return;
  }
  Require(identity.IPText()[0] == '\0', "without a match the IP text stays empty");
  if (e.fallback == 0) {
    Require(found == 0 && Untouched(out, 0), "nothing passed: nothing found, nothing written");
    return;
  }
  unsigned char want[kOutSize];
  std::memset(want, kUntouched, sizeof want);
  std::memset(want, 0, length);
  unsigned char bytes[4];
  StoreBigEndian(e.fallback, bytes);
  std::memcpy(want, bytes, std::min<std::size_t>(length, 4));
  Require(found == 1, "a passing address is the fallback");
  Require(std::memcmp(out, want, sizeof out) == 0, "out holds the fallback address and zeros");
}

void CheckSystemIPAndMac(const Scenario& s, const HostSystem& system, const Expected& e) {
  const std::string* hostText = ReferenceHostText(s);

  CHostIdentity identity;
  const char* ip = identity.GetSystemIP(system);
  if (e.matched) {
    Require(ip != nullptr && s.adapters[e.adapter].addresses[e.address].address == ip,
            "GetSystemIP takes the matching adapter's address");
  } else if (hostText != nullptr) {
    Require(ip != nullptr && std::string(ip) == hostText->substr(0, 15),
            "GetSystemIP falls back to the host name's list");
  } else {
    Require(ip == nullptr, "GetSystemIP finds nothing");
  }
  if (ip != nullptr) {
    Require(std::memchr(ip, '\0', CHostIdentity::kIPTextSize) != nullptr, "IP text terminated");
    Require(identity.GetSystemIP(system) == ip, "GetSystemIP caches");
  }

  if (s.outLength <= 0) return;
  CHostIdentity fresh;
  unsigned char out[kOutSize];
  std::memset(out, kUntouched, sizeof out);
  const int mac = fresh.GetSystemMac(out, s.outLength, system);
  if (e.matched || e.fallback != 0) {
    Require(mac == 1, "GetSystemMac takes the adapter rule's answer");
    return;  // its bytes are checked through FindLocalAdapter
  }
  if (hostText == nullptr) {
    Require(mac == 0 && Untouched(out, 0), "GetSystemMac finds nothing");
    return;
  }
  std::uint32_t value = kNone;
  ReferenceParse(*hostText, &value);
  unsigned char want[kOutSize];
  std::memset(want, kUntouched, sizeof want);
  StoreBigEndian(value, want);
  if (s.outLength > 4) want[4] = 0;
  const auto length = static_cast<std::size_t>(s.outLength);
  Require(mac == 1, "GetSystemMac falls back to the host address");
  Require(std::memcmp(out, want, std::min<std::size_t>(length, 5)) == 0 &&
              Untouched(out, std::min<std::size_t>(length, 5)),
          "host address bytes, a zero, and nothing else");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  InputReader input(data, size);
  const Scenario scenario = Decode(input);
  const HostSystem system = SystemOf(scenario);
  const Expected expected = ReferenceRule(scenario);
  CheckFindLocalAdapter(scenario, system, expected);
  CheckSystemIPAndMac(scenario, system, expected);
  return 0;
}
