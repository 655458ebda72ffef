#include "receiver/icon/icon_mark.h"

#include <algorithm>
#include <cstddef>

namespace receiver {

void MarkWithDot(std::vector<std::uint32_t>& pixels, int width, int height) {
  if (width <= 0 || height <= 0 ||
      pixels.size() < static_cast<std::size_t>(width) * height) {
    return;
  }
  const double radius = std::min(width, height) * 0.3;
  const double ring = std::max(1.0, radius * 0.25);
  const double cx = width - radius - 0.5;
  const double cy = height - radius - 0.5;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const double dx = x - cx;
      const double dy = y - cy;
      const double distance_squared = dx * dx + dy * dy;
      if (distance_squared > radius * radius) continue;
      const double inner = radius - ring;
      pixels[static_cast<std::size_t>(y) * width + x] =
          distance_squared > inner * inner ? 0xFFFFFFFFu : 0xFFD93025u;
    }
  }
}

}  // namespace receiver
