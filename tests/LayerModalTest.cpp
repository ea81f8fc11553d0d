// Fully modal windows and the end of the main loop, in-process: the nested
// loop blocks until its window is destroyed, other windows are disabled and
// given back their state (nested two deep), an invisible modal window runs
// its loop only when shown, WM_QUIT ends a nested loop and reaches the outer
// one, and the main loop ends with the last loaded window, not a hidden one.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/Shell.h"
#include "layer/LayerFixture.h"
#include "ui/Layer.h"

namespace {

using namespace layertest;

constexpr WindowNumber kMain = 3001;
constexpr ControlNumber kMainSelf = 3000;
constexpr WindowNumber kOther = 3101;
constexpr ControlNumber kOtherSelf = 3100;
constexpr WindowNumber kOuter = 3201;
constexpr ControlNumber kOuterSelf = 3200;
constexpr ControlNumber kOpenInner = 3211;
constexpr WindowNumber kInner = 3301;
constexpr WindowNumber kInvisible = 3401;
constexpr ControlNumber kInvisibleSelf = 3400;
constexpr WindowNumber kSelfClosing = 3501;

int outerCreated = 0;
int innerCreated = 0;
int mainClicks = 0;

// What the outer modal window's button saw once its own nested load returned.
struct AfterInner {
  bool ran = false;
  bool loadResult = false;
  bool outerEnabled = false;
  bool mainEnabled = true;
  bool otherEnabled = true;
  WindowNumber modalWindow = 0;
};
AfterInner afterInner;

HWND Hwnd(WindowNumber window) {
  WindowEntry* entry = FindWindowEntry(window);
  return entry && IsLoaded(*entry) ? entry->hwnd : nullptr;
}

void OnOpenInnerClicked() {
  afterInner.loadResult = LoadWindow(kInner, kNoParent, true);
  afterInner.ran = true;
  afterInner.outerEnabled = IsWindowEnabled(Hwnd(kOuter)) != FALSE;
  afterInner.mainEnabled = IsWindowEnabled(Hwnd(kMain)) != FALSE;
  afterInner.otherEnabled = IsWindowEnabled(Hwnd(kOther)) != FALSE;
  afterInner.modalWindow = Shell().modalWindow;
}

void OnSelfClosingCreated() { SendMessageA(Hwnd(kSelfClosing), WM_CLOSE, 0, 0); }

constexpr ControlNumber kMainButton = 3011;
constexpr EventBinding kMainButtonEvents[] = {{.event = kEventClicked, .handler = [] { ++mainClicks; }}};
constexpr ControlDescription kMainControls[] = {
    {.kind = ControlKind::Window, .number = kMainSelf, .name = "Main", .left = 20, .top = 20,
     .width = 300, .height = 200, .text = "主"},
    {.kind = ControlKind::Button, .number = kMainButton, .name = "button", .parent = kMainSelf,
     .left = 10, .top = 10, .width = 80, .height = 24, .text = "主钮", .tabStop = true,
     .tabOrder = 0, .events = kMainButtonEvents},
};
constexpr ControlDescription kOtherControls[] = {
    {.kind = ControlKind::Window, .number = kOtherSelf, .name = "Other", .left = 340,
     .top = 20, .width = 300, .height = 200, .text = "另"},
};
constexpr EventBinding kOuterEvents[] = {{.event = kEventCreated, .handler = [] { ++outerCreated; }}};
constexpr EventBinding kOpenInnerEvents[] = {{.event = kEventClicked, .handler = OnOpenInnerClicked}};
constexpr ControlDescription kOuterControls[] = {
    {.kind = ControlKind::Window, .number = kOuterSelf, .name = "Outer", .width = 300,
     .height = 200, .text = "外", .events = kOuterEvents},
    {.kind = ControlKind::Button, .number = kOpenInner, .name = "open", .parent = kOuterSelf,
     .left = 10, .top = 10, .width = 80, .height = 24, .text = "开", .tabStop = true,
     .tabOrder = 0, .events = kOpenInnerEvents},
};
constexpr EventBinding kInnerEvents[] = {{.event = kEventCreated, .handler = [] { ++innerCreated; }}};
constexpr ControlDescription kInnerControls[] = {
    {.kind = ControlKind::Window, .number = 3300, .name = "Inner", .width = 200, .height = 100,
     .text = "内", .events = kInnerEvents},
};
constexpr ControlDescription kInvisibleControls[] = {
    {.kind = ControlKind::Window, .number = kInvisibleSelf, .name = "Invisible", .width = 200,
     .height = 100, .visible = false},
};
constexpr EventBinding kSelfClosingEvents[] = {
    {.event = kEventCreated, .handler = OnSelfClosingCreated}};
constexpr ControlDescription kSelfClosingControls[] = {
    {.kind = ControlKind::Window, .number = 3500, .name = "SelfClosing", .width = 200,
     .height = 100, .events = kSelfClosingEvents},
};

constexpr WindowDescription kMainDescription = {
    .number = kMain, .settings = {.centred = false}, .controls = kMainControls};
constexpr WindowDescription kOtherDescription = {
    .number = kOther, .settings = {.centred = false}, .controls = kOtherControls};
constexpr WindowDescription kOuterDescription = {.number = kOuter, .controls = kOuterControls};
constexpr WindowDescription kInnerDescription = {.number = kInner, .controls = kInnerControls};
constexpr WindowDescription kInvisibleDescription = {.number = kInvisible,
                                                     .controls = kInvisibleControls};
constexpr WindowDescription kSelfClosingDescription = {.number = kSelfClosing,
                                                       .controls = kSelfClosingControls};

constexpr const WindowDescription* kTable[] = {
    &kMainDescription,  &kOtherDescription,     &kOuterDescription,
    &kInnerDescription, &kInvisibleDescription, &kSelfClosingDescription,
};

class ModalTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    outerCreated = innerCreated = mainClicks = 0;
    afterInner = {};
    Install(kTable);
  }
};

