#pragma once

#include <memory>
#include <optional>

#include "platform/foundation/run_loop.h"
#include "platform/foundation/weak_ptr.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/view.h"

namespace lorvane {

class ScrollView;

// Every operation optional; `false` from a notification means "not implemented".
class ScrollViewDelegate : public virtual Weakable {
 public:
  virtual ~ScrollViewDelegate() = default;
  virtual bool scrollViewDidScroll(ScrollView&) { return false; }
  virtual bool scrollViewWillBeginDragging(ScrollView&) { return false; }
  virtual bool scrollViewDidEndDragging(ScrollView&, bool willDecelerate) {
    (void)willDecelerate;
    return false;
  }
  virtual bool scrollViewDidEndDecelerating(ScrollView&) { return false; }
  virtual bool scrollViewDidEndScrollingAnimation(ScrollView&) { return false; }
};

// Shows a window onto a larger content area: a drag moves the content
// offset (the bounds origin), a flick carries on and slows down, an
// overscroll springs back. Touches on content wait a moment so a drag can
// take them over.
class ScrollView : public View {
 public:
  ScrollView();
  explicit ScrollView(const Rect& frame);
  ~ScrollView() override;

  Size contentSize() const { return contentSize_; }
  void setContentSize(Size size) { contentSize_ = size; }
  Point contentOffset() const { return bounds().origin; }
  void setContentOffset(Point offset);
  void setContentOffset(Point offset, bool animated);
  EdgeInsets contentInset() const { return contentInset_; }
  void setContentInset(EdgeInsets inset) { contentInset_ = inset; }
  void scrollRectToVisible(const Rect& rect, bool animated);

  bool isScrollEnabled() const { return scrollEnabled_; }
  void setScrollEnabled(bool e);
  bool bounces() const { return bounces_; }
  void setBounces(bool b) { bounces_ = b; }
  bool alwaysBounceVertical() const { return alwaysBounceVertical_; }
  void setAlwaysBounceVertical(bool b) { alwaysBounceVertical_ = b; }
  bool alwaysBounceHorizontal() const { return alwaysBounceHorizontal_; }
  void setAlwaysBounceHorizontal(bool b) { alwaysBounceHorizontal_ = b; }
  bool isPagingEnabled() const { return pagingEnabled_; }
  void setPagingEnabled(bool p) { pagingEnabled_ = p; }
  // Fraction of speed kept per millisecond (0.998 normal, 0.99 fast).
  double decelerationRate() const { return decelerationRate_; }
  void setDecelerationRate(double rate) { decelerationRate_ = rate; }
  bool showsVerticalScrollIndicator() const { return showsVertical_; }
  void setShowsVerticalScrollIndicator(bool s) { showsVertical_ = s; }
  bool showsHorizontalScrollIndicator() const { return showsHorizontal_; }
  void setShowsHorizontalScrollIndicator(bool s) { showsHorizontal_ = s; }
  bool delaysContentTouches() const { return delaysContentTouches_; }
  void setDelaysContentTouches(bool d) { delaysContentTouches_ = d; }
  bool canCancelContentTouches() const { return canCancelContentTouches_; }
  void setCanCancelContentTouches(bool c) { canCancelContentTouches_ = c; }
  bool scrollsToTop() const { return scrollsToTop_; }
  void setScrollsToTop(bool s) { scrollsToTop_ = s; }
  // Whether a drag may take a touch away from content it began in.
  virtual bool touchesShouldCancelInContentView(View*) { return true; }

  bool isDragging() const { return dragging_; }
  bool isDecelerating() const { return decelerating_; }
  bool isTracking() const { return tracking_; }

  ScrollViewDelegate* delegate() const { return delegate_.get(); }
  void setDelegate(ScrollViewDelegate* d) { delegate_ = d; }
  const std::shared_ptr<PanGestureRecognizer>& panGestureRecognizer() const { return pan_; }

  // The offsets the content may rest at.
  Point minimumContentOffset() const;
  Point maximumContentOffset() const;

  void touchesBegan(const TouchSet& touches, const Event& event) override;
  void touchesEnded(const TouchSet& touches, const Event& event) override;
  void touchesCancelled(const TouchSet& touches, const Event& event) override;

  static constexpr double kDecelerationRateNormal = 0.998;
  static constexpr double kDecelerationRateFast = 0.99;
  static constexpr double kFrameInterval = 1.0 / 60;

 protected:
  virtual void didScroll();

 private:
  void handlePan(PanGestureRecognizer& pan);
  void startDeceleration(Point velocity);
  void stepDeceleration();
  void stopDeceleration(bool notify);
  Point clamped(Point offset) const;
  bool canScrollHorizontally() const;
  bool canScrollVertically() const;

  Size contentSize_;
  EdgeInsets contentInset_;
  bool scrollEnabled_ = true;
  bool bounces_ = true;
  bool alwaysBounceVertical_ = false;
  bool alwaysBounceHorizontal_ = false;
  bool pagingEnabled_ = false;
  double decelerationRate_ = kDecelerationRateNormal;
  bool showsVertical_ = true;
  bool showsHorizontal_ = true;
  bool delaysContentTouches_ = true;
  bool canCancelContentTouches_ = true;
  bool scrollsToTop_ = true;
  bool dragging_ = false;
  bool decelerating_ = false;
  bool tracking_ = false;
  WeakPtr<ScrollViewDelegate> delegate_;
  std::shared_ptr<PanGestureRecognizer> pan_;
  Point dragStartOffset_;
  Point velocity_;
  TimeInterval lastStep_ = 0;
  std::shared_ptr<Timer> decelerationTimer_;
};

}  // namespace lorvane
