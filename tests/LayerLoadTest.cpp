// Loading windows in-process: what runs during creation, the order of the
// creation event and the first show, reloading a loaded window, properties
// reverting when a window closes, hidden windows staying loaded, and that a
// load and close leaves no GDI object behind.
#include <windows.h>
#include <winternl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/Shell.h"
#include "layer/LayerFixture.h"
#include "screens/Screens.h"
#include "ui/Layer.h"

namespace {

using namespace layertest;

// --- window A: events of every kind, and controls whose states are written --

constexpr WindowNumber kA = 2001;
constexpr ControlNumber kASelf = 2000;
constexpr ControlNumber kFirstButton = 2011;
constexpr ControlNumber kSecondButton = 2012;
constexpr ControlNumber kShownLabel = 2013;
constexpr ControlNumber kHiddenLabel = 2014;
constexpr ControlNumber kEdit = 2015;
constexpr ControlNumber kPlainButton = 2017;

struct CreationSeen {
  int count = 0;
  bool windowVisible = true;
  bool visibleRead = true;
  std::int32_t holdCount = -1;
  bool allControlsExist = false;
  bool shownLabelHasVisibleStyle = false;
  bool hiddenLabelHasVisibleStyle = true;
};
CreationSeen seenA;
int firstButtonClicks = 0;
int createdB = 0;

void OnACreated() {
  ++seenA.count;
  WindowEntry* entry = FindWindowEntry(kA);
  seenA.windowVisible = IsWindowVisible(entry->hwnd) != FALSE;
  seenA.visibleRead = ReadProperty(kA, kASelf, kPropertyVisible).boolean != 0;
  seenA.holdCount = Shell().eventHoldCount;
  seenA.allControlsExist = true;
  for (std::size_t i = 1; i < entry->controlWindows.size(); ++i) {
    if (!IsWindow(entry->controlWindows[i])) seenA.allControlsExist = false;
  }
  auto hasVisibleStyle = [&](int index) {
    return (GetWindowLongA(entry->controlWindows[index], GWL_STYLE) & WS_VISIBLE) != 0;
  };
  seenA.shownLabelHasVisibleStyle = hasVisibleStyle(3);
  seenA.hiddenLabelHasVisibleStyle = hasVisibleStyle(4);
}

constexpr EventBinding kAEvents[] = {{.event = kEventCreated, .handler = OnACreated}};
constexpr EventBinding kFirstButtonEvents[] = {
    {.event = kEventClicked, .handler = [] { ++firstButtonClicks; }}};

constexpr ControlDescription kAControls[] = {
    {.kind = ControlKind::Window, .number = kASelf, .name = "A", .width = 400, .height = 300,
     .text = "窗口甲", .events = kAEvents},
    {.kind = ControlKind::Button, .number = kFirstButton, .name = "first", .parent = kASelf,
     .left = 10, .top = 10, .width = 80, .height = 24, .text = "甲", .tabStop = true,
     .tabOrder = 0, .events = kFirstButtonEvents},
    {.kind = ControlKind::Button, .number = kSecondButton, .name = "second", .parent = kASelf,
     .left = 100, .top = 10, .width = 80, .height = 24, .text = "乙", .tabStop = true,
     .tabOrder = 1},
    {.kind = ControlKind::Label, .number = kShownLabel, .name = "shown", .parent = kASelf,
     .left = 10, .top = 50, .width = 120, .height = 16, .text = "原文"},
    {.kind = ControlKind::Label, .number = kHiddenLabel, .name = "hidden", .parent = kASelf,
     .left = 10, .top = 70, .width = 120, .height = 16, .text = "隐藏", .visible = false},
    {.kind = ControlKind::EditBox, .number = kEdit, .name = "edit", .parent = kASelf,
     .left = 10, .top = 90, .width = 120, .height = 20, .text = "预置", .tabStop = true,
     .tabOrder = 2},
    {.kind = ControlKind::Button, .number = kPlainButton, .name = "plain", .parent = kASelf,
     .left = 10, .top = 120, .width = 80, .height = 24, .text = "可用"},
};

constexpr WindowDescription kADescription = {.number = kA, .controls = kAControls};
static_assert(IsValidDescription(kADescription));

constexpr WindowNumber kB = 2101;
constexpr EventBinding kBEvents[] = {{.event = kEventCreated, .handler = [] { ++createdB; }}};
constexpr ControlDescription kBControls[] = {
    {.kind = ControlKind::Window, .number = 2100, .name = "B", .width = 200, .height = 100,
     .events = kBEvents},
};
constexpr WindowDescription kBDescription = {
    .number = kB, .settings = {.centred = false}, .controls = kBControls};

constexpr const WindowDescription* kTable[] = {&kADescription, &kBDescription};

class LoadTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    seenA = {};
    firstButtonClicks = 0;
    createdB = 0;
    Install(kTable);
  }
};

