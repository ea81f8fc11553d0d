// The keyboard rules: the pure decision and tab-order steps as tables of
// cases, then the same rules on live windows (test descriptions for the
// default-button and Enter-moves-focus cases, the real login window's
// controls for its own cycle), and where the focus goes on activation.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "layer/LayerFixture.h"
#include "layer/LoginCopy.h"
#include "screens/Screens.h"
#include "ui/Keyboard.h"
#include "ui/Layer.h"

namespace {

using namespace layertest;

// --- the decision ------------------------------------------------------------------

const char* Name(KeyAction action) {
  switch (action) {
    case KeyAction::PassOn: return "PassOn";
    case KeyAction::FocusNext: return "FocusNext";
    case KeyAction::FocusPrevious: return "FocusPrevious";
    case KeyAction::ClickFocused: return "ClickFocused";
    case KeyAction::ClickFirstDefault: return "ClickFirstDefault";
    case KeyAction::CloseWindow: return "CloseWindow";
  }
  return "?";
}

TEST(DecideKeyActionTest, FollowsTheTabEnterAndEscRules) {
  struct Case {
    const char* what;
    KeyInput input;
    KeyAction expected;
  };
  constexpr UINT kDown = WM_KEYDOWN;
  const Case cases[] = {
      {"Tab", {.message = kDown, .key = VK_TAB}, KeyAction::FocusNext},
      {"Shift+Tab", {.message = kDown, .key = VK_TAB, .shift = true}, KeyAction::FocusPrevious},
      {"Ctrl+Tab", {.message = kDown, .key = VK_TAB, .ctrl = true}, KeyAction::PassOn},
      {"Alt+Tab", {.message = kDown, .key = VK_TAB, .alt = true}, KeyAction::PassOn},
      {"Ctrl+Shift+Tab", {.message = kDown, .key = VK_TAB, .ctrl = true, .shift = true},
       KeyAction::PassOn},
      {"Tab released", {.message = WM_KEYUP, .key = VK_TAB}, KeyAction::PassOn},
      {"Tab character", {.message = WM_CHAR, .key = '\t'}, KeyAction::PassOn},
      {"Tab as system key", {.message = WM_SYSKEYDOWN, .key = VK_TAB, .alt = true},
       KeyAction::PassOn},
      {"Tab, disabled window", {.message = kDown, .key = VK_TAB, .windowEnabled = false},
       KeyAction::PassOn},
      {"Tab, focus wants it", {.message = kDown, .key = VK_TAB, .focusWantsKey = true},
       KeyAction::PassOn},
      {"not a key message", {.message = WM_LBUTTONDOWN, .key = VK_TAB}, KeyAction::PassOn},

      {"Enter, nothing to do", {.message = kDown, .key = VK_RETURN}, KeyAction::PassOn},
      {"Enter on the focused default button",
       {.message = kDown, .key = VK_RETURN, .focusIsEnabledDefaultButton = true,
        .hasEnabledDefaultButton = true, .enterMovesFocus = true},
       KeyAction::ClickFocused},
      {"Enter moves the focus",
       {.message = kDown, .key = VK_RETURN, .hasEnabledDefaultButton = true,
        .enterMovesFocus = true},
       KeyAction::FocusNext},
      {"Enter with a default button elsewhere",
       {.message = kDown, .key = VK_RETURN, .hasEnabledDefaultButton = true},
       KeyAction::ClickFirstDefault},
      {"Shift+Enter", {.message = kDown, .key = VK_RETURN, .shift = true,
                       .hasEnabledDefaultButton = true},
       KeyAction::PassOn},
      {"Ctrl+Enter", {.message = kDown, .key = VK_RETURN, .ctrl = true,
                      .focusIsEnabledDefaultButton = true, .hasEnabledDefaultButton = true},
       KeyAction::PassOn},
      {"Alt+Enter", {.message = kDown, .key = VK_RETURN, .alt = true,
                     .enterMovesFocus = true},
       KeyAction::PassOn},
      {"Enter the focus wants (multi-line box)",
       {.message = kDown, .key = VK_RETURN, .focusWantsKey = true,
        .hasEnabledDefaultButton = true, .enterMovesFocus = true},
       KeyAction::PassOn},
      {"Enter, disabled window",
       {.message = kDown, .key = VK_RETURN, .windowEnabled = false,
        .hasEnabledDefaultButton = true},
       KeyAction::PassOn},
      {"Enter released", {.message = WM_KEYUP, .key = VK_RETURN,
                          .focusIsEnabledDefaultButton = true, .hasEnabledDefaultButton = true},
       KeyAction::PassOn},

      {"Esc where it closes", {.message = kDown, .key = VK_ESCAPE, .escCloses = true},
       KeyAction::CloseWindow},
      {"Esc elsewhere", {.message = kDown, .key = VK_ESCAPE}, KeyAction::PassOn},
      {"Shift+Esc", {.message = kDown, .key = VK_ESCAPE, .shift = true, .escCloses = true},
       KeyAction::PassOn},
      {"Ctrl+Esc", {.message = kDown, .key = VK_ESCAPE, .ctrl = true, .escCloses = true},
       KeyAction::PassOn},
      {"Esc, disabled window",
       {.message = kDown, .key = VK_ESCAPE, .windowEnabled = false, .escCloses = true},
       KeyAction::PassOn},
      {"Esc the focus wants", {.message = kDown, .key = VK_ESCAPE, .focusWantsKey = true,
                               .escCloses = true},
       KeyAction::PassOn},

      {"another key", {.message = kDown, .key = VK_SPACE, .focusIsEnabledDefaultButton = true,
                       .hasEnabledDefaultButton = true, .enterMovesFocus = true,
                       .escCloses = true},
       KeyAction::PassOn},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(Name(DecideKeyAction(c.input)), Name(c.expected)) << c.what;
  }
}

// --- the tab order -------------------------------------------------------------------

TEST(TabStopTest, StepsInTabOrderOverEligibleControlsAndWraps) {
  // Index 0 is the window itself. Description order is not tab order; the
  // control at index 3 (tab order 1) is not eligible, e.g. disabled.
  const TabStop stops[] = {{0, false}, {2, true}, {0, true}, {1, false}, {5, true}, {3, true}};
  EXPECT_EQ(FirstTabStop(stops), 2);

  struct Case {
    int from;
    bool forward;
    int to;
  };
  const Case cases[] = {
      {2, true, 1},  {1, true, 5},  {5, true, 4},  {4, true, 2},   // and round again
      {2, false, 4}, {4, false, 5}, {5, false, 1}, {1, false, 2},
      // From a control that is not eligible itself: its place in the order counts.
      {3, true, 1},  {3, false, 2},
      // From none of them: the first, or backwards the last.
      {-1, true, 2}, {-1, false, 4}, {99, true, 2}, {0, true, 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NextTabStop(stops, c.from, c.forward), c.to)
        << "from " << c.from << (c.forward ? " forward" : " backward");
  }
}

TEST(TabStopTest, NoneOrOneEligible) {
  const TabStop none[] = {{0, false}, {1, false}, {2, false}};
  EXPECT_EQ(FirstTabStop(none), -1);
  EXPECT_EQ(NextTabStop(none, 1, true), -1);
  EXPECT_EQ(NextTabStop(none, -1, false), -1);
  EXPECT_EQ(FirstTabStop(std::span<const TabStop>{}), -1);
  EXPECT_EQ(NextTabStop(std::span<const TabStop>{}, -1, true), -1);

  const TabStop one[] = {{0, false}, {4, false}, {7, true}};
  EXPECT_EQ(FirstTabStop(one), 2);
  EXPECT_EQ(NextTabStop(one, 2, true), 2);
  EXPECT_EQ(NextTabStop(one, 2, false), 2);
  EXPECT_EQ(NextTabStop(one, 1, false), 2);
}

// --- live windows ----------------------------------------------------------------------

std::vector<std::string> clicks;

constexpr WindowNumber kK = 5001;
constexpr ControlNumber kKSelf = 5000;
constexpr ControlNumber kKEdit = 5011;
constexpr ControlNumber kKDefault1 = 5012;
constexpr ControlNumber kKDefault2 = 5013;
constexpr ControlNumber kKPlain = 5014;
constexpr ControlNumber kKHiddenEdit = 5015;

constexpr EventBinding kDefault1Events[] = {{kEventClicked, [] { clicks.push_back("D1"); }}};
constexpr EventBinding kDefault2Events[] = {{kEventClicked, [] { clicks.push_back("D2"); }}};
constexpr EventBinding kPlainEvents[] = {{kEventClicked, [] { clicks.push_back("P"); }}};

// Default buttons, Enter does not move the focus, Esc does not close.
constexpr ControlDescription kKControls[] = {
    {.kind = ControlKind::Window, .number = kKSelf, .name = "K", .left = 20, .top = 20,
     .width = 400, .height = 200, .text = "键"},
    {.kind = ControlKind::EditBox, .number = kKEdit, .name = "edit", .parent = kKSelf,
     .left = 10, .top = 10, .width = 120, .height = 20, .tabStop = true, .tabOrder = 0},
    {.kind = ControlKind::Button, .number = kKDefault1, .name = "d1", .parent = kKSelf,
     .left = 10, .top = 40, .width = 80, .height = 24, .text = "一", .tabStop = true,
     .tabOrder = 1, .defaultButton = true, .events = kDefault1Events},
    {.kind = ControlKind::Button, .number = kKDefault2, .name = "d2", .parent = kKSelf,
     .left = 100, .top = 40, .width = 80, .height = 24, .text = "二", .tabStop = true,
     .tabOrder = 2, .defaultButton = true, .events = kDefault2Events},
    {.kind = ControlKind::Button, .number = kKPlain, .name = "plain", .parent = kKSelf,
     .left = 190, .top = 40, .width = 80, .height = 24, .text = "三", .tabStop = true,
     .tabOrder = 3, .events = kPlainEvents},
    {.kind = ControlKind::EditBox, .number = kKHiddenEdit, .name = "hidden", .parent = kKSelf,
     .left = 10, .top = 80, .width = 120, .height = 20, .visible = false, .tabStop = true,
     .tabOrder = 4},
};

constexpr WindowNumber kM = 5101;
constexpr ControlNumber kMSelf = 5100;
constexpr ControlNumber kMEdit1 = 5111;
constexpr ControlNumber kMEdit2 = 5112;
constexpr ControlNumber kMDefault = 5113;
constexpr EventBinding kMDefaultEvents[] = {{kEventClicked, [] { clicks.push_back("MD"); }}};

// Enter moves the focus, Esc closes.
constexpr ControlDescription kMControls[] = {
    {.kind = ControlKind::Window, .number = kMSelf, .name = "M", .left = 440, .top = 20,
     .width = 400, .height = 200, .text = "移"},
    {.kind = ControlKind::EditBox, .number = kMEdit1, .name = "e1", .parent = kMSelf,
     .left = 10, .top = 10, .width = 120, .height = 20, .tabStop = true, .tabOrder = 0},
    {.kind = ControlKind::EditBox, .number = kMEdit2, .name = "e2", .parent = kMSelf,
     .left = 10, .top = 40, .width = 120, .height = 20, .tabStop = true, .tabOrder = 1},
    {.kind = ControlKind::Button, .number = kMDefault, .name = "d", .parent = kMSelf,
     .left = 10, .top = 70, .width = 80, .height = 24, .text = "定", .tabStop = true,
     .tabOrder = 2, .defaultButton = true, .events = kMDefaultEvents},
};

constexpr WindowDescription kKDescription = {
    .number = kK, .settings = {.centred = false}, .controls = kKControls};
constexpr WindowDescription kMDescription = {
    .number = kM,
    .settings = {.centred = false, .escCloses = true, .enterMovesFocus = true},
    .controls = kMControls};
constexpr const WindowDescription* kTable[] = {&kKDescription, &kMDescription};

class KeyboardTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    clicks.clear();
    Install(kTable);
  }

  // Gives the control the focus and presses the key there.
  static void PressIn(WindowNumber window, ControlNumber control, UINT key, bool shift = false) {
    HWND target = ControlOf(window, control);
    SetFocus(target);
    ASSERT_EQ(GetFocus(), target);
    PressKey(target, key, shift);
  }
};

