// The C interface over the session, the identity discovery and the stored
// server list. Each function checks its arguments, then runs the C++ code
// inside a catch-all: nothing but a result code crosses into the caller.
#include "seatenrol/c_api.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include "hostinfo/host_identity.h"
#include "platform/call_limits.h"
#include "platform/chosen_directory.h"
#include "log/log.h"
#include "platform/config_store.h"
#include "platform/os.h"
#include "platform/socket.h"
#include "platform/wipe.h"
#include "seatenrol/session.h"
#include "seatenrol/version.h"
#include "session/enrolment_report.h"
#include "session/progress.h"
#include "session/server_list.h"
#include "session/session_limits.h"

static_assert(sizeof(seatenrol_enrolment) == 64, "seatenrol_enrolment is 64 bytes");
static_assert(offsetof(seatenrol_enrolment, system_error) == 60, "system_error offset");
static_assert(offsetof(seatenrol_enrolment, server_ip) == 12, "server_ip offset");
static_assert(offsetof(seatenrol_enrolment, credential) == 28, "credential offset");
static_assert(sizeof(seatenrol_identity) == 60, "seatenrol_identity is 60 bytes");
static_assert(offsetof(seatenrol_identity, ip) == 12, "ip offset");
static_assert(offsetof(seatenrol_identity, host_name) == 28, "host_name offset");
static_assert(offsetof(seatenrol_identity, mac) == 52, "mac offset");
// A cancel handle: one flag, raised once, read by the enrolment using it.
struct seatenrol_cancel {
  std::atomic<bool> requested{false};
};

static_assert(sizeof(seatenrol_server) == 296, "seatenrol_server is 296 bytes");
static_assert(offsetof(seatenrol_server, credential) == 8, "credential offset");
static_assert(offsetof(seatenrol_server, name) == 40, "name offset");

namespace seatenrol {
namespace {

static_assert(static_cast<int>(Outcome::kOk) == SEATENROL_OK &&
                  static_cast<int>(Outcome::kRefused) == SEATENROL_REFUSED &&
                  static_cast<int>(Outcome::kNoAnswer) == SEATENROL_NO_ANSWER &&
                  static_cast<int>(Outcome::kPortUnreachable) == SEATENROL_PORT_UNREACHABLE &&
                  static_cast<int>(Outcome::kUnresolved) == SEATENROL_UNRESOLVED &&
                  static_cast<int>(Outcome::kUnusableReply) == SEATENROL_UNUSABLE_REPLY &&
                  static_cast<int>(Outcome::kNotSent) == SEATENROL_NOT_SENT &&
                  static_cast<int>(Outcome::kNoIdentity) == SEATENROL_NO_IDENTITY &&
                  static_cast<int>(Outcome::kStoreFailed) == SEATENROL_STORE_FAILED &&
                  static_cast<int>(Outcome::kStoreLocked) == SEATENROL_STORE_LOCKED &&
                  static_cast<int>(Outcome::kBadArgument) == SEATENROL_BAD_ARGUMENT &&
                  static_cast<int>(Outcome::kNoMemory) == SEATENROL_NO_MEMORY &&
                  static_cast<int>(Outcome::kNetworkNotStarted) == SEATENROL_NETWORK_NOT_STARTED &&
                  static_cast<int>(Outcome::kNotFound) == SEATENROL_NOT_FOUND &&
                  static_cast<int>(Outcome::kCancelled) == SEATENROL_CANCELLED &&
                  static_cast<int>(Outcome::kTimedOut) == SEATENROL_TIMED_OUT,
              "the session's outcomes are the C interface's results");
static_assert(static_cast<int>(Stage::kResolved) == SEATENROL_STAGE_RESOLVED &&
                  static_cast<int>(Stage::kSent) == SEATENROL_STAGE_SENT &&
                  static_cast<int>(Stage::kReply) == SEATENROL_STAGE_REPLY &&
                  static_cast<int>(Stage::kStoring) == SEATENROL_STAGE_STORING &&
                  static_cast<int>(Stage::kDone) == SEATENROL_STAGE_DONE,
              "the session's stages are the C interface's");

constexpr std::size_t kSecretSize = 32;
// The structure before system_error joined it; callers built against it
// pass this size and get these bytes.
constexpr std::size_t kFirstEnrolmentSize = offsetof(seatenrol_enrolment, system_error);
constexpr std::size_t kServerNameLimit = sizeof(ST_REGISTERINFO::serverName) - 1;

// Runs body, turning anything it throws into a result.
template <typename Body>
int Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return SEATENROL_NO_MEMORY;
  } catch (...) {
    return SEATENROL_NO_MEMORY;  // the library throws nothing else
  }
}

