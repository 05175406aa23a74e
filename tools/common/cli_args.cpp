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

}  // namespace seatenrol
