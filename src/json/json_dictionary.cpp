#include "json/json_dictionary.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "json/json_exception.h"
#include "json/json_hash.h"
#include "json/json_internal.h"

namespace lorvane {

namespace {

using json_detail::operationText;
using json_detail::ValueAccess;

constexpr const char* kClassName = "JSONDictionary";

constexpr std::uint32_t kCapacities[] = {
    0,        3,        7,        13,       23,        41,        71,        127,
    191,      251,      383,      631,      1087,      1723,      2803,      4523,
    7351,     11959,    19447,    31231,    50683,     81919,     132607,    214519,
    346607,   561109,   907759,   1468927,  2376191,   3845119,   6221311,   10066421,
    16287743, 26354171, 42641881, 68996069, 111638519, 180634607, 292272623, 472907251,
};
constexpr std::size_t kCapacityCount = sizeof kCapacities / sizeof kCapacities[0];

// Reciprocals for reducing a hash modulo each capacity with a multiply
// instead of a division (Lemire's fastmod for 32-bit operands).
struct Reciprocals {
  std::uint64_t value[kCapacityCount];
};
constexpr Reciprocals makeReciprocals() {
  Reciprocals r{};
  for (std::size_t i = 0; i < kCapacityCount; ++i) {
    r.value[i] = kCapacities[i] ? UINT64_MAX / kCapacities[i] + 1 : 0;
  }
  return r;
}
constexpr Reciprocals kReciprocals = makeReciprocals();

constexpr std::size_t kSmallCounts = 1024;

// The index for counts below kSmallCounts, looked up rather than searched
// for every dictionary the decoder builds.
struct SmallCapacityIndexes {
  std::uint8_t index[kSmallCounts];
};
constexpr SmallCapacityIndexes makeSmallCapacityIndexes() {
  SmallCapacityIndexes table{};
  for (std::size_t count = 0; count < kSmallCounts; ++count) {
    // floor(count * 1.33), by truncation of a non-negative double.
    const auto wanted = static_cast<std::uint64_t>(static_cast<double>(count) * 1.33);
    std::size_t i = 0;
    while (kCapacities[i] < wanted) ++i;
    table.index[count] = static_cast<std::uint8_t>(i);
  }
  return table;
}
constexpr SmallCapacityIndexes kSmallCapacityIndexes = makeSmallCapacityIndexes();

// Index into kCapacities for `count` entries, or kCapacityCount when the
// table cannot hold that many.
std::size_t capacityIndexForCount(std::size_t count) noexcept {
  if (count < kSmallCounts) return kSmallCapacityIndexes.index[count];
  const double wanted = std::floor(static_cast<double>(count) * 1.33);
  for (std::size_t i = 0; i < kCapacityCount; ++i) {
    if (static_cast<double>(kCapacities[i]) >= wanted) return i;
  }
  return kCapacityCount;
}

std::uint32_t nextMutation(std::uint32_t mutations) noexcept {
  return mutations == UINT32_MAX ? 1 : mutations + 1;
}

std::uint32_t keyHash(const JSONValue& key) noexcept {
  return key.isString() ? static_cast<const JSONStringValue&>(key).hash() : key.hash();
}

bool keysEqual(const JSONValue& a, const JSONValue& b) {
  if (&a == &b) return true;
  if (a.isString() && b.isString()) {
    return static_cast<const JSONStringValue&>(a).view() ==
           static_cast<const JSONStringValue&>(b).view();
  }
  return a.isEqual(b);
}

std::string keyDescription(const JSONValue& key) {
  if (key.isString()) return std::string(key.stringValue());
  if (const JSONNumber* number = key.asNumber()) {
    if (number->isDouble()) return std::to_string(number->doubleValue());
    if (number->isUnsigned()) return std::to_string(number->uint64Value());
    return std::to_string(number->int64Value());
  }
  return key.className();
}

[[noreturn]] void throwTableAllocation() {
  throw JSONException(JSONException::Malloc, "Unable to allocate memory for hash table.");
}

}  // namespace

namespace json_detail {

JSONDictionary* ValueAccess::newDictionary(Arena* arena, JSONValue* const* keys,
                                           JSONValue* const* values, std::size_t count,
                                           bool isMutable, void (*beforeDrop)(void*),
                                           void* context) {
  const std::size_t index = capacityIndexForCount(count);
  if (index == kCapacityCount) throwTableAllocation();
  const std::size_t capacity = kCapacities[index];
  RawBlock block =
      allocate(arena, sizeof(JSONDictionary) + capacity * sizeof(JSONDictionary::Entry));
  auto* dictionary = new (block.memory) JSONDictionary(block.storage, block.offset);
  dictionary->entries_ = reinterpret_cast<JSONDictionary::Entry*>(dictionary + 1);
  std::memset(static_cast<void*>(dictionary->entries_), 0,
              capacity * sizeof(JSONDictionary::Entry));
  dictionary->capacity_ = capacity;
  dictionary->capacityIndex_ = static_cast<std::uint8_t>(index);
  dictionary->mutations_ = isMutable ? 1 : 0;
  // The table is fresh and has room for every pair, so a pair goes to the
  // first free slot of its probe, unless a key with the same hash comes
  // first: a possible repeat, which the general insert settles.
  JSONDictionary::Entry* entries = dictionary->entries_;
  for (std::size_t i = 0; i < count; ++i) {
    JSONValue* key = keys[i];
    const std::uint32_t hash = keyHash(*key);
    std::size_t slot = dictionary->homeSlot(hash);
    for (std::size_t visited = 0;; ++visited) {
      JSONDictionary::Entry& entry = entries[slot];
      if (visited == capacity || (entry.key && entry.keyHash == hash)) {
        dictionary->insert(hash, key, values[i], beforeDrop, context);
        break;
      }
      if (!entry.key) {
        entry = {hash, key, values[i]};
        ++dictionary->count_;
        break;
      }
      if (++slot == capacity) slot = 0;
    }
  }
  return dictionary;
}

}  // namespace json_detail

std::size_t JSONDictionary::capacityForCount(std::size_t count) noexcept {
  const std::size_t index = capacityIndexForCount(count);
  return index == kCapacityCount ? SIZE_MAX : kCapacities[index];
}

JSONRef<JSONDictionary> JSONDictionary::mutableDictionary() {
  return JSONRef<JSONDictionary>::adopt(
      ValueAccess::newDictionary(nullptr, nullptr, nullptr, 0, true));
}

std::size_t JSONDictionary::homeSlot(std::uint32_t hash) const noexcept {
  const std::uint64_t low = kReciprocals.value[capacityIndex_] * hash;
  return static_cast<std::size_t>((static_cast<unsigned __int128>(low) * capacity_) >> 64);
}

const JSONDictionary::Entry* JSONDictionary::find(const JSONValue& key,
                                                  std::uint32_t hash) const noexcept {
  if (capacity_ == 0) return nullptr;
  std::size_t slot = homeSlot(hash);
  for (std::size_t visited = 0; visited < capacity_; ++visited) {
    const Entry& entry = entries_[slot];
    if (!entry.key) return nullptr;
    if (entry.keyHash == hash && keysEqual(*entry.key, key)) return &entry;
    if (++slot == capacity_) slot = 0;
  }
  return nullptr;
}

const JSONDictionary::Entry* JSONDictionary::find(std::string_view key,
                                                  std::uint32_t hash) const noexcept {
  if (capacity_ == 0) return nullptr;
  std::size_t slot = homeSlot(hash);
  for (std::size_t visited = 0; visited < capacity_; ++visited) {
    const Entry& entry = entries_[slot];
    if (!entry.key) return nullptr;
    if (entry.keyHash == hash && entry.key->isString() &&
        static_cast<const JSONStringValue*>(entry.key)->view() == key) {
      return &entry;
    }
    if (++slot == capacity_) slot = 0;
  }
  return nullptr;
}

void JSONDictionary::placeInFreeSlot(const Entry& entry) noexcept {
  std::size_t slot = homeSlot(entry.keyHash);
  for (std::size_t visited = 0; visited < capacity_; ++visited) {
    if (!entries_[slot].key) {
      entries_[slot] = entry;
      return;
    }
    if (++slot == capacity_) slot = 0;
  }
}

void JSONDictionary::insert(std::uint32_t hash, JSONValue* key, JSONValue* value,
                            void (*beforeDrop)(void*), void* context) noexcept {
  if (capacity_ > 0) {
    // An equal key, if any, sits before the first free slot of the probe.
    std::size_t slot = homeSlot(hash);
    for (std::size_t visited = 0; visited < capacity_; ++visited) {
      Entry& entry = entries_[slot];
      if (!entry.key) {
        entry = {hash, key, value};
        ++count_;
        return;
      }
      if (entry.keyHash == hash && keysEqual(*entry.key, *key)) {
        if (beforeDrop) beforeDrop(context);
        removeEntry(&entry);
        placeInFreeSlot({hash, key, value});
        ++count_;
        return;
      }
      if (++slot == capacity_) slot = 0;
    }
  }
  // No free slot: nothing is stored.
  if (beforeDrop) beforeDrop(context);
  key->release();
  value->release();
}

void JSONDictionary::removeEntry(Entry* entry) noexcept {
  JSONValue* key = entry->key;
  JSONValue* value = entry->value;
  *entry = {};
  --count_;
  // Entries of the same run that follow move up to where a lookup from
  // their home slot will meet them again.
  std::size_t slot = static_cast<std::size_t>(entry - entries_);
  for (std::size_t visited = 0; visited < capacity_; ++visited) {
    if (++slot == capacity_) slot = 0;
    Entry moved = entries_[slot];
    if (!moved.key) break;
    entries_[slot] = {};
    placeInFreeSlot(moved);
  }
  // Released last, so nothing a value's teardown does can see the table
  // half rearranged.
  key->release();
  value->release();
}

JSONValue* JSONDictionary::objectForKey(const JSONValue* key) const noexcept {
  if (!key) return nullptr;
  const Entry* entry = find(*key, keyHash(*key));
  return entry ? entry->value : nullptr;
}

JSONValue* JSONDictionary::objectForKey(std::string_view key) const noexcept {
  const Entry* entry = find(key, json_detail::stringHash(key.data(), key.size()));
  return entry ? entry->value : nullptr;
}

void JSONDictionary::getObjects(JSONValue** objects, JSONValue** keys) const noexcept {
  std::size_t filled = 0;
  for (std::size_t slot = 0; slot < capacity_; ++slot) {
    const Entry& entry = entries_[slot];
    if (!entry.key) continue;
    if (objects) objects[filled] = entry.value;
    if (keys) keys[filled] = entry.key;
    ++filled;
  }
}

JSONDictionaryEnumerator JSONDictionary::keyEnumerator() const {
  return JSONDictionaryEnumerator(JSONRef<const JSONDictionary>::retain(this));
}

void JSONDictionary::requireMutable(const char* operation) const {
  if (mutations_ == 0) {
    throw JSONException(
        JSONException::InternalInconsistency,
        operationText(kClassName, operation) + "mutating method sent to immutable object");
  }
}

void JSONDictionary::setObject(JSONValueRef object, JSONValueRef forKey) {
  const char* operation = "setObject:forKey:";
  requireMutable(operation);
  if (!forKey) {
    throw JSONException(JSONException::InvalidArgument,
                        operationText(kClassName, operation) + "attempt to insert nil key");
  }
  if (!object) {
    throw JSONException(JSONException::InvalidArgument,
                        operationText(kClassName, operation) +
                            "attempt to insert nil value (key: " + keyDescription(*forKey) + ")");
  }
  const std::size_t index = capacityIndexForCount(count_ + 1);
  if (index == kCapacityCount) throwTableAllocation();
  if (kCapacities[index] > capacity_) {
    const std::size_t newCapacity = kCapacities[index];
    auto* table = static_cast<Entry*>(std::calloc(newCapacity, sizeof(Entry)));
    if (!table) throwTableAllocation();
    Entry* oldTable = entries_;
    const std::size_t oldCapacity = capacity_;
    const bool oldInline = entriesInline_;
    entries_ = table;
    capacity_ = newCapacity;
    capacityIndex_ = static_cast<std::uint8_t>(index);
    entriesInline_ = false;
    for (std::size_t slot = 0; slot < oldCapacity; ++slot) {
      if (oldTable[slot].key) placeInFreeSlot(oldTable[slot]);
    }
    if (!oldInline) std::free(oldTable);
  }
  // Keys must not change under the table, so a mutable collection used as
  // a key is stored as an immutable copy.
  JSONValueRef key = std::move(forKey);
  if (JSONArray* array = key->asArray(); array && array->isMutable()) key = array->copy();
  if (JSONDictionary* dictionary = key->asDictionary(); dictionary && dictionary->isMutable()) {
    key = dictionary->copy();
  }
  const std::uint32_t hash = keyHash(*key);
  insert(hash, key.detach(), object.detach());
  mutations_ = nextMutation(mutations_);
}

void JSONDictionary::setObject(JSONValueRef object, std::string_view forKey) {
  // Bytes that are not UTF-8 make no string, which is refused as a nil key.
  setObject(std::move(object), JSONValueRef(JSONStringValue::create(forKey)));
}

void JSONDictionary::removeObjectForKey(const JSONValue* key) {
  const char* operation = "removeObjectForKey:";
  requireMutable(operation);
  if (!key) {
    throw JSONException(JSONException::InvalidArgument,
                        operationText(kClassName, operation) + "attempt to remove nil key");
  }
  if (const Entry* entry = find(*key, keyHash(*key))) {
    removeEntry(const_cast<Entry*>(entry));
    mutations_ = nextMutation(mutations_);
  }
}

void JSONDictionary::removeObjectForKey(std::string_view key) {
  requireMutable("removeObjectForKey:");
  if (const Entry* entry = find(key, json_detail::stringHash(key.data(), key.size()))) {
    removeEntry(const_cast<Entry*>(entry));
    mutations_ = nextMutation(mutations_);
  }
}

JSONRef<JSONDictionary> JSONDictionary::copy() const {
  if (!isMutable()) return JSONRef<JSONDictionary>::retain(const_cast<JSONDictionary*>(this));
  return retainedCopy(false);
}

JSONRef<JSONDictionary> JSONDictionary::mutableCopy() const {
  return retainedCopy(true);
}

JSONRef<JSONDictionary> JSONDictionary::retainedCopy(bool isMutable) const {
  std::vector<JSONValue*> keys(count_);
  std::vector<JSONValue*> values(count_);
  getObjects(values.data(), keys.data());
  for (std::size_t i = 0; i < count_; ++i) {
    keys[i]->retain();
    values[i]->retain();
  }
  try {
    return JSONRef<JSONDictionary>::adopt(
        ValueAccess::newDictionary(nullptr, keys.data(), values.data(), count_, isMutable));
  } catch (...) {
    for (std::size_t i = 0; i < count_; ++i) {
      keys[i]->release();
      values[i]->release();
    }
    throw;
  }
}

JSONDictionary::Iterator::Iterator(const JSONDictionary* dictionary, std::size_t slot) noexcept
    : dictionary_(dictionary), slot_(slot), mutations_(dictionary->mutations_) {
  while (slot_ < dictionary_->capacity_ && !dictionary_->entries_[slot_].key) ++slot_;
}

void JSONDictionary::Iterator::checkMutations() const {
  if (dictionary_->mutations_ != mutations_) {
    throw JSONException(JSONException::Generic,
                        "*** Collection <JSONDictionary> was mutated while being enumerated.");
  }
}

const JSONDictionary::Entry& JSONDictionary::Iterator::operator*() const {
  checkMutations();
  return dictionary_->entries_[slot_];
}

JSONDictionary::Iterator& JSONDictionary::Iterator::operator++() {
  checkMutations();
  ++slot_;
  while (slot_ < dictionary_->capacity_ && !dictionary_->entries_[slot_].key) ++slot_;
  return *this;
}

JSONValue* JSONDictionaryEnumerator::nextObject() noexcept {
  const JSONDictionary* dictionary = collection_.get();
  while (nextObject_ < dictionary->capacity_) {
    const JSONDictionary::Entry& entry = dictionary->entries_[nextObject_++];
    if (entry.key) return entry.key;
  }
  return nullptr;
}

JSONRef<JSONArray> JSONDictionaryEnumerator::allObjects() {
  std::vector<JSONValue*> keys;
  while (JSONValue* key = nextObject()) keys.push_back(key);
  auto array = JSONRef<JSONArray>::adopt(
      json_detail::ValueAccess::newArray(nullptr, keys.data(), keys.size(), false));
  for (JSONValue* key : keys) key->retain();
  return array;
}

}  // namespace lorvane
