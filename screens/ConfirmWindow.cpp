// The confirmation window: the candidate checks the (fixed) information and
// answers whether it is right. Opened fully modally once a login is accepted.
#include "screens/ArtworkIds.h"
#include "screens/ConfirmHandlers.h"
#include "screens/Screens.h"
#include "ui/Layer.h"

namespace {

using W = ConfirmWindow;
constexpr COLORREF kWhite = RGB(0xFF, 0xFF, 0xFF);
constexpr std::int32_t kInformationBox = MB_OK | MB_ICONINFORMATION;  // 64

constexpr EventBinding kInfoWrongEvents[] = {{.event = kEventClicked, .handler = OnInfoWrongClicked}};
constexpr EventBinding kInfoCorrectEvents[] = {{.event = kEventClicked, .handler = OnInfoCorrectClicked}};

constexpr ControlDescription kControls[] = {
    {.kind = ControlKind::Window, .number = W::self, .name = "ConfirmWindow",
     .left = 50, .top = 50, .width = 1000, .height = 400, .text = "考试系统",
     .image = kBackgroundImage},
    {.kind = ControlKind::PicBox, .number = W::图片框1, .name = "图片框1", .parent = W::self,
     .left = 28, .top = 90, .width = 456, .height = 86, .image = kBannerImage},
    {.kind = ControlKind::PicBox, .number = W::图片框2, .name = "图片框2", .parent = W::self,
     .left = 111, .top = 187, .width = 283, .height = 93, .image = kLogoImage},
    {.kind = ControlKind::PicBox, .number = W::图片框3, .name = "图片框3", .parent = W::self,
     .left = 492, .top = 80, .width = 504, .height = 209, .image = kPanelImage},
    {.kind = ControlKind::Label, .number = W::标签1, .name = "标签1", .parent = W::图片框3,
     .left = 52, .top = 24, .width = 440, .height = 16, .text = "考生信息查看（本考场为）",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::Label, .number = W::标签2, .name = "标签2", .parent = W::图片框3,
     .left = 52, .top = 56, .width = 48, .height = 16, .text = "姓名：",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::Label, .number = W::考生姓名标签, .name = "考生姓名标签", .parent = W::图片框3,
     .left = 112, .top = 56, .width = 48, .height = 16, .text = "考生姓名",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::Label, .number = W::标签4, .name = "标签4", .parent = W::图片框3,
     .left = 51, .top = 81, .width = 48, .height = 16, .text = "考生号：",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::Label, .number = W::考生号标签, .name = "考生号标签", .parent = W::图片框3,
     .left = 113, .top = 81, .width = 123, .height = 16, .text = "考生号",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::Label, .number = W::标签6, .name = "标签6", .parent = W::图片框3,
     .left = 51, .top = 104, .width = 61, .height = 16, .text = "身份证号：",
     .image = kPanelImage, .textColor = kWhite},
    {.kind = ControlKind::Label, .number = W::身份证号标签, .name = "身份证号标签", .parent = W::图片框3,
     .left = 115, .top = 103, .width = 153, .height = 16, .text = "身份证号",
     .image = kPanelImage, .textColor = kWhite},
    // A picture box, for all its name; no picture is ever set.
    {.kind = ControlKind::PicBox, .number = W::考生照片标签, .name = "考生照片标签", .parent = W::图片框3,
     .left = 380, .top = 40, .width = 80, .height = 104, .stretchImage = true},
    {.kind = ControlKind::Button, .number = W::按钮1, .name = "按钮1", .parent = W::图片框3,
     .left = 124, .top = 168, .width = 72, .height = 24, .text = "信息有误",
     .tabStop = true, .tabOrder = 0, .multiline = true, .events = kInfoWrongEvents},
    {.kind = ControlKind::Button, .number = W::按钮2, .name = "按钮2", .parent = W::图片框3,
     .left = 232, .top = 168, .width = 72, .height = 24, .text = "信息正确",
     .tabStop = true, .tabOrder = 1, .multiline = true, .events = kInfoCorrectEvents},
    {.kind = ControlKind::Button, .number = W::开始考试按钮, .name = "开始考试按钮", .parent = W::图片框3,
     .left = 336, .top = 168, .width = 72, .height = 24, .text = "开始考试",
     .disabled = true, .tabStop = true, .tabOrder = 2, .multiline = true},
};

}  // namespace

constexpr WindowDescription kConfirmWindowDescription = {
    .number = W::number,
    .settings = {.centred = true, .border = false, .minimizeBox = true, .escCloses = true},
    .controls = kControls,
};
static_assert(IsValidDescription(kConfirmWindowDescription));

void OnInfoWrongClicked() {
  ShowMessageBox("已告知监考教师，请坐在原位耐心等待。", kInformationBox, "请耐心等待");
}

void OnInfoCorrectClicked() {
  // Returns once the exam window has been closed.
  LoadWindow(ExamWindow::number, kNoParent, true);
  WriteProperty(W::number, W::开始考试按钮, kPropertyDisabled, BoolValue(false));
  WriteProperty(W::number, W::按钮2, kPropertyDisabled, BoolValue(true));
  WriteProperty(W::number, W::按钮1, kPropertyDisabled, BoolValue(true));
}