TEST_F(ModalTest, FullyModalLoadBlocksUntilItsWindowIsDestroyed) {
  Load(kMain);
  Watchdog watchdog(10000);
  bool inLoop = false;
  Post([&] {
    inLoop = true;
    HWND outer = WindowOf(kOuter);
    ASSERT_NE(outer, nullptr);
    EXPECT_TRUE(IsWindowVisible(outer));
    EXPECT_TRUE(IsWindowEnabled(outer));
    EXPECT_FALSE(IsWindowEnabled(WindowOf(kMain)));
    EXPECT_TRUE(ReadBool(kMain, kMainSelf, kPropertyDisabled));
    EXPECT_EQ(Shell().modalWindow, kOuter);
    // Owned by the hidden owner: no taskbar button of its own.
    EXPECT_EQ(GetWindow(outer, GW_OWNER), Shell().hiddenOwner);
    // Loading it again only activates it: no second loop, no second creation.
    EXPECT_TRUE(LoadWindow(kOuter, kNoParent, true));
    EXPECT_EQ(outerCreated, 1);
    // The disabled window gets no input, but its notifications still reach
    // its handlers through this loop.
    HWND button = ControlOf(kMain, kMainButton);
    PostMessageA(WindowOf(kMain), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
    PostMessageA(outer, WM_CLOSE, 0, 0);
  });
  EXPECT_TRUE(LoadWindow(kOuter, kNoParent, true));
  EXPECT_TRUE(inLoop) << "returned before its loop ran";
  EXPECT_EQ(mainClicks, 1);
  EXPECT_FALSE(Loaded(kOuter));
  EXPECT_TRUE(IsWindowEnabled(WindowOf(kMain)));
  EXPECT_EQ(Shell().modalWindow, 0u);
  // The others were enabled before the window went, so one of them took over.
  EXPECT_EQ(GetActiveWindow(), WindowOf(kMain));
  EXPECT_FALSE(watchdog.Fired());
}

TEST_F(ModalTest, NestedModalWindowsGiveBackTheStateEachFound) {
  Load(kMain);
  Load(kOther);
  WriteProperty(kOther, kOtherSelf, kPropertyDisabled, BoolValue(true));
  Watchdog watchdog(10000);
  bool innerLoopRan = false;
  Post([&] {
    EXPECT_FALSE(IsWindowEnabled(WindowOf(kMain)));
    EXPECT_FALSE(IsWindowEnabled(WindowOf(kOther)));
    EXPECT_TRUE(IsWindowEnabled(WindowOf(kOuter)));
    // A real click of the outer window's button; its handler opens the inner one.
    PostMessageA(ControlOf(kOuter, kOpenInner), BM_CLICK, 0, 0);
    Post([&] {
      innerLoopRan = true;
      EXPECT_EQ(Shell().modalWindow, kInner);
      EXPECT_TRUE(IsWindowEnabled(WindowOf(kInner)));
      EXPECT_FALSE(IsWindowEnabled(WindowOf(kOuter)));
      EXPECT_FALSE(IsWindowEnabled(WindowOf(kMain)));
      EXPECT_FALSE(IsWindowEnabled(WindowOf(kOther)));
      PostMessageA(WindowOf(kInner), WM_CLOSE, 0, 0);
      // Queued behind the close, so it runs in the outer loop again.
      Post([] { PostMessageA(Hwnd(kOuter), WM_CLOSE, 0, 0); });
    });
  });
  EXPECT_TRUE(LoadWindow(kOuter, kNoParent, true));

  EXPECT_TRUE(innerLoopRan);
  ASSERT_TRUE(afterInner.ran) << "the button's handler did not run";
  EXPECT_TRUE(afterInner.loadResult);
  EXPECT_EQ(innerCreated, 1);
  EXPECT_TRUE(afterInner.outerEnabled);
  EXPECT_FALSE(afterInner.mainEnabled) << "enabled while the outer window was still open";
  EXPECT_FALSE(afterInner.otherEnabled);
  EXPECT_EQ(afterInner.modalWindow, kOuter);

  EXPECT_FALSE(Loaded(kOuter));
  EXPECT_FALSE(Loaded(kInner));
  EXPECT_TRUE(IsWindowEnabled(WindowOf(kMain)));
  EXPECT_FALSE(IsWindowEnabled(WindowOf(kOther))) << "was disabled before any modal window";
  EXPECT_EQ(Shell().modalWindow, 0u);
  EXPECT_FALSE(watchdog.Fired());
}

TEST_F(ModalTest, InvisibleFullyModalWindowRunsItsLoopWhenFirstShown) {
  Load(kMain);
  {
    Watchdog watchdog(5000);
    EXPECT_TRUE(LoadWindow(kInvisible, kNoParent, true));
    EXPECT_FALSE(watchdog.Fired()) << "the load blocked";
  }
  ASSERT_TRUE(Loaded(kInvisible));
  EXPECT_FALSE(IsWindowVisible(WindowOf(kInvisible)));
  EXPECT_FALSE(IsWindowEnabled(WindowOf(kMain)));
  EXPECT_EQ(Shell().modalWindow, 0u);

  Watchdog watchdog(10000);
  bool inLoop = false;
  Post([&] {
    inLoop = true;
    EXPECT_TRUE(IsWindowVisible(WindowOf(kInvisible)));
    EXPECT_EQ(Shell().modalWindow, kInvisible);
    EXPECT_FALSE(IsWindowEnabled(WindowOf(kMain)));
    PostMessageA(WindowOf(kInvisible), WM_CLOSE, 0, 0);
  });
  WriteProperty(kInvisible, kInvisibleSelf, kPropertyVisible, BoolValue(true));
  EXPECT_TRUE(inLoop) << "the show did not run the nested loop";
  EXPECT_FALSE(Loaded(kInvisible));
  EXPECT_TRUE(IsWindowEnabled(WindowOf(kMain)));
  EXPECT_FALSE(watchdog.Fired());
}

TEST_F(ModalTest, HidingAFullyModalWindowDoesNotEndItsLoop) {
  Load(kMain);
  Watchdog watchdog(10000);
  bool stillInLoop = false;
  Post([&] {
    WriteProperty(kOuter, kOuterSelf, kPropertyVisible, BoolValue(false));
    After(100, [&] {
      stillInLoop = Shell().modalWindow == kOuter;
      EXPECT_FALSE(IsWindowVisible(WindowOf(kOuter)));
      EXPECT_FALSE(IsWindowEnabled(WindowOf(kMain)));
      PostMessageA(WindowOf(kOuter), WM_CLOSE, 0, 0);
    });
  });
  EXPECT_TRUE(LoadWindow(kOuter, kNoParent, true));
  EXPECT_TRUE(stillInLoop) << "the load returned when the window was hidden";
  EXPECT_FALSE(Loaded(kOuter));
  EXPECT_TRUE(IsWindowEnabled(WindowOf(kMain)));
  EXPECT_FALSE(watchdog.Fired());
}

TEST_F(ModalTest, QuitEndsTheNestedLoopAndStaysInTheQueue) {
  Load(kMain);
  Watchdog watchdog(10000);
  Post([] { PostQuitMessage(7); });
  EXPECT_TRUE(LoadWindow(kOuter, kNoParent, true));
  EXPECT_FALSE(watchdog.Fired());
  EXPECT_TRUE(Loaded(kOuter)) << "the loop ended without the quit";
  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(message.wParam, 7u);
}

TEST_F(ModalTest, QuitDuringANestedLoopEndsTheMainLoopToo) {
  Load(kMain);
  bool loadReturned = false;
  bool outerStillLoaded = false;
  Post([&] {
    Post([] { PostQuitMessage(0); });
    loadReturned = LoadWindow(kOuter, kNoParent, true);
    outerStillLoaded = Loaded(kOuter);
  });
  Watchdog watchdog(10000);
  RunEventLoop();
  EXPECT_FALSE(watchdog.Fired());
  EXPECT_TRUE(loadReturned);
  EXPECT_TRUE(outerStillLoaded);
}

// --- the main loop ------------------------------------------------------------------

TEST_F(ModalTest, MainLoopReturnsAtOnceWithoutALoadedWindow) {
  Watchdog watchdog(3000);
  RunEventLoop();
  EXPECT_FALSE(watchdog.Fired());
  EXPECT_TRUE(Shell().mainLoopStarted);
}

TEST_F(ModalTest, WindowClosedByItsOwnCreationHandlerLeavesNothingForTheMainLoop) {
  EXPECT_TRUE(LoadWindow(kSelfClosing, kNoParent, false));
  EXPECT_FALSE(Loaded(kSelfClosing));
  Watchdog watchdog(3000);
  RunEventLoop();
  EXPECT_FALSE(watchdog.Fired());
}

TEST_F(ModalTest, MainLoopEndsWithTheLastLoadedWindowNotWithTheLastVisibleOne) {
  for (bool hideMain : {false, true}) {
    SCOPED_TRACE(hideMain ? "main window hidden" : "main window shown");
    Load(kMain);
    if (hideMain) WriteProperty(kMain, kMainSelf, kPropertyVisible, BoolValue(false));
    Load(kOther);
    PostMessageA(WindowOf(kOther), WM_CLOSE, 0, 0);
    // A timer comes after any WM_QUIT, so this runs only if the loop went on.
    bool loopWentOn = false;
    After(150, [&] {
      loopWentOn = true;
      EXPECT_FALSE(Loaded(kOther));
      EXPECT_TRUE(Loaded(kMain));
      PostMessageA(WindowOf(kMain), WM_CLOSE, 0, 0);
    });
    Watchdog watchdog(10000);
    RunEventLoop();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(loopWentOn);
    EXPECT_FALSE(AnyWindowLoaded());
    Shell().mainLoopStarted = false;
  }
}

}  // namespace
