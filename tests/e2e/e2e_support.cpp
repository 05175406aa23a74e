#include "e2e_support.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "common/hex.h"
#include "enrol-server/enrolment_answer.h"
#include "hostinfo/host_identity.h"

namespace seatenrol_test {

ScopedStoreDirectory::ScopedStoreDirectory() {
  std::string pattern = (std::filesystem::temp_directory_path() / "seatenrol-e2e-XXXXXX").string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) m_path = buffer.data();
  setenv("SEATENROL_CONFIG_DIR", m_path.c_str(), 1);
}

ScopedStoreDirectory::~ScopedStoreDirectory() {
  unsetenv("SEATENROL_CONFIG_DIR");
  std::error_code ignored;
  if (!m_path.empty()) std::filesystem::remove_all(m_path, ignored);
}

std::string ScopedStoreDirectory::WriteFile(const std::string& name,
                                            const std::string& text) const {
  const std::string path = m_path + "/" + name;
  std::ofstream(path) << text;
  return path;
}

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : m_pid(-1), m_output(-1) {
  int pipeEnds[2];
  if (argv.empty() || pipe(pipeEnds) != 0) return;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  m_pid = fork();
  if (m_pid == 0) {
    dup2(pipeEnds[1], STDOUT_FILENO);
    dup2(pipeEnds[1], STDERR_FILENO);
    close(pipeEnds[0]);
    close(pipeEnds[1]);
    execv(args[0], args.data());
    _exit(127);
  }
  close(pipeEnds[1]);
  m_output = pipeEnds[0];
  if (m_pid < 0) {
    close(m_output);
    m_output = -1;
  }
}

ChildProcess::~ChildProcess() {
  if (m_pid > 0) Stop();
  if (m_output >= 0) close(m_output);
}

bool ChildProcess::ReadLine(int waitMs, std::string& line) {
  for (int waited = 0;;) {
    const std::size_t end = m_pending.find('\n');
    if (end != std::string::npos) {
      line = m_pending.substr(0, end);
      m_pending.erase(0, end + 1);
      return true;
    }
    if (m_output < 0 || waited >= waitMs) return false;
    pollfd readable{m_output, POLLIN, 0};
    const int step = 50;
    waited += step;
    if (poll(&readable, 1, step) <= 0) continue;
    char chunk[4096];
    const ssize_t got = read(m_output, chunk, sizeof chunk);
    if (got <= 0) return false;
    m_pending.append(chunk, static_cast<std::size_t>(got));
  }
}

int ChildProcess::Finish(std::string& output) {
  if (m_pid <= 0) return -1;
  char chunk[4096];
  ssize_t got;
  while (m_output >= 0 && (got = read(m_output, chunk, sizeof chunk)) > 0) {
    m_pending.append(chunk, static_cast<std::size_t>(got));
  }
  output = m_pending;
  m_pending.clear();
  int status = 0;
  const pid_t reaped = waitpid(m_pid, &status, 0);
  m_pid = -1;
  return reaped > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

void ChildProcess::CloseOutput() {
  if (m_output >= 0) close(m_output);
  m_output = -1;
}

int ChildProcess::Stop() {
  if (m_pid <= 0) return -1;
  kill(m_pid, SIGTERM);
  std::string ignored;
  return Finish(ignored);
}

void ChildProcess::Signal(int number) {
  if (m_pid > 0) kill(m_pid, number);
}

void ChildProcess::Kill() {
  if (m_pid <= 0) return;
  kill(m_pid, SIGKILL);
  std::string ignored;
  Finish(ignored);
}

ServerProcess::ServerProcess(const ScopedStoreDirectory& directory, const std::string& venues,
                             const std::vector<std::string>& flags)
    : m_process(Arguments(directory.WriteFile("venues.txt", venues), flags)), m_port(0) {
  std::string line;
  if (m_process.ReadLine(5000, line) && JsonValue(line, "event") == "\"listening\"") {
    m_port = std::atoi(JsonValue(line, "port").c_str());
  }
}

std::vector<std::string> ServerProcess::Arguments(const std::string& venueFile,
                                                  const std::vector<std::string>& flags) {
  std::vector<std::string> argv = {ENROL_SERVER_PATH, "--venues", venueFile, "--port", "0"};
  argv.insert(argv.end(), flags.begin(), flags.end());
  return argv;
}

bool ServerProcess::NextRequest(int waitMs, std::string& line) {
  while (m_process.ReadLine(waitMs, line)) {
    if (JsonValue(line, "event") == "\"request\"") return true;
  }
  return false;
}

std::string JsonValue(const std::string& line, const std::string& key) {
  const std::string marker = "\"" + key + "\":";
  const std::size_t start = line.find(marker);
  if (start == std::string::npos) return std::string();
  std::size_t at = start + marker.size();
  std::size_t end = at;
  if (at < line.size() && line[at] == '"') {
    end = at + 1;
    while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
    ++end;
  } else {
    while (end < line.size() && line[end] != ',' && line[end] != '}') ++end;
  }
  return line.substr(at, end - at);
}

bool SeatMac(unsigned char (&mac)[6]) {
  // As the request builder does: the stand-in MAC leaves its last byte as it was.
  std::memset(mac, 0, sizeof mac);
  seatenrol::CHostIdentity identity;
  return identity.GetSystemIP() != nullptr && identity.GetSystemMac(mac, sizeof mac) == 1;
}

void MachineCharacteristic(const unsigned char (&mac)[6], unsigned char (&out)[32]) {
  char text[13] = {};
  std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  std::memset(out, 0, sizeof out);
  std::memcpy(out, text, 12);
}

std::array<unsigned char, 32> ExpectedCredential(const seatenrol::VenueSecret& secret) {
  unsigned char mac[6] = {};
  unsigned char characteristic[32];
  unsigned char credential[32];
  SeatMac(mac);
  MachineCharacteristic(mac, characteristic);
  seatenrol::DeriveCredential(secret, characteristic, credential);
  std::array<unsigned char, 32> result;
  std::memcpy(result.data(), credential, result.size());
  return result;
}

std::string VenueLine(const std::string& venueID, const seatenrol::VenueSecret& secret) {
  return venueID + " " + seatenrol::ToHex(secret.data(), secret.size()) + "\n";
}

seatenrol::VenueSecret MakeSecret(int seed) {
  seatenrol::VenueSecret secret;
  for (std::size_t i = 0; i < secret.size(); ++i) {
    secret[i] = static_cast<unsigned char>(seed * 37 + static_cast<int>(i) * 11 + 1);
  }
  return secret;
}

seatenrol::ST_REGISTERINFO_LIST ReadStoredList() {
  seatenrol::ST_REGISTERINFO_LIST list;
  std::memset(&list, 0, sizeof list);
  CTavConfig config;
  if (config.ReadRegAddrs(list) != 1 || config.GetReadSource() == CTavConfig::kReadMissing) {
    list.count = -1;
  }
  return list;
}

}  // namespace seatenrol_test
