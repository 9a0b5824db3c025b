#pragma once

// One-shot decoding of a whole text or byte buffer. Each call makes a
// private decoder whose value cache does not outlive the call, so these may
// be used from any thread. A nil result means the input was not a JSON
// array or object; the JSONError overloads say why.

#include <cstdint>
#include <span>
#include <string_view>

#include "json/json_decoder.h"
#include "json/json_error.h"
#include "json/json_value.h"

namespace lorvane {

// Text (UTF-8) to immutable collections.
JSONValueRef objectFromJSONString(std::string_view string);
JSONValueRef objectFromJSONStringWithParseOptions(std::string_view string,
                                                  JSONParseOptionFlags parseOptionFlags);
JSONValueRef objectFromJSONStringWithParseOptions(std::string_view string,
                                                  JSONParseOptionFlags parseOptionFlags,
                                                  JSONError* error);
// Text to mutable collections.
JSONValueRef mutableObjectFromJSONString(std::string_view string);
JSONValueRef mutableObjectFromJSONStringWithParseOptions(std::string_view string,
                                                         JSONParseOptionFlags parseOptionFlags);
JSONValueRef mutableObjectFromJSONStringWithParseOptions(std::string_view string,
                                                         JSONParseOptionFlags parseOptionFlags,
                                                         JSONError* error);

// Bytes to immutable or mutable collections.
JSONValueRef objectFromJSONData(std::span<const std::uint8_t> data);
JSONValueRef objectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                JSONParseOptionFlags parseOptionFlags);
JSONValueRef objectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                JSONParseOptionFlags parseOptionFlags,
                                                JSONError* error);
JSONValueRef mutableObjectFromJSONData(std::span<const std::uint8_t> data);
JSONValueRef mutableObjectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                       JSONParseOptionFlags parseOptionFlags);
JSONValueRef mutableObjectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                       JSONParseOptionFlags parseOptionFlags,
                                                       JSONError* error);

}  // namespace lorvane