TEST_F(KeyboardTest, EnterClicksTheFocusedDefaultButtonElseTheFirstEnabledOne) {
  Load(kK);
  struct Case {
    ControlNumber focus;
    bool firstDefaultDisabled;
    const char* clicked;
  };
  const Case cases[] = {
      {kKDefault2, false, "D2"},  // the focused one, though not the first
      {kKEdit, false, "D1"},
      {kKPlain, false, "D1"},
      {kKEdit, true, "D2"},       // the first enabled one
      {kKDefault2, true, "D2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.focus) + (c.firstDefaultDisabled ? ", D1 disabled" : ""));
    WriteProperty(kK, kKDefault1, kPropertyDisabled, BoolValue(c.firstDefaultDisabled));
    clicks.clear();
    PressIn(kK, c.focus, VK_RETURN);
    EXPECT_EQ(clicks, std::vector<std::string>{c.clicked});
    EXPECT_EQ(GetFocus(), ControlOf(kK, c.focus)) << "Enter moved the focus";
  }
  // With a modifier it is not the Enter rule.
  WriteProperty(kK, kKDefault1, kPropertyDisabled, BoolValue(false));
  clicks.clear();
  PressIn(kK, kKEdit, VK_RETURN, true);
  EXPECT_TRUE(clicks.empty());
}

TEST_F(KeyboardTest, EnterMovesTheFocusWhereTheDescriptionSaysSo) {
  Load(kM);
  PressIn(kM, kMEdit1, VK_RETURN);
  EXPECT_EQ(GetFocus(), ControlOf(kM, kMEdit2));
  PressKey(GetFocus(), VK_RETURN);
  EXPECT_EQ(GetFocus(), ControlOf(kM, kMDefault));
  EXPECT_TRUE(clicks.empty()) << "moving the focus clicked a button";
  // On the focused default button Enter clicks it rather than moving on.
  PressKey(GetFocus(), VK_RETURN);
  EXPECT_EQ(clicks, std::vector<std::string>{"MD"});
  EXPECT_EQ(GetFocus(), ControlOf(kM, kMDefault));
}

TEST_F(KeyboardTest, TabSkipsHiddenAndDisabledControls) {
  Load(kK);
  WriteProperty(kK, kKDefault2, kPropertyDisabled, BoolValue(true));
  const ControlNumber forward[] = {kKDefault1, kKPlain, kKEdit};
  PressIn(kK, kKEdit, VK_TAB);
  for (ControlNumber expected : forward) {
    EXPECT_EQ(GetFocus(), ControlOf(kK, expected)) << expected;
    PressKey(GetFocus(), VK_TAB);
  }
  SetFocus(ControlOf(kK, kKEdit));
  const ControlNumber backward[] = {kKPlain, kKDefault1, kKEdit};
  for (ControlNumber expected : backward) {
    PressKey(GetFocus(), VK_TAB, true);
    EXPECT_EQ(GetFocus(), ControlOf(kK, expected)) << expected;
  }
  EXPECT_TRUE(clicks.empty());
}

// A control that asks for every key, as a multi-line box asks for Enter.
LRESULT CALLBACK WantsAllKeys(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto original = reinterpret_cast<WNDPROC>(GetPropA(window, "original"));
  if (message == WM_GETDLGCODE) return DLGC_WANTALLKEYS;
  return CallWindowProcA(original, window, message, wParam, lParam);
}

TEST_F(KeyboardTest, KeysTheFocusedControlAsksForGoToIt) {
  Load(kK);
  HWND edit = ControlOf(kK, kKEdit);
  SetPropA(edit, "original", reinterpret_cast<HANDLE>(GetWindowLongPtrA(edit, GWLP_WNDPROC)));
  SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WantsAllKeys));
  PressIn(kK, kKEdit, VK_TAB);
  EXPECT_EQ(GetFocus(), edit);
  PressKey(edit, VK_RETURN);
  EXPECT_TRUE(clicks.empty());
  SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GetPropA(edit, "original")));
  RemovePropA(edit, "original");
}

