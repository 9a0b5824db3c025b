#pragma once

#include <functional>
#include <optional>

#include "platform/ui/view_controller.h"

namespace lorvane {

// A stack of screens: push slides a new one in from the right, pop slides
// it back out; only the top screen's view is on screen.
class NavigationController : public ViewController {
 public:
  explicit NavigationController(std::shared_ptr<ViewController> root);
  ~NavigationController() override;

  const std::vector<std::shared_ptr<ViewController>>& viewControllers() const { return stack_; }
  void setViewControllers(std::vector<std::shared_ptr<ViewController>> controllers, bool animated);
  ViewController* topViewController() const;
  // The top screen, or what it presents modally.
  ViewController* visibleViewController() const;

  void pushViewController(const std::shared_ptr<ViewController>& controller, bool animated);
  std::shared_ptr<ViewController> popViewControllerAnimated(bool animated);
  std::vector<std::shared_ptr<ViewController>> popToRootViewControllerAnimated(bool animated);
  std::vector<std::shared_ptr<ViewController>> popToViewController(const ViewController* controller,
                                                                   bool animated);
  bool isTransitioning() const { return transition_.has_value(); }

  // The bar along the top (44 points under the status bar); screens of
  // this app draw their own and hide it.
  View& navigationBar() const { return *navigationBar_; }
  bool isNavigationBarHidden() const { return navigationBar_->isHidden(); }
  void setNavigationBarHidden(bool hidden, bool animated);

  // Rotation: by default the top screen answers. The app may replace the
  // answer for every navigation controller (as a category does).
  using AutorotationRule = std::function<bool(const NavigationController&, InterfaceOrientation)>;
  static void setAutorotationRule(AutorotationRule rule);
  static void setForwardsRotationCallbacks(bool forwards);
  bool shouldAutorotate() override;
  unsigned supportedInterfaceOrientations() override;
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) override;
  void willRotateToInterfaceOrientation(InterfaceOrientation o, double duration) override;
  void willAnimateRotationToInterfaceOrientation(InterfaceOrientation o, double duration) override;
  void didRotateFromInterfaceOrientation(InterfaceOrientation o) override;

  void loadView() override;

  static constexpr double kTransitionDuration = 0.35;
  static constexpr double kBarHeight = 44;

 protected:
  std::vector<ViewController*> appearanceChildren() const override;

 private:
  struct Transition {
    std::shared_ptr<ViewController> from;
    std::shared_ptr<ViewController> to;
    std::vector<std::shared_ptr<ViewController>> removed;
  };
  void layoutContent(ViewController& controller);
  void transition(std::shared_ptr<ViewController> from, std::shared_ptr<ViewController> to,
                  bool forward, bool animated,
                  std::vector<std::shared_ptr<ViewController>> removed);
  void finishTransition();
  bool isOnScreen() const;

  std::vector<std::shared_ptr<ViewController>> stack_;
  ViewPtr navigationBar_;
  std::optional<Transition> transition_;
  std::uint64_t transitionSerial_ = 0;
};

}  // namespace lorvane
