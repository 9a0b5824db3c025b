#include "player/caption_view.h"

namespace lorvane {

CaptionMode nextCaptionMode(CaptionMode mode) {
  switch (mode) {
    case CaptionMode::EnglishAndChinese:
      return CaptionMode::EnglishOnly;
    case CaptionMode::EnglishOnly:
      return CaptionMode::ListenFirst;
    case CaptionMode::ListenFirst:
      return CaptionMode::EnglishAndChinese;
  }
  return CaptionMode::EnglishAndChinese;
}

const char* captionModeTitle(CaptionMode mode) {
  switch (mode) {
    case CaptionMode::EnglishAndChinese:
      return "双语";
    case CaptionMode::EnglishOnly:
      return "英文";
    case CaptionMode::ListenFirst:
      return "先听";
  }
  return "双语";
}

CaptionView::CaptionView() {
  setUserInteractionEnabled(false);
  setBackgroundColor(Color::clear());
  english_ = View::make<Label>(Rect{});
  english_->setFont(Font::boldSystemFontOfSize(14));
  english_->setTextColor(Color::whiteColor());
  chinese_ = View::make<Label>(Rect{});
  chinese_->setFont(Font::systemFontOfSize(12));
  chinese_->setTextColor(Color::rgb255(255, 226, 140));
  for (const auto& label : {english_, chinese_}) {
    label->setTextAlignment(TextAlignment::Center);
    label->setBackgroundColor(Color::rgba(0, 0, 0, 0.55));
    label->setNumberOfLines(1);
    label->setAdjustsFontSizeToFitWidth(true);
    label->setMinimumScaleFactor(0.6);
    addSubview(label);
  }
  setHidden(true);
}

void CaptionView::showCue(const CaptionCue* cue, CaptionMode mode, bool heard) {
  if (!cue) {
    setHidden(true);
    return;
  }
  setHidden(false);
  if (mode == CaptionMode::ListenFirst && !heard) {
    english_->setText(kUnheardMark);
    chinese_->setText("");
  } else {
    english_->setText(cue->english());
    chinese_->setText(mode == CaptionMode::EnglishOnly ? std::string() : cue->translation());
  }
  chinese_->setHidden(chinese_->text().empty());
  setNeedsLayout();
}

void CaptionView::layoutSubviews() {
  Rect b = bounds();
  const double lineHeight = b.height() / 2;
  // Each line as wide as its text, centred; the last line at the bottom.
  auto place = [&](Label& label, double y) {
    double width = sizeWithFont(label.text(), label.font()).width + 12;
    width = std::min(width, b.width());
    label.setFrame({b.midX() - width / 2, y, width, lineHeight});
  };
  if (chinese_->isHidden()) {
    place(*english_, b.height() - lineHeight);
  } else {
    place(*english_, 0);
    place(*chinese_, lineHeight);
  }
}

}  // namespace lorvane
