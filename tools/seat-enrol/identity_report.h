// The seat's identity as the library finds it, and why: what the system
// told about the seat, gathered once, then the library's own adapter rule
// and discovery run over that data.
#ifndef SEATENROL_TOOLS_SEAT_ENROL_IDENTITY_REPORT_H
#define SEATENROL_TOOLS_SEAT_ENROL_IDENTITY_REPORT_H

#include <functional>
#include <string>
#include <vector>

#include "hostinfo/host_identity.h"

namespace seatenrol {

// The physical-adapter test with the words that explain its answer.
using PhysicalAdapterExplanation = std::function<bool(const char* adapterName, std::string& why)>;

struct IdentityProbe {
  bool haveName = false;
  std::string name;
  bool resolves = false;  // with haveName: the name's host entry was found
  HostEntry entry;
  bool adaptersRead = false;
  std::vector<AdapterRecord> adapters;
  std::vector<bool> physical;  // per adapter
  std::vector<std::string> physicalWhy;
};

// Asks system once for each fact. Without explain, the reason for each
// physical-adapter answer is that of system's own test.
IdentityProbe GatherIdentity(const HostSystem& system,
                             const PhysicalAdapterExplanation& explain = nullptr);

enum class Source {
  kNone,           // not found
  kAdapter,        // the adapter the rule took
  kHostName,       // the host name's address list
  kFallbackBytes,  // MAC only: the fallback address's four bytes
  kAddressBytes,   // MAC only: the four bytes of the host name's address
};

struct IdentityAnalysis {
  AdapterChoice choice;
  RuleTrace trace;
  std::string ip;  // empty when not found
  Source ipSource = Source::kNone;
  unsigned char mac[CHostIdentity::kMacSize] = {};
  Source macSource = Source::kNone;
  std::string hostName;  // as the request carries it: at most 20 bytes
  bool haveHostName = false;
};

// The library's rule and discovery over probe, as a request would see them.
IdentityAnalysis AnalyseIdentity(const IdentityProbe& probe);

// The three lines of the identity, each with where it came from.
std::string DescribeIdentity(const IdentityProbe& probe, const IdentityAnalysis& analysis);

// Every adapter, the host name's addresses, each step of the rule, the
// fallback and the outcome.
std::string ExplainIdentity(const IdentityProbe& probe, const IdentityAnalysis& analysis);

}  // namespace seatenrol

#endif
