// The installer as an exam centre runs it: silently, with the server settings
// on the command line, in the Wine prefix of these tests.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/ClientSession.h"
#include "screens/Screens.h"
#include "support/ChildProcess.h"
#include "support/Handles.h"
#include "support/Input.h"
#include "support/PrefixConfig.h"
#include "support/Wait.h"
#include "support/WindowProbe.h"

namespace {

using support::ReadFileBytes;
using support::WaitUntil;
using support::WriteFileBytes;

constexpr DWORD kInstallTimeoutMs = 120000;
constexpr DWORD kUninstallTimeoutMs = 60000;
constexpr const char* kProductName = "考生登录客户端";
constexpr const char* kUninstallKey =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\ExamClient";

std::string Folder(int csidl) {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) return {};
  return path;
}

std::string InstallDir() { return Folder(CSIDL_PROGRAM_FILES) + "\\ExamClient"; }
std::string InstalledClient() { return InstallDir() + "\\ExamClient.exe"; }
std::string Uninstaller() { return InstallDir() + "\\Uninstall.exe"; }
std::string StartMenuDir() { return Folder(CSIDL_COMMON_PROGRAMS) + "\\" + kProductName; }
std::string Shortcut() { return StartMenuDir() + "\\" + kProductName + ".lnk"; }
std::string ConfigPath() { return support::PrefixConfig::ConfigPath(); }

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::optional<std::string> UninstallValue(const char* name) {
  char value[1024] = {};
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_LOCAL_MACHINE, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, value, &size) !=
      ERROR_SUCCESS) {
    return std::nullopt;
  }
  return std::string(value);
}

bool UninstallKeyExists() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// Runs the installer with these arguments and gives its exit code.
std::optional<DWORD> RunInstaller(const std::string& arguments) {
  support::ChildProcess installer = support::ChildProcess::Start(RELEASE_INSTALLER_PATH, arguments);
  if (!installer.Started()) {
    ADD_FAILURE() << "cannot start " << RELEASE_INSTALLER_PATH << ": error " << installer.StartError();
    return std::nullopt;
  }
  std::optional<DWORD> code = installer.WaitForExit(kInstallTimeoutMs);
  if (!code) ADD_FAILURE() << "installer still running: " << installer.CommandLine();
  return code;
}

// The uninstaller hands over to a copy of itself in the temporary folder and
// returns at once, so the result is waited for.
::testing::AssertionResult SilentUninstall() {
  support::ChildProcess uninstaller = support::ChildProcess::Start(Uninstaller(), "/S");
  if (!uninstaller.Started()) {
    return ::testing::AssertionFailure() << "cannot start " << Uninstaller();
  }
  std::optional<DWORD> code = uninstaller.WaitForExit(kUninstallTimeoutMs);
  if (code != std::optional<DWORD>(0)) {
    return ::testing::AssertionFailure() << "uninstaller exit code " << (code ? *code : 0xFFFFFFFFu);
  }
  return WaitUntil([] { return !Exists(InstallDir()) && !UninstallKeyExists(); }, kUninstallTimeoutMs,
                   "install folder and uninstall entry gone", 100);
}

// Lines that are not blank: Wine's profile writer drops blank lines when it
// rewrites a file, Windows keeps them; neither is the installer's doing.
std::vector<std::string> NonBlankLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

struct ShortcutTarget {
  std::string path;
  std::string workingDirectory;
};

std::optional<ShortcutTarget> ResolveShortcut(const std::string& lnk) {
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return std::nullopt;
  }
  std::optional<ShortcutTarget> result;
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, lnk.c_str(), -1, wide, MAX_PATH);
    char path[MAX_PATH] = {};
    char directory[MAX_PATH] = {};
    if (SUCCEEDED(file->Load(wide, STGM_READ)) &&
        SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)) &&
        SUCCEEDED(link->GetWorkingDirectory(directory, MAX_PATH))) {
      result = ShortcutTarget{path, directory};
    }
    file->Release();
  }
  link->Release();
  return result;
}

class Installer : public ::testing::Test {
 protected:
  void SetUp() override {
    CoInitialize(nullptr);
    // Each test starts from a workstation without the client.
    if (Exists(Uninstaller())) {
      ASSERT_TRUE(SilentUninstall());
    }
    DeleteFileA(ConfigPath().c_str());
    ASSERT_FALSE(Exists(InstallDir())) << InstallDir();
    ASSERT_FALSE(UninstallKeyExists());
    ASSERT_FALSE(Exists(ConfigPath()));
  }
  void TearDown() override { CoUninitialize(); }

