#include "joints_support.h"

#include <dirent.h>
#include <stdlib.h>

#include <filesystem>
#include <vector>

#include "log/log.h"

namespace seatenrol_test {

ScratchDirectory::ScratchDirectory() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "seatenrol-joints-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) m_path = buffer.data();
  setenv("SEATENROL_CONFIG_DIR", m_path.c_str(), 1);
  seatenrol::SetLogDirectory(m_path.c_str());
}

ScratchDirectory::~ScratchDirectory() {
  seatenrol::SetLogDirectory(nullptr);
  unsetenv("SEATENROL_CONFIG_DIR");
  std::error_code ignored;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

int OpenDescriptors() {
  DIR* listing = opendir("/proc/self/fd");
  if (listing == nullptr) return -1;
  int count = 0;
  while (readdir(listing) != nullptr) ++count;
  closedir(listing);
  return count;
}

}  // namespace seatenrol_test
