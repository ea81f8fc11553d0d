// Properties of live controls and message boxes, in-process: texts read as
// fresh copies or the absent text, the absent caption, reads that follow the
// live window, and the style, title and result mapping of message boxes.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/Memory.h"
#include "layer/LayerFixture.h"
#include "support/WindowProbe.h"
#include "ui/Layer.h"

namespace {

using namespace layertest;

constexpr WindowNumber kP = 4001;
constexpr ControlNumber kPSelf = 4000;
constexpr ControlNumber kLabel = 4011;
constexpr ControlNumber kEmptyEdit = 4012;
constexpr ControlNumber kFilledEdit = 4013;
constexpr ControlNumber kButton = 4014;

constexpr ControlDescription kPControls[] = {
    {.kind = ControlKind::Window, .number = kPSelf, .name = "P", .width = 300, .height = 200,
     .text = "属性"},
    {.kind = ControlKind::Label, .number = kLabel, .name = "label", .parent = kPSelf,
     .left = 10, .top = 10, .width = 120, .height = 16, .text = "标签"},
    {.kind = ControlKind::EditBox, .number = kEmptyEdit, .name = "empty", .parent = kPSelf,
     .left = 10, .top = 40, .width = 120, .height = 20, .tabStop = true, .tabOrder = 0},
    {.kind = ControlKind::EditBox, .number = kFilledEdit, .name = "filled", .parent = kPSelf,
     .left = 10, .top = 70, .width = 120, .height = 20, .text = "内容", .tabStop = true,
     .tabOrder = 1},
    {.kind = ControlKind::Button, .number = kButton, .name = "button", .parent = kPSelf,
     .left = 10, .top = 100, .width = 80, .height = 24, .text = "按钮", .tabStop = true,
     .tabOrder = 2},
};
constexpr WindowDescription kPDescription = {.number = kP, .controls = kPControls};
constexpr const WindowDescription* kTable[] = {&kPDescription};

class PropertyTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    Install(kTable);
    Load(kP);
  }
};

TEST_F(PropertyTest, EditBoxContentIsAFreshTextOrTheAbsentText) {
  EXPECT_EQ(ReadProperty(kP, kEmptyEdit, kPropertyText).text, nullptr);

  PropertyValue first = ReadProperty(kP, kFilledEdit, kPropertyText);
  PropertyValue second = ReadProperty(kP, kFilledEdit, kPropertyText);
  ASSERT_NE(first.text, nullptr);
  ASSERT_NE(second.text, nullptr);
  EXPECT_STREQ(first.text, "内容");
  EXPECT_NE(first.text, second.text) << "not a fresh copy";
  EXPECT_FALSE(IsConstantData(first.text));
  FreeMemory(first.text);
  FreeMemory(second.text);

  // What the user typed is what is read, and emptying it gives the absent text.
  SetWindowTextA(ControlOf(kP, kEmptyEdit), "12345");
  EXPECT_EQ(ReadText(kP, kEmptyEdit), "12345");
  WriteProperty(kP, kFilledEdit, kPropertyText, TextValue(nullptr));
  EXPECT_EQ(WindowTextOf(ControlOf(kP, kFilledEdit)), "");
  EXPECT_EQ(ReadProperty(kP, kFilledEdit, kPropertyText).text, nullptr);
}

TEST_F(PropertyTest, LabelCaptionWrittenAsTheAbsentTextShowsAnEmptyLabel) {
  HWND label = ControlOf(kP, kLabel);
  UpdateWindow(WindowOf(kP));
  PumpPending();
  RECT update{};
  ASSERT_FALSE(GetUpdateRect(label, &update, FALSE));
  WriteProperty(kP, kLabel, kPropertyText, TextValue("新文字"));
  EXPECT_EQ(WindowTextOf(label), "新文字");
  EXPECT_EQ(ReadText(kP, kLabel), "新文字");
  // Painted again with the new text.
  EXPECT_TRUE(GetUpdateRect(label, &update, FALSE));

  WriteProperty(kP, kLabel, kPropertyText, TextValue(nullptr));
  EXPECT_EQ(WindowTextOf(label), "");
  EXPECT_EQ(GetWindowTextLengthA(label), 0);
  EXPECT_EQ(ReadProperty(kP, kLabel, kPropertyText).text, nullptr);
  PumpPending();
  EXPECT_TRUE(IsWindowVisible(label));
}

