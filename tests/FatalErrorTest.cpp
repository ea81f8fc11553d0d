// The fatal error box: its exact text, that it is all the user sees, and that
// the process then ends with -1 and without its exit routines.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "app/FatalError.h"
#include "app/Memory.h"
#include "app/Shell.h"
#include "support/ChildProcess.h"
#include "support/ScreenCapture.h"
#include "support/WindowProbe.h"

namespace {

using namespace support;

constexpr char kBoxTitle[] = "错误";
constexpr DWORD kFatalExitCode = 0xFFFFFFFF;
constexpr DWORD kTimeoutMs = 10000;
// No heap can hand out half of the address space.
constexpr std::size_t kImpossibleSize = SIZE_MAX / 2 + 1;

struct FatalCase {
  const char* message;  // null: no message at all
  std::int32_t code;
  const char* text;
};

// Shared by the composing test and by the children that show the box.
const FatalCase kFatalCases[] = {
    {"载入启动窗口失败", 0, "运行时出错!\r\n\r\n错误信息：载入启动窗口失败\r\n"},
    {"网络中断", -5, "运行时出错!\r\n\r\n错误代码：-5\r\n\r\n错误信息：网络中断\r\n"},
    {nullptr, 7, "运行时出错!\r\n\r\n错误代码：7\r\n\r\n"},
    {"", 0, "运行时出错!\r\n\r\n"},
    {"x", INT32_MIN, "运行时出错!\r\n\r\n错误代码：-2147483648\r\n\r\n错误信息：x\r\n"},
};

std::string Compose(const char* message, std::int32_t code) {
  char buffer[2048];
  std::memset(buffer, '#', sizeof buffer);
  ComposeFatalErrorText(message, code, buffer, sizeof buffer);
  return buffer;
}

TEST(ComposeFatalErrorTextTest, ShowsCodeAndMessageOnlyWhenGiven) {
  for (const FatalCase& c : kFatalCases) {
    SCOPED_TRACE(std::string(c.message ? c.message : "(null)") + " / " + std::to_string(c.code));
    EXPECT_EQ(Compose(c.message, c.code), c.text);
  }
}

TEST(ComposeFatalErrorTextTest, ShortBufferHoldsTheStartOfTheTextAndNothingBeyond) {
  const FatalCase& full = kFatalCases[1];
  const std::string whole = full.text;
  for (std::size_t size : {std::size_t{1}, std::size_t{6}, std::size_t{15}, std::size_t{30},
                           whole.size(), whole.size() + 1}) {
    SCOPED_TRACE(size);
    char buffer[128];
    std::memset(buffer, '#', sizeof buffer);
    ComposeFatalErrorText(full.message, full.code, buffer, size);
    const std::string shown(buffer, strnlen(buffer, size));
    ASSERT_LT(shown.size(), size) << "not zero-terminated within the buffer";
    EXPECT_TRUE(whole.starts_with(shown)) << shown;
    // A cut may drop the half of a double-byte character, no more.
    EXPECT_GE(shown.size() + 2, std::min(size, whole.size() + 1));
    EXPECT_EQ(buffer[size], '#') << "written beyond the buffer";
  }
}

// --- children that end through FatalError ----------------------------------

SUPPORT_CHILD_MODE(fatal) {
  const FatalCase& c = kFatalCases[std::stoul(arguments.at(0))];
  FatalError(c.message, c.code);
}

SUPPORT_CHILD_MODE(allocate) {
  AllocateMemory(kImpossibleSize);
  return 0;
}

std::string marker;

void WriteMarker() {
  HANDLE file = CreateFileA(marker.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
}

SUPPORT_CHILD_MODE(exit_routine_then_fatal) {
  marker = arguments.at(0);
  RegisterExitRoutine(WriteMarker);
  FatalError("退出", 0);
}

SUPPORT_CHILD_MODE(exit_routine_then_shutdown) {
  marker = arguments.at(0);
  RegisterExitRoutine(WriteMarker);
  ShutDownShell(0);
  return 0;
}

// --- the test side ----------------------------------------------------------

// Waits for the child's error box, checks all a user would see of it, presses
// OK and expects the process to end with -1.
void ExpectFatalBoxThenExit(ChildProcess& child, const std::string& expectedText,
                            const std::string& screenshotName) {
  ASSERT_TRUE(child.Started()) << child.CommandLine() << ": error " << child.StartError();
  HWND box = WaitForMessageBox(child.Id(), kBoxTitle, kTimeoutMs);
  ASSERT_NE(box, nullptr) << "no box titled " << kBoxTitle << "\n"
                          << DescribeWindows(child.Id()) << SaveScreenshot(screenshotName);

  EXPECT_EQ(MessageBoxText(box), expectedText);
  for (const WindowInfo& w : FindTopLevelWindows(child.Id())) {
    if (w.visible) {
      EXPECT_EQ(w.hwnd, box) << "another visible window: " << w.text;
    }
  }
  EXPECT_EQ(GetWindow(box, GW_OWNER), nullptr);
  const auto buttons = MessageBoxButtons(box);
  ASSERT_EQ(buttons.size(), 1u) << DescribeWindows(child.Id());
  EXPECT_EQ(buttons[0].controlId, IDOK);
  EXPECT_TRUE(buttons[0].enabled);
  EXPECT_TRUE(MessageBoxHasIcon(box)) << DescribeWindows(child.Id());
  EXPECT_EQ(MessageBoxIconKind(box), IDI_HAND) << SaveScreenshot(screenshotName);

  // The box holds the process until it is answered.
  EXPECT_EQ(child.WaitForExit(300), std::nullopt);
  ASSERT_TRUE(PressMessageBoxButton(box, IDOK));
  EXPECT_EQ(child.WaitForExit(kTimeoutMs), kFatalExitCode);
}

TEST(FatalErrorBoxTest, ShowsTheComposedTextThenEndsWithMinusOne) {
  for (std::size_t i = 0; i < std::size(kFatalCases); ++i) {
    SCOPED_TRACE(kFatalCases[i].text);
    ChildProcess child = ChildProcess::StartSelf("fatal", std::to_string(i));
    ExpectFatalBoxThenExit(child, kFatalCases[i].text, "fatal_error_box.bmp");
  }
}

TEST(FatalErrorBoxTest, FailedAllocationNamesTheRequestedSize) {
  ChildProcess child = ChildProcess::StartSelf("allocate");
  ExpectFatalBoxThenExit(
      child, "运行时出错!\r\n\r\n错误信息：分配 " + std::to_string(kImpossibleSize) + " 字节内存失败!\r\n",
      "fatal_error_allocation.bmp");
}

TEST(FatalErrorBoxTest, ExitRoutinesRunOnShutdownButNotAfterAFatalError) {
  char folder[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
  const std::string base = std::string(folder) + "fatal_error_test_" +
                           std::to_string(GetCurrentProcessId());
  auto exists = [](const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  };

  // The same routine, first where it must run, so its absence below means
  // something.
  const std::string shutdownMarker = base + "_shutdown.txt";
  DeleteFileA(shutdownMarker.c_str());
  ChildProcess shutdown = ChildProcess::StartSelf("exit_routine_then_shutdown",
                                                  QuoteArgument(shutdownMarker));
  ASSERT_TRUE(shutdown.Started());
  EXPECT_EQ(shutdown.WaitForExit(kTimeoutMs), 0u);
  EXPECT_TRUE(exists(shutdownMarker));
  DeleteFileA(shutdownMarker.c_str());

  const std::string fatalMarker = base + "_fatal.txt";
  DeleteFileA(fatalMarker.c_str());
  ChildProcess fatal =
      ChildProcess::StartSelf("exit_routine_then_fatal", QuoteArgument(fatalMarker));
  ExpectFatalBoxThenExit(fatal, "运行时出错!\r\n\r\n错误信息：退出\r\n", "fatal_error_exit.bmp");
  EXPECT_FALSE(exists(fatalMarker));
  DeleteFileA(fatalMarker.c_str());
}

}  // namespace
