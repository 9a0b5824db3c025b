#include "player/volume_level_view.h"

#include <algorithm>
#include <cmath>

#include "platform/ui/content_mode.h"

namespace lorvane {

VolumeLevelView::VolumeLevelView() : View(Rect{0, 0, kWidth, kHeight}) {
  setBackgroundColor(Color::clear());
  layer().setBackgroundColor(Color::black().withAlpha(0.6));
  layer().setCornerRadius(8);
  setUserInteractionEnabled(false);
  setAutoresizingMask(AutoresizingFlexibleLeftMargin | AutoresizingFlexibleRightMargin |
                      AutoresizingFlexibleTopMargin | AutoresizingFlexibleBottomMargin);
  speaker_ = View::make<ImageView>(Image::imageNamed("视频课程播放-音量"));
  speaker_->setContentMode(ContentMode::ScaleAspectFit);
  addSubview(speaker_);
  bar_ = View::make<ProgressView>(Rect{});
  bar_->setProgressTintColor(Color::whiteColor());
  bar_->setTrackTintColor(Color::white(1, 0.3));
  addSubview(bar_);
  text_ = View::make<Label>(Rect{});
  text_->setBackgroundColor(Color::clear());
  text_->setTextColor(Color::whiteColor());
  text_->setFont(Font::systemFontOfSize(12));
  text_->setTextAlignment(TextAlignment::Right);
  addSubview(text_);
  setLevel(0);
}

void VolumeLevelView::setLevel(double level) {
  level = std::isnan(level) ? 0 : std::clamp(level, 0.0, 1.0);
  bar_->setProgress(level, false);
  text_->setText(std::to_string(static_cast<int>(std::lround(level * 100))) + "%");
}

void VolumeLevelView::layoutSubviews() {
  Rect b = bounds();
  speaker_->setFrame({4, 2, b.height() - 4, b.height() - 4});
  double barX = b.height() + 4;
  double textWidth = 36;
  bar_->setFrame({barX, b.height() / 2 - 2, b.width() - barX - textWidth - 8, 4});
  text_->setFrame({b.width() - textWidth - 6, 0, textWidth, b.height()});
}

}  // namespace lorvane
