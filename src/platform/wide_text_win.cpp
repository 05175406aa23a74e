#include <windows.h>

#include <cstring>

#include "platform/wide_text_win.h"

namespace seatenrol {

namespace {

// flags 0 replaces invalid bytes; MB_ERR_INVALID_CHARS refuses them.
std::wstring WideFromUtf8(const char* text, std::size_t length, DWORD flags) {
  if (length == 0 || length > 0x7FFFFFFF) return std::wstring();
  const int size = static_cast<int>(length);
  const int needed = MultiByteToWideChar(CP_UTF8, flags, text, size, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_UTF8, flags, text, size, &wide[0], needed) != needed) {
    return std::wstring();
  }
  return wide;
}

}  // namespace

std::wstring WidePath(const char* path) {
  return WideFromUtf8(path, std::strlen(path), MB_ERR_INVALID_CHARS);
}

std::wstring WideText(const std::string& text) { return WideFromUtf8(text.data(), text.size(), 0); }

bool Utf8FromWide(const wchar_t* wide, std::size_t size, std::string& text) {
  text.clear();
  if (size == 0) return true;
  if (size > 0x7FFFFFFF) return false;
  const int count = static_cast<int>(size);
  const int needed =
      WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return false;
  text.resize(static_cast<std::size_t>(needed));
  return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, count, &text[0], needed, nullptr,
                             nullptr) == needed;
}

}  // namespace seatenrol
