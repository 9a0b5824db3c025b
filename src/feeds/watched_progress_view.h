#pragma once

#include <memory>
#include <optional>

#include "common/lesson_progress_store.h"
#include "platform/ui/label.h"
#include "platform/ui/view.h"

namespace lorvane {

// What a feed tile or row shows of a lesson's progress: a thin bar along
// its bottom edge for the part watched, and a ✓ in the corner once the
// lesson was watched to the end. Shows nothing for a lesson never opened.
class WatchedProgressView : public View {
 public:
  static constexpr double kBarHeight = 3;
  static constexpr double kMarkSize = 18;

  explicit WatchedProgressView(const Rect& frame = {});

  void showProgress(const std::optional<LessonProgress>& progress);
  // The lesson's progress from the store, by its video URL.
  void showProgressForURL(const std::string& videoURL);

  View& track() const { return *track_; }
  View& bar() const { return *bar_; }
  Label& finishedMark() const { return *mark_; }
  double fraction() const { return fraction_; }

  void layoutSubviews() override;

 private:
  std::shared_ptr<View> track_;
  std::shared_ptr<View> bar_;
  std::shared_ptr<Label> mark_;
  double fraction_ = 0;
};

}  // namespace lorvane
