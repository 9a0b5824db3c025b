// The benchmark corpus through the codec, checked value by value against
// an independent parser (nlohmann/json), and through encode/decode again.

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>

#include "json/json.h"

namespace lorvane {
namespace {

namespace fs = std::filesystem;

const fs::path kCorpus = fs::path(LORVANE_SHARED_DIR) / "corpus" / "json";

std::string readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

// Walks both trees together; reports the first difference with its path.
bool sameTree(const JSONValue& ours, const nlohmann::json& theirs, const std::string& where,
              std::string& difference) {
  const auto differ = [&](const std::string& what) {
    difference = where + ": " + what;
    return false;
  };
  switch (theirs.type()) {
    case nlohmann::json::value_t::null:
      return ours.isNull() || differ("expected null");
    case nlohmann::json::value_t::boolean:
      return (ours.isBoolean() && ours.boolValue() == theirs.get<bool>()) || differ("boolean");
    case nlohmann::json::value_t::string:
      return (ours.isString() && ours.stringValue() == theirs.get_ref<const std::string&>()) ||
             differ("string");
    case nlohmann::json::value_t::number_integer: {
      const JSONNumber* number = ours.asNumber();
      return (number && number->kind() == JSONValueKind::SignedInteger &&
              number->int64Value() == theirs.get<std::int64_t>()) ||
             differ("integer");
    }
    case nlohmann::json::value_t::number_unsigned: {
      const JSONNumber* number = ours.asNumber();
      return (number && number->isInteger() &&
              number->uint64Value() == theirs.get<std::uint64_t>()) ||
             differ("unsigned integer");
    }
    case nlohmann::json::value_t::number_float: {
      const JSONNumber* number = ours.asNumber();
      if (!number || !number->isDouble()) return differ("expected a double");
      const double a = number->doubleValue();
      const double b = theirs.get<double>();
      return std::memcmp(&a, &b, sizeof a) == 0 || differ("double bits");
    }
    case nlohmann::json::value_t::array: {
      const JSONArray* array = ours.asArray();
      if (!array || array->count() != theirs.size()) return differ("array size");
      for (std::size_t i = 0; i < array->count(); ++i) {
        if (!sameTree(*array->objectAtIndex(i), theirs[i], where + "/" + std::to_string(i),
                      difference)) {
          return false;
        }
      }
      return true;
    }
    case nlohmann::json::value_t::object: {
      const JSONDictionary* dictionary = ours.asDictionary();
      if (!dictionary || dictionary->count() != theirs.size()) return differ("object size");
      for (const auto& [key, value] : theirs.items()) {
        const JSONValue* mine = dictionary->objectForKey(key);
        if (!mine) return differ("missing key " + key);
        if (!sameTree(*mine, value, where + "/" + key, difference)) return false;
      }
      return true;
    }
    default:
      return differ("unexpected type");
  }
}

TEST(JSONCorpusTest, DocumentsDecodeLikeAnIndependentParserAndRoundTrip) {
  ASSERT_TRUE(fs::is_directory(kCorpus)) << "missing " << kCorpus;
  int documents = 0;
  for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json", "gsoc-2018.json"}) {
    const fs::path path = kCorpus / name;
    if (!fs::exists(path)) continue;
    ++documents;
    SCOPED_TRACE(name);
    const std::string text = readFile(path);
    JSONError error;
    JSONValueRef value = objectFromJSONStringWithParseOptions(text, JSONParseStrict, &error);
    ASSERT_TRUE(value) << error.description << " at " << error.index.value_or(0);
    std::string difference;
    EXPECT_TRUE(sameTree(*value, nlohmann::json::parse(text), "", difference)) << difference;
    for (JSONSerializeOptionFlags options : {JSONSerializeOptionNone, JSONWritePretty,
                                             JSONWriteEscapeUnicode | JSONWriteEscapeSlashes}) {
      const std::optional<std::string> encoded = JSONStringWithOptions(*value, options, &error);
      ASSERT_TRUE(encoded) << error.description;
      JSONValueRef again = objectFromJSONString(*encoded);
      ASSERT_TRUE(again);
      EXPECT_TRUE(again->isEqual(*value)) << "options " << options;
    }
  }
  EXPECT_GE(documents, 1) << "no corpus documents in " << kCorpus;
}

}  // namespace
}  // namespace lorvane
