/* seatenrol's C interface: plain functions and fixed-layout structures that
 * any language can call (C, C#, Delphi, Visual Basic, Python's ctypes).
 *
 * Every function returns an int result where 0 (SEATENROL_OK) is success,
 * except those that return a text. No exception and no crash leaves a
 * function for any argument: a null pointer where one is required, or a
 * structure whose size field is too small, gives SEATENROL_BAD_ARGUMENT; an
 * allocation that fails gives SEATENROL_NO_MEMORY.
 *
 * On 32-bit Windows the functions use the Win32 API's convention, __stdcall
 * (WINAPI), and are exported under their plain names ("seatenrol_enrol"),
 * as kernel32's are; elsewhere there is one convention. On Windows the host
 * process must start Winsock (WSAStartup) before it enrols or asks for the
 * identity; the library never does.
 *
 * Texts are NUL-terminated and UTF-8: names, paths, the English texts and
 * the debugger messages a message callback receives (the C++ sink of
 * seatenrol/debug_output.h gets those in their own GBK). */
#ifndef SEATENROL_C_API_H
#define SEATENROL_C_API_H

#include <stdint.h>

#include "seatenrol/export.h"

#if defined(_WIN32)
#define SEATENROL_CALL __stdcall
#else
#define SEATENROL_CALL
#endif

/* The 32-bit DLL exports these functions under their plain names through its
 * .def file (cmake/seatenrol-win32.def); the compiler's own export, left out
 * while the library builds, would add the decorated seatenrol_enrol@20. */
#if defined(_WIN32) && !defined(_WIN64) && defined(SEATENROL_BUILDING)
#define SEATENROL_C_API
#else
#define SEATENROL_C_API SEATENROL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results. 0 is success; every other value names why a call failed. */
enum {
  SEATENROL_OK = 0,
  SEATENROL_REFUSED = 1,              /* the server refused the seat (error -4, -5 or -6) */
  SEATENROL_NO_ANSWER = 2,            /* no reply within 5 s */
  SEATENROL_PORT_UNREACHABLE = 3,     /* the server's host refused the datagram */
  SEATENROL_UNRESOLVED = 4,           /* the server name did not resolve */
  SEATENROL_UNUSABLE_REPLY = 5,       /* a reply came, but could not be parsed */
  SEATENROL_NOT_SENT = 6,             /* the request could not be sent or delivered */
  SEATENROL_NO_IDENTITY = 7,          /* the seat's address, MAC or host name was not found */
  SEATENROL_STORE_FAILED = 8,         /* the stored server list could not be read or written */
  SEATENROL_STORE_LOCKED = 9,         /* another program held the stored server list */
  SEATENROL_BAD_ARGUMENT = 10,        /* a null pointer, a size too small, a value out of range */
  SEATENROL_NO_MEMORY = 11,           /* an allocation failed */
  SEATENROL_NETWORK_NOT_STARTED = 12, /* Windows: the host has not called WSAStartup */
  SEATENROL_NOT_FOUND = 13,           /* no such server in the stored server list */
  SEATENROL_CANCELLED = 14,           /* the host cancelled the call */
  SEATENROL_TIMED_OUT = 15            /* the deadline passed in the lookup or the lock wait */
};

/* What one enrolment did: 64 bytes, no padding, on every architecture. A
 * caller built against the older 60-byte structure (without system_error)
 * passes size 60 and gets those 60 bytes. */
typedef struct seatenrol_enrolment {
  uint32_t size;          /* set by the caller: sizeof(seatenrol_enrolment) */
  int32_t outcome;        /* what the call returned */
  int32_t error_no;       /* the server's error number when it answered, else 0 */
  char server_ip[16];     /* dotted IPv4 of the address whose reply was used, else "" */
  uint8_t credential[32]; /* what an accepting answer granted, else zeros */
  int32_t system_error;   /* the system's code for the step that ended the call, else 0 */
} seatenrol_enrolment;

