// The encoder: layout, escaping, numbers, options, entry points, errors
// and the unsupported-class hook.

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "json/json.h"
#include "json/json_number_format.h"
#include "json_test_support.h"

namespace lorvane {
namespace {

using json_test::decode;
using json_test::encode;
using json_test::expectException;
using json_test::number;
using json_test::string;

std::string encodeError(const JSONValue& value, JSONSerializeOptionFlags options = 0) {
  JSONError error;
  EXPECT_FALSE(JSONStringWithOptions(value, options, &error));
  EXPECT_EQ(error.domain, "JSONErrorDomain");
  EXPECT_EQ(error.code, -1);
  EXPECT_FALSE(error.index);
  return error.description;
}

JSONRef<JSONArray> arrayOf(std::initializer_list<JSONValueRef> elements) {
  JSONRef<JSONArray> array = JSONArray::mutableArray();
  for (const JSONValueRef& element : elements) array->addObject(element);
  return array;
}

TEST(JSONEncoderTest, CompactOutputHasOnlyTokens) {
  EXPECT_EQ(encode(*decode(R"( [ 1 , [ ] , { } , "a" , true , false , null ] )")),
            R"([1,[],{},"a",true,false,null])");
  EXPECT_EQ(encode(*decode(R"({"a" : [1, {"b" : null}]})")), R"({"a":[1,{"b":null}]})");
}

TEST(JSONEncoderTest, CompactDictionaryFollowsItsSlotOrder) {
  JSONValueRef value = decode(R"({"one":1,"two":2,"three":3,"four":4,"five":5})");
  std::string expected = "{";
  for (const JSONDictionary::Entry& entry : *value->asDictionary()) {
    if (expected.size() > 1) expected += ',';
    expected += "\"" + entry.key->asString()->str() +
                "\":" + std::to_string(entry.value->asNumber()->int64Value());
  }
  expected += "}";
  EXPECT_EQ(encode(*value), expected);
}

TEST(JSONEncoderTest, PrettyOutputIndentsAndSortsKeys) {
  JSONValueRef value = decode(R"({"b":[1,{"d":null,"c":"x"}],"a":{},"e":[]})");
  EXPECT_EQ(encode(*value, JSONWritePretty),
            "{\n"
            "  \"a\": {\n"
            "    \n"
            "  },\n"
            "  \"b\": [\n"
            "    1,\n"
            "    {\n"
            "      \"c\": \"x\",\n"
            "      \"d\": null\n"
            "    }\n"
            "  ],\n"
            "  \"e\": [\n"
            "    \n"
            "  ]\n"
            "}");
  EXPECT_EQ(encode(*decode("{}"), JSONWritePretty), "{\n  \n}");
}

TEST(JSONEncoderTest, EscapingRules) {
  JSONValueRef value = arrayOf(
      {string("tab\tLF\nCR\rFF\fBS\b\x01\x0b\x1f\x7f"), string("quote\" backslash\\ slash/")});
  EXPECT_EQ(encode(*value),
            "[\"tab\\tLF\\nCR\\rFF\\fBS\\b\\u0001\\u000b\\u001f\x7f\","
            "\"quote\\\" backslash\\\\ slash/\"]");
  EXPECT_EQ(encode(*arrayOf({string("a/b")}), JSONWriteEscapeSlashes), "[\"a\\/b\"]");
  JSONValueRef unicode = arrayOf({string("caf\xc3\xa9 \xf0\x9f\x98\x80")});
  EXPECT_EQ(encode(*unicode), "[\"caf\xc3\xa9 \xf0\x9f\x98\x80\"]");
  EXPECT_EQ(encode(*unicode, JSONWriteEscapeUnicode), "[\"caf\\u00e9 \\ud83d\\ude00\"]");
}

// A plain byte-at-a-time escaper to hold the block-wise one against.
std::string referenceEscape(std::string_view text, bool slashes) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else if (c == '/' && slashes) {
          out += "\\/";
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out + "\"";
}

TEST(JSONEncoderTest, EscapingMatchesAReferenceAtEveryOffset) {
  std::mt19937 random(3);
  const std::string alphabet = std::string("abc/\"\\\n\t\x01\x1f ~") + "\xc3\xa9";
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const std::size_t length = random() % 70;
    while (text.size() < length) {
      const std::size_t pick = random() % (alphabet.size() - 1);
      // Keep the two-byte character whole.
      text += pick == alphabet.size() - 2 ? alphabet.substr(pick, 2) : alphabet.substr(pick, 1);
    }
    for (bool slashes : {false, true}) {
      JSONValueRef value = arrayOf({string(text)});
      ASSERT_EQ(encode(*value, slashes ? JSONWriteEscapeSlashes : 0),
                "[" + referenceEscape(text, slashes) + "]");
    }
  }
}

TEST(JSONEncoderTest, IntegersAtTheirLimits) {
  JSONValueRef value = arrayOf({number(INT64_MIN), number(INT64_MAX), number(-9), number(0),
                                JSONNumber::withUInt64(UINT64_MAX), number(10), number(-10)});
  EXPECT_EQ(encode(*value),
            "[-9223372036854775808,9223372036854775807,-9,0,18446744073709551615,10,-10]");
}

TEST(JSONEncoderTest, DoublesUsePercent17g) {
  JSONValueRef value = arrayOf({JSONNumber::withDouble(0.1), JSONNumber::withDouble(-0.0),
                                JSONNumber::withDouble(1e20), JSONNumber::withDouble(1e17),
                                JSONNumber::withDouble(1.5), JSONNumber::withDouble(1e-5),
                                JSONNumber::withDouble(5e-324)});
  EXPECT_EQ(encode(*value),
            "[0.10000000000000001,-0,1e+20,1e+17,1.5,1.0000000000000001e-05,"
            "4.9406564584124654e-324]");
}

TEST(JSONEncoderTest, NonFiniteDoublesFail) {
  const std::string message =
      "Floating point values must be finite.  JSON does not support NaN or Infinity.";
  EXPECT_EQ(encodeError(*arrayOf({JSONNumber::withDouble(std::nan(""))})), message);
  EXPECT_EQ(encodeError(*arrayOf({JSONNumber::withDouble(-INFINITY)})), message);
}

// The formatter is held against the C library on many doubles: random bit
// patterns, ordinary ranges, and values that sit on rounding ties.
TEST(JSONEncoderTest, DoubleTextMatchesPrintfExactly) {
  std::vector<double> values = {1000000000000000.25,
                                0.5,
                                2.5e-5,
                                9007199254740993.0,
                                DBL_MAX,
                                DBL_MIN,
                                DBL_TRUE_MIN,
                                1e16,
                                1e17 - 8,
                                123456789012345680.0,
                                0.30000000000000004,
                                1e-4,
                                9.9999999999999995e-5,
                                1e16 + 2};
  std::mt19937_64 random(11);
  for (int i = 0; i < 100000; ++i) {
    std::uint64_t bits = random();
    double value;
    std::memcpy(&value, &bits, sizeof value);
    if (std::isfinite(value)) values.push_back(value);
    values.push_back(std::uniform_real_distribution<double>(-200, 200)(random));
    values.push_back(static_cast<double>(random() >> (random() % 64)));
  }
  for (int exponent = -320; exponent <= 308; ++exponent) {
    values.push_back(std::pow(10.0, exponent));
    values.push_back(std::nextafter(std::pow(10.0, exponent), 0.0));
  }
  char ours[40];
  char theirs[40];
  for (double value : values) {
    *json_detail::formatDouble(value, ours) = '\0';
    std::snprintf(theirs, sizeof theirs, "%.17g", value);
    ASSERT_STREQ(ours, theirs);
  }
}

TEST(JSONEncoderTest, KeysMustBeStrings) {
  JSONRef<JSONDictionary> dictionary = JSONDictionary::mutableDictionary();
  dictionary->setObject(string("x"), number(1));
  EXPECT_EQ(encodeError(*dictionary), "Key must be a string object.");
  EXPECT_EQ(encodeError(*dictionary, JSONWritePretty), "Key must be a string object.");
}

TEST(JSONEncoderTest, EntryPointsCheckWhatTheyAreGiven) {
  EXPECT_EQ(encodeError(*string("text")),
            "Unable to serialize object class JSONStringValue, expected a NSArray or "
            "NSDictionary.");
  EXPECT_EQ(encodeError(*number(1)),
            "Unable to serialize object class JSONNumber, expected a NSArray or NSDictionary.");
  JSONError error;
  EXPECT_FALSE(JSONStringWithOptions(*decode("[1]"), 0, true, &error));
  EXPECT_EQ(error.description, "Unable to serialize object class JSONArray, expected a NSString.");
  EXPECT_FALSE(JSONSerializer::serializeObject(*decode("[1]"), 0, JSONEncodeOptionCollectionObj,
                                               nullptr, nullptr, &error));
  EXPECT_EQ(error.description, "Unknown encode as type.");
  expectException([] { JSONStringWithOptions(*decode("[1]"), 4, nullptr); },
                  JSONException::InvalidArgument, "Invalid serialize options.");
}

TEST(JSONEncoderTest, StringsEncodeOnTheirOwnWithOrWithoutQuotes) {
  JSONValueRef text = string("say \"hi\"\n");
  EXPECT_EQ(JSONString(*text), "\"say \\\"hi\\\"\\n\"");
  EXPECT_EQ(JSONStringWithOptions(*text, 0, false, nullptr), "say \\\"hi\\\"\\n");
  const auto bytes = JSONDataWithOptions(*text, 0, true, nullptr);
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), "\"say \\\"hi\\\"\\n\"");
  JSONValueRef document = decode(R"({"k":["v",1.5]})");
  const auto data = JSONData(*document);
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(data->begin(), data->end()), *JSONString(*document));
}

