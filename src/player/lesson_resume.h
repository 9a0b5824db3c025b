#pragma once

#include <memory>
#include <string>

#include "common/lesson_progress_store.h"
#include "platform/foundation/run_loop.h"
#include "platform/foundation/weak_ptr.h"

namespace lorvane {

class PlayVideoViewController;

// Keeps one lesson's place while it plays: every kSaveInterval seconds of
// playing, when the page is left, at the end, and when the app goes to the
// background or quits. Until the player has reached where it was told to
// start, nothing is written, so a page left while loading keeps the old
// place. Main thread only.
class LessonResume : public Weakable {
 public:
  static constexpr double kSaveInterval = 5;

  // `lessonURL` is the lesson's own video URL (the store's key), whatever
  // the player actually opens (a local copy, say).
  LessonResume(std::string lessonURL, LessonProgressStore& store, double fallbackDuration);
  ~LessonResume();
  LessonResume(const LessonResume&) = delete;
  LessonResume& operator=(const LessonResume&) = delete;

  // Where the lesson should start now (0: the beginning).
  double startPosition() const { return startPosition_; }

  // Follows the player from now on.
  void attach(std::shared_ptr<PlayVideoViewController> player);
  // Records where the player is and writes the store, if the player is
  // somewhere worth keeping.
  void save();
  // The learner chose to start over: nothing is resumed.
  void startOver();
  // Saves one last time and stops following.
  void detach();

 private:
  void lessonDidReachEnd(const void* itemObject);

  std::string lessonURL_;
  LessonProgressStore* store_;
  double fallbackDuration_;
  double startPosition_ = 0;
  std::weak_ptr<PlayVideoViewController> player_;
  std::shared_ptr<Timer> timer_;
  bool attached_ = false;
};

}  // namespace lorvane
