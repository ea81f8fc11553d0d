// The layer's and the shell's fatal errors, each in a child process that
// shows the box and ends with -1 without running its exit routine; and the
// exit routines of a normal shutdown: in order, each once.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/Shell.h"
#include "support/ChildProcess.h"
#include "support/PrefixConfig.h"
#include "support/ScreenCapture.h"
#include "support/WindowProbe.h"
#include "ui/Layer.h"

namespace {

using namespace support;

constexpr DWORD kFatalExitCode = 0xFFFFFFFF;
constexpr DWORD kTimeoutMs = 15000;

constexpr WindowNumber kF = 6001;
constexpr ControlNumber kFSelf = 6000;
constexpr ControlNumber kLabel = 6011;
constexpr ControlNumber kPicture = 6012;
constexpr ControlNumber kButton = 6013;
constexpr ControlNumber kUnknown = 6999;
constexpr WindowNumber kUnknownWindow = 9999;

constexpr ControlDescription kFControls[] = {
    {.kind = ControlKind::Window, .number = kFSelf, .name = "F", .width = 200, .height = 100},
    {.kind = ControlKind::Label, .number = kLabel, .name = "label", .parent = kFSelf,
     .width = 50, .height = 16, .text = "字"},
    {.kind = ControlKind::PicBox, .number = kPicture, .name = "picture", .parent = kFSelf,
     .top = 20, .width = 50, .height = 50},
    {.kind = ControlKind::Button, .number = kButton, .name = "button", .parent = kFSelf,
     .top = 80, .width = 50, .height = 16},
};
constexpr WindowDescription kFDescription = {.number = kF, .controls = kFControls};
constexpr const WindowDescription* kTable[] = {&kFDescription};

// Two controls with one number.
constexpr ControlDescription kDuplicateControls[] = {
    {.kind = ControlKind::Window, .number = 7000, .name = "D", .width = 200, .height = 100},
    {.kind = ControlKind::Label, .number = 7001, .name = "a", .parent = 7000},
    {.kind = ControlKind::Label, .number = 7001, .name = "b", .parent = 7000},
};
constexpr WindowDescription kDuplicateDescription = {.number = 7001, .controls = kDuplicateControls};
constexpr const WindowDescription* kInvalidTable[] = {&kFDescription, &kDuplicateDescription};

struct FatalCase {
  const char* what;
  void (*call)();
  const char* message;
};

const FatalCase kCases[] = {
    {"ReadProperty, unknown window", [] { ReadProperty(kUnknownWindow, kFSelf, kPropertyVisible); },
     "未载入欲访问窗口组件所在的窗口"},
    {"WriteProperty, unknown window",
     [] { WriteProperty(kUnknownWindow, kFSelf, kPropertyDisabled, BoolValue(true)); },
     "未载入欲访问窗口组件所在的窗口"},
    {"ReadProperty 8, window not loaded", [] { ReadProperty(kF, kLabel, kPropertyText); },
     "指定窗口尚未载入"},
    {"WriteProperty 8, window not loaded",
     [] { WriteProperty(kF, kLabel, kPropertyText, TextValue("字")); }, "指定窗口尚未载入"},
    {"RaiseEvent, unknown window", [] { RaiseEvent(kUnknownWindow, 0, kEventCreated); },
     "未找到引发事件的窗口"},
    {"RaiseEvent, unknown control", [] { RaiseEvent(kF, kUnknown, kEventClicked); },
     "未找到引发事件的窗口组件"},
    {"RaiseEvent, a label", [] { RaiseEvent(kF, kLabel, kEventClicked); },
     "引发事件的窗口组件无效"},
    {"RaiseEvent, a picture box", [] { RaiseEvent(kF, kPicture, kEventClicked); },
     "引发事件的窗口组件无效"},
    {"LoadStartupWindow, unknown window", [] { LoadStartupWindow(kUnknownWindow); },
     "载入启动窗口失败"},
    {"InitializeShell, invalid table", [] { InitializeShell(kInvalidTable); },
     "载入窗口模板数据段出错!"},
};

std::string recordPath;

void Record(char letter) {
  HANDLE file = CreateFileA(recordPath.c_str(), FILE_APPEND_DATA, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, &letter, 1, &written, nullptr);
  CloseHandle(file);
}
void RoutineA() { Record('A'); }
void RoutineB() { Record('B'); }
void RoutineC() { Record('C'); }

// arguments: case index, record file.
SUPPORT_CHILD_MODE(layer_fatal) {
  recordPath = arguments.at(1);
  InitializeShell(kTable);
  RegisterExitRoutine(RoutineA);
  kCases[std::stoul(arguments.at(0))].call();
  return 3;  // the call did not end the process
}

// arguments: record file.
SUPPORT_CHILD_MODE(exit_routines) {
  recordPath = arguments.at(0);
  InitializeShell(kTable);
  RegisterExitRoutine(RoutineA);
  RegisterExitRoutine(RoutineB);
  RegisterExitRoutine(RoutineA);
  RegisterExitRoutine(RoutineC);
  ShutDownShell(0);
  // A second shutdown (the platform's at process end) calls none again.
  ShutDownShell(0);
  return 0;
}

std::string RecordFile(const std::string& name) {
  char folder[MAX_PATH] = {};
  GetTempPathA(sizeof folder, folder);
  std::string path = std::string(folder) + "layer_fatal_test_" +
                     std::to_string(GetCurrentProcessId()) + "_" + name + ".txt";
  DeleteFileA(path.c_str());
  return path;
}

TEST(LayerFatalErrorTest, EachLookupErrorShowsItsMessageAndEndsWithMinusOne) {
  for (std::size_t i = 0; i < std::size(kCases); ++i) {
    const FatalCase& c = kCases[i];
    SCOPED_TRACE(c.what);
    const std::string record = RecordFile(std::to_string(i));
    std::string arguments = std::to_string(i);
    arguments += ' ';
    arguments += QuoteArgument(record);
    ChildProcess child = ChildProcess::StartSelf("layer_fatal", arguments);
    ASSERT_TRUE(child.Started()) << child.CommandLine() << ": error " << child.StartError();
    HWND box = WaitForMessageBox(child.Id(), "错误", kTimeoutMs);
    if (!box) {
      ADD_FAILURE() << "no error box; exit code "
                    << (child.ExitCode() ? std::to_string(*child.ExitCode()) : "none") << "\n"
                    << DescribeWindows(child.Id()) << SaveScreenshot("layer_fatal.bmp");
      continue;
    }
    EXPECT_EQ(MessageBoxText(box), std::string("运行时出错!\r\n\r\n错误信息：") + c.message + "\r\n");
    ASSERT_TRUE(PressMessageBoxButton(box, IDOK));
    EXPECT_EQ(child.WaitForExit(kTimeoutMs), kFatalExitCode);
    EXPECT_EQ(ReadFileBytes(record), std::nullopt) << "the exit routine ran";
    DeleteFileA(record.c_str());
  }
}

TEST(ExitRoutineTest, ShutdownCallsEachRoutineOnceInRegistrationOrder) {
  const std::string record = RecordFile("routines");
  ChildProcess child = ChildProcess::StartSelf("exit_routines", QuoteArgument(record));
  ASSERT_TRUE(child.Started()) << child.CommandLine();
  EXPECT_EQ(child.WaitForExit(kTimeoutMs), 0u);
  EXPECT_EQ(ReadFileBytes(record), "ABC");
  DeleteFileA(record.c_str());
}

}  // namespace
