#include "json/json_decoder.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "json/json_arena.h"
#include "json/json_array.h"
#include "json/json_dictionary.h"
#include "json/json_exception.h"
#include "json/json_hash.h"
#include "json/json_internal.h"
#include "json/json_number_parse.h"
#include "json/json_utf8.h"

namespace lorvane {

namespace json_detail {

namespace {

constexpr JSONParseOptionFlags kValidParseOptions = 15;

constexpr const char* kUnexpectedToken =
    "Unexpected token, wanted '{', '}', '[', ']', ',', ':', 'true', 'false', 'null', "
    "'\"STRING\"', 'NUMBER'.";

// Kind numbers of cached values; they enter the hashes and the probing.
constexpr std::uint32_t kStringKind = 5;
constexpr std::uint32_t kSignedKind = 7;
constexpr std::uint32_t kUnsignedKind = 11;
constexpr std::uint32_t kDoubleKind = 13;

constexpr std::size_t kCacheSlots = 1024;
constexpr std::size_t kCacheMask = kCacheSlots - 1;

enum class TokenKind : std::uint8_t {
  ObjectBegin,
  ObjectEnd,
  ArrayBegin,
  ArrayEnd,
  Colon,
  Comma,
  String,
  Number,
  True,
  False,
  Null,
};

// The allowed set of the array and object rules.
constexpr std::uint8_t kAllowValue = 1;  // a value, or a key in an object
constexpr std::uint8_t kAllowComma = 2;
constexpr std::uint8_t kAllowClose = 4;

struct Token {
  TokenKind kind;
  const unsigned char* text;
  std::size_t textLength;
  // String value bytes: in the input, or in the token buffer.
  const char* valueBytes;
  std::size_t valueLength;
  std::uint32_t valueKind;
  // Of a string as soon as it is scanned; of a number once it goes to the
  // cache.
  std::uint32_t hash;
  std::uint64_t numberBits;
};

struct CacheSlot {
  JSONValue* value;  // retained by the cache; nullptr when empty
  std::uint32_t hash;
  // The slot's age (low 8 bits) beside the decode call that stored the
  // value (the other 24): values of the running call are still private to
  // this thread. Together, so that a probe touches one cache line.
  std::uint32_t ageAndGeneration;

  std::uint32_t generation() const noexcept { return ageAndGeneration >> 8; }
  std::uint8_t age() const noexcept { return static_cast<std::uint8_t>(ageAndGeneration); }
  void setAge(std::uint32_t age) noexcept {
    ageAndGeneration = (ageAndGeneration & ~0xFFu) | (age & 0xFFu);
  }
};

// Generations are 24 bits wide; the cache is cleared when they run out.
constexpr std::uint32_t kGenerationLimit = 1u << 24;

// Growable byte buffer for strings that need escapes decoded or repairs.
class ByteBuffer {
 public:
  ByteBuffer() = default;
  ByteBuffer(const ByteBuffer&) = delete;
  ByteBuffer& operator=(const ByteBuffer&) = delete;
  ~ByteBuffer() { std::free(data_); }

  void clear() noexcept { size_ = 0; }
  // Keeps memory of ordinary size for the next call; a huge string's buffer
  // is given back.
  void trim() noexcept {
    if (capacity_ > kKeep) {
      std::free(data_);
      data_ = nullptr;
      capacity_ = 0;
    }
    size_ = 0;
  }
  bool append(const void* bytes, std::size_t count) {
    if (!reserve(count)) return false;
    if (count) std::memcpy(data_ + size_, bytes, count);
    size_ += count;
    return true;
  }
  bool push(unsigned char byte) {
    if (size_ == capacity_ && !reserve(1)) return false;
    data_[size_++] = byte;
    return true;
  }
  const unsigned char* data() const noexcept { return data_; }
  std::size_t size() const noexcept { return size_; }

 private:
  static constexpr std::size_t kUnit = 4096;
  static constexpr std::size_t kKeep = 64 * 1024;

  bool reserve(std::size_t more) {
    if (capacity_ - size_ >= more) return true;
    std::size_t wanted = size_ + more + 1024;
    if (wanted < size_) return false;
    wanted = (wanted + kUnit - 1) / kUnit * kUnit;
    if (wanted < capacity_ * 2) wanted = capacity_ * 2;
    auto* grown = static_cast<unsigned char*>(std::realloc(data_, wanted));
    if (!grown) return false;
    data_ = grown;
    capacity_ = wanted;
    return true;
  }

  unsigned char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

inline bool isDigit(unsigned char c) noexcept {
  return c >= '0' && c <= '9';
}

inline int hexValue(unsigned char c) noexcept {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// A byte that a string copies as it is.
inline bool isPlainStringByte(unsigned char c) noexcept {
  return c >= 0x20 && c < 0x80 && c != '"' && c != '\\';
}

// Equality of short byte runs without a library call.
inline bool sameBytes(const char* a, const char* b, std::size_t length) noexcept {
  while (length >= 8) {
    std::uint64_t x;
    std::uint64_t y;
    std::memcpy(&x, a, 8);
    std::memcpy(&y, b, 8);
    if (x != y) return false;
    a += 8;
    b += 8;
    length -= 8;
  }
  while (length--) {
    if (*a++ != *b++) return false;
  }
  return true;
}

const char* sourceFileName() noexcept {
  const char* path = __FILE__;
  const char* slash = std::strrchr(path, '/');
  return slash ? slash + 1 : path;
}

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

class ParseState {
 public:
  explicit ParseState(JSONParseOptionFlags options) : options_(options) {
    values_.resize(kInitialStack);
    keys_.resize(kInitialStack);
  }
  ~ParseState() { clearCache(); }

  JSONParseOptionFlags options() const noexcept { return options_; }
  void setOptions(JSONParseOptionFlags options) noexcept { options_ = options; }
  // Set while a decode runs, so a nested one-shot call makes its own state.
  bool busy = false;
  std::size_t maximumDepth() const noexcept { return maximumDepth_; }
  void setMaximumDepth(std::size_t depth) noexcept { maximumDepth_ = depth ? depth : 1; }

  // `keepCache`: later calls will use the cache (a decoder's own state),
  // rather than it being cleared right after (a one-shot call).
  JSONValueRef decode(const unsigned char* bytes, std::size_t length, bool mutableCollections,
                      bool keepCache, JSONError* error);
  void clearCache() noexcept;

 private:
  static constexpr std::size_t kInitialStack = 1024;

  struct Frame {
    std::size_t start;  // first stack entry of this container
    bool isObject;
  };

  // Errors: only the first one of a call is kept.
  bool hasError() const noexcept { return hasError_; }
  void recordError(const unsigned char* at, std::string message) {
    if (hasError_) return;
    hasError_ = true;
    errorMessage_ = std::move(message);
    errorIndex_ = static_cast<std::size_t>(at - begin_);
    errorLine_ = line_;
  }
  void recordUnexpectedToken(const unsigned char* at) { recordError(at, kUnexpectedToken); }
  void recordStringError(const unsigned char* quote, std::string message) {
    recordError(quote, std::move(message));
    recordError(quote, "Invalid string.");
    recordUnexpectedToken(quote);
  }
  void recordExpectation(const unsigned char* at, const char* first, const char* comma,
                         const char* close, std::uint8_t allowed);

  // The position after any whitespace (and, with the options, comments
  // and Unicode line breaks) at `p`.
  [[gnu::always_inline]] const unsigned char* skip(const unsigned char* p) noexcept {
    while (p < end_) {
      const unsigned char c = *p;
      if (c > ' ') {
        if (!extendedWhitespace_ || !(c == '/' || c >= 0xC2)) return p;
        const unsigned char* after = p;
        if (!skipExtended(after)) return p;
        p = after;
      } else if (c == ' ') {
        ++p;
        if (p < end_ && *p == ' ') p = skipSpaceRun(p);
      } else if (c == '\n') {
        ++p;
        newLine();
        p = skipIndent(p);
      } else if (c == '\t') {
        ++p;
      } else if (c == '\r') {
        ++p;
        if (p < end_ && *p == '\n') ++p;
        newLine();
      } else {
        return p;
      }
    }
    return p;
  }
  // The spaces that indent a line, read 16 at a time where the input
  // allows: most pretty-printed lines start with fewer than 16.
  [[gnu::always_inline]] const unsigned char* skipIndent(const unsigned char* p) const noexcept {
#if LORVANE_JSON_SSE2
    if (end_ - p >= 16) {
      const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
      const unsigned other =
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8(' ')))) ^
          0xFFFFu;
      return other ? p + __builtin_ctz(other) : skipSpaceRun(p + 16);
    }
#endif
    return p;
  }
  void skipWhitespace(const unsigned char*& p) noexcept {
    p = skip(p);
  }
  void newLine() noexcept {
    ++line_;
  }
  const unsigned char* skipSpaceRun(const unsigned char* p) const noexcept;
  std::size_t unicodeLineBreakLength(const unsigned char* p) const noexcept;
  bool skipExtended(const unsigned char*& p) noexcept;

