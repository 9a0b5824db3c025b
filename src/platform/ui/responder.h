#pragma once

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/touch.h"

namespace lorvane {

// Receives touches; what it does not handle goes on to the next responder
// (a view's controller, then its superview). Others refer to responders
// (as targets, delegates, data sources) through WeakPtr.
class Responder : public virtual Weakable {
 public:
  virtual ~Responder() = default;
  virtual Responder* nextResponder() const { return nullptr; }

  virtual void touchesBegan(const TouchSet& touches, const Event& event) {
    if (auto* next = nextResponder()) next->touchesBegan(touches, event);
  }
  virtual void touchesMoved(const TouchSet& touches, const Event& event) {
    if (auto* next = nextResponder()) next->touchesMoved(touches, event);
  }
  virtual void touchesEnded(const TouchSet& touches, const Event& event) {
    if (auto* next = nextResponder()) next->touchesEnded(touches, event);
  }
  virtual void touchesCancelled(const TouchSet& touches, const Event& event) {
    if (auto* next = nextResponder()) next->touchesCancelled(touches, event);
  }
};

}  // namespace lorvane
