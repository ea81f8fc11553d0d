// What is actually on the screen, read back through GDI.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace support {

class ScreenImage {
 public:
  ScreenImage() = default;
  ScreenImage(const RECT& area, std::vector<std::uint32_t> pixels);

  bool Empty() const { return pixels_.empty(); }
  int Width() const { return area_.right - area_.left; }
  int Height() const { return area_.bottom - area_.top; }
  // The screen rectangle the image was taken from.
  const RECT& Area() const { return area_; }
  // Coordinates relative to the image's top-left corner; CLR_INVALID outside.
  COLORREF PixelAt(int x, int y) const;
  // A 32-bit top-down .bmp that any viewer opens.
  bool SaveBmp(const std::string& path) const;

 private:
  RECT area_{};
  std::vector<std::uint32_t> pixels_;  // 0x00RRGGBB, rows top to bottom
};

ScreenImage CaptureScreenRect(const RECT& screenRect);
ScreenImage CaptureWindow(HWND hwnd);
// The client area only, e.g. to look at what a window paints.
ScreenImage CaptureClientArea(HWND hwnd);

// Whether two colours differ by at most `tolerance` in every channel.
bool SimilarColour(COLORREF a, COLORREF b, int tolerance = 8);

// The share (0..1) of the icon's opaque pixels, drawn at its natural size at
// the image's top-left corner, that the image shows in the icon's colours.
double MatchIcon(const ScreenImage& image, HICON icon);

// Saves the whole screen to OutputPath(fileName); returns a note for a failure
// message.
std::string SaveScreenshot(const std::string& fileName);

}  // namespace support
