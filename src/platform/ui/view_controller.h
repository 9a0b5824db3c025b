#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/key_press.h"
#include "platform/ui/responder.h"
#include "platform/ui/screen.h"
#include "platform/ui/view.h"

namespace lorvane {

class NavigationController;
class Window;

// One screen: owns a view made on first use, hears when it appears and
// disappears, and answers the rotation questions.
class ViewController : public Responder, public std::enable_shared_from_this<ViewController> {
 public:
  ViewController();
  ~ViewController() override;
  ViewController(const ViewController&) = delete;
  ViewController& operator=(const ViewController&) = delete;

  // The view, made by loadView and followed by viewDidLoad on first use.
  ViewPtr view();
  bool isViewLoaded() const { return view_ != nullptr; }
  void setView(ViewPtr view);
  virtual void loadView();
  virtual void viewDidLoad() {}
  virtual void viewWillAppear(bool animated) { (void)animated; }
  virtual void viewDidAppear(bool animated) { (void)animated; }
  virtual void viewWillDisappear(bool animated) { (void)animated; }
  virtual void viewDidDisappear(bool animated) { (void)animated; }
  virtual void viewWillLayoutSubviews() {}
  virtual void didReceiveMemoryWarning() {}

  const std::string& title() const { return title_; }
  void setTitle(std::string title) { title_ = std::move(title); }
  bool wantsFullScreenLayout() const { return wantsFullScreenLayout_; }
  void setWantsFullScreenLayout(bool w) { wantsFullScreenLayout_ = w; }

  // Containment.
  ViewController* parentViewController() const { return parent_; }
  const std::vector<std::shared_ptr<ViewController>>& childViewControllers() const {
    return children_;
  }
  void addChildViewController(const std::shared_ptr<ViewController>& child);
  void removeFromParentViewController();
  // The nearest navigation controller above, if any.
  NavigationController* navigationController() const;

  // Modal presentation: the presented screen covers the window.
  void presentViewController(const std::shared_ptr<ViewController>& controller, bool animated,
                             std::function<void()> completion = nullptr);
  void dismissViewControllerAnimated(bool animated, std::function<void()> completion = nullptr);
  ViewController* presentingViewController() const { return presenting_; }
  std::shared_ptr<ViewController> presentedViewController() const { return presented_; }

  // Rotation questions, with the platform's defaults: phones turn to all
  // but upside down (iOS 6 and later) and stay portrait for older systems.
  virtual bool shouldAutorotate() { return true; }
  virtual unsigned supportedInterfaceOrientations() { return kOrientationMaskAllButUpsideDown; }
  virtual bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) {
    return o == InterfaceOrientation::Portrait;
  }
  virtual void willRotateToInterfaceOrientation(InterfaceOrientation, double) {}
  virtual void willAnimateRotationToInterfaceOrientation(InterfaceOrientation, double) {}
  virtual void didRotateFromInterfaceOrientation(InterfaceOrientation) {}

  // A key of the desktop keyboard, offered to the screen on top: the
  // presented screen first, then the children on screen, then (in
  // overrides) the screen itself. True when taken.
  virtual bool pressKey(const KeyPress& key);
  InterfaceOrientation interfaceOrientation() const;

  // Appearance, as containers drive it for their children.
  void beginAppearanceTransition(bool appearing, bool animated);
  void endAppearanceTransition();
  bool isAppeared() const { return appearance_ == Appearance::Appeared; }
  bool isAppearing() const { return appearance_ == Appearance::Appearing; }

  Responder* nextResponder() const override;

  // Called by the view when it joins or leaves a window.
  void viewWillMoveToWindow(Window* window);
  void viewDidMoveToWindow(Window* window);

 protected:
  // Containers pass appearance on to the children on screen.
  virtual std::vector<ViewController*> appearanceChildren() const { return {}; }

 private:
  enum class Appearance { Disappeared, Appearing, Appeared, Disappearing };
  bool drivesOwnAppearance() const { return !parent_ && !presenting_; }

  ViewPtr view_;
  std::string title_;
  bool wantsFullScreenLayout_ = false;
  bool loading_ = false;
  ViewController* parent_ = nullptr;
  std::vector<std::shared_ptr<ViewController>> children_;
  ViewController* presenting_ = nullptr;
  std::shared_ptr<ViewController> presented_;
  Appearance appearance_ = Appearance::Disappeared;
  bool lastAnimated_ = false;
  bool windowTransition_ = false;
};

using ViewControllerPtr = std::shared_ptr<ViewController>;

}  // namespace lorvane
