// Helpers for enrolments run end to end: the reference server as a child
// process, a private store directory per test, and the seat's own identity.
#ifndef SEATENROL_TESTS_E2E_E2E_SUPPORT_H
#define SEATENROL_TESTS_E2E_E2E_SUPPORT_H

#include <sys/types.h>

#include <array>
#include <string>
#include <vector>

#include "enrol-server/venue_table.h"
#include "platform/config_store.h"

namespace seatenrol_test {

// Whether AddressSanitizer is built in: it widens every frame and maps
// terabytes of shadow memory readable.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
constexpr bool kAddressSanitizer = __has_feature(address_sanitizer);
#else
constexpr bool kAddressSanitizer = false;
#endif

// A fresh directory that SEATENROL_CONFIG_DIR names while this object lives;
// removed with its content afterwards.
class ScopedStoreDirectory {
public:
  ScopedStoreDirectory();
  ~ScopedStoreDirectory();
  ScopedStoreDirectory(const ScopedStoreDirectory&) = delete;
  ScopedStoreDirectory& operator=(const ScopedStoreDirectory&) = delete;

  const std::string& Path() const { return m_path; }
  // Writes text to a file in the directory and returns its full name.
  std::string WriteFile(const std::string& name, const std::string& text) const;

private:
  std::string m_path;
};

// A running program with its standard output and error readable line by
// line; it is stopped (SIGTERM) and reaped when the object goes.
class ChildProcess {
public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool Started() const { return m_pid > 0; }
  // The next line of its output within waitMs; false when none came.
  bool ReadLine(int waitMs, std::string& line);
  // Everything it writes until it exits, and its exit status (-1 when it
  // did not exit normally).
  int Finish(std::string& output);
  // Sends SIGTERM and returns the exit status as Finish does.
  int Stop();
  // Sends it the signal number, leaving it to end in its own time.
  void Signal(int number);
  // Closes this end of its output, as a reader that has gone away would.
  void CloseOutput();
  // Sends SIGKILL, which it cannot catch, and reaps it.
  void Kill();

private:
  pid_t m_pid;
  int m_output;
  std::string m_pending;
};

// enrol-server serving venues (written to a file in directory) with the
// extra flags, on a loopback port of its own choosing.
class ServerProcess {
public:
  ServerProcess(const ScopedStoreDirectory& directory, const std::string& venues,
                const std::vector<std::string>& flags = {});

  bool Ready() const { return m_port > 0; }
  int Port() const { return m_port; }
  // The next request report within waitMs; false when none came.
  bool NextRequest(int waitMs, std::string& line);
  // The next line of any kind within waitMs.
  bool NextLine(int waitMs, std::string& line) { return m_process.ReadLine(waitMs, line); }
  void CloseOutput() { m_process.CloseOutput(); }
  int Stop() { return m_process.Stop(); }

private:
  static std::vector<std::string> Arguments(const std::string& venueFile,
                                            const std::vector<std::string>& flags);
  ChildProcess m_process;
  int m_port;
};

// The raw value of key in a flat one-line JSON object (strings keep their
// quotes); empty when the key is absent.
std::string JsonValue(const std::string& line, const std::string& key);

// The seat's MAC as the library finds it; false when this host has none.
bool SeatMac(unsigned char (&mac)[6]);
// The machine characteristic the seat sends: the MAC as 12 upper-case hex
// digits, then zero bytes.
void MachineCharacteristic(const unsigned char (&mac)[6], unsigned char (&out)[32]);
// The credential the reference server gives this seat for the secret.
std::array<unsigned char, 32> ExpectedCredential(const seatenrol::VenueSecret& secret);

// A "VENUE_ID SECRET" line of a venue file.
std::string VenueLine(const std::string& venueID, const seatenrol::VenueSecret& secret);
// A secret whose bytes follow from seed.
seatenrol::VenueSecret MakeSecret(int seed);

// The stored list, read afresh; count -1 when there is none or it cannot be
// read.
seatenrol::ST_REGISTERINFO_LIST ReadStoredList();

}  // namespace seatenrol_test

#endif