// The length of text when it is 1..limit bytes long, else 0.
std::size_t TextLength(const char* text, std::size_t limit) {
  if (text == nullptr) return 0;
  const void* end = std::memchr(text, 0, limit + 1);
  const std::size_t length = end == nullptr ? 0 : static_cast<const char*>(end) - text;
  return length;
}

// How many bytes of the caller's result the library writes: the fields its
// size covers, the known ones only; 0 for a size too small to use.
std::size_t WrittenSize(const seatenrol_enrolment* result) {
  if (result == nullptr || result->size < kFirstEnrolmentSize) return 0;
  return result->size < sizeof(seatenrol_enrolment) ? kFirstEnrolmentSize
                                                    : sizeof(seatenrol_enrolment);
}

bool HasSystemError(const seatenrol_enrolment* result) {
  return WrittenSize(result) == sizeof(seatenrol_enrolment);
}

int Enrol(const char* venueID, const std::uint8_t* secret, const char* server, std::int32_t port,
          seatenrol_enrolment* result) {
  const std::size_t written = WrittenSize(result);
  if (result != nullptr) {
    if (written == 0) return SEATENROL_BAD_ARGUMENT;
    std::memset(reinterpret_cast<char*>(result) + sizeof result->size, 0,
                written - sizeof result->size);
    result->outcome = SEATENROL_BAD_ARGUMENT;
  }
  const std::size_t venueLength = TextLength(venueID, kVenueIDSize);
  if (venueLength == 0 || secret == nullptr || TextLength(server, kServerNameLimit) == 0 ||
      port < 1 || port > 65535) {
    return SEATENROL_BAD_ARGUMENT;
  }
  // RegisterServer reads the venue ID's full 20 bytes and the secret's 32
  // through non-const pointers: it gets copies of its own.
  unsigned char venue[kVenueIDSize] = {};
  std::memcpy(venue, venueID, venueLength);
  unsigned char key[kSecretSize];
  const ScopedWipe wipeKey(key, sizeof key);
  std::memcpy(key, secret, sizeof key);
  const CredentialHandOver handOver;  // wipes the report's credential once copied out
  {
    CRegisterSession session;  // its copy of the secret goes with it
    session.RegisterServer(venue, key, reinterpret_cast<unsigned char*>(const_cast<char*>(server)),
                           port);
  }
  WipeStackBelow();  // the enrolment's frames held the secret
  const EnrolmentReport& report = ThreadEnrolmentReport();
  const int outcome = static_cast<int>(report.outcome);
  if (result != nullptr) {
    result->outcome = outcome;
    result->error_no = report.errorNo;
    const bool answered = report.outcome == Outcome::kOk || report.outcome == Outcome::kRefused ||
                          report.outcome == Outcome::kStoreFailed ||
                          report.outcome == Outcome::kStoreLocked;
    if (answered) std::memcpy(result->server_ip, report.serverIP, sizeof result->server_ip);
    if (report.outcome != Outcome::kRefused && answered) {
      std::memcpy(result->credential, report.credential, sizeof result->credential);
    }
    result->server_ip[sizeof result->server_ip - 1] = '\0';
    if (HasSystemError(result)) result->system_error = report.systemError;
  }
  return outcome;
}

constexpr int kLongestReplyWaitMs = 600000;
constexpr int kMostSends = 8;

bool ValidOptions(const seatenrol_options& options) {
  return options.size >= sizeof(seatenrol_options) && options.reply_wait_ms >= 0 &&
         options.reply_wait_ms <= kLongestReplyWaitMs && options.sends >= 0 &&
         options.sends <= kMostSends && options.deadline_ms >= 0;
}

// The host's progress function, with the time since the call began.
struct HostProgress {
  seatenrol_progress_fn fn;
  void* context;
  std::chrono::steady_clock::time_point start;
};

