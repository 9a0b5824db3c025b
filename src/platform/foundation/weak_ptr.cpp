#include "platform/foundation/weak_ptr.h"

namespace lorvane {
namespace detail {

void WeakLink::release() {
  if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
}

std::uintptr_t WeakLink::addressIfAlive(std::uintptr_t address) const {
  return isAlive() ? address : 0;
}

}  // namespace detail

detail::WeakLink* Weakable::weakLink() const {
  detail::WeakLink* link = link_.load(std::memory_order_acquire);
  if (link) return link;
  auto* fresh = new detail::WeakLink();
  // Two threads may ask at once: the first link stored wins.
  if (link_.compare_exchange_strong(link, fresh, std::memory_order_acq_rel)) return fresh;
  fresh->release();
  return link;
}

Weakable::~Weakable() {
  detail::WeakLink* link = link_.load(std::memory_order_acquire);
  if (!link) return;
  link->alive_.store(false, std::memory_order_release);
  link->release();
}

}  // namespace lorvane
