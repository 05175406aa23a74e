#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/os.h"
#include "platform/wide_text_win.h"

namespace seatenrol {

bool ExecutablePath(std::string& path) {
  // The path may outgrow MAX_PATH; the call then cuts it and fills the buffer.
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return false;
    if (length < buffer.size()) return Utf8FromWide(buffer.data(), length, path);
    if (buffer.size() >= 32768) return false;
    buffer.resize(buffer.size() * 2);
  }
}

LocalTime CurrentLocalTime() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool FileSize(const char* path, std::uint64_t& size) {
  WIN32_FILE_ATTRIBUTE_DATA status{};
  if (!GetFileAttributesExW(WidePath(path).c_str(), GetFileExInfoStandard, &status)) return false;
  size = static_cast<std::uint64_t>(status.nFileSizeHigh) << 32 | status.nFileSizeLow;
  return true;
}

bool IsDirectory(const char* path) {
  const DWORD attributes = GetFileAttributesW(WidePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::FILE* OpenFileToAppend(const char* path) {
  const int descriptor =
      _wopen(WidePath(path).c_str(), _O_WRONLY | _O_APPEND | _O_CREAT | _O_BINARY | _O_NOINHERIT,
             _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  std::FILE* file = _fdopen(descriptor, "ab");
  if (file == nullptr) _close(descriptor);
  return file;
}

bool DeleteFileAt(const char* path) { return DeleteFileW(WidePath(path).c_str()) != 0; }

int LastErrorCode() { return static_cast<int>(GetLastError()); }

void SystemErrorText(int code, char* out, std::size_t size) {
  char* text = nullptr;
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
                     static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<LPSTR>(&text), 0, nullptr);
  std::snprintf(out, size, "%s", length != 0 && text != nullptr ? text : "");
  if (text != nullptr) LocalFree(text);
}

void SystemDebugOutput(const char* text, bool) { OutputDebugStringA(text); }

}  // namespace seatenrol
