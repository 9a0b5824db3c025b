#include "player/transcript_view.h"

#include <algorithm>

namespace lorvane {

namespace {

constexpr double kRowPadding = 6;
constexpr double kSideInset = 8;

Color currentRowColor() {
  return Color::rgba(222 / 255.0, 18 / 255.0, 104 / 255.0, 0.35);
}

}  // namespace

TranscriptRow::TranscriptRow() {
  english_ = View::make<Label>(Rect{});
  english_->setFont(Font::systemFontOfSize(14));
  chinese_ = View::make<Label>(Rect{});
  chinese_->setFont(Font::systemFontOfSize(12));
  for (const auto& label : {english_, chinese_}) {
    label->setNumberOfLines(0);
    label->setBackgroundColor(Color::clear());
    label->setUserInteractionEnabled(false);
    addSubview(label);
  }
  setCurrent(false);
}

double TranscriptRow::fit(double width) {
  double inner = width - 2 * kSideInset;
  auto height = [&](const Label& label) {
    if (label.text().empty()) return 0.0;
    return sizeWithFont(label.text(), label.font(), inner, LineBreakMode::WordWrap).height;
  };
  double e = height(*english_);
  double c = height(*chinese_);
  english_->setFrame({kSideInset, kRowPadding, inner, e});
  chinese_->setFrame({kSideInset, kRowPadding + e + (c > 0 ? 2 : 0), inner, c});
  return e + c + (c > 0 ? 2 : 0) + 2 * kRowPadding;
}

void TranscriptRow::setCurrent(bool current) {
  current_ = current;
  setBackgroundColor(current ? currentRowColor() : Color::clear());
  english_->setTextColor(current ? Color::whiteColor() : Color::white(0.75));
  chinese_->setTextColor(current ? Color::rgb255(255, 226, 140) : Color::white(0.55));
}

TranscriptView::TranscriptView(const Rect& frame) : ScrollView(frame) {
  setBackgroundColor(Color::rgba(0.1, 0.1, 0.1, 0.9));
  setAlwaysBounceVertical(true);
}

void TranscriptView::setTrack(const CaptionTrack& track) {
  for (const auto& row : rows_) row->removeFromSuperview();
  rows_.clear();
  cues_ = track.cues();
  current_ = CaptionTrack::npos;
  for (std::size_t i = 0; i < cues_.size(); ++i) {
    auto row = View::make<TranscriptRow>();
    row->englishLabel().setText(cues_[i].english());
    row->chineseLabel().setText(cues_[i].translation());
    row->addTarget(
        this,
        [this, i](Control&) {
          if (lineTapped_) lineTapped_(i);
        },
        ControlEventTouchUpInside);
    addSubview(row);
    rows_.push_back(row);
  }
  laidOutWidth_ = -1;
  layOutRows();
  setContentOffset({0, 0});
}

void TranscriptView::showWords(CaptionMode mode, const std::vector<bool>& heard) {
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    bool shows = mode != CaptionMode::ListenFirst || (i < heard.size() && heard[i]);
    rows_[i]->englishLabel().setText(shows ? cues_[i].english() : CaptionView::kUnheardMark);
    rows_[i]->chineseLabel().setText(
        shows && mode != CaptionMode::EnglishOnly ? cues_[i].translation() : std::string());
  }
  laidOutWidth_ = -1;
  layOutRows();
}

void TranscriptView::layoutSubviews() {
  ScrollView::layoutSubviews();
  if (bounds().width() != laidOutWidth_) layOutRows();
}

void TranscriptView::layOutRows() {
  const double width = bounds().width();
  laidOutWidth_ = width;
  double y = 0;
  for (const auto& row : rows_) {
    double h = row->fit(width);
    row->setFrame({0, y, width, h});
    y += h;
  }
  setContentSize({width, y});
}

void TranscriptView::setCurrentLine(std::size_t line) {
  if (line != CaptionTrack::npos && line >= rows_.size()) line = CaptionTrack::npos;
  if (line == current_) return;
  if (current_ != CaptionTrack::npos) rows_[current_]->setCurrent(false);
  current_ = line;
  if (line == CaptionTrack::npos) return;
  rows_[line]->setCurrent(true);
  keepInView(line);
}

void TranscriptView::keepInView(std::size_t line) {
  // The learner's own scrolling wins until it is over.
  if (isDragging()) return;
  const Rect r = rows_[line]->frame();
  const double visible = bounds().height();
  double most = std::max(0.0, contentSize().height - visible);
  // A little way down from the top, so that the lines to come show too.
  double y = std::clamp(r.y() - std::min(visible / 4, r.y()), 0.0, most);
  setContentOffset({0, y}, true);
}

}  // namespace lorvane