  [[gnu::always_inline]] inline bool nextToken(const unsigned char*& p);
  // The scanners return where the token ends, or nullptr after recording
  // why it is not one; a failed string leaves the tokenizer at its quote,
  // a failed number where `stopped_` says.
  const unsigned char* scanString(const unsigned char* p);
  const unsigned char* scanStringSlow(const unsigned char* quote, const unsigned char* s);
  bool readHexQuad(const unsigned char* quote, const unsigned char*& s, std::uint32_t& value);
  bool appendCodePoint(const unsigned char* quote, std::uint32_t codePoint);
  [[gnu::always_inline]] inline const unsigned char* scanNumberQuickly(
      const unsigned char* p) noexcept;
  [[gnu::noinline]] const unsigned char* scanNumber(const unsigned char* p);
  bool convertDouble(const unsigned char* start, const unsigned char* end, bool negative,
                     std::uint64_t mantissa, bool mantissaExact, long exponent10);
  bool convertInteger(const unsigned char* start, const unsigned char* end, bool negative,
                      std::uint64_t mantissa, int digits);
  [[gnu::noinline]] bool convertDoubleFully(std::string_view text, const unsigned char* end,
                                            double& value);

  JSONValue* tokenValue();
  JSONValue* cachedString();
  JSONValue* cachedNumber();
  void storeInCache(CacheSlot* chosen, JSONValue* value);
  void stepRandom() noexcept {
    prng_ = (prng_ >> 1) ^ ((prng_ & 1u) ? 0x80200003u : 0u);
  }
  void dropCached(const CacheSlot& slot) noexcept {
    if (slot.generation() != generation_) {
      slot.value->release();
    } else if (cacheCounted_) {
      ValueAccess::releaseUnshared(slot.value);
    }
  }
  // Gives the cache a counted reference to each value of the running
  // call, before anything could free one of them (see cacheCounted_).
  void countCachedValues() noexcept;
  static void countCachedValues(void* state) noexcept {
    static_cast<ParseState*>(state)->countCachedValues();
  }

  enum class Position { ArrayItem, ObjectItem, Colon, ObjectValue };
  void rejectToken(const unsigned char* p, Position position, std::uint8_t allowed);
  const unsigned char* scalarAt(const unsigned char* p, JSONValue*& value);
  // Leaves in `stopped_` where it finished, or where it failed.
  JSONValue* parseContainer(const unsigned char* p);
  bool reserveStack(const unsigned char* at, std::size_t more, bool forDictionary) {
    return top_ + more <= stackCapacity_ || growStack(at, forDictionary);
  }
  bool growStack(const unsigned char* at, bool forDictionary);
  JSONValue* buildArray(std::size_t start);
  JSONValue* buildDictionary(std::size_t start);
  void releaseStack(std::size_t from) noexcept;

  JSONParseOptionFlags options_;
  bool extendedWhitespace_ = false;
  std::size_t maximumDepth_ = JSONDecoder::kDefaultMaximumDepth;

  const unsigned char* begin_ = nullptr;
  const unsigned char* end_ = nullptr;
  std::size_t line_ = 1;
  const unsigned char* stopped_ = nullptr;

  Token token_{};
  ByteBuffer tokenBuffer_;

  // The object stack: parallel value and key arrays shared by all open
  // containers; frames_ says which entries belong to which container.
  std::vector<JSONValue*> values_;
  std::vector<JSONValue*> keys_;
  std::size_t top_ = 0;
  std::size_t stackCapacity_ = kInitialStack;
  std::vector<Frame> frames_;

  CacheSlot cache_[kCacheSlots] = {};
  std::uint32_t prng_ = 1;
  std::uint32_t generation_ = 0;
  // Values made by the running call are referenced from its tree, which
  // outlives them in the cache unless the call frees part of the tree: on
  // failure, or when a repeated key drops a value. Until then the cache's
  // references to them are not counted, which spares touching each value
  // when its slot is reused or cleared. Before any such release, and when
  // a call ends with the cache kept for later calls, they are counted.
  bool cacheCounted_ = false;
  // True while the running call's tree holds only values it made, each
  // counted only by the tree: no reference was dropped or given to the
  // cache, no earlier call's value was taken, and the collections are
  // immutable. Such a tree may be freed whole when its root dies.
  bool privateTree_ = false;

  // Doubles that do not repeat (coordinates, measurements) make every probe
  // a miss that costs far more than the 16 bytes a hit would save. The
  // first kDoubleTrial doubles of a call go through the cache; if fewer
  // than one in kDoubleHitShare of them were found there, the rest of the
  // call's doubles are made without it. Strings and integers always use it.
  static constexpr std::uint32_t kDoubleTrial = 1024;
  static constexpr std::uint32_t kDoubleHitShare = 16;
  std::uint32_t doubleLookups_ = 0;
  std::uint32_t doubleHits_ = 0;
  bool cacheDoubles_ = true;

  bool hasError_ = false;
  std::string errorMessage_;
  std::size_t errorIndex_ = 0;
  std::size_t errorLine_ = 0;
  bool mutableCollections_ = false;

  Arena arena_;
};

void ParseState::recordExpectation(const unsigned char* at, const char* first, const char* comma,
                                   const char* close, std::uint8_t allowed) {
  if (hasError_) return;
  const char* items[3];
  int count = 0;
  if ((allowed & kAllowValue) && first) items[count++] = first;
  if ((allowed & kAllowComma) && comma) items[count++] = comma;
  if ((allowed & kAllowClose) && close) items[count++] = close;
  const std::string text(reinterpret_cast<const char*>(token_.text), token_.textLength);
  std::string message;
  if (count == 1) {
    message = std::string("Expected ") + items[0] + ", not '" + text + "'";
  } else if (count == 2) {
    message = std::string("Expected ") + items[0] + " or " + items[1] + ", not '" + text + "'";
  } else if (count == 3) {
    message = std::string("Expected ") + items[0] + ", " + items[1] + ", or " + items[2] +
              ", not '" + text;
  } else {
    message = kUnexpectedToken;
  }
  recordError(at, std::move(message));
}

const unsigned char* ParseState::skipSpaceRun(const unsigned char* p) const noexcept {
#if LORVANE_JSON_SSE2
  // Indentation comes in long runs of spaces; step over them 16 at a time.
  const __m128i space = _mm_set1_epi8(' ');
  while (end_ - p >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned mask =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, space))) ^ 0xFFFFu;
    if (mask) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  while (p < end_ && *p == ' ') ++p;
  return p;
}

std::size_t ParseState::unicodeLineBreakLength(const unsigned char* p) const noexcept {
  if (!(options_ & JSONParseUnicodeLineBreaks)) return 0;
  const std::size_t left = static_cast<std::size_t>(end_ - p);
  if (left >= 2 && p[0] == 0xC2 && p[1] == 0x85) return 2;
  if (left >= 3 && p[0] == 0xE2 && p[1] == 0x80 && (p[2] == 0xA8 || p[2] == 0xA9)) return 3;
  return 0;
}

