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

// The line for a store whose lock could not be had; empty when it is held.
std::string LockProblem(const CTavConfig& config) {
  switch (config.GetLockState()) {
    case CTavConfig::kLockHeld:
      return std::string();
    case CTavConfig::kLockBusy:
      return "the stored server list " + PathOf(config) + " stayed locked by another program";
    default:
      return "the stored server list " + PathOf(config) +
             " cannot be locked (no such directory, or no rights to it)";
  }
}

}  // namespace

std::string StoredCredentialPrefix(const std::string& server, int port) {
  CTavConfig config;
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  if (config.ReadRegAddrs(list) != 1) return std::string();
  for (int i = 0; i < list.count; ++i) {
    if (SameServer(list.entries[i], server.c_str(), port)) {
      return ToHex(list.entries[i].credential, kCredentialPrefixBytes);
    }
  }
  return std::string();
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
  // The object is the critical section: no enrolment writes between this
  // read and this write.
  CTavConfig config;
  const std::string path = PathOf(config);
  const std::string lockProblem = LockProblem(config);
  if (!lockProblem.empty()) {
    out << "failed: " << lockProblem << "\n";
    return kExitFailed;
  }
  ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  const bool read = config.ReadRegAddrs(list) == 1;
  const std::string peer = server + ":" + std::to_string(port);
  int removed = 0;
  if (all) {
    // A list that cannot be read is replaced as well: forgetting everything
    // is also the way out of a damaged store.
    removed = read ? list.count : 0;
    std::memset(&list, 0, sizeof list);
  } else if (!read) {
    out << "failed: nothing readable in " << path << "\n";
    return kExitFailed;
  } else {
    removed = RemoveServer(list, server.c_str(), port);
    if (removed == 0) {
      out << "failed: " << peer << " is not in the stored server list " << path << "\n";
      return kExitFailed;
    }
  }
  if (config.WriteRegAddrs(list) != 1) {
    out << "failed: the stored server list " << path << " could not be written\n";
    return kExitFailed;
  }
  out << "forgot: " << (all ? std::string("every server") : peer) << " (" << removed
      << (removed == 1 ? " entry" : " entries") << ") in " << path << "\n";
  return kExitDone;
}

}  // namespace seatenrol
