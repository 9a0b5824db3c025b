#include "json/json_deserializing.h"

namespace lorvane {

namespace {

// Our text is UTF-8 already, so the conversion step of the platform's
// strings has nothing to do and cannot fail.
JSONValueRef decodeText(std::string_view string, JSONParseOptionFlags options,
                        bool mutableCollections, JSONError* error) {
  JSONDecoder decoder(options);
  const char* bytes = string.data() ? string.data() : "";
  return mutableCollections ? decoder.mutableObjectWithUTF8String(bytes, string.size(), error)
                            : decoder.objectWithUTF8String(bytes, string.size(), error);
}

JSONValueRef decodeData(std::span<const std::uint8_t> data, JSONParseOptionFlags options,
                        bool mutableCollections, JSONError* error) {
  JSONDecoder decoder(options);
  return mutableCollections ? decoder.mutableObjectWithData(data, error)
                            : decoder.objectWithData(data, error);
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
