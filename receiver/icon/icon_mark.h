#pragma once

#include <cstdint>
#include <vector>

namespace receiver {

// Marks an icon's pixels (0xAARRGGBB, top row first) with a red dot in a
// white ring at the lower right: the icon of a receiver with a problem open.
void MarkWithDot(std::vector<std::uint32_t>& pixels, int width, int height);

}  // namespace receiver
