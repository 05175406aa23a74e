#include <winsock2.h>

#include <windows.h>

#include <new>

#include "platform/host_entry.h"
#include "platform/resolve.h"
#include "platform/system_error.h"

namespace seatenrol {

// gethostbyname keeps its result per thread on Windows, so concurrent
// sessions on different threads do not disturb each other. Its failure is a
// Winsock error (WSAHOST_NOT_FOUND for a name that does not exist), which
// has a system text and is recorded as the reason.
bool LookUpIPv4(const char* name, std::vector<std::uint32_t>& addresses) {
  addresses.clear();
  if (name == nullptr || *name == '\0') return false;
  const hostent* host = gethostbyname(name);
  if (host == nullptr) RecordSystemError(::WSAGetLastError());
  return CollectIPv4(host, AF_INET, addresses);
}

namespace {

struct DetachedBody {
  void (*body)(void*);
  void* argument;
  HMODULE module;  // the reference that keeps this module loaded for the thread
};

DWORD WINAPI RunBody(void* parameter) {
  DetachedBody* detached = static_cast<DetachedBody*>(parameter);
  const HMODULE module = detached->module;
  detached->body(detached->argument);
  delete detached;
  // Gives back the thread's reference and ends the thread in one call, so
  // the module is never unloaded under code the thread still has to run.
  FreeLibraryAndExitThread(module, 0);
  return 0;  // not reached
}

}  // namespace

bool RunDetached(void (*body)(void*), void* argument) {
  DetachedBody* detached = new (std::nothrow) DetachedBody{body, argument, nullptr};
  if (detached == nullptr) return false;
  // FROM_ADDRESS names the module holding this code (the DLL, or the program
  // it is linked into) and adds one to its reference count, which the thread
  // gives back as it ends.
  if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCWSTR>(&RunBody), &detached->module)) {
    delete detached;
    return false;
  }
  const HANDLE thread = CreateThread(nullptr, 0, RunBody, detached, 0, nullptr);
  if (thread == nullptr) {
    FreeLibrary(detached->module);
    delete detached;
    return false;
  }
  CloseHandle(thread);
  return true;
}

}  // namespace seatenrol
