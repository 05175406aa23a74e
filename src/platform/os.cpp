#include "platform/os.h"

namespace seatenrol {

bool ExecutableDirectory(std::string& directory) {
  std::string path;
  if (!ExecutablePath(path)) return false;
  // Windows also accepts the forward slash inside a path.
  const std::string::size_type cut = path.find_last_of(kPathSeparator == '/' ? "/" : "\\/");
  if (cut == std::string::npos) return false;
  path.resize(cut == 0 ? 1 : cut);
  directory = path;
  return true;
}

}  // namespace seatenrol