/* Enrols this seat with the management server at server:port: one 359-byte
 * request, up to 5 s for the reply, and on acceptance the server and its
 * credential recorded in the stored server list. The same exchange, messages
 * and log lines as CRegisterSession::RegisterServer, on a session of its own;
 * several threads may enrol at once.
 *   venue_id  the venue ID, 1 to 20 bytes of text
 *   secret    the venue's 32-byte secret
 *   server    host name or dotted IPv4 address, 1 to 255 bytes
 *   port      1 to 65535
 *   result    may be NULL; else its size field must be set
 * Returns SEATENROL_OK when the server accepted and the list was stored;
 * SEATENROL_STORE_FAILED or SEATENROL_STORE_LOCKED when the server accepted
 * but the list could not be stored (result->credential still holds the
 * grant, so the user can be told); otherwise why the enrolment failed. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_enrol(const char* venue_id, const uint8_t* secret,
                                                   const char* server, int32_t port,
                                                   seatenrol_enrolment* result);

/* The outcome of this thread's last enrolment: set by every seatenrol_enrol
 * call (one refused as SEATENROL_BAD_ARGUMENT included) and by every
 * CRegisterSession::RegisterServer and Register, and by nothing else, so a
 * C++ host whose RegisterServer returned false asks here why. Register
 * reports SEATENROL_OK whenever a reply was received and parsed, whatever it
 * said. SEATENROL_OK before any enrolment on the thread. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_last_outcome(void);

/* The system's own error code (errno on POSIX; GetLastError or
 * WSAGetLastError on Windows) of the step that ended this thread's last call
 * that set seatenrol_last_outcome; 0 when that call ended without a system
 * error. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_last_system_error(void);

/* A one-line English description of a result, UTF-8; static, never NULL
 * (an unknown value gives "unknown outcome"). */
SEATENROL_C_API const char* SEATENROL_CALL seatenrol_outcome_text(int32_t outcome);

/* Where a part of the identity came from. */
enum {
  SEATENROL_FROM_ADAPTER = 0,   /* the physical adapter the adapter rule chose */
  SEATENROL_FROM_HOST_NAME = 1, /* the host name's address list */
  SEATENROL_FROM_ADDRESS = 2    /* no adapter: the IP address's 4 bytes and 2 zeros */
};

/* The identity this seat's requests carry: 60 bytes. */
typedef struct seatenrol_identity {
  uint32_t size;      /* set by the caller: sizeof(seatenrol_identity) */
  int32_t ip_source;  /* SEATENROL_FROM_ADAPTER or SEATENROL_FROM_HOST_NAME */
  int32_t mac_source; /* SEATENROL_FROM_ADAPTER or SEATENROL_FROM_ADDRESS */
  char ip[16];        /* dotted IPv4 */
  char host_name[24]; /* UTF-8, at most 20 bytes cut at a character, NUL-terminated */
  uint8_t mac[6];
  uint8_t reserved[2]; /* zero */
} seatenrol_identity;

/* Discovers the identity exactly as the request builder does. The host name
 * is the same name in UTF-8: a request carries the system's own bytes (on
 * Windows those of the ANSI code page, gethostname's).
 * SEATENROL_OK, SEATENROL_NO_IDENTITY (out is then zeroed but for its size),
 * SEATENROL_NETWORK_NOT_STARTED or SEATENROL_BAD_ARGUMENT. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_get_identity(seatenrol_identity* out);

/* One entry of the stored server list: 296 bytes. */
typedef struct seatenrol_server {
  int32_t port;
  int32_t enrolled; /* 1 once an enrolment recorded it */
  uint8_t credential[32];
  char name[256]; /* the server name as enrolled, NUL-terminated */
} seatenrol_server;

/* Where the list was read from. */
enum {
  SEATENROL_LIST_NONE_YET = 0, /* no list stored yet: count is 0 */
  SEATENROL_LIST_PRIMARY = 1,
  SEATENROL_LIST_BACKUP = 2 /* the primary file is damaged; its backup was read */
};

/* Reads the stored server list. *count (count must not be NULL) receives the
 * number of entries in the list, which may exceed capacity; min(*count,
 * capacity) entries are written to servers (which may be NULL when capacity
 * is 0: the count alone). source may be NULL. SEATENROL_STORE_FAILED when
 * the list cannot be read at all or its folder does not exist. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_list_servers(seatenrol_server* servers,
                                                          int32_t capacity, int32_t* count,
                                                          int32_t* source);

/* Removes the entry of the server name at port, as one section with no other
 * writer between its read and its write. SEATENROL_OK, SEATENROL_NOT_FOUND,
 * SEATENROL_STORE_FAILED or SEATENROL_STORE_LOCKED. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_forget_server(const char* name, int32_t port);

/* Empties the stored server list, also one that can no longer be read.
 * SEATENROL_OK, SEATENROL_STORE_FAILED or SEATENROL_STORE_LOCKED. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_forget_all(void);

/* The full path of the stored server list's file, UTF-8, into buffer of size
 * bytes. SEATENROL_OK; SEATENROL_BAD_ARGUMENT when buffer is NULL or too
 * small (the path needs *needed bytes, terminator included, when needed is
 * not NULL); SEATENROL_STORE_FAILED when the path cannot be found. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_store_path(char* buffer, int32_t size,
                                                        int32_t* needed);

/* Where the stored server list (with its backup, lock and staging files) and
 * the log are kept, from the next call on; process-wide and safe from any
 * thread. directory is UTF-8 and must name an existing folder, else
 * SEATENROL_BAD_ARGUMENT and nothing changes. NULL restores the default: for
 * the list the folder SEATENROL_CONFIG_DIR names, else the host executable's;
 * for the log the host executable's. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_set_store_directory(const char* directory);
SEATENROL_C_API int SEATENROL_CALL seatenrol_set_log_directory(const char* directory);

/* Enrolment with the host's limits, cancel and progress.
 *
 * A cancel handle, made by seatenrol_cancel_create, may be requested from any
 * thread at any time; the enrolment using it then returns SEATENROL_CANCELLED
 * within 100 ms. One handle serves one enrolment at a time; destroy it only
 * once no call uses it. */
