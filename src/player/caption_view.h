#pragma once

#include <memory>

#include "platform/ui/label.h"
#include "platform/ui/view.h"
#include "player/web_vtt.h"

namespace lorvane {

// What the captions over the video show, in the order the captions button
// steps through them.
enum class CaptionMode { EnglishAndChinese, EnglishOnly, ListenFirst };

CaptionMode nextCaptionMode(CaptionMode mode);
// The captions button's title for a mode: "双语", "英文", "先听".
const char* captionModeTitle(CaptionMode mode);

// The line being spoken, over the lower part of the video: the English
// line, and in the two-language mode its translation beneath. In "listen
// first" a line shows only once it has been heard; until then a quiet mark
// says that a line is on. Touches pass through to the video.
class CaptionView : public View {
 public:
  // A line not yet heard in "listen first".
  static constexpr const char* kUnheardMark = "……";

  CaptionView();

  // Shows `cue` as `mode` wants; nothing hides the captions.
  void showCue(const CaptionCue* cue, CaptionMode mode, bool heard);
  Label& englishLabel() const { return *english_; }
  Label& chineseLabel() const { return *chinese_; }
  bool isShowingLine() const { return !isHidden(); }

  void layoutSubviews() override;

 private:
  std::shared_ptr<Label> english_;
  std::shared_ptr<Label> chinese_;
};

}  // namespace lorvane
