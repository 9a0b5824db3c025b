#include "common/custom_tar_bar.h"

#include <array>

#include "platform/ui/animation.h"
#include "platform/ui/application.h"
#include "platform/ui/image.h"
#include "platform/ui/screen.h"

namespace lorvane {
namespace {

struct TabButton {
  double x;
  const char* normal;
  const char* selected;
};

// The steps between the buttons are 80, 80 and 78 points.
constexpr std::array<TabButton, 4> kButtons = {{
    {15, "潮话题图标-原大-01", "潮话题图标-原大-02"},
    {95, "秀潮流图标-原大-01", "秀潮流图标-原大-02"},
    {175, "Orvel是谁图标-原大-01", "Orvel是谁图标-原大-02"},
    {253, "设置图标-原大-01", "设置图标-原大-02"},
}};

}  // namespace

std::shared_ptr<CustomTarBar> CustomTarBar::sharedInstance() {
  // Held by a pointer that is never released: the bar lives until exit.
  static auto* instance = new std::shared_ptr<CustomTarBar>(View::make<CustomTarBar>());
  return *instance;
}

CustomTarBar::CustomTarBar() {
  const double width = Screen::mainScreen().bounds().size.width;
  backgroundImageview_ = View::make<ImageView>(Image::imageNamed("工具栏底-原大"));
  backgroundImageview_->setFrame({0, 0, width, kHeight});
  addSubview(backgroundImageview_);

  for (std::size_t i = 0; i < kButtons.size(); ++i) {
    auto button = Button::buttonWithType(ButtonType::Custom);
    button->setAdjustsImageWhenHighlighted(false);
    button->setFrame({kButtons[i].x, 1, 51, 44});
    button->setImage(Image::imageNamed(kButtons[i].normal), ControlStateNormal);
    button->setTag(kFirstTag + static_cast<int>(i));
    button->addTarget(
        this, [this](Control& sender) { touchUpInsideAction(sender); }, ControlEventTouchUpInside);
    buttonArray_.push_back(button);
  }
  for (const auto& button : buttonArray_) addSubview(button);
}

void CustomTarBar::selectTabBarButton(int index) {
  if (index < 0 || index >= static_cast<int>(buttonArray_.size())) return;
  touchUpInsideAction(*buttonArray_[static_cast<std::size_t>(index)]);
}

void CustomTarBar::touchUpInsideAction(Control& sender) {
  for (const auto& button : buttonArray_) {
    if (button.get() != &sender) {
      button->setSelected(false);
      continue;
    }
    button->setSelected(true);
    if (!delegate_) continue;
    const int index = button->tag() - kFirstTag;
    if (index < 0 || index >= static_cast<int>(kButtons.size())) continue;
    button->setImage(Image::imageNamed(kButtons[static_cast<std::size_t>(index)].selected),
                     ControlStateSelected);
    tabBarButtonSelect_ = index;
    delegate_->selectedType(*this, index);
  }
}

double CustomTarBar::shownY() {
  const double height = Screen::mainScreen().bounds().size.height;
  if (Device::currentDevice().systemVersionNumber() >= 7.0) return height - kHeight;
  return height - Application::sharedApplication().statusBarFrame().size.height - kHeight;
}

void CustomTarBar::hideTabBar(bool hide, bool animated) {
  const Rect screen = Screen::mainScreen().bounds();
  const Rect target{0, hide ? screen.size.height : shownY(), screen.size.width, kHeight};
  if (animated) {
    animateWithDuration(kSlideDuration, [&] { setFrame(target); });
  } else {
    setFrame(target);
  }
}

}  // namespace lorvane
