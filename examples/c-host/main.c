/* c-host: a C99 program that enrols its seat through the C interface
 * (seatenrol/c_api.h) alone, and checks what each call reports.
 *
 *   c-host VENUE_ID SECRET PORT DROP_PORT CLOSED_PORT [REFUSALS]
 *
 * On 127.0.0.1, PORT is a management server that knows VENUE_ID with SECRET
 * (64 hexadecimal digits), DROP_PORT one that never answers, CLOSED_PORT a
 * port nothing listens on. REFUSALS is "reported" (the default) or "silent"
 * where the system drops a closed port's refusal (wine), so that a datagram
 * to it meets silence. The host enrols (accepted), enrols with a wrong secret
 * (refused, error -4), tries the silent server and the closed port, lists and
 * forgets. On Windows it first enrols before starting Winsock, which the
 * library must refuse as SEATENROL_NETWORK_NOT_STARTED.
 *
 * Exit status: 0 every call reported what it should, 1 one did not,
 * 64 bad command line. */
#if defined(_WIN32)
#include <winsock2.h>
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "seatenrol/c_api.h"
#include "secret_text.h"

enum { kExitMismatch = 1, kExitUsage = 64 };

static const char kServer[] = "127.0.0.1";

static const char* const kOutcomeNames[] = {"SEATENROL_OK",
                                            "SEATENROL_REFUSED",
                                            "SEATENROL_NO_ANSWER",
                                            "SEATENROL_PORT_UNREACHABLE",
                                            "SEATENROL_UNRESOLVED",
                                            "SEATENROL_UNUSABLE_REPLY",
                                            "SEATENROL_NOT_SENT",
                                            "SEATENROL_NO_IDENTITY",
                                            "SEATENROL_STORE_FAILED",
                                            "SEATENROL_STORE_LOCKED",
                                            "SEATENROL_BAD_ARGUMENT",
                                            "SEATENROL_NO_MEMORY",
                                            "SEATENROL_NETWORK_NOT_STARTED",
                                            "SEATENROL_NOT_FOUND"};

static int g_mismatches = 0;

static const char* OutcomeName(int outcome) {
  const int count = (int)(sizeof kOutcomeNames / sizeof kOutcomeNames[0]);
  return outcome >= 0 && outcome < count ? kOutcomeNames[outcome] : "an unknown result";
}

/* Prints what a call returned, with the library's description for an
 * enrolment, and counts it when it is not what was expected. */
static void Report(const char* step, int outcome, int expected, int isEnrolment) {
  if (isEnrolment) {
    printf("c-host: %s: %s (%s)\n", step, OutcomeName(outcome), seatenrol_outcome_text(outcome));
  } else {
    printf("c-host: %s: %s\n", step, OutcomeName(outcome));
  }
  if (outcome != expected) {
    printf("c-host: MISMATCH: %s should give %s\n", step, OutcomeName(expected));
    ++g_mismatches;
  }
}

static void ExpectOutcome(const char* step, int outcome, int expected) {
  Report(step, outcome, expected, 0);
}

static void ExpectEnrolment(const char* step, int outcome, int expected) {
  Report(step, outcome, expected, 1);
}

static void Expect(int holds, const char* what) {
  if (!holds) {
    printf("c-host: MISMATCH: %s\n", what);
    ++g_mismatches;
  }
}

static int ParsePort(const char* text, int* port) {
  char* end = NULL;
  const long value = strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 65535) return 0;
  *port = (int)value;
  return 1;
}

static int Usage(void) {
  fprintf(stderr, "usage: c-host VENUE_ID SECRET PORT DROP_PORT CLOSED_PORT [reported|silent]\n");
  return kExitUsage;
}

static int Enrol(const char* venue, const unsigned char* secret, int port,
                 seatenrol_enrolment* result) {
  memset(result, 0, sizeof *result);
  result->size = sizeof *result;
  return seatenrol_enrol(venue, secret, kServer, port, result);
}

/* The stored server list: how many entries, the first in *first. */
static int CountServers(seatenrol_server* first) {
  int32_t count = -1;
  int32_t source = -1;
  memset(first, 0, sizeof *first);
  ExpectOutcome("list the stored servers", seatenrol_list_servers(first, 1, &count, &source),
                SEATENROL_OK);
  printf("c-host: %d stored server(s)\n", (int)count);
  return (int)count;
}

static int IsZero(const uint8_t* bytes, size_t size) {
  size_t i;
  for (i = 0; i < size; ++i) {
    if (bytes[i] != 0) return 0;
  }
  return 1;
}

static void ShowIdentity(void) {
  seatenrol_identity identity;
  memset(&identity, 0, sizeof identity);
  identity.size = sizeof identity;
  ExpectOutcome("identity", seatenrol_get_identity(&identity), SEATENROL_OK);
  printf("c-host: this seat is %s, %s, %02x:%02x:%02x:%02x:%02x:%02x\n", identity.ip,
         identity.host_name, identity.mac[0], identity.mac[1], identity.mac[2], identity.mac[3],
         identity.mac[4], identity.mac[5]);
}

