#include "platform/services/png_encoder.h"

#include <zlib.h>

#include <array>
#include <cstring>
#include <string_view>

namespace lorvane {

namespace {

constexpr std::array<std::uint8_t, 8> kSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};

void putUint32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v >> 24));
  out.push_back(static_cast<std::uint8_t>(v >> 16));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
  out.push_back(static_cast<std::uint8_t>(v));
}

void putChunk(std::vector<std::uint8_t>& out, std::string_view type,
              const std::vector<std::uint8_t>& data) {
  putUint32(out, static_cast<std::uint32_t>(data.size()));
  std::size_t typeAt = out.size();
  out.insert(out.end(), type.begin(), type.end());
  out.insert(out.end(), data.begin(), data.end());
  uLong crc = crc32(0L, Z_NULL, 0);
  crc = crc32(crc, out.data() + typeAt, static_cast<uInt>(out.size() - typeAt));
  putUint32(out, static_cast<std::uint32_t>(crc));
}

}  // namespace

std::optional<std::vector<std::uint8_t>> encodePNG(const PixelBuffer& pixels) {
  if (pixels.width <= 0 || pixels.height <= 0) return std::nullopt;
  const std::size_t rowBytes = std::size_t(pixels.width) * 4;
  if (pixels.rgba.size() != rowBytes * std::size_t(pixels.height)) return std::nullopt;

  // Every row gets filter type 0 (none) in front.
  std::vector<std::uint8_t> raw;
  raw.reserve((rowBytes + 1) * std::size_t(pixels.height));
  for (int y = 0; y < pixels.height; ++y) {
    raw.push_back(0);
    const std::uint8_t* row = pixels.rgba.data() + rowBytes * std::size_t(y);
    raw.insert(raw.end(), row, row + rowBytes);
  }
  uLongf compressedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<std::uint8_t> compressed(compressedSize);
  if (compress2(compressed.data(), &compressedSize, raw.data(), static_cast<uLong>(raw.size()),
                Z_DEFAULT_COMPRESSION) != Z_OK) {
    return std::nullopt;
  }
  compressed.resize(compressedSize);

  std::vector<std::uint8_t> header;
  putUint32(header, static_cast<std::uint32_t>(pixels.width));
  putUint32(header, static_cast<std::uint32_t>(pixels.height));
  header.push_back(8);  // bits per sample
  header.push_back(6);  // RGBA
  header.push_back(0);  // deflate
  header.push_back(0);  // adaptive filtering
  header.push_back(0);  // no interlace

  std::vector<std::uint8_t> png(kSignature.begin(), kSignature.end());
  putChunk(png, "IHDR", header);
  putChunk(png, "IDAT", compressed);
  putChunk(png, "IEND", {});
  return png;
}

std::optional<std::vector<std::uint8_t>> PNGRepresentation(const Image& image) {
  const auto& bytes = image.encodedData();
  if (bytes.size() > kSignature.size() &&
      std::memcmp(bytes.data(), kSignature.data(), kSignature.size()) == 0) {
    return bytes;
  }
  if (const PixelBuffer* pixels = image.pixels()) return encodePNG(*pixels);
  return std::nullopt;
}

}  // namespace lorvane
