#include <windows.h>

#include <algorithm>

#include "common/gbk_convert.h"
#include "platform/wide_text_win.h"

namespace seatenrol {

namespace {

constexpr UINT kGbkCodePage = 936;
constexpr wchar_t kReplacement = 0xFFFD;

// The UTF-16 character that the first one or two bytes of text make, the
// longer reading first; 0 bytes taken when neither is a whole character.
int TakeCharacter(const char* text, std::size_t left, wchar_t& character) {
  for (int length = static_cast<int>(std::min<std::size_t>(left, 2)); length > 0; --length) {
    wchar_t read[2];
    if (MultiByteToWideChar(kGbkCodePage, MB_ERR_INVALID_CHARS, text, length, read, 2) == 1) {
      character = read[0];
      return length;
    }
  }
  return 0;
}

}  // namespace

bool ConvertGbkToUtf8(const std::string& gbk, std::string& utf8, bool& exact) {
  if (!IsValidCodePage(kGbkCodePage)) return false;
  std::wstring wide;
  for (std::size_t i = 0; i < gbk.size();) {
    wchar_t character = 0;
    const int taken = TakeCharacter(gbk.data() + i, gbk.size() - i, character);
    if (taken == 0) {
      exact = false;
      wide += kReplacement;
      ++i;
    } else {
      wide += character;
      i += static_cast<std::size_t>(taken);
    }
  }
  // The replacements above leave valid UTF-16, which always converts.
  Utf8FromWide(wide.data(), wide.size(), utf8);
  return true;
}

}  // namespace seatenrol
