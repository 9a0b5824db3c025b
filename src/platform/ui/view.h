#pragma once

#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "platform/ui/animation.h"
#include "platform/ui/color.h"
#include "platform/ui/content_mode.h"
#include "platform/ui/geometry.h"
#include "platform/ui/layer.h"
#include "platform/ui/responder.h"

namespace lorvane {

class Window;
class ViewController;
class GestureRecognizer;
class View;
using ViewPtr = std::shared_ptr<View>;

// The platform's autoresizing bits.
enum AutoresizingMask : unsigned {
  AutoresizingNone = 0,
  AutoresizingFlexibleLeftMargin = 1u << 0,
  AutoresizingFlexibleWidth = 1u << 1,
  AutoresizingFlexibleRightMargin = 1u << 2,
  AutoresizingFlexibleTopMargin = 1u << 3,
  AutoresizingFlexibleHeight = 1u << 4,
  AutoresizingFlexibleBottomMargin = 1u << 5,
};

// A rectangle on screen: geometry, the subview tree, touches and layout.
// Frame, centre, bounds, alpha, transform and background colour animate
// inside an animation block: the getters answer the model value at once,
// the presentation getters what is drawn now.
class View : public Responder, public std::enable_shared_from_this<View> {
 public:
  View();
  explicit View(const Rect& frame);
  ~View() override;
  View(const View&) = delete;
  View& operator=(const View&) = delete;

  template <class T = View, class... Args>
  static std::shared_ptr<T> make(Args&&... args) {
    return std::make_shared<T>(std::forward<Args>(args)...);
  }

  // Geometry. The frame is in the superview's coordinates and derives from
  // centre, bounds size and transform (rotation about the centre).
  Rect frame() const;
  void setFrame(const Rect& frame);
  Rect bounds() const { return bounds_; }
  void setBounds(const Rect& bounds);
  Point center() const { return center_; }
  void setCenter(Point center);
  AffineTransform transform() const { return transform_; }
  void setTransform(const AffineTransform& transform);

  Rect presentationFrame() const;
  Rect presentationBounds() const;
  Point presentationCenter() const;
  AffineTransform presentationTransform() const;
  double presentationAlpha() const;
  Color presentationBackgroundColor() const;
  bool hasRunningAnimations() const;

  // Appearance.
  Color backgroundColor() const { return layer_->backgroundColor_; }
  virtual void setBackgroundColor(Color color);
  double alpha() const { return alpha_; }
  void setAlpha(double alpha);
  bool isHidden() const { return hidden_; }
  void setHidden(bool hidden);
  bool clipsToBounds() const { return layer_->masksToBounds_; }
  void setClipsToBounds(bool clips) { layer_->masksToBounds_ = clips; }
  bool isOpaque() const { return opaque_; }
  void setOpaque(bool opaque) { opaque_ = opaque; }
  ContentMode contentMode() const { return contentMode_; }
  virtual void setContentMode(ContentMode mode) { contentMode_ = mode; }
  Layer& layer() const { return *layer_; }
  std::shared_ptr<Layer> layerPtr() const { return layer_; }

  // Identity and interaction.
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  // Depth-first, this view first.
  View* viewWithTag(int tag);
  bool isUserInteractionEnabled() const { return userInteractionEnabled_; }
  void setUserInteractionEnabled(bool enabled) { userInteractionEnabled_ = enabled; }
  bool isMultipleTouchEnabled() const { return multipleTouchEnabled_; }
  void setMultipleTouchEnabled(bool enabled) { multipleTouchEnabled_ = enabled; }
  bool isExclusiveTouch() const { return exclusiveTouch_; }
  void setExclusiveTouch(bool e) { exclusiveTouch_ = e; }

  // The tree. Later subviews draw above earlier ones.
  View* superview() const { return superview_; }
  const std::vector<ViewPtr>& subviews() const { return subviews_; }
  Window* window() const;
  void addSubview(const ViewPtr& view);
  void insertSubviewAtIndex(const ViewPtr& view, std::size_t index);
  void insertSubviewBelow(const ViewPtr& view, const View* sibling);
  void insertSubviewAbove(const ViewPtr& view, const View* sibling);
  void removeFromSuperview();
  void bringSubviewToFront(const View* view);
  void sendSubviewToBack(const View* view);
  void exchangeSubviews(std::size_t a, std::size_t b);
  bool isDescendantOfView(const View* view) const;
  ViewPtr sharedFromThis() { return shared_from_this(); }

