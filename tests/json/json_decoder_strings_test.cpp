// The decoder's strings: escapes, surrogates, UTF-8 checks and their
// repair, and the block-wise scanner at every offset.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "json/json.h"
#include "json/json_hash.h"
#include "json_test_support.h"

namespace lorvane {
namespace {

using json_test::decode;
using json_test::decodeError;

const std::string kReplacement = "\xef\xbf\xbd";

// The single string of a one-element array document.
std::string stringIn(std::string_view document, JSONParseOptionFlags options = JSONParseStrict) {
  JSONValueRef value = decode(document, options);
  if (!value) return "<failed>";
  return value->asArray()->objectAtIndex(0)->asString()->str();
}

TEST(JSONDecoderStringsTest, EscapesDecodeToTheirBytes) {
  EXPECT_EQ(stringIn(R"(["\"\\\/\b\f\n\r\t"])"), "\"\\/\b\f\n\r\t");
  EXPECT_EQ(stringIn(R"(["\u00e9\u00C9\u20ac"])"), "\xc3\xa9\xc3\x89\xe2\x82\xac");
  EXPECT_EQ(stringIn(R"(["\ud83d\ude00"])"), "\xf0\x9f\x98\x80");
  EXPECT_EQ(stringIn(R"(["\u0041\u007f"])"), "A\x7f");
  EXPECT_EQ(stringIn("[\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\"]"),
            "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80");
  EXPECT_EQ(decode(R"(["",""])")->asArray()->objectAtIndex(1), JSONStringValue::empty().get());
}

TEST(JSONDecoderStringsTest, StrictModeRejectsInvalidEscapesAndBytes) {
  const struct {
    std::string input;
    std::string message;
  } cases[] = {
      {R"(["\ud800"])",
       "Required a second \\u Unicode escape sequence following a surrogate \\u "
       "Unicode escape sequence."},
      {R"(["\ud800x"])",
       "Required a second \\u Unicode escape sequence following a surrogate \\u "
       "Unicode escape sequence."},
      {R"(["\ud800\u0041"])", "Illegal \\u Unicode escape sequence."},
      {R"(["\udc00"])", "Illegal \\u Unicode escape sequence."},
      {R"(["\u0000"])", "Illegal \\u Unicode escape sequence."},
      {R"(["\ufffe"])", "Illegal \\u Unicode escape sequence."},
      {R"(["\ufdd0"])", "Illegal \\u Unicode escape sequence."},
      {R"(["\ud83f\udffe"])", "Illegal \\u Unicode escape sequence."},
      {R"(["\u12G4"])",
       "Unexpected character found in \\u Unicode escape sequence.  Found 'G', "
       "expected [0-9a-fA-F]."},
      {R"(["\x"])", "Invalid escape sequence found in \"\" string."},
      {"[\"\t\"]", "Invalid character < 0x20 found in string: 0x09."},
      {std::string("[\"a\0b\"]", 7), "Invalid character < 0x20 found in string: 0x00."},
      {"[\"\\n\x1f\"]", "Invalid character < 0x20 found in string: 0x1f."},
      {"[\"\xff\"]", "Illegal UTF8 sequence found in \"\" string."},
      {"[\"\xef\xbf\xbf\"]", "Illegal UTF8 sequence found in \"\" string."},
      {"[\"\xed\xa0\x80\"]", "Illegal UTF8 sequence found in \"\" string."},
      {"[\"\xe2\x82", "End of buffer reached while parsing UTF8 in \"\" string."},
      {"[\"abc", "Invalid string."},
      {"[\"abc\\", "Invalid string."},
      {"[\"\\u12", "Invalid string."},
      {"[\"\\ud800", "Invalid string."},
      {"[\"\\ud800\\", "Invalid string."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    JSONError error = decodeError(c.input);
    EXPECT_EQ(error.description, c.message);
    EXPECT_EQ(error.index, 1u) << "string errors point at the opening quote";
  }
  JSONError onLineTwo = decodeError("[1,\n  \"bad \\q\"]");
  EXPECT_EQ(onLineTwo.index, 6u);
  EXPECT_EQ(onLineTwo.line, 2u);
}

TEST(JSONDecoderStringsTest, ReplacementModeRepairsInsteadOfFailing) {
  const JSONParseOptionFlags replace = JSONParseReplaceInvalidUnicode;
  const std::string r = kReplacement;
  EXPECT_EQ(stringIn("[\"a\xff"
                     "b\"]",
                     replace),
            "a" + r + "b");
  // Decoding resumes at the first byte that cannot continue the sequence.
  EXPECT_EQ(stringIn("[\"\xe2\x28\xa1\"]", replace), r + "(" + r);
  EXPECT_EQ(stringIn("[\"\xc0\x80x\"]", replace), r + "x");
  EXPECT_EQ(stringIn("[\"\xed\xa0\x80\"]", replace), r);
  EXPECT_EQ(stringIn("[\"\xf4\x90\x80\x80!\"]", replace), r + "!");
  EXPECT_EQ(stringIn("[\"\xef\xbf\xbf\"]", replace), r) << "a well-formed noncharacter";
  EXPECT_EQ(stringIn(R"(["\ud800"])", replace), r);
  EXPECT_EQ(stringIn(R"(["\ud800x"])", replace), r + "x");
  EXPECT_EQ(stringIn(R"(["\ud800\n"])", replace), r + "\n") << "the backslash is read again";
  EXPECT_EQ(stringIn(R"(["\ud800\u0041"])", replace), r) << "one replacement for both escapes";
  EXPECT_EQ(stringIn(R"(["\udc00\u0000\uffff"])", replace), r + r + r);
  // A cut-off sequence or a bad hex digit is not repaired.
  EXPECT_EQ(decodeError("[\"\xe2\x82", replace).description,
            "End of buffer reached while parsing UTF8 in \"\" string.");
  EXPECT_EQ(decodeError(R"(["\uZZZZ"])", replace).description,
            "Unexpected character found in \\u Unicode escape sequence.  Found 'Z', expected "
            "[0-9a-fA-F].");
}

// Strings of every length with one special character at every position,
// so both the 16-byte block scan and the byte-wise tail meet it.
TEST(JSONDecoderStringsTest, EveryOffsetOfEverySpecialCharacterDecodes) {
  const struct {
    const char* text;
    const char* decoded;
  } specials[] = {
      {"\\n", "\n"},
      {"\\u00e9", "\xc3\xa9"},
      {"\xc3\xa9", "\xc3\xa9"},
      {"\xf0\x9f\x98\x80", "\xf0\x9f\x98\x80"},
      {"\\\"", "\""},
  };
  JSONDecoder decoder;
  for (const auto& special : specials) {
    for (std::size_t length = 0; length < 48; ++length) {
      for (std::size_t position = 0; position <= length; ++position) {
        const std::string before(position, 'a');
        const std::string after(length - position, 'b');
        const std::string document = "[\"" + before + special.text + after + "\"]";
        JSONValueRef value = decoder.objectWithUTF8String(document.data(), document.size());
        ASSERT_TRUE(value) << document;
        ASSERT_EQ(value->asArray()->objectAtIndex(0)->stringValue(),
                  before + special.decoded + after)
            << document;
        // A control byte at the same place fails at the opening quote.
        const std::string broken = "[\"" + before + "\x01" + after + "\"]";
        JSONError error;
        ASSERT_FALSE(decoder.objectWithUTF8String(broken.data(), broken.size(), &error));
        ASSERT_EQ(error.description, "Invalid character < 0x20 found in string: 0x01.");
        ASSERT_EQ(error.index, 1u);
      }
    }
  }
}

// Bad or forbidden UTF-8 at every offset: the block-wise check must give
// the same answers as the sequence-by-sequence rules.
TEST(JSONDecoderStringsTest, EveryOffsetOfInvalidUTF8IsFoundOrRepaired) {
  const std::string r = kReplacement;
  const struct {
    const char* bytes;
    const char* repaired;
  } cases[] = {
      {"\xff", "\xef\xbf\xbd"},
      {"\xe2\x28\xa1", "\xef\xbf\xbd(\xef\xbf\xbd"},
      {"\xef\xbf\xbf", "\xef\xbf\xbd"},      // U+FFFF
      {"\xef\xb7\x90", "\xef\xbf\xbd"},      // U+FDD0
      {"\xf0\x9f\xbf\xbe", "\xef\xbf\xbd"},  // U+1FFFE
      {"\xed\xa0\x80", "\xef\xbf\xbd"},      // an encoded surrogate
      {"\xe0\x80\xaf", "\xef\xbf\xbd"},      // overlong
      {"\xc3", "\xef\xbf\xbd"},              // cut short by what follows
      {"\xf0\x9f\x98", "\xef\xbf\xbd"},
  };
  JSONDecoder strict;
  JSONDecoder repairing(JSONParseReplaceInvalidUnicode);
  for (const auto& c : cases) {
    for (std::size_t length = 0; length < 40; ++length) {
      for (std::size_t position = 0; position <= length; ++position) {
        const std::string before(position, 'a');
        // Non-ASCII around the bad bytes too, so valid sequences share
        // their blocks.
        const std::string after = std::string(length - position, 'b') + "\xc3\xa9";
        const std::string document = "[\"" + before + c.bytes + after + "\"]";
        JSONError error;
        ASSERT_FALSE(strict.objectWithUTF8String(document.data(), document.size(), &error))
            << document;
        ASSERT_EQ(error.description, "Illegal UTF8 sequence found in \"\" string.") << document;
        ASSERT_EQ(error.index, 1u);
        JSONValueRef value = repairing.objectWithUTF8String(document.data(), document.size());
        ASSERT_TRUE(value) << document;
        ASSERT_EQ(value->asArray()->objectAtIndex(0)->stringValue(), before + c.repaired + after);
      }
    }
  }
  EXPECT_EQ(stringIn("[\"\xf4\x8f\xbf\xbd and \xee\x80\x80\"]"),
            "\xf4\x8f\xbf\xbd and \xee\x80\x80")
      << "U+10FFFD and U+E000 are fine";
}

// The block-wise hash must be the byte-by-byte one exactly: the cache's
// slots and the dictionaries' key hashes depend on it.
TEST(JSONDecoderStringsTest, StringHashIsTheByteRecurrenceAtEveryLength) {
  std::string text;
  for (int i = 0; i < 200; ++i) text += static_cast<char>((i * 37 + 11) % 256);
  for (std::size_t length = 0; length <= text.size(); ++length) {
    std::uint32_t expected = 1402737925u;
    for (std::size_t i = 0; i < length; ++i)
      expected = expected * 33u + static_cast<unsigned char>(text[i]);
    ASSERT_EQ(json_detail::stringHash(text.data(), length), expected) << length;
  }
  const std::string key = "screen_name";
  EXPECT_EQ(JSONStringValue::create(key)->hash(), json_detail::stringHash(key.data(), key.size()));
  // Decoded strings carry the same hash, escaped or not.
  JSONValueRef value = decode(R"(["screen_name","screen\u005fname"])");
  EXPECT_EQ(value->asArray()->objectAtIndex(0)->asString()->hash(),
            JSONStringValue::create(key)->hash());
}

// The same for the numbers' hash, whose multiply-adds take the eight value
// bytes at once.
TEST(JSONDecoderStringsTest, NumberHashIsTheByteRecurrenceForAnyBits) {
  std::uint64_t bits = 0x0123456789ABCDEFull;
  std::uint32_t start = 1402737925u + 13u;
  for (int i = 0; i < 2000; ++i) {
    std::uint32_t expected = start;
    for (int byte = 0; byte < 8; ++byte) expected = expected * 33u + ((bits >> (8 * byte)) & 0xFF);
    ASSERT_EQ(json_detail::numberHash(start, bits), expected) << std::hex << bits;
    ASSERT_EQ(json_detail::numberHashScalar(start, bits), expected) << std::hex << bits;
    // Every byte value in every position, the top bit of each included.
    bits = bits * 6364136223846793005ull + 1442695040888963407ull;
    start = start * 747796405u + 2891336453u;
  }
  EXPECT_EQ(json_detail::numberHash(7, ~std::uint64_t{0}),
            json_detail::numberHashScalar(7, ~std::uint64_t{0}));
  EXPECT_EQ(json_detail::numberHash(0, 0), 0u);
}

TEST(JSONDecoderStringsTest, LongEscapedStringsGrowTheBuffer) {
  std::string expected;
  std::string document = "[\"";
  for (int i = 0; i < 20000; ++i) {
    document += (i % 7) ? "x" : "\\u00e9";
    expected += (i % 7) ? "x" : "\xc3\xa9";
  }
  document += "\"]";
  EXPECT_EQ(stringIn(document), expected);
}

TEST(JSONDecoderStringsTest, EscapedStringsAreSharedLikePlainOnes) {
  JSONValueRef value = decode(R"(["tab\there","tab\there","tab\u0009here"])");
  const JSONArray* array = value->asArray();
  EXPECT_EQ(array->objectAtIndex(0), array->objectAtIndex(1));
  EXPECT_EQ(array->objectAtIndex(0), array->objectAtIndex(2)) << "same decoded bytes";
}

}  // namespace
}  // namespace lorvane
