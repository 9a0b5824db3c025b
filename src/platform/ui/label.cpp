#include "platform/ui/label.h"

#include <algorithm>
#include <cmath>

namespace lorvane {

Label::Label() : Label(Rect{}) {}

Label::Label(const Rect& frame) : View(frame) {
  setUserInteractionEnabled(false);
  setOpaque(false);
  refresh();
}

void Label::setText(std::string text) {
  text_ = std::move(text);
  refresh();
}
void Label::setFont(const Font& font) {
  font_ = font;
  refresh();
}
void Label::setTextColor(Color c) {
  textColor_ = c;
  refresh();
}
void Label::setHighlightedTextColor(std::optional<Color> c) {
  highlightedTextColor_ = c;
  refresh();
}
void Label::setHighlighted(bool h) {
  highlighted_ = h;
  refresh();
}
void Label::setTextAlignment(TextAlignment a) {
  alignment_ = a;
  refresh();
}
void Label::setNumberOfLines(int n) {
  numberOfLines_ = std::max(0, n);
  refresh();
}
void Label::setLineBreakMode(LineBreakMode m) {
  lineBreakMode_ = m;
  refresh();
}
void Label::setAdjustsFontSizeToFitWidth(bool a) {
  adjustsFontSize_ = a;
  refresh();
}
void Label::setMinimumScaleFactor(double f) {
  minimumScaleFactor_ = std::clamp(f, 0.0, 1.0);
  refresh();
}
void Label::setMinimumFontSize(double s) {
  minimumFontSize_ = std::max(0.0, s);
  refresh();
}
void Label::setEnabled(bool e) {
  enabled_ = e;
  refresh();
}

void Label::boundsSizeDidChange(Size) {
  refresh();
}

Font Label::effectiveFont() const {
  if (!adjustsFontSize_ || numberOfLines_ != 1 || text_.empty()) return font_;
  double width = bounds().width();
  if (width <= 0) return font_;
  double floor = font_.pointSize * minimumScaleFactor_;
  if (minimumFontSize_ > 0) floor = std::max(floor, minimumFontSize_);
  Font f = font_;
  // Shrink in half-point steps until the text fits or the floor is reached.
  while (measureTextWidth(text_, f) > width && f.pointSize - 0.5 >= std::max(floor, 1.0)) {
    f = f.withSize(f.pointSize - 0.5);
  }
  return f;
}

TextLayout Label::currentLayout() const {
  return layoutText(text_, effectiveFont(), bounds().width(), numberOfLines_, lineBreakMode_);
}

Rect Label::textRectForBounds(const Rect& b, int lines) const {
  TextLayout layout = layoutText(text_, effectiveFont(), b.width(), lines, lineBreakMode_);
  Size s = layout.size();
  return {b.x(), b.y(), std::min(s.width, b.width()), std::min(s.height, b.height())};
}

Size Label::sizeThatFits(Size size) const {
  double width = size.width > 0 ? size.width : 0;
  TextLayout layout = layoutText(text_, font_, width, numberOfLines_, lineBreakMode_);
  return layout.size();
}

void Label::refresh() {
  if (text_.empty()) {
    layer().setTextContent(std::nullopt);
    return;
  }
  TextContent c;
  c.text = text_;
  c.font = effectiveFont();
  c.color = highlighted_ ? highlightedTextColor() : textColor_;
  if (!enabled_) c.color = c.color.withAlpha(c.color.alpha * 0.44);
  c.alignment = alignment_;
  c.numberOfLines = numberOfLines_;
  c.lineBreakMode = lineBreakMode_;
  c.rect = {0, 0, bounds().width(), bounds().height()};
  c.verticallyCentered = true;
  layer().setTextContent(std::move(c));
}

ImageView::ImageView() : ImageView(Rect{}) {}

ImageView::ImageView(const Rect& frame) : View(frame) {
  setUserInteractionEnabled(false);
  setOpaque(false);
}

ImageView::ImageView(ImagePtr image) : ImageView(Rect{}) {
  if (image) setFrame({0, 0, image->size().width, image->size().height});
  setImage(std::move(image));
}

void ImageView::setImage(ImagePtr image) {
  image_ = std::move(image);
  refresh();
}
void ImageView::setHighlightedImage(ImagePtr image) {
  highlightedImage_ = std::move(image);
  refresh();
}
void ImageView::setHighlighted(bool h) {
  highlighted_ = h;
  refresh();
}
void ImageView::setContentMode(ContentMode mode) {
  View::setContentMode(mode);
  refresh();
}

ImagePtr ImageView::displayedImage() const {
  return highlighted_ && highlightedImage_ ? highlightedImage_ : image_;
}

Size ImageView::sizeThatFits(Size) const {
  auto img = displayedImage();
  return img ? img->size() : Size{};
}

void ImageView::refresh() {
  layer().setContents(displayedImage());
  layer().setContentsGravity(contentMode());
}

}  // namespace lorvane