void CallHostProgress(void* context, int stage, int detail) {
  const HostProgress& host = *static_cast<const HostProgress*>(context);
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - host.start);
  host.fn(host.context, stage, detail, static_cast<std::int32_t>(elapsed.count()));
}

int GetIdentity(seatenrol_identity* out) {
  if (out == nullptr || out->size < sizeof(seatenrol_identity)) return SEATENROL_BAD_ARGUMENT;
  std::memset(reinterpret_cast<char*>(out) + sizeof out->size, 0,
              sizeof(seatenrol_identity) - sizeof out->size);
  // The request builder's order: the adapter rule, which sets the IP when an
  // adapter matched; the IP (the rule's, else the host name's); the MAC; the
  // host name.
  CHostIdentity identity;
  unsigned char scratch[64] = {};
  identity.FindLocalAdapter(scratch, sizeof scratch);
  const bool fromAdapter = identity.IPText()[0] != '\0';
  const char* ip = identity.GetSystemIP();
  unsigned char mac[CHostIdentity::kMacSize] = {};
  // UTF-8, as every text of the C interface; the request carries the
  // system's own bytes.
  char name[CHostIdentity::kHostNameLimit + 1] = {};
  if (ip == nullptr || identity.GetSystemMac(mac, sizeof mac) != 1 || !HostNameUtf8(name)) {
    return SocketLayerStarted() ? SEATENROL_NO_IDENTITY : SEATENROL_NETWORK_NOT_STARTED;
  }
  out->ip_source = fromAdapter ? SEATENROL_FROM_ADAPTER : SEATENROL_FROM_HOST_NAME;
  out->mac_source = fromAdapter ? SEATENROL_FROM_ADAPTER : SEATENROL_FROM_ADDRESS;
  std::strncpy(out->ip, ip, sizeof out->ip - 1);
  std::memcpy(out->host_name, name, CHostIdentity::kHostNameLimit);
  std::memcpy(out->mac, mac, sizeof mac);
  return SEATENROL_OK;
}

// The list as stored, and where it came from; false when nothing readable.
bool ReadList(CTavConfig& config, ST_REGISTERINFO_LIST& list, std::int32_t& source) {
  std::memset(&list, 0, sizeof list);
  if (config.ReadRegAddrs(list) != 1) return false;
  switch (config.GetReadSource()) {
    case CTavConfig::kReadPrimary:
      source = SEATENROL_LIST_PRIMARY;
      return true;
    case CTavConfig::kReadBackup:
      source = SEATENROL_LIST_BACKUP;
      return true;
    case CTavConfig::kReadMissing:
      source = SEATENROL_LIST_NONE_YET;
      return true;
    default:
      return false;
  }
}

bool StoreDirectoryExists(const CTavConfig& config) {
  const std::string path = config.GetStorePath();
  const std::size_t separator = path.find_last_of(kPathSeparator);
  if (separator == std::string::npos) return false;
  return IsDirectory(separator == 0 ? path.substr(0, 1).c_str()
                                    : path.substr(0, separator).c_str());
}

int ListServers(seatenrol_server* servers, std::int32_t capacity, std::int32_t* count,
                std::int32_t* source) {
  if (count == nullptr || capacity < 0 || (capacity > 0 && servers == nullptr)) {
    return SEATENROL_BAD_ARGUMENT;
  }
  *count = 0;
  if (source != nullptr) *source = SEATENROL_LIST_NONE_YET;
  CTavConfig config;
  ST_REGISTERINFO_LIST list;
  const ScopedWipe wipeList(&list, sizeof list);  // the caller has its own copy
  std::int32_t from = SEATENROL_LIST_NONE_YET;
  if (!ReadList(config, list, from)) return SEATENROL_STORE_FAILED;
  // A missing file is no list yet only where the list can be kept at all.
  if (from == SEATENROL_LIST_NONE_YET && !StoreDirectoryExists(config))
    return SEATENROL_STORE_FAILED;
  *count = list.count;
  if (source != nullptr) *source = from;
  for (int i = 0; i < list.count && i < capacity; ++i) {
    const ST_REGISTERINFO& entry = list.entries[i];
    seatenrol_server& server = servers[i];
    std::memset(&server, 0, sizeof server);
    server.port = entry.port;
    server.enrolled = entry.enrolled;
    std::memcpy(server.credential, entry.credential, sizeof server.credential);
    std::memcpy(server.name, entry.serverName, BoundedLength(entry.serverName, kServerNameLimit));
  }
  return SEATENROL_OK;
}