/* Accepted, then refused for a wrong secret: the stored list keeps the
 * first enrolment's entry and credential. */
static void EnrolAndRefuse(const char* venue, const unsigned char* secret, int port) {
  seatenrol_enrolment result;
  seatenrol_server stored;
  unsigned char wrong[EXAMPLE_SECRET_SIZE];
  uint8_t credential[sizeof result.credential];

  ExpectEnrolment("enrol", Enrol(venue, secret, port, &result), SEATENROL_OK);
  Expect(result.outcome == SEATENROL_OK && result.error_no == 0, "the record shows acceptance");
  Expect(strcmp(result.server_ip, kServer) == 0, "the record names the server's address");
  Expect(!IsZero(result.credential, sizeof result.credential), "the record holds a credential");
  memcpy(credential, result.credential, sizeof credential);
  Expect(CountServers(&stored) == 1, "one server is stored");
  Expect(strcmp(stored.name, kServer) == 0 && stored.port == port && stored.enrolled == 1,
         "the stored entry is the server, enrolled");
  Expect(memcmp(stored.credential, credential, sizeof credential) == 0,
         "the stored credential is the granted one");

  memcpy(wrong, secret, sizeof wrong);
  wrong[0] ^= 0xff;
  ExpectEnrolment("enrol with a wrong secret", Enrol(venue, wrong, port, &result),
                  SEATENROL_REFUSED);
  printf("c-host: the server's error number: %d\n", (int)result.error_no);
  Expect(result.error_no == -4, "the refusal's error number is -4");
  ExpectOutcome("the thread's last outcome", seatenrol_last_outcome(), SEATENROL_REFUSED);
  Expect(
      CountServers(&stored) == 1 && memcmp(stored.credential, credential, sizeof credential) == 0,
      "a refusal leaves the stored list as it was");
}

static void ForgetServer(int port) {
  seatenrol_server stored;
  ExpectOutcome("forget the server", seatenrol_forget_server(kServer, port), SEATENROL_OK);
  ExpectOutcome("forget it again", seatenrol_forget_server(kServer, port), SEATENROL_NOT_FOUND);
  Expect(CountServers(&stored) == 0, "no server is stored");
}

int main(int argc, char** argv) {
  const char* venue;
  unsigned char secret[EXAMPLE_SECRET_SIZE];
  int port = 0, dropPort = 0, closedPort = 0;
  int silentRefusals = 0;
  seatenrol_enrolment result;
  char path[1024];
#if defined(_WIN32)
  WSADATA winsock;
#endif

  if (argc == 7 && strcmp(argv[6], "silent") == 0) {
    silentRefusals = 1;
  } else if (argc == 7 && strcmp(argv[6], "reported") != 0) {
    return Usage();
  }
  if ((argc != 6 && argc != 7) || !ExampleParseSecret(argv[2], secret) ||
      !ParsePort(argv[3], &port) || !ParsePort(argv[4], &dropPort) ||
      !ParsePort(argv[5], &closedPort)) {
    return Usage();
  }
  venue = argv[1];
  printf("c-host: seatenrol %s\n", seatenrol_version());

#if defined(_WIN32)
  /* The library never starts Winsock; before the host does, it says so. */
  ExpectEnrolment("enrol before WSAStartup", Enrol(venue, secret, port, &result),
                  SEATENROL_NETWORK_NOT_STARTED);
  Expect(result.outcome == SEATENROL_NETWORK_NOT_STARTED, "the record shows it too");
  if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
    fprintf(stderr, "c-host: WSAStartup failed\n");
    return kExitMismatch;
  }
#endif

  ShowIdentity();
  ExpectOutcome("forget every server", seatenrol_forget_all(), SEATENROL_OK);
  EnrolAndRefuse(venue, secret, port);
  ExpectEnrolment("enrol with a silent server", Enrol(venue, secret, dropPort, &result),
                  SEATENROL_NO_ANSWER);
  ExpectEnrolment("enrol at a closed port", Enrol(venue, secret, closedPort, &result),
                  silentRefusals ? SEATENROL_NO_ANSWER : SEATENROL_PORT_UNREACHABLE);
  ExpectEnrolment("enrol with no venue", seatenrol_enrol(NULL, secret, kServer, port, NULL),
                  SEATENROL_BAD_ARGUMENT);
  ForgetServer(port);
  ExpectOutcome("where the list is stored", seatenrol_store_path(path, sizeof path, NULL),
                SEATENROL_OK);
  printf("c-host: the list is stored in %s\n", path);

#if defined(_WIN32)
  WSACleanup();
#endif
  printf("c-host: %s\n", g_mismatches == 0 ? "every call reported what it should"
                                           : "some calls did not report what they should");
  return g_mismatches == 0 ? EXIT_SUCCESS : kExitMismatch;
}
