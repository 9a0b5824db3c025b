// Feeds arbitrary bytes to the response path: framing, then inflation of a
// gzip body, in pieces of varying size, as the network would deliver them.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "net/data_decompressor.h"
#include "net/response_framing.h"

using namespace lorvane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t mode = data[0];
  const std::size_t piece = 1 + data[1] % 97;
  data += 2;
  size -= 2;

  std::unique_ptr<DataDecompressor> inflater;
  std::uint64_t inflated = 0;
  ResponseFraming* framingPointer = nullptr;
  ResponseFraming::Handlers handlers;
  handlers.headersReceived = [&] {
    auto headers = framingPointer->headers();
    if (headerValue(headers, "Content-Encoding").find("gzip") != std::string::npos) {
      inflater = DataDecompressor::decompressor();
      if (inflater) inflater->setMaximumOutputLength(1 << 20);
    }
  };
  handlers.bodyReceived = [&](const std::uint8_t* bytes, std::size_t length) {
    if (!inflater) return;
    ErrorPtr error;
    auto out = inflater->uncompressBytes(bytes, length, &error);
    if (out) inflated += out->size();
    if (!out && error) inflater.reset();
  };
  ResponseFraming::Limits limits;
  limits.maximumHeaderLength = 8192;
  ResponseFraming framing(handlers, limits);
  framingPointer = &framing;
  framing.setExpectsNoBody((mode & 1) != 0);

  std::size_t at = 0;
  while (at < size && !framing.isComplete() && !framing.hasFailed()) {
    std::size_t n = std::min(piece, size - at);
    std::size_t taken = framing.feed(data + at, n);
    if (taken > n) __builtin_trap();  // never more than it was given
    at += n;
  }
  if ((mode & 2) != 0) framing.finishInput();
  if (inflated > (1u << 20) + (1u << 17)) __builtin_trap();  // the ceiling holds
  return 0;
}
