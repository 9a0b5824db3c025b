#include "json/json_deserializing.h"

#include "json/json_internal.h"

namespace lorvane {

namespace {

// Our text is UTF-8 already, so the conversion step of the platform's
// strings has nothing to do and cannot fail. Each call behaves as a
// private decoder: its value cache is gone when the call returns.
JSONValueRef decodeText(std::string_view string, JSONParseOptionFlags options,
                        bool mutableCollections, JSONError* error) {
  const char* bytes = string.data() ? string.data() : "";
  return json_detail::decodeOnce(bytes, string.size(), options, mutableCollections, error);
}

JSONValueRef decodeData(std::span<const std::uint8_t> data, JSONParseOptionFlags options,
                        bool mutableCollections, JSONError* error) {
  const char* bytes = data.empty() ? "" : reinterpret_cast<const char*>(data.data());
  return json_detail::decodeOnce(bytes, data.size(), options, mutableCollections, error);
}

}  // namespace

JSONValueRef objectFromJSONString(std::string_view string) {
  return decodeText(string, JSONParseStrict, false, nullptr);
}
JSONValueRef objectFromJSONStringWithParseOptions(std::string_view string,
                                                  JSONParseOptionFlags parseOptionFlags) {
  return decodeText(string, parseOptionFlags, false, nullptr);
}
JSONValueRef objectFromJSONStringWithParseOptions(std::string_view string,
                                                  JSONParseOptionFlags parseOptionFlags,
                                                  JSONError* error) {
  return decodeText(string, parseOptionFlags, false, error);
}
JSONValueRef mutableObjectFromJSONString(std::string_view string) {
  return decodeText(string, JSONParseStrict, true, nullptr);
}
JSONValueRef mutableObjectFromJSONStringWithParseOptions(std::string_view string,
                                                         JSONParseOptionFlags parseOptionFlags) {
  return decodeText(string, parseOptionFlags, true, nullptr);
}
JSONValueRef mutableObjectFromJSONStringWithParseOptions(std::string_view string,
                                                         JSONParseOptionFlags parseOptionFlags,
                                                         JSONError* error) {
  return decodeText(string, parseOptionFlags, true, error);
}

JSONValueRef objectFromJSONData(std::span<const std::uint8_t> data) {
  return decodeData(data, JSONParseStrict, false, nullptr);
}
JSONValueRef objectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                JSONParseOptionFlags parseOptionFlags) {
  return decodeData(data, parseOptionFlags, false, nullptr);
}
JSONValueRef objectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                JSONParseOptionFlags parseOptionFlags,
                                                JSONError* error) {
  return decodeData(data, parseOptionFlags, false, error);
}
JSONValueRef mutableObjectFromJSONData(std::span<const std::uint8_t> data) {
  return decodeData(data, JSONParseStrict, true, nullptr);
}
JSONValueRef mutableObjectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                       JSONParseOptionFlags parseOptionFlags) {
  return decodeData(data, parseOptionFlags, true, nullptr);
}
JSONValueRef mutableObjectFromJSONDataWithParseOptions(std::span<const std::uint8_t> data,
                                                       JSONParseOptionFlags parseOptionFlags,
                                                       JSONError* error) {
  return decodeData(data, parseOptionFlags, true, error);
}

}  // namespace lorvane