// --- what happens while a window is built ----------------------------------

HHOOK creationHook = nullptr;
bool injectedDuringCreation = false;
std::vector<bool> createdAsChild;

// Runs as each window of a load is created. When the second button is made,
// the first one already exists and is known to the layer: a click of it goes
// the whole real way (BM_CLICK, BN_CLICKED, the window's WM_COMMAND) to its
// handler, which must not run while the window is built.
LRESULT CALLBACK CreationHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    const CREATESTRUCTA* create = reinterpret_cast<CBT_CREATEWNDA*>(lParam)->lpcs;
    bool child = (create->style & WS_CHILD) != 0;
    createdAsChild.push_back(child);
    WindowEntry* entry = FindWindowEntry(kA);
    if (child && create->hMenu == reinterpret_cast<HMENU>(2) && entry->controlWindows.size() > 1) {
      HWND first = entry->controlWindows[1];
      if (first) {
        injectedDuringCreation = true;
        SendMessageA(first, BM_CLICK, 0, 0);
        SendMessageA(entry->hwnd, WM_COMMAND, MAKEWPARAM(1, BN_CLICKED),
                     reinterpret_cast<LPARAM>(first));
      }
    }
  }
  return CallNextHookEx(creationHook, code, wParam, lParam);
}

TEST_F(LoadTest, NoHandlerRunsWhileTheWindowIsBeingBuilt) {
  injectedDuringCreation = false;
  createdAsChild.clear();
  creationHook = SetWindowsHookExA(WH_CBT, CreationHook, nullptr, GetCurrentThreadId());
  ASSERT_NE(creationHook, nullptr);
  bool loaded = LoadWindow(kA, kNoParent, false);
  UnhookWindowsHookEx(creationHook);
  ASSERT_TRUE(loaded);

  ASSERT_TRUE(injectedDuringCreation) << "the hook never reached the second button";
  EXPECT_EQ(firstButtonClicks, 0) << "a click during creation reached its handler";
  // The top-level window comes first, then the controls.
  ASSERT_EQ(createdAsChild.size(), std::size(kAControls));
  EXPECT_FALSE(createdAsChild[0]);
  for (std::size_t i = 1; i < createdAsChild.size(); ++i) EXPECT_TRUE(createdAsChild[i]) << i;

  // A dropped event is not delivered later, and the same path works now.
  PumpPending();
  EXPECT_EQ(firstButtonClicks, 0);
  SendMessageA(ControlOf(kA, kFirstButton), BM_CLICK, 0, 0);
  EXPECT_EQ(firstButtonClicks, 1);
}

TEST_F(LoadTest, EventsRaisedWhileHeldAreDroppedForGood) {
  Load(kA);
  ++Shell().eventHoldCount;
  EXPECT_FALSE(RaiseEvent(kA, kFirstButton, kEventClicked));
  SendMessageA(ControlOf(kA, kFirstButton), BM_CLICK, 0, 0);
  --Shell().eventHoldCount;
  PumpPending();
  EXPECT_EQ(firstButtonClicks, 0);
  EXPECT_TRUE(RaiseEvent(kA, kFirstButton, kEventClicked));
  EXPECT_EQ(firstButtonClicks, 1);
  // An event without a binding runs nothing and says so.
  EXPECT_FALSE(RaiseEvent(kA, kSecondButton, kEventClicked));
}