  static std::string ConfigText(const std::string& ip, const std::string& port) {
    return "[Server]\r\nIP=" + ip + "\r\nPort=" + port + "\r\n";
  }
};

// Built by appending: "\"" + std::string trips a false -Wrestrict in GCC 12.
std::string Quoted(const std::string& text) {
  std::string quoted(1, '"');
  quoted += text;
  quoted += '"';
  return quoted;
}

TEST_F(Installer, SilentInstallPutsTheClientTheShortcutTheUninstallerAndTheSettingsInPlace) {
  ASSERT_EQ(RunInstaller("/S /IP=127.0.0.1 /PORT=23456"), std::optional<DWORD>(0));

  // The very program this tree built.
  std::optional<std::string> installed = ReadFileBytes(InstalledClient());
  ASSERT_TRUE(installed) << InstalledClient();
  EXPECT_EQ(installed, ReadFileBytes(RELEASE_CLIENT_PATH));
  EXPECT_TRUE(Exists(Uninstaller()));

  std::optional<ShortcutTarget> shortcut = ResolveShortcut(Shortcut());
  ASSERT_TRUE(shortcut) << "no usable shortcut " << Shortcut();
  EXPECT_EQ(shortcut->path, InstalledClient());
  EXPECT_EQ(shortcut->workingDirectory, InstallDir());

  EXPECT_EQ(ReadFileBytes(ConfigPath()), ConfigText("127.0.0.1", "23456"));

  // Programs and Features.
  EXPECT_EQ(UninstallValue("DisplayName"), std::optional<std::string>(kProductName));
  EXPECT_EQ(UninstallValue("DisplayVersion"), std::optional<std::string>(RELEASE_VERSION_TEXT));
  EXPECT_EQ(UninstallValue("InstallLocation"), std::optional<std::string>(InstallDir()));
  EXPECT_EQ(UninstallValue("UninstallString"), std::optional<std::string>(Quoted(Uninstaller())));
  EXPECT_EQ(UninstallValue("QuietUninstallString"),
            std::optional<std::string>(Quoted(Uninstaller()) + " /S"));
}

struct Settings {
  const char* arguments;
  const char* ip;
  const char* port;
};

TEST_F(Installer, UsableSettingsAreWrittenAsGivenAndMissingOnesTakeTheDefaults) {
  const Settings cases[] = {
      {"/S", "127.0.0.1", "19730"},
      {"/S /PORT=8080", "127.0.0.1", "8080"},
      {"/S /IP=192.168.1.10", "192.168.1.10", "19730"},
      {"/S /IP=10.0.0.255 /PORT=1", "10.0.0.255", "1"},
      {"/S /PORT=65535 /IP=exam-server.school.local", "exam-server.school.local", "65535"},
      {"/S /IP=EXAM01 /PORT=19731", "EXAM01", "19731"},
      {"/S /IP=10.0.0.0 /PORT=80", "10.0.0.0", "80"},
  };
  for (const Settings& c : cases) {
    SCOPED_TRACE(c.arguments);
    DeleteFileA(ConfigPath().c_str());
    ASSERT_EQ(RunInstaller(c.arguments), std::optional<DWORD>(0));
    EXPECT_EQ(ReadFileBytes(ConfigPath()), ConfigText(c.ip, c.port));
  }
}

