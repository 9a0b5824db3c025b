#pragma once

// Failures of input are values: the decoder and the encoder fill in a
// JSONError (when the caller passed one) and return nil.

#include <cstddef>
#include <optional>
#include <string>

namespace lorvane {

inline constexpr const char* JSONErrorDomain = "JSONErrorDomain";
// User-information keys of decoder errors, for callers that convert a
// JSONError into a general error value.
inline constexpr const char* JSONAtIndexKey = "JSONAtIndexKey";
inline constexpr const char* JSONLineNumberKey = "JSONLineNumberKey";

struct JSONError {
  std::string domain = JSONErrorDomain;
  int code = -1;
  // The message, the localized description of the error.
  std::string description;
  // Byte index and line number (from 1) where the decoder stood; absent for
  // encoder errors and for the text-conversion error.
  std::optional<std::size_t> index;
  std::optional<std::size_t> line;
};

}  // namespace lorvane
