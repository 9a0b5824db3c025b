// The decoder: structure rules and their messages with index and line,
// numbers, options, the value cache, nesting limits and misuse.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "json/json.h"
#include "json_test_support.h"

namespace lorvane {
namespace {

using json_test::decode;
using json_test::decodeError;
using json_test::expectException;

constexpr const char* kUnexpectedToken =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', "
    "'\"STRING\"', 'NUMBER'.";

struct ErrorCase {
  const char* input;
  const char* message;
  std::size_t index;
  std::size_t line;
};

void expectErrors(const std::vector<ErrorCase>& cases, JSONParseOptionFlags options = 0) {
  for (const ErrorCase& c : cases) {
    SCOPED_TRACE(c.input);
    JSONError error = decodeError(c.input, options);
    EXPECT_EQ(error.domain, "JSONErrorDomain");
    EXPECT_EQ(error.code, -1);
    EXPECT_EQ(error.description, c.message);
    EXPECT_EQ(error.index, c.index);
    EXPECT_EQ(error.line, c.line);
  }
}

TEST(JSONDecoderTest, TopLevelAndStructureErrors) {
  expectErrors({
      {"", "Reached the end of the buffer.", 0, 1},
      {"   ", kUnexpectedToken, 3, 1},
      {"\"a\"", "Expected either '[' or '{'.", 3, 1},
      {"42", "Invalid number.", 2, 1},
      {"true ", "Expected either '[' or '{'.", 4, 1},
      {"[1,2,]", "Unexpected ']'.", 6, 1},
      {"[,1]", "Unexpected ','.", 2, 1},
      {"[1,,2]", "Unexpected ','.", 4, 1},
      {"[1 2]", "Unexpected value.", 4, 1},
      {"[01]", "Unexpected value.", 3, 1},
      {"[1 [2]]", "Unexpected value.", 4, 1},
      {"[1:2]", "Expected a comma or a ']', not ':'", 3, 1},
      {"[}", "Expected a value or a ']', not '}'", 2, 1},
      {"[1,}", "Expected a value, not '}'", 4, 1},
      {"{\"a\":1,}", "Unexpected '}'.", 8, 1},
      {"{1:2}", "Expected a \"STRING\" or a '}', not '1'", 2, 1},
      {"{\"a\":1 \"b\":2}", "Unexpected string.", 10, 1},
      {"{\"a\":1:2}", "Expected a comma or a '}', not ':'", 7, 1},
      {"{\"a\" 1}", "Expected ':'.", 6, 1},
      {"{\"a\":}", "Expected a value or a '}', not '}'", 6, 1},
      {"{\"a\":1,\"b\":]", "Expected a value, not ']'", 12, 1},
      {"[1] x",
       "A valid JSON object was parsed but there were additional non-white-space "
       "characters remaining.",
       4, 1},
      {"[true", kUnexpectedToken, 1, 1},
      {"[truex]", kUnexpectedToken, 5, 1},
      {"[nul]", kUnexpectedToken, 1, 1},
      {"[1", "Invalid number.", 2, 1},
      {"[1,", kUnexpectedToken, 3, 1},
      {"\xef\xbb\xbf[]", kUnexpectedToken, 0, 1},
      {"[\f]", kUnexpectedToken, 1, 1},
  });
}

TEST(JSONDecoderTest, LinesCountLineFeedsCarriageReturnsAndPairsOnce) {
  expectErrors({
      {"[\n1,\n2,\n]", "Unexpected ']'.", 9, 4},
      {"[\r\n1,\r\nx]", kUnexpectedToken, 7, 3},
      {"[\r1,\r\r]", "Unexpected ']'.", 7, 4},
  });
}

TEST(JSONDecoderTest, IndentedLinesOfEveryWidthKeepIndexAndLine) {
  // Indentation shorter than, as long as and longer than a 16-byte block,
  // blank indented lines, a tab or a carriage return right after the
  // spaces, and lines that end within the last 16 bytes of the input.
  for (const std::size_t width : {0, 1, 2, 8, 15, 16, 17, 31, 32, 33, 40}) {
    SCOPED_TRACE(width);
    const std::string indent(width, ' ');
    std::string text = "[1,\n" + indent + "2,\n" + indent + "\n" + indent + "\t3,\n" + indent +
                       "\r\n" + indent + "4,\n" + indent;
    const std::size_t bad = text.size();
    text += "x]";
    expectErrors({{text.c_str(), kUnexpectedToken, bad, 7}});
    std::string good = text.substr(0, bad) + "5\n" + indent + "]" + indent;
    EXPECT_EQ(json_test::encode(*decode(good)), "[1,2,3,4,5]");
    const std::string object =
        "{\n" + indent + "\"a\": 1,\n" + indent + "\"b\":\n" + indent + "\n" + indent + "[true]\n}";
    EXPECT_EQ(json_test::encode(*decode(object)).size(),
              std::string(R"({"a":1,"b":[true]})").size());
    expectErrors({{(object + "\n" + indent + "?").c_str(),
                   "A valid JSON object was parsed but there were additional non-white-space "
                   "characters remaining.",
                   object.size() + 1 + width, 7}});
  }
}

TEST(JSONDecoderTest, AcceptsWhitespaceAroundTheDocument) {
  EXPECT_EQ(json_test::encode(*decode(" \t\r\n[ 1 ,\t2 ] \n\r\n ")), "[1,2]");
  EXPECT_EQ(json_test::encode(*decode("[1] x", JSONParseAllowTrailingText)), "[1]");
  EXPECT_EQ(json_test::encode(*decode("[]")), "[]");
  EXPECT_EQ(json_test::encode(*decode("{}")), "{}");
}

TEST(JSONDecoderTest, NumbersKeepTheirKind) {
  JSONValueRef value = decode(
      "[0,-1,9223372036854775807,9223372036854775808,18446744073709551615,"
      "-9223372036854775808,1.0,1e2,-0,-0.0,0.5E-1]");
  const JSONArray* array = value->asArray();
  const auto kindAt = [&](std::size_t i) { return array->objectAtIndex(i)->kind(); };
  const auto numberAt = [&](std::size_t i) { return array->objectAtIndex(i)->asNumber(); };
  EXPECT_EQ(kindAt(0), JSONValueKind::SignedInteger);
  EXPECT_EQ(numberAt(1)->int64Value(), -1);
  EXPECT_EQ(kindAt(2), JSONValueKind::SignedInteger);
  EXPECT_EQ(numberAt(2)->int64Value(), INT64_MAX);
  EXPECT_EQ(kindAt(3), JSONValueKind::UnsignedInteger);
  EXPECT_EQ(numberAt(3)->uint64Value(), 9223372036854775808ull);
  EXPECT_EQ(numberAt(4)->uint64Value(), UINT64_MAX);
  EXPECT_EQ(numberAt(5)->int64Value(), INT64_MIN);
  EXPECT_EQ(kindAt(6), JSONValueKind::Double);
  EXPECT_EQ(numberAt(7)->doubleValue(), 100.0);
  EXPECT_EQ(kindAt(8), JSONValueKind::Double);
  EXPECT_TRUE(std::signbit(numberAt(8)->doubleValue())) << "-0 is the negative-zero double";
  EXPECT_TRUE(std::signbit(numberAt(9)->doubleValue()));
  EXPECT_EQ(numberAt(10)->doubleValue(), 0.05);
}

TEST(JSONDecoderTest, NumberErrors) {
  expectErrors({
      {"[18446744073709551616]",
       "The value '18446744073709551616' exceeded the maximum value that could be represented: "
       "18446744073709551615.",
       21, 1},
      {"[123456789012345678901234567890]",
       "The value '123456789012345678901234567890' exceeded the maximum value that could be "
       "represented: 18446744073709551615.",
       31, 1},
      {"[-9223372036854775809]",
       "The value '-9223372036854775809' exceeded the minimum value that could be represented: "
       "-9223372036854775808.",
       21, 1},
      {"[1e400]", "The value '1e400' could not be represented as a 'double' due to overflow.", 6,
       1},
      {"[-1e400]", "The value '-1e400' could not be represented as a 'double' due to overflow.", 7,
       1},
      {"[1e-400]", "The value '1e-400' could not be represented as a 'double' due to underflow.", 7,
       1},
      {"[-]", "Invalid number.", 2, 1},
      {"[1.]", "Invalid number.", 3, 1},
      {"[1.e5]", "Invalid number.", 3, 1},
      {"[1e]", "Invalid number.", 3, 1},
      {"[1e+]", "Invalid number.", 4, 1},
      {"[-a]", "Invalid number.", 2, 1},
      {"[.5]", kUnexpectedToken, 1, 1},
      {"[+1]", kUnexpectedToken, 1, 1},
  });
}

TEST(JSONDecoderTest, DoublesAreCorrectlyRounded) {
  // Hard cases for fast paths, checked against the C library.
  const std::vector<std::string> texts = {
      "0.1",
      "0.30000000000000004",
      "2.2250738585072014e-308",
      "2.2250738585072011e-308",
      "1.7976931348623157e308",
      "4.9e-324",
      "5e-324",
      "1e-310",
      "9007199254740993.0",
      "9007199254740992.5",
      "123456789012345678901234567890.0",
      "1e23",
      "8.98846567431158e307",
      "0.0000000000000000000000000000000000000001",
      "2.4703282292062328e-324",
      "1.00000000000000011102230246251565404236316680908203125",
      "1.000000000000000111022302462515654042363166809082031250000000001",
      "7.2057594037927933e16",
      "3.0000000000000004e-22",
      "-65.613616999999977",
      std::string("1.") + std::string(300, '7') + "e-5"};
  for (const std::string& text : texts) {
    SCOPED_TRACE(text);
    JSONValueRef value = decode("[" + text + "]");
    ASSERT_TRUE(value);
    const double expected = std::strtod(text.c_str(), nullptr);
    const double got = value->asArray()->objectAtIndex(0)->asNumber()->doubleValue();
    EXPECT_EQ(std::memcmp(&expected, &got, sizeof got), 0) << got << " vs " << expected;
  }
}

TEST(JSONDecoderTest, RandomDoublesRoundTripThroughTheirText) {
  std::mt19937_64 random(20240601);
  std::string document = "[";
  std::vector<double> expected;
  for (int i = 0; i < 20000; ++i) {
    double value;
    if (i % 2) {
      std::uint64_t bits = random();
      std::memcpy(&value, &bits, sizeof value);
      if (!std::isfinite(value)) continue;
    } else {
      value = std::uniform_real_distribution<double>(-1000, 1000)(random);
    }
    char text[40];
    std::snprintf(text, sizeof text, i % 3 ? "%.17g" : "%.15g", value);
    if (expected.size()) document += ',';
    document += text;
    expected.push_back(std::strtod(text, nullptr));
  }
  document += "]";
  JSONValueRef value = decode(document);
  ASSERT_TRUE(value);
  const JSONArray* array = value->asArray();
  ASSERT_EQ(array->count(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const double got = array->objectAtIndex(i)->asNumber()->doubleValue();
    ASSERT_EQ(std::memcmp(&got, &expected[i], sizeof got), 0) << i << ": " << expected[i];
  }
}

TEST(JSONDecoderTest, CommentsAreSkippedOnlyWhenAllowed) {
  const char* text = "[1 /* one */,// two follows\n2]";
  EXPECT_EQ(json_test::encode(*decode(text, JSONParseAllowComments)), "[1,2]");
  expectErrors({{text, kUnexpectedToken, 3, 1}});
  expectErrors(
      {
          {"[1, /* a\nb\r\nc */ x]", kUnexpectedToken, 17, 3},
          {"[1] // trailing\n/* and */ x",
           "A valid JSON object was parsed but there were "
           "additional non-white-space characters remaining.",
           26, 2},
          {"[1, / 2]", kUnexpectedToken, 4, 1},
          {"[1 /", kUnexpectedToken, 3, 1},
          {"[1 /* never closed", kUnexpectedToken, 18, 1},
      },
      JSONParseAllowComments);
  EXPECT_TRUE(decode("[1] /* done */ // really\n", JSONParseAllowComments));
}

TEST(JSONDecoderTest, UnicodeLineBreaksOnlyWithTheOption) {
  const std::string text =
      "[1,\xe2\x80\xa8"
      "2,\xc2\x85"
      "3\xe2\x80\xa9]";
  expectErrors({{text.c_str(), kUnexpectedToken, 3, 1}});
  EXPECT_EQ(json_test::encode(*decode(text, JSONParseUnicodeLineBreaks)), "[1,2,3]");
  expectErrors({{"[1,\xe2\x80\xa8x]", kUnexpectedToken, 6, 2}}, JSONParseUnicodeLineBreaks);
  // They also end a line comment.
  EXPECT_TRUE(
      decode("[1,// note\xe2\x80\xa9"
             "2]",
             JSONParseUnicodeLineBreaks | JSONParseAllowComments));
}

TEST(JSONDecoderTest, SameKeyTextIsOneSharedObject) {
  JSONValueRef value = decode(R"([{"id":1,"name":"x"},{"id":2,"name":"x"},{"id":1}])");
  const JSONArray* array = value->asArray();
  const auto keyOf = [&](std::size_t i) {
    const JSONDictionary* object = array->objectAtIndex(i)->asDictionary();
    for (const JSONDictionary::Entry& entry : *object) {
      if (entry.key->stringValue() == "id") return std::make_pair(entry.key, entry.value);
    }
    return std::pair<JSONValue*, JSONValue*>();
  };
  EXPECT_EQ(keyOf(0).first, keyOf(1).first);
  EXPECT_EQ(keyOf(0).first, keyOf(2).first);
  EXPECT_EQ(keyOf(0).second, keyOf(2).second) << "repeated numbers are shared too";
  EXPECT_EQ(array->objectAtIndex(0)->asDictionary()->objectForKey("name"),
            array->objectAtIndex(1)->asDictionary()->objectForKey("name"));
  // The one-shot decoder's cache is gone: the key is held by its three
  // dictionaries only.
  EXPECT_EQ(keyOf(0).first->referenceCount(), 3u);
}

TEST(JSONDecoderTest, DecoderCacheSpansCallsUntilCleared) {
  JSONDecoder decoder;
  const std::string text = R"({"shared key":"shared value"})";
  JSONValueRef first = decoder.objectWithUTF8String(text.data(), text.size());
  JSONValueRef second = decoder.objectWithUTF8String(text.data(), text.size());
  EXPECT_EQ(first->asDictionary()->objectForKey("shared key"),
            second->asDictionary()->objectForKey("shared key"));
  decoder.clearCache();
  JSONValueRef third = decoder.objectWithUTF8String(text.data(), text.size());
  EXPECT_NE(first->asDictionary()->objectForKey("shared key"),
            third->asDictionary()->objectForKey("shared key"));
  EXPECT_TRUE(first->isEqual(*third));
}

// Values that the decode itself drops again (a repeated key's earlier
// value, everything after a failure) must leave the cache sound, for the
// rest of the call and for later calls on the same decoder.
TEST(JSONDecoderTest, CacheSurvivesValuesDroppedDuringTheCall) {
  JSONDecoder decoder;
  const auto decodeWith = [&](const std::string& text) {
    return decoder.objectWithUTF8String(text.data(), text.size());
  };
  JSONValueRef repeated = decodeWith(R"([{"a":"dropped","a":1.5},"dropped",{"b":"dropped"},1.5])");
  ASSERT_TRUE(repeated);
  const JSONArray* array = repeated->asArray();
  EXPECT_EQ(array->objectAtIndex(1)->stringValue(), "dropped");
  EXPECT_EQ(array->objectAtIndex(2)->asDictionary()->objectForKey("b"), array->objectAtIndex(1));
  // Held by the array, the second dictionary and the decoder's cache.
  EXPECT_EQ(array->objectAtIndex(1)->referenceCount(), 3u);

  EXPECT_FALSE(decodeWith(R"(["lost","lost",{"k":"lost"},)"));
  EXPECT_FALSE(decodeWith(R"(["tail","tail"] x)"));
  JSONValueRef after = decodeWith(R"(["lost","tail","dropped",{"k":"lost"}])");
  ASSERT_TRUE(after);
  EXPECT_EQ(json_test::encode(*after), R"(["lost","tail","dropped",{"k":"lost"}])");
  EXPECT_EQ(after->asArray()->objectAtIndex(2), array->objectAtIndex(1))
      << "shared with the earlier call's tree";
  repeated.reset();
  EXPECT_EQ(after->asArray()->objectAtIndex(2)->referenceCount(), 2u);
  decoder.clearCache();
  EXPECT_EQ(after->asArray()->objectAtIndex(2)->referenceCount(), 1u);
  EXPECT_EQ(after->asArray()->objectAtIndex(0)->referenceCount(), 2u) << "used twice in the tree";

  // The same through the one-shot entry points, whose cache ends with the call.
  JSONValueRef once = objectFromJSONString(R"([{"a":"x","a":"y"},"x",{"a":"x"}])");
  ASSERT_TRUE(once);
  EXPECT_EQ(once->asArray()->objectAtIndex(1)->referenceCount(), 2u);
  EXPECT_FALSE(objectFromJSONString(R"(["x",{"a":"x","a":"x"},"x")"));
}

// Doubles that keep missing the cache stop using it for the rest of the
// call; repeated ones, integers and strings are shared all the same.
TEST(JSONDecoderTest, DoublesThatNeverRepeatSkipTheCacheForTheRestOfTheCall) {
  std::string unique = "[";
  for (int i = 0; i < 3000; ++i) unique += std::to_string(i) + ".25,";
  unique += R"(0.125,0.125,7,7,"s","s"])";
  const auto expectUnshared = [](const JSONValueRef& value) {
    ASSERT_TRUE(value);
    const JSONArray* array = value->asArray();
    ASSERT_EQ(array->count(), 3006u);
    EXPECT_EQ(array->objectAtIndex(2999)->asNumber()->doubleValue(), 2999.25);
    const JSONValue* first = array->objectAtIndex(3000);
    const JSONValue* second = array->objectAtIndex(3001);
    EXPECT_NE(first, second) << "made without the cache";
    EXPECT_TRUE(first->isEqual(*second));
    EXPECT_EQ(array->objectAtIndex(3002), array->objectAtIndex(3003)) << "integers still shared";
    EXPECT_EQ(array->objectAtIndex(3004), array->objectAtIndex(3005)) << "strings still shared";
  };
  expectUnshared(objectFromJSONString(unique));
  JSONDecoder decoder;
  expectUnshared(decoder.objectWithUTF8String(unique.data(), unique.size()));
  // The choice is made afresh in every call: a document whose doubles
  // repeat keeps sharing them, even on the decoder that gave up before.
  std::string repeating = "[";
  for (int i = 0; i < 3000; ++i) repeating += std::to_string(i % 10) + ".5,";
  repeating += "3.5]";
  JSONValueRef value = decoder.objectWithUTF8String(repeating.data(), repeating.size());
  ASSERT_TRUE(value);
  const JSONArray* array = value->asArray();
  EXPECT_EQ(array->objectAtIndex(3), array->objectAtIndex(3000));
  EXPECT_EQ(array->objectAtIndex(3)->asNumber()->doubleValue(), 3.5);
  EXPECT_EQ(array->objectAtIndex(3)->referenceCount(), 302u) << "300 + 1 elements and the cache";
}

// Tearing a tree down sums the references it drops to each shared value;
// every sum must arrive, also when many shared values compete for the
// summing table and when another tree holds the same values.
TEST(JSONDecoderTest, TearingDownATreeDropsEachSharedReferenceOnce) {
  std::string text = "[";
  for (int i = 0; i < 4000; ++i) {
    if (i) text += ',';
    // key0 in every object; key1..key61 in turns, so that many shared
    // values are dropped interleaved.
    text += R"({"key0":"common","key)" + std::to_string(1 + i % 61) + R"(":)" +
            std::to_string(i % 3) + "}";
  }
  text += "]";
  JSONDecoder decoder;
  JSONValueRef first = decoder.objectWithUTF8String(text.data(), text.size());
  JSONValueRef second = decoder.objectWithUTF8String(text.data(), text.size());
  ASSERT_TRUE(first && second);
  decoder.clearCache();
  const auto uses = [](const JSONValueRef& tree, const JSONValue* value) {
    std::uint32_t count = 0;
    for (const JSONValue* element : *tree->asArray()) {
      for (const JSONDictionary::Entry& entry : *element->asDictionary()) {
        count += (entry.key == value) + (entry.value == value);
      }
    }
    return count;
  };
  const JSONDictionary* sample = first->asArray()->objectAtIndex(7)->asDictionary();
  std::vector<JSONValueRef> held;
  for (const JSONDictionary::Entry& entry : *sample) {
    held.push_back(JSONValueRef::retain(entry.key));
    held.push_back(JSONValueRef::retain(entry.value));
  }
  ASSERT_EQ(held.size(), 4u);
  std::vector<std::uint32_t> inSecond;
  for (const JSONValueRef& value : held) {
    const std::uint32_t inFirst = uses(first, value.get());
    inSecond.push_back(uses(second, value.get()));
    EXPECT_GT(inFirst, 60u) << value->className();
    EXPECT_EQ(inSecond.back(), inFirst) << "shared across the two calls";
    EXPECT_EQ(value->referenceCount(), inFirst + inSecond.back() + 1);
  }
  first.reset();
  for (std::size_t i = 0; i < held.size(); ++i) {
    EXPECT_EQ(held[i]->referenceCount(), inSecond[i] + 1) << i;
  }
  second.reset();
  for (const JSONValueRef& value : held) EXPECT_EQ(value->referenceCount(), 1u);
  // Still whole: object 7 is {"key0":"common","key8":1}.
  std::vector<std::string> texts;
  for (const JSONValueRef& value : held) {
    texts.push_back(value->isString() ? value->asString()->str()
                                      : std::to_string(value->asNumber()->int64Value()));
  }
  std::sort(texts.begin(), texts.end());
  EXPECT_EQ(texts, (std::vector<std::string>{"1", "common", "key0", "key8"}));
}

TEST(JSONDecoderTest, CacheNeverConfusesDistinctValues) {
  // Many more distinct strings and numbers than cache slots, repeated, so
  // that slots are probed, aged and replaced all the time.
  std::mt19937 random(7);
  std::string document = "[";
  std::vector<std::string> expected;
  for (int i = 0; i < 30000; ++i) {
    const unsigned id = random() % 3000;
    std::string item = (id % 2) ? "\"s" + std::to_string(id) + "\"" : std::to_string(id * 7919);
    if (i) document += ',';
    document += item;
    expected.push_back(item);
  }
  document += "]";
  JSONDecoder decoder;
  for (int round = 0; round < 2; ++round) {
    JSONValueRef value = decoder.objectWithUTF8String(document.data(), document.size());
    ASSERT_TRUE(value);
    const JSONArray* array = value->asArray();
    ASSERT_EQ(array->count(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
      const JSONValue* element = array->objectAtIndex(i);
      const std::string text = element->isString()
                                   ? "\"" + element->asString()->str() + "\""
                                   : std::to_string(element->asNumber()->int64Value());
      ASSERT_EQ(text, expected[i]) << i;
    }
  }
}

TEST(JSONDecoderTest, MutableEntryPointsMakeEveryCollectionMutable) {
  JSONValueRef value = json_test::decodeMutable(R"({"list":[1,{"inner":[]}]})");
  JSONDictionary* outer = value->asDictionary();
  EXPECT_EQ(outer->mutations(), 1u);
  JSONArray* list = outer->objectForKey("list")->asArray();
  EXPECT_TRUE(list->isMutable());
  EXPECT_TRUE(list->objectAtIndex(1)->asDictionary()->isMutable());
  list->addObject(JSONValue::null());
  EXPECT_EQ(json_test::encode(*list), R"([1,{"inner":[]},null])");
  EXPECT_FALSE(decode("[[]]")->asArray()->objectAtIndex(0)->asArray()->isMutable());
}

std::string nested(std::size_t depth) {
  return std::string(depth, '[') + std::string(depth, ']');
}

TEST(JSONDecoderTest, NestingIsLimitedWithAClearError) {
  EXPECT_TRUE(decode(nested(JSONDecoder::kDefaultMaximumDepth)));
  JSONError error = decodeError(nested(JSONDecoder::kDefaultMaximumDepth + 1));
  EXPECT_EQ(error.description, "The arrays and objects are nested more than 4096 levels deep.");
  EXPECT_EQ(error.index, 4097u);
  // Unclosed openings far past any stack depth fail cleanly.
  EXPECT_EQ(decodeError(std::string(100000, '[')).index, 4097u);

  JSONDecoder decoder;
  decoder.setMaximumDepth(3);
  const std::string deep = "[{\"a\":[[1]]}]";
  JSONError limited;
  EXPECT_FALSE(decoder.objectWithUTF8String(deep.data(), deep.size(), &limited));
  EXPECT_EQ(limited.description, "The arrays and objects are nested more than 3 levels deep.");
  decoder.setMaximumDepth(4);
  EXPECT_TRUE(decoder.objectWithUTF8String(deep.data(), deep.size()));
}

TEST(JSONDecoderTest, MisuseThrows) {
  expectException([] { JSONDecoder decoder(16); }, JSONException::InvalidArgument,
                  "Invalid parse options.");
  EXPECT_NO_THROW(JSONDecoder decoder(15));
  JSONDecoder decoder;
  expectException([&] { decoder.objectWithUTF8String(nullptr, 0); }, JSONException::InvalidArgument,
                  "The string argument is NULL.");
  JSONDecoder moved = std::move(decoder);
  expectException([&] { decoder.objectWithUTF8String("[]", 2); },
                  JSONException::InternalInconsistency, "parseState is NULL.");
  EXPECT_TRUE(moved.objectWithUTF8String("[]", 2));
  expectException([] { objectFromJSONStringWithParseOptions("[]", 99); },
                  JSONException::InvalidArgument, "Invalid parse options.");
}

TEST(JSONDecoderTest, ErrorIsWrittenOnlyOnFailureAndDecoderRecovers) {
  JSONDecoder decoder(JSONParseStrict);
  JSONError error;
  error.description = "untouched";
  EXPECT_TRUE(decoder.objectWithUTF8String("[1]", 3, &error));
  EXPECT_EQ(error.description, "untouched");
  EXPECT_FALSE(decoder.objectWithUTF8String("[1,]", 4, &error));
  EXPECT_EQ(error.description, "Unexpected ']'.");
  JSONValueRef again = decoder.objectWithUTF8String("[1]", 3, &error);
  ASSERT_TRUE(again);
  EXPECT_EQ(json_test::encode(*again), "[1]");
}

TEST(JSONDecoderTest, LengthCountsBytesAndDataEntryPointsMatchText) {
  JSONDecoder decoder;
  // A NUL byte is an ordinary byte: here it is an unexpected token.
  JSONError error;
  EXPECT_FALSE(decoder.objectWithUTF8String("[1,\0]", 5, &error));
  EXPECT_EQ(error.description, kUnexpectedToken);
  EXPECT_EQ(error.index, 3u);
  EXPECT_TRUE(decoder.objectWithUTF8String("[1]garbage", 3));

  const std::vector<std::uint8_t> bytes = {'{', '"', 'k', '"', ':', '[', '1', ']', '}'};
  JSONValueRef fromData = objectFromJSONData(bytes);
  ASSERT_TRUE(fromData);
  EXPECT_TRUE(fromData->isEqual(*decode(R"({"k":[1]})")));
  EXPECT_TRUE(mutableObjectFromJSONData(bytes)->asDictionary()->isMutable());
  JSONError empty;
  EXPECT_FALSE(objectFromJSONDataWithParseOptions({}, JSONParseStrict, &empty));
  EXPECT_EQ(empty.description, "Reached the end of the buffer.");
}

}  // namespace
}  // namespace lorvane
