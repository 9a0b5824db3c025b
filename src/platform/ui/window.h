#pragma once

#include <map>
#include <memory>

#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/key_press.h"
#include "platform/ui/view.h"

namespace lorvane {

class ViewController;

// The root of the view tree on screen. It turns raw finger input into
// touches: hit testing, gesture recognisers first, then the touched view
// (content of scroll views a moment later, so a drag can claim it).
class Window : public View {
 public:
  Window();
  explicit Window(const Rect& frame);
  ~Window() override;

  std::shared_ptr<ViewController> rootViewController() const { return rootViewController_; }
  void setRootViewController(std::shared_ptr<ViewController> controller);
  void makeKeyAndVisible();
  void makeKeyWindow();
  bool isKeyWindow() const;
  static Window* keyWindow();

  // Finger input in window points; `finger` tells fingers apart.
  void touchDown(Point location, int finger = 0);
  void touchMove(Point location, int finger = 0);
  void touchUp(Point location, int finger = 0);
  void touchCancel(int finger = 0);
  bool hasActiveTouches() const { return !records_.empty(); }
  // A key of the desktop keyboard, for the screen on top; true when taken.
  bool pressKey(const KeyPress& key);

  // The view the controller's rotation put the content in: the root
  // controller's view, or nothing.
  View* rootView() const;

  // Used by gesture recognisers.
  bool recognizerMayBegin(GestureRecognizer& recognizer);
  void recognizerDidBegin(GestureRecognizer& recognizer);
  // A view left this window: its touches no longer reach it.
  void viewWillLeaveWindow(View* view);

  // How long content touches inside a scroll view wait for a drag.
  static constexpr double kContentTouchDelay = 0.15;

 private:
  struct Record {
    TouchPtr touch;
    ViewPtr hitView;
    std::vector<std::shared_ptr<GestureRecognizer>> recognizers;
    bool delivered = false;  // the view has had touchesBegan
    bool cancelled = false;  // the view's touches were cancelled (or never will come)
    bool pendingBegin = false;
    int finger = 0;
  };
  void deliver(TouchPhase phase, int finger, Point location);
  void deliverBegan(Record& record);
  void cancelViewTouches(Record& record);
  void finishRecord(int finger);
  void resetRecognizersIfDone();
  bool delaysContentTouches(const View* hit) const;
  static void sendToRecognizers(Record& record, TouchPhase phase, const Event& event);

  std::shared_ptr<ViewController> rootViewController_;
  std::map<int, Record> records_;
  TimeInterval lastTapTime_ = -1;
  Point lastTapLocation_;
  int lastTapCount_ = 0;
};

}  // namespace lorvane
