#include "json/json_serializer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "json/json_array.h"
#include "json/json_dictionary.h"
#include "json/json_exception.h"
#include "json/json_hash.h"
#include "json/json_internal.h"
#include "json/json_number_format.h"
#include "json/json_utf8.h"

namespace lorvane {

namespace json_detail {

namespace {

constexpr JSONSerializeOptionFlags kValidSerializeOptions =
    JSONWritePretty | JSONWriteEscapeUnicode | JSONWriteEscapeSlashes;

constexpr std::size_t kEncodeCacheSlots = 1024;

constexpr char kHexDigits[] = "0123456789abcdef";

// What a byte below 0x80 becomes inside a string: 0 copied as it is, 'u'
// for \u00XX, otherwise the letter after the backslash.
struct EscapeTable {
  char letter[128];
};
constexpr EscapeTable makeEscapeTable() {
  EscapeTable table{};
  for (int c = 0; c < 0x20; ++c) table.letter[c] = 'u';
  table.letter[0x08] = 'b';
  table.letter[0x09] = 't';
  table.letter[0x0A] = 'n';
  table.letter[0x0C] = 'f';
  table.letter[0x0D] = 'r';
  table.letter[0x22] = '"';
  table.letter[0x5C] = '\\';
  return table;
}
constexpr EscapeTable kEscapes = makeEscapeTable();

struct EncodeCacheSlot {
  const JSONValue* object;
  std::size_t offset;
  std::size_t length;
};

}  // namespace

class EncodeState {
 public:
  EncodeState(JSONSerializeOptionFlags options, const JSONSerializeBlock* block,
              JSONSerializeDelegate* delegate)
      : pretty_(options & JSONWritePretty),
        escapeUnicode_(options & JSONWriteEscapeUnicode),
        escapeSlashes_(options & JSONWriteEscapeSlashes),
        block_(block && *block ? block : nullptr),
        delegate_(delegate) {
    output_.resize(4096);
    cursor_ = output_.data();
    limit_ = cursor_ + output_.size();
  }

  bool encode(const JSONValue& object, std::size_t depth);
  bool encodeString(const JSONStringValue& string, bool quotes);
  void fail(std::string message) {
    if (!failed_) {
      failed_ = true;
      message_ = std::move(message);
    }
  }
  bool failed() const noexcept { return failed_; }
  const std::string& message() const noexcept { return message_; }

  std::string takeOutput() {
    output_.resize(static_cast<std::size_t>(cursor_ - output_.data()));
    return std::move(output_);
  }

 private:
  std::size_t written() const noexcept {
    return static_cast<std::size_t>(cursor_ - output_.data());
  }
  // Makes room for `more` bytes past the cursor.
  void reserve(std::size_t more) {
    if (static_cast<std::size_t>(limit_ - cursor_) >= more) return;
    grow(more);
  }
  void grow(std::size_t more);
  void put(char c) {
    reserve(4);
    *cursor_++ = c;
  }
  void newLineAndIndent() {
    const std::size_t spaces = depth_ * 2;
    reserve(spaces + 18);
    *cursor_++ = '\n';
    std::memset(cursor_, ' ', spaces);
    cursor_ += spaces;
  }
  void open(char bracket) {
    put(bracket);
    if (pretty_) {
      ++depth_;
      newLineAndIndent();
    }
  }
  void close(char bracket) {
    if (pretty_) {
      --depth_;
      newLineAndIndent();
    }
    put(bracket);
  }
  void comma() {
    put(',');
    if (pretty_) newLineAndIndent();
  }
  void colon() {
    reserve(4);
    *cursor_++ = ':';
    if (pretty_) *cursor_++ = ' ';
  }

  EncodeCacheSlot* cacheSlot(const JSONValue& object) noexcept {
    const auto p = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&object));
    return &cache_[(((p >> 9) ^ (p >> 21)) + (p >> 4)) & (kEncodeCacheSlots - 1)];
  }
  bool copyCached(const EncodeCacheSlot* slot, const JSONValue& object) {
    if (slot->object != &object) return false;
    reserve(slot->length);
    std::memcpy(cursor_, output_.data() + slot->offset, slot->length);
    cursor_ += slot->length;
    return true;
  }
  void remember(EncodeCacheSlot* slot, const JSONValue& object, std::size_t start) noexcept {
    *slot = {&object, start, written() - start};
  }

