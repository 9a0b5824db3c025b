#include "platform/ui/window.h"

#include <algorithm>
#include <cmath>

#include "platform/foundation/run_loop.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/ui/scroll_view.h"
#include "platform/ui/text_input.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

namespace {
Window*& keyWindowSlot() {
  static Window* key = nullptr;
  return key;
}
}  // namespace

Window::Window() : Window(Screen::mainScreen().bounds()) {}

Window::Window(const Rect& frame) : View(frame) {
  window_ = this;
}

Window::~Window() {
  if (keyWindowSlot() == this) keyWindowSlot() = nullptr;
  // Views that outlive the window must not keep pointing at it.
  auto children = subviews();
  for (auto& sub : children) sub->removeFromSuperview();
  RunLoop::main().cancelPreviousPerformRequests(this);
  Application::sharedApplication().windowWillClose(this);
}

void Window::setRootViewController(std::shared_ptr<ViewController> controller) {
  if (controller == rootViewController_) return;
  if (rootViewController_ && rootViewController_->isViewLoaded()) {
    rootViewController_->view()->removeFromSuperview();
  }
  rootViewController_ = std::move(controller);
  if (!rootViewController_) return;
  ViewPtr v = rootViewController_->view();
  v->setFrame(rootViewController_->wantsFullScreenLayout() ||
                      Device::currentDevice().systemVersionNumber() >= 7.0
                  ? bounds()
                  : Screen::mainScreen().applicationFrame());
  addSubview(v);
}

View* Window::rootView() const {
  return rootViewController_ && rootViewController_->isViewLoaded()
             ? rootViewController_->view().get()
             : nullptr;
}

void Window::makeKeyAndVisible() {
  makeKeyWindow();
  setHidden(false);
  Application::sharedApplication().windowDidBecomeKey(this);
}

void Window::makeKeyWindow() {
  keyWindowSlot() = this;
}
bool Window::isKeyWindow() const {
  return keyWindowSlot() == this;
}
Window* Window::keyWindow() {
  return keyWindowSlot();
}

void Window::touchDown(Point p, int finger) {
  deliver(TouchPhase::Began, finger, p);
}
void Window::touchMove(Point p, int finger) {
  deliver(TouchPhase::Moved, finger, p);
}
void Window::touchUp(Point p, int finger) {
  deliver(TouchPhase::Ended, finger, p);
}
void Window::touchCancel(int finger) {
  auto it = records_.find(finger);
  if (it == records_.end()) return;
  deliver(TouchPhase::Cancelled, finger, it->second.touch->locationInWindow());
}

bool Window::delaysContentTouches(const View* hit) const {
  for (const View* v = hit ? hit->superview() : nullptr; v; v = v->superview()) {
    if (auto* scroll = dynamic_cast<const ScrollView*>(v)) {
      if (scroll->delaysContentTouches() && scroll->isScrollEnabled()) return true;
    }
  }
  return false;
}

void Window::sendToRecognizers(Record& record, TouchPhase phase, const Event& event) {
  TouchSet touches{record.touch};
  auto recognizers = record.recognizers;
  for (auto& r : recognizers) {
    if (!r->isEnabled() || r->isFinished()) continue;
    switch (phase) {
      case TouchPhase::Began:
        r->touchesBegan(touches, event);
        break;
      case TouchPhase::Moved:
        r->touchesMoved(touches, event);
        break;
      case TouchPhase::Ended:
        r->touchesEnded(touches, event);
        break;
      case TouchPhase::Cancelled:
        r->touchesCancelled(touches, event);
        break;
      default:
        break;
    }
  }
}

void Window::deliver(TouchPhase phase, int finger, Point location) {
  ViewPtr keep = shared_from_this();
  TimeInterval now = View::now();
  if (phase == TouchPhase::Began) {
    if (records_.count(finger)) deliver(TouchPhase::Cancelled, finger, location);
    Record record;
    record.finger = finger;
    record.touch = std::make_shared<Touch>();
    Touch& t = *record.touch;
    t.window_ = this;
    t.location_ = t.previous_ = location;
    t.timestamp_ = now;
    t.phase_ = TouchPhase::Began;
    bool repeat = lastTapTime_ >= 0 && now - lastTapTime_ < 0.35 &&
                  std::hypot(location.x - lastTapLocation_.x, location.y - lastTapLocation_.y) < 30;
    t.tapCount_ = repeat ? lastTapCount_ + 1 : 1;
    View* hit = hitTest(location, nullptr);
    TextInput::touchWillBegin(hit);  // a touch elsewhere ends editing
    if (!hit) return;                // outside every view: nobody hears of this finger
    record.hitView = hit->sharedFromThis();
    t.view_ = record.hitView;
    for (View* v = hit; v; v = v->superview()) {
      for (auto& r : v->gestureRecognizers()) {
        if (!r->isEnabled()) continue;
        if (r->isFinished()) r->reset();
        if (auto* d = r->delegate()) {
          if (auto answer = d->shouldReceiveTouch(*r, t); answer && !*answer) continue;
        }
        record.recognizers.push_back(r);
      }
    }
    auto& stored = records_[finger] = std::move(record);
    Event event{{stored.touch}, now};
    sendToRecognizers(stored, TouchPhase::Began, event);
    auto it = records_.find(finger);
    if (it == records_.end() || it->second.cancelled) return;
    if (delaysContentTouches(it->second.hitView.get())) {
      it->second.pendingBegin = true;
      RunLoop::main().performAfterDelay(this, "delayedTouchesBegan", it->second.touch.get(),
                                        kContentTouchDelay, [this, finger] {
                                          auto r = records_.find(finger);
                                          if (r == records_.end() || !r->second.pendingBegin)
                                            return;
                                          deliverBegan(r->second);
                                        });
    } else {
      deliverBegan(it->second);
    }
    return;
  }

  auto it = records_.find(finger);
  if (it == records_.end()) return;
  Record& record = it->second;
  Touch& t = *record.touch;
  t.previous_ = t.location_;
  t.location_ = location;
  t.timestamp_ = now;
  t.phase_ = phase;
  Event event{{record.touch}, now};
  TouchPtr touch = record.touch;
  sendToRecognizers(record, phase, event);
  it = records_.find(finger);
  if (it == records_.end()) return;
  Record& r = it->second;
  TouchSet touches{touch};
  switch (phase) {
    case TouchPhase::Moved:
      if (r.delivered && !r.cancelled) r.hitView->touchesMoved(touches, event);
      break;
    case TouchPhase::Ended:
      if (!r.cancelled) {
        // A quick tap inside a scroll view: the content gets both halves now.
        if (r.pendingBegin) deliverBegan(r);
        if (r.delivered && !r.cancelled) {
          touch->phase_ = TouchPhase::Ended;
          r.hitView->touchesEnded(touches, event);
        }
      }
      lastTapTime_ = now;
      lastTapLocation_ = location;
      lastTapCount_ = touch->tapCount_;
      finishRecord(finger);
      break;
    case TouchPhase::Cancelled:
      if (r.delivered && !r.cancelled) r.hitView->touchesCancelled(touches, event);
      finishRecord(finger);
      break;
    default:
      break;
  }
}

