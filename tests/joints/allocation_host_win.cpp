// allocation-host VENUE_ID SECRET PORT: a host program that refuses the
// DLL's own allocations while it enrols against the server on 127.0.0.1:PORT
// (which knows VENUE_ID with SECRET, 64 hexadecimal digits).
//
// It rewrites the DLL's import slots of the C runtime's allocation functions
// (msvcrt.dll's malloc, calloc, realloc, _strdup, ...; the C++ runtime inside
// the DLL allocates through them as well), so only the DLL's allocations are
// refused, exactly as a seat short of memory would refuse them. A normal
// enrolment first counts the allocations an enrolment makes; then for every
// N up to that count, seatenrol_enrol and CRegisterSession::RegisterServer
// run with the Nth allocation refused, and again with every allocation from
// the Nth on refused but small ones. Each must return success or a failure
// result, never crash, and an enrolment with allocations allowed again must
// succeed.
//
// Exit status: 0 every call behaved, 1 one did not, 2 the DLL's imports
// could not be rewritten, 64 bad command line. A crash prints the call and
// the allocation refused before the process ends.
#include <windows.h>
#include <winsock2.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "seatenrol/seatenrol.h"
#include "secret_text.h"

namespace {

enum class Refusal { kNone, kNth, kLargeFromNth };

// Allocations above this size are refused from the Nth on in the second
// series; the smaller ones (exception objects, short strings, a thread's
// runtime bookkeeping) go through, so a failure's own handling runs on.
constexpr std::size_t kSmall = 64;

Refusal g_refusal = Refusal::kNone;
long g_nth = 0;
long g_seen = 0;     // allocations the DLL asked for since the counter was reset
long g_refused = 0;  // of which refused
const char* g_step = "start";

bool Refuse(std::size_t size) {
  const long index = ++g_seen;
  bool refuse = false;
  switch (g_refusal) {
    case Refusal::kNone:
      break;
    case Refusal::kNth:
      refuse = index == g_nth;
      break;
    case Refusal::kLargeFromNth:
      refuse = index >= g_nth && size > kSmall;
      break;
  }
  if (refuse) ++g_refused;
  return refuse;
}

using MallocFunction = void* (*)(std::size_t);
using CallocFunction = void* (*)(std::size_t, std::size_t);
using ReallocFunction = void* (*)(void*, std::size_t);
using StrdupFunction = char* (*)(const char*);
using AlignedMallocFunction = void* (*)(std::size_t, std::size_t);

MallocFunction g_malloc;
CallocFunction g_calloc;
ReallocFunction g_realloc;
StrdupFunction g_strdup;
AlignedMallocFunction g_alignedMalloc;

void* RefusingMalloc(std::size_t size) { return Refuse(size) ? nullptr : g_malloc(size); }
void* RefusingCalloc(std::size_t count, std::size_t size) {
  return Refuse(count * size) ? nullptr : g_calloc(count, size);
}
void* RefusingRealloc(void* block, std::size_t size) {
  // realloc(block, 0) frees; a refused realloc leaves the block as it was.
  if (size != 0 && Refuse(size)) return nullptr;
  return g_realloc(block, size);
}
char* RefusingStrdup(const char* text) {
  return Refuse(std::strlen(text) + 1) ? nullptr : g_strdup(text);
}
void* RefusingAlignedMalloc(std::size_t size, std::size_t alignment) {
  return Refuse(size) ? nullptr : g_alignedMalloc(size, alignment);
}

struct Replacement {
  const char* name;
  void* function;
  void** original;
};

const Replacement kReplacements[] = {
    {"malloc", reinterpret_cast<void*>(&RefusingMalloc), reinterpret_cast<void**>(&g_malloc)},
    {"calloc", reinterpret_cast<void*>(&RefusingCalloc), reinterpret_cast<void**>(&g_calloc)},
    {"realloc", reinterpret_cast<void*>(&RefusingRealloc), reinterpret_cast<void**>(&g_realloc)},
    {"_strdup", reinterpret_cast<void*>(&RefusingStrdup), reinterpret_cast<void**>(&g_strdup)},
    {"_aligned_malloc", reinterpret_cast<void*>(&RefusingAlignedMalloc),
     reinterpret_cast<void**>(&g_alignedMalloc)},
};

// Points the module's import slots of msvcrt.dll's allocation functions at
// the refusing ones; returns the names rewritten, "" when malloc was not.
std::string RewriteImports(HMODULE module) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  std::string rewritten;
  bool mallocRewritten = false;
  for (auto* import =
           reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
       import->Name != 0; ++import) {
    if (_stricmp(reinterpret_cast<const char*>(base + import->Name), "msvcrt.dll") != 0) continue;
    const DWORD lookup =
        import->OriginalFirstThunk != 0 ? import->OriginalFirstThunk : import->FirstThunk;
    const auto* names = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + import->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const char* name = reinterpret_cast<const char*>(
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData)->Name);
      for (const Replacement& replacement : kReplacements) {
        if (std::strcmp(name, replacement.name) != 0) continue;
        DWORD protection = 0;
        if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                            &protection)) {
          return "";
        }
        *replacement.original = reinterpret_cast<void*>(slots->u1.Function);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement.function);
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection, &protection);
        rewritten += rewritten.empty() ? name : std::string(" ") + name;
        if (std::strcmp(name, "malloc") == 0) mallocRewritten = true;
      }
    }
  }
  return mallocRewritten ? rewritten : "";
}

