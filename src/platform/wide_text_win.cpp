#include <windows.h>

#include <cstring>

#include "platform/wide_text_win.h"

namespace seatenrol {

std::wstring WidePath(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length == 0 || length > 0x7FFFFFFF) return std::wstring();
  const int size = static_cast<int>(length);
  const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, size, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(needed), L'\0');
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, size, &wide[0], needed) != needed) {
    return std::wstring();
  }
  return wide;
}

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
