#pragma once

#include <memory>
#include <vector>

#include "common/custom_tar_bar.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// Owns the four tab screens, shows one of them inside a navigation stack
// built afresh on every tab choice, keeps the shared tab bar on top, and
// lets the app turn to landscape only while the lesson page is on top.
class RootViewController : public ViewController, public CustomTarBarDelegate {
 public:
  static constexpr int kTabCount = 4;
  // Portrait, landscape left and landscape right; never upside down.
  static constexpr unsigned kSupportedOrientations = 26;

  RootViewController();

  void initControllers();
  void viewDidLoad() override;
  void selectedType(CustomTarBar& tabBar, int index) override;

  bool shouldAutorotate() override;
  unsigned supportedInterfaceOrientations() override { return kSupportedOrientations; }
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) override;
  void willRotateToInterfaceOrientation(InterfaceOrientation o, double duration) override;
  void willAnimateRotationToInterfaceOrientation(InterfaceOrientation o, double duration) override;
  // Keys go to what is presented over everything, then to the page on top
  // of the navigation stack (and what it presents), so a lesson keeps its
  // keys under a presented screen that does not take them.
  bool pressKey(const KeyPress& key) override;

  const std::vector<std::shared_ptr<ViewController>>& controllersArray() const {
    return controllersArray_;
  }
  NavigationController* navController() const { return navController_.get(); }
  CustomTarBar* customTabBar() const { return customTabBar_.get(); }

  // Every navigation controller answers the rotation question by the app's
  // rule and passes no rotation calls on (installed once, by the launch).
  static void installNavigationRules();

 private:
  ViewController* visibleViewController() const;

  std::vector<std::shared_ptr<ViewController>> controllersArray_;
  std::shared_ptr<NavigationController> navController_;
  std::shared_ptr<CustomTarBar> customTabBar_;  // the process-wide bar
};

}  // namespace lorvane
