// The seat-enrol command line as a technician runs it, against the reference
// server on loopback.
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "common/hex.h"
#include "e2e_support.h"
#include "hosts_only_lookups.h"
#include "net_test_util.h"
#include "seatenrol/version.h"

namespace seatenrol_test {
namespace {

const char kVenue[] = "440106123456";

struct ToolRun {
  int status;
  std::string output;
};

ToolRun SeatEnrol(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {SEAT_ENROL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess process(argv);
  ToolRun run;
  run.status = process.Finish(run.output);
  return run;
}

// Runs seat-enrol with a terminal as its standard output and error, for
// at most waitMs; what it wrote, its exit status -1 when it did not finish.
// Once its output holds interruptAt (when not empty), a Ctrl-C is typed.
ToolRun SeatEnrolOnATerminal(const std::vector<std::string>& args, int waitMs,
                             std::string interruptAt = std::string()) {
  std::vector<std::string> argv = {SEAT_ENROL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> pointers;
  for (std::string& arg : argv) pointers.push_back(&arg[0]);
  pointers.push_back(nullptr);
  ToolRun run{-1, ""};
  int terminal = -1;
  const pid_t pid = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (pid < 0) return run;
  if (pid == 0) {
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  for (int waited = 0; waited < waitMs; waited += 50) {
    pollfd readable{terminal, POLLIN, 0};
    if (poll(&readable, 1, 50) <= 0) continue;
    char chunk[512];
    const ssize_t got = read(terminal, chunk, sizeof chunk);
    if (got <= 0) break;  // the terminal closes with its last process
    run.output.append(chunk, static_cast<std::size_t>(got));
    if (!interruptAt.empty() && run.output.find(interruptAt) != std::string::npos) {
      const char control = '\x03';  // the terminal turns it into SIGINT
      if (write(terminal, &control, 1) == 1) interruptAt.clear();
    }
  }
  // The terminal closes a moment before the process can be reaped.
  int status = 0;
  pid_t reaped = 0;
  for (int waited = 0; reaped == 0 && waited < 2000; waited += 10) {
    reaped = waitpid(pid, &status, WNOHANG);
    if (reaped == 0) usleep(10000);
  }
  if (reaped == 0) {
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
  } else if (reaped == pid && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  close(terminal);
  return run;
}

bool Has(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// The lines of text that start with prefix.
std::vector<std::string> LinesStartingWith(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) found.push_back(line);
  }
  return found;
}

// Points SEATENROL_CONFIG_DIR elsewhere for a while.
class ScopedConfigDirectory {
public:
  explicit ScopedConfigDirectory(const std::string& path) : m_old(getenv("SEATENROL_CONFIG_DIR")) {
    setenv("SEATENROL_CONFIG_DIR", path.c_str(), 1);
  }
  ~ScopedConfigDirectory() { setenv("SEATENROL_CONFIG_DIR", m_old.c_str(), 1); }

private:
  std::string m_old;
};

class SeatEnrolCli : public ::testing::Test {
protected:
  void SetUp() override {
    unsigned char mac[6];
    if (!SeatMac(mac)) GTEST_SKIP() << "this host shows no IPv4 address or adapter to enrol";
  }
  std::string SecretHex() const { return seatenrol::ToHex(m_secret.data(), m_secret.size()); }
  std::vector<std::string> EnrolArgs(const std::string& server, int port) const {
    return {"enrol",    "--venue", kVenue,   "--secret",          SecretHex(),
            "--server", server,    "--port", std::to_string(port)};
  }
  std::string StoreFile() const { return m_store.Path() + "/regaddrs.dat"; }

  ScopedStoreDirectory m_store;
  const seatenrol::VenueSecret m_secret = MakeSecret(3);
};

TEST_F(SeatEnrolCli, EnrolsWithJoinedOptionsAndListsTheStoredServer) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  const std::string secretFile = m_store.WriteFile("secret.hex", "  " + SecretHex() + "\n");
  const std::string port = std::to_string(server.Port());

  const ToolRun enrol =
      SeatEnrol({"enrol", std::string("--venue=") + kVenue, "--secret-file=" + secretFile,
                 "--server=127.0.0.1", "--port=" + port, "--verbose"});
  EXPECT_EQ(enrol.status, 0) << enrol.output;
  const std::array<unsigned char, 32> credential = ExpectedCredential(m_secret);
  const std::string credentialHex = seatenrol::ToHex(credential.data(), credential.size());
  EXPECT_EQ(LinesStartingWith(enrol.output, "enrolled: "),
            std::vector<std::string>{"enrolled: 127.0.0.1:" + port + " accepted venue " + kVenue +
                                     ", credential " + credentialHex.substr(0, 8) + "\xE2\x80\xA6"})
      << enrol.output;
  // A new list is reported to the log in GBK; the tool shows it as UTF-8.
  EXPECT_TRUE(Has(enrol.output, "log: ")) << enrol.output;
  EXPECT_TRUE(Has(enrol.output, "\xE5\x86\x99\xE6\xB3\xA8\xE5\x86\x8C\xE4\xBF\xA1\xE6\x81\xAF"))
      << enrol.output;

  const ToolRun list = SeatEnrol({"list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_TRUE(Has(list.output, StoreFile())) << list.output;
  EXPECT_TRUE(Has(list.output, credentialHex)) << list.output;
  EXPECT_TRUE(Has(list.output, "port " + port)) << list.output;
}

TEST_F(SeatEnrolCli, ARefusalIsNamedWithItsMeaningAndNotRetried) {
  const struct {
    std::string venue;
    std::vector<std::string> flags;
    seatenrol::VenueSecret serverSecret;
    const char* meaning;
  } cases[] = {
      {kVenue, {}, MakeSecret(4), "-4 (wrong secret)"},
      {"4401069", {}, m_secret, "-5 (unknown venue)"},
      {kVenue, {"--refuse", "-6"}, m_secret, "-6 (refused without a reason)"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.meaning);
    ServerProcess server(m_store, VenueLine(kVenue, c.serverSecret), c.flags);
    ASSERT_TRUE(server.Ready());
    std::vector<std::string> args = EnrolArgs("127.0.0.1", server.Port());
    args[2] = c.venue;
    args.insert(args.end(), {"--retries", "3"});
    const ToolRun enrol = SeatEnrol(args);
    EXPECT_EQ(enrol.status, 2);
    EXPECT_EQ(LinesStartingWith(enrol.output, "refused: "),
              std::vector<std::string>{"refused: 127.0.0.1:" + std::to_string(server.Port()) +
                                       " refused the enrolment with error " + c.meaning})
        << enrol.output;
    std::string report;
    EXPECT_TRUE(server.NextRequest(2000, report));
    EXPECT_FALSE(server.NextRequest(300, report)) << "a refusal was retried";
  }
}

TEST_F(SeatEnrolCli, EachFailureIsNamedOncePerAttempt) {
  ServerProcess dropping(m_store, VenueLine(kVenue, m_secret), {"--drop"});
  ServerProcess truncating(m_store, VenueLine(kVenue, m_secret), {"--truncate", "40"});
  ASSERT_TRUE(dropping.Ready() && truncating.Ready());
  const int closed = UnusedLoopbackPort();
  const std::string dropPeer = "127.0.0.1:" + std::to_string(dropping.Port());
  const std::string unusablePeer = "127.0.0.1:" + std::to_string(truncating.Port());
  struct {
    std::string server;
    int port;
    std::vector<std::string> extra;
    std::vector<std::string> lines;
    std::vector<std::string> systemLines;  // the system's reason after each
  } cases[] = {
      {"127.0.0.1",
       dropping.Port(),
       {},
       {"failed: no answer from " + dropPeer + " within 5 s"},
       {}},
      {"127.0.0.1",
       closed,
       {"--retries", "1"},
       {2, "failed: 127.0.0.1:" + std::to_string(closed) +
               " refused the datagram (nothing listens on that port)"},
       {2, "system error " + std::to_string(ECONNREFUSED) + ": " + std::strerror(ECONNREFUSED)}},
      {"127.0.0.1",
       truncating.Port(),
       {},
       {"failed: the reply from " + unusablePeer + " could not be used"},
       {}},
      // The system refuses to connect a datagram socket to the broadcast
      // address: nothing leaves the machine.
      {"255.255.255.255",
       9000,
       {},
       {"failed: the request could not be sent to 255.255.255.255:9000"},
       {"system error " + std::to_string(EACCES) + ": " + std::strerror(EACCES)}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> args = EnrolArgs(c.server, c.port);
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ToolRun enrol = SeatEnrol(args);
    EXPECT_EQ(enrol.status, 2) << enrol.output;
    EXPECT_EQ(LinesStartingWith(enrol.output, "failed: "), c.lines) << enrol.output;
    EXPECT_EQ(LinesStartingWith(enrol.output, "system error "), c.systemLines) << enrol.output;
  }
}

TEST_F(SeatEnrolCli, AnUnresolvedNameIsNamed) {
  const HostsOnlyRun run = RunWithHostsOnlyLookups([&] {
    const ToolRun enrol = SeatEnrol(EnrolArgs("seat-enrol-test.invalid", 9000));
    return std::to_string(enrol.status) + "\n" + enrol.output;
  });
  if (!run.confined) GTEST_SKIP() << "name lookups cannot be kept off the network: " << run.output;
  EXPECT_EQ(run.output.substr(0, 2), "2\n") << run.output;
  EXPECT_EQ(LinesStartingWith(run.output, "failed: "),
            std::vector<std::string>{"failed: the name seat-enrol-test.invalid did not resolve"})
      << run.output;
}

TEST_F(SeatEnrolCli, ATerminalSeesTheWaitThenTheOutcome) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret), {"--delay", "300"});
  ASSERT_TRUE(server.Ready());
  const std::string peer = "127.0.0.1:" + std::to_string(server.Port());
  const ToolRun enrol = SeatEnrolOnATerminal(EnrolArgs("127.0.0.1", server.Port()), 8000);
  EXPECT_EQ(enrol.status, 0) << enrol.output;
  const std::size_t waiting = enrol.output.find("waiting for " + peer + " (up to 5 s): ");
  const std::size_t enrolled = enrol.output.find("enrolled: " + peer);
  EXPECT_NE(waiting, std::string::npos) << enrol.output;
  EXPECT_NE(enrolled, std::string::npos) << enrol.output;
  EXPECT_LT(waiting, enrolled) << enrol.output;

  EXPECT_TRUE(Has(enrol.output, ", request 1\xE2\x80\xA6")) << enrol.output;

  // Without a terminal each stage gets a line of its own instead.
  const ToolRun piped = SeatEnrol(EnrolArgs("127.0.0.1", server.Port()));
  EXPECT_FALSE(Has(piped.output, "waiting")) << piped.output;
  std::vector<std::string> stages;
  for (const std::string& line : LinesStartingWith(piped.output, "seat-enrol: ")) {
    stages.push_back(line.substr(0, line.find(" after ")));
  }
  EXPECT_EQ(stages, (std::vector<std::string>{
                        "seat-enrol: 127.0.0.1 gave 1 address", "seat-enrol: request 1 sent",
                        "seat-enrol: a reply with error 0", "seat-enrol: storing the server list",
                        "seat-enrol: done"}))
      << piped.output;
}

TEST_F(SeatEnrolCli, AnAcceptedEnrolmentThatCannotBeStoredIsToldAndNotRetried) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  const std::string missing = m_store.Path() + "/no-such-directory";
  ScopedConfigDirectory elsewhere(missing);
  std::vector<std::string> args = EnrolArgs("127.0.0.1", server.Port());
  args.insert(args.end(), {"--retries", "2"});
  const ToolRun enrol = SeatEnrol(args);
  EXPECT_EQ(enrol.status, 2);
  EXPECT_EQ(LinesStartingWith(enrol.output, "failed: "),
            std::vector<std::string>{"failed: 127.0.0.1:" + std::to_string(server.Port()) +
                                     " accepted the enrolment, but the stored server list could "
                                     "not be written: its folder " +
                                     missing + " is missing (not retried)"})
      << enrol.output;
  std::string report;
  EXPECT_TRUE(server.NextRequest(2000, report));
  EXPECT_EQ(JsonValue(report, "accepted"), "true") << report;
  EXPECT_FALSE(server.NextRequest(1500, report)) << "a stored-list failure was retried";
}

TEST_F(SeatEnrolCli, TheWaitTheSendsAndTheDeadlineAreTheTechniciansToSet) {
  ServerProcess silent(m_store, VenueLine(kVenue, m_secret), {"--drop"});
  ASSERT_TRUE(silent.Ready());
  const std::string peer = "127.0.0.1:" + std::to_string(silent.Port());
  const struct {
    std::vector<std::string> extra;
    std::string line;
    int requests;
  } cases[] = {
      {{"--wait", "300"}, "failed: no answer from " + peer + " within 0.3 s", 1},
      {{"--wait", "2000", "--sends", "3"}, "failed: no answer from " + peer + " within 2 s", 3},
      {{"--wait=900", "--sends=8"}, "failed: no answer from " + peer + " within 0.9 s", 2},
      {{"--deadline", "300"},
       "failed: no answer from " + peer + " within 5 s (or the deadline of 0.3 s)",
       1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<std::string> args = EnrolArgs("127.0.0.1", silent.Port());
    args.insert(args.end(), c.extra.begin(), c.extra.end());
    const ToolRun enrol = SeatEnrol(args);
    EXPECT_EQ(enrol.status, 2);
    EXPECT_EQ(LinesStartingWith(enrol.output, "failed: "), std::vector<std::string>{c.line})
        << enrol.output;
    EXPECT_EQ(LinesStartingWith(enrol.output, "seat-enrol: request ").size(),
              static_cast<std::size_t>(c.requests))
        << enrol.output;
    std::string report;
    for (int i = 0; i < c.requests; ++i) EXPECT_TRUE(silent.NextRequest(2000, report)) << i;
    EXPECT_FALSE(silent.NextRequest(100, report)) << "more requests than sent lines";
  }
}

TEST_F(SeatEnrolCli, CtrlCCancelsTheWaitAndLeavesTheListAlone) {
  ServerProcess silent(m_store, VenueLine(kVenue, m_secret), {"--drop"});
  ASSERT_TRUE(silent.Ready());
  std::vector<std::string> args = EnrolArgs("127.0.0.1", silent.Port());
  args.insert(args.end(), {"--wait", "30000", "--retries", "2"});

  // Redirected: SIGINT once the request is out.
  std::vector<std::string> argv = {SEAT_ENROL_PATH};
  argv.insert(argv.end(), args.begin(), args.end());
  ChildProcess piped(argv);
  std::string line;
  while (piped.ReadLine(5000, line) && line.rfind("seat-enrol: request 1 sent", 0) != 0) {
  }
  ASSERT_EQ(line.rfind("seat-enrol: request 1 sent", 0), 0u) << line;
  const auto interrupted = std::chrono::steady_clock::now();
  piped.Signal(SIGINT);
  std::string output;
  const int status = piped.Finish(output);
  const auto took = std::chrono::steady_clock::now() - interrupted;
  EXPECT_EQ(status, 130) << output;
  EXPECT_TRUE(Has("\n" + output, "\ncancelled\n")) << output;
  // The design's bound is 300 ms; a loaded test machine gets more.
  EXPECT_LT(took, std::chrono::seconds(2));

  // On a terminal: a Ctrl-C typed while the waiting line shows the request.
  const ToolRun terminal = SeatEnrolOnATerminal(args, 10000, ", request 1\xE2\x80\xA6");
  EXPECT_EQ(terminal.status, 130) << terminal.output;
  EXPECT_TRUE(Has(terminal.output, "\rcancelled\r\n")) << terminal.output;

  EXPECT_EQ(ReadStoredList().count, -1) << "a cancelled enrolment stored a list";
}

TEST_F(SeatEnrolCli, EveryCommandKeepsTheListWhereStoreDirSays) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  const std::string elsewhere = m_store.Path() + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  std::vector<std::string> args = EnrolArgs("127.0.0.1", server.Port());
  args.insert(args.end(), {"--store-dir", elsewhere});
  ASSERT_EQ(SeatEnrol(args).status, 0);

  const ToolRun there = SeatEnrol({"list", "--store-dir=" + elsewhere});
  EXPECT_EQ(there.status, 0);
  EXPECT_TRUE(Has(there.output, "store: " + elsewhere + "/regaddrs.dat\nservers: 1\n"))
      << there.output;
  EXPECT_TRUE(Has(SeatEnrol({"list"}).output, "no stored server list yet\n"));
  EXPECT_EQ(SeatEnrol({"identity", "--store-dir", elsewhere}).status, 0);
  EXPECT_EQ(SeatEnrol({"forget", "--all", "--store-dir", elsewhere}).status, 0);
  EXPECT_TRUE(Has(SeatEnrol({"list", "--store-dir", elsewhere}).output, "servers: 0\n"));
}

TEST_F(SeatEnrolCli, ListWithoutAStoredListSaysSoAndWhere) {
  const ToolRun list = SeatEnrol({"list"});
  EXPECT_EQ(list.status, 0);
  EXPECT_TRUE(Has(list.output, "no stored server list yet\n")) << list.output;
  EXPECT_TRUE(Has(list.output, StoreFile())) << list.output;
}

TEST(SeatEnrolHelp, VersionAndEachCommandsHelpExitWith0) {
  const ToolRun version = SeatEnrol({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.output, std::string("seat-enrol ") + SEATENROL_VERSION_STRING + "\nlibrary " +
                                SEATENROL_VERSION_STRING + ", built into this program\n");

  ScopedStoreDirectory store;
  for (const char* command : {"enrol", "list", "forget", "identity"}) {
    SCOPED_TRACE(command);
    // Help wins over whatever else the line holds, a missing value included.
    const ToolRun help = SeatEnrol({command, "--server", "--help"});
    EXPECT_EQ(help.status, 0) << help.output;
    EXPECT_TRUE(Has(help.output, std::string("usage: seat-enrol ") + command)) << help.output;
    for (const std::string& part :
         {std::string("terminal_.log"), std::string("SEATENROL_CONFIG_DIR"),
          store.Path() + "/regaddrs.dat"}) {
      EXPECT_TRUE(Has(help.output, part)) << part << "\n" << help.output;
    }
  }
  const ToolRun overview = SeatEnrol({"--help"});
  EXPECT_EQ(overview.status, 0);
  EXPECT_TRUE(Has(overview.output, "seat-enrol COMMAND --help")) << overview.output;
}

TEST(SeatEnrolArguments, BadCommandLinesExitWith64AndOneLine) {
  const std::string secret(64, 'a');
  const std::vector<std::string> good = {"--secret", secret, "--server", "h", "--port", "1"};
  auto enrol = [&](std::vector<std::string> front, std::vector<std::string> back = {}) {
    std::vector<std::string> args = {"enrol"};
    args.insert(args.end(), front.begin(), front.end());
    args.insert(args.end(), back.begin(), back.end());
    return args;
  };
  struct {
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {{}, "a command is required"},
      {{"frobnicate"}, "unknown command: frobnicate"},
      {{"list", "extra"}, "unknown option extra"},
      {{"list", "--store-dir", "/nonexistent/folder"}, "--store-dir needs an existing folder"},
      {{"forget", "--all", "--store-dir="}, "--store-dir needs an existing folder"},
      {{"identity", "--explain=yes"}, "--explain takes no value"},
      {{"enrol"}, "--venue is required"},
      {enrol({"--venue", "1", "--secret", secret, "--server", "h"}), "--port is required"},
      {enrol({"--venue", "1", "--secret", secret, "--server", "h", "--port", "0"}), "--port needs"},
      {enrol({"--venue", "1", "--secret", secret, "--server", "h", "--port=65536"}),
       "--port needs"},
      {enrol({"--venue", "1", "--secret", secret, "--server", "h", "--port", "80x"}),
       "--port needs"},
      {enrol({"--venue", "1", "--secret", secret + "a", "--server", "h", "--port", "1"}),
       "64 hex digits"},
      {enrol({"--venue", "1", "--secret", std::string(63, 'a') + "g", "--server", "h", "--port",
              "1"}),
       "64 hex digits"},
      {enrol({"--venue", "123456789012345678901"}, good), "1 to 20 characters"},
      {enrol({"--venue="}, good), "1 to 20 characters"},
      {enrol({"--venue", "4401\n06"}, good), "\\x0a (a control character)"},
      {enrol({"--venue", "\xE7\xBD\x91\xE5\x90\xA7"}, good), "(not ASCII)"},
      {enrol({"--venue", "1", "--secret", secret}, good), "give the secret once"},
      {enrol({"--venue", "1", "--secret-file", "/nonexistent/secret", "--server", "h", "--port",
              "1"}),
       "cannot read the secret file /nonexistent/secret: No such file or directory"},
      // What a file the system will not read gives: a folder is one even for root.
      {enrol({"--venue", "1", "--secret-file", "/", "--server", "h", "--port", "1"}),
       "cannot read the secret file /: Is a directory"},
      {enrol({"--venue", "1", "--wait", "0"}, good), "--wait needs a number of milliseconds"},
      {enrol({"--venue", "1", "--wait", "600001"}, good), "--wait needs"},
      {enrol({"--venue", "1", "--sends", "0"}, good), "--sends needs a number from 1 to 8"},
      {enrol({"--venue", "1", "--sends", "9"}, good), "--sends needs"},
      {enrol({"--venue", "1", "--deadline", "-1"}, good), "--deadline needs"},
      {enrol({"--venue", "1", "--deadline", "1s"}, good), "--deadline needs"},
      {enrol({"--venue", "1", "--store-dir", "/nonexistent/folder"}, good), "--store-dir needs"},
      {enrol({"--venue", "1", "--retries", "11"}, good), "--retries needs"},
      {enrol({"--venue", "1", "--port"}), "--port needs a value"},
      {enrol({"--venue", "1", "--prot", "1"}, good), "unknown option --prot"},
      {{"forget"}, "--server and --port, or --all"},
      {{"forget", "--all", "--server", "h", "--port", "1"}, "--all"},
  };
  for (const auto& c : cases) {
    std::string shown;
    for (const std::string& arg : c.args) shown += arg + " ";
    SCOPED_TRACE(shown);
    const ToolRun run = SeatEnrol(c.args);
    EXPECT_EQ(run.status, 64);
    const std::string command = c.args.empty() || c.args[0] == "frobnicate" ? "" : c.args[0] + " ";
    EXPECT_EQ(run.output, "seat-enrol: " + run.output.substr(12, run.output.find('\n') - 12) +
                              "\ntry 'seat-enrol " + command + "--help'\n");
    EXPECT_TRUE(Has(run.output, c.message)) << run.output;
  }
}

// Every interface this machine lists, by name, with or without an address.
std::set<std::string> InterfaceNames() {
  std::set<std::string> names;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return names;
  for (const ifaddrs* item = list; item != nullptr; item = item->ifa_next) {
    names.insert(item->ifa_name);
  }
  freeifaddrs(list);
  return names;
}

TEST_F(SeatEnrolCli, ListTellsABackupReadAndAStoreWithNothingReadable) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  ASSERT_EQ(SeatEnrol(EnrolArgs("127.0.0.1", server.Port())).status, 0);
  ASSERT_EQ(SeatEnrol(EnrolArgs("localhost", server.Port())).status, 0);
  const ToolRun primary = SeatEnrol({"list"});
  EXPECT_EQ(primary.status, 0);
  EXPECT_TRUE(Has(primary.output, "servers: 2\n")) << primary.output;
  EXPECT_FALSE(Has(primary.output, "backup")) << primary.output;

  m_store.WriteFile("regaddrs.dat", "not a server list");
  const ToolRun backup = SeatEnrol({"list"});
  EXPECT_EQ(backup.status, 0);
  EXPECT_TRUE(Has(backup.output, "the primary is damaged: this list was read from its backup " +
                                     StoreFile() + ".bak\n"))
      << backup.output;
  EXPECT_TRUE(Has(backup.output, "servers: 1\n")) << backup.output;

  m_store.WriteFile("regaddrs.dat.bak", "nor is this");
  const ToolRun nothing = SeatEnrol({"list"});
  EXPECT_EQ(nothing.status, 2);
  EXPECT_TRUE(Has(nothing.output, "store: " + StoreFile() + "\nnothing readable: "))
      << nothing.output;
}

TEST_F(SeatEnrolCli, ForgetRemovesOneServerOrEveryOne) {
  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  const std::string port = std::to_string(server.Port());
  ASSERT_EQ(SeatEnrol(EnrolArgs("127.0.0.1", server.Port())).status, 0);
  ASSERT_EQ(SeatEnrol(EnrolArgs("localhost", server.Port())).status, 0);

  const ToolRun one = SeatEnrol({"forget", "--server=localhost", "--port", port});
  EXPECT_EQ(one.status, 0) << one.output;
  EXPECT_EQ(one.output, "forgot: localhost:" + port + " in " + StoreFile() + "\n");
  seatenrol::ST_REGISTERINFO_LIST list = ReadStoredList();
  ASSERT_EQ(list.count, 1);
  EXPECT_STREQ(list.entries[0].serverName, "127.0.0.1");

  const ToolRun again = SeatEnrol({"forget", "--server", "localhost", "--port", port});
  EXPECT_EQ(again.status, 2);
  EXPECT_TRUE(Has(again.output, "localhost:" + port + " is not in the stored server list"))
      << again.output;
  EXPECT_EQ(ReadStoredList().count, 1);

  // Forgetting everything also clears a store that cannot be read.
  m_store.WriteFile("regaddrs.dat", "damaged");
  m_store.WriteFile("regaddrs.dat.bak", "damaged");
  const ToolRun all = SeatEnrol({"forget", "--all"});
  EXPECT_EQ(all.status, 0) << all.output;
  EXPECT_EQ(ReadStoredList().count, 0);
  EXPECT_TRUE(Has(SeatEnrol({"list"}).output, "servers: 0\n"));
}

TEST_F(SeatEnrolCli, IdentityIsWhatTheRequestCarriesAndExplainShowsEveryAdapter) {
  const ToolRun plain = SeatEnrol({"identity"});
  const ToolRun explained = SeatEnrol({"identity", "--explain"});
  EXPECT_EQ(plain.status, 0) << plain.output;
  EXPECT_EQ(explained.status, plain.status);
  for (const std::string& name : InterfaceNames()) {
    if (name.find(':') != std::string::npos) continue;  // an address label, not an adapter
    EXPECT_TRUE(Has(explained.output, "\n  " + name + ": ")) << name << "\n" << explained.output;
  }
  EXPECT_TRUE(Has(explained.output, "\nadapter rule ")) << explained.output;
  // The fallback is told only where one is used.
  EXPECT_NE(Has(explained.output, "\nfallback: "), Has(explained.output, ": taken: "))
      << explained.output;
  // The explanation ends in the identity the library discovers for a request.
  std::istringstream lines(plain.output);
  std::string line;
  while (std::getline(lines, line)) {
    if (line.rfind("seat-enrol: ", 0) == 0) continue;  // a note on standard error
    EXPECT_TRUE(Has(explained.output, "\n" + line)) << line << "\n" << explained.output;
  }

  ServerProcess server(m_store, VenueLine(kVenue, m_secret));
  ASSERT_TRUE(server.Ready());
  ASSERT_EQ(SeatEnrol(EnrolArgs("127.0.0.1", server.Port())).status, 0);
  std::string report;
  ASSERT_TRUE(server.NextRequest(2000, report));
  const std::string ip = JsonValue(report, "localIP");
  const std::string mac = JsonValue(report, "localMAC");
  ASSERT_GT(ip.size(), 2u) << report;
  EXPECT_TRUE(Has(plain.output, "ip: " + ip.substr(1, ip.size() - 2) + "\n")) << plain.output;
  EXPECT_TRUE(Has(plain.output, "mac: " + mac.substr(1, mac.size() - 2) + "\n")) << plain.output;
}

}  // namespace
}  // namespace seatenrol_test