// Comments and Unicode line breaks; false when `p` is at neither.
bool ParseState::skipExtended(const unsigned char*& p) noexcept {
  if (std::size_t length = unicodeLineBreakLength(p)) {
    p += length;
    newLine();
    return true;
  }
  if (!(options_ & JSONParseAllowComments) || *p != '/' || end_ - p < 2) return false;
  if (p[1] == '*') {
    p += 2;
    while (p < end_) {
      if (p[0] == '*' && end_ - p >= 2 && p[1] == '/') {
        p += 2;
        return true;
      }
      if (*p == '\n') {
        ++p;
        newLine();
      } else if (*p == '\r') {
        ++p;
        if (p < end_ && *p == '\n') ++p;
        newLine();
      } else if (std::size_t length = unicodeLineBreakLength(p)) {
        p += length;
        newLine();
      } else {
        ++p;
      }
    }
    // An unterminated comment runs to the end of the input.
    return true;
  }
  if (p[1] == '/') {
    p += 2;
    while (p < end_ && *p != '\n' && *p != '\r' && !unicodeLineBreakLength(p)) ++p;
    return true;
  }
  return false;
}

inline bool ParseState::nextToken(const unsigned char*& p) {
  if (p >= end_) {
    recordUnexpectedToken(p);
    return false;
  }
  const unsigned char c = *p;
  token_.text = p;
  token_.textLength = 1;
  switch (c) {
    case '{':
      token_.kind = TokenKind::ObjectBegin;
      ++p;
      return true;
    case '}':
      token_.kind = TokenKind::ObjectEnd;
      ++p;
      return true;
    case '[':
      token_.kind = TokenKind::ArrayBegin;
      ++p;
      return true;
    case ']':
      token_.kind = TokenKind::ArrayEnd;
      ++p;
      return true;
    case ':':
      token_.kind = TokenKind::Colon;
      ++p;
      return true;
    case ',':
      token_.kind = TokenKind::Comma;
      ++p;
      return true;
    case '"': {
      const unsigned char* after = scanString(p);
      if (!after) return false;
      p = after;
      return true;
    }
    case 't':
      // The word needs one more byte of input after it.
      if (end_ - p > 4 && std::memcmp(p + 1, "rue", 3) == 0) {
        token_.kind = TokenKind::True;
        token_.textLength = 4;
        p += 4;
        return true;
      }
      break;
    case 'f':
      if (end_ - p > 5 && std::memcmp(p + 1, "alse", 4) == 0) {
        token_.kind = TokenKind::False;
        token_.textLength = 5;
        p += 5;
        return true;
      }
      break;
    case 'n':
      if (end_ - p > 4 && std::memcmp(p + 1, "ull", 3) == 0) {
        token_.kind = TokenKind::Null;
        token_.textLength = 4;
        p += 4;
        return true;
      }
      break;
    default:
      if (c == '-' || isDigit(c)) {
        const unsigned char* after = scanNumberQuickly(p);
        if (!after) after = scanNumber(p);
        p = after ? after : stopped_;
        return after != nullptr;
      }
      break;
  }
  recordUnexpectedToken(p);
  return false;
}

// Checks the multi-byte sequences that start in [from, limit); the end of
// the last one (which may lie past `limit`), or nullptr with `bad` at the
// first sequence that is not valid.
inline const unsigned char* validateSequences(const unsigned char* from, const unsigned char* limit,
                                              const unsigned char* end,
                                              const unsigned char*& bad) noexcept {
  while (from < limit) {
    if (*from < 0x80) {
      ++from;
      continue;
    }
    const unsigned char* next = quickUTF8(from, end);
    if (!next) {
      bad = from;
      return nullptr;
    }
    from = next;
  }
  return from;
}

// Steps over ordinary string content, ASCII and valid multi-byte
// sequences alike; stops at the first byte that needs a closer look (quote,
// backslash, control byte, a sequence that is not valid) or at the end.
inline const unsigned char* skipPlainText(const unsigned char* s,
                                          const unsigned char* end) noexcept {
  const unsigned char* checked = s;
#if LORVANE_JSON_SSE2
  const __m128i quoteMark = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i control = _mm_set1_epi8(0x1F);
  while (end - s >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    const __m128i stops = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(block, quoteMark), _mm_cmpeq_epi8(block, backslash)),
        _mm_cmpeq_epi8(_mm_min_epu8(block, control), block));
    const unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(stops));
    const unsigned plain = stop ? static_cast<unsigned>(__builtin_ctz(stop)) : 16;
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block)) & ((1u << plain) - 1);
    if (high) {
      const unsigned char* from = s + __builtin_ctz(high);
      if (from < checked) from = checked;
      const unsigned char* bad = nullptr;
      const unsigned char* next = validateSequences(from, s + plain, end, bad);
      if (!next) return bad;
      checked = next;
    }
    s += plain;
    if (plain < 16) return s;
  }
#endif
  if (s < checked) s = checked;
  while (s < end) {
    if (isPlainStringByte(*s)) {
      ++s;
    } else if (*s >= 0x80) {
      const unsigned char* next = quickUTF8(s, end);
      if (!next) return s;
      s = next;
    } else {
      return s;
    }
  }
  return s;
}

const unsigned char* ParseState::scanString(const unsigned char* p) {
  const unsigned char* const quote = p;
  const unsigned char* s = p + 1;
  std::uint32_t hash = kHashSeed;
  // Multi-byte sequences before this point have been checked; one may run
  // on past the block it started in.
  const unsigned char* checked = s;
#if LORVANE_JSON_SSE2
  const __m128i quoteMark = _mm_set1_epi8('"');
  const __m128i backslash = _mm_set1_epi8('\\');
  const __m128i control = _mm_set1_epi8(0x1F);
  while (end_ - s >= 16) {
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s));
    // Quote, backslash and control bytes end the plain run; bytes of 0x80
    // and up only need their sequences checked.
    const __m128i stops = _mm_or_si128(
        _mm_or_si128(_mm_cmpeq_epi8(block, quoteMark), _mm_cmpeq_epi8(block, backslash)),
        _mm_cmpeq_epi8(_mm_min_epu8(block, control), block));
    const unsigned stop = static_cast<unsigned>(_mm_movemask_epi8(stops));
    const unsigned plain = stop ? static_cast<unsigned>(__builtin_ctz(stop)) : 16;
    const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(block)) & ((1u << plain) - 1);
    if (high) {
      const unsigned char* from = s + __builtin_ctz(high);
      if (from < checked) from = checked;
      const unsigned char* bad = nullptr;
      const unsigned char* next = validateSequences(from, s + plain, end_, bad);
      if (!next) return scanStringSlow(quote, bad);
      checked = next;
    }
    hash = hashStep(hash, block, plain);
    s += plain;
    if (plain < 16) goto special;
  }
#endif
  for (;;) {
    // The last bytes of the input, one at a time.
    if (s < checked) {
      hash = hashBytesScalar(hash, s, static_cast<std::size_t>(checked - s));
      s = checked;
    }
    while (s < end_ && isPlainStringByte(*s)) hash = hash * 33u + *s++;
    if (s == end_) {
      recordStringError(quote, "Invalid string.");
      return nullptr;
    }
    if (*s < 0x80) break;
    const UTF8Sequence sequence = checkUTF8(s, end_);
    if (sequence.status != UTF8Status::Valid) return scanStringSlow(quote, s);
    hash = hashBytesScalar(hash, s, static_cast<std::size_t>(sequence.next - s));
    s = sequence.next;
    checked = s;
  }
#if LORVANE_JSON_SSE2
special:
#endif
  const unsigned char c = *s;
  if (c == '"') {
    token_.kind = TokenKind::String;
    token_.textLength = static_cast<std::size_t>(s + 1 - quote);
    token_.valueBytes = reinterpret_cast<const char*>(quote + 1);
    token_.valueLength = static_cast<std::size_t>(s - quote - 1);
    token_.valueKind = kStringKind;
    token_.hash = hash;
    return s + 1;
  }
  if (c == '\\') return scanStringSlow(quote, s);
  char message[64];
  std::snprintf(message, sizeof message, "Invalid character < 0x20 found in string: 0x%2.2x.", c);
  recordStringError(quote, message);
  return nullptr;
}

