// clang-format off
#include <winsock2.h>
#include <windows.h>
// clang-format on

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

}  // namespace seatenrol