TEST(JSONEncoderTest, RepeatedObjectsAreWrittenAgainCorrectly) {
  // The same string and number objects many times, which the encoder copies
  // from their first text.
  JSONValueRef shared = string("caf\xc3\xa9/\"");
  JSONValueRef count = JSONNumber::withDouble(0.25);
  JSONRef<JSONArray> array = JSONArray::mutableArray();
  for (int i = 0; i < 5; ++i) {
    array->addObject(shared);
    array->addObject(count);
    array->addObject(JSONValue::null());
  }
  const std::string one = "\"caf\\u00e9\\/\\\"\",0.25,null";
  EXPECT_EQ(encode(*array, JSONWriteEscapeUnicode | JSONWriteEscapeSlashes),
            "[" + one + "," + one + "," + one + "," + one + "," + one + "]");
}

class Point : public JSONCustomObject {
 public:
  Point(int x, int y) : x(x), y(y) {}
  std::string className() const override { return "Point"; }
  int x;
  int y;
};

JSONValueRef pointAsArray(const JSONValue& object) {
  const auto& point = static_cast<const Point&>(object);
  return arrayOf({number(point.x), number(point.y)});
}

TEST(JSONEncoderTest, UnsupportedObjectsNeedAHook) {
  JSONValueRef value = arrayOf({JSONCustomObject::make<Point>(1, 2)});
  EXPECT_EQ(encodeError(*value), "Unable to serialize object class Point.");

  const JSONSerializeBlock block = [](const JSONValue& object) { return pointAsArray(object); };
  JSONError error;
  EXPECT_EQ(JSONStringWithOptions(*value, 0, block, &error), "[[1,2]]");

  struct Delegate : JSONSerializeDelegate {
    JSONValueRef serializeUnsupportedObject(const JSONValue& object) override {
      ++calls;
      return pointAsArray(object);
    }
    int calls = 0;
  } delegate;
  EXPECT_EQ(JSONStringWithOptions(*value, 0, delegate, &error), "[[1,2]]");
  EXPECT_EQ(delegate.calls, 1);
  const auto data = JSONDataWithOptions(*value, 0, delegate, &error);
  ASSERT_TRUE(data);
  EXPECT_EQ(std::string(data->begin(), data->end()), "[[1,2]]");

  // A block that declines leaves the object to the delegate, which sees it.
  const JSONSerializeBlock declining = [](const JSONValue&) { return JSONValueRef(); };
  EXPECT_EQ(JSONSerializer::serializeObject(*value, 0, JSONEncodeOptionAsString, &declining,
                                            &delegate, &error),
            "[[1,2]]");
  EXPECT_EQ(delegate.calls, 3);
}