void Window::deliverBegan(Record& record) {
  record.pendingBegin = false;
  RunLoop::main().cancelPreviousPerformRequests(this, "delayedTouchesBegan", record.touch.get());
  if (record.cancelled) return;
  record.delivered = true;
  TouchPhase phase = record.touch->phase_;
  record.touch->phase_ = TouchPhase::Began;
  Event event{{record.touch}, View::now()};
  ViewPtr hit = record.hitView;
  hit->touchesBegan({record.touch}, event);
  record.touch->phase_ = phase;
}

void Window::cancelViewTouches(Record& record) {
  if (record.cancelled) return;
  record.cancelled = true;
  if (record.pendingBegin) {
    record.pendingBegin = false;
    RunLoop::main().cancelPreviousPerformRequests(this, "delayedTouchesBegan", record.touch.get());
  }
  if (record.delivered) {
    TouchPhase phase = record.touch->phase_;
    record.touch->phase_ = TouchPhase::Cancelled;
    Event event{{record.touch}, View::now()};
    ViewPtr hit = record.hitView;
    hit->touchesCancelled({record.touch}, event);
    record.touch->phase_ = phase;
  }
}

void Window::finishRecord(int finger) {
  auto it = records_.find(finger);
  if (it == records_.end()) return;
  RunLoop::main().cancelPreviousPerformRequests(this, "delayedTouchesBegan",
                                                it->second.touch.get());
  auto recognizers = std::move(it->second.recognizers);
  records_.erase(it);
  // A recogniser starts afresh once none of its touches is left.
  for (auto& r : recognizers) {
    bool stillUsed = std::any_of(records_.begin(), records_.end(), [&](const auto& entry) {
      const auto& list = entry.second.recognizers;
      return std::find(list.begin(), list.end(), r) != list.end();
    });
    if (!stillUsed) {
      if (r->isActive()) {
        r->setState(GestureRecognizerState::Cancelled);
      }
      r->reset();
    }
  }
}

bool Window::recognizerMayBegin(GestureRecognizer& recognizer) {
  // Another recogniser of the same touches already in charge wins, unless
  // the two may work together.
  for (auto& [finger, record] : records_) {
    auto& list = record.recognizers;
    bool mine =
        std::any_of(list.begin(), list.end(), [&](auto& r) { return r.get() == &recognizer; });
    if (!mine) continue;
    for (auto& other : list) {
      if (other.get() == &recognizer) continue;
      bool inCharge = other->isActive() || other->state() == GestureRecognizerState::Recognized;
      if (inCharge && !recognizer.canRecognizeSimultaneouslyWith(*other)) return false;
    }
  }
  return true;
}

void Window::recognizerDidBegin(GestureRecognizer& recognizer) {
  for (auto& [finger, record] : records_) {
    auto& list = record.recognizers;
    bool mine =
        std::any_of(list.begin(), list.end(), [&](auto& r) { return r.get() == &recognizer; });
    if (!mine) continue;
    for (auto& other : list) {
      if (other.get() == &recognizer) continue;
      if (other->state() == GestureRecognizerState::Possible &&
          !recognizer.canRecognizeSimultaneouslyWith(*other)) {
        other->setState(GestureRecognizerState::Failed);
      }
    }
    if (recognizer.cancelsTouchesInView()) {
      // A scroll view decides for itself whether its drag takes content touches.
      auto* scroll = dynamic_cast<ScrollView*>(recognizer.view());
      bool cancel = true;
      if (scroll && &recognizer == scroll->panGestureRecognizer().get()) {
        cancel = scroll->canCancelContentTouches() &&
                 (!record.hitView || record.hitView.get() == scroll ||
                  scroll->touchesShouldCancelInContentView(record.hitView.get()));
        if (record.hitView.get() == scroll) cancel = true;
      }
      if (cancel) cancelViewTouches(record);
    }
  }
}

void Window::viewWillLeaveWindow(View* view) {
  for (auto& [finger, record] : records_) {
    if (record.hitView && record.hitView->isDescendantOfView(view)) cancelViewTouches(record);
  }
}

bool Window::pressKey(const KeyPress& key) {
  auto root = rootViewController_;
  return root && root->pressKey(key);
}

}  // namespace lorvane
