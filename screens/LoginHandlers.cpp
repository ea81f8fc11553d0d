#include "screens/LoginHandlers.h"

#include "app/Memory.h"
#include "link/Client.h"
#include "link/LoginExchange.h"
#include "link/ServerSettings.h"
#include "screens/Screens.h"
#include "ui/Layer.h"

namespace {

using W = LoginWindow;

constexpr std::int32_t kWarningBox = MB_OK | MB_ICONEXCLAMATION;  // 48

}  // namespace

void OnLoginWindowCreated() {
  WriteProperty(W::number, W::连接状态标签, kPropertyText, TextValue("正在连接服务器"));
  WriteProperty(W::number, W::登录按钮, kPropertyDisabled, BoolValue(true));
  LoadServerSettings();
  const ServerSettingsRecord& settings = ServerSettings();
  std::int32_t port = TextToInteger(settings.portText ? settings.portText : "");
  // Blocks until the attempt has succeeded or failed; the window is still hidden.
  bool connected = ClientControl(W::number, W::客户1).Connect(settings.ipText ? settings.ipText : "", port);
  if (!connected) return;  // nothing retries: the button stays disabled
  WriteProperty(W::number, W::登录按钮, kPropertyDisabled, BoolValue(false));
  WriteProperty(W::number, W::连接状态标签, kPropertyText, TextValue("考生登录"));
}

void OnLoginButtonClicked() {
  const char* candidateNumber = ReadProperty(W::number, W::考生号输入框, kPropertyText).text;
  const char* idCardNumber = ReadProperty(W::number, W::身份证号输入框, kPropertyText).text;
  char* request = BuildLoginRequest(candidateNumber, idCardNumber);
  FreeMemory(candidateNumber);
  FreeMemory(idCardNumber);
  ClientControl(W::number, W::客户1).Send(request);
  FreeMemory(request);
}

void OnClientDataArrival() {
  // Taken first: a nested arrival during the box or the confirmation window
  // replaces what the control holds.
  const ByteBlock* reply = ClientControl(W::number, W::客户1).GetData();
  bool accepted = JudgeLoginReply(reply);
  FreeMemory(reply);
  if (accepted) {
    LoadWindow(ConfirmWindow::number, kNoParent, true);
    WriteProperty(W::number, W::self, kPropertyVisible, BoolValue(false));
  } else {
    ShowMessageBox("考生信息有误，请重新输入", kWarningBox, "登录失败");
  }
}