TEST(JSONEncoderTest, AHookMustReturnSomethingEncodable) {
  JSONValueRef value = arrayOf({JSONCustomObject::make<Point>(1, 2)});
  const JSONSerializeBlock stubborn = [](const JSONValue&) -> JSONValueRef {
    return JSONCustomObject::make<Point>(0, 0);
  };
  JSONError error;
  EXPECT_FALSE(JSONStringWithOptions(*value, 0, stubborn, &error));
  EXPECT_EQ(error.description,
            "Unable to serialize object class Point that was returned by the unsupported class "
            "formatter.  Original object class was Point.");
}

TEST(JSONEncoderTest, FreshReplacementsAreNeverMistakenForEachOther) {
  // Each replacement is a new string dropped by the hook's caller; were it
  // freed at once, the next one could reuse its address and the encoder
  // would copy the previous text.
  JSONRef<JSONArray> array = JSONArray::mutableArray();
  for (int i = 0; i < 50; ++i) array->addObject(JSONCustomObject::make<Point>(i, 0));
  const JSONSerializeBlock block = [](const JSONValue& object) -> JSONValueRef {
    return string("p" + std::to_string(static_cast<const Point&>(object).x));
  };
  const std::optional<std::string> text = JSONStringWithOptions(*array, 0, block, nullptr);
  ASSERT_TRUE(text);
  std::string expected = "[";
  for (int i = 0; i < 50; ++i) expected += (i ? ",\"p" : "\"p") + std::to_string(i) + "\"";
  EXPECT_EQ(*text, expected + "]");
}

TEST(JSONEncoderTest, CyclesAndDeepNestingFailWithAnError) {
  JSONRef<JSONArray> loop = JSONArray::mutableArray();
  loop->addObject(loop);
  EXPECT_EQ(encodeError(*loop), "The arrays and objects are nested more than 4096 levels deep.");
  // Break the cycle so the array can be freed.
  loop->removeObjectAtIndex(0);
  const std::string deepest = std::string(4096, '[') + std::string(4096, ']');
  EXPECT_EQ(encode(*decode(deepest)), deepest);
}

}  // namespace
}  // namespace lorvane