typedef struct seatenrol_cancel seatenrol_cancel;

/* Progress stages, in order; detail as each says. */
enum {
  SEATENROL_STAGE_RESOLVED = 1, /* detail: how many addresses the name gave */
  SEATENROL_STAGE_SENT = 2,     /* detail: the request's number for this address, 1 up */
  SEATENROL_STAGE_REPLY = 3,    /* detail: the server's error number */
  SEATENROL_STAGE_STORING = 4,  /* detail: 0 */
  SEATENROL_STAGE_DONE = 5      /* detail: the outcome */
};

/* Called on the enrolling thread with no lock of the library's held; it may
 * call any seatenrol_* function. It must not throw or jump out. */
typedef void(SEATENROL_CALL* seatenrol_progress_fn)(void* context, int32_t stage, int32_t detail,
                                                    int32_t elapsed_ms);

typedef struct seatenrol_options {
  uint32_t size;                  /* sizeof(seatenrol_options) */
  int32_t reply_wait_ms;          /* per address: 0 = 5000; else 1 to 600000 */
  int32_t sends;                  /* requests per address in that wait: 0, 1 = one; at most 8 */
  int32_t deadline_ms;            /* the whole call, lookup and lock wait included; 0 = none */
  seatenrol_cancel* cancel;       /* NULL, or from seatenrol_cancel_create */
  seatenrol_progress_fn progress; /* NULL, or called on the calling thread */
  void* progress_context;
} seatenrol_options;

/* seatenrol_enrol with options; NULL options is seatenrol_enrol exactly. */
SEATENROL_C_API int SEATENROL_CALL seatenrol_enrol_with(const char* venue_id, const uint8_t* secret,
                                                        const char* server, int32_t port,
                                                        const seatenrol_options* options,
                                                        seatenrol_enrolment* result);

/* NULL when out of memory. */
SEATENROL_C_API seatenrol_cancel* SEATENROL_CALL seatenrol_cancel_create(void);
/* Any thread, any time; SEATENROL_OK (SEATENROL_BAD_ARGUMENT for NULL). */
SEATENROL_C_API int SEATENROL_CALL seatenrol_cancel_request(seatenrol_cancel* cancel);
SEATENROL_C_API void SEATENROL_CALL seatenrol_cancel_destroy(seatenrol_cancel* cancel);

/* Messages for every language: each debugger message reaches fn as UTF-8, on
 * the thread that made it, with no lock of the library's held, on Linux as on
 * Windows; fn may call any seatenrol_* function, this one included. Replacing
 * or clearing (fn NULL; context and release are then unused) never waits for
 * callbacks running on other threads: release(context), when given, runs
 * exactly once, after the last call into the replaced callback has ended: at
 * once, on the replacing thread, when none is running, else on the thread
 * whose call ends last. So a callback that hands its text to a UI thread may
 * be cleared from that thread. Installing the same context again releases it
 * for the old registration: give each registration its own, or no release.
 * A callback must not throw or jump out; one that does anyway loses its
 * release (the context is never released) but leaves no later call waiting.
 * SEATENROL_OK, or SEATENROL_NO_MEMORY with the old callback in place. */
typedef void(SEATENROL_CALL* seatenrol_message_fn)(void* context, const char* utf8);
typedef void(SEATENROL_CALL* seatenrol_release_fn)(void* context);
SEATENROL_C_API int SEATENROL_CALL seatenrol_set_message_callback(seatenrol_message_fn fn,
                                                                  void* context,
                                                                  seatenrol_release_fn release);

/* The library's version, "MAJOR.MINOR.PATCH", as SEATENROL_VERSION_STRING
 * in seatenrol/version.h gives it for the headers a program was built with. */
SEATENROL_C_API const char* SEATENROL_CALL seatenrol_version(void);

#ifdef __cplusplus
}
#endif

#endif
