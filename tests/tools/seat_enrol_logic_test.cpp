#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/cli_args.h"
#include "log/messages.h"
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

std::string Refusal(int errorNo) {
  char text[256];
  std::snprintf(text, sizeof text, messages::kRegisterRefused, errorNo);
  return text;
}

TEST(ClassifyAttempt, TellsEachOutcomeFromTheLibrarysMessages) {
  using R = AttemptResult;
  const std::string failed = messages::kRegisterFailedDebug;
  struct {
    const char* what;
    bool enrolled;
    std::vector<std::string> texts;
    bool identityFound, resolves;
    R result;
    long long errorNo;
    bool retried;
  } cases[] = {
      {"enrolled", true, {messages::kWriteRegisterInfoDebug}, true, true, R::kEnrolled, 0, false},
      {"refused", false, {Refusal(-4)}, true, true, R::kRefused, -4, false},
      {"refused with a large number",
       false,
       {Refusal(-2147483647)},
       true,
       true,
       R::kRefused,
       -2147483647,
       false},
      {"accepted, not stored",
       false,
       {messages::kWriteRegisterInfoDebug, messages::kServerListNotStored},
       true,
       true,
       R::kNotStored,
       0,
       false},
      {"accepted, store locked",
       false,
       {messages::kServerListLocked},
       true,
       true,
       R::kStoreLocked,
       0,
       false},
      {"timeout", false, {messages::kRecvTimeout, failed}, true, true, R::kNoAnswer, 0, true},
      {"port refused", false, {messages::kRecvError, failed}, true, true, R::kPortRefused, 0, true},
      {"oversized reply",
       false,
       {messages::kRecvPacketError, failed},
       true,
       true,
       R::kUnusableReply,
       0,
       true},
      {"not sent", false, {messages::kSendCommandError, failed}, true, true, R::kNotSent, 0, true},
      {"silent, name resolves", false, {failed}, true, true, R::kUnusableReply, 0, true},
      {"silent, name unresolved", false, {failed}, true, false, R::kUnresolved, 0, true},
      {"silent, no identity", false, {failed}, false, false, R::kNoIdentity, 0, true},
      // A message names the failure, so the checks are not the judge.
      {"timeout with the name gone since",
       false,
       {messages::kRecvTimeout},
       true,
       false,
       R::kNoAnswer,
       0,
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FailureChecks checks;
    checks.seatIdentityFound = [&] { return c.identityFound; };
    checks.serverNameResolves = [&] { return c.resolves; };
    const AttemptOutcome outcome = ClassifyAttempt(c.enrolled, c.texts, checks);
    EXPECT_EQ(outcome.result, c.result);
    EXPECT_EQ(outcome.errorNo, c.errorNo);
    EXPECT_EQ(WorthRetrying(outcome.result), c.retried);
  }
}

}  // namespace
}  // namespace seatenrol
