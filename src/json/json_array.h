#pragma once

// JSONArray: the codec's array. One class serves the immutable and the
// mutable case: `mutations` is 0 for an immutable array and counts the
// successful mutations of a mutable one (never returning to 0).

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "json/json_value.h"

namespace lorvane {

struct JSONRange {
  std::size_t location = 0;
  std::size_t length = 0;
};

class JSONArray final : public JSONValue {
 public:
  // An empty mutable array, the stand-in for the platform's mutable array
  // when a caller builds a tree to encode.
  static JSONRef<JSONArray> mutableArray();

  std::size_t count() const noexcept { return count_; }
  std::size_t capacity() const noexcept { return capacity_; }
  std::uint32_t mutations() const noexcept { return mutations_; }
  bool isMutable() const noexcept { return mutations_ != 0; }

  // Borrowed element; throws NSRangeException past the end.
  JSONValue* objectAtIndex(std::size_t index) const;
  // Copies borrowed element pointers of `range` into `objects`.
  void getObjects(JSONValue** objects, JSONRange range) const;

  // Mutations throw NSInternalInconsistencyException on an immutable array.
  void insertObject(JSONValueRef object, std::size_t atIndex);
  void addObject(JSONValueRef object) { insertObject(std::move(object), count_); }
  void removeObjectAtIndex(std::size_t index);
  void replaceObjectAtIndex(std::size_t index, JSONValueRef withObject);

  // An immutable array gives itself; a mutable one a new immutable array.
  JSONRef<JSONArray> copy() const;
  // Always a new mutable array with the same elements.
  JSONRef<JSONArray> mutableCopy() const;

  // Enumeration; a mutation while enumerating throws NSGenericException.
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = JSONValue*;
    using difference_type = std::ptrdiff_t;
    using pointer = JSONValue* const*;
    using reference = JSONValue*;

    Iterator() = default;
    JSONValue* operator*() const;
    Iterator& operator++();
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) noexcept {
      return a.index_ == b.index_;
    }

   private:
    friend class JSONArray;
    Iterator(const JSONArray* array, std::size_t index) noexcept
        : array_(array), index_(index), mutations_(array->mutations_) {}
    void checkMutations() const;

    const JSONArray* array_ = nullptr;
    std::size_t index_ = 0;
    std::uint32_t mutations_ = 0;
  };
  Iterator begin() const noexcept { return Iterator(this, 0); }
  Iterator end() const noexcept { return Iterator(this, count_); }

  // Unchecked access for code that has already checked the index.
  JSONValue* const* objects() const noexcept { return objects_; }

 private:
  friend struct json_detail::ValueAccess;
  JSONArray(std::uint8_t storage, std::uint16_t chunkOffset) noexcept
      : JSONValue(JSONValueKind::Array, storage, chunkOffset) {}

  void requireMutable(const char* operation) const;
  void grow();
  JSONRef<JSONArray> retainedCopy(bool isMutable) const;

  std::uint32_t mutations_ = 0;
  // Element storage sits right after the array in its block until a
  // mutation outgrows it and moves it to the heap.
  bool objectsInline_ = true;
  // 32-bit, so that the header of an array is 32 bytes and a decoded pair
  // fills its 16-byte-aligned block exactly; growth past them fails.
  std::uint32_t count_ = 0;
  std::uint32_t capacity_ = 0;
  JSONValue** objects_ = nullptr;
};

}  // namespace lorvane
