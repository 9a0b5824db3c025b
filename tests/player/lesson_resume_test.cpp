#include <gtest/gtest.h>

#include "common/documents_folder.h"
#include "common/lesson_progress_store.h"
#include "player/record_values.h"
#include "player/resume_banner_view.h"
#include "real_lesson_test_support.h"

// Where a lesson was left, on the real media layer with a sample lesson
// from the sample server: kept while playing, when leaving, at the end, on
// background and quit, and offered again after a new launch.

namespace lorvane {
namespace {

class LessonResumeTest : public testing::RealLessonTest {
 protected:
  void SetUp() override {
    ASSERT_TRUE(documents.ok());
    testing::RealLessonTest::SetUp();
    startServer();
  }

  // What a new launch would read.
  std::optional<LessonProgress> onDisk(const std::string& url) const {
    return LessonProgressStore(LessonProgressStore::defaultPath()).progressForURL(url);
  }
  static std::string videoURL(const JSONRef<JSONDictionary>& record) {
    return stringForKey(record.get(), "videoUrl");
  }
  bool bannerShows() const {
    ResumeBannerView* banner = page ? page->resumeBanner() : nullptr;
    return banner && !banner->isHidden() && banner->superview() && banner->window();
  }
  // The process ends: pages, server and memory go; the files stay.
  void quit() {
    Application::sharedApplication().terminate();
    navigation.reset();
    page.reset();
    player.reset();
    window->setRootViewController(nullptr);
    RunLoop::main().runUntilIdle();
    server->stop();
    server.reset();
    LessonProgressStore::shared().reload();
  }

  testing::ScopedDocumentsFolder documents;
};

TEST_F(LessonResumeTest, APlaceKeptAcrossAQuitIsOfferedAndCanBeDropped) {
  auto record = firstLesson();
  const std::string url = videoURL(record);
  open(record);
  EXPECT_FALSE(bannerShows()) << "a new lesson has nothing to go on from";
  waitUntilPlayingPast(3.0);
  quit();

  auto kept = onDisk(url);
  ASSERT_TRUE(kept);
  EXPECT_GE(kept->position, 3.0);
  EXPECT_FALSE(kept->finished);
  const double left = kept->position;

  // The next launch serves the lessons on another port.
  startServer();
  auto again = firstLesson();
  open(again);
  ASSERT_TRUE(bannerShows());
  EXPECT_EQ(page->resumeBanner()->messageLabel().text(), ResumeBannerView::resumeText(left));
  ASSERT_TRUE(wait([&] { return player->isPlaying() && !player->isSeeking(); }, 30));
  EXPECT_GE(position(), left - 0.5) << "the lesson goes on from where it was left";

  tap(centreInWindow(page->resumeBanner()->startOverButton()));
  EXPECT_FALSE(bannerShows());
  ASSERT_TRUE(wait([&] { return !player->isSeeking() && position() < left - 1.5; }, 15))
      << "at " << position();
}

TEST_F(LessonResumeTest, TheBannerLastsSixSecondsAndTheLessonStartsWhereItWasLeft) {
  auto record = firstLesson();
  const std::string url = videoURL(record);
  LessonProgressStore::shared().recordPosition(url, 20, 0);
  ASSERT_TRUE(LessonProgressStore::shared().save());
  open(record);
  ASSERT_TRUE(bannerShows());
  EXPECT_EQ(page->resumeBanner()->messageLabel().text(), "从 00:20 继续");
  EXPECT_EQ(page->resumeBanner()->startOverButton().titleForState(ControlStateNormal), "从头播放");
  ASSERT_TRUE(wait([&] { return player->isPlaying() && !player->isSeeking(); }, 30));
  EXPECT_GE(position(), 19.5);
  pump(5.5);
  EXPECT_TRUE(bannerShows());
  pump(1.0);
  EXPECT_FALSE(bannerShows());
}

TEST_F(LessonResumeTest, AFinishedOrNearlyFinishedLessonStartsFromTheBeginning) {
  auto record = firstLesson();
  const std::string url = videoURL(record);
  const double length = floatValueOf(record->objectForKey("playTime"));
  ASSERT_GT(length, 10);

  LessonProgressStore::shared().recordPosition(url, length - 2, length);
  ASSERT_TRUE(LessonProgressStore::shared().save());
  open(record);
  EXPECT_FALSE(bannerShows());
  waitUntilPlayingPast(0.2);
  EXPECT_LT(position(), 5);
  EXPECT_TRUE(onDisk(url)->finished);
}

TEST_F(LessonResumeTest, PlayingSavesEveryFewSecondsOnBackgroundOnLeavingAndAtTheEnd) {
  auto record = firstLesson();
  const std::string url = videoURL(record);
  open(record);
  waitUntilPlayingPast(1.0);
  EXPECT_FALSE(onDisk(url));
  // Five seconds of the UI's clock while playing: a save on its own.
  pump(LessonResume::kSaveInterval + 0.2);
  auto periodic = onDisk(url);
  ASSERT_TRUE(periodic);
  EXPECT_GE(periodic->position, 1.0);

  ASSERT_TRUE(wait([&] { return position() > periodic->position + 1; }, 15));
  Application::sharedApplication().enterBackground();
  auto background = onDisk(url);
  ASSERT_TRUE(background);
  EXPECT_GT(background->position, periodic->position + 1);
  Application::sharedApplication().enterForeground();
  Application::sharedApplication().becomeActive();

  // The end of the lesson marks it finished.
  player->seekToSeconds(streamLength() - 1.0);
  ASSERT_TRUE(wait(
      [&] {
        auto entry = onDisk(url);
        return entry && entry->finished;
      },
      20));
  EXPECT_NEAR(onDisk(url)->fraction(), 1.0, 1e-9);
}

TEST_F(LessonResumeTest, LeavingBeforeTheStreamIsReadyKeepsTheOldPlace) {
  auto record = firstLesson();
  const std::string url = videoURL(record);
  LessonProgressStore::shared().recordPosition(url, 20, 0);
  ASSERT_TRUE(LessonProgressStore::shared().save());
  open(record);
  // The item's readiness comes through the run loop, which has not run.
  navigation->popViewControllerAnimated(false);
  RunLoop::main().runUntilIdle();
  EXPECT_DOUBLE_EQ(onDisk(url)->position, 20);
}

TEST_F(LessonResumeTest, LeavingThePageKeepsThePlace) {
  auto record = firstLesson();
  const std::string url = videoURL(record);
  open(record);
  waitUntilPlayingPast(2.0);
  const double at = position();
  navigation->popViewControllerAnimated(false);
  auto kept = onDisk(url);
  ASSERT_TRUE(kept);
  EXPECT_GE(kept->position, at - 0.1);
  EXPECT_NEAR(LessonProgressStore::shared().resumePositionForURL(url), kept->position, 1e-3);
}

}  // namespace
}  // namespace lorvane
