#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "net/net_types.h"

namespace lorvane {

// Inflates gzip or zlib data (the header is detected), all at once or chunk
// by chunk. One inflater belongs to one body; it is not shared.
class DataDecompressor {
 public:
  // A generous ceiling on what one inflater may produce, so a small
  // compressed body cannot exhaust memory.
  static constexpr std::uint64_t kDefaultMaximumOutputLength = 1ull << 30;

  // A new inflater with its stream set up; nullptr and *error when zlib
  // cannot set one up.
  static std::unique_ptr<DataDecompressor> decompressor(ErrorPtr* error = nullptr);
  ~DataDecompressor();
  DataDecompressor(const DataDecompressor&) = delete;
  DataDecompressor& operator=(const DataDecompressor&) = delete;

  // Inflates the next piece of the stream. Nothing (and no error) for 0
  // bytes; nothing and *error on corrupt input or past the output limit.
  // A stream that stops early simply gives what it produced so far.
  std::optional<Data> uncompressBytes(const std::uint8_t* bytes, std::size_t length,
                                      ErrorPtr* error = nullptr, std::size_t sizeHint = 0);
  // One buffer with a new inflater.
  static std::optional<Data> uncompressData(
      const Data& data, ErrorPtr* error = nullptr,
      std::uint64_t maximumOutputLength = kDefaultMaximumOutputLength);
  // One whole body with a new inflater, sized up front from the gzip trailer
  // when it has one. *reachedEnd tells whether the stream was complete.
  static std::optional<Data> inflateWhole(const std::uint8_t* bytes, std::size_t length,
                                          std::uint64_t maximumOutputLength, bool* reachedEnd,
                                          ErrorPtr* error = nullptr);
  // Inflates a file into another; false and *error on failure.
  static bool uncompressDataFromFile(const std::string& sourcePath,
                                     const std::string& destinationPath, ErrorPtr* error = nullptr);
  // Ends the zlib stream; later calls give errors. Safe to call twice.
  ErrorPtr closeStream();

  bool streamReady() const { return streamReady_; }
  // True once the end of the compressed stream has been seen.
  bool reachedEnd() const { return reachedEnd_; }
  std::uint64_t totalOutputLength() const { return totalOut_; }
  void setMaximumOutputLength(std::uint64_t length) { maximumOutputLength_ = length; }
  std::uint64_t maximumOutputLength() const { return maximumOutputLength_; }

  // "Decompression of data failed with code %hi".
  static ErrorPtr decompressionError(int zlibCode, std::string reason = {});

 private:
  DataDecompressor();
  struct Stream;
  std::unique_ptr<Stream> stream_;
  bool streamReady_ = false;
  bool reachedEnd_ = false;
  std::uint64_t totalOut_ = 0;
  std::uint64_t maximumOutputLength_ = kDefaultMaximumOutputLength;
};

}  // namespace lorvane
