// Every document of the shared JSONTestSuite collection through the
// decoder. The file name's prefix says what a general parser should do
// (y_ accept, n_ reject, i_ either); our decoder is stricter in ways its
// rules fix, so the cases where it differs are listed with the exact
// message, and so is the answer for every i_ file. Accepted documents must
// survive encoding and decoding again unchanged.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "json/json.h"

namespace lorvane {
namespace {

namespace fs = std::filesystem;

const fs::path kFolder = fs::path(LORVANE_SHARED_DIR) / "conformance" / "json" / "test_parsing";

constexpr const char* kUnexpectedToken =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', "
    "'\"STRING\"', 'NUMBER'.";
constexpr const char* kTopLevel = "Expected either '[' or '{'.";
constexpr const char* kIllegalEscape = "Illegal \\u Unicode escape sequence.";
constexpr const char* kIllegalUTF8 = "Illegal UTF8 sequence found in \"\" string.";
constexpr const char* kSecondEscape =
    "Required a second \\u Unicode escape sequence following a surrogate \\u Unicode escape "
    "sequence.";
constexpr const char* kInvalidNumber = "Invalid number.";

// Documents that are rejected although their prefix is y_ or i_, and why.
const std::map<std::string, std::string> kRejected = {
    // Only an array or an object may stand at the top level. A lone word
    // also needs one more byte after it to be a token at all, and a number
    // can never end the input.
    {"y_structure_lonely_false.json", kUnexpectedToken},
    {"y_structure_lonely_null.json", kUnexpectedToken},
    {"y_structure_lonely_true.json", kUnexpectedToken},
    {"y_structure_lonely_int.json", kInvalidNumber},
    {"y_structure_lonely_negative_real.json", kInvalidNumber},
    {"y_structure_lonely_string.json", kTopLevel},
    {"y_structure_string_empty.json", kTopLevel},
    {"y_string_space.json", kTopLevel},
    // \u0000, noncharacters and a pair that makes U+10FFFF are illegal
    // escapes; raw noncharacters are illegal UTF-8.
    {"y_object_escaped_null_in_key.json", kIllegalEscape},
    {"y_string_null_escape.json", kIllegalEscape},
    {"y_string_escaped_noncharacter.json", kIllegalEscape},
    {"y_string_last_surrogates_1_and_2.json", kIllegalEscape},
    {"y_string_unicode_U+10FFFE_nonchar.json", kIllegalEscape},
    {"y_string_unicode_U+1FFFE_nonchar.json", kIllegalEscape},
    {"y_string_unicode_U+FDD0_nonchar.json", kIllegalEscape},
    {"y_string_unicode_U+FFFE_nonchar.json", kIllegalEscape},
    {"y_string_nonCharacterInUTF-8_U+10FFFF.json", kIllegalUTF8},
    {"y_string_nonCharacterInUTF-8_U+FFFF.json", kIllegalUTF8},
    // Numbers out of range for their form fail with the range message.
    {"i_number_double_huge_neg_exp.json",
     "The value '123.456e-789' could not be represented as a 'double' due to underflow."},
    {"i_number_huge_exp.json",
     "The value '0.4e006699999999999999999999999999999999999999999999999999999999999999"
     "99999999999999999999999999999999999999999999999999999969999999006' could not be represented "
     "as a "
     "'double' due to overflow."},
    {"i_number_neg_int_huge_exp.json",
     "The value '-1e+9999' could not be represented as a 'double' due to overflow."},
    {"i_number_pos_double_huge_exp.json",
     "The value '1.5e+9999' could not be represented as a 'double' due to overflow."},
    {"i_number_real_neg_overflow.json",
     "The value '-123123e100000' could not be represented as a 'double' due to overflow."},
    {"i_number_real_pos_overflow.json",
     "The value '123123e100000' could not be represented as a 'double' due to overflow."},
    {"i_number_real_underflow.json",
     "The value '123e-10000000' could not be represented as a 'double' due to underflow."},
    {"i_number_too_big_neg_int.json",
     "The value '-123123123123123123123123123123' exceeded the minimum value that could be "
     "represented: -9223372036854775808."},
    {"i_number_too_big_pos_int.json",
     "The value '100000000000000000000' exceeded the maximum value that could be represented: "
     "18446744073709551615."},
    {"i_number_very_big_negative_int.json",
     "The value '-237462374673276894279832749832423479823246327846' exceeded the minimum value "
     "that could be represented: -9223372036854775808."},
    // Lone or mismatched surrogate escapes.
    {"i_object_key_lone_2nd_surrogate.json", kIllegalEscape},
    {"i_string_1st_surrogate_but_2nd_missing.json", kSecondEscape},
    {"i_string_1st_valid_surrogate_2nd_invalid.json", kIllegalEscape},
    {"i_string_incomplete_surrogate_and_escape_valid.json", kSecondEscape},
    {"i_string_incomplete_surrogate_pair.json", kIllegalEscape},
    {"i_string_incomplete_surrogates_escape_valid.json", kIllegalEscape},
    {"i_string_invalid_lonely_surrogate.json", kSecondEscape},
    {"i_string_invalid_surrogate.json", kSecondEscape},
    {"i_string_inverted_surrogates_U+1D11E.json", kIllegalEscape},
    {"i_string_lone_second_surrogate.json", kIllegalEscape},
    // Bytes that are not UTF-8, encoded surrogates, overlong forms and code
    // points past U+10FFFF.
    {"i_string_UTF-8_invalid_sequence.json", kIllegalUTF8},
    {"i_string_UTF8_surrogate_U+D800.json", kIllegalUTF8},
    {"i_string_invalid_utf-8.json", kIllegalUTF8},
    {"i_string_iso_latin_1.json", kIllegalUTF8},
    {"i_string_lone_utf8_continuation_byte.json", kIllegalUTF8},
    {"i_string_not_in_unicode_range.json", kIllegalUTF8},
    {"i_string_overlong_sequence_2_bytes.json", kIllegalUTF8},
    {"i_string_overlong_sequence_6_bytes.json", kIllegalUTF8},
    {"i_string_overlong_sequence_6_bytes_null.json", kIllegalUTF8},
    {"i_string_truncated-utf-8.json", kIllegalUTF8},
    // Other encodings, and a byte-order mark, are not UTF-8 JSON text.
    {"i_string_UTF-16LE_with_BOM.json", kUnexpectedToken},
    {"i_string_utf16BE_no_BOM.json", kUnexpectedToken},
    {"i_string_utf16LE_no_BOM.json", kUnexpectedToken},
    {"i_structure_UTF-8_BOM_empty_object.json", kUnexpectedToken},
};

// The i_ files that are accepted.
const std::set<std::string> kAccepted = {
    "i_structure_500_nested_arrays.json",  // well within the nesting limit
};

std::vector<std::uint8_t> readFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::vector<fs::path> conformanceFiles() {
  std::vector<fs::path> files;
  if (!fs::is_directory(kFolder)) return files;
  for (const fs::directory_entry& entry : fs::directory_iterator(kFolder)) {
    if (entry.path().extension() == ".json") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

void expectRoundTrip(const JSONValue& value, const std::string& file) {
  for (JSONSerializeOptionFlags options : {JSONSerializeOptionNone, JSONWritePretty,
                                           JSONWriteEscapeUnicode | JSONWriteEscapeSlashes}) {
    JSONError error;
    const std::optional<std::string> text = JSONStringWithOptions(value, options, &error);
    ASSERT_TRUE(text) << file << ": " << error.description;
    JSONValueRef again = objectFromJSONStringWithParseOptions(*text, JSONParseStrict, &error);
    ASSERT_TRUE(again) << file << " re-encoded as " << *text << ": " << error.description;
    EXPECT_TRUE(again->isEqual(value)) << file << " re-encoded as " << *text;
  }
}

TEST(JSONConformanceTest, SharedFolderIsPresent) {
  ASSERT_TRUE(fs::is_directory(kFolder)) << "missing " << kFolder;
  EXPECT_GE(conformanceFiles().size(), 300u);
  for (const auto& [file, message] : kRejected) EXPECT_TRUE(fs::exists(kFolder / file)) << file;
  for (const std::string& file : kAccepted) EXPECT_TRUE(fs::exists(kFolder / file)) << file;
}

TEST(JSONConformanceTest, EveryDocumentGetsTheDecodersAnswer) {
  const std::vector<fs::path> files = conformanceFiles();
  ASSERT_FALSE(files.empty()) << "no documents in " << kFolder;
  for (const fs::path& path : files) {
    const std::string file = path.filename().string();
    SCOPED_TRACE(file);
    const std::vector<std::uint8_t> bytes = readFile(path);
    JSONError error;
    JSONValueRef value = objectFromJSONDataWithParseOptions(bytes, JSONParseStrict, &error);
    const auto rejected = kRejected.find(file);
    if (rejected != kRejected.end()) {
      EXPECT_FALSE(value);
      EXPECT_EQ(error.description, rejected->second);
    } else if (file[0] == 'y' || kAccepted.count(file)) {
      ASSERT_TRUE(value) << error.description;
      expectRoundTrip(*value, file);
    } else {
      ASSERT_NE(file[0], 'i') << "every i_ file needs a written expectation";
      EXPECT_FALSE(value);
      EXPECT_FALSE(error.description.empty());
      EXPECT_LE(error.index.value_or(SIZE_MAX), bytes.size());
      EXPECT_GE(error.line.value_or(0), 1u);
    }
  }
}

TEST(JSONConformanceTest, EveryOptionCombinationFinishesCleanly) {
  // No expectations beyond finishing: lenient options must not open a path
  // to a crash, a hang or a sanitizer report.
  for (const fs::path& path : conformanceFiles()) {
    const std::vector<std::uint8_t> bytes = readFile(path);
    for (JSONParseOptionFlags options = 1; options <= 15; ++options) {
      JSONError error;
      JSONValueRef value = objectFromJSONDataWithParseOptions(bytes, options, &error);
      if (value) {
        const std::optional<std::string> text = JSONStringWithOptions(*value, 0, &error);
        ASSERT_TRUE(text) << path.filename() << ": " << error.description;
      } else {
        EXPECT_FALSE(error.description.empty()) << path.filename();
      }
    }
  }
}

}  // namespace
}  // namespace lorvane
