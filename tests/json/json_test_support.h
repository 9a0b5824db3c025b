#pragma once

// Helpers shared by the codec's tests.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <string_view>

#include "json/json.h"

namespace lorvane::json_test {

// Decodes strictly (or with the options) and fails the test on an error.
inline JSONValueRef decode(std::string_view text, JSONParseOptionFlags options = JSONParseStrict) {
  JSONError error;
  JSONValueRef value = objectFromJSONStringWithParseOptions(text, options, &error);
  EXPECT_TRUE(value) << "decoding " << text << ": " << error.description;
  return value;
}

inline JSONValueRef decodeMutable(std::string_view text) {
  JSONError error;
  JSONValueRef value = mutableObjectFromJSONStringWithParseOptions(text, JSONParseStrict, &error);
  EXPECT_TRUE(value) << "decoding " << text << ": " << error.description;
  return value;
}

// The error a decode must fail with.
inline JSONError decodeError(std::string_view text,
                             JSONParseOptionFlags options = JSONParseStrict) {
  JSONError error;
  JSONValueRef value = objectFromJSONStringWithParseOptions(text, options, &error);
  EXPECT_FALSE(value) << "decoding " << text << " should fail";
  return error;
}

inline std::string encode(const JSONValue& value, JSONSerializeOptionFlags options = 0) {
  JSONError error;
  std::optional<std::string> text = JSONStringWithOptions(value, options, &error);
  EXPECT_TRUE(text) << error.description;
  return text.value_or("");
}

inline JSONValueRef string(std::string_view text) {
  return JSONStringValue::create(text);
}
inline JSONValueRef number(std::int64_t value) {
  return JSONNumber::withInt64(value);
}

// Expects `action` to throw a JSONException with this name and text.
inline void expectException(const std::function<void()>& action, std::string_view name,
                            std::string_view reason) {
  try {
    action();
    ADD_FAILURE() << "no exception, expected " << name << ": " << reason;
  } catch (const JSONException& exception) {
    EXPECT_EQ(exception.name(), name);
    EXPECT_EQ(exception.reason(), reason);
    EXPECT_EQ(std::string_view(exception.what()), reason);
  }
}

}  // namespace lorvane::json_test