TEST_F(LoadTest, CreationEventRunsOnceWithEverythingBuiltAndNothingShown) {
  Load(kA);
  EXPECT_EQ(seenA.count, 1);
  EXPECT_FALSE(seenA.windowVisible);
  EXPECT_FALSE(seenA.visibleRead);
  EXPECT_EQ(seenA.holdCount, 0);
  EXPECT_TRUE(seenA.allControlsExist);
  // Controls are shown or hidden before the event, by their own flags.
  EXPECT_TRUE(seenA.shownLabelHasVisibleStyle);
  EXPECT_FALSE(seenA.hiddenLabelHasVisibleStyle);

  EXPECT_TRUE(IsWindowVisible(WindowOf(kA)));
  EXPECT_TRUE(IsWindowVisible(ControlOf(kA, kShownLabel)));
  EXPECT_FALSE(IsWindowVisible(ControlOf(kA, kHiddenLabel)));
  EXPECT_FALSE(ReadBool(kA, kHiddenLabel, kPropertyVisible));
}

TEST_F(LoadTest, LoadingALoadedWindowOnlyActivatesIt) {
  Load(kA);
  HWND a = WindowOf(kA);
  Load(kB);
  ASSERT_EQ(GetActiveWindow(), WindowOf(kB));

  for (bool fullyModal : {false, true}) {
    SCOPED_TRACE(fullyModal ? "fully modal" : "normal");
    Watchdog watchdog(5000);
    EXPECT_TRUE(LoadWindow(kA, kNoParent, fullyModal));
    EXPECT_EQ(WindowOf(kA), a);
    EXPECT_EQ(GetActiveWindow(), a);
    EXPECT_EQ(seenA.count, 1);
    EXPECT_TRUE(IsWindowEnabled(WindowOf(kB))) << "a reload disabled another window";
    EXPECT_EQ(Shell().modalWindow, 0u);
    SetActiveWindow(WindowOf(kB));
  }

  ShowWindow(a, SW_MINIMIZE);
  ASSERT_TRUE(IsIconic(a));
  EXPECT_TRUE(LoadWindow(kA, kNoParent, false));
  EXPECT_FALSE(IsIconic(a));
  EXPECT_EQ(seenA.count, 1);
  EXPECT_EQ(createdB, 1);
}

TEST_F(LoadTest, UnknownWindowOrUnloadedParentIsNotLoaded) {
  EXPECT_FALSE(LoadWindow(9999, kNoParent, false));
  EXPECT_FALSE(LoadWindow(kA, kB, false));
  EXPECT_FALSE(LoadWindow(kA, 9999, false));
  EXPECT_FALSE(AnyWindowLoaded());
  EXPECT_EQ(seenA.count, 0);
  EXPECT_EQ(Shell().eventHoldCount, 0);
  Load(kB);
  EXPECT_TRUE(LoadWindow(kA, kB, false));
  EXPECT_EQ(seenA.count, 1);
}

// --- properties written while loaded are gone after the close ----------------

