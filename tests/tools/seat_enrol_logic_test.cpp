#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/cli_args.h"
#include "common/gbk_text.h"
#include "seat-enrol/outcome.h"
#include "seat-enrol/venue_id.h"

namespace seatenrol {
namespace {

std::vector<char*> Argv(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(&arg[0]);
  return argv;
}

TEST(ReadOptions, TakesJoinedAndSeparateValuesAndNamesWhatIsWrong) {
  const std::vector<AcceptedOption> accepted = {{"--port", true}, {"--verbose", false}};
  struct {
    std::vector<std::string> args;  // after the command
    bool ok;
    std::vector<std::string> read;  // name=value pairs, or the error
  } cases[] = {
      {{"--port", "9000", "--verbose"}, true, {"--port=9000", "--verbose="}},
      {{"--port=9000"}, true, {"--port=9000"}},
      {{"--port="}, true, {"--port="}},
      {{"--port=a=b"}, true, {"--port=a=b"}},
      {{"--port", "--verbose"}, true, {"--port=--verbose"}},
      {{"--port"}, false, {"--port needs a value"}},
      {{"--verbose=1"}, false, {"--verbose takes no value"}},
      {{"--prot", "1"}, false, {"unknown option --prot"}},
      {{"--prot=1"}, false, {"unknown option --prot"}},
      {{"9000"}, false, {"unknown option 9000"}},
  };
  for (auto& c : cases) {
    std::vector<std::string> args = {"seat-enrol"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv = Argv(args);
    ArgumentCursor cursor(static_cast<int>(argv.size()), argv.data());
    std::vector<GivenOption> given;
    std::string error;
    const bool ok = ReadOptions(cursor, accepted, given, error);
    SCOPED_TRACE(args.size() > 1 ? args[1] : "");
    ASSERT_EQ(ok, c.ok) << error;
    std::vector<std::string> read;
    if (ok) {
      for (const GivenOption& option : given) read.push_back(option.name + "=" + option.value);
    } else {
      read.push_back(error);
    }
    EXPECT_EQ(read, c.read);
  }
}

TEST(VenueID, AcceptsOneToTwentyPrintableASCIICharactersOnly) {
  struct {
    std::string id;
    const char* problem;  // a part of the message; null when accepted
  } cases[] = {
      {"440106123456", nullptr},
      {"A", nullptr},
      {std::string(20, 'x'), nullptr},
      {"venue 7 ~!", nullptr},
      {"", "1 to 20"},
      {std::string(21, 'x'), "1 to 20"},
      {"4401\n06", "\\x0a (a control character)"},
      {"4401\t06", "\\x09 (a control character)"},
      {"4401\x7F", "\\x7f (a control character)"},
      {std::string("44\0"
                   "01",
                   5),
       "\\x00"},
      {"\xE7\xBD\x91\xE5\x90\xA7", "character 1 is \\xe7 (not ASCII)"},
  };
  for (const auto& c : cases) {
    const std::string problem = VenueIDProblem(c.id);
    if (c.problem == nullptr) {
      EXPECT_EQ(problem, "") << c.id;
    } else {
      EXPECT_NE(problem.find(c.problem), std::string::npos) << problem;
    }
  }
}

TEST(GbkText, GbkTextsBecomeUtf8AndOthersAreFlagged) {
  const struct {
    std::string gbk;
    std::string utf8;
    bool exact;
  } cases[] = {
      {"", "", true},
      {"seat-07", "seat-07", true},
      {"\xCD\xF8\xB0\xC9", "\xE7\xBD\x91\xE5\x90\xA7", true},  // "internet cafe"
      {"PC\xD6\xD0", "PC\xE4\xB8\xAD", true},
      {"\xFF\xFE", "\xEF\xBF\xBD\xEF\xBF\xBD", false},
      {"ab\xD6", "ab\xEF\xBF\xBD", false},  // a character cut by the field's end
  };
  for (const auto& row : cases) {
    bool exact = !row.exact;
    EXPECT_EQ(GbkToUtf8(row.gbk, exact), row.utf8) << row.utf8;
    EXPECT_EQ(exact, row.exact) << row.utf8;
  }
}

TEST(DescribeOutcome, NamesEachResultAndRetriesWhatMayEndOtherwise) {
  AttemptContext context;
  context.server = "seats.example";
  context.port = 9000;
  context.venueID = "440106";
  context.storePath = "/cfg/regaddrs.dat";
  context.deadlineMs = 2500;
  const std::string peer = "seats.example:9000";
  const struct {
    int outcome;
    std::int32_t errorNo;
    std::string line;
    bool retried;
  } cases[] = {
      {SEATENROL_OK, 0,
       "enrolled: " + peer + " accepted venue 440106, credential a0a1a2a3\xE2\x80\xA6", false},
      {SEATENROL_REFUSED, -2147483647 - 1,
       "refused: " + peer + " refused the enrolment with error -2147483648", false},
      {SEATENROL_REFUSED, -4,
       "refused: " + peer + " refused the enrolment with error -4 (wrong secret)", false},
      {SEATENROL_REFUSED, -5,
       "refused: " + peer + " refused the enrolment with error -5 (unknown venue)", false},
      {SEATENROL_REFUSED, -6,
       "refused: " + peer + " refused the enrolment with error -6 (refused without a reason)",
       false},
      {SEATENROL_CANCELLED, 0, "cancelled", false},
      {SEATENROL_TIMED_OUT, 0,
       "failed: the deadline of 2.5 s passed while looking up seats.example", true},
      {SEATENROL_STORE_FAILED, 0,
       "failed: " + peer +
           " accepted the enrolment, but the stored server list could not be written to "
           "/cfg/regaddrs.dat (not retried)",
       false},
      {SEATENROL_STORE_LOCKED, 0,
       "failed: " + peer +
           " accepted the enrolment, but the stored server list /cfg/regaddrs.dat stayed locked "
           "by another program (not retried)",
       false},
      {SEATENROL_NO_ANSWER, 0,
       "failed: no answer from " + peer + " within 5 s (or the deadline of 2.5 s)", true},
      {SEATENROL_PORT_UNREACHABLE, 0,
       "failed: " + peer + " refused the datagram (nothing listens on that port)", true},
      {SEATENROL_UNUSABLE_REPLY, 0, "failed: the reply from " + peer + " could not be used", true},
      {SEATENROL_NOT_SENT, 0, "failed: the request could not be sent to " + peer, true},
      {SEATENROL_UNRESOLVED, 0, "failed: the name seats.example did not resolve", true},
      {SEATENROL_NO_IDENTITY, 0,
       "failed: this seat's address, MAC or host name was not found (see seat-enrol identity "
       "--explain)",
       true},
      {SEATENROL_BAD_ARGUMENT, 0,
       "failed: " + peer + ": an argument was missing, too small or out of range", false},
      {SEATENROL_NETWORK_NOT_STARTED, 0,
       "failed: " + peer + ": the socket layer is not started (WSAStartup was not called)", true},
      {99, 0, "failed: " + peer + ": unknown outcome", true},
  };
  for (const auto& c : cases) {
    seatenrol_enrolment result{};
    result.size = sizeof result;
    result.outcome = c.outcome;
    result.error_no = c.errorNo;
    for (int i = 0; i < 32; ++i) result.credential[i] = static_cast<std::uint8_t>(0xA0 + i);
    EXPECT_EQ(DescribeOutcome(result, context), c.line);
    EXPECT_EQ(WorthRetrying(c.outcome), c.retried) << c.line;
  }

  // After an answer, a missing folder and a deadline in the lock wait are
  // the store's, and not retried.
  seatenrol_enrolment answered{};
  answered.size = sizeof answered;
  std::memcpy(answered.server_ip, "192.0.2.7", 10);
  answered.outcome = SEATENROL_TIMED_OUT;
  EXPECT_EQ(DescribeOutcome(answered, context),
            "failed: " + peer +
                " accepted the enrolment, but the deadline of 2.5 s passed while the stored server "
                "list /cfg/regaddrs.dat was locked by another program");
  EXPECT_FALSE(WorthRetrying(answered));
  answered.outcome = SEATENROL_STORE_FAILED;
  context.storeFolderMissing = true;
  EXPECT_EQ(DescribeOutcome(answered, context),
            "failed: " + peer +
                " accepted the enrolment, but the stored server list could not be written: its "
                "folder /cfg is missing (not retried)");
}

TEST(DescribeOutcome, SecondsAndFoldersReadAsAPersonWritesThem) {
  const struct {
    int ms;
    const char* text;
  } seconds[] = {
      {5000, "5 s"}, {1500, "1.5 s"}, {250, "0.25 s"}, {1, "0.001 s"}, {600000, "600 s"}};
  for (const auto& row : seconds) EXPECT_EQ(SecondsText(row.ms), row.text);
  const struct {
    const char* path;
    const char* folder;
  } folders[] = {{"/cfg/regaddrs.dat", "/cfg"},
                 {"C:\\seat\\regaddrs.dat", "C:\\seat"},
                 {"/regaddrs.dat", "/"},
                 {"regaddrs.dat", "."}};
  for (const auto& row : folders) EXPECT_EQ(FolderOf(row.path), row.folder);
}

}  // namespace
}  // namespace seatenrol
