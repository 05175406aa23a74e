// Runs the benchmarks and then prints each one beside its floor, the bare
// system work it cannot do without, measured in the same run: the ratio says
// how much the library adds. Goals are printed, never enforced.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>

namespace {

struct Comparison {
  const char* subject;
  const char* floor;  // null: the subject is reported alone
  double goal;        // largest wanted ratio; 0: none
  const char* what;
};

constexpr Comparison kComparisons[] = {
    {"BM_Register", "BM_BareRoundTrip", 6.0, "one exchange vs bare socket round trip"},
    {"BM_RegisterServer", "BM_Register", 0, "enrolment incl. durable list update vs exchange"},
    {"BM_WriteRegAddrs", "BM_RegisterServer", 0, "store write's share of the enrolment"},
    {"BM_SealSerial", "BM_MinimalAesEcb", 3.0, "sealing vs minimal AES-128-ECB, 32 bytes"},
    {"BM_WriteLog", "BM_BareLogLine", 1.5, "log line vs stat+fopen+fwrite+fclose"},
    {"BM_GetSystemIPUncached", "BM_Getifaddrs", 3.0, "IP discovery vs one getifaddrs"},
    {"BM_GetSystemMac", "BM_Getifaddrs", 0, "MAC discovery vs one getifaddrs"},
    {"BM_EncodeRequest", nullptr, 0, "359-byte request into a buffer"},
    {"BM_ParseResponse", nullptr, 0, "191-byte response into a record"},
};

// Keeps the mean time per iteration, in nanoseconds, of every run.
class RecordingReporter : public benchmark::ConsoleReporter {
public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred || run.run_type != Run::RT_Iteration) continue;
      const double ns =
          run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) * 1e9;
      m_ns[run.run_name.function_name] = ns;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  const double* Find(const char* name) const {
    const auto it = m_ns.find(name);
    return it == m_ns.end() ? nullptr : &it->second;
  }

private:
  std::map<std::string, double> m_ns;
};

void PrintComparisons(const RecordingReporter& reporter) {
  std::printf("\n%-24s %12s  %-20s %12s %8s %6s  %s\n", "benchmark", "ns", "floor", "floor ns",
              "ratio", "goal", "");
  for (const Comparison& c : kComparisons) {
    const double* subject = reporter.Find(c.subject);
    if (subject == nullptr) continue;
    const double* floor = c.floor != nullptr ? reporter.Find(c.floor) : nullptr;
    if (floor == nullptr) {
      std::printf("%-24s %12.0f  %-20s %12s %8s %6s  %s\n", c.subject, *subject, "-", "-", "-", "-",
                  c.what);
      continue;
    }
    const double ratio = *subject / *floor;
    char goal[16] = "-";
    const char* verdict = "";
    if (c.goal > 0) {
      std::snprintf(goal, sizeof goal, "%.1fx", c.goal);
      verdict = ratio <= c.goal ? " [met]" : " [MISSED]";
    }
    std::printf("%-24s %12.0f  %-20s %12.0f %7.2fx %6s  %s%s\n", c.subject, *subject, c.floor,
                *floor, ratio, goal, c.what, verdict);
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  RecordingReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  PrintComparisons(reporter);
  return 0;
}
