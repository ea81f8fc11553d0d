// The version resources of the client and of the installer, read the way
// Explorer's properties page reads them.
#include <windows.h>

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

struct VersionInfo {
  std::vector<char> data;

  std::optional<VS_FIXEDFILEINFO> Fixed() const {
    void* value = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(data.data(), "\\", &value, &size) || size < sizeof(VS_FIXEDFILEINFO)) {
      return std::nullopt;
    }
    return *static_cast<const VS_FIXEDFILEINFO*>(value);
  }

  // The first language and code page of the translation table, as "080404b0":
  // the string table that Explorer shows.
  std::optional<std::string> Translation() const {
    void* value = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &size) || size < 4) {
      return std::nullopt;
    }
    const WORD* pair = static_cast<const WORD*>(value);
    char text[16];
    wsprintfA(text, "%04x%04x", pair[0], pair[1]);
    return std::string(text);
  }

  std::optional<std::string> String(const std::string& translation, const std::string& key) const {
    std::string path = "\\StringFileInfo\\" + translation + "\\" + key;
    void* value = nullptr;
    UINT size = 0;
    if (!VerQueryValueA(data.data(), path.c_str(), &value, &size)) return std::nullopt;
    return std::string(static_cast<const char*>(value));
  }
};

std::optional<VersionInfo> ReadVersionInfo(const char* path) {
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return std::nullopt;
  VersionInfo info;
  info.data.resize(size);
  if (!GetFileVersionInfoA(path, 0, size, info.data.data())) return std::nullopt;
  return info;
}

struct Program {
  const char* what;
  const char* path;
  const char* description;
};

const Program kPrograms[] = {
    {"client", RELEASE_CLIENT_PATH, "考场考生登录程序"},
    {"installer", RELEASE_INSTALLER_PATH, "考生登录客户端安装程序"},
};

TEST(VersionResource, BothProgramsCarryTheProjectVersionAndTheProductName) {
  const DWORD expectedMs = MAKELONG(RELEASE_VERSION_MINOR, RELEASE_VERSION_MAJOR);
  const DWORD expectedLs = MAKELONG(0, RELEASE_VERSION_PATCH);
  for (const Program& program : kPrograms) {
    SCOPED_TRACE(program.what);
    std::optional<VersionInfo> info = ReadVersionInfo(program.path);
    ASSERT_TRUE(info) << program.path << ": no version resource, error " << GetLastError();

    std::optional<VS_FIXEDFILEINFO> fixed = info->Fixed();
    ASSERT_TRUE(fixed);
    EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
    EXPECT_EQ(fixed->dwFileVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwFileVersionLS, expectedLs);
    EXPECT_EQ(fixed->dwProductVersionMS, expectedMs);
    EXPECT_EQ(fixed->dwProductVersionLS, expectedLs);

    // Simplified Chinese; the code page differs between windres and NSIS.
    std::optional<std::string> translation = info->Translation();
    ASSERT_TRUE(translation);
    EXPECT_EQ(translation->substr(0, 4), "0804");
    EXPECT_EQ(info->String(*translation, "ProductName"), std::optional<std::string>("考生登录客户端"));
    EXPECT_EQ(info->String(*translation, "FileDescription"),
              std::optional<std::string>(program.description));
    EXPECT_EQ(info->String(*translation, "ProductVersion"),
              std::optional<std::string>(RELEASE_VERSION_TEXT));
    EXPECT_EQ(info->String(*translation, "FileVersion"),
              std::optional<std::string>(RELEASE_VERSION_TEXT));
  }
}

}  // namespace
