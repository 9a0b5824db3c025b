#pragma once

// JSONDecoder: a strict single-pass decoder from UTF-8 bytes to a tree of
// JSON values. The top level must be an array or an object. Strings and
// numbers are interned in a small per-decoder cache, so a key repeated in
// a document (or in later documents of the same decoder) is one object.
//
// Failures of input return nil and, when the caller passes a JSONError,
// describe the first problem with its byte index and line number. Misuse
// (bad options, a null byte pointer) throws JSONException.
//
// A decoder serves one call at a time. The one-shot entry points of
// json_deserializing.h make a private decoder per call and may be used from
// any thread.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

#include "json/json_error.h"
#include "json/json_value.h"

namespace lorvane {

using JSONParseOptionFlags = std::uint32_t;

// The default; everything below is off.
inline constexpr JSONParseOptionFlags JSONParseStrict = 0;
// Skips /* block */ and // line comments wherever whitespace is allowed.
inline constexpr JSONParseOptionFlags JSONParseAllowComments = 1;
// U+0085, U+2028 and U+2029 count as line breaks between tokens.
inline constexpr JSONParseOptionFlags JSONParseUnicodeLineBreaks = 2;
// Invalid UTF-8 and invalid \u escapes in strings become U+FFFD.
inline constexpr JSONParseOptionFlags JSONParseReplaceInvalidUnicode = 4;
// Anything after the top-level value is ignored.
inline constexpr JSONParseOptionFlags JSONParseAllowTrailingText = 8;

namespace json_detail {
class ParseState;
}

class JSONDecoder {
 public:
  // Arrays and objects nested deeper than this fail the decode instead of
  // building trees that later code would have to recurse through.
  static constexpr std::size_t kDefaultMaximumDepth = 4096;

  static std::unique_ptr<JSONDecoder> decoder();
  static std::unique_ptr<JSONDecoder> decoderWithParseOptions(JSONParseOptionFlags parseOptions);

  JSONDecoder();
  // Throws NSInvalidArgumentException "Invalid parse options." above 15.
  explicit JSONDecoder(JSONParseOptionFlags parseOptions);
  ~JSONDecoder();
  // A moved-from decoder has no parse state; decoding with it throws.
  JSONDecoder(JSONDecoder&& other) noexcept;
  JSONDecoder& operator=(JSONDecoder&& other) noexcept;
  JSONDecoder(const JSONDecoder&) = delete;
  JSONDecoder& operator=(const JSONDecoder&) = delete;

  // Decodes `length` bytes (NUL bytes are ordinary bytes) into immutable
  // collections. `error` is written only when the call fails.
  JSONValueRef objectWithUTF8String(const char* string, std::size_t length,
                                    JSONError* error = nullptr);
  // The same with mutable collections.
  JSONValueRef mutableObjectWithUTF8String(const char* string, std::size_t length,
                                           JSONError* error = nullptr);
  JSONValueRef objectWithData(std::span<const std::uint8_t> jsonData, JSONError* error = nullptr);
  JSONValueRef mutableObjectWithData(std::span<const std::uint8_t> jsonData,
                                     JSONError* error = nullptr);

  // Older names of objectWithUTF8String and objectWithData.
  JSONValueRef parseUTF8String(const char* string, std::size_t length, JSONError* error = nullptr) {
    return objectWithUTF8String(string, length, error);
  }
  JSONValueRef parseJSONData(std::span<const std::uint8_t> jsonData, JSONError* error = nullptr) {
    return objectWithData(jsonData, error);
  }

  // Empties the value cache.
  void clearCache();

  JSONParseOptionFlags parseOptions() const noexcept;
  std::size_t maximumDepth() const noexcept;
  void setMaximumDepth(std::size_t depth) noexcept;

 private:
  JSONValueRef decode(const char* string, std::size_t length, bool mutableCollections,
                      JSONError* error);

  std::unique_ptr<json_detail::ParseState> parseState_;
};

}  // namespace lorvane
