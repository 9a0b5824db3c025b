#pragma once

// The JSON encoder: a tree of values to compact or indented UTF-8 text.
//
// Collections encode with JSONString / JSONData (text or bytes); a string
// value encodes on its own with the same names, with or without quotes.
// Failures return nil (an empty optional) and fill the JSONError when one
// is given. Objects the encoder does not know (JSONCustomObject) go through
// a block or a delegate that may return a replacement to encode instead.

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "json/json_error.h"
#include "json/json_value.h"

namespace lorvane {

using JSONSerializeOptionFlags = std::uint32_t;

inline constexpr JSONSerializeOptionFlags JSONSerializeOptionNone = 0;
// Indented output with two spaces per level; dictionary keys sorted.
inline constexpr JSONSerializeOptionFlags JSONWritePretty = 1;
// Every non-ASCII character written as a \u escape.
inline constexpr JSONSerializeOptionFlags JSONWriteEscapeUnicode = 2;
// "/" written as "\/".
inline constexpr JSONSerializeOptionFlags JSONWriteEscapeSlashes = 16;

// How a call wants its result; fixed by the entry point.
using JSONEncodeOptionFlags = std::uint32_t;
inline constexpr JSONEncodeOptionFlags JSONEncodeOptionAsData = 1;
inline constexpr JSONEncodeOptionFlags JSONEncodeOptionAsString = 2;
inline constexpr JSONEncodeOptionFlags JSONEncodeOptionCollectionObj = 8;
inline constexpr JSONEncodeOptionFlags JSONEncodeOptionStringObj = 16;
inline constexpr JSONEncodeOptionFlags JSONEncodeOptionStringObjTrimQuotes = 32;

// Asked for a replacement of each object the encoder cannot write; nil
// means there is none.
class JSONSerializeDelegate {
 public:
  virtual ~JSONSerializeDelegate() = default;
  virtual JSONValueRef serializeUnsupportedObject(const JSONValue& object) = 0;
};

using JSONSerializeBlock = std::function<JSONValueRef(const JSONValue& object)>;

class JSONSerializer {
 public:
  // Nesting deeper than this fails with an error; it also stops a mutable
  // collection that contains itself.
  static constexpr std::size_t kMaximumDepth = 4096;

  // The routine every entry point ends in. The result is the encoded bytes
  // (as text or as data, per `encodeOption`), or nil on failure.
  static std::optional<std::string> serializeObject(
      const JSONValue& object, JSONSerializeOptionFlags options, JSONEncodeOptionFlags encodeOption,
      const JSONSerializeBlock* block, JSONSerializeDelegate* delegate, JSONError* error);
};

// Arrays and dictionaries (a string value encodes as a quoted string).
std::optional<std::string> JSONString(const JSONValue& object);
std::optional<std::string> JSONStringWithOptions(const JSONValue& object,
                                                 JSONSerializeOptionFlags serializeOptions,
                                                 JSONError* error);
std::optional<std::string> JSONStringWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    JSONSerializeDelegate& serializeUnsupportedClassesUsingDelegate, JSONError* error);
std::optional<std::string> JSONStringWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    const JSONSerializeBlock& serializeUnsupportedClassesUsingBlock, JSONError* error);

std::optional<std::vector<std::uint8_t>> JSONData(const JSONValue& object);
std::optional<std::vector<std::uint8_t>> JSONDataWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions, JSONError* error);
std::optional<std::vector<std::uint8_t>> JSONDataWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    JSONSerializeDelegate& serializeUnsupportedClassesUsingDelegate, JSONError* error);
std::optional<std::vector<std::uint8_t>> JSONDataWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    const JSONSerializeBlock& serializeUnsupportedClassesUsingBlock, JSONError* error);

// A string value on its own; the quotes can be left out.
std::optional<std::string> JSONStringValueWithOptions(const JSONValue& string,
                                                      JSONSerializeOptionFlags serializeOptions,
                                                      bool includeQuotes, JSONError* error);
std::optional<std::vector<std::uint8_t>> JSONDataValueWithOptions(
    const JSONValue& string, JSONSerializeOptionFlags serializeOptions, bool includeQuotes,
    JSONError* error);

// JSONStringWithOptions(string, options, includeQuotes, error) and its data
// twin; the exact-bool constraint keeps lambdas (blocks) out of this form.
template <std::same_as<bool> Bool>
std::optional<std::string> JSONStringWithOptions(const JSONValue& string,
                                                 JSONSerializeOptionFlags serializeOptions,
                                                 Bool includeQuotes, JSONError* error) {
  return JSONStringValueWithOptions(string, serializeOptions, includeQuotes, error);
}
template <std::same_as<bool> Bool>
std::optional<std::vector<std::uint8_t>> JSONDataWithOptions(
    const JSONValue& string, JSONSerializeOptionFlags serializeOptions, Bool includeQuotes,
    JSONError* error) {
  return JSONDataValueWithOptions(string, serializeOptions, includeQuotes, error);
}

}  // namespace lorvane
