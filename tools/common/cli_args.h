// Option values as the tools read them from their command lines.
#ifndef SEATENROL_TOOLS_COMMON_CLI_ARGS_H
#define SEATENROL_TOOLS_COMMON_CLI_ARGS_H

#include <string>
#include <vector>

namespace seatenrol {

// Exit status for a command line the tool cannot use.
constexpr int kExitUsage = 64;

// A whole decimal integer (optional sign) within [low, high]; false for any
// other text, value then untouched.
bool ParseInteger(const std::string& text, long long low, long long high, long long& value);

// Walks argv from index 1: each call of Next yields the following argument
// (an option, or the value after it), false when none is left.
class ArgumentCursor {
public:
  ArgumentCursor(int argc, char** argv) : m_argc(argc), m_argv(argv), m_index(1) {}
  bool Next(std::string& argument);

private:
  int m_argc;
  char** m_argv;
  int m_index;
};

// One option a command knows: its name ("--port") and whether a value
// follows it.
struct AcceptedOption {
  const char* name;
  bool takesValue;
};

// An option as given, "--port 9000" and "--port=9000" alike.
struct GivenOption {
  std::string name;
  std::string value;
};

// Reads every remaining argument as an option of accepted into given, in
// command-line order. False, with error set to one line, for an argument
// that is no known option, an option without its value, or a value joined
// by '=' to an option that takes none.
bool ReadOptions(ArgumentCursor& args, const std::vector<AcceptedOption>& accepted,
                 std::vector<GivenOption>& given, std::string& error);

}  // namespace seatenrol

#endif
