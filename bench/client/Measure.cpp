// Measures the client against the baseline program, side by side: start-up,
// login round trip, memory and idle CPU time. Writes one JSON object per
// sample on stdout, progress on stderr; bench/report.py makes the table.
//
//   bench-client.exe --client EXE --baseline EXE [--runs N] [--idle-runs N]
//                    [--idle-seconds S]
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "AnswerServer.h"
#include "Probe.h"
#include "screens/ArtworkIds.h"

namespace {

using bench::NowMs;
using bench::PollUntil;
using bench::Started;

constexpr DWORD kStartTimeoutMs = 30000;
constexpr DWORD kReactTimeoutMs = 10000;
constexpr DWORD kStartPollMs = 2;
constexpr DWORD kReactPollMs = 1;
// After a state is reached, what follows it (late paints, the display's
// copy) is left to finish before anything is measured.
constexpr DWORD kSettleMs = 300;
constexpr DWORD kIdleSettleMs = 1000;
constexpr double kBurnMs = 300;
constexpr UINT kBurnMessage = WM_APP + 1;
// A spot of the blue panel that no control covers, in window coordinates.
constexpr POINT kPanelProbe = {492 + 10, 80 + 10};
constexpr POINT kPanelProbeInPanel = {10, 10};

struct Options {
  std::string client;
  std::string baseline;
  int runs = 15;
  int idleRuns = 3;
  int idleSeconds = 10;
};

int failures = 0;

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      out += ' ';
    } else {
      out += c;
    }
  }
  return out;
}

void Emit(const std::string& id, const std::string& who, double value) {
  std::printf("{\"id\": \"%s\", \"who\": \"%s\", \"value\": %.6g}\n", id.c_str(), who.c_str(), value);
  std::fflush(stdout);
}

void EmitNote(const std::string& key, const std::string& text) {
  std::printf("{\"note\": \"%s\", \"text\": \"%s\"}\n", Escape(key).c_str(), Escape(text).c_str());
  std::fflush(stdout);
}

void Fail(const std::string& what) {
  ++failures;
  std::fprintf(stderr, "bench-client: %s\n", what.c_str());
  std::printf("{\"error\": \"%s\"}\n", Escape(what).c_str());
  std::fflush(stdout);
}

void Progress(const std::string& what) {
  std::fprintf(stderr, "bench-client: %s\n", what.c_str());
}

