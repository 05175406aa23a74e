// Option values as the tools read them from their command lines.
#ifndef SEATENROL_TOOLS_COMMON_CLI_ARGS_H
#define SEATENROL_TOOLS_COMMON_CLI_ARGS_H

#include <string>

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

}  // namespace seatenrol

#endif
