#include "platform/ui/alert_view.h"

#include <algorithm>

#include "platform/ui/screen.h"
#include "platform/ui/window.h"

namespace lorvane {

namespace {
std::vector<std::shared_ptr<AlertView>>& shownAlerts() {
  static std::vector<std::shared_ptr<AlertView>> alerts;
  return alerts;
}
constexpr double kBoxWidth = 270;
constexpr double kButtonHeight = 44;
}  // namespace

AlertView::AlertView(std::string title, std::string message, AlertViewDelegate* delegate,
                     std::string cancelButtonTitle, std::vector<std::string> otherButtonTitles)
    : title_(std::move(title)),
      message_(std::move(message)),
      delegate_(delegate),
      cancelButtonTitle_(std::move(cancelButtonTitle)) {
  if (!cancelButtonTitle_.empty()) buttonTitles_.push_back(cancelButtonTitle_);
  for (auto& t : otherButtonTitles) buttonTitles_.push_back(std::move(t));
}

std::string AlertView::buttonTitleAtIndex(int index) const {
  if (index < 0 || index >= int(buttonTitles_.size())) return {};
  return buttonTitles_[std::size_t(index)];
}

Button* AlertView::buttonAtIndex(int index) const {
  if (index < 0 || index >= int(buttons_.size())) return nullptr;
  return buttons_[std::size_t(index)].get();
}

void AlertView::build() {
  setBackgroundColor(Color::white(0, 0.4));
  box_ = std::make_shared<View>();
  box_->setBackgroundColor(Color::white(0.97, 0.98));
  box_->layer().setCornerRadius(7);
  box_->setClipsToBounds(true);
  addSubview(box_);
  titleLabel_ = std::make_shared<Label>();
  titleLabel_->setFont(Font::boldSystemFontOfSize(17));
  titleLabel_->setTextAlignment(TextAlignment::Center);
  titleLabel_->setNumberOfLines(0);
  titleLabel_->setLineBreakMode(LineBreakMode::WordWrap);
  titleLabel_->setText(title_);
  box_->addSubview(titleLabel_);
  messageLabel_ = std::make_shared<Label>();
  messageLabel_->setFont(Font::systemFontOfSize(14));
  messageLabel_->setTextAlignment(TextAlignment::Center);
  messageLabel_->setNumberOfLines(0);
  messageLabel_->setLineBreakMode(LineBreakMode::WordWrap);
  messageLabel_->setText(message_);
  box_->addSubview(messageLabel_);
  for (std::size_t i = 0; i < buttonTitles_.size(); ++i) {
    auto button = Button::buttonWithType(ButtonType::System);
    button->setTitle(buttonTitles_[i], ControlStateNormal);
    button->titleLabel().setFont(i == 0 ? Font::boldSystemFontOfSize(17)
                                        : Font::systemFontOfSize(17));
    // A hairline above each button, drawn by the button's own sublayer.
    auto rule = Layer::layer();
    rule->setBackgroundColor(Color::white(0.8));
    rule->setFrame({0, 0, kBoxWidth, 0.5});
    button->layer().addSublayer(rule);
    int index = int(i);
    button->addTarget(
        this, [this, index](Control&) { clickButtonAtIndex(index); }, ControlEventTouchUpInside);
    box_->addSubview(button);
    buttons_.push_back(button);
  }
}

void AlertView::layoutSubviews() {
  Rect b = bounds();
  double inner = kBoxWidth - 32;
  double y = 20;
  Size t = sizeWithFont(title_, titleLabel_->font(), inner);
  titleLabel_->setFrame({16, y, inner, t.height});
  y += t.height + (message_.empty() ? 0 : 4);
  Size m = sizeWithFont(message_, messageLabel_->font(), inner);
  messageLabel_->setFrame({16, y, inner, m.height});
  y += m.height + 20;
  // Two buttons side by side; otherwise one per row.
  if (buttons_.size() == 2) {
    buttons_[0]->setFrame({0, y, kBoxWidth / 2, kButtonHeight});
    buttons_[1]->setFrame({kBoxWidth / 2, y, kBoxWidth / 2, kButtonHeight});
    y += kButtonHeight;
  } else {
    for (auto& button : buttons_) {
      button->setFrame({0, y, kBoxWidth, kButtonHeight});
      y += kButtonHeight;
    }
  }
  box_->setFrame({b.midX() - kBoxWidth / 2, b.midY() - y / 2, kBoxWidth, y});
}

void AlertView::show() {
  if (visible_) return;
  Window* window = Window::keyWindow();
  if (!box_) build();
  visible_ = true;
  auto self = std::static_pointer_cast<AlertView>(sharedFromThis());
  shownAlerts().push_back(self);
  if (window) {
    // Over everything, turned the way the interface is.
    if (View* root = window->rootView()) {
      setTransform(root->transform());
      setBounds({0, 0, root->bounds().width(), root->bounds().height()});
      setCenter(root->center());
    } else {
      setFrame(window->bounds());
    }
    window->addSubview(self);
    setNeedsLayout();
    layoutIfNeeded();
  }
}

void AlertView::clickButtonAtIndex(int index) {
  if (!visible_) return;
  auto self = sharedFromThis();
  if (delegate_) delegate_->clickedButtonAtIndex(*this, index);
  dismissWithClickedButtonIndex(index, true);
}

void AlertView::dismissWithClickedButtonIndex(int index, bool) {
  if (!visible_) return;
  auto self = sharedFromThis();
  visible_ = false;
  removeFromSuperview();
  std::erase_if(shownAlerts(), [&](const auto& a) { return a.get() == this; });
  if (delegate_) delegate_->didDismissWithButtonIndex(*this, index);
}

std::vector<std::shared_ptr<AlertView>> AlertView::visibleAlerts() {
  return shownAlerts();
}

}  // namespace lorvane
