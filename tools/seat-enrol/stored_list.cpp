#include "seat-enrol/stored_list.h"

#include <cstdint>
#include <cstdio>
#include <vector>

#include "common/hex.h"
#include "platform/os.h"
#include "seat-enrol/gbk_text.h"
#include "seat-enrol/outcome.h"
#include "seatenrol/c_api.h"

namespace seatenrol {

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 2;

// The store's folder when it does not exist, else empty: the one cause that
// needs no guessing.
std::string MissingFolder(const std::string& path) {
  const std::string folder = FolderOf(path);
  return IsDirectory(folder.c_str()) ? std::string() : folder;
}

}  // namespace

std::string StorePath() {
  std::vector<char> buffer(260);
  for (;;) {
    std::int32_t needed = 0;
    const int result =
        seatenrol_store_path(buffer.data(), static_cast<std::int32_t>(buffer.size()), &needed);
    if (result == SEATENROL_OK) return buffer.data();
    if (result != SEATENROL_BAD_ARGUMENT || needed <= static_cast<std::int32_t>(buffer.size())) {
      return "regaddrs.dat";
    }
    buffer.resize(static_cast<std::size_t>(needed));
  }
}

int PrintStoredList(std::ostream& out) {
  const std::string path = StorePath();
  out << "store: " << path << "\n";
  // The list may grow between two readings; the second then asks again.
  std::vector<seatenrol_server> servers;
  std::int32_t count = 0;
  std::int32_t source = SEATENROL_LIST_NONE_YET;
  int result = SEATENROL_OK;
  do {
    servers.resize(static_cast<std::size_t>(count));
    result = seatenrol_list_servers(servers.data(), static_cast<std::int32_t>(servers.size()),
                                    &count, &source);
  } while (result == SEATENROL_OK && count > static_cast<std::int32_t>(servers.size()));
  if (result != SEATENROL_OK && !MissingFolder(path).empty()) {
    out << "nothing readable: the folder " << MissingFolder(path) << " is missing\n";
    return kExitFailed;
  }
  if (result != SEATENROL_OK) {
    out << "nothing readable: " << path << " and its backup " << path
        << ".bak are damaged, missing or unreadable\n";
    return kExitFailed;
  }
  if (source == SEATENROL_LIST_NONE_YET) {
    out << "no stored server list yet\n";
    return kExitDone;
  }
  if (source == SEATENROL_LIST_BACKUP) {
    out << "the primary is damaged: this list was read from its backup " << path << ".bak\n";
  }
  out << "servers: " << count << "\n";
  for (std::int32_t i = 0; i < count; ++i) {
    const seatenrol_server& entry = servers[static_cast<std::size_t>(i)];
    char line[512];
    std::snprintf(line, sizeof line, "%2d  %-32s  port %-5d  enrolled %d  credential %s",
                  static_cast<int>(i), Escaped(entry.name, sizeof entry.name).c_str(),
                  static_cast<int>(entry.port), static_cast<int>(entry.enrolled),
                  ToHex(entry.credential, sizeof entry.credential).c_str());
    out << line << "\n";
  }
  return kExitDone;
}

int ForgetServers(std::ostream& out, bool all, const std::string& server, int port) {
  const int result = all ? seatenrol_forget_all() : seatenrol_forget_server(server.c_str(), port);
  const std::string path = StorePath();
  const std::string peer = server + ":" + std::to_string(port);
  switch (result) {
    case SEATENROL_OK:
      out << "forgot: " << (all ? std::string("every server") : peer) << " in " << path << "\n";
      return kExitDone;
    case SEATENROL_NOT_FOUND:
      out << "failed: " << peer << " is not in the stored server list " << path << "\n";
      break;
    case SEATENROL_STORE_LOCKED:
      out << "failed: the stored server list " << path << " stayed locked by another program\n";
      break;
    case SEATENROL_STORE_FAILED:
      if (!MissingFolder(path).empty()) {
        out << "failed: the stored server list's folder " << MissingFolder(path) << " is missing\n";
        break;
      }
      // Forgetting everything replaces a damaged list as well.
      out << "failed: the stored server list " << path << " could not be "
          << (all ? "written (a missing directory, or no rights to it)"
                  : "read or written (a missing directory, no rights to it, or a damaged list)")
          << "\n";
      break;
    default:
      out << "failed: " << seatenrol_outcome_text(result) << "\n";
      break;
  }
  return kExitFailed;
}

}  // namespace seatenrol
