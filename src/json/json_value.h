#pragma once

// The value model of the JSON codec: strings, numbers, the boolean and null
// singletons, the two collections and caller-defined custom objects, all
// reference counted with an intrusive count so that decoding thousands of
// values costs no control blocks.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

namespace lorvane {

class JSONValue;
class JSONStringValue;
class JSONNumber;
class JSONArray;
class JSONDictionary;
class JSONCustomObject;

namespace json_detail {
struct ValueAccess;
void destroyValue(JSONValue* value) noexcept;
// Notes that a value cut from a decoder's chunk gained a reference from
// outside the tree it was decoded into.
void noteArenaRetain(const JSONValue* value) noexcept;
}  // namespace json_detail

// What a value is. Numbers keep the form the decoder chose for them.
enum class JSONValueKind : std::uint8_t {
  Null,
  False,
  True,
  String,
  SignedInteger,
  UnsignedInteger,
  Double,
  Array,
  Dictionary,
  Custom,
};

// Owning handle to a value: copying adds a reference, destruction drops one.
// A null handle stands for "nil".
template <class T>
class JSONRef {
 public:
  constexpr JSONRef() noexcept = default;
  constexpr JSONRef(std::nullptr_t) noexcept {}
  JSONRef(const JSONRef& other) noexcept : pointer_(other.pointer_) { retainIfSet(); }
  JSONRef(JSONRef&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  JSONRef(const JSONRef<U>& other) noexcept : pointer_(other.get()) {
    retainIfSet();
  }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  JSONRef(JSONRef<U>&& other) noexcept : pointer_(other.detach()) {}
  ~JSONRef() { releaseIfSet(); }

  JSONRef& operator=(JSONRef other) noexcept {
    std::swap(pointer_, other.pointer_);
    return *this;
  }

  // Takes over one reference the caller already owns.
  static JSONRef adopt(T* pointer) noexcept {
    JSONRef ref;
    ref.pointer_ = pointer;
    return ref;
  }
  // Adds a reference of its own.
  static JSONRef retain(T* pointer) noexcept {
    JSONRef ref;
    ref.pointer_ = pointer;
    ref.retainIfSet();
    return ref;
  }

  T* get() const noexcept { return pointer_; }
  T* operator->() const noexcept { return pointer_; }
  T& operator*() const noexcept { return *pointer_; }
  explicit operator bool() const noexcept { return pointer_ != nullptr; }
  friend bool operator==(const JSONRef& ref, std::nullptr_t) noexcept { return !ref.pointer_; }

  // Gives up the reference without dropping it.
  T* detach() noexcept { return std::exchange(pointer_, nullptr); }
  void reset() noexcept { JSONRef().swap(*this); }
  void swap(JSONRef& other) noexcept { std::swap(pointer_, other.pointer_); }

 private:
  void retainIfSet() const noexcept;
  void releaseIfSet() const noexcept;

  T* pointer_ = nullptr;
};

using JSONValueRef = JSONRef<JSONValue>;

// Base of every value. Holds the reference count, the kind and where the
// memory came from; no virtual functions, so a number costs 16 bytes.
class JSONValue {
 public:
  JSONValue(const JSONValue&) = delete;
  JSONValue& operator=(const JSONValue&) = delete;

  JSONValueKind kind() const noexcept { return kind_; }
  bool isNull() const noexcept { return kind_ == JSONValueKind::Null; }
  bool isBoolean() const noexcept {
    return kind_ == JSONValueKind::True || kind_ == JSONValueKind::False;
  }
  bool isString() const noexcept { return kind_ == JSONValueKind::String; }
  bool isNumber() const noexcept {
    return kind_ == JSONValueKind::SignedInteger || kind_ == JSONValueKind::UnsignedInteger ||
           kind_ == JSONValueKind::Double;
  }
  bool isArray() const noexcept { return kind_ == JSONValueKind::Array; }
  bool isDictionary() const noexcept { return kind_ == JSONValueKind::Dictionary; }
  bool isCustom() const noexcept { return kind_ == JSONValueKind::Custom; }

  // Typed views; nullptr when the value is of another kind.
  const JSONStringValue* asString() const noexcept;
  const JSONNumber* asNumber() const noexcept;
  JSONArray* asArray() noexcept;
  const JSONArray* asArray() const noexcept;
  JSONDictionary* asDictionary() noexcept;
  const JSONDictionary* asDictionary() const noexcept;
  JSONCustomObject* asCustom() noexcept;
  const JSONCustomObject* asCustom() const noexcept;

  // Convenience reads with neutral answers for other kinds: the text of a
  // string (else empty), the truth of a boolean (else false).
  std::string_view stringValue() const noexcept;
  bool boolValue() const noexcept { return kind_ == JSONValueKind::True; }

  // Structural equality: strings by bytes, numbers by numeric value (1 and
  // 1.0 are equal), collections element by element, custom objects by
  // identity unless they say otherwise.
  bool isEqual(const JSONValue& other) const;
  // Consistent with isEqual; strings hash as the decoder hashes them.
  std::uint32_t hash() const noexcept;
  // Name used in messages ("JSONStringValue", "JSONArray", ...).
  std::string className() const;

  // The shared singletons; never freed, counting is a no-op for them.
  static JSONValueRef trueValue() noexcept;
  static JSONValueRef falseValue() noexcept;
  static JSONValueRef booleanValue(bool value) noexcept;
  static JSONValueRef null() noexcept;