TEST_F(Installer, SettingsThatCannotBeRightFailTheSilentInstallAndWriteNothing) {
  const char* refused[] = {
      "/S /PORT=0",           "/S /PORT=65536",     "/S /PORT=99999",       "/S /PORT=",
      "/S /PORT=abc",         "/S /PORT=-1",        "/S /PORT=+80",         "/S /PORT=19730abc",
      "/S /PORT=080",         "/S /PORT=1 2",       "/S /PORT=１９７３０",  "/S /IP=",
      "/S /IP= /PORT=19730",  "/S /IP=1.2.3.256",   "/S /IP=1.2.3",         "/S /IP=1.2.3.4.5",
      "/S /IP=01.2.3.4",      "/S /IP=1..2.3",      "/S /IP=.exam",         "/S /IP=exam.",
      "/S /IP=-exam",         "/S /IP=exam-",       "/S /IP=exam_server",   "/S /IP=exam server",
      "/S /IP=考试服务器",    "/S /IP=[::1]",       "/S /IP=1.2.3.4:19730",
      "/S /IP=0.0.0.0",       "/S /IP=0.1.2.3",
  };
  const std::string existing = "[Server]\r\nIP=10.9.8.7\r\nPort=4321\r\n";
  for (const char* arguments : refused) {
    SCOPED_TRACE(arguments);
    // On a fresh workstation, and over the settings of an earlier one.
    for (bool configBefore : {false, true}) {
      SCOPED_TRACE(configBefore ? "config.ini present" : "no config.ini");
      DeleteFileA(ConfigPath().c_str());
      if (configBefore) {
        ASSERT_TRUE(WriteFileBytes(ConfigPath(), existing));
      }
      std::optional<DWORD> code = RunInstaller(arguments);
      ASSERT_TRUE(code);
      EXPECT_NE(*code, 0u);
      EXPECT_FALSE(Exists(InstallDir()));
      EXPECT_FALSE(Exists(StartMenuDir()));
      EXPECT_FALSE(UninstallKeyExists());
      if (configBefore) {
        EXPECT_EQ(ReadFileBytes(ConfigPath()), existing);
      } else {
        EXPECT_FALSE(Exists(ConfigPath()));
      }
    }
  }
}

TEST_F(Installer, AnExistingConfigKeepsEverythingButTheTwoKeysAndOutlivesTheUninstall) {
  struct Case {
    const char* what;
    std::string before;
    std::vector<std::string> after;
  };
  const Case cases[] = {
      {"server section with other keys",
       "; room 3\r\n[Server]\r\nIP=10.1.1.1\r\nTimeout=5\r\nPort=1000\r\n\r\n[Other]\r\nKey=Value\r\n",
       {"; room 3", "[Server]", "IP=127.0.0.1", "Timeout=5", "Port=2000", "[Other]", "Key=Value"}},
      {"no server section", "[Other]\r\nKey=Value\r\n",
       {"[Other]", "Key=Value", "[Server]", "IP=127.0.0.1", "Port=2000"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(WriteFileBytes(ConfigPath(), c.before));
    ASSERT_EQ(RunInstaller("/S /IP=127.0.0.1 /PORT=2000"), std::optional<DWORD>(0));
    std::optional<std::string> written = ReadFileBytes(ConfigPath());
    ASSERT_TRUE(written);
    EXPECT_EQ(NonBlankLines(*written), c.after);

    ASSERT_TRUE(SilentUninstall());
    EXPECT_EQ(ReadFileBytes(ConfigPath()), written);
    DeleteFileA(ConfigPath().c_str());
  }
}

TEST_F(Installer, SilentUninstallLeavesNothingOfTheInstallationBehind) {
  ASSERT_EQ(RunInstaller("/S /IP=127.0.0.1 /PORT=23456"), std::optional<DWORD>(0));
  ASSERT_TRUE(Exists(InstalledClient()));
  ASSERT_TRUE(SilentUninstall());
  EXPECT_FALSE(Exists(InstallDir()));
  EXPECT_FALSE(Exists(Shortcut()));
  EXPECT_FALSE(Exists(StartMenuDir()));
  EXPECT_FALSE(UninstallKeyExists());
  // The installer made it, so it goes too.
  EXPECT_FALSE(Exists(ConfigPath()));
}

TEST_F(Installer, AReinstallStillKnowsThatTheInstallerMadeTheConfig) {
  ASSERT_EQ(RunInstaller("/S /PORT=1111"), std::optional<DWORD>(0));
  ASSERT_EQ(RunInstaller("/S /PORT=2222"), std::optional<DWORD>(0));
  EXPECT_EQ(ReadFileBytes(ConfigPath()), ConfigText("127.0.0.1", "2222"));
  ASSERT_TRUE(SilentUninstall());
  EXPECT_FALSE(Exists(ConfigPath()));
}

// --- The installed client against the real exam server -----------------------

// The exam server of this tree, its console read through a pipe.
class ExamServer {
 public:
  ExamServer(const std::string& logPath) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    output_.Reset(read);
    support::UniqueHandle writeEnd(write);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = write;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string commandLine = support::QuoteArgument(RELEASE_SERVER_PATH) + " --roster " +
                              support::QuoteArgument(RELEASE_ROSTER_PATH) +
                              " --listen 127.0.0.1:0 --log " + support::QuoteArgument(logPath);
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &info)) {
      return;
    }
    CloseHandle(info.hThread);
    process_.Reset(info.hProcess);
  }
  ~ExamServer() {
    if (process_) {
      TerminateProcess(process_.Get(), 0);
      WaitForSingleObject(process_.Get(), 10000);
    }
  }

  bool Started() const { return static_cast<bool>(process_); }

  // The port from the first line, "listening on 127.0.0.1:PORT".
  std::optional<int> WaitForPort(DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
      DWORD available = 0;
      if (!PeekNamedPipe(output_.Get(), nullptr, 0, nullptr, &available, nullptr)) break;
      if (available > 0) {
        char buffer[512];
        DWORD got = 0;
        if (!ReadFile(output_.Get(), buffer, sizeof buffer, &got, nullptr)) break;
        console_.append(buffer, got);
        std::size_t end = console_.find('\n');
        if (end != std::string::npos) {
          const std::string prefix = "listening on 127.0.0.1:";
          if (console_.compare(0, prefix.size(), prefix) != 0) return std::nullopt;
          return std::atoi(console_.c_str() + prefix.size());
        }
      } else {
        Sleep(20);
      }
    }
    return std::nullopt;
  }

  const std::string& Console() const { return console_; }

 private:
  support::UniqueHandle process_;
  support::UniqueHandle output_;
  std::string console_;
};

