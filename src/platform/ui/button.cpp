#include "platform/ui/button.h"

#include <algorithm>
#include <cmath>

namespace lorvane {

Button::Button(ButtonType type) : type_(type) {
  setOpaque(false);
  backgroundView_ = std::make_shared<ImageView>();
  imageView_ = std::make_shared<ImageView>();
  titleLabel_ = std::make_shared<Label>();
  titleLabel_->setFont(Font::systemFontOfSize(type == ButtonType::System ? 15 : 15));
  titleLabel_->setTextAlignment(TextAlignment::Center);
  titleLabel_->setLineBreakMode(LineBreakMode::TruncateMiddle);
  addSubview(backgroundView_);
  addSubview(imageView_);
  addSubview(titleLabel_);
  refresh();
}

template <class T>
std::optional<T> Button::lookup(const std::map<unsigned, T>& values, unsigned state) {
  // Disabled wins over the others, as on the platform; then the exact
  // state, then normal.
  auto exact = values.find(state);
  if (exact != values.end()) return exact->second;
  if (state & ControlStateDisabled) {
    auto d = values.find(ControlStateDisabled);
    if (d != values.end()) return d->second;
  }
  if (state & ControlStateHighlighted) {
    auto h = values.find(ControlStateHighlighted);
    if (h != values.end() && !(state & ControlStateSelected)) return h->second;
  }
  if ((state & ControlStateSelected) && !(state & ControlStateHighlighted)) {
    auto s = values.find(ControlStateSelected);
    if (s != values.end()) return s->second;
  }
  auto normal = values.find(ControlStateNormal);
  if (normal != values.end()) return normal->second;
  return std::nullopt;
}

void Button::setTitle(std::optional<std::string> title, unsigned state) {
  if (title)
    titles_[state] = *title;
  else
    titles_.erase(state);
  refresh();
}

void Button::setTitleColor(std::optional<Color> color, unsigned state) {
  if (color)
    titleColors_[state] = *color;
  else
    titleColors_.erase(state);
  refresh();
}

void Button::setImage(ImagePtr image, unsigned state) {
  if (image)
    images_[state] = std::move(image);
  else
    images_.erase(state);
  refresh();
}

void Button::setBackgroundImage(ImagePtr image, unsigned state) {
  if (image)
    backgrounds_[state] = std::move(image);
  else
    backgrounds_.erase(state);
  refresh();
}

std::optional<std::string> Button::titleForState(unsigned state) const {
  return lookup(titles_, state);
}

Color Button::titleColorForState(unsigned state) const {
  if (auto c = lookup(titleColors_, state)) return *c;
  if (type_ == ButtonType::System) {
    Color tint = Color::rgba(0, 122 / 255.0, 1);
    return (state & ControlStateHighlighted) ? tint.withAlpha(0.2) : tint;
  }
  return Color::whiteColor();
}

ImagePtr Button::imageForState(unsigned state) const {
  return lookup(images_, state).value_or(nullptr);
}

ImagePtr Button::backgroundImageForState(unsigned state) const {
  return lookup(backgrounds_, state).value_or(nullptr);
}

void Button::refresh() {
  unsigned s = state();
  titleLabel_->setText(titleForState(s).value_or(""));
  titleLabel_->setTextColor(titleColorForState(s));
  imageView_->setImage(imageForState(s));
  backgroundView_->setImage(backgroundImageForState(s));
  // Without a picture of its own for the pressed state, the pressed
  // button darkens the normal one.
  bool darken = adjustsImageWhenHighlighted_ && (s & ControlStateHighlighted);
  Color multiply = Color::white(darken ? 0.6 : 1);
  imageView_->layer().setContentsMultiply(images_.count(s) ? Color::whiteColor() : multiply);
  backgroundView_->layer().setContentsMultiply(backgrounds_.count(s) ? Color::whiteColor()
                                                                     : multiply);
  setNeedsLayout();
}

void Button::layoutSubviews() {
  Rect b = bounds();
  backgroundView_->setFrame(b);
  Rect content = b.inset(contentInsets_);
  Size imageSize = imageView_->image() ? imageView_->image()->size() : Size{};
  Size titleSize =
      titleLabel_->text().empty() ? Size{} : sizeWithFont(titleLabel_->text(), titleLabel_->font());
  imageSize.width = std::min(imageSize.width, content.width());
  imageSize.height = std::min(imageSize.height, content.height());
  titleSize.width = std::min(titleSize.width, std::max(0.0, content.width() - imageSize.width));
  titleSize.height = std::min(titleSize.height, content.height());
  double total = imageSize.width + titleSize.width;
  double x = content.midX() - total / 2;
  Rect imageFrame{x, content.midY() - imageSize.height / 2, imageSize.width, imageSize.height};
  Rect titleFrame{x + imageSize.width, content.midY() - titleSize.height / 2, titleSize.width,
                  titleSize.height};
  imageView_->setFrame(imageFrame.inset(imageInsets_));
  titleLabel_->setFrame(titleFrame.inset(titleInsets_));
}

Size Button::sizeThatFits(Size) const {
  Size imageSize = imageView_->image() ? imageView_->image()->size() : Size{};
  Size titleSize =
      titleLabel_->text().empty() ? Size{} : sizeWithFont(titleLabel_->text(), titleLabel_->font());
  Size bg = backgroundView_->image() ? backgroundView_->image()->size() : Size{};
  double w = imageSize.width + titleSize.width + contentInsets_.left + contentInsets_.right;
  double h =
      std::max(imageSize.height, titleSize.height) + contentInsets_.top + contentInsets_.bottom;
  return {std::max(w, bg.width), std::max(h, bg.height)};
}

}  // namespace lorvane