  // Layout.
  unsigned autoresizingMask() const { return autoresizingMask_; }
  void setAutoresizingMask(unsigned mask) { autoresizingMask_ = mask; }
  bool autoresizesSubviews() const { return autoresizesSubviews_; }
  void setAutoresizesSubviews(bool a) { autoresizesSubviews_ = a; }
  void setNeedsLayout() { needsLayout_ = true; }
  bool needsLayout() const { return needsLayout_; }
  // Lays out this view, then its subviews, where a layout is pending.
  void layoutIfNeeded();
  virtual void layoutSubviews() {}
  virtual Size sizeThatFits(Size size) const {
    return bounds_.size.width > 0 ? bounds_.size : size;
  }
  void sizeToFit();
  void setNeedsDisplay() {}

  // Coordinates.
  Point convertPointToView(Point p, const View* view) const;
  Point convertPointFromView(Point p, const View* view) const;
  Rect convertRectToView(const Rect& r, const View* view) const;
  Rect convertRectFromView(const Rect& r, const View* view) const;
  // This view's coordinates to its superview's and back.
  Point convertPointToSuperview(Point p) const;
  Point convertPointFromSuperview(Point p) const;

  // Hit testing. Hidden views, views nearly transparent and views with
  // interaction off are passed over, as are points outside a view's bounds.
  virtual View* hitTest(Point p, const Event* event = nullptr);
  virtual bool pointInside(Point p, const Event* event = nullptr) const;

  // Gesture recognisers see this view's touches first.
  void addGestureRecognizer(const std::shared_ptr<GestureRecognizer>& recognizer);
  void removeGestureRecognizer(const GestureRecognizer* recognizer);
  const std::vector<std::shared_ptr<GestureRecognizer>>& gestureRecognizers() const {
    return recognizers_;
  }
  // A view may stop a recogniser from beginning (controls stop a tap on
  // their superview from swallowing their own tap).
  virtual bool gestureRecognizerShouldBegin(GestureRecognizer& recognizer);

  Responder* nextResponder() const override;
  ViewController* viewController() const { return controller_; }

  // Hooks around tree changes.
  virtual void willMoveToSuperview(View*) {}
  virtual void didMoveToSuperview() {}
  virtual void willMoveToWindow(Window*) {}
  virtual void didMoveToWindow() {}
  virtual void didAddSubview(View*) {}
  virtual void willRemoveSubview(View*) {}

  // Ends every running animation of this view and its subtree.
  void removeAllAnimations(bool recursive = true);

  static TimeInterval now();

 protected:
  // Subclasses that draw content refresh their layer's content here.
  virtual void boundsSizeDidChange(Size oldSize);

 private:
  friend class ViewController;
  friend class Layer;
  enum class Property { Center, Bounds, Transform, Alpha, BackgroundColor };

  void recordChange(Property property, AnimationValue from, AnimationValue to);
  std::optional<AnimationValue> presentationValue(Property property) const;
  void cancelAnimation(Property property);
  void resizeSubviews(Size oldSize);
  void autoresize(Size oldSuperSize, Size newSuperSize);
  void moveToWindow(Window* oldWindow, Window* newWindow);
  void detachFromSuperview(bool notifyWindow);
  void insertAt(const ViewPtr& view, std::size_t index);

  Point center_;
  Rect bounds_;
  AffineTransform transform_;
  double alpha_ = 1;
  bool hidden_ = false;
  bool opaque_ = true;
  bool userInteractionEnabled_ = true;
  bool multipleTouchEnabled_ = false;
  bool exclusiveTouch_ = false;
  bool autoresizesSubviews_ = true;
  bool needsLayout_ = true;
  ContentMode contentMode_ = ContentMode::ScaleToFill;
  unsigned autoresizingMask_ = AutoresizingNone;
  int tag_ = 0;
  std::shared_ptr<Layer> layer_;
  View* superview_ = nullptr;
  std::vector<ViewPtr> subviews_;
  std::vector<std::shared_ptr<GestureRecognizer>> recognizers_;
  ViewController* controller_ = nullptr;
  std::map<Property, PropertyAnimation> animations_;

 protected:
  Window* window_ = nullptr;
};

}  // namespace lorvane
