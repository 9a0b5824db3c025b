#pragma once

#include <string>

#include "platform/ui/view.h"

namespace lorvane {

// Text on one or more lines, centred vertically in its bounds.
class Label : public View {
 public:
  Label();
  explicit Label(const Rect& frame);

  const std::string& text() const { return text_; }
  void setText(std::string text);
  const Font& font() const { return font_; }
  void setFont(const Font& font);
  Color textColor() const { return textColor_; }
  void setTextColor(Color c);
  Color highlightedTextColor() const { return highlightedTextColor_.value_or(textColor_); }
  void setHighlightedTextColor(std::optional<Color> c);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool h);
  TextAlignment textAlignment() const { return alignment_; }
  void setTextAlignment(TextAlignment a);
  int numberOfLines() const { return numberOfLines_; }
  void setNumberOfLines(int n);
  LineBreakMode lineBreakMode() const { return lineBreakMode_; }
  void setLineBreakMode(LineBreakMode m);
  bool adjustsFontSizeToFitWidth() const { return adjustsFontSize_; }
  void setAdjustsFontSizeToFitWidth(bool a);
  double minimumScaleFactor() const { return minimumScaleFactor_; }
  void setMinimumScaleFactor(double f);
  double minimumFontSize() const { return minimumFontSize_; }
  void setMinimumFontSize(double s);
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool e);

  // The font after shrinking to fit, the one actually drawn.
  Font effectiveFont() const;
  // The lines as drawn in the current bounds.
  TextLayout currentLayout() const;
  Size sizeThatFits(Size size) const override;
  Rect textRectForBounds(const Rect& bounds, int numberOfLines) const;

 protected:
  void boundsSizeDidChange(Size oldSize) override;

 private:
  void refresh();

  std::string text_;
  Font font_ = Font::systemFontOfSize(17);
  Color textColor_ = Color::black();
  std::optional<Color> highlightedTextColor_;
  bool highlighted_ = false;
  bool enabled_ = true;
  TextAlignment alignment_ = TextAlignment::Left;
  int numberOfLines_ = 1;
  LineBreakMode lineBreakMode_ = LineBreakMode::TruncateTail;
  bool adjustsFontSize_ = false;
  double minimumScaleFactor_ = 0;
  double minimumFontSize_ = 0;
};

// Shows a picture (or its highlighted variant) under a content mode.
class ImageView : public View {
 public:
  ImageView();
  explicit ImageView(const Rect& frame);
  explicit ImageView(ImagePtr image);

  ImagePtr image() const { return image_; }
  void setImage(ImagePtr image);
  ImagePtr highlightedImage() const { return highlightedImage_; }
  void setHighlightedImage(ImagePtr image);
  bool isHighlighted() const { return highlighted_; }
  void setHighlighted(bool h);
  void setContentMode(ContentMode mode) override;
  Size sizeThatFits(Size size) const override;
  // The picture drawn now.
  ImagePtr displayedImage() const;

 private:
  void refresh();
  ImagePtr image_;
  ImagePtr highlightedImage_;
  bool highlighted_ = false;
};

}  // namespace lorvane