  bool encodeNumber(const JSONValue& number);
  bool encodeArray(const JSONArray& array, std::size_t depth);
  bool encodeDictionary(const JSONDictionary& dictionary, std::size_t depth);
  bool encodeUnsupported(const JSONValue& object, std::size_t depth);
  bool escapeNonASCII(const unsigned char*& in, const unsigned char* end);
  void escapeByte(unsigned char c);

  const bool pretty_;
  const bool escapeUnicode_;
  const bool escapeSlashes_;
  const JSONSerializeBlock* block_;
  JSONSerializeDelegate* delegate_;

  std::string output_;
  char* cursor_ = nullptr;
  char* limit_ = nullptr;
  std::size_t depth_ = 0;

  EncodeCacheSlot cache_[kEncodeCacheSlots] = {};
  // Replacements from the unsupported-class hook live until the call ends,
  // so no other object can take their address while the cache knows it.
  std::vector<JSONValueRef> replacements_;

  bool failed_ = false;
  std::string message_;
};

void EncodeState::grow(std::size_t more) {
  const std::size_t used = written();
  std::size_t wanted = used + more + 1024;
  wanted = (wanted + 32767) / 32768 * 32768;
  if (wanted < output_.size() * 2) wanted = output_.size() * 2;
  output_.resize(wanted);
  cursor_ = output_.data() + used;
  limit_ = output_.data() + output_.size();
}

void EncodeState::escapeByte(unsigned char c) {
  reserve(8);
  if (c == '/') {
    *cursor_++ = '\\';
    *cursor_++ = '/';
    return;
  }
  const char letter = kEscapes.letter[c];
  *cursor_++ = '\\';
  if (letter == 'u') {
    std::memcpy(cursor_, "u00", 3);
    cursor_[3] = kHexDigits[c >> 4];
    cursor_[4] = kHexDigits[c & 0xF];
    cursor_ += 5;
  } else {
    *cursor_++ = letter;
  }
}

// One non-ASCII character as \uXXXX (two of them above U+FFFF).
bool EncodeState::escapeNonASCII(const unsigned char*& in, const unsigned char* end) {
  const UTF8Sequence sequence = checkUTF8(in, end);
  if (sequence.status != UTF8Status::Valid) {
    fail("Error converting UTF8.");
    return false;
  }
  reserve(16);
  const auto writeUnit = [this](std::uint32_t unit) {
    std::memcpy(cursor_, "\\u", 2);
    cursor_[2] = kHexDigits[(unit >> 12) & 0xF];
    cursor_[3] = kHexDigits[(unit >> 8) & 0xF];
    cursor_[4] = kHexDigits[(unit >> 4) & 0xF];
    cursor_[5] = kHexDigits[unit & 0xF];
    cursor_ += 6;
  };
  const std::uint32_t c = sequence.codePoint;
  if (c < 0x10000) {
    writeUnit(c);
  } else {
    writeUnit(0xD800 + ((c - 0x10000) >> 10));
    writeUnit(0xDC00 + (c & 0x3FF));
  }
  in = sequence.next;
  return true;
}

bool EncodeState::encodeString(const JSONStringValue& string, bool quotes) {
  const auto* in = reinterpret_cast<const unsigned char*>(string.data());
  const unsigned char* const end = in + string.length();
  reserve(string.length() + 2);
  if (quotes) *cursor_++ = '"';
  for (;;) {
#if LORVANE_JSON_SSE2
    const __m128i quoteMark = _mm_set1_epi8('"');
    const __m128i backslash = _mm_set1_epi8('\\');
    const __m128i slash = _mm_set1_epi8('/');
    const __m128i control = _mm_set1_epi8(0x1F);
    while (end - in >= 16) {
      reserve(16);
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(cursor_), block);
      __m128i flagged =
          _mm_or_si128(_mm_cmpeq_epi8(block, quoteMark), _mm_cmpeq_epi8(block, backslash));
      // Unsigned "at most 0x1F": the minimum with 0x1F leaves such bytes as
      // they are.
      flagged = _mm_or_si128(flagged, _mm_cmpeq_epi8(_mm_min_epu8(block, control), block));
      if (escapeSlashes_) flagged = _mm_or_si128(flagged, _mm_cmpeq_epi8(block, slash));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(flagged));
      if (escapeUnicode_) mask |= static_cast<unsigned>(_mm_movemask_epi8(block));
      if (mask == 0) {
        in += 16;
        cursor_ += 16;
        continue;
      }
      const unsigned plain = static_cast<unsigned>(__builtin_ctz(mask));
      in += plain;
      cursor_ += plain;
      if (*in >= 0x80) {
        if (!escapeNonASCII(in, end)) return false;
      } else {
        escapeByte(*in++);
      }
    }
