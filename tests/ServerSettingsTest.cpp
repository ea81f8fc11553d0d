#include <gtest/gtest.h>

#include <windows.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Memory.h"
#include "app/Shell.h"
#include "link/ServerSettings.h"
#include "link/Texts.h"

namespace {

using namespace std::string_view_literals;

std::optional<std::string> Take(char* text) {
  if (!text) return std::nullopt;
  std::string bytes(text);
  FreeMemory(text);
  return bytes;
}

std::optional<std::string> Copy(const char* text) {
  return text ? std::optional<std::string>(text) : std::nullopt;
}

std::string Show(const char* text) {
  return text ? testing::PrintToString(std::string(text)) : "(absent)";
}

std::string WindowsFolder() {
  char path[MAX_PATH];
  UINT length = GetWindowsDirectoryA(path, MAX_PATH);
  return std::string(path, length);
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string file(path, length);
  return file.substr(0, file.find_last_of('\\'));
}

std::string CurrentFolder() {
  char path[MAX_PATH];
  DWORD length = GetCurrentDirectoryA(MAX_PATH, path);
  std::string folder(path, length);
  if (!folder.empty() && folder.back() == '\\') folder.pop_back();
  return folder;
}

bool WriteBytes(const std::string& path, std::string_view content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

// Owns config.ini in the Windows directory, and any stray copies elsewhere,
// for the length of one test.
class ConfigFileTest : public testing::Test {
 protected:
  void SetUp() override {
    settingsPath_ = WindowsFolder() + "\\" + kSettingsFileName;
    DeleteFileA(settingsPath_.c_str());
    ReleaseServerSettings();
  }

  void TearDown() override {
    ReleaseServerSettings();
    DeleteFileA(settingsPath_.c_str());
    for (const std::string& path : strayPaths_) DeleteFileA(path.c_str());
  }

  void WriteSettings(std::string_view content) {
    ASSERT_TRUE(WriteBytes(settingsPath_, content)) << settingsPath_;
  }

  void RemoveSettings() { ASSERT_TRUE(DeleteFileA(settingsPath_.c_str())) << settingsPath_; }

  void WriteStray(const std::string& folder, std::string_view content) {
    std::string path = folder + "\\" + kSettingsFileName;
    if (path == settingsPath_) return;
    strayPaths_.push_back(path);
    ASSERT_TRUE(WriteBytes(path, content)) << path;
  }

  std::string settingsPath_;
  std::vector<std::string> strayPaths_;
};

TEST_F(ConfigFileTest, MissingFileSectionOrKeyGivesTheDefault) {
  struct Case {
    const char* what;
    std::optional<std::string_view> content;
    const char* defaultText;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"no section", "[Client]\r\nIP=10.0.0.9\r\n"sv, "127.0.0.1", "127.0.0.1"},
      // After a file was read, so a stale copy of it would show.
      {"no file", std::nullopt, "127.0.0.1", "127.0.0.1"},
      {"no key", "[Server]\r\nPort=8080\r\n"sv, "127.0.0.1", "127.0.0.1"},
      {"no key, absent default", "[Server]\r\nPort=8080\r\n"sv, nullptr, std::nullopt},
      {"no key, empty default", "[Server]\r\nPort=8080\r\n"sv, "", std::nullopt},
      {"no key, GBK default", "[Server]\r\n"sv, "本机", "本机"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.content) {
      WriteSettings(*c.content);
    } else {
      DeleteFileA(settingsPath_.c_str());
    }
    EXPECT_EQ(Take(ReadProfileText("config.ini", "Server", "IP", c.defaultText)), c.expected);
  }
}

TEST_F(ConfigFileTest, PresentValuesWinOverTheDefault) {
  struct Case {
    const char* what;
    std::string_view content;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"plain", "[Server]\r\nIP=10.0.0.8\r\n"sv, "10.0.0.8"},
      {"present but empty", "[Server]\r\nIP=\r\nPort=1\r\n"sv, std::nullopt},
      {"GBK value", "[Server]\r\nIP=考场服务器\r\n"sv, "考场服务器"},
      {"full-width digits", "[Server]\r\nIP=\xA3\xB1\xA3\xB0\r\n"sv, "\xA3\xB1\xA3\xB0"},
      {"among other sections", "[A]\r\nIP=1\r\n[Server]\r\nIP=2\r\n[B]\r\nIP=3\r\n"sv, "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    WriteSettings(c.content);
    EXPECT_EQ(Take(ReadProfileText("config.ini", "Server", "IP", "127.0.0.1")), c.expected);
  }
}

TEST_F(ConfigFileTest, LongValueIsCutToTheRoomLessTheTerminator) {
  std::string value(20000, 'x');
  for (std::size_t i = 0; i < value.size(); i += 1000) value[i] = '#';
  WriteSettings("[Server]\r\nIP=" + value + "\r\n");
  std::optional<std::string> read = Take(ReadProfileText("config.ini", "Server", "IP", "d"));
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->size(), kProfileTextRoom - 1);
  EXPECT_EQ(*read, value.substr(0, kProfileTextRoom - 1));
}

