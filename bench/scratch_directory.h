// A private directory under the system's temporary folder for one
// benchmark run, removed with its files at the end.
#ifndef SEATENROL_BENCH_SCRATCH_DIRECTORY_H
#define SEATENROL_BENCH_SCRATCH_DIRECTORY_H

#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace seatenrol {
namespace bench {

class ScratchDirectory {
public:
  ScratchDirectory() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern =
        std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/seatenrol-bench-XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) != nullptr) m_path = name.data();
  }

  ~ScratchDirectory() {
    if (m_path.empty()) return;
    if (DIR* dir = opendir(m_path.c_str())) {
      while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") std::remove((m_path + "/" + name).c_str());
      }
      closedir(dir);
    }
    rmdir(m_path.c_str());
  }

  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  bool Ok() const { return !m_path.empty(); }
  const std::string& Path() const { return m_path; }
  std::string File(const char* name) const { return m_path + "/" + name; }

private:
  std::string m_path;
};

}  // namespace bench
}  // namespace seatenrol

#endif