bool ParseState::readHexQuad(const unsigned char* quote, const unsigned char*& s,
                             std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < 4; ++i) {
    if (s >= end_) {
      recordStringError(quote, "Invalid string.");
      return false;
    }
    const int digit = hexValue(*s);
    if (digit < 0) {
      std::string message = "Unexpected character found in \\u Unicode escape sequence.  Found '";
      message += static_cast<char>(*s);
      message += "', expected [0-9a-fA-F].";
      recordStringError(quote, std::move(message));
      return false;
    }
    value = value * 16 + static_cast<std::uint32_t>(digit);
    ++s;
  }
  return true;
}

bool ParseState::appendCodePoint(const unsigned char* quote, std::uint32_t codePoint) {
  unsigned char bytes[4];
  const unsigned count = encodeUTF8(codePoint, bytes);
  if (!tokenBuffer_.append(bytes, count)) {
    recordStringError(quote, "Internal error: unable to grow the string buffer.");
    return false;
  }
  return true;
}

const unsigned char* ParseState::scanStringSlow(const unsigned char* quote,
                                                const unsigned char* s) {
  const bool replace = options_ & JSONParseReplaceInvalidUnicode;
  tokenBuffer_.clear();
  if (!tokenBuffer_.append(quote + 1, static_cast<std::size_t>(s - quote - 1))) {
    recordStringError(quote, "Internal error: unable to grow the string buffer.");
    return nullptr;
  }
  for (;;) {
    const unsigned char* run = s;
    s = skipPlainText(s, end_);
    if (s > run && !tokenBuffer_.append(run, static_cast<std::size_t>(s - run))) {
      recordStringError(quote, "Internal error: unable to grow the string buffer.");
      return nullptr;
    }
    if (s >= end_) {
      recordStringError(quote, "Invalid string.");
      return nullptr;
    }
    const unsigned char c = *s;
    if (c == '"') break;
    if (c < 0x20) {
      char message[64];
      std::snprintf(message, sizeof message, "Invalid character < 0x20 found in string: 0x%2.2x.",
                    c);
      recordStringError(quote, message);
      return nullptr;
    }
    if (c >= 0x80) {
      const UTF8Sequence sequence = checkUTF8(s, end_);
      if (sequence.status == UTF8Status::Valid) {
        if (!tokenBuffer_.append(s, static_cast<std::size_t>(sequence.next - s))) {
          recordStringError(quote, "Internal error: unable to grow the string buffer.");
          return nullptr;
        }
      } else if (sequence.status == UTF8Status::Truncated) {
        recordStringError(quote, "End of buffer reached while parsing UTF8 in \"\" string.");
        return nullptr;
      } else if (!replace) {
        recordStringError(quote, "Illegal UTF8 sequence found in \"\" string.");
        return nullptr;
      } else if (!appendCodePoint(quote, kReplacementCharacter)) {
        return nullptr;
      }
      s = sequence.next;
      continue;
    }
    // A backslash: an escape.
    ++s;
    if (s >= end_) {
      recordStringError(quote, "Invalid string.");
      return nullptr;
    }
    const unsigned char escaped = *s++;
    unsigned char simple = 0;
    switch (escaped) {
      case '"':
        simple = 0x22;
        break;
      case '\\':
        simple = 0x5C;
        break;
      case '/':
        simple = 0x2F;
        break;
      case 'b':
        simple = 0x08;
        break;
      case 'f':
        simple = 0x0C;
        break;
      case 'n':
        simple = 0x0A;
        break;
      case 'r':
        simple = 0x0D;
        break;
      case 't':
        simple = 0x09;
        break;
      case 'u':
        break;
      default:
        recordStringError(quote, "Invalid escape sequence found in \"\" string.");
        return nullptr;
    }
    if (escaped != 'u') {
      if (!tokenBuffer_.push(simple)) {
        recordStringError(quote, "Internal error: unable to grow the string buffer.");
        return nullptr;
      }
      continue;
    }
    std::uint32_t value;
    if (!readHexQuad(quote, s, value)) return nullptr;
    std::uint32_t codePoint = value;
    bool illegal = false;
    if (value >= 0xD800 && value <= 0xDBFF) {
      // A high surrogate needs a second escape right after it.
      if (s >= end_ || (s[0] == '\\' && s + 1 >= end_)) {
        recordStringError(quote, "Invalid string.");
        return nullptr;
      }
      if (s[0] != '\\' || s[1] != 'u') {
        if (!replace) {
          recordStringError(quote,
                            "Required a second \\u Unicode escape sequence following a surrogate "
                            "\\u Unicode escape sequence.");
          return nullptr;
        }
        // The unexpected bytes are read again as ordinary string content.
        if (!appendCodePoint(quote, kReplacementCharacter)) return nullptr;
        continue;
      }
      s += 2;
      std::uint32_t low;
      if (!readHexQuad(quote, s, low)) return nullptr;
      if (low >= 0xDC00 && low <= 0xDFFF) {
        codePoint = (value - 0xD800) * 0x400 + (low - 0xDC00) + 0x10000;
      } else {
        illegal = true;
      }
    } else if (value >= 0xDC00 && value <= 0xDFFF) {
      illegal = true;
    }
    if (!illegal && (codePoint == 0 || isForbiddenCodePoint(codePoint))) illegal = true;
    if (illegal) {
      if (!replace) {
        recordStringError(quote, "Illegal \\u Unicode escape sequence.");
        return nullptr;
      }
      codePoint = kReplacementCharacter;
    }
    if (!appendCodePoint(quote, codePoint)) return nullptr;
  }
  token_.kind = TokenKind::String;
  token_.textLength = static_cast<std::size_t>(s + 1 - quote);
  token_.valueBytes = reinterpret_cast<const char*>(tokenBuffer_.data());
  token_.valueLength = tokenBuffer_.size();
  token_.valueKind = kStringKind;
  token_.hash = hashBytes(kHashSeed, tokenBuffer_.data(), tokenBuffer_.size());
  return s + 1;
}

// Eight ASCII digits in one little-endian word: each byte is 0x30..0x39.
inline bool isEightDigits(std::uint64_t chunk) noexcept {
  return ((chunk & 0xF0F0F0F0F0F0F0F0ull) |
          (((chunk + 0x0606060606060606ull) & 0xF0F0F0F0F0F0F0F0ull) >> 4)) ==
         0x3333333333333333ull;
}

// Their value, by combining neighbours pairwise: 2, then 4, then 8 digits.
inline std::uint64_t eightDigitsValue(std::uint64_t chunk) noexcept {
  chunk = ((chunk & 0x0F0F0F0F0F0F0F0Full) * 2561) >> 8;
  chunk = ((chunk & 0x00FF00FF00FF00FFull) * 6553601) >> 16;
  return ((chunk & 0x0000FFFF0000FFFFull) * 42949672960001ull) >> 32;
}

// How many of the eight bytes, from the first, are ASCII digits. A byte x
// (after XOR with '0') is a digit when x < 10; adding 0x76 to its low seven
// bits sets the top bit exactly when it is not, and no byte carries into
// the next.
inline unsigned leadingDigitCount(std::uint64_t chunk) noexcept {
  const std::uint64_t x = chunk ^ 0x3030303030303030ull;
  const std::uint64_t notDigit =
      (((x & 0x7F7F7F7F7F7F7F7Full) + 0x7676767676767676ull) | x) & 0x8080808080808080ull;
  return notDigit ? static_cast<unsigned>(__builtin_ctzll(notDigit)) >> 3 : 8;
}

constexpr std::uint64_t kPowersOfTenInteger[] = {1,      10,      100,      1000,     10000,
                                                 100000, 1000000, 10000000, 100000000};

