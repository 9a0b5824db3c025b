#include "json/json_array.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "json/json_exception.h"
#include "json/json_internal.h"

namespace lorvane {

namespace {

using json_detail::operationText;
using json_detail::ValueAccess;

constexpr const char* kClassName = "JSONArray";
constexpr std::size_t kGrowth = 16;
constexpr std::size_t kMaximumCount = 0xFFFFFFFFu;

std::uint32_t nextMutation(std::uint32_t mutations) noexcept {
  return mutations == UINT32_MAX ? 1 : mutations + 1;
}

[[noreturn]] void throwNil(const char* operation) {
  throw JSONException(JSONException::InvalidArgument,
                      operationText(kClassName, operation) + "attempt to insert nil");
}

[[noreturn]] void throwRange(const char* operation, std::size_t index, std::size_t bounds) {
  throw JSONException(JSONException::Range, operationText(kClassName, operation) + "index (" +
                                                std::to_string(index) + ") beyond bounds (" +
                                                std::to_string(bounds) + ")");
}

}  // namespace

namespace json_detail {

namespace {

// Most decoded arrays are short (a coordinate pair, a list of ids); copied
// in fixed-size steps that compile to plain moves rather than a call.
inline void copyReferences(JSONValue** to, JSONValue* const* from, std::size_t count) noexcept {
  std::size_t i = 0;
  for (; i + 2 <= count; i += 2) std::memcpy(to + i, from + i, 2 * sizeof(JSONValue*));
  if (i < count) to[i] = from[i];
}

}  // namespace

static_assert(sizeof(JSONArray) == 32, "a decoded pair should fill one 48-byte block");

JSONArray* ValueAccess::newArray(Arena* arena, JSONValue* const* objects, std::size_t count,
                                 bool isMutable) {
  if (count > kMaximumCount) throw std::bad_alloc();
  RawBlock block = allocate(arena, sizeof(JSONArray) + count * sizeof(JSONValue*));
  auto* array = new (block.memory) JSONArray(block.storage, block.offset);
  array->objects_ = reinterpret_cast<JSONValue**>(array + 1);
  copyReferences(array->objects_, objects, count);
  array->count_ = static_cast<std::uint32_t>(count);
  array->capacity_ = static_cast<std::uint32_t>(count);
  array->mutations_ = isMutable ? 1 : 0;
  return array;
}

}  // namespace json_detail

JSONRef<JSONArray> JSONArray::mutableArray() {
  return JSONRef<JSONArray>::adopt(ValueAccess::newArray(nullptr, nullptr, 0, true));
}

void JSONArray::requireMutable(const char* operation) const {
  if (mutations_ == 0) {
    throw JSONException(
        JSONException::InternalInconsistency,
        operationText(kClassName, operation) + "mutating method sent to immutable object");
  }
}

void JSONArray::grow() {
  const std::size_t newCapacity = std::size_t{capacity_} + kGrowth;
  JSONValue** grown = nullptr;
  if (newCapacity > kMaximumCount) {
    // The count would no longer fit its field.
  } else if (objectsInline_) {
    grown = static_cast<JSONValue**>(std::malloc(newCapacity * sizeof(JSONValue*)));
    if (grown && count_) std::memcpy(grown, objects_, count_ * sizeof(JSONValue*));
  } else {
    grown = static_cast<JSONValue**>(std::realloc(objects_, newCapacity * sizeof(JSONValue*)));
  }
  if (!grown) throw JSONException(JSONException::Malloc, "Unable to resize objects array.");
  std::memset(grown + capacity_, 0, kGrowth * sizeof(JSONValue*));
  objects_ = grown;
  objectsInline_ = false;
  capacity_ = static_cast<std::uint32_t>(newCapacity);
}

JSONValue* JSONArray::objectAtIndex(std::size_t index) const {
  if (index >= count_) throwRange("objectAtIndex:", index, count_);
  return objects_[index];
}

void JSONArray::getObjects(JSONValue** objects, JSONRange range) const {
  const char* operation = "getObjects:range:";
  std::size_t end = range.location + range.length;
  const bool overflows = end < range.location;
  if (!objects && (overflows || end > 0)) {
    throw JSONException(JSONException::Range,
                        operationText(kClassName, operation) +
                            "pointer to objects array is NULL but range length is " +
                            std::to_string(overflows ? SIZE_MAX : end));
  }
  if (overflows || end > count_) throwRange(operation, overflows ? SIZE_MAX : end, count_);
  if (range.length) {
    std::memcpy(objects, objects_ + range.location, range.length * sizeof(JSONValue*));
  }
}

void JSONArray::insertObject(JSONValueRef object, std::size_t atIndex) {
  const char* operation = "insertObject:atIndex:";
  requireMutable(operation);
  if (!object) throwNil(operation);
  if (atIndex > count_) throwRange(operation, atIndex, count_ + 1);
  if (count_ + 1 >= capacity_) grow();
  std::memmove(objects_ + atIndex + 1, objects_ + atIndex, (count_ - atIndex) * sizeof(JSONValue*));
  objects_[atIndex] = object.detach();
  ++count_;
  mutations_ = nextMutation(mutations_);
}

void JSONArray::removeObjectAtIndex(std::size_t index) {
  const char* operation = "removeObjectAtIndex:";
  requireMutable(operation);
  if (index >= count_) throwRange(operation, index, count_);
  JSONValue* removed = objects_[index];
  std::memmove(objects_ + index, objects_ + index + 1, (count_ - index - 1) * sizeof(JSONValue*));
  objects_[--count_] = nullptr;
  mutations_ = nextMutation(mutations_);
  removed->release();
}

void JSONArray::replaceObjectAtIndex(std::size_t index, JSONValueRef withObject) {
  const char* operation = "replaceObjectAtIndex:withObject:";
  requireMutable(operation);
  if (!withObject) throwNil(operation);
  if (index >= count_) throwRange(operation, index, count_);
  JSONValue* old = objects_[index];
  objects_[index] = withObject.detach();
  mutations_ = nextMutation(mutations_);
  old->release();
}

JSONRef<JSONArray> JSONArray::retainedCopy(bool isMutable) const {
  auto copied =
      JSONRef<JSONArray>::adopt(ValueAccess::newArray(nullptr, objects_, count_, isMutable));
  for (std::size_t i = 0; i < count_; ++i) objects_[i]->retain();
  return copied;
}

JSONRef<JSONArray> JSONArray::copy() const {
  if (!isMutable()) return JSONRef<JSONArray>::retain(const_cast<JSONArray*>(this));
  return retainedCopy(false);
}

JSONRef<JSONArray> JSONArray::mutableCopy() const {
  return retainedCopy(true);
}

void JSONArray::Iterator::checkMutations() const {
  if (array_->mutations_ != mutations_) {
    throw JSONException(JSONException::Generic,
                        "*** Collection <JSONArray> was mutated while being enumerated.");
  }
}

JSONValue* JSONArray::Iterator::operator*() const {
  checkMutations();
  return array_->objects_[index_];
}

JSONArray::Iterator& JSONArray::Iterator::operator++() {
  checkMutations();
  ++index_;
  return *this;
}

}  // namespace lorvane