TEST_F(ConfigFileTest, BlankOrAbsentNamesGiveTheAbsentTextNotTheDefault) {
  WriteSettings("[Server]\r\nIP=10.0.0.8\r\n");
  struct Case {
    const char* fileName;
    const char* section;
    const char* key;
  };
  const Case cases[] = {
      {"config.ini", "\x01\x02\t\r\n \x1F\x20", "IP"},
      {"config.ini", "", "IP"},
      {"config.ini", nullptr, "IP"},
      {"config.ini", "Server", "  "},
      {"config.ini", "Server", nullptr},
      {" \t", "Server", "IP"},
      {"", "Server", "IP"},
      {nullptr, "Server", "IP"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Show(c.fileName) << " " << Show(c.section) << " "
                                    << Show(c.key));
    // A sentinel the platform would overwrite had it been asked.
    SetLastError(0x20000077);
    EXPECT_EQ(Take(ReadProfileText(c.fileName, c.section, c.key, "127.0.0.1")), std::nullopt);
    EXPECT_EQ(GetLastError(), 0x20000077u);
  }
}

TEST_F(ConfigFileTest, LeadingBlanksOfTheNamesAreSkipped) {
  WriteSettings("[Server]\r\nIP=10.0.0.8\r\n");
  struct Case {
    const char* fileName;
    const char* section;
    const char* key;
    std::optional<std::string> expected;
  };
  const Case cases[] = {
      {"config.ini", "  Server", "IP", "10.0.0.8"},
      {"config.ini", "Server", "\t\x01IP", "10.0.0.8"},
      {" \x1F" "config.ini", "Server", "IP", "10.0.0.8"},
      // A GBK ideographic space is part of the name, not a blank.
      {"\xA1\xA1" "config.ini", "Server", "IP", "default"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << Show(c.fileName) << " " << Show(c.section) << " "
                                    << Show(c.key));
    EXPECT_EQ(Take(ReadProfileText(c.fileName, c.section, c.key, "default")), c.expected);
  }
}

TEST_F(ConfigFileTest, OnlyTheWindowsDirectoryIsRead) {
  constexpr auto stray = "[Server]\r\nIP=6.6.6.6\r\nPort=6666\r\n"sv;
  WriteStray(ProgramFolder(), stray);
  WriteStray(CurrentFolder(), stray);
  LoadServerSettings();
  EXPECT_EQ(Copy(ServerSettings().ipText), "127.0.0.1");
  EXPECT_EQ(Copy(ServerSettings().portText), "19730");

  WriteSettings("[Server]\r\nIP=10.0.0.8\r\n");
  LoadServerSettings();
  EXPECT_EQ(Copy(ServerSettings().ipText), "10.0.0.8");
  EXPECT_EQ(Copy(ServerSettings().portText), "19730");
}

TEST_F(ConfigFileTest, LoadReadsBothValuesWithTheirDefaults) {
  struct Case {
    const char* what;
    std::optional<std::string_view> content;
    std::optional<std::string> ip;
    std::optional<std::string> port;
  };
  const Case cases[] = {
      {"both set", "[Server]\r\nIP=192.168.1.20\r\nPort=8080\r\n"sv, "192.168.1.20", "8080"},
      {"no file", std::nullopt, "127.0.0.1", "19730"},
      {"empty IP", "[Server]\r\nIP=\r\n"sv, std::nullopt, "19730"},
      {"empty port", "[Server]\r\nPort=\r\nIP=10.0.0.1\r\n"sv, "10.0.0.1", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.content) {
      WriteSettings(*c.content);
    } else {
      DeleteFileA(settingsPath_.c_str());
    }
    LoadServerSettings();
    EXPECT_EQ(Copy(ServerSettings().ipText), c.ip);
    EXPECT_EQ(Copy(ServerSettings().portText), c.port);
  }
}

TEST_F(ConfigFileTest, PortValueBecomesItsNumber) {
  struct Case {
    std::string_view value;
    std::int32_t port;
  };
  const Case cases[] = {
      {"19730"sv, 19730},
      {"\xA3\xB1\xA3\xB9\xA3\xB7\xA3\xB3\xA3\xB0"sv, 19730},
      {"\xA1\xA1" "19730"sv, 19730},
      {"19730abc"sv, 19730},
      {"abc"sv, 0},
      {""sv, 0},
      {"-1"sv, -1},
      {"+80"sv, 80},
      {"4294987026"sv, 19730},
      {"85266"sv, 85266},
      {"0x4D12"sv, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.value)));
    WriteSettings("[Server]\r\nPort=" + std::string(c.value) + "\r\n");
    LoadServerSettings();
    EXPECT_EQ(TextToInteger(ServerSettings().portText), c.port);
  }
}

