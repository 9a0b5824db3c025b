#pragma once

#include <memory>
#include <vector>

#include "platform/foundation/weak_ptr.h"
#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

class CustomTarBar;

// Told of every tab choice.
class CustomTarBarDelegate : public virtual Weakable {
 public:
  virtual ~CustomTarBarDelegate() = default;
  virtual void selectedType(CustomTarBar& tabBar, int index) = 0;
};

// The app's own tab bar: a 45-point strip with a background picture and four
// picture buttons. There is one for the whole process; it is never destroyed.
class CustomTarBar : public View {
 public:
  static constexpr double kHeight = 45;
  static constexpr int kFirstTag = 91;
  static constexpr double kSlideDuration = 0.3;

  static std::shared_ptr<CustomTarBar> sharedInstance();

  // Behaves as a touch on that tab's button; other indexes do nothing.
  void selectTabBarButton(int index);
  // The action of every button for touch-up-inside.
  void touchUpInsideAction(Control& sender);
  // Moves the bar just below the screen (hide) or to the bottom of it.
  void hideTabBar(bool hide, bool animated);

  int tabBarButtonSelect() const { return tabBarButtonSelect_; }
  // Not owned: a delegate that dies is forgotten.
  CustomTarBarDelegate* delegate() const { return delegate_.get(); }
  void setDelegate(CustomTarBarDelegate* delegate) { delegate_ = delegate; }
  ImageView& backgroundImageview() const { return *backgroundImageview_; }
  Button& hotTopicButton() const { return *buttonArray_[0]; }
  Button& showButton() const { return *buttonArray_[1]; }
  Button& OrvelButton() const { return *buttonArray_[2]; }
  Button& setButton() const { return *buttonArray_[3]; }
  const std::vector<std::shared_ptr<Button>>& buttonArray() const { return buttonArray_; }

  // The y of the bar when shown, by the platform rules of this device.
  static double shownY();

  // Public for View::make only; use sharedInstance().
  CustomTarBar();

 private:
  int tabBarButtonSelect_ = 0;
  WeakPtr<CustomTarBarDelegate> delegate_;
  std::shared_ptr<ImageView> backgroundImageview_;
  std::vector<std::shared_ptr<Button>> buttonArray_;
};

}  // namespace lorvane
