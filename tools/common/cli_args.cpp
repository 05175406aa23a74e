#include "common/cli_args.h"

#include <cerrno>
#include <cstdlib>

namespace seatenrol {

bool ParseInteger(const std::string& text, long long low, long long high, long long& value) {
  if (text.empty() || text.find_first_of(" \t") != std::string::npos) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || end == nullptr || *end != '\0' || parsed < low || parsed > high) return false;
  value = parsed;
  return true;
}

bool ArgumentCursor::Next(std::string& argument) {
  if (m_index >= m_argc) return false;
  argument = m_argv[m_index++];
  return true;
}

bool ReadOptions(ArgumentCursor& args, const std::vector<AcceptedOption>& accepted,
                 std::vector<GivenOption>& given, std::string& error) {
  std::string argument;
  while (args.Next(argument)) {
    GivenOption option;
    const std::size_t equals = argument.find('=');
    const bool joined = argument.compare(0, 2, "--") == 0 && equals != std::string::npos;
    option.name = joined ? argument.substr(0, equals) : argument;
    const AcceptedOption* known = nullptr;
    for (const AcceptedOption& candidate : accepted) {
      if (option.name == candidate.name) known = &candidate;
    }
    if (known == nullptr) {
      error = "unknown option " + option.name;
      return false;
    }
    if (joined && !known->takesValue) {
      error = option.name + " takes no value";
      return false;
    }
    if (joined) {
      option.value = argument.substr(equals + 1);
    } else if (known->takesValue && !args.Next(option.value)) {
      error = option.name + " needs a value";
      return false;
    }
    given.push_back(option);
  }
  return true;
}

}  // namespace seatenrol