bool IsForm(const support::WindowInfo& w) { return w.className == "ExamForm" && w.visible; }

bool HasChildOfClass(HWND window, const char* className) {
  return support::FindChildWindow(window, [&](const support::WindowInfo& child) {
           return child.className == className;
         }).has_value();
}

HWND LoginControl(HWND login, ControlNumber control) {
  int id = e2e::ControlId(kLoginWindowDescription, control);
  auto found = support::FindChildWindow(
      login, [&](const support::WindowInfo& child) { return child.controlId == id; });
  return found ? found->hwnd : nullptr;
}

TEST_F(Installer, TheInstalledClientLogsInAgainstTheExamServerAndReachesTheConfirmation) {
  const std::string log = std::string(RELEASE_OUTPUT_DIR) + "\\installed-client-audit.csv";
  DeleteFileA(log.c_str());
  ExamServer server(log);
  ASSERT_TRUE(server.Started()) << RELEASE_SERVER_PATH << ": error " << GetLastError();
  std::optional<int> port = server.WaitForPort(20000);
  ASSERT_TRUE(port) << "server said: " << server.Console();

  ASSERT_EQ(RunInstaller("/S /IP=127.0.0.1 /PORT=" + std::to_string(*port)), std::optional<DWORD>(0));

  // Started as the shortcut starts it: from the install folder.
  support::ChildProcess client = support::ChildProcess::Start(InstalledClient(), {}, InstallDir());
  ASSERT_TRUE(client.Started()) << "error " << client.StartError();
  auto login = support::WaitForWindow(
      client.Id(), [](const support::WindowInfo& w) { return IsForm(w) && HasChildOfClass(w.hwnd, "Edit"); },
      e2e::kStartTimeoutMs);
  ASSERT_TRUE(login) << support::DescribeWindows(client.Id());
  HWND status = LoginControl(login->hwnd, LoginWindow::连接状态标签);
  ASSERT_TRUE(WaitUntil([&] { return support::WindowText(status) == "考生登录"; }, e2e::kReactTimeoutMs,
                        "connected to the server"))
      << support::DescribeWindows(client.Id());

  // The first candidate of the sample roster.
  ASSERT_TRUE(support::SetControlText(LoginControl(login->hwnd, LoginWindow::考生号输入框), "2024010101"));
  ASSERT_TRUE(
      support::SetControlText(LoginControl(login->hwnd, LoginWindow::身份证号输入框), "110101200503141010"));
  ASSERT_TRUE(support::ClickButton(LoginControl(login->hwnd, LoginWindow::登录按钮)));

  auto confirm = support::WaitForWindow(
      client.Id(),
      [](const support::WindowInfo& w) {
        return IsForm(w) && !HasChildOfClass(w.hwnd, "Edit") && HasChildOfClass(w.hwnd, "Button");
      },
      e2e::kReactTimeoutMs);
  EXPECT_TRUE(confirm) << support::DescribeWindows(client.Id());

  // The server's own record of it.
  std::optional<std::string> audit = ReadFileBytes(log);
  ASSERT_TRUE(audit) << log;
  EXPECT_NE(audit->find(",2024010101,"), std::string::npos) << *audit;
  EXPECT_NE(audit->find(",accepted,accepted,"), std::string::npos) << *audit;
  client.Terminate();
}

}  // namespace
