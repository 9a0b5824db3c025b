#include "json/json_value.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include "json/json_array.h"
#include "json/json_dictionary.h"
#include "json/json_exception.h"
#include "json/json_hash.h"
#include "json/json_internal.h"
#include "json/json_utf8.h"

namespace lorvane {

namespace {

using json_detail::ValueAccess;

// The boolean and null singletons live in static storage and are never
// counted or freed. Constant-initialised, so they exist before any code
// that runs during static initialisation can reach them.
struct SingletonValue : JSONValue {
  constexpr explicit SingletonValue(JSONValueKind kind) noexcept
      : JSONValue(kind, kStaticStorage) {}
};

constinit SingletonValue trueSingleton(JSONValueKind::True);
constinit SingletonValue falseSingleton(JSONValueKind::False);
constinit SingletonValue nullSingleton(JSONValueKind::Null);

// Drops `dropped` references at once; true when they were the last and
// the caller must destroy the value. When the count equals what is
// dropped, nobody else holds the value and nobody can take a reference to
// it any more, which spares the atomic read-modify-write.
bool dropReferences(JSONValue* value, std::uint32_t dropped) noexcept {
  auto& count = ValueAccess::references(value);
  if (count.load(std::memory_order_acquire) == dropped) return true;
  return count.fetch_sub(dropped, std::memory_order_acq_rel) == dropped;
}

// References a tree holds to shared values (the same key in every object
// of a document, a repeated value) dropped in bulk: each would otherwise
// cost one locked decrement of the same counter. A small direct-mapped
// table sums the drops per value and applies each sum once, when its slot
// is wanted by another value or at the end. Holding back a decrement only
// keeps a value alive a little longer, so this is safe while other
// threads share the values.
class GatheredDrops {
 public:
  // `dead(value)` is called for a value whose last reference went.
  template <class Dead>
  void add(JSONValue* value, Dead&& dead) noexcept {
    const auto address = reinterpret_cast<std::uintptr_t>(value);
    Slot& slot = slots_[((address >> 4) ^ (address >> 11)) & (kSlots - 1)];
    if (slot.value == value) {
      ++slot.dropped;
      return;
    }
    if (slot.value) apply(slot, dead);
    slot = {value, 1};
    ++used_;
  }
  // Applies every sum; false when there was none.
  template <class Dead>
  bool flush(Dead&& dead) noexcept {
    if (used_ == 0) return false;
    for (Slot& slot : slots_) {
      if (slot.value) apply(slot, dead);
    }
    return true;
  }

 private:
  static constexpr std::size_t kSlots = 64;
  struct Slot {
    JSONValue* value;
    std::uint32_t dropped;
  };
  template <class Dead>
  void apply(Slot& slot, Dead& dead) noexcept {
    JSONValue* value = slot.value;
    const std::uint32_t dropped = slot.dropped;
    slot = {};
    --used_;
    if (dropReferences(value, dropped)) dead(value);
  }

  Slot slots_[kSlots] = {};
  std::size_t used_ = 0;
};

// Values die in bursts from the same chunk; one atomic update per run of
// them instead of one per value.
class ChunkBatch {
 public:
  ~ChunkBatch() { flush(); }
  void add(json_detail::ArenaChunk* chunk) noexcept {
    if (chunk != chunk_) {
      flush();
      chunk_ = chunk;
    }
    ++count_;
  }
  void flush() noexcept {
    if (chunk_) json_detail::releaseChunkValues(chunk_, count_);
    chunk_ = nullptr;
    count_ = 0;
  }

 private:
  json_detail::ArenaChunk* chunk_ = nullptr;
  std::uint32_t count_ = 0;
};

// Values waiting to be torn down. Trees are freed with this explicit list
// rather than by recursion, so no nesting depth can exhaust the stack.
class Worklist {
 public:
  void push(JSONValue* value) {
    if (size_ < kInline) {
      inline_[size_++] = value;
    } else {
      overflow_.push_back(value);
    }
  }
  JSONValue* pop() noexcept {
    if (!overflow_.empty()) {
      JSONValue* value = overflow_.back();
      overflow_.pop_back();
      return value;
    }
    return size_ ? inline_[--size_] : nullptr;
  }

