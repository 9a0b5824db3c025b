#include "player/video_head_view.h"

namespace lorvane {

VideoHeadView::VideoHeadView() {
  build();
}

VideoHeadView::VideoHeadView(const Rect& frame) : View(frame) {
  build();
}

void VideoHeadView::build() {
  headControlBar_ = View::make<View>();
  headControlBar_->setOpaque(false);
  headControlBar_->setBackgroundColor(Color::black().withAlpha(0.6));
  addSubview(headControlBar_);

  popMovieButton_ = Button::buttonWithType(ButtonType::Custom);
  popMovieButton_->setImage(Image::imageNamed("返回－02"), ControlStateNormal);
  popMovieButton_->setImage(Image::imageNamed("返回_03"), ControlStateHighlighted);

  titleLabel_ = View::make<Label>();
  titleLabel_->setBackgroundColor(Color::clear());
  titleLabel_->setTextColor(Color::whiteColor());
  titleLabel_->setFont(Font::boldSystemFontOfSize(18));
  titleLabel_->setTextAlignment(TextAlignment::Center);

  doublePlayButton_ = Button::buttonWithType(ButtonType::Custom);
  doublePlayButton_->setBackgroundImage(Image::imageNamed("倍数_05"), ControlStateNormal);
  doublePlayButton_->titleLabel().setFont(Font::boldSystemFontOfSize(12));
  doublePlayButton_->setTitleColor(Color::whiteColor(), ControlStateNormal);

  headControlBar_->addSubview(popMovieButton_);
  headControlBar_->addSubview(titleLabel_);
  headControlBar_->addSubview(doublePlayButton_);
}

void VideoHeadView::setVideoTitle(const std::string& title) {
  titleLabel_->setNumberOfLines(1);
  titleLabel_->setAdjustsFontSizeToFitWidth(false);
  titleLabel_->setText(title);
}

void VideoHeadView::layoutSubviews() {
  Rect b = bounds();
  const double W = b.width();
  const double H = b.height();
  if (headControlBar_) headControlBar_->setFrame(b);
  if (popMovieButton_) popMovieButton_->setFrame({10, 0, H, H});
  if (doublePlayButton_) doublePlayButton_->setFrame({W - 58, 0, 58, H});
  if (titleLabel_) {
    if (H + 10 < 58) {
      titleLabel_->setFrame({58, 0, W - 116, H});
    } else {
      titleLabel_->setFrame({H + 10, 0, W - 2 * (H + 10), H});
    }
  }
}

}  // namespace lorvane
