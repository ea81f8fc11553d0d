#include "support/ScreenCapture.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <utility>

#include "support/Paths.h"

namespace support {

namespace {

// Screen and memory device contexts and the DIB section they draw into.
class ScreenDc {
 public:
  ScreenDc() : dc_(GetDC(nullptr)) {}
  ~ScreenDc() {
    if (dc_) ReleaseDC(nullptr, dc_);
  }
  ScreenDc(const ScreenDc&) = delete;
  ScreenDc& operator=(const ScreenDc&) = delete;
  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

class DibCanvas {
 public:
  DibCanvas(HDC compatible, int width, int height) : dc_(CreateCompatibleDC(compatible)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bits_ = static_cast<std::uint32_t*>(bits);
    if (dc_ && bitmap_) previous_ = SelectObject(dc_, bitmap_);
    count_ = static_cast<std::size_t>(width) * height;
  }
  ~DibCanvas() {
    if (previous_) SelectObject(dc_, previous_);
    if (bitmap_) DeleteObject(bitmap_);
    if (dc_) DeleteDC(dc_);
  }
  DibCanvas(const DibCanvas&) = delete;
  DibCanvas& operator=(const DibCanvas&) = delete;

  bool Ok() const { return dc_ && bitmap_ && bits_; }
  HDC Dc() const { return dc_; }
  std::vector<std::uint32_t> Pixels() const {
    GdiFlush();
    std::vector<std::uint32_t> pixels(bits_, bits_ + count_);
    for (auto& p : pixels) p &= 0x00FFFFFF;
    return pixels;
  }
  void Fill(std::uint32_t value) {
    GdiFlush();
    std::fill(bits_, bits_ + count_, value);
  }

 private:
  HDC dc_;
  HBITMAP bitmap_ = nullptr;
  HGDIOBJ previous_ = nullptr;
  std::uint32_t* bits_ = nullptr;
  std::size_t count_ = 0;
};

COLORREF FromDib(std::uint32_t pixel) {
  return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

}  // namespace

ScreenImage::ScreenImage(const RECT& area, std::vector<std::uint32_t> pixels)
    : area_(area), pixels_(std::move(pixels)) {}

COLORREF ScreenImage::PixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= Width() || y >= Height() || Empty()) return CLR_INVALID;
  return FromDib(pixels_[static_cast<std::size_t>(y) * Width() + x]);
}

bool ScreenImage::SaveBmp(const std::string& path) const {
  if (Empty()) return false;
  // Bottom-up rows: the layout every reader of the format accepts.
  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = Width();
  info.biHeight = Height();
  info.biPlanes = 1;
  info.biBitCount = 32;
  info.biCompression = BI_RGB;
  const DWORD rowBytes = static_cast<DWORD>(Width() * sizeof pixels_[0]);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + rowBytes * Height();

  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  for (int y = Height(); y-- > 0;) {
    out.write(reinterpret_cast<const char*>(&pixels_[static_cast<std::size_t>(y) * Width()]),
              rowBytes);
  }
  return static_cast<bool>(out);
}

ScreenImage CaptureScreenRect(const RECT& screenRect) {
  const int width = screenRect.right - screenRect.left;
  const int height = screenRect.bottom - screenRect.top;
  if (width <= 0 || height <= 0) return {};
  ScreenDc screen;
  if (!screen.Get()) return {};
  DibCanvas canvas(screen.Get(), width, height);
  if (!canvas.Ok()) return {};
  if (!BitBlt(canvas.Dc(), 0, 0, width, height, screen.Get(), screenRect.left, screenRect.top,
              SRCCOPY)) {
    return {};
  }
  return ScreenImage(screenRect, canvas.Pixels());
}

ScreenImage CaptureWindow(HWND hwnd) {
  RECT rect{};
  if (!GetWindowRect(hwnd, &rect)) return {};
  return CaptureScreenRect(rect);
}

ScreenImage CaptureClientArea(HWND hwnd) {
  RECT rect{};
  if (!GetClientRect(hwnd, &rect)) return {};
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return CaptureScreenRect(rect);
}

bool SimilarColour(COLORREF a, COLORREF b, int tolerance) {
  return std::abs(GetRValue(a) - GetRValue(b)) <= tolerance &&
         std::abs(GetGValue(a) - GetGValue(b)) <= tolerance &&
         std::abs(GetBValue(a) - GetBValue(b)) <= tolerance;
}

double MatchIcon(const ScreenImage& image, HICON icon) {
  if (!icon || image.Empty()) return 0.0;
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return 0.0;
  BITMAP size{};
  GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof size, &size);
  const int width = size.bmWidth;
  const int height = info.hbmColor ? size.bmHeight : size.bmHeight / 2;
  if (info.hbmColor) DeleteObject(info.hbmColor);
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (width <= 0 || height <= 0 || width > image.Width() || height > image.Height()) return 0.0;

  // Drawn on black and on white: pixels that come out the same are opaque.
  ScreenDc screen;
  DibCanvas onBlack(screen.Get(), width, height);
  DibCanvas onWhite(screen.Get(), width, height);
  if (!onBlack.Ok() || !onWhite.Ok()) return 0.0;
  onBlack.Fill(0x000000);
  onWhite.Fill(0xFFFFFF);
  DrawIconEx(onBlack.Dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  DrawIconEx(onWhite.Dc(), 0, 0, icon, width, height, 0, nullptr, DI_NORMAL);
  const auto black = onBlack.Pixels();
  const auto white = onWhite.Pixels();

  int opaque = 0;
  int matching = 0;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * width + x;
      if (black[i] != white[i]) continue;
      ++opaque;
      if (SimilarColour(FromDib(black[i]), image.PixelAt(x, y), 24)) ++matching;
    }
  }
  return opaque ? static_cast<double>(matching) / opaque : 0.0;
}

std::string SaveScreenshot(const std::string& fileName) {
  RECT screen{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN), 0, 0};
  screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
  screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
  const std::string path = OutputPath(fileName);
  if (CaptureScreenRect(screen).SaveBmp(path)) return "screen saved to " + path;
  return "the screen could not be saved to " + path;
}

}  // namespace support
