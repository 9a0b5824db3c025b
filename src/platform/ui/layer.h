#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/video_frame.h"
#include "platform/ui/color.h"
#include "platform/ui/content_mode.h"
#include "platform/ui/font.h"
#include "platform/ui/geometry.h"
#include "platform/ui/image.h"

namespace lorvane {

class View;

// Text a layer draws (a label's), laid out in `rect` of the layer's bounds.
struct TextContent {
  std::string text;
  Font font;
  Color color = Color::black();
  TextAlignment alignment = TextAlignment::Left;
  int numberOfLines = 1;
  LineBreakMode lineBreakMode = LineBreakMode::TruncateTail;
  Rect rect;
  bool verticallyCentered = true;
};

// The spinning spokes of an activity indicator.
struct SpinnerContent {
  Color color = Color::whiteColor();
  bool animating = false;
};

// What is drawn for one view (or a free-standing layer): fill, rounded
// corners, border, shadow, a picture, text, a spinner or video frames,
// and plain sublayers on top.
class Layer : public std::enable_shared_from_this<Layer> {
 public:
  Layer() = default;
  virtual ~Layer() = default;
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  static std::shared_ptr<Layer> layer() { return std::make_shared<Layer>(); }

  // Geometry of a free-standing layer; a view's layer follows its view.
  Rect frame() const;
  void setFrame(const Rect& frame);
  Rect bounds() const;
  void setBounds(const Rect& bounds);

  Color backgroundColor() const { return backgroundColor_; }
  void setBackgroundColor(Color c);
  double cornerRadius() const { return cornerRadius_; }
  void setCornerRadius(double r) { cornerRadius_ = r; }
  double borderWidth() const { return borderWidth_; }
  void setBorderWidth(double w) { borderWidth_ = w; }
  Color borderColor() const { return borderColor_; }
  void setBorderColor(Color c) { borderColor_ = c; }
  Color shadowColor() const { return shadowColor_; }
  void setShadowColor(Color c) { shadowColor_ = c; }
  double shadowOpacity() const { return shadowOpacity_; }
  void setShadowOpacity(double o) { shadowOpacity_ = o; }
  Size shadowOffset() const { return shadowOffset_; }
  void setShadowOffset(Size s) { shadowOffset_ = s; }
  double shadowRadius() const { return shadowRadius_; }
  void setShadowRadius(double r) { shadowRadius_ = r; }
  bool masksToBounds() const { return masksToBounds_; }
  void setMasksToBounds(bool m) { masksToBounds_ = m; }
  double opacity() const;
  void setOpacity(double o);
  bool isHidden() const;
  void setHidden(bool h);

  ImagePtr contents() const { return contents_; }
  void setContents(ImagePtr image) { contents_ = std::move(image); }
  // Multiplies the picture's colours (a pressed button darkens its image).
  Color contentsMultiply() const { return contentsMultiply_; }
  void setContentsMultiply(Color c) { contentsMultiply_ = c; }
  ContentMode contentsGravity() const { return contentsGravity_; }
  void setContentsGravity(ContentMode m) { contentsGravity_ = m; }

  const std::optional<TextContent>& textContent() const { return text_; }
  void setTextContent(std::optional<TextContent> t) { text_ = std::move(t); }
  const std::optional<SpinnerContent>& spinnerContent() const { return spinner_; }
  void setSpinnerContent(std::optional<SpinnerContent> s) { spinner_ = std::move(s); }

  // A player's pictures, drawn to fill the layer as the gravity says.
  void setVideoFrameSource(std::shared_ptr<VideoFrameSource> source) { video_ = std::move(source); }
  const std::shared_ptr<VideoFrameSource>& videoFrameSource() const { return video_; }
  VideoGravity videoGravity() const { return videoGravity_; }
  void setVideoGravity(VideoGravity g) { videoGravity_ = g; }

  void addSublayer(std::shared_ptr<Layer> layer);
  void removeFromSuperlayer();
  const std::vector<std::shared_ptr<Layer>>& sublayers() const { return sublayers_; }
  Layer* superlayer() const { return superlayer_; }

  // The view this layer draws for, if any.
  View* delegateView() const { return view_; }

 private:
  friend class View;
  View* view_ = nullptr;
  Layer* superlayer_ = nullptr;
  Rect frame_;
  Rect boundsOrigin_;
  Color backgroundColor_;
  double cornerRadius_ = 0;
  double borderWidth_ = 0;
  Color borderColor_ = Color::black();
  Color shadowColor_ = Color::black();
  double shadowOpacity_ = 0;
  Size shadowOffset_{0, -3};
  double shadowRadius_ = 3;
  bool masksToBounds_ = false;
  double opacity_ = 1;
  bool hidden_ = false;
  ImagePtr contents_;
  ContentMode contentsGravity_ = ContentMode::ScaleToFill;
  Color contentsMultiply_ = Color::whiteColor();
  std::optional<TextContent> text_;
  std::optional<SpinnerContent> spinner_;
  std::shared_ptr<VideoFrameSource> video_;
  VideoGravity videoGravity_ = VideoGravity::ResizeAspect;
  std::vector<std::shared_ptr<Layer>> sublayers_;
};

}  // namespace lorvane
