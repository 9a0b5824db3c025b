#pragma once

#include <memory>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

// A standalone head bar of the player's family: back button, title and
// speed button on a translucent strip.
class VideoHeadView : public View {
 public:
  VideoHeadView();
  explicit VideoHeadView(const Rect& frame);

  bool fullScreen() const { return fullScreen_; }
  void setFullScreen(bool fullScreen) { fullScreen_ = fullScreen; }
  std::shared_ptr<View> headControlBar() const { return headControlBar_; }
  void setHeadControlBar(std::shared_ptr<View> bar) { headControlBar_ = std::move(bar); }
  std::shared_ptr<Button> popMovieButton() const { return popMovieButton_; }
  void setPopMovieButton(std::shared_ptr<Button> b) { popMovieButton_ = std::move(b); }
  std::shared_ptr<Label> titleLabel() const { return titleLabel_; }
  void setTitleLabel(std::shared_ptr<Label> l) { titleLabel_ = std::move(l); }
  std::shared_ptr<Button> doublePlayButton() const { return doublePlayButton_; }
  void setDoublePlayButton(std::shared_ptr<Button> b) { doublePlayButton_ = std::move(b); }

  // The title on one line, never shrunk.
  void setVideoTitle(const std::string& title);
  void layoutSubviews() override;

 private:
  void build();
  bool fullScreen_ = false;
  std::shared_ptr<View> headControlBar_;
  std::shared_ptr<Button> popMovieButton_;
  std::shared_ptr<Label> titleLabel_;
  std::shared_ptr<Button> doublePlayButton_;
};

}  // namespace lorvane
