#pragma once

#include <optional>

#include "net/net_types.h"

namespace lorvane {

// Gzip for request bodies.
class DataCompressor {
 public:
  // The data as one gzip member; nothing and *error ("Compression of data
  // failed with code %hi") when zlib fails.
  static std::optional<Data> compressData(const Data& data, ErrorPtr* error = nullptr);
  static ErrorPtr compressionError(int zlibCode);
};

}  // namespace lorvane