TEST_F(LoadTest, WrittenPropertiesRevertWhenTheWindowCloses) {
  Load(kA);
  WriteProperty(kA, kPlainButton, kPropertyDisabled, BoolValue(true));
  WriteProperty(kA, kShownLabel, kPropertyText, TextValue("改写"));
  WriteProperty(kA, kShownLabel, kPropertyVisible, BoolValue(false));
  WriteProperty(kA, kHiddenLabel, kPropertyVisible, BoolValue(true));
  WriteProperty(kA, kASelf, kPropertyText, TextValue("新标题"));
  EXPECT_FALSE(IsWindowEnabled(ControlOf(kA, kPlainButton)));
  EXPECT_EQ(WindowTextOf(ControlOf(kA, kShownLabel)), "改写");
  EXPECT_EQ(WindowTextOf(WindowOf(kA)), "新标题");

  ASSERT_TRUE(Close(kA));
  // Read while not loaded: the description's values again.
  EXPECT_FALSE(ReadBool(kA, kPlainButton, kPropertyDisabled));
  EXPECT_TRUE(ReadBool(kA, kShownLabel, kPropertyVisible));
  EXPECT_FALSE(ReadBool(kA, kHiddenLabel, kPropertyVisible));

  Load(kA);
  EXPECT_TRUE(IsWindowEnabled(ControlOf(kA, kPlainButton)));
  EXPECT_EQ(WindowTextOf(ControlOf(kA, kShownLabel)), "原文");
  EXPECT_TRUE(IsWindowVisible(ControlOf(kA, kShownLabel)));
  EXPECT_FALSE(IsWindowVisible(ControlOf(kA, kHiddenLabel)));
  EXPECT_EQ(WindowTextOf(WindowOf(kA)), "窗口甲");
}

TEST_F(LoadTest, WritesWhileNotLoadedShapeTheNextLoadAndStay) {
  WriteProperty(kA, kPlainButton, kPropertyDisabled, BoolValue(true));
  WriteProperty(kA, kHiddenLabel, kPropertyVisible, BoolValue(true));
  EXPECT_TRUE(ReadBool(kA, kPlainButton, kPropertyDisabled));
  Load(kA);
  EXPECT_FALSE(IsWindowEnabled(ControlOf(kA, kPlainButton)));
  EXPECT_TRUE(IsWindowVisible(ControlOf(kA, kHiddenLabel)));
  // Values from before the load are what a close goes back to.
  WriteProperty(kA, kPlainButton, kPropertyDisabled, BoolValue(false));
  ASSERT_TRUE(Close(kA));
  EXPECT_TRUE(ReadBool(kA, kPlainButton, kPropertyDisabled));
}

TEST_F(LoadTest, TheWindowsOwnFlagsWrittenWhileNotLoadedApplyAtTheNextLoad) {
  WriteProperty(kA, kASelf, kPropertyDisabled, BoolValue(true));
  WriteProperty(kA, kASelf, kPropertyVisible, BoolValue(false));
  Load(kA);
  ASSERT_TRUE(Loaded(kA));
  EXPECT_FALSE(IsWindowEnabled(WindowOf(kA)));
  EXPECT_TRUE(ReadBool(kA, kASelf, kPropertyDisabled));
  EXPECT_FALSE(IsWindowVisible(WindowOf(kA)));
  EXPECT_FALSE(ReadBool(kA, kASelf, kPropertyVisible));
  // Not shown at load: the first show comes with the property.
  WriteProperty(kA, kASelf, kPropertyVisible, BoolValue(true));
  EXPECT_TRUE(IsWindowVisible(WindowOf(kA)));
}

// --- hidden is still loaded ------------------------------------------------------

TEST_F(LoadTest, HiddenWindowStaysLoadedAndKeepsRaisingEvents) {
  Load(kA);
  HWND a = WindowOf(kA);
  WriteProperty(kA, kASelf, kPropertyVisible, BoolValue(false));
  EXPECT_FALSE(IsWindowVisible(a));
  EXPECT_FALSE(ReadBool(kA, kASelf, kPropertyVisible));
  EXPECT_TRUE(Loaded(kA));
  EXPECT_TRUE(IsWindow(ControlOf(kA, kFirstButton)));

  SendMessageA(ControlOf(kA, kFirstButton), BM_CLICK, 0, 0);
  EXPECT_EQ(firstButtonClicks, 1);
  EXPECT_TRUE(RaiseEvent(kA, kFirstButton, kEventClicked));
  EXPECT_EQ(firstButtonClicks, 2);
  PumpPending();
  EXPECT_TRUE(Loaded(kA));

  WriteProperty(kA, kASelf, kPropertyVisible, BoolValue(true));
  EXPECT_TRUE(IsWindowVisible(a));
  EXPECT_EQ(WindowOf(kA), a);
  EXPECT_EQ(seenA.count, 1);
}