// Reads a run of digits into the mantissa; `digits` counts every digit,
// and the mantissa is exact as long as that count stays at 19 or below.
inline const unsigned char* readDigits(const unsigned char* s, const unsigned char* end,
                                       std::uint64_t& mantissa, int& digits) noexcept {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
  while (end - s >= 8) {
    std::uint64_t chunk;
    std::memcpy(&chunk, s, sizeof chunk);
    const unsigned count = leadingDigitCount(chunk);
    if (count == 0) return s;
    if (digits + static_cast<int>(count) <= 19) {
      if (count <= 2) {
        // The integer part of most coordinates and prices: cheaper one by one.
        for (unsigned i = 0; i < count; ++i) mantissa = mantissa * 10 + (s[i] - '0');
        digits += static_cast<int>(count);
        return s + count;
      }
      // Right-align the digits behind '0' bytes and read them as eight.
      if (count < 8) {
        chunk = (chunk << (8 * (8 - count))) | (0x3030303030303030ull >> (8 * count));
      }
      mantissa = mantissa * kPowersOfTenInteger[count] + eightDigitsValue(chunk);
    }
    digits += static_cast<int>(count);
    s += count;
    if (count < 8) return s;
  }
#endif
  while (s < end && isDigit(*s)) {
    if (digits < 19) mantissa = mantissa * 10 + static_cast<unsigned>(*s - '0');
    ++digits;
    ++s;
  }
  return s;
}

// The common case of a well-formed number of at most 19 digits whose value
// the exact shortcuts can decide, with no error reporting; anything else
// returns false untouched for scanNumber to read again in full.
inline const unsigned char* ParseState::scanNumberQuickly(const unsigned char* p) noexcept {
  const unsigned char* const start = p;
  const unsigned char* s = p;
  const bool negative = *s == '-';
  s += negative;
  if (end_ - s < 2) return nullptr;
  std::uint64_t mantissa = 0;
  int digits = 0;
  if (*s == '0') {
    ++s;
  } else if (isDigit(*s)) {
    s = readDigits(s, end_, mantissa, digits);
  } else {
    return nullptr;
  }
  if (s == end_) return nullptr;
  int exponent10 = 0;
  bool floating = false;
  if (*s == '.') {
    ++s;
    const unsigned char* fraction = s;
    s = readDigits(s, end_, mantissa, digits);
    if (s == fraction || s == end_) return nullptr;
    exponent10 = -static_cast<int>(s - fraction);
    floating = true;
  }
  if ((*s | 0x20) == 'e') {
    ++s;
    if (s == end_) return nullptr;
    const bool exponentNegative = *s == '-';
    if (*s == '+' || *s == '-') ++s;
    int exponent = 0;
    const unsigned char* first = s;
    while (s < end_ && isDigit(*s) && s - first < 4) exponent = exponent * 10 + (*s++ - '0');
    if (s == first || s == end_ || isDigit(*s)) return nullptr;
    exponent10 += exponentNegative ? -exponent : exponent;
    floating = true;
  }
  if (digits > 19) return nullptr;
  if (!floating && negative && s - start == 2 && start[1] == '0') floating = true;
  std::uint64_t bits;
  std::uint32_t kind;
  if (floating) {
    double value;
    if (mantissa == 0) {
      value = 0.0;
    } else if (mantissa <= (std::uint64_t{1} << 53) && exponent10 >= -22 && exponent10 <= 22) {
      value = static_cast<double>(mantissa);
      value = exponent10 < 0 ? value / kExactPowersOfTen[-exponent10]
                             : value * kExactPowersOfTen[exponent10];
    } else if (exponent10 < kSmallestDecimalExponent || exponent10 > kLargestDecimalExponent ||
               !decimalToDouble(mantissa, exponent10, value)) {
      return nullptr;
    }
    if (negative) value = -value;
    std::memcpy(&bits, &value, sizeof bits);
    kind = kDoubleKind;
  } else {
    if (negative) {
      if (mantissa > (std::uint64_t{1} << 63)) return nullptr;
      bits = ~mantissa + 1;
      kind = kSignedKind;
    } else {
      bits = mantissa;
      kind = mantissa > (std::uint64_t{1} << 63) - 1 ? kUnsignedKind : kSignedKind;
    }
  }
  token_.kind = TokenKind::Number;
  token_.textLength = static_cast<std::size_t>(s - start);
  token_.valueKind = kind;
  token_.numberBits = bits;
  return s;
}

const unsigned char* ParseState::scanNumber(const unsigned char* p) {
  const unsigned char* const start = p;
  const unsigned char* s = p;
  const auto invalidAt = [&](const unsigned char* at) -> const unsigned char* {
    stopped_ = at;
    recordError(at, "Invalid number.");
    return nullptr;
  };
  bool negative = false;
  if (*s == '-') {
    negative = true;
    ++s;
    if (s == end_) return invalidAt(s);
  }
  std::uint64_t mantissa = 0;
  int digits = 0;
  if (*s == '0') {
    ++s;
  } else if (isDigit(*s)) {
    s = readDigits(s, end_, mantissa, digits);
  } else {
    return invalidAt(s);
  }
  if (s == end_) return invalidAt(s);
  bool floating = false;
  long exponent10 = 0;
  bool exponentHuge = false;
  if (*s == '.') {
    floating = true;
    ++s;
    if (s == end_ || !isDigit(*s)) return invalidAt(s);
    const unsigned char* fraction = s;
    s = readDigits(s, end_, mantissa, digits);
    exponent10 = -(s - fraction);
    if (s == end_) return invalidAt(s);
  }
  if (*s == 'e' || *s == 'E') {
    floating = true;
    ++s;
    if (s == end_) return invalidAt(s);
    bool exponentNegative = false;
    if (*s == '+' || *s == '-') {
      exponentNegative = *s == '-';
      ++s;
      if (s == end_) return invalidAt(s);
    }
    if (!isDigit(*s)) return invalidAt(s);
    long exponent = 0;
    while (s < end_ && isDigit(*s)) {
      if (exponent < 100000) {
        exponent = exponent * 10 + (*s - '0');
      } else {
        exponentHuge = true;
      }
      ++s;
    }
    if (s == end_) return invalidAt(s);
    exponent10 += exponentNegative ? -exponent : exponent;
  }
  // Exactly "-0" is the negative-zero double.
  if (!floating && negative && s - start == 2 && start[1] == '0') floating = true;
  token_.kind = TokenKind::Number;
  token_.textLength = static_cast<std::size_t>(s - start);
  const bool converted = floating ? convertDouble(start, s, negative, mantissa,
                                                  digits <= 19 && !exponentHuge, exponent10)
                                  : convertInteger(start, s, negative, mantissa, digits);
  stopped_ = s;
  return converted ? s : nullptr;
}

bool ParseState::convertDouble(const unsigned char* start, const unsigned char* end, bool negative,
                               std::uint64_t mantissa, bool mantissaExact, long exponent10) {
  double value = 0;
  bool done = false;
  if (mantissaExact) {
    if (mantissa == 0) {
      value = 0.0;
      done = true;
    } else if (mantissa <= (std::uint64_t{1} << 53) && exponent10 >= -22 && exponent10 <= 22) {
      // Both operands exact: one correctly rounded multiply or divide.
      value = static_cast<double>(mantissa);
      value = exponent10 < 0 ? value / kExactPowersOfTen[-exponent10]
                             : value * kExactPowersOfTen[exponent10];
      done = true;
    } else if (exponent10 >= kSmallestDecimalExponent && exponent10 <= kLargestDecimalExponent) {
      // Longer mantissas, such as 17-digit coordinates: exact integer
      // arithmetic on a 128-bit power of five.
      done = decimalToDouble(mantissa, static_cast<int>(exponent10), value);
    }
    if (done && negative) value = -value;
  }
  const std::string_view text(reinterpret_cast<const char*>(start),
                              static_cast<std::size_t>(end - start));
  if (!done && !convertDoubleFully(text, end, value)) return false;
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  token_.valueKind = kDoubleKind;
  token_.numberBits = bits;
  return true;
}

