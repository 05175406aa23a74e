// The DLL's VERSIONINFO as Windows reads it (the API behind Explorer's
// Details page and installers' version checks) against the version the build
// declares in seatenrol/version.h.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "seatenrol/version.h"

namespace {

// The resource's strings are ASCII.
std::wstring Widen(const std::string& text) { return std::wstring(text.begin(), text.end()); }
std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

class VersionResource : public ::testing::Test {
protected:
  void SetUp() override {
    const char* chosen = std::getenv("SEATENROL_DLL");
    path_ = Widen(chosen != nullptr && *chosen != '\0' ? chosen : SEATENROL_DLL_PATH);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path_.c_str(), &ignored);
    ASSERT_NE(size, 0u) << "no version resource in " << Narrow(path_) << " (error "
                        << GetLastError() << ")";
    data_.resize(size);
    ASSERT_TRUE(GetFileVersionInfoW(path_.c_str(), 0, size, data_.data()));
  }

  // The block VerQueryValueW finds at path, or nullptr.
  const void* Find(const std::wstring& path, UINT* length) {
    void* block = nullptr;
    if (!VerQueryValueW(data_.data(), path.c_str(), &block, length)) return nullptr;
    return block;
  }

  std::wstring path_;
  std::vector<unsigned char> data_;
};

TEST_F(VersionResource, FixedPartCarriesTheDeclaredVersion) {
  UINT length = 0;
  const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(Find(L"\\", &length));
  ASSERT_NE(fixed, nullptr);
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  const DWORD high = (SEATENROL_VERSION_MAJOR << 16) | SEATENROL_VERSION_MINOR;
  const DWORD low = SEATENROL_VERSION_PATCH << 16;
  EXPECT_EQ(fixed->dwFileVersionMS, high);
  EXPECT_EQ(fixed->dwFileVersionLS, low);
  EXPECT_EQ(fixed->dwProductVersionMS, high);
  EXPECT_EQ(fixed->dwProductVersionLS, low);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));
}

TEST_F(VersionResource, StringsNameTheLibraryAndItsVersion) {
  // The string table in the language and code page the resource lists first.
  UINT length = 0;
  const auto* translation = static_cast<const WORD*>(Find(L"\\VarFileInfo\\Translation", &length));
  ASSERT_NE(translation, nullptr);
  ASSERT_GE(length, 2 * sizeof(WORD));
  wchar_t table[40];
  swprintf(table, sizeof table / sizeof table[0], L"\\StringFileInfo\\%04x%04x\\", translation[0],
           translation[1]);

  struct Case {
    const wchar_t* name;
    std::string expected;  // empty: any text but none
  };
  const Case cases[] = {
      {L"FileVersion", SEATENROL_VERSION_STRING},
      {L"ProductVersion", SEATENROL_VERSION_STRING},
      {L"ProductName", "seatenrol"},
      {L"OriginalFilename", "seatenrol.dll"},
      {L"InternalName", "seatenrol"},
      {L"FileDescription", ""},
      {L"LegalCopyright", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Narrow(c.name));
    const auto* text = static_cast<const wchar_t*>(Find(table + std::wstring(c.name), &length));
    ASSERT_NE(text, nullptr);
    const std::string value = Narrow(text);
    if (c.expected.empty()) {
      EXPECT_FALSE(value.empty());
    } else {
      EXPECT_EQ(value, c.expected);
    }
  }
}

}  // namespace
