// The yardstick for the client: its login window made by straight Win32
// calls, with the same controls, places, texts and images, and nothing else.
//
//   bench-baseline.exe            the window only (start-up baseline)
//   bench-baseline.exe --port N   connects to 127.0.0.1:N first, as the client
//                                 does; the button sends the two boxes' texts
//                                 joined by "fg", waits for the reply and, for
//                                 "1", opens one more window of the same size
//                                 (round trip baseline)
//
// Two more switches, with --port, take the round trip a step towards what the
// client does, to show where its time goes: --async reads the reply on a
// socket notification message, as the client does, instead of waiting in
// recv; --confirm-controls puts the confirmation window's controls into the
// second window.
//
// --no-focus leaves the keyboard focus where the system puts it, so no
// caret blinks: the idle cost of the caret shows as the difference.
//
// A posted kBurnMessage makes it burn wParam ms of its own CPU time, so the
// measuring program can check that it reads another process's CPU time right.
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "screens/ArtworkIds.h"

namespace {

constexpr char kFormClass[] = "ExamForm";
constexpr char kPictureClass[] = "BenchPicture";
constexpr char kLabelClass[] = "BenchLabel";
constexpr UINT kBurnMessage = WM_APP + 1;
constexpr int kLoginButtonId = 10;
constexpr int kWidth = 1000;
constexpr int kHeight = 400;

HINSTANCE instance;
HBITMAP panelBitmap;
HBRUSH panelBrush;
HBRUSH backgroundBrush;
HWND mainWindow;
HWND candidateEdit;
HWND idCardEdit;
SOCKET connection = INVALID_SOCKET;
bool asyncReply = false;
bool confirmControls = false;
constexpr UINT kSocketMessage = WM_APP + 2;

HBITMAP LoadBitmapResource(int id) {
  return static_cast<HBITMAP>(LoadImageA(instance, MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

double OwnCpuMs() {
  FILETIME created, exited, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  auto ms = [](FILETIME t) {
    return static_cast<double>((static_cast<unsigned long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
}

void Burn(double ms) {
  const double end = OwnCpuMs() + ms;
  volatile unsigned spin = 0;
  while (OwnCpuMs() < end) {
    for (int i = 0; i < 100000; ++i) spin = spin + 1;
  }
}

POINT Centred() {
  return {(GetSystemMetrics(SM_CXSCREEN) - kWidth) / 2, (GetSystemMetrics(SM_CYSCREEN) - kHeight) / 2};
}

HWND Picture(HWND parent, int x, int y, int width, int height, HBITMAP bitmap);
void Label(HWND parent, int x, int y, int width, int height, const char* text);

HWND Button(HWND parent, int x, int y, int width, int height, const char* text, DWORD style, int id) {
  HWND button = CreateWindowExA(0, "BUTTON", text,
                                WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_CENTER | BS_VCENTER | style, x,
                                y, width, height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                                nullptr);
  SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return button;
}

// Places, texts and images as in the confirmation window.
void AddConfirmControls(HWND window) {
  static const HBITMAP banner = LoadBitmapResource(kBannerImage);
  static const HBITMAP logo = LoadBitmapResource(kLogoImage);
  Picture(window, 28, 90, 456, 86, banner);
  Picture(window, 111, 187, 283, 93, logo);
  HWND panel = Picture(window, 492, 80, 504, 209, panelBitmap);
  Label(panel, 52, 24, 440, 16, "考生信息查看（本考场为）");
  Label(panel, 52, 56, 48, 16, "姓名：");
  Label(panel, 112, 56, 48, 16, "考生姓名");
  Label(panel, 51, 81, 48, 16, "考生号：");
  Label(panel, 113, 81, 123, 16, "考生号");
  Label(panel, 51, 104, 61, 16, "身份证号：");
  Label(panel, 115, 103, 153, 16, "身份证号");
  Picture(panel, 380, 40, 80, 104, nullptr);
  Button(panel, 124, 168, 72, 24, "信息有误", BS_PUSHBUTTON | BS_MULTILINE, 21);
  Button(panel, 232, 168, 72, 24, "信息正确", BS_PUSHBUTTON | BS_MULTILINE, 22);
  HWND start = Button(panel, 336, 168, 72, 24, "开始考试", BS_PUSHBUTTON | BS_MULTILINE, 23);
  EnableWindow(start, FALSE);
}

void OpenSecondWindow() {
  POINT place = Centred();
  HWND second = CreateWindowExA(0, kFormClass, "考试系统", WS_POPUP | WS_CLIPCHILDREN, place.x, place.y, kWidth,
                                kHeight, nullptr, nullptr, instance, nullptr);
  if (!second) return;
  if (confirmControls) AddConfirmControls(second);
  ShowWindow(second, SW_SHOW);
}

void OnReply() {
  char reply[1024];
  int count = recv(connection, reply, sizeof reply, 0);
  if (count == 1 && reply[0] == '1') OpenSecondWindow();
}

std::string TextOf(HWND edit) {
  char text[1024] = {};
  int length = GetWindowTextA(edit, text, sizeof text);
  return std::string(text, length > 0 ? static_cast<std::size_t>(length) : 0);
}

void OnLoginClicked() {
  if (connection == INVALID_SOCKET) return;
  std::string request = TextOf(candidateEdit) + "fg" + TextOf(idCardEdit);
  if (send(connection, request.data(), static_cast<int>(request.size()), 0) != static_cast<int>(request.size())) return;
  if (!asyncReply) OnReply();
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (LOWORD(wParam) == kLoginButtonId && HIWORD(wParam) == BN_CLICKED) OnLoginClicked();
      return 0;
    case kBurnMessage:
      Burn(static_cast<double>(wParam));
      return 0;
    case kSocketMessage:
      if (WSAGETSELECTEVENT(lParam) == FD_READ) OnReply();
      return 0;
    case WM_DESTROY:
      if (window == mainWindow) PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK PictureProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      auto picture = reinterpret_cast<HBITMAP>(GetWindowLongPtrA(window, GWLP_USERDATA));
      if (!picture) {
        FillRect(dc, &paint.rcPaint, GetSysColorBrush(COLOR_BTNFACE));
        EndPaint(window, &paint);
        return 0;
      }
      BITMAP info{};
      GetObjectA(picture, sizeof info, &info);
      HDC source = CreateCompatibleDC(dc);
      HGDIOBJ previous = SelectObject(source, picture);
      BitBlt(dc, 0, 0, info.bmWidth, info.bmHeight, source, 0, 0, SRCCOPY);
      SelectObject(source, previous);
      DeleteDC(source);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_COMMAND:
      // The panel holds the button; its click belongs to the window.
      return SendMessageA(GetAncestor(window, GA_ROOT), message, wParam, lParam);
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

LRESULT CALLBACK LabelProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      SetBrushOrgEx(dc, 0, 0, nullptr);
      FillRect(dc, &client, panelBrush);
      char text[256];
      int length = GetWindowTextA(window, text, sizeof text);
      HGDIOBJ previous = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(0xFF, 0xFF, 0xFF));
      DrawTextA(dc, text, length, &client, DT_SINGLELINE | DT_VCENTER | DT_LEFT | DT_NOCLIP);
      SelectObject(dc, previous);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}

void RegisterClasses() {
  WNDCLASSEXA form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.hInstance = instance;
  form.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kProgramIconId));
  form.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  form.hbrBackground = backgroundBrush;
  form.lpszClassName = kFormClass;
  RegisterClassExA(&form);

  WNDCLASSEXA picture{};
  picture.cbSize = sizeof picture;
  picture.lpfnWndProc = PictureProc;
  picture.hInstance = instance;
  picture.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  picture.lpszClassName = kPictureClass;
  RegisterClassExA(&picture);

  WNDCLASSEXA label{};
  label.cbSize = sizeof label;
  label.lpfnWndProc = LabelProc;
  label.hInstance = instance;
  label.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  label.lpszClassName = kLabelClass;
  RegisterClassExA(&label);
}

HWND Picture(HWND parent, int x, int y, int width, int height, HBITMAP bitmap) {
  HWND picture = CreateWindowExA(0, kPictureClass, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, x,
                                 y, width, height, parent, nullptr, instance, nullptr);
  SetWindowLongPtrA(picture, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(bitmap));
  return picture;
}

void Label(HWND parent, int x, int y, int width, int height, const char* text) {
  CreateWindowExA(0, kLabelClass, text, WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, x, y, width, height, parent, nullptr,
                  instance, nullptr);
}

HWND Edit(HWND parent, int x, int y) {
  HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                              WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL, x, y,
                              200, 20, parent, nullptr, instance, nullptr);
  SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  return edit;
}

bool Connect(int port) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(1, 1), &data) != 0) return false;
  connection = socket(AF_INET, SOCK_STREAM, 0);
  if (connection == INVALID_SOCKET) return false;
  sockaddr_in server{};
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<u_short>(port));
  server.sin_addr.s_addr = inet_addr("127.0.0.1");
  if (connect(connection, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
    closesocket(connection);
    connection = INVALID_SOCKET;
    return false;
  }
  return true;
}

}  // namespace