// The general conversion, for what the exact shortcuts cannot decide.
bool ParseState::convertDoubleFully(std::string_view text, const unsigned char* end,
                                    double& value) {
  const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  if (result.ec == std::errc::result_out_of_range) {
    // Ask strtod which way it went; denormal results are fine and never
    // get here.
    const std::string copy(text);
    errno = 0;
    const double clamped = std::strtod(copy.c_str(), nullptr);
    recordError(end, "The value '" + copy + "' could not be represented as a 'double' due to " +
                         (clamped == 0.0 ? "underflow" : "overflow") + ".");
    recordError(end, "Invalid number.");
    return false;
  }
  if (result.ec != std::errc() || result.ptr != text.data() + text.size()) {
    recordError(end,
                "The conversion function did not consume all of the number tokens characters.");
    recordError(end, "Invalid number.");
    return false;
  }
  return true;
}

bool ParseState::convertInteger(const unsigned char* start, const unsigned char* end, bool negative,
                                std::uint64_t mantissa, int digits) {
  const std::string_view text(reinterpret_cast<const char*>(start),
                              static_cast<std::size_t>(end - start));
  std::uint64_t magnitude = mantissa;
  bool overflow = false;
  if (digits > 19) {
    // Past 19 digits only a few 20-digit values still fit.
    magnitude = 0;
    for (const char c : text.substr(negative ? 1 : 0)) {
      if (__builtin_mul_overflow(magnitude, std::uint64_t{10}, &magnitude) ||
          __builtin_add_overflow(magnitude, std::uint64_t(c - '0'), &magnitude)) {
        overflow = true;
        break;
      }
    }
  }
  if (negative) {
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
    if (overflow || magnitude > kLimit) {
      recordError(end, "The value '" + std::string(text) +
                           "' exceeded the minimum value that could be represented: "
                           "-9223372036854775808.");
      recordError(end, "Invalid number.");
      return false;
    }
    const std::uint64_t bits = ~magnitude + 1;  // two's complement negation
    token_.valueKind = kSignedKind;
    token_.numberBits = bits;
    return true;
  }
  if (overflow) {
    recordError(end, "The value '" + std::string(text) +
                         "' exceeded the maximum value that could be represented: "
                         "18446744073709551615.");
    recordError(end, "Invalid number.");
    return false;
  }
  const std::uint32_t kind = magnitude > (std::uint64_t{1} << 63) - 1 ? kUnsignedKind : kSignedKind;
  token_.valueKind = kind;
  token_.numberBits = magnitude;
  return true;
}

void ParseState::storeInCache(CacheSlot* chosen, JSONValue* value) {
  if (chosen) {
    if (chosen->value) dropCached(*chosen);
    // One reference for the tree; one for the cache once it counts.
    if (cacheCounted_) ValueAccess::setReferences(value, 2);
    chosen->value = value;
    chosen->hash = token_.hash;
    chosen->ageAndGeneration = generation_ << 8;  // age 0
  }
  stepRandom();
  CacheSlot& aged = cache_[prng_ & kCacheMask];
  aged.setAge(aged.age() >> 1);
}

// The value of the current string token, shared through the cache.
JSONValue* ParseState::cachedString() {
  const std::size_t length = token_.valueLength;
  if (length == 0) return JSONStringValue::empty().get();
  const std::uint32_t hash = token_.hash;
  const std::uint32_t step = static_cast<std::uint32_t>(length) + kStringKind + 3;
  CacheSlot* chosen = nullptr;
  for (std::uint32_t probe = 0; probe < 4; ++probe) {
    const std::size_t index = (hash + probe * step) & kCacheMask;
    CacheSlot& slot = cache_[index];
    if (!slot.value) {
      chosen = &slot;
      break;
    }
    if (slot.hash == hash && slot.value->isString()) {
      const auto* cached = static_cast<const JSONStringValue*>(slot.value);
      if (cached->length() == length && sameBytes(cached->data(), token_.valueBytes, length)) {
        slot.setAge(slot.age() * 2u + 1u);
        if (slot.generation() == generation_) {
          ValueAccess::retainUnshared(slot.value);
        } else {
          slot.value->retain();
          privateTree_ = false;
        }
        return slot.value;
      }
    }
    if (!chosen) {
      if (slot.age() == 0) {
        chosen = &slot;
      } else {
        slot.setAge(slot.age() >> 1);
        stepRandom();
        stepRandom();
      }
    }
  }
  JSONValue* value = ValueAccess::newString(&arena_, token_.valueBytes, length, hash);
  storeInCache(chosen, value);
  return value;
}

JSONValue* ParseState::cachedNumber() {
  const std::uint32_t kind = token_.valueKind;
  const std::uint64_t bits = token_.numberBits;
  const std::uint32_t step = 8 + kind + 3;
  const JSONValueKind valueKind = kind == kDoubleKind     ? JSONValueKind::Double
                                  : kind == kUnsignedKind ? JSONValueKind::UnsignedInteger
                                                          : JSONValueKind::SignedInteger;
  if (kind == kDoubleKind) {
    if (!cacheDoubles_) return ValueAccess::newNumber(&arena_, valueKind, bits);
    if (++doubleLookups_ == kDoubleTrial) {
      cacheDoubles_ = doubleHits_ * kDoubleHitShare >= kDoubleTrial;
    }
  }
  // Hashed only here, so that a double made without the cache is not
  // kept waiting on by the hash.
  const std::uint32_t hash = numberHash(
      kHashSeed + kind + (kind == kDoubleKind ? 0 : static_cast<std::uint32_t>(bits)), bits);
  token_.hash = hash;
  CacheSlot* chosen = nullptr;
  for (std::uint32_t probe = 0; probe < 4; ++probe) {
    const std::size_t index = (hash + probe * step) & kCacheMask;
    CacheSlot& slot = cache_[index];
    if (!slot.value) {
      chosen = &slot;
      break;
    }
    if (slot.hash == hash && slot.value->kind() == valueKind &&
        ValueAccess::bits(static_cast<const JSONNumber*>(slot.value)) == bits) {
      slot.setAge(slot.age() * 2u + 1u);
      if (slot.generation() == generation_) {
        ValueAccess::retainUnshared(slot.value);
      } else {
        slot.value->retain();
        privateTree_ = false;
      }
      if (kind == kDoubleKind) ++doubleHits_;
      return slot.value;
    }
    if (!chosen) {
      if (slot.age() == 0) {
        chosen = &slot;
      } else {
        slot.setAge(slot.age() >> 1);
        stepRandom();
        stepRandom();
      }
    }
  }
  JSONValue* value = ValueAccess::newNumber(&arena_, valueKind, bits);
  storeInCache(chosen, value);
  return value;
}

JSONValue* ParseState::tokenValue() {
  switch (token_.kind) {
    case TokenKind::String:
      return cachedString();
    case TokenKind::Number:
      return cachedNumber();
    case TokenKind::True:
      return JSONValue::trueValue().get();
    case TokenKind::False:
      return JSONValue::falseValue().get();
    default:
      return JSONValue::null().get();
  }
}

void ParseState::countCachedValues() noexcept {
  // From here on references are dropped or kept outside the tree.
  privateTree_ = false;
  if (cacheCounted_) return;
  cacheCounted_ = true;
  for (const CacheSlot& slot : cache_) {
    if (slot.value && slot.generation() == generation_) ValueAccess::retainUnshared(slot.value);
  }
}

void ParseState::clearCache() noexcept {
  for (std::size_t i = 0; i < kCacheSlots; ++i) {
    if (cache_[i].value) dropCached(cache_[i]);
    cache_[i] = {};
  }
}

