#pragma once

#include <memory>
#include <string>

#include "common/lesson_downloads.h"
#include "platform/ui/button.h"
#include "platform/ui/image.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

// The detail page's offline controls: a round button with a ring that
// fills as the lesson downloads (tap: download, pause, go on), a × that
// cancels, and a note saying where the download is. It only shows a
// state; the page places the three views and acts on the taps.
class OfflineDownloadControl {
 public:
  static constexpr double kButtonSize = 30;

  OfflineDownloadControl();

  // Shows a lesson's download (none: not asked for).
  void showDownload(const std::optional<LessonDownload>& download, bool playingLocalFile);

  const std::shared_ptr<Button>& ringButton() const { return ring_; }
  const std::shared_ptr<Button>& cancelButton() const { return cancel_; }
  const std::shared_ptr<Label>& noteLabel() const { return note_; }
  // The note's text alone, for a state.
  static std::string noteText(const std::optional<LessonDownload>& download, bool playingLocalFile);
  // The ring's picture: a track and an arc for `fraction` (0 to 1) with a
  // mark in the middle (an arrow, two bars for pause, a tick when done).
  enum class Mark { Arrow, Pause, Tick };
  static ImagePtr ringImage(double fraction, Mark mark);
  double shownFraction() const { return fraction_; }
  Mark shownMark() const { return mark_; }

 private:
  std::shared_ptr<Button> ring_;
  std::shared_ptr<Button> cancel_;
  std::shared_ptr<Label> note_;
  double fraction_ = -1;
  Mark mark_ = Mark::Arrow;
};

}  // namespace lorvane
