#include "platform/ui/touch.h"

#include "platform/ui/view.h"

namespace lorvane {

View* Touch::view() const {
  return view_.lock().get();
}

Point Touch::locationInView(const View* view) const {
  return view ? view->convertPointFromView(location_, nullptr) : location_;
}

Point Touch::previousLocationInView(const View* view) const {
  return view ? view->convertPointFromView(previous_, nullptr) : previous_;
}

}  // namespace lorvane
