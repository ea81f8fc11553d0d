// The login window: where the candidate types the candidate number and the
// ID-card number. The six working controls sit on the blue panel 图片框3.
#include "screens/ArtworkIds.h"
#include "screens/LoginHandlers.h"
#include "screens/Screens.h"

namespace {

using W = LoginWindow;
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);

constexpr EventBinding kWindowEvents[] = {{.event = kEventCreated, .handler = OnLoginWindowCreated}};
constexpr EventBinding kClientEvents[] = {{.event = kEventDataArrival, .handler = OnClientDataArrival}};
constexpr EventBinding kLoginButtonEvents[] = {{.event = kEventClicked, .handler = OnLoginButtonClicked}};

constexpr ControlDescription kControls[] = {
    {.kind = ControlKind::Window, .number = W::self, .name = "LoginWindow",
     .left = 50, .top = 50, .width = 1000, .height = 400, .text = "考试系统",
     .image = kBackgroundImage, .events = kWindowEvents},
    {.kind = ControlKind::Client, .number = W::客户1, .name = "客户1", .parent = W::self,
     .left = 16, .top = 16, .width = 32, .height = 32, .text = "", .visible = false,
     .events = kClientEvents},
    {.kind = ControlKind::PicBox, .number = W::图片框1, .name = "图片框1", .parent = W::self,
     .left = 28, .top = 90, .width = 456, .height = 86, .image = kBannerImage},
    {.kind = ControlKind::PicBox, .number = W::图片框2, .name = "图片框2", .parent = W::self,
     .left = 111, .top = 187, .width = 283, .height = 93, .image = kLogoImage},
    {.kind = ControlKind::PicBox, .number = W::图片框3, .name = "图片框3", .parent = W::self,
     .left = 492, .top = 80, .width = 504, .height = 209, .image = kPanelImage},
    {.kind = ControlKind::Label, .number = W::连接状态标签, .name = "连接状态标签", .parent = W::图片框3,
     .left = 52, .top = 24, .width = 192, .height = 16, .text = "考生登录",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::Label, .number = W::标签2, .name = "标签2", .parent = W::图片框3,
     .left = 108, .top = 67, .width = 48, .height = 16, .text = "考生号：",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::EditBox, .number = W::考生号输入框, .name = "考生号输入框", .parent = W::图片框3,
     .left = 172, .top = 64, .width = 200, .height = 20, .text = "",
     .tabStop = true, .tabOrder = 0},
    {.kind = ControlKind::Label, .number = W::标签3, .name = "标签3", .parent = W::图片框3,
     .left = 108, .top = 114, .width = 56, .height = 16, .text = "身份证号：",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::EditBox, .number = W::身份证号输入框, .name = "身份证号输入框", .parent = W::图片框3,
     .left = 172, .top = 111, .width = 200, .height = 20, .text = "",
     .tabStop = true, .tabOrder = 1},
    {.kind = ControlKind::Button, .number = W::登录按钮, .name = "登录按钮", .parent = W::图片框3,
     .left = 212, .top = 160, .width = 118, .height = 39, .text = "按钮",
     .tabStop = true, .tabOrder = 2, .image = kLoginButtonImage, .events = kLoginButtonEvents},
};

}  // namespace

constexpr WindowDescription kLoginWindowDescription = {
    .number = W::number,
    .settings = {.centred = true, .border = false, .escCloses = true, .enterMovesFocus = false},
    .controls = kControls,
};
static_assert(IsValidDescription(kLoginWindowDescription));