 private:
  static constexpr std::size_t kInline = 64;
  JSONValue* inline_[kInline];
  std::size_t size_ = 0;
  std::vector<JSONValue*> overflow_;
};

std::uint32_t mixHash(std::uint64_t value) noexcept {
  value ^= value >> 33;
  value *= 0xff51afd7ed558ccdull;
  value ^= value >> 33;
  return static_cast<std::uint32_t>(value);
}

constexpr double kTwoTo63 = 9223372036854775808.0;
constexpr double kTwoTo64 = 18446744073709551616.0;

bool doubleEqualsSigned(double d, std::int64_t i) noexcept {
  if (!(d >= -kTwoTo63 && d < kTwoTo63)) return false;
  if (std::trunc(d) != d) return false;
  return static_cast<std::int64_t>(d) == i;
}

bool doubleEqualsUnsigned(double d, std::uint64_t u) noexcept {
  if (!(d >= 0.0 && d < kTwoTo64)) return false;
  if (std::trunc(d) != d) return false;
  return static_cast<std::uint64_t>(d) == u;
}

bool numbersEqual(const JSONNumber& a, const JSONNumber& b) noexcept {
  const std::uint64_t x = ValueAccess::bits(&a);
  const std::uint64_t y = ValueAccess::bits(&b);
  const JSONValueKind ka = a.kind();
  const JSONValueKind kb = b.kind();
  if (ka == JSONValueKind::Double && kb == JSONValueKind::Double) {
    return a.doubleValue() == b.doubleValue();
  }
  if (ka == JSONValueKind::Double) {
    return kb == JSONValueKind::SignedInteger ? doubleEqualsSigned(a.doubleValue(), b.int64Value())
                                              : doubleEqualsUnsigned(a.doubleValue(), y);
  }
  if (kb == JSONValueKind::Double) {
    return ka == JSONValueKind::SignedInteger ? doubleEqualsSigned(b.doubleValue(), a.int64Value())
                                              : doubleEqualsUnsigned(b.doubleValue(), x);
  }
  if (ka == kb) return x == y;
  // One signed, one unsigned: equal only when the signed one is not
  // negative and the bits agree.
  const std::uint64_t signedBits = ka == JSONValueKind::SignedInteger ? x : y;
  return static_cast<std::int64_t>(signedBits) >= 0 && x == y;
}

std::uint32_t numberHash(const JSONNumber& number) noexcept {
  if (number.isInteger()) return mixHash(ValueAccess::bits(&number));
  const double d = number.doubleValue();
  // Integral doubles hash as the integer they equal.
  if (d >= -kTwoTo63 && d < kTwoTo63 && std::trunc(d) == d) {
    return mixHash(static_cast<std::uint64_t>(static_cast<std::int64_t>(d)));
  }
  if (d >= 0.0 && d < kTwoTo64 && std::trunc(d) == d) {
    return mixHash(static_cast<std::uint64_t>(d));
  }
  return mixHash(ValueAccess::bits(&number) ^ 0x9e3779b97f4a7c15ull);
}

}  // namespace

namespace json_detail {

std::string operationText(const char* className, const char* operation) {
  std::string text = "*** -[";
  text += className;
  text += ' ';
  text += operation;
  text += "]: ";
  return text;
}

void destroyValue(JSONValue* value) noexcept {
  ValueAccess::destroy(value);
}

void noteArenaRetain(const JSONValue* value) noexcept {
  ArenaChunk* chunk = chunkAt(value, ValueAccess::chunkOffset(value));
  // The root's own references do not matter to its tree; after the first
  // note the flag is only read, so the chunk's line stays shared.
  if (chunk->root != value && !chunk->shared.load(std::memory_order_relaxed)) {
    chunk->shared.store(1, std::memory_order_relaxed);
  }
}

void ValueAccess::destroy(JSONValue* first) noexcept {
  // A decoded tree that nobody else shares a part of dies whole with its
  // chunks.
  if (first->storage_ == JSONValue::kArenaStorage &&
      (first->kind_ == JSONValueKind::Array || first->kind_ == JSONValueKind::Dictionary) &&
      releaseTree(chunkAt(first, first->chunkOffset_), first)) {
    return;
  }
  Worklist pending;
  ChunkBatch batch;
  // Frees the memory of a value whose children are already dealt with.
  const auto freeBlock = [&batch](JSONValue* value, std::uint8_t storage,
                                  std::uint16_t chunkOffset) {
    if (storage == JSONValue::kArenaStorage) {
      batch.add(chunkAt(value, chunkOffset));
    } else if (storage == JSONValue::kHeapStorage) {
      std::free(value);
    }
  };
  // Strings and numbers have nothing inside, so they are freed on the spot
  // rather than queued.
  const auto dead = [&](JSONValue* child) {
    const JSONValueKind kind = child->kind_;
    if (kind >= JSONValueKind::String && kind <= JSONValueKind::Double) {
      freeBlock(child, child->storage_, child->chunkOffset_);
    } else {
      pending.push(child);
    }
  };
  GatheredDrops gathered;
  const auto releaseChild = [&](JSONValue* child) {
    if (ValueAccess::isStatic(child)) return;
    // Sole owner: the common case of a value used once in the tree. A
    // value held twice gains nothing from waiting in the table.
    const std::uint32_t references = ValueAccess::references(child).load(std::memory_order_acquire);
    if (references == 1) {
      dead(child);
    } else if (references == 2) {
      if (dropReferences(child, 1)) dead(child);
    } else {
      gathered.add(child, dead);
    }
  };
  pending.push(first);
  for (;;) {
    JSONValue* value = pending.pop();
    if (!value) {
      // The sums still held may free more values, containers among them.
      if (!gathered.flush(dead)) break;
      continue;
    }
    switch (value->kind_) {
      case JSONValueKind::Array: {
        auto* array = static_cast<JSONArray*>(value);
        JSONValue** objects = array->objects_;
        const std::size_t count = array->count_;
        for (std::size_t i = 0; i < count; ++i) releaseChild(objects[i]);
        if (!array->objectsInline_) std::free(array->objects_);
        break;
      }
      case JSONValueKind::Dictionary: {
        auto* dictionary = static_cast<JSONDictionary*>(value);
        JSONDictionary::Entry* entries = dictionary->entries_;
        const std::size_t capacity = dictionary->capacity_;
        // Values are mostly out of the cache by the time a tree is torn
        // down: ask for all of them before the first is needed.
        for (std::size_t i = 0; i < capacity; ++i) {
          if (entries[i].key) __builtin_prefetch(entries[i].value);
        }
        for (std::size_t i = 0; i < capacity; ++i) {
          if (!entries[i].key) continue;
          releaseChild(entries[i].key);
          releaseChild(entries[i].value);
        }
        if (!dictionary->entriesInline_) std::free(dictionary->entries_);
        break;
      }
      case JSONValueKind::Custom:
        delete static_cast<JSONCustomObject*>(value);
        continue;
      default:
        break;
    }
    freeBlock(value, value->storage_, value->chunkOffset_);
  }
}

}  // namespace json_detail

JSONArray* JSONValue::asArray() noexcept {
  return isArray() ? static_cast<JSONArray*>(this) : nullptr;
}
const JSONArray* JSONValue::asArray() const noexcept {
  return isArray() ? static_cast<const JSONArray*>(this) : nullptr;
}
JSONDictionary* JSONValue::asDictionary() noexcept {
  return isDictionary() ? static_cast<JSONDictionary*>(this) : nullptr;
}
const JSONDictionary* JSONValue::asDictionary() const noexcept {
  return isDictionary() ? static_cast<const JSONDictionary*>(this) : nullptr;
}
JSONCustomObject* JSONValue::asCustom() noexcept {
  return isCustom() ? static_cast<JSONCustomObject*>(this) : nullptr;
}
const JSONCustomObject* JSONValue::asCustom() const noexcept {
  return isCustom() ? static_cast<const JSONCustomObject*>(this) : nullptr;
}

JSONValueRef JSONValue::trueValue() noexcept {
  return JSONValueRef::adopt(&trueSingleton);
}
JSONValueRef JSONValue::falseValue() noexcept {
  return JSONValueRef::adopt(&falseSingleton);
}
JSONValueRef JSONValue::booleanValue(bool value) noexcept {
  return value ? trueValue() : falseValue();
}
JSONValueRef JSONValue::null() noexcept {
  return JSONValueRef::adopt(&nullSingleton);
}

bool JSONValue::isEqual(const JSONValue& other) const {
  // Explicit list instead of recursion: trees built by callers may nest
  // deeper than any stack.
  std::vector<std::pair<const JSONValue*, const JSONValue*>> pending;
  pending.emplace_back(this, &other);
  while (!pending.empty()) {
    auto [a, b] = pending.back();
    pending.pop_back();
    if (a == b) continue;
    if (a->isNumber() && b->isNumber()) {
      if (!numbersEqual(*a->asNumber(), *b->asNumber())) return false;
      continue;
    }
    if (a->kind() != b->kind()) return false;
    switch (a->kind()) {
      case JSONValueKind::Null:
      case JSONValueKind::True:
      case JSONValueKind::False:
        break;
      case JSONValueKind::String:
        if (a->asString()->view() != b->asString()->view()) return false;
        break;
      case JSONValueKind::Array: {
        const JSONArray* x = a->asArray();
        const JSONArray* y = b->asArray();
        if (x->count() != y->count()) return false;
        for (std::size_t i = 0; i < x->count(); ++i) {
          pending.emplace_back(x->objects()[i], y->objects()[i]);
        }
        break;
      }
      case JSONValueKind::Dictionary: {
        const JSONDictionary* x = a->asDictionary();
        const JSONDictionary* y = b->asDictionary();
        if (x->count() != y->count()) return false;
        for (const JSONDictionary::Entry& entry : *x) {
          const JSONValue* match = y->objectForKey(entry.key);
          if (!match) return false;
          pending.emplace_back(entry.value, match);
        }
        break;
      }
      default:
        // Custom objects are equal only to themselves.
        return false;
    }
  }
  return true;
}

std::uint32_t JSONValue::hash() const noexcept {
  switch (kind_) {
    case JSONValueKind::Null:
      return 0x6e756c6cu;
    case JSONValueKind::True:
      return 1u;
    case JSONValueKind::False:
      return 2u;
    case JSONValueKind::String:
      return static_cast<const JSONStringValue*>(this)->hash();
    case JSONValueKind::SignedInteger:
    case JSONValueKind::UnsignedInteger:
    case JSONValueKind::Double:
      return numberHash(*static_cast<const JSONNumber*>(this));
    case JSONValueKind::Array:
      return static_cast<std::uint32_t>(static_cast<const JSONArray*>(this)->count());
    case JSONValueKind::Dictionary:
      return static_cast<std::uint32_t>(static_cast<const JSONDictionary*>(this)->count());
    case JSONValueKind::Custom:
      break;
  }
  return mixHash(reinterpret_cast<std::uintptr_t>(this));
}

std::string JSONValue::className() const {
  switch (kind_) {
    case JSONValueKind::Null:
      return "JSONNull";
    case JSONValueKind::True:
    case JSONValueKind::False:
      return "JSONBoolean";
    case JSONValueKind::String:
      return "JSONStringValue";
    case JSONValueKind::SignedInteger:
    case JSONValueKind::UnsignedInteger:
    case JSONValueKind::Double:
      return "JSONNumber";
    case JSONValueKind::Array:
      return "JSONArray";
    case JSONValueKind::Dictionary:
      return "JSONDictionary";
    case JSONValueKind::Custom:
      break;
  }
  return static_cast<const JSONCustomObject*>(this)->className();
}

JSONRef<JSONStringValue> JSONStringValue::create(std::string_view utf8) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
  if (!json_detail::isWellFormedUTF8(bytes, bytes + utf8.size())) return nullptr;
  if (utf8.empty()) return empty();
  return JSONRef<JSONStringValue>::adopt(ValueAccess::newString(
      nullptr, utf8.data(), utf8.size(), json_detail::stringHash(utf8.data(), utf8.size())));
}

