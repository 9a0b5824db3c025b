#include "player/resume_banner_view.h"

#include "player/time_text.h"

namespace lorvane {

ResumeBannerView::ResumeBannerView(const Rect& frame) : View(frame) {
  setBackgroundColor(Color::rgba(0, 0, 0, 0.72));
  layer().setCornerRadius(kHeight / 2);
  const double w = frame.width();
  message_ = View::make<Label>(Rect{12, 0, w - 96, kHeight});
  message_->setFont(Font::systemFontOfSize(13));
  message_->setTextColor(Color::white(1));
  message_->setBackgroundColor(Color::clear());
  addSubview(message_);
  startOver_ = Button::buttonWithType(ButtonType::Custom);
  startOver_->setFrame({w - 84, 3, 76, kHeight - 6});
  startOver_->setTitle("从头播放", ControlStateNormal);
  startOver_->setTitleColor(Color::rgb255(222, 18, 104), ControlStateNormal);
  startOver_->setTitleColor(Color::white(1), ControlStateHighlighted);
  startOver_->titleLabel().setFont(Font::boldSystemFontOfSize(13));
  addSubview(startOver_);
}

std::string ResumeBannerView::resumeText(double seconds) {
  return "从 " + stringTimeFromSeconds(seconds) + " 继续";
}

void ResumeBannerView::showPosition(double seconds) {
  message_->setText(resumeText(seconds));
}

}  // namespace lorvane