TEST_F(KeyboardTest, EscClosesOnlyWhereTheDescriptionAllowsIt) {
  Load(kK);
  Load(kM);
  PressIn(kK, kKEdit, VK_ESCAPE);
  EXPECT_TRUE(Loaded(kK));

  PressIn(kM, kMEdit1, VK_ESCAPE, true);
  EXPECT_TRUE(Loaded(kM)) << "Shift+Esc closed it";
  // Keys for a disabled window are left alone.
  EnableWindow(WindowOf(kM), FALSE);
  PressKey(ControlOf(kM, kMEdit1), VK_ESCAPE);
  EXPECT_TRUE(Loaded(kM)) << "Esc closed a disabled window";
  EnableWindow(WindowOf(kM), TRUE);

  PressIn(kM, kMEdit1, VK_ESCAPE);
  EXPECT_FALSE(Loaded(kM));
  EXPECT_TRUE(Loaded(kK));
}

TEST_F(KeyboardTest, ActivationGivesTheFocusBackToWhereItWas) {
  Load(kK);
  EXPECT_EQ(GetFocus(), ControlOf(kK, kKEdit)) << "first show: lowest tab order";
  SetFocus(ControlOf(kK, kKPlain));
  Load(kM);
  ASSERT_EQ(GetActiveWindow(), WindowOf(kM));
  EXPECT_EQ(GetFocus(), ControlOf(kM, kMEdit1));
  SetFocus(ControlOf(kM, kMEdit2));

  Load(kK);  // already loaded: activates it
  ASSERT_EQ(GetActiveWindow(), WindowOf(kK));
  EXPECT_EQ(GetFocus(), ControlOf(kK, kKPlain));
  Load(kM);
  EXPECT_EQ(GetFocus(), ControlOf(kM, kMEdit2));

  // The control that had the focus cannot take it any more: the lowest tab
  // order that can.
  WriteProperty(kK, kKPlain, kPropertyDisabled, BoolValue(true));
  WriteProperty(kK, kKEdit, kPropertyVisible, BoolValue(false));
  Load(kK);
  EXPECT_EQ(GetFocus(), ControlOf(kK, kKDefault1));
}