bool ParseState::growStack(const unsigned char* at, bool forDictionary) {
  // Doubling, in whole units of 2048 entries: growing by a fixed step
  // would copy the stack over and over for one long array.
  const std::size_t wanted = (values_.size() * 2 + 2047) / 2048 * 2048;
  try {
    values_.resize(wanted);
    keys_.resize(wanted);
    stackCapacity_ = wanted;
    return true;
  } catch (const std::bad_alloc&) {
    char message[160];
    std::snprintf(
        message, sizeof message,
        forDictionary
            ? "Internal error: [dictionary] objectsIndex > %zu, resize failed? %s line #%ld"
            : "Internal error: [array] objectsIndex > %zu, resize failed? %s line %ld",
        values_.size(), sourceFileName(), static_cast<long>(__LINE__));
    recordError(at, message);
    return false;
  }
}

JSONValue* ParseState::buildArray(std::size_t start) {
  JSONValue* array =
      ValueAccess::newArray(&arena_, values_.data() + start, top_ - start, mutableCollections_);
  top_ = start;
  return array;
}

JSONValue* ParseState::buildDictionary(std::size_t start) {
  JSONValue* dictionary =
      ValueAccess::newDictionary(&arena_, keys_.data() + start, values_.data() + start,
                                 top_ - start, mutableCollections_, &countCachedValues, this);
  top_ = start;
  return dictionary;
}

// Releases the entries of every open container from the innermost out.
void ParseState::releaseStack(std::size_t from) noexcept {
  std::size_t end = top_;
  while (!frames_.empty()) {
    const Frame frame = frames_.back();
    frames_.pop_back();
    for (std::size_t i = frame.start; i < end; ++i) {
      if (values_[i]) values_[i]->release();
      if (frame.isObject && keys_[i]) keys_[i]->release();
    }
    end = frame.start;
  }
  top_ = from;
}

// Reads the token at `p`, which the fast paths below did not expect, and
// records the error the structure rules give for it at that position.
void ParseState::rejectToken(const unsigned char* at, Position position, std::uint8_t allowed) {
  const unsigned char* p = at;
  const bool read = nextToken(p);
  stopped_ = p;
  if (!read) return;
  const TokenKind kind = token_.kind;
  const bool isValue =
      kind >= TokenKind::String || kind == TokenKind::ArrayBegin || kind == TokenKind::ObjectBegin;
  switch (position) {
    case Position::ArrayItem:
      if (isValue) {
        recordError(p, (allowed & kAllowValue) ? kUnexpectedToken : "Unexpected value.");
      } else if (kind == TokenKind::ArrayEnd) {
        recordError(p, "Unexpected ']'.");
      } else if (kind == TokenKind::Comma) {
        recordError(p, "Unexpected ','.");
      } else {
        recordExpectation(p, "a value", "a comma", "a ']'", allowed);
      }
      return;
    case Position::ObjectItem:
      if (kind == TokenKind::ObjectEnd) {
        recordError(p, "Unexpected '}'.");
      } else if (kind == TokenKind::Comma) {
        recordError(p, "Unexpected ','.");
      } else if (kind != TokenKind::String) {
        recordExpectation(p, "a \"STRING\"", "a comma", "a '}'", allowed);
      } else {
        recordError(p, (allowed & kAllowValue) ? kUnexpectedToken : "Unexpected string.");
      }
      return;
    case Position::Colon:
      recordError(p, "Expected ':'.");
      return;
    case Position::ObjectValue:
      recordExpectation(p, "a value", nullptr, "a '}'", allowed);
      return;
  }
}

// The scalar starting at `p` (a string, number or word), or nullptr after
// recording why there is none.
inline const unsigned char* ParseState::scalarAt(const unsigned char* p, JSONValue*& value) {
  const unsigned char c = *p;
  if (c == '"') {
    token_.text = p;
    const unsigned char* after = scanString(p);
    if (!after) {
      stopped_ = p;
      return nullptr;
    }
    value = cachedString();
    return after;
  }
  if (c == '-' || isDigit(c)) {
    token_.text = p;
    const unsigned char* after = scanNumberQuickly(p);
    if (!after && !(after = scanNumber(p))) return nullptr;
    value = token_.valueKind == kDoubleKind && !cacheDoubles_
                ? ValueAccess::newNumber(&arena_, JSONValueKind::Double, token_.numberBits)
                : cachedNumber();
    return after;
  }
  // true, false, null: each needs one more byte of input after the word.
  const std::size_t left = static_cast<std::size_t>(end_ - p);
  if (c == 't' && left > 4 && std::memcmp(p + 1, "rue", 3) == 0) {
    value = JSONValue::trueValue().get();
    return p + 4;
  }
  if (c == 'f' && left > 5 && std::memcmp(p + 1, "alse", 4) == 0) {
    value = JSONValue::falseValue().get();
    return p + 5;
  }
  if (c == 'n' && left > 4 && std::memcmp(p + 1, "ull", 3) == 0) {
    value = JSONValue::null().get();
    return p + 4;
  }
  recordUnexpectedToken(p);
  stopped_ = p;
  return nullptr;
}

// Arrays and objects without recursion. Each label is a place in the
// structure with its allowed set fixed; a byte that is not the expected
// one goes to rejectToken, which applies the general rules for the error.
JSONValue* ParseState::parseContainer(const unsigned char* p) {
  const std::size_t base = top_;
  frames_.clear();
  JSONValue* finished = nullptr;
  std::uint8_t allowed = 0;  // of the position being read, for error messages
  const bool rootIsObject = token_.kind == TokenKind::ObjectBegin;
  frames_.push_back({top_, rootIsObject});
  if (rootIsObject) goto objectStart;

arrayStart:  // after '[': a value or ']'
  p = skip(p);
  if (p < end_ && *p == ']') {
    ++p;
    goto closeArray;
  }
  allowed = kAllowValue | kAllowClose;
  goto arrayValue;
arrayAfterComma:  // after ',': a value
  p = skip(p);
  allowed = kAllowValue;
arrayValue:
  if (!reserveStack(p, 1, false)) goto stoppedHere;
  if (p < end_) {
    const unsigned char c = *p;
    if (c == '[' || c == '{') {
      ++p;
      if (frames_.size() >= maximumDepth_) goto tooDeep;
      frames_.push_back({top_, c == '{'});
      if (c == '{') goto objectStart;
      goto arrayStart;
    }
    if (c != ']' && c != ',' && c != '}' && c != ':') {
      JSONValue* value;
      const unsigned char* after = scalarAt(p, value);
      if (!after) goto failed;
      p = after;
      values_[top_++] = value;
      goto arrayAfterValue;
    }
  }
  rejectToken(p, Position::ArrayItem, allowed);
  goto failed;
arrayAfterValue:  // a ',' or ']'
  p = skip(p);
  if (p < end_) {
    if (*p == ',') {
      ++p;
      goto arrayAfterComma;
    }
    if (*p == ']') {
      ++p;
      goto closeArray;
    }
  }
  rejectToken(p, Position::ArrayItem, kAllowComma | kAllowClose);
  goto failed;

closeArray:
  finished = buildArray(frames_.back().start);
  goto closed;

objectStart:  // after '{': a key or '}'
  p = skip(p);
  if (p < end_ && *p == '}') {
    ++p;
    goto closeObject;
  }
  allowed = kAllowValue | kAllowClose;
  goto objectKey;
objectAfterComma:  // after ',': a key
  p = skip(p);
  allowed = kAllowValue;
objectKey:
  if (!reserveStack(p, 1, true)) goto stoppedHere;
  if (p >= end_ || *p != '"') {
    rejectToken(p, Position::ObjectItem, allowed);
    goto failed;
  }
  token_.text = p;
  {
    const unsigned char* after = scanString(p);
    if (!after) goto stoppedHere;
    p = after;
  }
  keys_[top_] = cachedString();
  values_[top_] = nullptr;
  ++top_;
  p = skip(p);
  if (p >= end_ || *p != ':') {
    rejectToken(p, Position::Colon, allowed);
    goto failed;
  }
  ++p;
  p = skip(p);
  if (p < end_) {
    const unsigned char c = *p;
    if (c == '[' || c == '{') {
      ++p;
      if (frames_.size() >= maximumDepth_) goto tooDeep;
      frames_.push_back({top_, c == '{'});
      if (c == '{') goto objectStart;
      goto arrayStart;
    }
    if (c != ']' && c != ',' && c != '}' && c != ':') {
      JSONValue* value;
      const unsigned char* after = scalarAt(p, value);
      if (!after) goto failed;
      p = after;
      values_[top_ - 1] = value;
      goto objectAfterValue;
    }
  }
  rejectToken(p, Position::ObjectValue, allowed);
  goto failed;
objectAfterValue:  // a ',' or '}'
  p = skip(p);
  if (p < end_) {
    if (*p == ',') {
      ++p;
      goto objectAfterComma;
    }
    if (*p == '}') {
      ++p;
      goto closeObject;
    }
  }
  rejectToken(p, Position::ObjectItem, kAllowComma | kAllowClose);
  goto failed;

closeObject:
  finished = buildDictionary(frames_.back().start);
  goto closed;

closed:
  // Hand the finished container to its parent, or it is the result.
  frames_.pop_back();
  if (frames_.empty()) {
    stopped_ = p;
    return finished;
  }
  if (frames_.back().isObject) {
    values_[top_ - 1] = finished;
    goto objectAfterValue;
  }
  values_[top_++] = finished;
  goto arrayAfterValue;

tooDeep:
  recordError(p, "The arrays and objects are nested more than " + std::to_string(maximumDepth_) +
                     " levels deep.");
stoppedHere:
  stopped_ = p;
failed:
  countCachedValues();
  releaseStack(base);
  return nullptr;
}