long g_refusedAt = 0;

void ReportCrash(const char* what) {
  std::fprintf(stderr, "allocation-host: %s in %s, allocation %ld refused\n", what, g_step,
               g_refusedAt);
  std::fflush(stderr);
}

LONG WINAPI ReportUnhandled(EXCEPTION_POINTERS* exception) {
  // Where: the module holding the faulting instruction and its offset there.
  void* address = exception->ExceptionRecord->ExceptionAddress;
  HMODULE module = nullptr;
  char name[MAX_PATH] = "?";
  if (GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    GetModuleFileNameA(module, name, sizeof name);
  }
  char what[MAX_PATH + 64];
  std::snprintf(
      what, sizeof what, "exception 0x%08lX at %s+0x%lX",
      static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
      std::strrchr(name, '\\') != nullptr ? std::strrchr(name, '\\') + 1 : name,
      static_cast<unsigned long>(static_cast<char*>(address) - reinterpret_cast<char*>(module)));
  ReportCrash(what);
  return EXCEPTION_EXECUTE_HANDLER;
}

void ReportAbort(int) {
  ReportCrash("abort (std::terminate)");
  std::_Exit(3);
}

// Results an enrolment may give when allocations are refused: success, the
// failure the library reports for memory, and the steps' own failures (a
// lookup short of memory reports the name unresolved, an identity probe no
// identity).
bool Acceptable(int outcome) {
  switch (outcome) {
    case SEATENROL_OK:
    case SEATENROL_NO_MEMORY:
    case SEATENROL_UNRESOLVED:
    case SEATENROL_NO_IDENTITY:
    case SEATENROL_STORE_FAILED:
      return true;
    default:
      return false;
  }
}

const char* g_venue;
unsigned char g_secret[EXAMPLE_SECRET_SIZE];
int g_port;

int EnrolThroughC() {
  seatenrol_enrolment result;
  std::memset(&result, 0, sizeof result);
  result.size = sizeof result;
  const int outcome = seatenrol_enrol(g_venue, g_secret, "127.0.0.1", g_port, &result);
  return outcome == result.outcome ? outcome : -1;
}

int EnrolThroughSession() {
  // Made and destroyed with allocations allowed: a constructor has no result
  // to report a failure with.
  const Refusal refusal = g_refusal;
  g_refusal = Refusal::kNone;
  CRegisterSession session;
  unsigned char server[] = "127.0.0.1";
  unsigned char venue[21] = {};
  std::strncpy(reinterpret_cast<char*>(venue), g_venue, 20);
  g_refusal = refusal;
  g_seen = 0;
  const bool registered = session.RegisterServer(venue, g_secret, server, g_port);
  g_refusal = Refusal::kNone;
  const int outcome = seatenrol_last_outcome();
  return registered == (outcome == SEATENROL_OK) ? outcome : -1;
}