int Forget(const char* name, std::int32_t port, bool all) {
  if (!all && (TextLength(name, kServerNameLimit) == 0 || port < 1 || port > 65535)) {
    return SEATENROL_BAD_ARGUMENT;
  }
  switch (all ? ForgetAll() : ForgetServer(name, port)) {
    case ForgetResult::kForgotten:
      return SEATENROL_OK;
    case ForgetResult::kNotFound:
      return SEATENROL_NOT_FOUND;
    case ForgetResult::kLocked:
      return SEATENROL_STORE_LOCKED;
    default:
      return SEATENROL_STORE_FAILED;
  }
}

int StorePath(char* buffer, std::int32_t size, std::int32_t* needed) {
  const CTavConfig config;
  const char* path = config.GetStorePath();
  if (path == nullptr || *path == '\0') return SEATENROL_STORE_FAILED;
  const std::size_t length = std::strlen(path) + 1;
  if (needed != nullptr) *needed = static_cast<std::int32_t>(length);
  if (buffer == nullptr || size < 0 || static_cast<std::size_t>(size) < length) {
    return SEATENROL_BAD_ARGUMENT;
  }
  std::memcpy(buffer, path, length);
  return SEATENROL_OK;
}

// Chooses the folder for which: an existing one, or null for the default.
int ChooseFolder(ChosenFolder which, const char* directory) {
  if (directory != nullptr && !IsDirectory(directory)) return SEATENROL_BAD_ARGUMENT;
  SetChosenDirectory(which, directory);
  return SEATENROL_OK;
}

}  // namespace
}  // namespace seatenrol