// --- the real login window's controls ------------------------------------------------

int loginClicks = 0;
constexpr EventBinding kLoginButtonEvents[] = {{kEventClicked, [] { ++loginClicks; }}};
LoginCopy loginCopy(kLoginButtonEvents);

class LoginKeyboardTest : public LayerTest {
 protected:
  using W = LoginWindow;

  void SetUp() override {
    LayerTest::SetUp();
    loginClicks = 0;
    Install(loginCopy.Table());
    Load(W::number);
    ASSERT_EQ(GetFocus(), ControlOf(W::number, W::考生号输入框));
  }

  static HWND Control(ControlNumber control) { return ControlOf(W::number, control); }
};

TEST_F(LoginKeyboardTest, TabCyclesThroughTheTwoBoxesAndTheButton) {
  const ControlNumber forward[] = {W::身份证号输入框, W::登录按钮, W::考生号输入框};
  for (ControlNumber expected : forward) {
    PressKey(GetFocus(), VK_TAB);
    EXPECT_EQ(GetFocus(), Control(expected)) << expected;
  }
  const ControlNumber backward[] = {W::登录按钮, W::身份证号输入框, W::考生号输入框};
  for (ControlNumber expected : backward) {
    PressKey(GetFocus(), VK_TAB, true);
    EXPECT_EQ(GetFocus(), Control(expected)) << expected;
  }

  WriteProperty(W::number, W::登录按钮, kPropertyDisabled, BoolValue(true));
  PressKey(GetFocus(), VK_TAB);
  EXPECT_EQ(GetFocus(), Control(W::身份证号输入框));
  PressKey(GetFocus(), VK_TAB);
  EXPECT_EQ(GetFocus(), Control(W::考生号输入框)) << "the disabled button took the focus";
  PressKey(GetFocus(), VK_TAB, true);
  EXPECT_EQ(GetFocus(), Control(W::身份证号输入框));
  EXPECT_EQ(loginClicks, 0);
}

TEST_F(LoginKeyboardTest, EnterDoesNothing) {
  for (ControlNumber focus : {W::考生号输入框, W::身份证号输入框, W::登录按钮}) {
    SetFocus(Control(focus));
    PressKey(GetFocus(), VK_RETURN);
    EXPECT_EQ(GetFocus(), Control(focus)) << focus;
  }
  EXPECT_EQ(loginClicks, 0);
  EXPECT_TRUE(Loaded(W::number));
  // The button itself still answers a click.
  SendMessageA(Control(W::登录按钮), BM_CLICK, 0, 0);
  EXPECT_EQ(loginClicks, 1);
}

TEST_F(LoginKeyboardTest, EscAndAltF4CloseTheWindow) {
  PressKey(Control(W::身份证号输入框), VK_ESCAPE);
  EXPECT_FALSE(Loaded(W::number)) << "Esc";

  Load(W::number);
  // Alt+F4 as the keyboard delivers it: a system key with the context bit.
  const LPARAM altDown = 1 | (LPARAM{1} << 29);
  PostMessageA(Control(W::考生号输入框), WM_SYSKEYDOWN, VK_F4, altDown);
  PumpPending();
  EXPECT_FALSE(Loaded(W::number)) << "Alt+F4";
}

}  // namespace
