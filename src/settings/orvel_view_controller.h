#pragma once

#include <memory>
#include <string>

#include "platform/ui/label.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// Tab 2: one tall picture that introduces the teacher, over the common
// background.
class OrvelViewController : public ViewController {
 public:
  void viewDidLoad() override;
  bool shouldAutorotate() override { return false; }
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation) override { return false; }

  // The tall variant on a 640 x 1136 screen.
  static std::string pictureName();
  ImageView* testView() const { return testView_.get(); }
  ImageView* backgroundView() const { return background_.get(); }

 private:
  std::shared_ptr<ImageView> background_;
  std::shared_ptr<ImageView> testView_;
};

}  // namespace lorvane