#endif
    if (in >= end) break;
    const unsigned char c = *in;
    if (c >= 0x80) {
      if (escapeUnicode_) {
        if (!escapeNonASCII(in, end)) return false;
      } else {
        reserve(1);
        *cursor_++ = static_cast<char>(*in++);
      }
    } else if (kEscapes.letter[c] || (c == '/' && escapeSlashes_)) {
      escapeByte(c);
      ++in;
    } else {
      reserve(1);
      *cursor_++ = static_cast<char>(*in++);
    }
  }
  if (quotes) put('"');
  return true;
}

bool EncodeState::encodeNumber(const JSONValue& value) {
  reserve(40);
  switch (value.kind()) {
    case JSONValueKind::True:
      std::memcpy(cursor_, "true", 4);
      cursor_ += 4;
      return true;
    case JSONValueKind::False:
      std::memcpy(cursor_, "false", 5);
      cursor_ += 5;
      return true;
    case JSONValueKind::Null:
      std::memcpy(cursor_, "null", 4);
      cursor_ += 4;
      return true;
    case JSONValueKind::SignedInteger:
      cursor_ = formatSigned(
          static_cast<std::int64_t>(ValueAccess::bits(static_cast<const JSONNumber*>(&value))),
          cursor_);
      return true;
    case JSONValueKind::UnsignedInteger:
      cursor_ = formatUnsigned(ValueAccess::bits(static_cast<const JSONNumber*>(&value)), cursor_);
      return true;
    default: {
      const double d = static_cast<const JSONNumber&>(value).doubleValue();
      if (!std::isfinite(d)) {
        fail("Floating point values must be finite.  JSON does not support NaN or Infinity.");
        return false;
      }
      cursor_ = formatDouble(d, cursor_);
      return true;
    }
  }
}

bool EncodeState::encodeArray(const JSONArray& array, std::size_t depth) {
  open('[');
  JSONValue* const* objects = array.objects();
  const std::size_t count = array.count();
  for (std::size_t i = 0; i < count; ++i) {
    if (i) comma();
    if (!encode(*objects[i], depth + 1)) return false;
  }
  close(']');
  return true;
}

bool EncodeState::encodeDictionary(const JSONDictionary& dictionary, std::size_t depth) {
  const JSONDictionary::Entry* entries = dictionary.entries();
  const std::size_t capacity = dictionary.capacity();
  for (std::size_t slot = 0; slot < capacity; ++slot) {
    if (entries[slot].key && !entries[slot].key->isString()) {
      fail("Key must be a string object.");
      return false;
    }
  }
  open('{');
  if (pretty_) {
    // Indented output sorts its keys.
    std::vector<const JSONDictionary::Entry*> sorted;
    sorted.reserve(dictionary.count());
    for (std::size_t slot = 0; slot < capacity; ++slot) {
      if (entries[slot].key) sorted.push_back(&entries[slot]);
    }
    std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) {
      return a->key->stringValue() < b->key->stringValue();
    });
    bool first = true;
    for (const JSONDictionary::Entry* entry : sorted) {
      if (!first) comma();
      first = false;
      if (!encode(*entry->key, depth + 1)) return false;
      colon();
      if (!encode(*entry->value, depth + 1)) return false;
    }
  } else {
    bool first = true;
    for (std::size_t slot = 0; slot < capacity; ++slot) {
      const JSONDictionary::Entry& entry = entries[slot];
      if (!entry.key) continue;
      if (!first) comma();
      first = false;
      if (!encode(*entry.key, depth + 1)) return false;
      colon();
      if (!encode(*entry.value, depth + 1)) return false;
    }
  }
  close('}');
  return true;
}