JSONValueRef ParseState::decode(const unsigned char* bytes, std::size_t length,
                                bool mutableCollections, bool keepCache, JSONError* error) {
  begin_ = bytes;
  end_ = bytes + length;
  line_ = 1;
  hasError_ = false;
  errorMessage_.clear();
  mutableCollections_ = mutableCollections;
  extendedWhitespace_ = options_ & (JSONParseAllowComments | JSONParseUnicodeLineBreaks);
  top_ = 0;
  frames_.clear();
  if (++generation_ == kGenerationLimit) {
    // The generations would repeat; start afresh.
    clearCache();
    generation_ = 1;
  }
  cacheCounted_ = false;
  privateTree_ = !keepCache && !mutableCollections;
  arena_.startTree();
  doubleLookups_ = 0;
  doubleHits_ = 0;
  cacheDoubles_ = true;

  JSONValueRef result;
  const unsigned char* p = bytes;
  bool failed = true;
  try {
    if (length > 0) {
      skipWhitespace(p);
      if (nextToken(p)) {
        if (token_.kind != TokenKind::ArrayBegin && token_.kind != TokenKind::ObjectBegin) {
          recordError(p, "Expected either '[' or '{'.");
        } else {
          JSONValue* root = parseContainer(p);
          p = stopped_;
          if (root) {
            result = JSONValueRef::adopt(root);
            failed = false;
          }
        }
      }
    }
  } catch (...) {
    countCachedValues();
    releaseStack(0);
    arena_.retire();
    tokenBuffer_.trim();
    throw;
  }
  if (!failed) {
    skipWhitespace(p);
    if (p < end_ && !(options_ & JSONParseAllowTrailingText)) {
      recordError(p,
                  "A valid JSON object was parsed but there were additional non-white-space "
                  "characters remaining.");
      countCachedValues();
      result.reset();
    }
  } else {
    if (p == end_) recordError(p, "Reached the end of the buffer.");
    recordError(p, "Unable to parse JSON.");
  }
  if (error && hasError_ && !result) {
    error->domain = JSONErrorDomain;
    error->code = -1;
    error->description = errorMessage_;
    error->index = errorIndex_;
    error->line = errorLine_;
  }
  if (keepCache) countCachedValues();
  if (result && privateTree_) {
    arena_.finishTree(result.get(), ValueAccess::chunkOffset(result.get()));
  }
  arena_.retire();
  tokenBuffer_.trim();
  begin_ = end_ = nullptr;
  line_ = 1;
  hasError_ = false;
  mutableCollections_ = false;
  return result;
}

JSONValueRef decodeOnce(const char* bytes, std::size_t length, JSONParseOptionFlags options,
                        bool mutableCollections, JSONError* error) {
  if (options > kValidParseOptions) {
    throw JSONException(JSONException::InvalidArgument, "Invalid parse options.");
  }
  thread_local std::unique_ptr<ParseState> kept;
  std::unique_ptr<ParseState> own;
  ParseState* state;
  if (!kept) kept = std::make_unique<ParseState>(options);
  if (!kept->busy) {
    state = kept.get();
  } else {
    own = std::make_unique<ParseState>(options);
    state = own.get();
  }
  state->setOptions(options);
  state->setMaximumDepth(JSONDecoder::kDefaultMaximumDepth);
  struct Guard {
    ParseState* state;
    ~Guard() {
      state->clearCache();
      state->busy = false;
    }
  } guard{state};
  state->busy = true;
  return state->decode(reinterpret_cast<const unsigned char*>(bytes), length, mutableCollections,
                       false, error);
}

}  // namespace json_detail

std::unique_ptr<JSONDecoder> JSONDecoder::decoder() {
  return decoderWithParseOptions(0);
}

std::unique_ptr<JSONDecoder> JSONDecoder::decoderWithParseOptions(JSONParseOptionFlags options) {
  return std::make_unique<JSONDecoder>(options);
}

JSONDecoder::JSONDecoder() : JSONDecoder(JSONParseStrict) {}

JSONDecoder::JSONDecoder(JSONParseOptionFlags parseOptions) {
  if (parseOptions > json_detail::kValidParseOptions) {
    throw JSONException(JSONException::InvalidArgument, "Invalid parse options.");
  }
  parseState_ = std::make_unique<json_detail::ParseState>(parseOptions);
}

JSONDecoder::~JSONDecoder() = default;
JSONDecoder::JSONDecoder(JSONDecoder&& other) noexcept = default;
JSONDecoder& JSONDecoder::operator=(JSONDecoder&& other) noexcept = default;

JSONValueRef JSONDecoder::decode(const char* string, std::size_t length, bool mutableCollections,
                                 JSONError* error) {
  if (!parseState_) {
    throw JSONException(JSONException::InternalInconsistency, "parseState is NULL.");
  }
  if (!string) throw JSONException(JSONException::InvalidArgument, "The string argument is NULL.");
  return parseState_->decode(reinterpret_cast<const unsigned char*>(string), length,
                             mutableCollections, true, error);
}

JSONValueRef JSONDecoder::objectWithUTF8String(const char* string, std::size_t length,
                                               JSONError* error) {
  return decode(string, length, false, error);
}

JSONValueRef JSONDecoder::mutableObjectWithUTF8String(const char* string, std::size_t length,
                                                      JSONError* error) {
  return decode(string, length, true, error);
}

// A span cannot be nil; an empty one (whose data may be null) is an empty
// input, which fails as such.
JSONValueRef JSONDecoder::objectWithData(std::span<const std::uint8_t> jsonData, JSONError* error) {
  static const char kEmpty = 0;
  const char* bytes = jsonData.empty() ? &kEmpty : reinterpret_cast<const char*>(jsonData.data());
  return decode(bytes, jsonData.size(), false, error);
}

JSONValueRef JSONDecoder::mutableObjectWithData(std::span<const std::uint8_t> jsonData,
                                                JSONError* error) {
  static const char kEmpty = 0;
  const char* bytes = jsonData.empty() ? &kEmpty : reinterpret_cast<const char*>(jsonData.data());
  return decode(bytes, jsonData.size(), true, error);
}

void JSONDecoder::clearCache() {
  if (parseState_) parseState_->clearCache();
}

JSONParseOptionFlags JSONDecoder::parseOptions() const noexcept {
  return parseState_ ? parseState_->options() : 0;
}

std::size_t JSONDecoder::maximumDepth() const noexcept {
  return parseState_ ? parseState_->maximumDepth() : 0;
}

void JSONDecoder::setMaximumDepth(std::size_t depth) noexcept {
  if (parseState_) parseState_->setMaximumDepth(depth);
}

}  // namespace lorvane
