#include "receiver/icon/marked_icon.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "receiver/icon/icon_mark.h"

namespace receiver {

namespace {

class Bitmap {
 public:
  explicit Bitmap(HBITMAP bitmap) : bitmap_(bitmap) {}
  Bitmap(const Bitmap&) = delete;
  Bitmap& operator=(const Bitmap&) = delete;
  ~Bitmap() {
    if (bitmap_ != nullptr) DeleteObject(bitmap_);
  }
  HBITMAP get() const { return bitmap_; }

 private:
  HBITMAP bitmap_;
};

class MemoryDc {
 public:
  MemoryDc() : dc_(CreateCompatibleDC(nullptr)) {}
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;
  ~MemoryDc() {
    if (dc_ != nullptr) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_;
};

BITMAPINFO TopDown32(int width, int height) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  return info;
}

// The icon's pixels with their alpha; false when GDI cannot read them.
bool ReadPixels(HICON icon, std::vector<std::uint32_t>& pixels, int& width,
                int& height) {
  ICONINFO parts = {};
  if (icon == nullptr || !GetIconInfo(icon, &parts)) return false;
  const Bitmap color(parts.hbmColor);
  const Bitmap mask(parts.hbmMask);
  BITMAP size = {};
  if (color.get() == nullptr ||
      GetObjectW(color.get(), sizeof(size), &size) == 0) {
    return false;
  }
  width = size.bmWidth;
  height = size.bmHeight;
  const MemoryDc dc;
  if (dc.get() == nullptr || width <= 0 || height <= 0) return false;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  pixels.assign(count, 0);
  std::vector<std::uint32_t> transparent(count);
  BITMAPINFO info = TopDown32(width, height);
  if (GetDIBits(dc.get(), color.get(), 0, height, pixels.data(), &info,
                DIB_RGB_COLORS) != height) {
    return false;
  }
  info = TopDown32(width, height);
  const bool masked =
      mask.get() != nullptr &&
      GetDIBits(dc.get(), mask.get(), 0, height, transparent.data(), &info,
                DIB_RGB_COLORS) == height;
  bool alpha = false;
  for (const std::uint32_t pixel : pixels) alpha = alpha || (pixel >> 24) != 0;
  // An icon without an alpha channel has its shape in the mask.
  if (!alpha) {
    for (std::size_t i = 0; i < count; ++i) {
      const bool clear = masked && (transparent[i] & 0xFFFFFFu) != 0;
      pixels[i] = clear ? 0 : pixels[i] | 0xFF000000u;
    }
  }
  return true;
}

}  // namespace

IconHandle MarkedIcon(HICON icon) {
  std::vector<std::uint32_t> pixels;
  int width = 0;
  int height = 0;
  // Without an icon to read (Wine's 32-bit GDI has been seen to give none),
  // the dot alone still shows.
  if (!ReadPixels(icon, pixels, width, height)) {
    width = height = 32;
    pixels.assign(static_cast<std::size_t>(width) * height, 0);
  }
  const std::size_t count = pixels.size();
  MarkWithDot(pixels, width, height);

  const BITMAPINFO info = TopDown32(width, height);
  void* bits = nullptr;
  const Bitmap marked(
      CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
  if (marked.get() == nullptr || bits == nullptr) return {};
  std::memcpy(bits, pixels.data(), count * sizeof(std::uint32_t));
  GdiFlush();
  // The mask matters only where alpha is not drawn: set where it is clear.
  const int row_bytes = (width + 15) / 16 * 2;
  std::vector<std::uint8_t> mask_bits(static_cast<std::size_t>(row_bytes) *
                                      height);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      if ((pixels[static_cast<std::size_t>(y) * width + x] >> 24) == 0) {
        mask_bits[static_cast<std::size_t>(y) * row_bytes + x / 8] |=
            static_cast<std::uint8_t>(0x80 >> (x % 8));
      }
    }
  }
  const Bitmap marked_mask(CreateBitmap(width, height, 1, 1, mask_bits.data()));
  if (marked_mask.get() == nullptr) return {};
  ICONINFO made = {};
  made.fIcon = TRUE;
  made.hbmColor = marked.get();
  made.hbmMask = marked_mask.get();
  return IconHandle(CreateIconIndirect(&made));
}

}  // namespace receiver