bool EncodeState::encodeUnsupported(const JSONValue& object, std::size_t depth) {
  JSONValueRef replacement;
  if (block_) replacement = (*block_)(object);
  // The delegate is asked about the object itself even after the block
  // declined; a call with nothing to look at could not help.
  if (!replacement && delegate_) replacement = delegate_->serializeUnsupportedObject(object);
  if (!replacement) {
    fail("Unable to serialize object class " + object.className() + ".");
    return false;
  }
  if (replacement->isCustom()) {
    fail("Unable to serialize object class " + replacement->className() +
         " that was returned by the unsupported class formatter.  Original object class was " +
         object.className() + ".");
    return false;
  }
  replacements_.push_back(replacement);
  return encode(*replacement, depth);
}

bool EncodeState::encode(const JSONValue& object, std::size_t depth) {
  switch (object.kind()) {
    case JSONValueKind::String: {
      EncodeCacheSlot* slot = cacheSlot(object);
      if (copyCached(slot, object)) return true;
      const std::size_t start = written();
      if (!encodeString(static_cast<const JSONStringValue&>(object), true)) return false;
      remember(slot, object, start);
      return true;
    }
    case JSONValueKind::Array:
    case JSONValueKind::Dictionary:
      if (depth >= JSONSerializer::kMaximumDepth) {
        fail("The arrays and objects are nested more than " +
             std::to_string(JSONSerializer::kMaximumDepth) + " levels deep.");
        return false;
      }
      return object.isArray() ? encodeArray(static_cast<const JSONArray&>(object), depth)
                              : encodeDictionary(static_cast<const JSONDictionary&>(object), depth);
    case JSONValueKind::Custom:
      return encodeUnsupported(object, depth);
    default: {
      EncodeCacheSlot* slot = cacheSlot(object);
      if (copyCached(slot, object)) return true;
      const std::size_t start = written();
      if (!encodeNumber(object)) return false;
      remember(slot, object, start);
      return true;
    }
  }
}

}  // namespace json_detail

std::optional<std::string> JSONSerializer::serializeObject(
    const JSONValue& object, JSONSerializeOptionFlags options, JSONEncodeOptionFlags encodeOption,
    const JSONSerializeBlock* block, JSONSerializeDelegate* delegate, JSONError* error) {
  if (options & ~json_detail::kValidSerializeOptions) {
    throw JSONException(JSONException::InvalidArgument, "Invalid serialize options.");
  }
  json_detail::EncodeState state(options, block, delegate);
  const auto report = [&]() -> std::optional<std::string> {
    if (error) {
      *error = JSONError{};
      error->description = state.message();
    }
    return std::nullopt;
  };
  if ((encodeOption & JSONEncodeOptionCollectionObj) && !object.isArray() &&
      !object.isDictionary()) {
    state.fail("Unable to serialize object class " + object.className() +
               ", expected a NSArray or NSDictionary.");
    return report();
  }
  if ((encodeOption & JSONEncodeOptionStringObj) && !object.isString()) {
    state.fail("Unable to serialize object class " + object.className() + ", expected a NSString.");
    return report();
  }
  bool encoded;
  try {
    encoded = (encodeOption & JSONEncodeOptionStringObj)
                  ? state.encodeString(static_cast<const JSONStringValue&>(object),
                                       !(encodeOption & JSONEncodeOptionStringObjTrimQuotes))
                  : state.encode(object, 0);
  } catch (const std::bad_alloc&) {
    // The output (or a key list) could not grow: a failure of this call,
    // not of the program.
    state.fail("Unable to resize temporary buffer.");
    encoded = false;
  }
  if (!encoded) return report();
  if (!(encodeOption & (JSONEncodeOptionAsData | JSONEncodeOptionAsString))) {
    state.fail("Unknown encode as type.");
    return report();
  }
  return state.takeOutput();
}