struct Entry {
  const char* name;
  int (*enrol)();
};

const Entry kEntries[] = {{"seatenrol_enrol", &EnrolThroughC},
                          {"CRegisterSession::RegisterServer", &EnrolThroughSession}};

// One call with allocations refused as given: its result, and how many
// allocations it asked for.
int Run(const Entry& entry, Refusal refusal, long nth, long* seen) {
  g_step = entry.name;
  g_refusedAt = refusal == Refusal::kNone ? 0 : nth;
  g_refusal = refusal;
  g_nth = nth;
  g_seen = 0;
  g_refused = 0;
  const int outcome = entry.enrol();
  g_refusal = Refusal::kNone;
  if (seen != nullptr) *seen = g_seen;
  return outcome;
}

std::string Summary(const std::map<int, long>& outcomes) {
  std::string text;
  for (const auto& counted : outcomes) {
    text += text.empty() ? "" : ", ";
    text += std::to_string(counted.second) + " x " + std::to_string(counted.first) + " (" +
            seatenrol_outcome_text(counted.first) + ")";
  }
  return text;
}

// Every series of one entry; false on a result it must not give.
bool Exercise(const Entry& entry) {
  long count = 0;
  if (Run(entry, Refusal::kNone, 0, nullptr) != SEATENROL_OK ||
      Run(entry, Refusal::kNone, 0, &count) != SEATENROL_OK || count == 0) {
    std::printf("allocation-host: %s does not enrol with every allocation allowed\n", entry.name);
    return false;
  }
  bool behaved = true;
  for (const Refusal refusal : {Refusal::kNth, Refusal::kLargeFromNth}) {
    const char* series = refusal == Refusal::kNth
                             ? "the Nth allocation only"
                             : "every allocation from the Nth on but small ones";
    std::map<int, long> outcomes;
    long refused = 0;
    for (long nth = 1; nth <= count; ++nth) {
      const int outcome = Run(entry, refusal, nth, nullptr);
      refused += g_refused;
      ++outcomes[outcome];
      if (!Acceptable(outcome)) {
        std::printf("allocation-host: %s refusing %s, N = %ld: result %d (%s)\n", entry.name,
                    series, nth, outcome,
                    outcome < 0 ? "disagrees with itself" : seatenrol_outcome_text(outcome));
        behaved = false;
      }
    }
    const int again = Run(entry, Refusal::kNone, 0, nullptr);
    if (again != SEATENROL_OK) {
      std::printf("allocation-host: %s after refusing %s: result %d, not success\n", entry.name,
                  series, again);
      behaved = false;
    }
    std::printf("allocation-host: %s refusing %s, N = 1..%ld (%ld refused): %s; then enrolled\n",
                entry.name, series, count, refused, Summary(outcomes).c_str());
  }
  return behaved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || !ExampleParseSecret(argv[2], g_secret) || std::atoi(argv[3]) <= 0) {
    std::fprintf(stderr, "usage: allocation-host VENUE_ID SECRET PORT\n");
    return 64;
  }
  g_venue = argv[1];
  g_port = std::atoi(argv[3]);
  SetUnhandledExceptionFilter(&ReportUnhandled);
  std::signal(SIGABRT, &ReportAbort);
  std::setvbuf(stdout, nullptr, _IONBF, 0);

  HMODULE dll = GetModuleHandleW(L"seatenrol.dll");
  const std::string rewritten = dll != nullptr ? RewriteImports(dll) : "";
  if (rewritten.empty()) {
    std::fprintf(stderr,
                 "allocation-host: seatenrol.dll's import of msvcrt.dll!malloc was not found\n");
    return 2;
  }
  wchar_t path[MAX_PATH];
  GetModuleFileNameW(dll, path, MAX_PATH);
  std::printf("allocation-host: %ls: refusing through its imports of %s\n", path,
              rewritten.c_str());

  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return 1;
  bool behaved = true;
  for (const Entry& entry : kEntries) {
    behaved = Exercise(entry) && behaved;
  }
  WSACleanup();
  return behaved ? 0 : 1;
}
