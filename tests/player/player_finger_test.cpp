#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "platform/foundation/log.h"
#include "player/time_text.h"
#include "real_lesson_test_support.h"

// The player as a finger meets it: a sample lesson from the sample server on
// the real media layer, touched through the window at 60 reports a second.

namespace lorvane {
namespace {

class PlayerFingerTest : public testing::RealLessonTest {
 protected:
  void SetUp() override {
    RealLessonTest::SetUp();
    startServer();
    open(firstLesson());
    waitUntilPlayingPast(1.0);
    ASSERT_GT(streamLength(), 30) << "a sample lesson lasts well over half a minute";
  }

  ProgressSlider& scrubber() { return overlay().videoScrubber(); }
  // The thumb's left edge in window points.
  double thumbX() { return inWindow(scrubber(), scrubber().thumbView().frame().origin).x; }
  // Waits, in real time only, until no seek of ours is left.
  void waitForSeeks() {
    ASSERT_TRUE(wait([&] { return !player->isSeeking(); }, 15));
  }
  void turnToLandscape() {
    tap(centreInWindow(overlay().fullScreenButton()));
    pump(1.0);
    ASSERT_TRUE(isLandscape(Application::sharedApplication().statusBarOrientation()));
    player->showControls();
    pump(0.4);
  }
};

TEST_F(PlayerFingerTest, TheScrubberThumbStaysUnderTheFingerAndPlaybackResumesOnceTheSeekIsDone) {
  player->showControls();
  scrubber().layoutIfNeeded();
  // Grab the thumb off its centre, drag it right slowly, then a little
  // back, wavering up and down as a thumb does.
  Point grab{thumbX() + 33, centreInWindow(scrubber()).y};
  double offset = grab.x - thumbX();
  fingerDown(grab);
  EXPECT_FALSE(player->isPlaying());
  double worst = 0;
  auto underFinger = [&] { worst = std::max(worst, std::fabs(thumbX() + offset - finger().x)); };
  fingerMove({grab.x + 45, grab.y - 3}, 0.5, underFinger);
  fingerMove({grab.x + 40, grab.y + 2}, 0.2, underFinger);
  EXPECT_LE(worst, 1.0) << "the thumb ran away from the finger";
  // Where the finger is, as a time of the lesson: the thumb's left edge
  // stands at (value x width - 25) in the scrubber.
  double fingerSeconds = scrubber().value() * streamLength();
  double edge = finger().x - offset - inWindow(scrubber(), {0, 0}).x;
  EXPECT_NEAR(fingerSeconds, (edge + 25) / scrubber().bounds().width() * streamLength(), 0.5);
  fingerUp();
  std::string shown = overlay().timeLabel().text();
  EXPECT_EQ(shown.substr(0, shown.find('/')), stringTimeFromSeconds(fingerSeconds));
  // The seek finishes when it finishes; the resume must not wait for more.
  waitForSeeks();
  EXPECT_TRUE(player->isPlaying()) << "resumed as soon as the seek was done";
  EXPECT_NEAR(position(), fingerSeconds, 0.5);
  double resumedAt = position();
  pump(1.0);
  EXPECT_GT(position(), resumedAt + 0.5) << "playing on within a second";
  EXPECT_FALSE(overlay().activityIndicator().isAnimating());
  // After playing on, the thumb follows the video again.
  pump(0.5);
  EXPECT_NEAR(scrubber().value() * streamLength(), position(), 1.0);
}

TEST_F(PlayerFingerTest, ATapOnTheThumbDoesNotStopPlayback) {
  player->showControls();
  scrubber().layoutIfNeeded();
  tap(centreInWindow(scrubber().thumbView()));
  EXPECT_TRUE(player->isPlaying());
  double after = position();
  pump(1.0);
  EXPECT_GT(position(), after + 0.5);
}

TEST_F(PlayerFingerTest, ScrubbingWhilePausedKeepsItPausedAtTheFingersTime) {
  player->showControls();
  tap(centreInWindow(overlay().playPauseButton()));
  ASSERT_FALSE(player->isPlaying());
  scrubber().layoutIfNeeded();
  // The case a user met: paused, a 5-point drag to the left.
  double before = position();
  Point grab = centreInWindow(scrubber().thumbView());
  fingerDown(grab);
  fingerMove({grab.x - 5, grab.y}, 0.2);
  fingerUp();
  waitForSeeks();
  EXPECT_FALSE(player->isPlaying());
  double expected = before - 5 / scrubber().bounds().width() * streamLength();
  EXPECT_NEAR(position(), std::max(0.0, expected), 0.5) << "5 points is 5 points of the travel";
}

TEST_F(PlayerFingerTest, ASwipeSeeksForwardByItsLengthAndNeverBackwards) {
  using Seconds = std::chrono::duration<double>;
  const auto began = std::chrono::steady_clock::now();
  double start = position();
  // A brisk 140-point swipe to the right: 0.3 s, 18 reports.
  Point from = centreInWindow(*player->view());
  from.x -= 70;
  double lowest = start;
  double travelAtBegin = -1;
  // Playback runs on at 1x until the swipe is recognised: how long that
  // took bounds how far past `start` the swipe can have begun.
  double untilRecognised = 0;
  fingerDown(from);
  fingerMove({from.x + 140, from.y}, 0.3, [&] {
    lowest = std::min(lowest, position());
    if (travelAtBegin < 0 && player->progHUD() && player->progHUD()->superview()) {
      travelAtBegin = finger().x - from.x;
      untilRecognised = Seconds(std::chrono::steady_clock::now() - began).count();
    }
  });
  fingerUp();
  const auto lifted = std::chrono::steady_clock::now();
  EXPECT_GE(lowest, start - 0.05) << "a right swipe moved the video back";
  ASSERT_GE(travelAtBegin, 10) << "the swipe was recognised";
  // 1 s per 10 points of the swipe, in whole seconds, from where it began.
  double jump = std::round((140 - travelAtBegin) / 10);
  double swipeBegan = player->preSeconds() - jump;
  EXPECT_GE(swipeBegan, start - 0.1);
  EXPECT_LE(swipeBegan, start + untilRecognised + 0.1);
  EXPECT_LT(jump, 15) << "the distance, not the number of reports, sets the jump";
  waitForSeeks();
  // Once the seek is done it plays on from the target.
  double sinceLifted = Seconds(std::chrono::steady_clock::now() - lifted).count();
  EXPECT_GE(position(), player->preSeconds() - 0.2);
  EXPECT_LE(position(), player->preSeconds() + sinceLifted + 0.2);
  EXPECT_TRUE(player->isPlaying());
  // The indicator showed the target.
  EXPECT_EQ(player->progHUD()->label().text(), stringTimeFromSeconds(player->preSeconds()));
}

TEST_F(PlayerFingerTest, AfterTheEndASwipeBackPlaysOnAndPauseKeepsThePosition) {
  // To the end: scrub close to it and let it play out.
  player->showControls();
  scrubber().layoutIfNeeded();
  Point grab = centreInWindow(scrubber().thumbView());
  fingerDown(grab);
  double end = inWindow(scrubber(), {scrubber().bounds().width() * 0.97 - 25, 0}).x + 25.5;
  fingerMove({end, grab.y}, 0.3);
  fingerUp();
  waitForSeeks();
  ASSERT_TRUE(wait([&] { return player->seekToZeroBeforePlay(); }, 15)) << "played to the end";
  EXPECT_FALSE(player->isPlaying());
  // A long swipe back.
  Point from = centreInWindow(*player->view());
  from.x += 140;
  fingerDown(from);
  fingerMove({from.x - 280, from.y}, 0.5);
  fingerUp();
  EXPECT_FALSE(player->seekToZeroBeforePlay()) << "the seek made the rewind moot";
  waitForSeeks();
  double target = player->preSeconds();
  EXPECT_LT(target, streamLength() - 20);
  EXPECT_TRUE(player->isPlaying());
  pump(0.5);
  tap(centreInWindow(overlay().playPauseButton()));
  EXPECT_FALSE(player->isPlaying());
  pump(0.2);
  EXPECT_GT(position(), target) << "pause kept the place";
  EXPECT_LT(position(), target + 2);
}

TEST_F(PlayerFingerTest, TheSpeedButtonIsTappedWhereItIsDrawnAndTheSpeedHoldsAcrossPauseAndPlay) {
  turnToLandscape();
  Button& speed = overlay().doublePlayButton();
  ASSERT_FALSE(speed.isHidden());
  tap(centreInWindow(speed));
  EXPECT_EQ(*speed.titleForState(ControlStateNormal), "1.5倍");
  EXPECT_EQ(player->videoPlayer()->rate(), 1.5f);
  Button& playPause = overlay().playPauseButton();
  tap(centreInWindow(playPause));
  EXPECT_FALSE(player->isPlaying());
  tap(centreInWindow(playPause));
  ASSERT_TRUE(player->isPlaying());
  EXPECT_EQ(player->videoPlayer()->rate(), 1.5f);
  EXPECT_EQ(*speed.titleForState(ControlStateNormal), "1.5倍");
  // The media itself runs faster than the clock.
  ASSERT_TRUE(wait([&] { return position() > 0; }, 5));
  double from = position();
  pump(2.0);
  EXPECT_GT(position() - from, 2.0 * 1.25) << "plays at one and a half times";
}

TEST_F(PlayerFingerTest, TheUprightVolumeSliderFollowsTheFingerToFullVolume) {
  turnToLandscape();
  tap(centreInWindow(overlay().volumeButton()));
  pump(0.5);
  auto panel = overlay().volumeControlView();
  ASSERT_EQ(panel->alpha(), 1);
  auto slider = panel->volumeSlider();
  slider->setValue(0.2);
  slider->layoutIfNeeded();
  // In the slider's own (turned) coordinates the thumb moves along x.
  Rect thumb = slider->thumbView().frame();
  Point grabLocal{thumb.x() + 20, thumb.midY()};
  double offset = 20;
  fingerDown(inWindow(*slider, grabLocal));
  double worst = 0;
  double atFull = slider->thumbRectForBounds(slider->bounds(), {}, 1.0).x() + offset;
  fingerMove(inWindow(*slider, {atFull - 1, grabLocal.y}), 0.5, [&] {
    Point local = slider->convertPointFromView(finger(), nullptr);
    worst = std::max(worst, std::fabs(slider->thumbView().frame().x() + offset - local.x));
  });
  EXPECT_LE(worst, 1.0) << "the thumb ran away from the finger";
  EXPECT_LT(SystemVolume::shared().volume(), 1.0f) << "no dead zone short of full volume";
  EXPECT_GT(SystemVolume::shared().volume(), 0.98f);
  fingerMove(inWindow(*slider, {atFull, grabLocal.y}), 0.05);
  EXPECT_FLOAT_EQ(SystemVolume::shared().volume(), 1.0f);
  fingerUp();
  EXPECT_TRUE(player->isPlaying()) << "the volume is not playback";
}

TEST_F(PlayerFingerTest, AVolumeSwipeInPortraitShowsTheLevelAndLeavesAPausedVideoPaused) {
  player->showControls();
  tap(centreInWindow(overlay().playPauseButton()));
  ASSERT_FALSE(player->isPlaying());
  double pausedAt = position();
  // Over the picture, above the bottom bar.
  Point from = centreInWindow(*player->view());
  from.y += 20;
  fingerDown(from);
  fingerMove({from.x + 3, from.y - 60}, 0.3);
  auto level = player->volumeLevelView();
  ASSERT_TRUE(level);
  EXPECT_EQ(level->alpha(), 1);
  EXPECT_FALSE(level->isHidden());
  EXPECT_EQ(level->window(), window.get()) << "shown on screen";
  // 50 points of travel after the 10 that began the pan: a third louder.
  EXPECT_NEAR(SystemVolume::shared().volume(), 0.5 + 50.0 / 150, 0.05);
  EXPECT_EQ(level->levelText(),
            std::to_string(std::lround(SystemVolume::shared().volume() * 100)) + "%");
  fingerUp();
  pump(1.0);
  EXPECT_FALSE(player->isPlaying());
  EXPECT_NEAR(position(), pausedAt, 0.05);
  EXPECT_EQ(level->presentationAlpha(), 0);
}

}  // namespace
}  // namespace lorvane