// The panel's colour at the probe, from the image the client itself carries.
std::optional<COLORREF> PanelColour(const std::string& clientPath) {
  HMODULE module = LoadLibraryExA(clientPath.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return std::nullopt;
  auto bitmap = static_cast<HBITMAP>(LoadImageA(module, MAKEINTRESOURCEA(kPanelImage), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
  std::optional<COLORREF> colour;
  if (bitmap) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap);
    COLORREF pixel = GetPixel(dc, kPanelProbeInPanel.x, kPanelProbeInPanel.y);
    if (pixel != CLR_INVALID) colour = pixel;
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
  }
  FreeLibrary(module);
  return colour;
}

class ConfigFile {
 public:
  explicit ConfigFile(std::uint16_t port) {
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    path_ = std::string(windows) + "\\config.ini";
    std::ifstream old(path_, std::ios::binary);
    if (old) {
      std::ostringstream bytes;
      bytes << old.rdbuf();
      previous_ = bytes.str();
    }
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << "[Server]\r\nIP=127.0.0.1\r\nPort=" << port << "\r\n";
    written_ = static_cast<bool>(out);
  }
  ~ConfigFile() {
    if (previous_) {
      std::ofstream(path_, std::ios::binary | std::ios::trunc) << *previous_;
    } else {
      DeleteFileA(path_.c_str());
    }
  }
  bool Written() const { return written_; }

 private:
  std::string path_;
  std::optional<std::string> previous_;
  bool written_ = false;
};

class Bench {
 public:
  Bench(const Options& options, bench::AnswerServer& server, COLORREF panel)
      : options_(options), server_(server), panel_(panel) {}

  void TimingRun(int run) {
    // Alternating the order spreads whatever drifts over the run evenly.
    if (run % 2 == 0) {
      BaselineStartup(run);
      ClientTiming(run);
    } else {
      ClientTiming(run);
      BaselineStartup(run);
    }
    BaselineRoundTrip(run, "", "baseline");
    // Steps from the baseline towards the client, to show where the
    // client's round trip goes.
    BaselineRoundTrip(run, " --async", "baseline_async");
    BaselineRoundTrip(run, " --async --confirm-controls", "baseline_async_controls");
  }

  void IdleRun(int run) {
    ClientIdleFlow(run);
    ClientIdleBox(run);
    BaselineIdle(run);
  }

  // A run with nothing recorded: the first start of each program pays for
  // loading files the later ones find in the cache.
  void WarmUp() {
    Started program = Start(options_.baseline, "");
    if (program.process) {
      WaitPaintedLogin(program, "warm-up baseline");
      bench::EndProgram(program, "ExamForm", kReactTimeoutMs);
    }
    program = Start(options_.client, "");
    if (program.process) {
      WaitPaintedLogin(program, "warm-up client");
      CloseClient(program, "warm-up client");
    }
    server_.TakeReceived();
  }

 private:
  Started Start(const std::string& path, const std::string& arguments) {
    WaitScreenClear();
    Started program = bench::StartProgram(path, arguments);
    if (!program.process) Fail(program.error);
    return program;
  }

  // A window of a previous run still on the screen would pass for this one.
  void WaitScreenClear() {
    POINT probe = {(GetSystemMetrics(SM_CXSCREEN) - 1000) / 2 + kPanelProbe.x,
                   (GetSystemMetrics(SM_CYSCREEN) - 400) / 2 + kPanelProbe.y};
    const double deadline = NowMs() + 5000;
    for (;;) {
      HDC screen = GetDC(nullptr);
      COLORREF shown = GetPixel(screen, probe.x, probe.y);
      ReleaseDC(nullptr, screen);
      if (shown != panel_) return;
      if (NowMs() > deadline) {
        Fail("the screen still shows a login window before a program starts");
        return;
      }
      Sleep(20);
    }
  }

  // The visible login window, once painted; the time from process start.
  std::optional<std::pair<HWND, double>> WaitPaintedLogin(Started& program, const std::string& what) {
    HWND login = nullptr;
    auto visible = PollUntil(program.process, kStartTimeoutMs, kStartPollMs, [&] {
      login = bench::FindTopLevel(program.id, "ExamForm", true);
      return login && bench::HasChildOfClass(login, "Edit");
    });
    if (!visible) {
      Fail(what + ": no visible login window");
      return std::nullopt;
    }
    auto painted = PollUntil(program.process, kStartTimeoutMs, kStartPollMs,
                             [&] { return bench::IsPainted(login, kPanelProbe, panel_); });
    if (!painted) {
      Fail(what + ": the login window was not painted");
      return std::nullopt;
    }
    return std::make_pair(login, *painted - program.startMs);
  }

  // Clicks the login button; the time until a second visible window of the
  // form class comes up.
  std::optional<std::pair<HWND, double>> ClickLogin(Started& program, HWND login, const std::string& what) {
    HWND button = bench::FindChildOfClass(login, "Button");
    if (!button) {
      Fail(what + ": no login button");
      return std::nullopt;
    }
    server_.TakeReceived();
    HWND next = nullptr;
    const double clicked = NowMs();
    PostMessageA(button, BM_CLICK, 0, 0);
    auto shown = PollUntil(program.process, kReactTimeoutMs, kReactPollMs, [&] {
      next = bench::FindTopLevel(program.id, "ExamForm", true, login);
      return next != nullptr;
    });
    if (!shown) {
      Fail(what + ": no window after the login click");
      return std::nullopt;
    }
    // The click must have been a login: the server got the request of two
    // empty boxes.
    auto received = server_.TakeReceived();
    if (received.size() != 1 || received[0] != "fg") {
      Fail(what + ": the server did not receive exactly one login request \"fg\"");
      return std::nullopt;
    }
    return std::make_pair(next, *shown - clicked);
  }

  void CloseClient(Started& program, const std::string& what) {
    auto code = bench::EndProgram(program, "ExamForm", kReactTimeoutMs);
    if (!code) {
      Fail(what + ": the client did not end when its login window was closed");
    } else if (*code != 0) {
      Fail(what + ": the client ended with code " + std::to_string(*code));
    }
  }

  void EmitMemory(Started& program, const std::string& who, const std::string& what) {
    auto memory = bench::ProcessMemory(program.process);
    if (!memory) {
      Fail(what + ": no memory figures");
      return;
    }
    Emit("peak_working_set_bytes", who, memory->peakWorkingSet);
    Emit("private_bytes", who, memory->privateBytes);
    if (memory->privateFromPagefile && !pagefileNoted_) {
      EmitNote("private_bytes", "PrivateUsage is 0 under this system; PagefileUsage (resident private memory) is used");
      pagefileNoted_ = true;
    }
  }

  // CPU time the process uses while nothing is done to it.
  std::optional<double> IdleCpu(Started& program, const std::string& what) {
    Sleep(kIdleSettleMs);
    auto before = bench::ProcessCpuMs(program.id);
    if (WaitForSingleObject(program.process, static_cast<DWORD>(options_.idleSeconds) * 1000) != WAIT_TIMEOUT) {
      Fail(what + ": the process ended while idle");
      return std::nullopt;
    }
    auto after = bench::ProcessCpuMs(program.id);
    if (!before || !after) {
      Fail(what + ": no CPU times");
      return std::nullopt;
    }
    return *after - *before;
  }

  void ClientTiming(int run) {
    const std::string what = "client run " + std::to_string(run);
    Progress(what);
    Started program = Start(options_.client, "");
    if (!program.process) return;
    auto login = WaitPaintedLogin(program, what);
    if (login) {
      Emit("startup_ms", "client", login->second);
      Sleep(kSettleMs);
      auto confirm = ClickLogin(program, login->first, what);
      if (confirm) {
        if (bench::HasChildOfClass(confirm->first, "Edit")) {
          Fail(what + ": the window after the login has edit boxes: not the confirmation window");
        } else {
          Emit("roundtrip_ms", "client", confirm->second);
        }
        Sleep(kSettleMs);
        EmitMemory(program, "client", what);
        PostMessageA(confirm->first, WM_CLOSE, 0, 0);
        if (!PollUntil(program.process, kReactTimeoutMs, 10,
                       [&] { return bench::VisibleTopLevelCount(program.id) == 0; })) {
          Fail(what + ": windows still visible after the confirmation window was closed");
        }
      }
    }
    CloseClient(program, what);
  }

  void BaselineStartup(int run) {
    const std::string what = "baseline run " + std::to_string(run);
    Progress(what);
    Started program = Start(options_.baseline, "");
    if (!program.process) return;
    auto login = WaitPaintedLogin(program, what);
    if (login) Emit("startup_ms", "baseline", login->second);
    bench::EndProgram(program, "ExamForm", kReactTimeoutMs);
  }

  void BaselineRoundTrip(int run, const std::string& switches, const std::string& who) {
    const std::string what = who + " round trip run " + std::to_string(run);
    Progress(what);
    Started program = Start(options_.baseline, "--port " + std::to_string(server_.Port()) + switches);
    if (!program.process) return;
    auto login = WaitPaintedLogin(program, what);
    if (login) {
      Sleep(kSettleMs);
      auto next = ClickLogin(program, login->first, what);
      if (next) {
        Emit("roundtrip_ms", who, next->second);
        if (switches.empty()) {
          Sleep(kSettleMs);
          EmitMemory(program, "baseline", what);
        }
      }
    }
    bench::EndProgram(program, "ExamForm", kReactTimeoutMs);
  }

  // Login window, then confirmation window, then no window.
  void ClientIdleFlow(int run) {
    const std::string what = "client idle run " + std::to_string(run);
    Progress(what + " (" + std::to_string(3 * options_.idleSeconds) + " s)");
    Started program = Start(options_.client, "");
    if (!program.process) return;
    auto login = WaitPaintedLogin(program, what);
    if (login) {
      if (auto cpu = IdleCpu(program, what + " login window")) Emit("idle_cpu_ms.login", "client", *cpu);
      auto confirm = ClickLogin(program, login->first, what);
      if (confirm) {
        if (auto cpu = IdleCpu(program, what + " confirmation window")) Emit("idle_cpu_ms.confirm", "client", *cpu);
        PostMessageA(confirm->first, WM_CLOSE, 0, 0);
        if (PollUntil(program.process, kReactTimeoutMs, 10,
                      [&] { return bench::VisibleTopLevelCount(program.id) == 0; })) {
          if (auto cpu = IdleCpu(program, what + " no window")) Emit("idle_cpu_ms.hidden", "client", *cpu);
        } else {
          Fail(what + ": windows still visible after the confirmation window was closed");
        }
      }
    }
    CloseClient(program, what);
  }

  void ClientIdleBox(int run) {
    const std::string what = "client box idle run " + std::to_string(run);
    Progress(what + " (" + std::to_string(options_.idleSeconds) + " s)");
    Started program = Start(options_.client, "");
    if (!program.process) return;
    auto login = WaitPaintedLogin(program, what);
    if (login) {
      server_.SetReply('0');
      HWND button = bench::FindChildOfClass(login->first, "Button");
      if (button) PostMessageA(button, BM_CLICK, 0, 0);
      HWND box = nullptr;
      if (button && PollUntil(program.process, kReactTimeoutMs, 10, [&] {
            box = bench::FindTopLevel(program.id, "#32770", true);
            return box != nullptr;
          })) {
        if (auto cpu = IdleCpu(program, what)) Emit("idle_cpu_ms.box", "client", *cpu);
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        if (!PollUntil(program.process, kReactTimeoutMs, 10, [&] { return !IsWindow(box); })) {
          Fail(what + ": the rejection box did not close");
        }
      } else {
        Fail(what + ": no rejection box");
      }
      server_.SetReply('1');
    }
    CloseClient(program, what);
  }

  void BaselineIdle(int run) {
    const std::string what = "baseline idle run " + std::to_string(run);
    Progress(what + " (" + std::to_string(2 * options_.idleSeconds) + " s)");
    Started program = Start(options_.baseline, "");
    if (!program.process) return;
    auto login = WaitPaintedLogin(program, what);
    if (login) {
      if (auto cpu = IdleCpu(program, what)) Emit("idle_cpu_ms.login", "baseline", *cpu);
      // The same reading must see CPU time that is known to be spent.
      auto before = bench::ProcessCpuMs(program.id);
      FILETIME created, exited, kernelBefore, userBefore, kernelAfter, userAfter;
      GetProcessTimes(program.process, &created, &exited, &kernelBefore, &userBefore);
      PostMessageA(login->first, kBurnMessage, static_cast<WPARAM>(kBurnMs), 0);
      WaitForSingleObject(program.process, static_cast<DWORD>(kBurnMs) * 4);
      auto after = bench::ProcessCpuMs(program.id);
      GetProcessTimes(program.process, &created, &exited, &kernelAfter, &userAfter);
      if (before && after) {
        Emit("cpu_check_ms", "baseline", *after - *before);
      } else {
        Fail(what + ": no CPU times");
      }
      auto ms = [](FILETIME t) {
        return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
      };
      double apiDelta = ms(kernelAfter) + ms(userAfter) - ms(kernelBefore) - ms(userBefore);
      EmitNote("cpu_check_ms", "GetProcessTimes on the child saw " + std::to_string(static_cast<int>(apiDelta)) +
                                   " ms of the " + std::to_string(static_cast<int>(kBurnMs)) + " ms burnt");
    }
    bench::EndProgram(program, "ExamForm", kReactTimeoutMs);

    program = Start(options_.baseline, "--no-focus");
    if (!program.process) return;
    if (WaitPaintedLogin(program, what + " without focus")) {
      if (auto cpu = IdleCpu(program, what + " without focus")) Emit("idle_cpu_ms.login", "baseline_no_focus", *cpu);
    }
    bench::EndProgram(program, "ExamForm", kReactTimeoutMs);
  }

  const Options& options_;
  bench::AnswerServer& server_;
  COLORREF panel_;
  bool pagefileNoted_ = false;
};

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string key = argv[i];
    std::string value = argv[i + 1];
    if (key == "--client") {
      options.client = value;
    } else if (key == "--baseline") {
      options.baseline = value;
    } else if (key == "--runs") {
      options.runs = std::atoi(value.c_str());
    } else if (key == "--idle-runs") {
      options.idleRuns = std::atoi(value.c_str());
    } else if (key == "--idle-seconds") {
      options.idleSeconds = std::atoi(value.c_str());
    } else {
      return false;
    }
  }
  return (argc % 2) == 1 && !options.client.empty() && !options.baseline.empty() && options.runs > 0 &&
         options.idleRuns > 0 && options.idleSeconds > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: bench-client --client EXE --baseline EXE [--runs N] [--idle-runs N] [--idle-seconds S]\n");
    return 2;
  }
  auto panel = PanelColour(options.client);
  if (!panel) {
    std::fprintf(stderr, "bench-client: cannot read the panel image from %s\n", options.client.c_str());
    return 1;
  }
  bench::AnswerServer server;
  if (!server.Listening()) {
    std::fprintf(stderr, "bench-client: cannot listen on 127.0.0.1\n");
    return 1;
  }
  ConfigFile config(server.Port());
  if (!config.Written()) {
    std::fprintf(stderr, "bench-client: cannot write config.ini\n");
    return 1;
  }
  std::printf("{\"meta\": \"idle_seconds\", \"value\": %d}\n", options.idleSeconds);
  std::printf("{\"meta\": \"runs\", \"value\": %d}\n", options.runs);
  std::printf("{\"meta\": \"idle_runs\", \"value\": %d}\n", options.idleRuns);

  Bench bench(options, server, *panel);
  bench.WarmUp();
  for (int run = 0; run < options.runs; ++run) bench.TimingRun(run);
  for (int run = 0; run < options.idleRuns; ++run) bench.IdleRun(run);
  return failures ? 1 : 0;
}
