#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/ui/control.h"
#include "platform/ui/label.h"
#include "platform/ui/scroll_view.h"
#include "player/caption_view.h"
#include "player/web_vtt.h"

namespace lorvane {

// One line of the transcript: the English line over its translation.
class TranscriptRow : public Control {
 public:
  TranscriptRow();
  Label& englishLabel() const { return *english_; }
  Label& chineseLabel() const { return *chinese_; }
  // Lays the two labels out for `width` and answers the row's height.
  double fit(double width);
  void setCurrent(bool current);
  bool isCurrent() const { return current_; }

 private:
  std::shared_ptr<Label> english_;
  std::shared_ptr<Label> chinese_;
  bool current_ = false;
};

// Every line of the lesson under the player. The line being studied is
// marked and kept in view as playback moves, unless the learner is
// scrolling; a tap on a line asks for playback from its start. In "listen
// first" the lines not yet heard keep their words to themselves.
class TranscriptView : public ScrollView {
 public:
  using LineTapped = std::function<void(std::size_t line)>;

  explicit TranscriptView(const Rect& frame);

  void setTrack(const CaptionTrack& track);
  void setLineTapped(LineTapped handler) { lineTapped_ = std::move(handler); }
  // Marks `line` (npos: none) and scrolls it near the top of the view.
  void setCurrentLine(std::size_t line);
  std::size_t currentLine() const { return current_; }
  // Which lines show their words.
  void showWords(CaptionMode mode, const std::vector<bool>& heard);

  std::size_t rowCount() const { return rows_.size(); }
  TranscriptRow& row(std::size_t line) const { return *rows_.at(line); }

  void layoutSubviews() override;

 private:
  void layOutRows();
  void keepInView(std::size_t line);

  std::vector<std::shared_ptr<TranscriptRow>> rows_;
  std::vector<CaptionCue> cues_;
  std::size_t current_ = CaptionTrack::npos;
  LineTapped lineTapped_;
  double laidOutWidth_ = -1;
};

}  // namespace lorvane