// Points AllocateMemory at a heap of its own, so every block still alive in it
// is one the code under test kept.
class PrivateHeap {
 public:
  PrivateHeap() : heap_(HeapCreate(0, 0, 0)), saved_(Shell().heap) { Shell().heap = heap_; }
  ~PrivateHeap() {
    ReleaseServerSettings();
    Shell().heap = saved_;
    HeapDestroy(heap_);
  }
  PrivateHeap(const PrivateHeap&) = delete;
  PrivateHeap& operator=(const PrivateHeap&) = delete;

  HANDLE handle() const { return heap_; }

  std::size_t LiveBlocks() const {
    std::size_t count = 0;
    PROCESS_HEAP_ENTRY entry{};
    while (HeapWalk(heap_, &entry)) {
      if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++count;
    }
    return count;
  }

 private:
  HANDLE heap_;
  HANDLE saved_;
};

TEST_F(ConfigFileTest, LoadingAgainReleasesTheOldTexts) {
  WriteSettings("[Server]\r\nIP=10.0.0.8\r\nPort=8080\r\n");
  PrivateHeap heap;
  ASSERT_NE(heap.handle(), nullptr);
  ASSERT_EQ(heap.LiveBlocks(), 0u);

  LoadServerSettings();
  EXPECT_EQ(heap.LiveBlocks(), 2u);
  WriteSettings("[Server]\r\nIP=10.0.0.9\r\nPort=9090\r\n");
  LoadServerSettings();
  EXPECT_EQ(Copy(ServerSettings().ipText), "10.0.0.9");
  EXPECT_EQ(Copy(ServerSettings().portText), "9090");
  EXPECT_EQ(heap.LiveBlocks(), 2u);
  EXPECT_TRUE(HeapValidate(heap.handle(), 0, nullptr));

  ReleaseServerSettings();
  EXPECT_EQ(ServerSettings().ipText, nullptr);
  EXPECT_EQ(ServerSettings().portText, nullptr);
  EXPECT_EQ(heap.LiveBlocks(), 0u);
}

TEST(TextToInteger, ParsesALeadingSignedDecimalThatWraps) {
  struct Case {
    const char* text;
    std::int32_t value;
  };
  const Case cases[] = {
      {nullptr, 0},
      {" \t\r\n\v\f42", 42},
      {"\x01" "42", 0},
      {"-", 0},
      {"+-1", 0},
      {"- 1", 0},
      {"--1", 0},
      {"007", 7},
      {"12 34", 12},
      {"2147483647", INT32_MAX},
      {"2147483648", INT32_MIN},
      {"-2147483648", INT32_MIN},
      {"4294967295", -1},
      {"-4294967297", -1},
      {"99999999999999999999", static_cast<std::int32_t>(1661992959)},
      {"\xA3\xAD\xA3\xB5", -5},
      {"\xA3\xAB\xA3\xB5", 5},
      {"\xA1\xA1\xA1\xA1\xA3\xB8\xA3\xB0", 80},
      {"1\xA3\xB0", 10},
      {"\xA3\xB1", 1},
      {"\xA3", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.text));
    EXPECT_EQ(TextToInteger(c.text), c.value);
  }
}

TEST(FoldFullWidth, MapsFullWidthFormsToAscii) {
  struct Case {
    const char* text;
    std::optional<std::string> folded;
  };
  const Case cases[] = {
      {nullptr, std::nullopt},
      {"", std::nullopt},
      {"19730", "19730"},
      {"\xA3\xB1\xA3\xB9\xA3\xB7\xA3\xB3\xA3\xB0", "19730"},
      {"\xA3\xC1\xA3\xE1\xA3\xA1\xA3\xFE", "Aa!~"},
      {"\xA3\xAD" "1", "-1"},
      {"\xA1\xA1", " "},
      {"\xA1\xAB", "~"},
      {"\xA1\xEE\xA1\xEF", "**"},
      // Pairs outside the table stay as they are.
      {"考生", "考生"},
      {"\xA3\xA0\xA3\xFF", "\xA3\xA0\xA3\xFF"},
      {"\xA1\xA2", "\xA1\xA2"},
      // A trail byte below 0x80 still belongs to its lead.
      {"\xA3" "1", "\xA3" "1"},
      // A lead byte with nothing after it is dropped.
      {"12\xA3", "12"},
      {"\xB0", std::nullopt},
      {"\xA3\xB1\xA3", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Show(c.text));
    EXPECT_EQ(Take(FoldFullWidth(c.text)), c.folded);
  }
}

}  // namespace