// --- the real confirmation window ---------------------------------------------

constexpr const WindowDescription* kConfirmTable[] = {&kConfirmWindowDescription};

class ConfirmWindowTest : public LayerTest {
 protected:
  void SetUp() override {
    LayerTest::SetUp();
    Install(kConfirmTable);
  }
};

TEST_F(ConfirmWindowTest, StartButtonIsDisabledAgainAfterAReload) {
  using W = ConfirmWindow;
  Load(W::number);
  EXPECT_TRUE(ReadBool(W::number, W::开始考试按钮, kPropertyDisabled));
  WriteProperty(W::number, W::开始考试按钮, kPropertyDisabled, BoolValue(false));
  WriteProperty(W::number, W::按钮1, kPropertyDisabled, BoolValue(true));
  EXPECT_FALSE(ReadBool(W::number, W::开始考试按钮, kPropertyDisabled));
  ASSERT_TRUE(Close(W::number));
  Load(W::number);
  EXPECT_TRUE(ReadBool(W::number, W::开始考试按钮, kPropertyDisabled));
  EXPECT_FALSE(ReadBool(W::number, W::按钮1, kPropertyDisabled));
  EXPECT_FALSE(IsWindowEnabled(ControlOf(W::number, W::开始考试按钮)));
}

// Live GDI objects of this process. Wine's GetGuiResources is a stub that
// answers 0, so there the process's own GDI handle table, which Wine keeps
// at the documented place in the PEB, is counted instead.
std::optional<unsigned> GdiObjectCount() {
  SetLastError(0);
  DWORD counted = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
  if (counted != 0) return counted;
#ifdef _WIN64
  struct HandleEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique;
    std::uint8_t type;
    std::uint8_t flags;
    std::uint64_t user;
  };
  static_assert(sizeof(HandleEntry) == 24);
  constexpr std::size_t kHandleCount = 0x10000;
  using QueryProcess = LONG(WINAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
  auto query = reinterpret_cast<QueryProcess>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQueryInformationProcess")));
  PROCESS_BASIC_INFORMATION basic{};
  if (!query || query(GetCurrentProcess(), ProcessBasicInformation, &basic, sizeof basic,
                      nullptr) != 0) {
    return std::nullopt;
  }
  auto* peb = reinterpret_cast<const char*>(basic.PebBaseAddress);
  auto* table = *reinterpret_cast<const HandleEntry* const*>(peb + 0xF8);
  if (!table) return std::nullopt;
  unsigned live = 0;
  for (std::size_t i = 0; i < kHandleCount; ++i) {
    if (table[i].type != 0) ++live;
  }
  return live;
#else
  return std::nullopt;
#endif
}

void LoadPaintAndClose() {
  using W = ConfirmWindow;
  ASSERT_TRUE(LoadWindow(W::number, kNoParent, false));
  HWND window = FindWindowEntry(W::number)->hwnd;
  // Every label and picture box paints through its off-screen buffer.
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
  PumpPending();
  PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(PumpUntil([] { return !AnyWindowLoaded(); }));
}

TEST_F(ConfirmWindowTest, LoadingAndClosingTwentyTimesKeepsTheGdiObjectCount) {
  std::optional<unsigned> probe = GdiObjectCount();
  if (!probe) GTEST_SKIP() << "no way to count GDI objects in this build";
  // The first load fills the layer's image cache, which lives as long as the
  // process.
  LoadPaintAndClose();
  const unsigned before = *GdiObjectCount();
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(i);
    LoadPaintAndClose();
    if (HasFatalFailure()) return;
  }
  const unsigned after = *GdiObjectCount();
  EXPECT_LE(after, before) << "GDI objects grew from " << before << " to " << after;
  // The measure does see a single new object.
  HDC screen = GetDC(nullptr);
  HBITMAP extra = CreateCompatibleBitmap(screen, 8, 8);
  EXPECT_EQ(*GdiObjectCount(), after + 1);
  DeleteObject(extra);
  ReleaseDC(nullptr, screen);
}

}  // namespace