JSONRef<JSONStringValue> JSONStringValue::empty() noexcept {
  // Static storage with room for the terminating NUL after the object.
  struct EmptyString {
    alignas(16) unsigned char storage[sizeof(JSONStringValue) + 16] = {};
    JSONStringValue* value;
    EmptyString() noexcept
        : value(new (storage) JSONStringValue(kStaticStorage, 0, 0, json_detail::kHashSeed)) {}
  };
  static EmptyString shared;
  return JSONRef<JSONStringValue>::adopt(shared.value);
}

JSONRef<JSONNumber> JSONNumber::withInt64(std::int64_t value) {
  return JSONRef<JSONNumber>::adopt(ValueAccess::newNumber(nullptr, JSONValueKind::SignedInteger,
                                                           static_cast<std::uint64_t>(value)));
}

JSONRef<JSONNumber> JSONNumber::withUInt64(std::uint64_t value) {
  return JSONRef<JSONNumber>::adopt(
      ValueAccess::newNumber(nullptr, JSONValueKind::UnsignedInteger, value));
}

JSONRef<JSONNumber> JSONNumber::withDouble(double value) {
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return JSONRef<JSONNumber>::adopt(ValueAccess::newNumber(nullptr, JSONValueKind::Double, bits));
}

// Conversions saturate where a C cast would be undefined.
std::int64_t JSONNumber::int64Value() const noexcept {
  switch (kind()) {
    case JSONValueKind::SignedInteger:
      return static_cast<std::int64_t>(bits_);
    case JSONValueKind::UnsignedInteger:
      return bits_ > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())
                 ? std::numeric_limits<std::int64_t>::max()
                 : static_cast<std::int64_t>(bits_);
    default: {
      const double d = doubleValue();
      if (std::isnan(d)) return 0;
      if (d >= kTwoTo63) return std::numeric_limits<std::int64_t>::max();
      if (d < -kTwoTo63) return std::numeric_limits<std::int64_t>::min();
      return static_cast<std::int64_t>(d);
    }
  }
}

std::uint64_t JSONNumber::uint64Value() const noexcept {
  switch (kind()) {
    case JSONValueKind::SignedInteger:
      return static_cast<std::uint64_t>(bits_);
    case JSONValueKind::UnsignedInteger:
      return bits_;
    default: {
      const double d = doubleValue();
      if (std::isnan(d) || d <= 0.0) return 0;
      if (d >= kTwoTo64) return std::numeric_limits<std::uint64_t>::max();
      return static_cast<std::uint64_t>(d);
    }
  }
}

double JSONNumber::doubleValue() const noexcept {
  switch (kind()) {
    case JSONValueKind::SignedInteger:
      return static_cast<double>(static_cast<std::int64_t>(bits_));
    case JSONValueKind::UnsignedInteger:
      return static_cast<double>(bits_);
    default: {
      double d;
      std::memcpy(&d, &bits_, sizeof d);
      return d;
    }
  }
}

JSONCustomObject::~JSONCustomObject() = default;

std::string JSONCustomObject::className() const {
  return "JSONCustomObject";
}

JSONException::JSONException(std::string name, std::string reason)
    : std::logic_error(reason), name_(std::move(name)), reason_(std::move(reason)) {}

}  // namespace lorvane