  void retain() const noexcept {
    if (storage_ == kStaticStorage) return;
    references_.fetch_add(1, std::memory_order_relaxed);
    if (storage_ == kArenaStorage) json_detail::noteArenaRetain(this);
  }
  void release() const noexcept {
    if (storage_ == kStaticStorage) return;
    // A sole owner cannot race with anyone, which spares the atomic
    // read-modify-write on the common path of tearing down a fresh tree.
    if (references_.load(std::memory_order_acquire) == 1 ||
        references_.fetch_sub(1, std::memory_order_acq_rel) == 1) {
      json_detail::destroyValue(const_cast<JSONValue*>(this));
    }
  }
  std::uint32_t referenceCount() const noexcept {
    return references_.load(std::memory_order_relaxed);
  }

 protected:
  // Where a value's memory lives; decides how it is freed.
  static constexpr std::uint8_t kStaticStorage = 0;  // singletons
  static constexpr std::uint8_t kHeapStorage = 1;    // one malloc block
  static constexpr std::uint8_t kArenaStorage = 2;   // inside a decoder chunk
  static constexpr std::uint8_t kObjectStorage = 3;  // new/delete (custom objects)

  constexpr JSONValue(JSONValueKind kind, std::uint8_t storage,
                      std::uint16_t chunkOffset = 0) noexcept
      : references_(1), kind_(kind), storage_(storage), chunkOffset_(chunkOffset) {}
  ~JSONValue() = default;

 private:
  friend struct json_detail::ValueAccess;

  mutable std::atomic<std::uint32_t> references_;
  JSONValueKind kind_;
  std::uint8_t storage_;
  // Distance to the start of the arena chunk, in 16-byte units.
  std::uint16_t chunkOffset_;
};

// An immutable UTF-8 string. The bytes follow the object in the same block.
class JSONStringValue final : public JSONValue {
 public:
  // A new string from well-formed UTF-8; nil when the bytes are not.
  static JSONRef<JSONStringValue> create(std::string_view utf8);
  // The shared empty string.
  static JSONRef<JSONStringValue> empty() noexcept;

  std::string_view view() const noexcept { return {data(), length_}; }
  const char* data() const noexcept { return reinterpret_cast<const char*>(this + 1); }
  std::size_t length() const noexcept { return length_; }
  std::string str() const { return std::string(view()); }
  std::uint32_t hash() const noexcept { return hash_; }

 private:
  friend struct json_detail::ValueAccess;
  JSONStringValue(std::uint8_t storage, std::uint16_t chunkOffset, std::size_t length,
                  std::uint32_t hash) noexcept
      : JSONValue(JSONValueKind::String, storage, chunkOffset), length_(length), hash_(hash) {}

  std::size_t length_;
  std::uint32_t hash_;
  std::uint32_t reserved_ = 0;
};

// A number: signed or unsigned 64-bit integer, or a double.
class JSONNumber final : public JSONValue {
 public:
  static JSONRef<JSONNumber> withInt64(std::int64_t value);
  static JSONRef<JSONNumber> withUInt64(std::uint64_t value);
  static JSONRef<JSONNumber> withDouble(double value);

  bool isInteger() const noexcept { return kind() != JSONValueKind::Double; }
  bool isDouble() const noexcept { return kind() == JSONValueKind::Double; }
  bool isUnsigned() const noexcept { return kind() == JSONValueKind::UnsignedInteger; }
  // Read in the asked form, converting as a C cast would.
  std::int64_t int64Value() const noexcept;
  std::uint64_t uint64Value() const noexcept;
  double doubleValue() const noexcept;

 private:
  friend struct json_detail::ValueAccess;
  JSONNumber(JSONValueKind kind, std::uint8_t storage, std::uint16_t chunkOffset,
             std::uint64_t bits) noexcept
      : JSONValue(kind, storage, chunkOffset), bits_(bits) {}

  std::uint64_t bits_;  // the integer, or the double's bit pattern
};

// Base of objects a caller puts into a tree for the encoder's
// unsupported-class hook. Only custom objects pay for a vtable.
class JSONCustomObject : public JSONValue {
 public:
  virtual ~JSONCustomObject();
  virtual std::string className() const;

  // Makes a custom object of type T, which derives from JSONCustomObject.
  template <class T, class... Args>
  static JSONRef<T> make(Args&&... args) {
    return JSONRef<T>::adopt(new T(std::forward<Args>(args)...));
  }

 protected:
  JSONCustomObject() noexcept : JSONValue(JSONValueKind::Custom, kObjectStorage) {}
};

template <class T>
void JSONRef<T>::retainIfSet() const noexcept {
  if (pointer_) static_cast<const JSONValue*>(pointer_)->retain();
}

template <class T>
void JSONRef<T>::releaseIfSet() const noexcept {
  if (pointer_) static_cast<const JSONValue*>(pointer_)->release();
}

inline const JSONStringValue* JSONValue::asString() const noexcept {
  return isString() ? static_cast<const JSONStringValue*>(this) : nullptr;
}
inline const JSONNumber* JSONValue::asNumber() const noexcept {
  return isNumber() ? static_cast<const JSONNumber*>(this) : nullptr;
}
inline std::string_view JSONValue::stringValue() const noexcept {
  return isString() ? static_cast<const JSONStringValue*>(this)->view() : std::string_view();
}

}  // namespace lorvane
