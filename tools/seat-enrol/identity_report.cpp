#include "seat-enrol/identity_report.h"

#include <algorithm>
#include <cstring>

#include "common/hex.h"
#include "platform/ipv4_text.h"
#include "seat-enrol/gbk_text.h"

namespace seatenrol {

namespace {

// The facts of probe handed out again, so the library's own discovery runs
// over exactly what was shown.
HostSystem Replay(const IdentityProbe& probe) {
  HostSystem system;
  system.hostName = [&probe](char(&out)[kHostNameBufferSize]) {
    if (!probe.haveName) return false;
    std::strncpy(out, probe.name.c_str(), kHostNameBufferSize - 1);
    return true;
  };
  system.hostEntry = [&probe](const char*, HostEntry& out) {
    if (!probe.resolves) return false;
    out = probe.entry;
    return true;
  };
  system.adapters = [&probe](std::vector<AdapterRecord>& out) {
    if (!probe.adaptersRead) return false;
    out = probe.adapters;
    return true;
  };
  system.isPhysical = [&probe](const char* name) {
    for (std::size_t i = 0; i < probe.adapters.size(); ++i) {
      if (probe.adapters[i].name == name) return static_cast<bool>(probe.physical[i]);
    }
    return true;
  };
  return system;
}

std::string DottedText(std::uint32_t address) {
  char text[16];
  FormatDottedIPv4(address, text);
  return text;
}

std::string HardwareText(const AdapterRecord& adapter) {
  const std::size_t length =
      std::min<std::size_t>(adapter.hardwareLength, kMaxHardwareAddressLength);
  if (length == 0) return "(none)";
  return ToHex(adapter.hardware, length);
}

std::string AddressOf(const IdentityProbe& probe, const RuleTraceStep& step) {
  return probe.adapters[step.adapter].addresses[step.address].address;
}

std::string StepText(const IdentityProbe& probe, const RuleTraceStep& step) {
  const AdapterRecord& adapter = probe.adapters[step.adapter];
  switch (step.step) {
    case RuleStep::kNotPhysical:
      return adapter.name + ": passed over: not a physical adapter";
    case RuleStep::kZeroHardware:
      return adapter.name + ": passed over: its hardware address is zero";
    case RuleStep::kLoopback:
      return adapter.name + " " + AddressOf(probe, step) + ": passed over: the loopback address";
    case RuleStep::kUnusable:
      return adapter.name + " " + AddressOf(probe, step) +
             ": passed over: not a usable address (unconfigured or unreadable)";
    case RuleStep::kNotHostAddress:
      return adapter.name + " " + AddressOf(probe, step) +
             ": passed over: not one of the host name's addresses";
    case RuleStep::kNoGateway:
      return adapter.name + " " + AddressOf(probe, step) +
             ": kept as the fallback: no gateway lies in its subnet (mask " +
             adapter.addresses[step.address].mask + ")";
    case RuleStep::kTaken:
      return adapter.name + " " + AddressOf(probe, step) + ": taken: gateway " +
             adapter.gateways[step.gateway] + " lies in its subnet (mask " +
             adapter.addresses[step.address].mask + ")";
  }
  return adapter.name;
}

std::string SourceText(Source source, const IdentityProbe& probe,
                       const IdentityAnalysis& analysis) {
  const std::string adapter =
      analysis.choice.matched ? probe.adapters[analysis.choice.adapter].name : std::string();
  switch (source) {
    case Source::kNone:
      return "";
    case Source::kAdapter:
      return "from adapter " + adapter;
    case Source::kHostName:
      return "from the host name's address list; no adapter met the rule";
    case Source::kFallbackBytes:
      return "not a hardware address: the bytes of " + DottedText(analysis.choice.fallback) +
             ", the rule's fallback address, stand in for it";
    case Source::kAddressBytes:
      return "not a hardware address: the bytes of " + analysis.ip +
             " from the host name's address list stand in for it";
  }
  return "";
}

std::string Line(const std::string& label, const std::string& value, const std::string& source) {
  if (value.empty()) return label + ": (not found)\n";
  return label + ": " + value + (source.empty() ? "" : " (" + source + ")") + "\n";
}

}  // namespace

IdentityProbe GatherIdentity(const HostSystem& system, const PhysicalAdapterExplanation& explain) {
  IdentityProbe probe;
  char name[kHostNameBufferSize] = {};
  probe.haveName = system.hostName && system.hostName(name);
  if (probe.haveName) {
    probe.name.assign(name, strnlen(name, sizeof name));
    probe.resolves = system.hostEntry && system.hostEntry(name, probe.entry);
  }
  probe.adaptersRead = system.adapters && system.adapters(probe.adapters);
  for (const AdapterRecord& adapter : probe.adapters) {
    std::string why;
    bool physical = true;
    if (explain) {
      physical = explain(adapter.name.c_str(), why);
    } else {
      physical = !system.isPhysical || system.isPhysical(adapter.name.c_str());
      why = physical ? "the physical-adapter test says so" : "the physical-adapter test says not";
    }
    probe.physical.push_back(physical);
    probe.physicalWhy.push_back(why);
  }
  return probe;
}

IdentityAnalysis AnalyseIdentity(const IdentityProbe& probe) {
  IdentityAnalysis analysis;
  const HostSystem replay = Replay(probe);
  if (probe.adaptersRead) {
    const HostEntry* host = probe.haveName && probe.resolves ? &probe.entry : nullptr;
    analysis.choice = ChooseAdapter(probe.adapters, host, replay.isPhysical, &analysis.trace);
  }
  CHostIdentity identity;
  if (const char* ip = identity.GetSystemIP(replay)) {
    analysis.ip = ip;
    analysis.ipSource = analysis.choice.matched ? Source::kAdapter : Source::kHostName;
  }
  if (identity.GetSystemMac(analysis.mac, sizeof analysis.mac, replay)) {
    analysis.macSource = analysis.choice.matched    ? Source::kAdapter
                         : analysis.choice.fallback ? Source::kFallbackBytes
                                                    : Source::kAddressBytes;
  }
  char host[CHostIdentity::kHostNameLimit] = {};
  analysis.haveHostName =
      identity.GetHostName(reinterpret_cast<unsigned char*>(host), sizeof host, replay) == 1;
  analysis.hostName.assign(host, strnlen(host, sizeof host));
  return analysis;
}

std::string DescribeIdentity(const IdentityProbe& probe, const IdentityAnalysis& analysis) {
  const std::string mac = analysis.macSource == Source::kNone
                              ? std::string()
                              : ToHex(analysis.mac, sizeof analysis.mac);
  return Line("ip", analysis.ip, SourceText(analysis.ipSource, probe, analysis)) +
         Line("mac", mac, SourceText(analysis.macSource, probe, analysis)) +
         Line("host name",
              analysis.haveHostName ? Escaped(analysis.hostName.data(), analysis.hostName.size())
                                    : std::string(),
              "");
}

std::string ExplainIdentity(const IdentityProbe& probe, const IdentityAnalysis& analysis) {
  std::string out;
  if (!probe.haveName) {
    out += "host name: (not found), so the rule takes an adapter address whatever it is\n";
  } else {
    out += "host name: " + Escaped(probe.name.data(), probe.name.size()) + "\n";
    if (!probe.resolves) {
      out +=
          "host name's addresses: (the name does not resolve), so the rule takes an adapter "
          "address whatever it is\n";
    } else {
      out += "host name's addresses:";
      for (const std::string& text : probe.entry.texts) out += " " + text;
      out += probe.entry.texts.empty() ? " (none), so no adapter address can pass\n" : "\n";
      const bool loopbackOnly =
          std::all_of(probe.entry.addresses.begin(), probe.entry.addresses.end(),
                      [](std::uint32_t address) { return address >> 24 == 127; });
      if (!probe.entry.addresses.empty() && loopbackOnly) {
        out +=
            "  the name maps to loopback only (as /etc/hosts often has it), so no adapter "
            "address is among its addresses\n";
      }
    }
  }

  if (!probe.adaptersRead) {
    out += "adapters: the system's list cannot be read\n";
  } else {
    out += "adapters, in the system's order:\n";
    for (std::size_t a = 0; a < probe.adapters.size(); ++a) {
      const AdapterRecord& adapter = probe.adapters[a];
      // Windows names an adapter by a GUID; its description says which card it is.
      const std::string described =
          adapter.description.empty() ? "" : " (" + GbkToUtf8(adapter.description) + ")";
      out += "  " + adapter.name + described + ": " +
             (probe.physical[a] ? "physical" : "not physical") + " (" + probe.physicalWhy[a] +
             ")\n";
      out += "    hardware address " + HardwareText(adapter) + "\n";
      for (const AdapterAddress& address : adapter.addresses) {
        out += "    address " + address.address + " mask " + address.mask + "\n";
      }
      if (adapter.addresses.empty()) out += "    no IPv4 address\n";
      for (const std::string& gateway : adapter.gateways) out += "    gateway " + gateway + "\n";
      if (adapter.gateways.empty()) out += "    no gateway\n";
    }
    out +=
        "adapter rule (a physical adapter with a non-zero hardware address, a non-loopback "
        "address among the host name's addresses and a gateway in that address's subnet; "
        "the first wins):\n";
    // The rule stops at the adapter it takes.
    const std::size_t examined =
        analysis.choice.matched ? analysis.choice.adapter + 1 : probe.adapters.size();
    for (std::size_t a = 0; a < examined; ++a) {
      bool stepped = false;
      for (const RuleTraceStep& step : analysis.trace) {
        if (step.adapter != a) continue;
        out += "  " + StepText(probe, step) + "\n";
        stepped = true;
      }
      if (!stepped) out += "  " + probe.adapters[a].name + ": no IPv4 address to try\n";
    }
    if (analysis.choice.matched && analysis.choice.adapter + 1 < probe.adapters.size()) {
      out += "  the adapters after " + probe.adapters[analysis.choice.adapter].name +
             " are not examined\n";
    }
    // Without a taken adapter the MAC falls back: to the rule's fallback
    // address when one passed all but the gateway test, else to the host
    // name's address (below).
    if (!analysis.choice.matched && analysis.choice.fallback != 0) {
      out += "fallback: " + DottedText(analysis.choice.fallback) +
             " (the last address that passed all but the gateway test): its bytes stand in for "
             "the mac\n";
    } else if (!analysis.choice.matched && analysis.macSource == Source::kAddressBytes) {
      out +=
          "fallback: no adapter address passed all but the gateway test, so the mac falls back "
          "to the bytes of the host name's address\n";
    } else if (!analysis.choice.matched) {
      out += "fallback: none: no adapter address passed all but the gateway test\n";
    }
  }
  out += DescribeIdentity(probe, analysis);
  return out;
}

}  // namespace seatenrol