int WINAPI WinMain(HINSTANCE self, HINSTANCE, LPSTR commandLine, int) {
  instance = self;
  asyncReply = std::strstr(commandLine, "--async") != nullptr;
  confirmControls = std::strstr(commandLine, "--confirm-controls") != nullptr;
  if (const char* port = std::strstr(commandLine, "--port ")) {
    if (!Connect(std::atoi(port + 7))) return 3;
  }

  HBITMAP background = LoadBitmapResource(kBackgroundImage);
  panelBitmap = LoadBitmapResource(kPanelImage);
  HBITMAP banner = LoadBitmapResource(kBannerImage);
  HBITMAP logo = LoadBitmapResource(kLogoImage);
  HBITMAP button = LoadBitmapResource(kLoginButtonImage);
  if (!background || !panelBitmap || !banner || !logo || !button) return 2;
  backgroundBrush = CreatePatternBrush(background);
  panelBrush = CreatePatternBrush(panelBitmap);
  RegisterClasses();

  POINT place = Centred();
  mainWindow = CreateWindowExA(0, kFormClass, "考试系统", WS_POPUP | WS_CLIPCHILDREN, place.x, place.y, kWidth,
                               kHeight, nullptr, nullptr, instance, nullptr);
  if (!mainWindow) return 1;
  Picture(mainWindow, 28, 90, 456, 86, banner);
  Picture(mainWindow, 111, 187, 283, 93, logo);
  HWND panel = Picture(mainWindow, 492, 80, 504, 209, panelBitmap);
  Label(panel, 52, 24, 192, 16, "考生登录");
  Label(panel, 108, 67, 48, 16, "考生号：");
  candidateEdit = Edit(panel, 172, 64);
  Label(panel, 108, 114, 56, 16, "身份证号：");
  idCardEdit = Edit(panel, 172, 111);
  HWND login = CreateWindowExA(
      0, "BUTTON", "按钮", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_TABSTOP | BS_PUSHBUTTON | BS_BITMAP | BS_CENTER | BS_VCENTER,
      212, 160, 118, 39, panel, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kLoginButtonId)), instance, nullptr);
  SendMessageA(login, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
  SendMessageA(login, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(button));

  if (asyncReply && connection != INVALID_SOCKET) {
    WSAAsyncSelect(connection, mainWindow, kSocketMessage, FD_READ | FD_CLOSE);
  }
  ShowWindow(mainWindow, SW_SHOW);
  if (!std::strstr(commandLine, "--no-focus")) SetFocus(candidateEdit);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  if (connection != INVALID_SOCKET) {
    closesocket(connection);
    WSACleanup();
  }
  return 0;
}
