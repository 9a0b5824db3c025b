#pragma once

// Internal to the codec: construction of values in arena or heap memory and
// access to their private fields for the decoder and the encoder.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "json/json_arena.h"
#include "json/json_array.h"
#include "json/json_decoder.h"
#include "json/json_dictionary.h"
#include "json/json_error.h"
#include "json/json_value.h"

namespace lorvane::json_detail {

// One decode with a parse state kept per thread for such one-shot calls;
// its value cache is emptied before it returns, as a private decoder's
// would be.
JSONValueRef decodeOnce(const char* bytes, std::size_t length, JSONParseOptionFlags options,
                        bool mutableCollections, JSONError* error);

// "%@ %@" style operation texts of the collection exceptions.
std::string operationText(const char* className, const char* operation);

struct ValueAccess {
  static std::atomic<std::uint32_t>& references(const JSONValue* value) noexcept {
    return value->references_;
  }
  static std::uint8_t storage(const JSONValue* value) noexcept { return value->storage_; }
  static std::uint16_t chunkOffset(const JSONValue* value) noexcept { return value->chunkOffset_; }
  static bool isStatic(const JSONValue* value) noexcept {
    return value->storage_ == JSONValue::kStaticStorage;
  }
  static std::uint64_t bits(const JSONNumber* number) noexcept { return number->bits_; }

  // Reference changes for values that no other thread can see yet (made in
  // the current decode), where a plain store does the job of an atomic.
  static void retainUnshared(const JSONValue* value) noexcept {
    if (isStatic(value)) return;
    auto& count = value->references_;
    count.store(count.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  }
  static void releaseUnshared(const JSONValue* value) noexcept {
    if (isStatic(value)) return;
    auto& count = value->references_;
    std::uint32_t now = count.load(std::memory_order_relaxed);
    if (now == 1) {
      destroyValue(const_cast<JSONValue*>(value));
    } else {
      count.store(now - 1, std::memory_order_relaxed);
    }
  }
  static void setReferences(JSONValue* value, std::uint32_t count) noexcept {
    value->references_.store(count, std::memory_order_relaxed);
  }

  struct RawBlock {
    void* memory;
    std::uint8_t storage;
    std::uint16_t offset;
  };
  // Memory for a value: from the arena when one is given, else the heap.
  static RawBlock allocate(Arena* arena, std::size_t bytes) {
    if (arena) {
      Arena::Block block = arena->allocate(bytes);
      return {block.memory, block.inArena ? JSONValue::kArenaStorage : JSONValue::kHeapStorage,
              block.offset};
    }
    bytes = (bytes + kArenaAlignment - 1) & ~(kArenaAlignment - 1);
    void* memory = std::aligned_alloc(kArenaAlignment, bytes);
    if (!memory) throw std::bad_alloc();
    return {memory, JSONValue::kHeapStorage, 0};
  }

  static JSONStringValue* newString(Arena* arena, const char* bytes, std::size_t length,
                                    std::uint32_t hash) {
    RawBlock block = allocate(arena, sizeof(JSONStringValue) + length + 1);
    auto* string = new (block.memory) JSONStringValue(block.storage, block.offset, length, hash);
    char* chars = reinterpret_cast<char*>(string + 1);
    std::memcpy(chars, bytes, length);
    chars[length] = '\0';
    return string;
  }

  static JSONNumber* newNumber(Arena* arena, JSONValueKind kind, std::uint64_t bits) {
    RawBlock block = allocate(arena, sizeof(JSONNumber));
    return new (block.memory) JSONNumber(kind, block.storage, block.offset, bits);
  }

  // Takes over the references to the objects.
  static JSONArray* newArray(Arena* arena, JSONValue* const* objects, std::size_t count,
                             bool isMutable);
  // Takes over the references to keys and values; a repeated key keeps the
  // later value. `beforeDrop(context)` runs before the first reference is
  // dropped that way.
  static JSONDictionary* newDictionary(Arena* arena, JSONValue* const* keys,
                                       JSONValue* const* values, std::size_t count, bool isMutable,
                                       void (*beforeDrop)(void*) = nullptr,
                                       void* context = nullptr);

  static void destroy(JSONValue* value) noexcept;

  // For tests of the counter's wrap-around, which would otherwise take
  // four billion mutations.
  static void setMutations(JSONArray* array, std::uint32_t mutations) noexcept {
    array->mutations_ = mutations;
  }
  static void setMutations(JSONDictionary* dictionary, std::uint32_t mutations) noexcept {
    dictionary->mutations_ = mutations;
  }
};

}  // namespace lorvane::json_detail
