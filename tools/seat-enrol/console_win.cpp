// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

#include <shellapi.h>

#include <algorithm>
#include <atomic>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/wide_text_win.h"
#include "seat-enrol/console.h"

namespace seatenrol {

namespace {

constexpr wchar_t kLibraryFileName[] = L"seatenrol.dll";

// The length of the longest prefix of text that ends with a whole UTF-8
// character, so that one cut between two writes waits for its rest.
std::size_t WholeCharactersLength(const std::string& text) {
  const std::size_t size = text.size();
  for (std::size_t back = 1; back <= 4 && back <= size; ++back) {
    const unsigned char byte = static_cast<unsigned char>(text[size - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return length > back ? size - back : size;
  }
  return size;
}

bool IsConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

// A stream's UTF-8 text written to a console as UTF-16 at each flush.
class ConsoleBuffer : public std::streambuf {
public:
  explicit ConsoleBuffer(HANDLE console) : m_console(console) {}

protected:
  int_type overflow(int_type c) override {
    if (!traits_type::eq_int_type(c, traits_type::eof())) m_pending += traits_type::to_char_type(c);
    return traits_type::not_eof(c);
  }
  std::streamsize xsputn(const char* text, std::streamsize count) override {
    m_pending.append(text, static_cast<std::size_t>(count));
    return count;
  }
  int sync() override {
    const std::size_t whole = WholeCharactersLength(m_pending);
    const std::wstring wide = WideText(m_pending.substr(0, whole));
    m_pending.erase(0, whole);
    for (std::size_t done = 0; done < wide.size();) {
      DWORD written = 0;
      if (!WriteConsoleW(m_console, wide.data() + done, static_cast<DWORD>(wide.size() - done),
                         &written, nullptr) ||
          written == 0) {
        return -1;
      }
      done += written;
    }
    return 0;
  }

private:
  HANDLE m_console;
  std::string m_pending;
};

// Sends stream to the console behind handle while it lives.
class ConsoleRoute {
public:
  ConsoleRoute(std::ostream& stream, HANDLE handle)
      : m_stream(stream), m_buffer(handle), m_old(stream.rdbuf(&m_buffer)) {}
  ~ConsoleRoute() {
    m_stream.flush();
    m_stream.rdbuf(m_old);
  }
  ConsoleRoute(const ConsoleRoute&) = delete;
  ConsoleRoute& operator=(const ConsoleRoute&) = delete;

private:
  std::ostream& m_stream;
  ConsoleBuffer m_buffer;
  std::streambuf* m_old;
};

std::wstring ProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  while (buffer.size() <= 32768) {
    const DWORD length =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0) return std::wstring();
    if (length < buffer.size()) return std::wstring(buffer.data(), length);
    buffer.resize(buffer.size() * 2);
  }
  return std::wstring();
}

// "MAJOR.MINOR.BUILD.REVISION" of the file's VERSIONINFO; empty without one.
std::string FileVersion(const std::wstring& path) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  if (size == 0) return std::string();
  std::vector<unsigned char> data(size);
  if (!GetFileVersionInfoW(path.c_str(), 0, size, data.data())) return std::string();
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&info), &length) ||
      info == nullptr || length < sizeof(VS_FIXEDFILEINFO)) {
    return std::string();
  }
  return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
         std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
         std::to_string(LOWORD(info->dwFileVersionLS));
}

std::atomic<bool> interrupted{false};

// Runs on a thread the system starts for the event; returning TRUE keeps the
// process alive (the default handler would end it).
BOOL WINAPI MarkInterrupt(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  interrupted.store(true);
  return TRUE;
}

}  // namespace

struct ToolEnvironment::State {
  bool networkStarted = false;
  std::vector<std::unique_ptr<ConsoleRoute>> routes;
};

ToolEnvironment::ToolEnvironment() : m_state(new State) {
  WSADATA data;
  m_state->networkStarted = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  if (IsConsole(output)) m_state->routes.emplace_back(new ConsoleRoute(std::cout, output));
  if (IsConsole(error)) m_state->routes.emplace_back(new ConsoleRoute(std::cerr, error));
}

ToolEnvironment::~ToolEnvironment() {
  m_state->routes.clear();
  if (m_state->networkStarted) WSACleanup();
}

bool StandardErrorIsTerminal() { return IsConsole(GetStdHandle(STD_ERROR_HANDLE)); }

bool FindLibraryBesideProgram(LibraryFile& file) {
  std::wstring path = ProgramPath();
  const std::wstring::size_type cut = path.find_last_of(L"\\/");
  if (cut == std::wstring::npos) return false;
  path = path.substr(0, cut + 1) + kLibraryFileName;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  Utf8FromWide(path.data(), path.size(), file.path);
  file.version = FileVersion(path);
  return true;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  std::vector<std::string> arguments(argv, argv + argc);
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return arguments;
  if (count == argc) {
    // An argument that is no valid UTF-16 keeps its ANSI form.
    for (int i = 0; i < count; ++i) {
      std::string text;
      if (Utf8FromWide(wide[i], wcslen(wide[i]), text))
        arguments[static_cast<std::size_t>(i)] = text;
    }
  }
  LocalFree(wide);
  return arguments;
}

bool ReadFileFrom(const std::string& path, std::uint64_t offset, std::size_t limit,
                  std::string& content, int& systemError) {
  content.clear();
  // A handle CreateFileW makes without security attributes is not inherited.
  const HANDLE file = CreateFileW(WidePath(path.c_str()).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    systemError = static_cast<int>(GetLastError());
    return false;
  }
  LARGE_INTEGER size{};
  LARGE_INTEGER start{};
  if (GetFileSizeEx(file, &size) && static_cast<std::uint64_t>(size.QuadPart) >= offset) {
    start.QuadPart = static_cast<LONGLONG>(offset);
  }
  bool done = SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != 0;
  char chunk[4096];
  while (done && content.size() < limit) {
    const DWORD wanted = static_cast<DWORD>(std::min(sizeof chunk, limit - content.size()));
    DWORD got = 0;
    done = ReadFile(file, chunk, wanted, &got, nullptr) != 0;
    if (!done || got == 0) break;
    content.append(chunk, got);
  }
  if (!done) systemError = static_cast<int>(GetLastError());
  CloseHandle(file);
  return done;
}

std::string SystemReason(int code) {
  wchar_t* text = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&text), 0, nullptr);
  std::string reason;
  if (length != 0 && text != nullptr) Utf8FromWide(text, length, reason);
  if (text != nullptr) LocalFree(text);
  while (!reason.empty() && (reason.back() == '\n' || reason.back() == '\r')) reason.pop_back();
  return reason;
}

struct InterruptWatch::State {};

InterruptWatch::InterruptWatch() : m_state(new State) {
  interrupted.store(false);
  SetConsoleCtrlHandler(MarkInterrupt, TRUE);
}

InterruptWatch::~InterruptWatch() { SetConsoleCtrlHandler(MarkInterrupt, FALSE); }

bool InterruptWatch::Requested() { return interrupted.load(); }

}  // namespace seatenrol
