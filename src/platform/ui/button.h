#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/ui/control.h"
#include "platform/ui/label.h"

namespace lorvane {

enum class ButtonType { Custom = 0, System = 1 };

// A control with a title, a picture and a background picture per state.
// A state without its own value shows the normal one.
class Button : public Control {
 public:
  explicit Button(ButtonType type = ButtonType::Custom);
  static std::shared_ptr<Button> buttonWithType(ButtonType type) {
    return std::make_shared<Button>(type);
  }
  ButtonType buttonType() const { return type_; }

  void setTitle(std::optional<std::string> title, unsigned state);
  void setTitleColor(std::optional<Color> color, unsigned state);
  void setImage(ImagePtr image, unsigned state);
  void setBackgroundImage(ImagePtr image, unsigned state);
  std::optional<std::string> titleForState(unsigned state) const;
  Color titleColorForState(unsigned state) const;
  ImagePtr imageForState(unsigned state) const;
  ImagePtr backgroundImageForState(unsigned state) const;

  std::optional<std::string> currentTitle() const { return titleForState(state()); }
  ImagePtr currentImage() const { return imageForState(state()); }
  ImagePtr currentBackgroundImage() const { return backgroundImageForState(state()); }

  bool adjustsImageWhenHighlighted() const { return adjustsImageWhenHighlighted_; }
  void setAdjustsImageWhenHighlighted(bool a) {
    adjustsImageWhenHighlighted_ = a;
    refresh();
  }
  bool showsTouchWhenHighlighted() const { return showsTouch_; }
  void setShowsTouchWhenHighlighted(bool s) { showsTouch_ = s; }
  EdgeInsets contentEdgeInsets() const { return contentInsets_; }
  void setContentEdgeInsets(EdgeInsets e) {
    contentInsets_ = e;
    setNeedsLayout();
  }
  EdgeInsets titleEdgeInsets() const { return titleInsets_; }
  void setTitleEdgeInsets(EdgeInsets e) {
    titleInsets_ = e;
    setNeedsLayout();
  }
  EdgeInsets imageEdgeInsets() const { return imageInsets_; }
  void setImageEdgeInsets(EdgeInsets e) {
    imageInsets_ = e;
    setNeedsLayout();
  }

  Label& titleLabel() const { return *titleLabel_; }
  ImageView& imageView() const { return *imageView_; }
  ImageView& backgroundImageView() const { return *backgroundView_; }

  void layoutSubviews() override;
  Size sizeThatFits(Size size) const override;

 protected:
  void stateDidChange() override { refresh(); }

 private:
  template <class T>
  static std::optional<T> lookup(const std::map<unsigned, T>& values, unsigned state);
  void refresh();

  ButtonType type_;
  std::map<unsigned, std::string> titles_;
  std::map<unsigned, Color> titleColors_;
  std::map<unsigned, ImagePtr> images_;
  std::map<unsigned, ImagePtr> backgrounds_;
  bool adjustsImageWhenHighlighted_ = true;
  bool showsTouch_ = false;
  EdgeInsets contentInsets_, titleInsets_, imageInsets_;
  std::shared_ptr<ImageView> backgroundView_;
  std::shared_ptr<ImageView> imageView_;
  std::shared_ptr<Label> titleLabel_;
};

}  // namespace lorvane