extern "C" {

int SEATENROL_CALL seatenrol_enrol(const char* venue_id, const uint8_t* secret, const char* server,
                                   int32_t port, seatenrol_enrolment* result) {
  using seatenrol::Outcome;
  const int outcome =
      seatenrol::Guarded([&] { return seatenrol::Enrol(venue_id, secret, server, port, result); });
  // Arguments refused before the session ran, and a failure thrown past it,
  // are this thread's last outcome as well.
  seatenrol::EnrolmentReport& report = seatenrol::ThreadEnrolmentReport();
  if (static_cast<int>(report.outcome) != outcome) {
    seatenrol::BeginEnrolmentReport(static_cast<Outcome>(outcome));
    if (seatenrol::WrittenSize(result) != 0) result->outcome = outcome;
  }
  return outcome;
}

int SEATENROL_CALL seatenrol_enrol_with(const char* venue_id, const uint8_t* secret,
                                        const char* server, int32_t port,
                                        const seatenrol_options* options,
                                        seatenrol_enrolment* result) {
  using namespace seatenrol;
  if (options == nullptr) return seatenrol_enrol(venue_id, secret, server, port, result);
  if (!ValidOptions(*options)) {
    // Refused before anything ran: nothing sent, result untouched.
    BeginEnrolmentReport(Outcome::kBadArgument);
    return SEATENROL_BAD_ARGUMENT;
  }
  const auto start = std::chrono::steady_clock::now();
  HostProgress host{options->progress, options->progress_context, start};
  CallLimits limits;
  limits.hasDeadline = options->deadline_ms > 0;
  limits.deadline = start + std::chrono::milliseconds(options->deadline_ms);
  limits.cancel = options->cancel != nullptr ? &options->cancel->requested : nullptr;
  limits.replyWaitMs = options->reply_wait_ms > 0 ? options->reply_wait_ms : kReplyWaitMs;
  limits.sends = options->sends > 1 ? options->sends : 1;
  if (options->progress != nullptr) {
    limits.progress = CallHostProgress;
    limits.progressContext = &host;
  }
  const ScopedCallLimits current(&limits);
  const int outcome = seatenrol_enrol(venue_id, secret, server, port, result);
  ReportStage(Stage::kDone, outcome);
  return outcome;
}

seatenrol_cancel* SEATENROL_CALL seatenrol_cancel_create(void) {
  return new (std::nothrow) seatenrol_cancel;
}

int SEATENROL_CALL seatenrol_cancel_request(seatenrol_cancel* cancel) {
  if (cancel == nullptr) return SEATENROL_BAD_ARGUMENT;
  cancel->requested.store(true, std::memory_order_release);
  return SEATENROL_OK;
}

void SEATENROL_CALL seatenrol_cancel_destroy(seatenrol_cancel* cancel) { delete cancel; }

int SEATENROL_CALL seatenrol_last_outcome(void) {
  return static_cast<int>(seatenrol::ThreadEnrolmentReport().outcome);
}

int SEATENROL_CALL seatenrol_last_system_error(void) {
  return seatenrol::ThreadEnrolmentReport().systemError;
}

const char* SEATENROL_CALL seatenrol_outcome_text(int32_t outcome) {
  switch (outcome) {
    case SEATENROL_OK:
      return "enrolled: the server accepted the seat and the stored server list was updated";
    case SEATENROL_REFUSED:
      return "the server refused the enrolment";
    case SEATENROL_NO_ANSWER:
      return "no answer from the server within 5 s";
    case SEATENROL_PORT_UNREACHABLE:
      return "the server's host refused the datagram (nothing listens on that port)";
    case SEATENROL_UNRESOLVED:
      return "the server name did not resolve";
    case SEATENROL_UNUSABLE_REPLY:
      return "the reply from the server could not be used";
    case SEATENROL_NOT_SENT:
      return "the request could not be sent to the server";
    case SEATENROL_NO_IDENTITY:
      return "this seat's address, MAC or host name was not found";
    case SEATENROL_STORE_FAILED:
      return "the stored server list could not be read or written";
    case SEATENROL_STORE_LOCKED:
      return "the stored server list stayed locked by another program";
    case SEATENROL_BAD_ARGUMENT:
      return "an argument was missing, too small or out of range";
    case SEATENROL_NO_MEMORY:
      return "out of memory";
    case SEATENROL_NETWORK_NOT_STARTED:
      return "the socket layer is not started (WSAStartup was not called)";
    case SEATENROL_NOT_FOUND:
      return "no such server in the stored server list";
    case SEATENROL_CANCELLED:
      return "the enrolment was cancelled";
    case SEATENROL_TIMED_OUT:
      return "the deadline passed before the enrolment could finish";
    default:
      return "unknown outcome";
  }
}

int SEATENROL_CALL seatenrol_get_identity(seatenrol_identity* out) {
  return seatenrol::Guarded([&] { return seatenrol::GetIdentity(out); });
}

int SEATENROL_CALL seatenrol_list_servers(seatenrol_server* servers, int32_t capacity,
                                          int32_t* count, int32_t* source) {
  return seatenrol::Guarded(
      [&] { return seatenrol::ListServers(servers, capacity, count, source); });
}

int SEATENROL_CALL seatenrol_forget_server(const char* name, int32_t port) {
  return seatenrol::Guarded([&] { return seatenrol::Forget(name, port, false); });
}

int SEATENROL_CALL seatenrol_forget_all(void) {
  return seatenrol::Guarded([&] { return seatenrol::Forget(nullptr, 0, true); });
}

int SEATENROL_CALL seatenrol_store_path(char* buffer, int32_t size, int32_t* needed) {
  return seatenrol::Guarded([&] { return seatenrol::StorePath(buffer, size, needed); });
}

int SEATENROL_CALL seatenrol_set_store_directory(const char* directory) {
  return seatenrol::Guarded(
      [&] { return seatenrol::ChooseFolder(seatenrol::ChosenFolder::kStore, directory); });
}

int SEATENROL_CALL seatenrol_set_log_directory(const char* directory) {
  return seatenrol::Guarded(
      [&] { return seatenrol::ChooseFolder(seatenrol::ChosenFolder::kLog, directory); });
}

int SEATENROL_CALL seatenrol_set_message_callback(seatenrol_message_fn fn, void* context,
                                                  seatenrol_release_fn release) {
  return seatenrol::SetMessageCallback(fn, context, release) ? SEATENROL_OK : SEATENROL_NO_MEMORY;
}

const char* SEATENROL_CALL seatenrol_version(void) { return SEATENROL_VERSION_STRING; }

}  // extern "C"