TEST_F(PropertyTest, VisibleAndDisabledFollowTheLiveWindows) {
  HWND button = ControlOf(kP, kButton);
  WriteProperty(kP, kButton, kPropertyDisabled, BoolValue(true));
  EXPECT_FALSE(IsWindowEnabled(button));
  // Any value other than 0 is true.
  WriteProperty(kP, kButton, kPropertyVisible, PropertyValue{-7, nullptr});
  EXPECT_TRUE(IsWindowVisible(button));
  WriteProperty(kP, kButton, kPropertyVisible, BoolValue(false));
  EXPECT_FALSE(IsWindowVisible(button));

  // Reads ask the windows, whoever changed them.
  EnableWindow(button, TRUE);
  ShowWindow(button, SW_SHOW);
  EXPECT_FALSE(ReadBool(kP, kButton, kPropertyDisabled));
  EXPECT_TRUE(ReadBool(kP, kButton, kPropertyVisible));
  // A control of a hidden window is not visible either.
  WriteProperty(kP, kPSelf, kPropertyVisible, BoolValue(false));
  EXPECT_FALSE(ReadBool(kP, kButton, kPropertyVisible));
}

// --- message boxes ----------------------------------------------------------------

TEST(MessageBoxStyleTest, AddsTaskModalUnlessSystemModal) {
  struct Case {
    std::int32_t style;
    UINT passed;
  };
  const Case cases[] = {
      {48, 8240},
      {64, 8256},
      {0, 0x2000},
      {MB_YESNO | MB_ICONQUESTION, 0x2024},
      {MB_SYSTEMMODAL, MB_SYSTEMMODAL},
      {MB_SYSTEMMODAL | MB_ICONERROR | MB_OKCANCEL, 0x1011},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessageBoxStyle(c.style), c.passed) << "style " << c.style;
  }
}

TEST(MessageBoxResultTest, MapsEachButtonAndAnythingElseToZero) {
  const int cases[][2] = {
      {IDOK, 0},    {IDCANCEL, 1}, {IDABORT, 2}, {IDRETRY, 3},    {IDIGNORE, 4},
      {IDYES, 5},   {IDNO, 6},     {0, 0},       {IDCLOSE, 0},    {IDHELP, 0},
      {IDTRYAGAIN, 0}, {IDCONTINUE, 0}, {-1, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(MapMessageBoxResult(c[0]), c[1]) << "result " << c[0];
}

BOOL CALLBACK RememberVisibleMessageBox(HWND window, LPARAM context) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof name);
  if (lstrcmpA(name, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
  *reinterpret_cast<HWND*>(context) = window;
  return FALSE;
}

HWND FindThreadMessageBox() {
  HWND found = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), RememberVisibleMessageBox,
                    reinterpret_cast<LPARAM>(&found));
  return found;
}

struct BoxSeen {
  bool found = false;
  std::string title;
  std::string text;
  bool windowEnabled = true;
  int buttons = 0;
};

// Looks at the box from inside its own loop, then presses the button.
void AnswerBoxWhenShown(BoxSeen& seen, int button, int triesLeft = 100) {
  After(20, [&seen, button, triesLeft] {
    HWND box = FindThreadMessageBox();
    if (!box) {
      if (triesLeft > 0) AnswerBoxWhenShown(seen, button, triesLeft - 1);
      return;
    }
    seen.found = true;
    seen.title = WindowTextOf(box);
    seen.text = support::MessageBoxText(box);
    seen.windowEnabled = IsWindowEnabled(FindWindowEntry(kP)->hwnd) != FALSE;
    seen.buttons = static_cast<int>(support::MessageBoxButtons(box).size());
    support::PressMessageBoxButton(box, button);
  });
}

TEST_F(PropertyTest, MessageBoxShowsTitleAndTextBlocksTheWindowsAndMapsTheAnswer) {
  struct Case {
    const char* text;
    std::int32_t style;
    const char* title;
    const char* shownTitle;
    int buttons;
    int press;
    int result;
  };
  const Case cases[] = {
      {"考生信息有误，请重新输入", 48, "登录失败", "登录失败", 1, IDOK, 0},
      {"已告知监考教师，请坐在原位耐心等待。", 64, "请耐心等待", "请耐心等待", 1, IDOK, 0},
      {"是否继续", MB_YESNO, nullptr, "信息：", 2, IDNO, 6},
      {"是否继续", MB_YESNOCANCEL, nullptr, "信息：", 3, IDCANCEL, 1},
      {"重试", MB_ABORTRETRYIGNORE, "标题", "标题", 3, IDRETRY, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Watchdog watchdog(10000);
    BoxSeen seen;
    AnswerBoxWhenShown(seen, c.press);
    int result = ShowMessageBox(c.text, c.style, c.title);
    ASSERT_TRUE(seen.found) << "no box appeared";
    EXPECT_EQ(seen.title, c.shownTitle);
    EXPECT_EQ(seen.text, c.text);
    EXPECT_EQ(seen.buttons, c.buttons);
    EXPECT_FALSE(seen.windowEnabled) << "task modal: the thread's windows are disabled";
    EXPECT_EQ(result, c.result);
    EXPECT_TRUE(IsWindowEnabled(WindowOf(kP)));
    EXPECT_FALSE(watchdog.Fired());
  }
}

}  // namespace
