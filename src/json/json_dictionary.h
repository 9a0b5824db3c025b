#pragma once

// JSONDictionary: the codec's dictionary, an open-addressing hash table with
// linear probing whose sizes come from a fixed table of capacities. Like
// JSONArray it is immutable unless its `mutations` counter is non-zero.
// Enumeration follows slot order, not insertion order.

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "json/json_array.h"
#include "json/json_value.h"

namespace lorvane {

class JSONDictionaryEnumerator;

class JSONDictionary final : public JSONValue {
 public:
  struct Entry {
    std::uint32_t keyHash;
    JSONValue* key;  // nullptr: a free slot
    JSONValue* value;
  };

  // An empty mutable dictionary, the stand-in for the platform's mutable
  // dictionary when a caller builds a tree to encode.
  static JSONRef<JSONDictionary> mutableDictionary();

  // The smallest capacity of the table that holds `count` entries.
  static std::size_t capacityForCount(std::size_t count) noexcept;

  std::size_t count() const noexcept { return count_; }
  std::size_t capacity() const noexcept { return capacity_; }
  std::uint32_t mutations() const noexcept { return mutations_; }
  bool isMutable() const noexcept { return mutations_ != 0; }

  // Borrowed value for the key, nullptr when absent (or the key is nil).
  JSONValue* objectForKey(const JSONValue* key) const noexcept;
  JSONValue* objectForKey(std::string_view key) const noexcept;
  // Fills either array (of count() entries) in slot order; either may be
  // nullptr. The pointers are borrowed.
  void getObjects(JSONValue** objects, JSONValue** keys) const noexcept;
  JSONDictionaryEnumerator keyEnumerator() const;

  // Mutations throw NSInternalInconsistencyException on an immutable
  // dictionary, NSInvalidArgumentException for a nil key or value.
  void setObject(JSONValueRef object, JSONValueRef forKey);
  void setObject(JSONValueRef object, std::string_view forKey);
  void removeObjectForKey(const JSONValue* key);
  void removeObjectForKey(std::string_view key);

  JSONRef<JSONDictionary> copy() const;
  JSONRef<JSONDictionary> mutableCopy() const;

  // Enumerates the occupied entries in slot order; a mutation while
  // enumerating throws NSGenericException.
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = const Entry*;
    using reference = const Entry&;

    Iterator() = default;
    const Entry& operator*() const;
    const Entry* operator->() const { return &**this; }
    Iterator& operator++();
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept {
      return a.slot_ == b.slot_;
    }

   private:
    friend class JSONDictionary;
    Iterator(const JSONDictionary* dictionary, std::size_t slot) noexcept;
    void checkMutations() const;

    const JSONDictionary* dictionary_ = nullptr;
    std::size_t slot_ = 0;
    std::uint32_t mutations_ = 0;
  };
  Iterator begin() const noexcept { return Iterator(this, 0); }
  Iterator end() const noexcept { return Iterator(this, capacity_); }

  // The raw table (capacity() entries) for code that walks it directly.
  const Entry* entries() const noexcept { return entries_; }

 private:
  friend struct json_detail::ValueAccess;
  friend class JSONDictionaryEnumerator;
  JSONDictionary(std::uint8_t storage, std::uint16_t chunkOffset) noexcept
      : JSONValue(JSONValueKind::Dictionary, storage, chunkOffset) {}

  void requireMutable(const char* operation) const;
  std::size_t homeSlot(std::uint32_t hash) const noexcept;
  const Entry* find(const JSONValue& key, std::uint32_t hash) const noexcept;
  const Entry* find(std::string_view key, std::uint32_t hash) const noexcept;
  // Takes over one reference to key and value; `beforeDrop(context)`, when
  // given, runs before a reference is dropped.
  void insert(std::uint32_t hash, JSONValue* key, JSONValue* value,
              void (*beforeDrop)(void*) = nullptr, void* context = nullptr) noexcept;
  void removeEntry(Entry* entry) noexcept;
  void placeInFreeSlot(const Entry& entry) noexcept;
  JSONRef<JSONDictionary> retainedCopy(bool isMutable) const;

  std::uint32_t mutations_ = 0;
  std::uint8_t capacityIndex_ = 0;
  bool entriesInline_ = true;
  std::size_t count_ = 0;
  std::size_t capacity_ = 0;
  Entry* entries_ = nullptr;
};

// Walks the keys of a dictionary, keeping it alive meanwhile.
class JSONDictionaryEnumerator {
 public:
  explicit JSONDictionaryEnumerator(JSONRef<const JSONDictionary> dictionary) noexcept
      : collection_(std::move(dictionary)) {}

  // The key of the next occupied slot, nullptr at the end.
  JSONValue* nextObject() noexcept;
  // The keys not yet returned, as a new immutable array.
  JSONRef<JSONArray> allObjects();

 private:
  JSONRef<const JSONDictionary> collection_;
  std::size_t nextObject_ = 0;
};

}  // namespace lorvane
