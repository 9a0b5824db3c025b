#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/ui/image.h"

namespace lorvane {

// Encodes 8-bit RGBA pixels as a PNG (colour type 6, no interlace).
// Nothing for an empty or inconsistent buffer.
std::optional<std::vector<std::uint8_t>> encodePNG(const PixelBuffer& pixels);

// The picture as PNG bytes: its own bytes when it came from a PNG,
// otherwise its pixels encoded. Nothing when it has neither.
std::optional<std::vector<std::uint8_t>> PNGRepresentation(const Image& image);

}  // namespace lorvane
