// Shared by the in-process tests of the window layer: a fixture that installs
// a table of descriptions and leaves the process-wide shell as it found it,
// and ways to act from inside whatever message loop is running.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <span>
#include <string>
#include <vector>

#include "ui/Description.h"
#include "ui/Layer.h"

namespace layertest {

// Runs `step` from the loop that takes the posted message next (the main
// loop, a fully modal loop, a message box's loop).
void Post(std::function<void()> step);
// The same, from a timer: it runs only once the queue holds no posted
// message, so after a WM_QUIT posted meanwhile would have ended the loop.
void After(DWORD delayMs, std::function<void()> step);

// Takes every message already in the queue through the layer's own
// pre-translation and dispatch; a WM_QUIT is left in the queue.
void PumpPending(DWORD timeoutMs = 2000);
// Pumps until `done` holds or the time is up; true when it holds.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

// Posts a key press (down and up) to the window as a keyboard would deliver
// it, then pumps; `shift` holds Shift in the thread's key state meanwhile.
void PressKey(HWND target, UINT key, bool shift = false);

// Fails the running test and tears every loaded window and message box down
// if it is still armed after `ms`, so that a loop that does not end cannot
// hang the test.
class Watchdog {
 public:
  explicit Watchdog(DWORD ms);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;
  bool Fired() const;
};

class LayerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Installs the table through the shell's own entry point.
  void Install(std::span<const WindowDescription* const> table);

  static HWND WindowOf(WindowNumber window);
  static HWND ControlOf(WindowNumber window, ControlNumber control);
  static bool Loaded(WindowNumber window);
  // WM_CLOSE as the system would send it, then pumps until the window is gone.
  static bool Close(WindowNumber window);
  // Loads the window normally; fails the test when the load fails.
  static void Load(WindowNumber window);

  static bool ReadBool(WindowNumber window, ControlNumber control, PropertyNumber property);
  // The text value, released; "(absent)" for the absent text.
  static std::string ReadText(WindowNumber window, ControlNumber control);
};

// Destroys whatever window of the installed table is still loaded.
void DestroyLoadedWindows();

std::string WindowTextOf(HWND window);

}  // namespace layertest