namespace {

constexpr JSONEncodeOptionFlags kCollectionText =
    JSONEncodeOptionAsString | JSONEncodeOptionCollectionObj;
constexpr JSONEncodeOptionFlags kCollectionData =
    JSONEncodeOptionAsData | JSONEncodeOptionCollectionObj;

// The receiver decides the mode, as it would for the platform's strings
// and collections.
JSONEncodeOptionFlags modeFor(const JSONValue& object, JSONEncodeOptionFlags asType) {
  return asType | (object.isString() ? JSONEncodeOptionStringObj : JSONEncodeOptionCollectionObj);
}

std::optional<std::vector<std::uint8_t>> toData(std::optional<std::string> text) {
  if (!text) return std::nullopt;
  return std::vector<std::uint8_t>(text->begin(), text->end());
}

}  // namespace

std::optional<std::string> JSONString(const JSONValue& object) {
  return JSONSerializer::serializeObject(object, 0, modeFor(object, JSONEncodeOptionAsString),
                                         nullptr, nullptr, nullptr);
}

std::optional<std::string> JSONStringWithOptions(const JSONValue& object,
                                                 JSONSerializeOptionFlags serializeOptions,
                                                 JSONError* error) {
  return JSONSerializer::serializeObject(object, serializeOptions, kCollectionText, nullptr,
                                         nullptr, error);
}

std::optional<std::string> JSONStringWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    JSONSerializeDelegate& serializeUnsupportedClassesUsingDelegate, JSONError* error) {
  return JSONSerializer::serializeObject(object, serializeOptions, kCollectionText, nullptr,
                                         &serializeUnsupportedClassesUsingDelegate, error);
}

std::optional<std::string> JSONStringWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    const JSONSerializeBlock& serializeUnsupportedClassesUsingBlock, JSONError* error) {
  return JSONSerializer::serializeObject(object, serializeOptions, kCollectionText,
                                         &serializeUnsupportedClassesUsingBlock, nullptr, error);
}

std::optional<std::vector<std::uint8_t>> JSONData(const JSONValue& object) {
  return toData(JSONSerializer::serializeObject(object, 0, modeFor(object, JSONEncodeOptionAsData),
                                                nullptr, nullptr, nullptr));
}

std::optional<std::vector<std::uint8_t>> JSONDataWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions, JSONError* error) {
  return toData(JSONSerializer::serializeObject(object, serializeOptions, kCollectionData, nullptr,
                                                nullptr, error));
}

std::optional<std::vector<std::uint8_t>> JSONDataWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    JSONSerializeDelegate& serializeUnsupportedClassesUsingDelegate, JSONError* error) {
  return toData(JSONSerializer::serializeObject(object, serializeOptions, kCollectionData, nullptr,
                                                &serializeUnsupportedClassesUsingDelegate, error));
}

std::optional<std::vector<std::uint8_t>> JSONDataWithOptions(
    const JSONValue& object, JSONSerializeOptionFlags serializeOptions,
    const JSONSerializeBlock& serializeUnsupportedClassesUsingBlock, JSONError* error) {
  return toData(JSONSerializer::serializeObject(object, serializeOptions, kCollectionData,
                                                &serializeUnsupportedClassesUsingBlock, nullptr,
                                                error));
}

std::optional<std::string> JSONStringValueWithOptions(const JSONValue& string,
                                                      JSONSerializeOptionFlags serializeOptions,
                                                      bool includeQuotes, JSONError* error) {
  JSONEncodeOptionFlags mode = JSONEncodeOptionAsString | JSONEncodeOptionStringObj;
  if (!includeQuotes) mode |= JSONEncodeOptionStringObjTrimQuotes;
  return JSONSerializer::serializeObject(string, serializeOptions, mode, nullptr, nullptr, error);
}

std::optional<std::vector<std::uint8_t>> JSONDataValueWithOptions(
    const JSONValue& string, JSONSerializeOptionFlags serializeOptions, bool includeQuotes,
    JSONError* error) {
  JSONEncodeOptionFlags mode = JSONEncodeOptionAsData | JSONEncodeOptionStringObj;
  if (!includeQuotes) mode |= JSONEncodeOptionStringObjTrimQuotes;
  return toData(
      JSONSerializer::serializeObject(string, serializeOptions, mode, nullptr, nullptr, error));
}

}  // namespace lorvane
