#include "seat-enrol/stored_list.h"

#include <cstdio>
#include <cstring>

#include "common/hex.h"
#include "seat-enrol/gbk_text.h"
#include "session/server_list.h"

namespace seatenrol {

namespace {

constexpr int kExitDone = 0;
constexpr int kExitFailed = 2;
// How much of a credential an enrolment shows: enough to compare, too
// little to use.
constexpr std::size_t kCredentialPrefixBytes = 4;

std::string PathOf(const CTavConfig& config) {
  const char* path = config.GetStorePath();
  return path != nullptr && *path != '\0' ? path : "regaddrs.dat";
}

}  // namespace

std::string StoredCredentialPrefix(const std::string& server, int port) {
  CTavConfig config;
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  if (config.ReadRegAddrs(list) != 1) return std::string();
  const int found = FindServer(list, server.c_str(), port);
  return found < 0 ? std::string() : ToHex(list.entries[found].credential, kCredentialPrefixBytes);
}

int PrintStoredList(std::ostream& out) {
  CTavConfig config;
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  const bool read = config.ReadRegAddrs(list) == 1;
  const std::string path = PathOf(config);
  out << "store: " << path << "\n";
  if (!read || config.GetReadSource() == CTavConfig::kReadNothing) {
    out << "nothing readable: " << path << " and its backup " << path
        << ".bak are damaged, missing or unreadable\n";
    return kExitFailed;
  }
  if (config.GetReadSource() == CTavConfig::kReadMissing) {
    out << "no stored server list yet\n";
    return kExitDone;
  }
  if (config.GetReadSource() == CTavConfig::kReadBackup) {
    out << "the primary is damaged: this list was read from its backup " << path << ".bak\n";
  }
  out << "servers: " << list.count << "\n";
  for (int i = 0; i < list.count; ++i) {
    const ST_REGISTERINFO& entry = list.entries[i];
    char line[512];
    std::snprintf(line, sizeof line, "%2d  %-32s  port %-5d  enrolled %d  credential %s", i,
                  Escaped(entry.serverName, sizeof entry.serverName).c_str(), entry.port,
                  entry.enrolled, ToHex(entry.credential, sizeof entry.credential).c_str());
    out << line << "\n";
  }
  return kExitDone;
}

int ForgetServers(std::ostream& out, bool all, const std::string& server, int port) {
  const std::string path = PathOf(CTavConfig());
  const std::string peer = server + ":" + std::to_string(port);
  int removed = 0;
  switch (all ? ForgetAll(removed) : ForgetServer(server.c_str(), port, removed)) {
    case ForgetResult::kForgotten:
      out << "forgot: " << (all ? std::string("every server") : peer) << " (" << removed
          << (removed == 1 ? " entry" : " entries") << ") in " << path << "\n";
      return kExitDone;
    case ForgetResult::kNotFound:
      out << "failed: " << peer << " is not in the stored server list " << path << "\n";
      break;
    case ForgetResult::kUnreadable:
      out << "failed: nothing readable in " << path << "\n";
      break;
    case ForgetResult::kLocked:
      out << "failed: the stored server list " << path << " stayed locked by another program\n";
      break;
    case ForgetResult::kCannotLock:
      out << "failed: the stored server list " << path
          << " cannot be locked (no such directory, or no rights to it)\n";
      break;
    case ForgetResult::kNotStored:
      out << "failed: the stored server list " << path << " could not be written\n";
      break;
  }
  return kExitFailed;
}

}  // namespace seatenrol
