#include "settings/page_chrome.h"

#include "platform/ui/font.h"

namespace lorvane {

std::shared_ptr<ImageView> makePageBackground(const Rect& frame) {
  auto background = View::make<ImageView>(Image::imageNamed(kPageBackgroundPicture));
  background->setUserInteractionEnabled(true);
  background->setFrame(frame);
  return background;
}

std::shared_ptr<Button> makeBackButton(const Weakable* page, std::function<void()> action) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setFrame({10, 7, 50, 29});
  button->setImage(Image::imageNamed("返回按钮-原大-01"), ControlStateNormal);
  button->setImage(Image::imageNamed("返回按钮-原大-02"), ControlStateHighlighted);
  button->addTarget(
      page, [action = std::move(action)](Control&) { action(); }, ControlEventTouchUpInside);
  return button;
}

std::shared_ptr<Label> makeTitleLabel(const std::string& text) {
  auto label = View::make<Label>(Rect{70, 0, 180, 44});
  label->setText(text);
  label->setBackgroundColor(Color::clear());
  label->setTextColor(Color::whiteColor());
  label->setTextAlignment(TextAlignment::Center);
  label->setFont(Font::boldSystemFontOfSize(20));
  return label;
}

}  // namespace lorvane
