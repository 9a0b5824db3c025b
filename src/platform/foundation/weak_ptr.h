#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>
#include <utility>

namespace lorvane {

class Weakable;

namespace detail {

// Shared by an object and every WeakPtr to it. The object clears `alive`
// when it dies; the block itself goes with its last holder.
class WeakLink {
 public:
  bool isAlive() const { return alive_.load(std::memory_order_acquire); }
  // `address` while the object lives, else 0. Out of line, so the compiler
  // does not take a dead object's address for a use of it.
  std::uintptr_t addressIfAlive(std::uintptr_t address) const;
  void retain() { refs_.fetch_add(1, std::memory_order_relaxed); }
  void release();

 private:
  friend class lorvane::Weakable;
  std::atomic<bool> alive_{true};
  std::atomic<std::size_t> refs_{1};  // the object's own reference counts as one
};

}  // namespace detail

// A base for objects that others point at without owning them (delegates,
// data sources, targets). Every WeakPtr to the object reads null from the
// moment the object's destructor finishes its own body and its members: a
// caller never reaches a dead object, and nobody has to clear anything by
// hand. Inherit virtually, so an object that takes on several roles has one
// identity.
//
// The pointers may be made, copied and read on any thread; reading one and
// using the object is safe only where the object dies on the same thread
// (the main thread for everything in the user interface).
class Weakable {
 public:
  Weakable() = default;
  // A copy is another object: it gets its own, fresh link.
  Weakable(const Weakable&) {}
  Weakable& operator=(const Weakable&) { return *this; }

  // The link for WeakPtr, made on first use.
  detail::WeakLink* weakLink() const;

 protected:
  ~Weakable();

 private:
  mutable std::atomic<detail::WeakLink*> link_{nullptr};
};

// A pointer that does not keep its object alive and reads null once the
// object is gone.
template <class T>
class WeakPtr {
 public:
  WeakPtr() = default;
  WeakPtr(std::nullptr_t) {}
  WeakPtr(T* object) : object_(reinterpret_cast<std::uintptr_t>(object)) {
    static_assert(std::is_base_of_v<Weakable, std::remove_cv_t<T>>,
                  "WeakPtr points at Weakable objects");
    if (object) link_ = static_cast<const Weakable*>(object)->weakLink();
    if (link_) link_->retain();
  }
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  WeakPtr(const WeakPtr<U>& other) : WeakPtr(static_cast<T*>(other.get())) {}
  WeakPtr(const WeakPtr& other) : object_(other.object_), link_(other.link_) {
    if (link_) link_->retain();
  }
  WeakPtr(WeakPtr&& other) noexcept : object_(other.object_), link_(other.link_) {
    other.object_ = 0;
    other.link_ = nullptr;
  }
  WeakPtr& operator=(WeakPtr other) noexcept {
    std::swap(object_, other.object_);
    std::swap(link_, other.link_);
    return *this;
  }
  ~WeakPtr() {
    if (link_) link_->release();
  }

  // The object, or null when there was none or it has died.
  T* get() const { return link_ ? reinterpret_cast<T*>(link_->addressIfAlive(object_)) : nullptr; }
  T* operator->() const { return get(); }
  T& operator*() const { return *get(); }
  explicit operator bool() const { return get() != nullptr; }
  // Whether this points at `object` (alive or not): for removal by identity.
  bool pointsAt(const T* object) const {
    return object != nullptr && reinterpret_cast<std::uintptr_t>(object) == object_;
  }
  void reset() { *this = WeakPtr(); }

 private:
  // Kept as a number: once the object is gone the address is only an
  // identity, never a pointer anyone may follow.
  std::uintptr_t object_ = 0;
  detail::WeakLink* link_ = nullptr;
};

// Two pointers are equal when they read the same now.
template <class T, class U>
bool operator==(const WeakPtr<T>& a, const WeakPtr<U>& b) {
  return a.get() == b.get();
}
template <class T>
bool operator==(const WeakPtr<T>& a, std::nullptr_t) {
  return a.get() == nullptr;
}

template <class T>
WeakPtr<T> makeWeak(T* object) {
  return WeakPtr<T>(object);
}

// Wraps a callback so it runs only while `owner` lives: a late completion
// or a posted task after the owner went away does nothing.
template <class T, class F>
auto whileAlive(T* owner, F callback) {
  return [owner = WeakPtr<T>(owner), callback = std::move(callback)](auto&&... args) {
    if (owner) callback(std::forward<decltype(args)>(args)...);
  };
}

}  // namespace lorvane
