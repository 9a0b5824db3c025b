#include <gtest/gtest.h>

#include "platform/foundation/log.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/media_error.h"
#include "platform/media/now_playing_info_center.h"
#include "platform/ui/application.h"
#include "player/play_video_view_controller.h"
#include "player_test_support.h"
#include "support/media/fake_player.h"

namespace lorvane {
namespace {

using testing::FakePlayer;
using testing::FakePlayerFactory;
using testing::FakePlayerItem;
using S = GestureRecognizerState;

// FFmpeg's "connection reset by peer", as a network read reports it.
constexpr int kConnectionReset = -ECONNRESET;

struct DelegateLog : PlayVideoViewControllerDelegate {
  int fullScreen = 0;
  int minimize = 0;
  bool respondsToFullScreenVideo() const override { return true; }
  void fullScreenVideo() override { ++fullScreen; }
  bool respondsToMinimizeVideo() const override { return true; }
  void minimizeVideo() override { ++minimize; }
};

// Counts the player's three notifications.
struct NotificationLog {
  explicit NotificationLog(const void* sender) {
    for (const char* name :
         {kVideoPlayerVideoChangedNotification, kVideoPlayerWillShowControlsNotification,
          kVideoPlayerWillHideControlsNotification}) {
      NotificationCenter::defaultCenter().addObserver(
          this, name, sender, [this](const Notification& n) {
            names.push_back(n.name);
            if (n.name == kVideoPlayerVideoChangedNotification) info = n.userInfo;
          });
    }
  }
  ~NotificationLog() { NotificationCenter::defaultCenter().removeObserver(this); }
  int count(const std::string& name) const {
    return int(std::count(names.begin(), names.end(), name));
  }
  std::vector<std::string> names;
  std::map<std::string, std::any> info;
};

class PlayerControllerTest : public testing::PlayerUiTest {
 protected:
  void SetUp() override {
    PlayerUiTest::SetUp();
    factory = std::make_shared<FakePlayerFactory>();
    controller = std::make_shared<PlayVideoViewController>(factory);
    host = std::make_shared<View>(Rect{0, 0, 320, 568});
    window->addSubview(host);
    controller->view()->setFrame({0, 64, 320, 176});
    host->addSubview(controller->view());
    controller->view()->layoutIfNeeded();
    controller->setDelegate(&delegate);
    controller->setDuration(testing::number(318));
  }
  void TearDown() override {
    controller.reset();
    PlayerUiTest::TearDown();
  }
  VideoControlView& overlay() { return *controller->videoControlView(); }

  void load(bool fullScreen = true, std::string url = "http://lessons/a.mp4") {
    controller->playVideoWithTitle("Greetings", url, fullScreen);
    item = factory->lastItem();
    player = factory->lastPlayer();
    runUntilIdle();
  }
  // Ready, with the stream's length known, and able to keep up.
  void startPlaying(double seconds = 318) {
    item->setDurationSeconds(seconds);
    item->setStatus(PlayerItemStatus::ReadyToPlay);
    item->setPlaybackLikelyToKeepUp(true);
    runUntilIdle();
  }
  std::string normalImage() {
    auto image = overlay().playPauseButton().imageForState(ControlStateNormal);
    return image ? image->name() : "";
  }
  std::string highlightedImage() {
    auto image = overlay().playPauseButton().imageForState(ControlStateHighlighted);
    return image ? image->name() : "";
  }
  double lastSeekSeconds() { return player->seeks().back().time.seconds(); }
  std::vector<double> seekTargets() {
    std::vector<double> targets;
    for (const auto& seek : player->seeks()) targets.push_back(seek.time.seconds());
    return targets;
  }
  // Lets the fake finish every seek, and the ones merged behind them.
  void settleSeeks() {
    for (int i = 0; i < 10 && controller->isSeeking(); ++i) {
      player->completeSeeks();
      runUntilIdle();
    }
  }

  std::shared_ptr<FakePlayerFactory> factory;
  std::shared_ptr<PlayVideoViewController> controller;
  std::shared_ptr<View> host;
  std::shared_ptr<FakePlayerItem> item;
  std::shared_ptr<FakePlayer> player;
  DelegateLog delegate;
};

TEST_F(PlayerControllerTest, ANewVideoShowsAnEmptyClockASpinnerAndThePlayPictures) {
  NotificationLog log(controller.get());
  load(true);
  EXPECT_EQ(overlay().timeLabel().text(), "00:00/00:00");
  EXPECT_EQ(overlay().videoScrubber().value(), 0);
  EXPECT_TRUE(overlay().activityIndicator().isAnimating());
  EXPECT_EQ(normalImage(), "播放-2");
  EXPECT_EQ(highlightedImage(), "播放-1");
  EXPECT_EQ(overlay().titleLabel().text(), "Greetings");
  EXPECT_TRUE(controller->fullScreenModeToggled());
  EXPECT_TRUE(controller->isAlwaysFullscreen());
  // Opened full screen, the bars stay.
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
  EXPECT_EQ(log.count(kVideoPlayerWillHideControlsNotification), 0);
  ASSERT_EQ(log.count(kVideoPlayerVideoChangedNotification), 1);
  EXPECT_EQ(std::any_cast<std::string>(log.info.at("title")), "Greetings");
  EXPECT_EQ(std::any_cast<std::string>(log.info.at("url")), "http://lessons/a.mp4");
  EXPECT_EQ(controller->currentVideoInfo().at("url"), "http://lessons/a.mp4");
  EXPECT_EQ(NowPlayingInfoCenter::defaultCenter().title(), "Greetings");
  EXPECT_EQ(overlay().player(), player);
  EXPECT_EQ(player->playCount(), 0);
  EXPECT_EQ(overlay().doublePlayButton().titleForState(ControlStateNormal), "1.0倍");
}

TEST_F(PlayerControllerTest, ReadyAloneDoesNotStartTheNextKeepUpReportDoes) {
  load();
  item->setDurationSeconds(318);
  item->setStatus(PlayerItemStatus::ReadyToPlay);
  runUntilIdle();
  EXPECT_TRUE(controller->playWhenReady());
  EXPECT_EQ(player->playCount(), 0);
  item->setPlaybackLikelyToKeepUp(false);
  runUntilIdle();
  EXPECT_EQ(player->playCount(), 0);
  item->setPlaybackLikelyToKeepUp(true);
  runUntilIdle();
  EXPECT_EQ(player->playCount(), 1);
  EXPECT_EQ(player->rate(), 1.0f);
  EXPECT_FALSE(controller->playWhenReady());
  EXPECT_FALSE(overlay().activityIndicator().isAnimating());
  EXPECT_EQ(normalImage(), "暂倯-1");
  EXPECT_EQ(highlightedImage(), "暂倯-2");
  // One scrubber observer and one clock observer.
  EXPECT_EQ(player->timeObserverCount(), 2u);
  EXPECT_FALSE(overlay().videoScrubber().isHidden());
  // A further report while playing starts nothing twice.
  item->setPlaybackLikelyToKeepUp(true);
  runUntilIdle();
  EXPECT_EQ(player->playCount(), 1);
}

TEST_F(PlayerControllerTest, NothingStartsWhileTheViewIsNotInASuperview) {
  load();
  controller->view()->removeFromSuperview();
  item->setDurationSeconds(318);
  item->setStatus(PlayerItemStatus::ReadyToPlay);
  item->setPlaybackLikelyToKeepUp(true);
  runUntilIdle();
  controller->playVideo();
  controller->playPauseHandler();
  EXPECT_EQ(player->playCount(), 0);
  EXPECT_EQ(player->timeObserverCount(), 0u);
}

TEST_F(PlayerControllerTest, AnEmptyBufferSpinsAndResumesWhenTheStreamKeepsUpAgain) {
  load();
  startPlaying();
  player->setRate(0);  // the stream ran dry
  item->setPlaybackBufferEmpty(true);
  runUntilIdle();
  EXPECT_TRUE(controller->playerIsBuffering());
  EXPECT_TRUE(overlay().activityIndicator().isAnimating());
  EXPECT_EQ(normalImage(), "播放-2");
  item->setPlaybackBufferEmpty(false);  // falls through without effect
  runUntilIdle();
  EXPECT_TRUE(controller->playerIsBuffering());
  item->setPlaybackLikelyToKeepUp(true);
  runUntilIdle();
  EXPECT_FALSE(controller->playerIsBuffering());
  EXPECT_EQ(player->playCount(), 2);
  EXPECT_FALSE(overlay().activityIndicator().isAnimating());
}

TEST_F(PlayerControllerTest, ScrubbingMergesItsSeeksAndResumesOnceTheLastIsDone) {
  load();
  startPlaying();
  ProgressSlider& scrubber = overlay().videoScrubber();
  scrubber.sendActionsForControlEvents(ControlEventTouchDown);
  EXPECT_FALSE(controller->isPlaying());
  EXPECT_TRUE(controller->restoreVideoPlayStateAfterScrubbing());
  scrubber.setValue(0.5);
  scrubber.sendActionsForControlEvents(ControlEventValueChanged);
  EXPECT_DOUBLE_EQ(controller->preSeconds(), 159);
  ASSERT_FALSE(player->seeks().empty());
  EXPECT_EQ(player->seeks().back().time.timescale, 1000000000);
  EXPECT_DOUBLE_EQ(lastSeekSeconds(), 159);
  EXPECT_EQ(overlay().timeLabel().text(), "02:39/05:18");
  // Two more moves while the first seek runs: only the latest is sought.
  scrubber.setValue(0.75);
  scrubber.sendActionsForControlEvents(ControlEventValueChanged);
  scrubber.setValue(1.0);
  scrubber.sendActionsForControlEvents(ControlEventValueChanged);
  EXPECT_EQ(seekTargets(), (std::vector<double>{159}));
  EXPECT_EQ(overlay().timeLabel().text(), "05:18/05:18") << "the clock shows the finger's time";
  scrubber.sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_FALSE(controller->restoreVideoPlayStateAfterScrubbing());
  EXPECT_TRUE(controller->scrubBuffering());
  EXPECT_TRUE(overlay().activityIndicator().isAnimating());
  EXPECT_FALSE(controller->isPlaying());
  // The keep-up report came long ago; the end of the seeks is enough.
  player->completeSeeks();
  runUntilIdle();
  EXPECT_EQ(seekTargets(), (std::vector<double>{159, 318}));
  EXPECT_FALSE(controller->isPlaying()) << "not before the latest target is reached";
  settleSeeks();
  EXPECT_TRUE(controller->isPlaying());
  EXPECT_FALSE(controller->scrubBuffering());
  EXPECT_FALSE(overlay().activityIndicator().isAnimating());
}

TEST_F(PlayerControllerTest, AScrubWhilePausedStaysPausedAndATouchOfTheThumbKeepsPlaying) {
  load();
  startPlaying();
  ProgressSlider& scrubber = overlay().videoScrubber();
  // A touch that does not move the thumb: playing before, playing after.
  scrubber.sendActionsForControlEvents(ControlEventTouchDown);
  scrubber.sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_TRUE(controller->isPlaying());
  EXPECT_TRUE(player->seeks().empty());
  // Paused, a scrub seeks and stays paused.
  controller->pause();
  scrubber.sendActionsForControlEvents(ControlEventTouchDown);
  scrubber.setValue(0.25);
  scrubber.sendActionsForControlEvents(ControlEventValueChanged);
  scrubber.sendActionsForControlEvents(ControlEventTouchUpOutside);
  settleSeeks();
  EXPECT_FALSE(controller->isPlaying());
  EXPECT_DOUBLE_EQ(lastSeekSeconds(), 79.5);
  EXPECT_FALSE(overlay().activityIndicator().isAnimating());
}

TEST_F(PlayerControllerTest, TheSpeedButtonCyclesRatesAndTitles) {
  load();
  startPlaying();
  controller->pause();
  Button& speed = overlay().doublePlayButton();
  std::vector<std::string> titles;
  std::vector<float> rates;
  for (int i = 0; i < 3; ++i) {
    speed.sendActionsForControlEvents(ControlEventTouchUpInside);
    titles.push_back(*speed.titleForState(ControlStateNormal));
    rates.push_back(player->rate());
  }
  EXPECT_EQ(titles, (std::vector<std::string>{"1.5倍", "2.0倍", "1.0倍"}));
  EXPECT_EQ(rates, (std::vector<float>{1.5f, 2.0f, 1.0f}));
  EXPECT_EQ(speed.tag(), 10);
  // Pressed while paused, it plays at the new speed, and every later start
  // keeps it: play after pause, the replay after the end, after a scrub.
  controller->pause();
  speed.sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(player->rate(), 1.5f);
  EXPECT_EQ(normalImage(), "暂倯-1");
  EXPECT_EQ(controller->playbackSpeed(), 1.5f);
  overlay().playPauseButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(player->rate(), 0.0f);
  overlay().playPauseButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(player->rate(), 1.5f);
  player->playToEnd();
  runUntilIdle();
  overlay().playPauseButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(player->rate(), 1.5f);
  ProgressSlider& scrubber = overlay().videoScrubber();
  scrubber.sendActionsForControlEvents(ControlEventTouchDown);
  scrubber.setValue(0.5);
  scrubber.sendActionsForControlEvents(ControlEventValueChanged);
  scrubber.sendActionsForControlEvents(ControlEventTouchUpInside);
  settleSeeks();
  EXPECT_EQ(player->rate(), 1.5f);
  EXPECT_EQ(speed.tag(), 15);
  EXPECT_EQ(*speed.titleForState(ControlStateNormal), "1.5倍");
}

TEST_F(PlayerControllerTest, TheEndOfTheItemLeavesFullScreenAndThePlayButtonRewinds) {
  load();
  startPlaying();
  player->playToEnd();
  runUntilIdle();
  EXPECT_EQ(delegate.minimize, 1);
  EXPECT_TRUE(controller->seekToZeroBeforePlay());
  EXPECT_EQ(normalImage(), "播放-2");
  int plays = player->playCount();
  overlay().playPauseButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  ASSERT_FALSE(player->seeks().empty());
  EXPECT_EQ(lastSeekSeconds(), 0);
  EXPECT_EQ(player->playCount(), plays + 1);
  EXPECT_FALSE(controller->seekToZeroBeforePlay());
  // The end of a replaced item is not ours any more.
  load(false, "http://lessons/b.mp4");
  auto first = factory->items().front();
  first->postDidPlayToEnd();
  runUntilIdle();
  EXPECT_EQ(delegate.minimize, 1);
}

TEST_F(PlayerControllerTest, AFailedStreamStopsTheSpinnerAndSaysSo) {
  LogCapture logs;
  load();
  item->setStatus(PlayerItemStatus::Failed,
                  Error::make("MediaErrorDomain", 1, "The stream could not be opened"));
  runUntilIdle();
  EXPECT_EQ(controller->videoPlayer(), nullptr);
  EXPECT_TRUE(logs.contains("failed"));
  EXPECT_FALSE(overlay().activityIndicator().isAnimating());
  EXPECT_EQ(item->observerCount(), 0u);
  EXPECT_EQ(player->timeObserverCount(), 0u);
  auto alerts = AlertView::visibleAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  // An error the player cannot place still reads as Chinese to the user;
  // the detail went to the log.
  EXPECT_EQ(alerts[0]->title(), "视频无法播放");
  EXPECT_EQ(alerts[0]->buttonTitleAtIndex(0), "取消");
  EXPECT_EQ(alerts[0]->buttonTitleAtIndex(1), "重试");
  EXPECT_TRUE(logs.contains("The stream could not be opened"));
  alerts[0]->clickButtonAtIndex(0);
  EXPECT_EQ(factory->players().size(), 1u) << "cancel reopens nothing";
  // Without a player every control is harmless.
  overlay().playPauseButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  controller->handlePan(S::Began, {100, 0}, {0, 0});
  controller->handlePan(S::Changed, {100, 0}, {50, 0});
  controller->scrubberIsScrolling();
  controller->syncPlayClock();
  EXPECT_EQ(overlay().timeLabel().text(), "00:00/05:18");
  // A new video makes a new player.
  load(true, "http://lessons/c.mp4");
  EXPECT_EQ(factory->players().size(), 2u);
  EXPECT_NE(controller->videoPlayer(), nullptr);
}

TEST_F(PlayerControllerTest, AStreamThatBreaksWhilePlayingIsReportedAndRetriedWhereItBroke) {
  load();
  startPlaying();
  player->setCurrentTime(42);
  auto broken = [&](const std::shared_ptr<FakePlayerItem>& which) {
    NotificationCenter::defaultCenter().postNotificationName(
        kPlayerItemFailedToPlayToEndTimeNotification, which->notificationObject(),
        {{kPlayerItemFailedToPlayToEndTimeErrorKey,
          std::any(makeStreamError(kMediaErrorContentUnavailable, "Reading stopped short",
                                   kConnectionReset))}});
  };
  broken(item);
  auto alerts = AlertView::visibleAlerts();
  ASSERT_EQ(alerts.size(), 1u);
  EXPECT_EQ(alerts[0]->title(), "网络不可用");
  EXPECT_FALSE(overlay().activityIndicator().isAnimating());
  // A second report of the same trouble does not stack another alert.
  broken(item);
  EXPECT_EQ(AlertView::visibleAlerts().size(), 1u);
  // Retry: the same video again, in the same player, from 42 s.
  alerts[0]->clickButtonAtIndex(1);
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
  auto again = factory->lastItem();
  ASSERT_NE(again, item);
  EXPECT_EQ(again->url(), "http://lessons/a.mp4");
  EXPECT_EQ(factory->players().size(), 1u);
  again->setDurationSeconds(318);
  again->setStatus(PlayerItemStatus::ReadyToPlay);
  again->setPlaybackLikelyToKeepUp(true);
  runUntilIdle();
  ASSERT_FALSE(player->seeks().empty());
  EXPECT_DOUBLE_EQ(lastSeekSeconds(), 42);
  EXPECT_FALSE(controller->isPlaying()) << "plays once it is there";
  settleSeeks();
  EXPECT_TRUE(controller->isPlaying());
  // Another item's breakage is not ours.
  dismissAlerts();
  testing::FakePlayerItem stranger("http://elsewhere");
  NotificationCenter::defaultCenter().postNotificationName(
      kPlayerItemFailedToPlayToEndTimeNotification, stranger.notificationObject());
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
}

TEST_F(PlayerControllerTest, DraggingTheScrubberThumbSeeksAndSettles) {
  load(false);
  startPlaying();
  ProgressSlider& scrubber = overlay().videoScrubber();
  Rect thumb = scrubber.thumbRectForBounds(scrubber.bounds(), {}, 0);
  Point from = scrubber.convertPointToView({thumb.midX(), thumb.midY()}, nullptr);
  drag(from, {from.x + 25, from.y}, 5, 0.02);
  // 25 points of the thumb's 106-point travel.
  EXPECT_NEAR(scrubber.value(), 25.0 / scrubber.bounds().width(), 1e-9);
  EXPECT_FALSE(player->seeks().empty());
  EXPECT_NEAR(controller->preSeconds(), scrubber.value() * 318, 1e-3);
  EXPECT_TRUE(controller->scrubBuffering());
  EXPECT_FALSE(controller->isPlaying());
  EXPECT_TRUE(overlay().activityIndicator().isAnimating());
  // The drag neither tapped nor panned the picture.
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
  EXPECT_EQ(controller->progHUD(), nullptr);
  settleSeeks();
  EXPECT_TRUE(controller->isPlaying());
  EXPECT_NEAR(lastSeekSeconds(), scrubber.value() * 318, 1e-6);
}

TEST_F(PlayerControllerTest, ASecondVideoReplacesTheItemInTheSamePlayer) {
  load();
  auto first = item;
  auto firstPlayer = player;
  load(false, "http://lessons/b.mp4");
  EXPECT_EQ(player, firstPlayer);
  ASSERT_EQ(firstPlayer->replacedItems().size(), 1u);
  EXPECT_EQ(firstPlayer->replacedItems()[0], item);
  EXPECT_EQ(first->observerCount(), 0u);
  EXPECT_EQ(item->observerCount(), 4u);
  EXPECT_EQ(player->observerCount(kExternalPlaybackActiveKey), 1u);
  first->setDurationSeconds(10);
  first->setStatus(PlayerItemStatus::ReadyToPlay);
  first->setPlaybackLikelyToKeepUp(true);
  runUntilIdle();
  EXPECT_FALSE(controller->playWhenReady());
  EXPECT_EQ(player->playCount(), 0);
  startPlaying();
  EXPECT_EQ(player->playCount(), 1);
}

TEST_F(PlayerControllerTest, StartingTwiceKeepsOnePairOfTimeObservers) {
  load();
  startPlaying();
  controller->playVideo();
  controller->playVideo();
  EXPECT_EQ(player->timeObserverCount(), 2u);
}

TEST_F(PlayerControllerTest, NoTimeObserversBeforeTheLengthIsKnown) {
  load();
  item->setStatus(PlayerItemStatus::ReadyToPlay);
  item->setPlaybackLikelyToKeepUp(true);
  runUntilIdle();
  EXPECT_TRUE(controller->isPlaying());
  EXPECT_EQ(player->timeObserverCount(), 0u);
  EXPECT_FALSE(controller->hasTimeObservers());
  item->setDurationSeconds(318);
  controller->playVideo();
  EXPECT_EQ(player->timeObserverCount(), 2u);
}

TEST_F(PlayerControllerTest, TheObserversMoveTheScrubberAndTheClock) {
  load();
  startPlaying();
  player->setCurrentTime(59.7);
  runUntilIdle();
  EXPECT_EQ(overlay().timeLabel().text(), "00:59/05:18");
  player->setCurrentTime(79.5);
  runUntilIdle();
  EXPECT_DOUBLE_EQ(overlay().videoScrubber().value(), 0.25);
  controller->setDuration(testing::text("318"));
  player->setCurrentTime(3600);
  runUntilIdle();
  EXPECT_EQ(overlay().timeLabel().text(), "01:00:00/05:18");
  controller->setDuration(nullptr);
  controller->syncPlayClock();
  EXPECT_EQ(overlay().timeLabel().text(), "01:00:00/00:00");
}

TEST_F(PlayerControllerTest, TimeTexts) {
  EXPECT_EQ(PlayVideoViewController::stringTimeFromSeconds(0), "00:00");
  EXPECT_EQ(PlayVideoViewController::stringTimeFromSeconds(59.7), "00:59");
  EXPECT_EQ(PlayVideoViewController::stringTimeFromSeconds(318), "05:18");
  EXPECT_EQ(PlayVideoViewController::stringTimeFromSeconds(3599), "59:59");
  EXPECT_EQ(PlayVideoViewController::stringTimeFromSeconds(3600), "01:00:00");
  EXPECT_EQ(PlayVideoViewController::stringTimeFromSeconds(90000), "01:00:00");
  EXPECT_EQ(PlayVideoViewController::stringTimeFromSeconds(std::nan("")), "00:00");
}

TEST_F(PlayerControllerTest, BarsHideThreeSecondsAfterTheLastShowWhilePlaying) {
  load(false);
  startPlaying();
  NotificationLog log(controller.get());
  controller->showControls();
  advance(1);
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
  advance(1.5);
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
  // A second show restarts the wait.
  controller->showControls();
  advance(2.9);
  EXPECT_EQ(overlay().headControlBar().alpha(), 1);
  advance(0.2);
  EXPECT_EQ(overlay().headControlBar().alpha(), 0);
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 0);
  EXPECT_EQ(log.count(kVideoPlayerWillShowControlsNotification), 2);
  EXPECT_EQ(log.count(kVideoPlayerWillHideControlsNotification), 1);
  // The fade takes a third of a second.
  advance(1);
  EXPECT_EQ(overlay().bottomControlBar().presentationAlpha(), 0);
  controller->showControls();
  advance(0.1666);
  EXPECT_NEAR(overlay().bottomControlBar().presentationAlpha(), 0.5, 0.15);
  // Paused, the bars stay.
  controller->pause();
  controller->showControls();
  advance(10);
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
}

TEST_F(PlayerControllerTest, FullScreenModeMakesTheStatusBarFollowTheBars) {
  load(false);
  EXPECT_TRUE(controller->fullScreenModeToggled() == false);
  controller->launchFullScreen();
  EXPECT_TRUE(controller->fullScreenModeToggled());
  // Not opened full screen: entering hides the bars, with the status bar
  // only in a landscape-high parent.
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 0);
  EXPECT_FALSE(Application::sharedApplication().isStatusBarHidden());
  controller->showControls();
  host->setFrame({0, 0, 568, 320});
  controller->hideControlsAnimated(true);
  EXPECT_TRUE(Application::sharedApplication().isStatusBarHidden());
  controller->showControls();
  EXPECT_FALSE(Application::sharedApplication().isStatusBarHidden());
  controller->hideControlsAnimated(false);
  EXPECT_TRUE(Application::sharedApplication().isStatusBarHidden());
  // A second launch hides nothing.
  controller->showControls();
  controller->launchFullScreen();
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
}

TEST_F(PlayerControllerTest, AnAnimatedHideFadesTheVolumePanelAndShowDoesNotBringItBack) {
  host->setFrame({0, 0, 568, 320});
  controller->view()->setFrame({0, 0, 568, 320});
  controller->view()->layoutIfNeeded();
  load(false);
  auto panel = overlay().volumeControlView();
  overlay().volumeButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(panel->alpha(), 1);
  advance(0.1665);
  EXPECT_NEAR(panel->presentationAlpha(), 0.5, 0.15);
  advance(0.2);
  controller->hideControlsAnimated(false);
  EXPECT_EQ(panel->alpha(), 1);
  controller->hideControlsAnimated(true);
  EXPECT_EQ(panel->alpha(), 0);
  controller->showControls();
  EXPECT_EQ(panel->alpha(), 0);
  // Pressed twice, it fades in and out again.
  overlay().volumeButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  overlay().volumeButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(panel->alpha(), 0);
}

TEST_F(PlayerControllerTest, TheVolumeSliderSetsTheSystemVolume) {
  load();
  auto slider = overlay().volumeControlView()->volumeSlider();
  EXPECT_FLOAT_EQ(static_cast<float>(slider->value()), 0.5f);
  slider->setValue(0.8);
  slider->sendActionsForControlEvents(ControlEventValueChanged);
  EXPECT_FLOAT_EQ(SystemVolume::shared().volume(), 0.8f);
}

TEST_F(PlayerControllerTest, ASidewaysPanSeeksFromThePlaybackPositionByTheFingersTravel) {
  load();
  startPlaying();
  player->setCurrentTime(10);
  controller->setPreSeconds(100);  // an old target says nothing about now
  controller->handlePan(S::Began, {300, 20}, {0, 0});
  EXPECT_TRUE(player->seeks().empty()) << "no travel, no seek";
  // 1 s per 10 points, in whole seconds; reports that come while a seek
  // runs are merged into the latest.
  for (double travel : {12.0, 27.0, 55.0, 149.0}) {
    controller->handlePan(S::Changed, {250, -40}, {travel, -15});
  }
  EXPECT_EQ(seekTargets(), (std::vector<double>{11}));
  player->completeSeeks();
  runUntilIdle();
  EXPECT_EQ(seekTargets(), (std::vector<double>{11, 25}));
  EXPECT_EQ(player->seeks().back().time.timescale, 1000000);
  ASSERT_TRUE(controller->progHUD());
  EXPECT_EQ(controller->progHUD()->label().text(), "00:25");
  ASSERT_TRUE(controller->progHUD()->HUDImageView().image());
  EXPECT_EQ(controller->progHUD()->HUDImageView().image()->name(), "进(2)");
  EXPECT_EQ(controller->progHUD()->bounds(), (Rect{0, 0, 155, 155}));
  EXPECT_EQ(controller->progHUD()->center(), (Point{160, 88}));
  EXPECT_EQ(overlay().timeLabel().text(), "00:25/05:18");
  EXPECT_EQ(controller->preSeconds(), 25);
  EXPECT_FALSE(controller->isPlaying());
  controller->handlePan(S::Ended, {0, 0}, {149, -15});
  EXPECT_EQ(controller->progHUD()->alpha(), 0);
  EXPECT_FALSE(controller->isPlaying()) << "plays once the target is reached";
  settleSeeks();
  EXPECT_TRUE(controller->isPlaying());
  // The next swipe starts from where the video is now, even backwards.
  player->setCurrentTime(30);
  controller->handlePan(S::Began, {-300, 0}, {0, 0});
  controller->handlePan(S::Changed, {-300, 0}, {-41, 0});
  EXPECT_EQ(lastSeekSeconds(), 26);
  EXPECT_EQ(controller->progHUD()->HUDImageView().image()->name(), "退(2)");
}

TEST_F(PlayerControllerTest, PanSeeksStopAtBothEnds) {
  load();
  startPlaying();
  player->setCurrentTime(2);
  controller->handlePan(S::Began, {-300, 0}, {0, 0});
  controller->handlePan(S::Changed, {-300, 0}, {-300, 0});
  EXPECT_EQ(lastSeekSeconds(), 0);
  EXPECT_EQ(controller->preSeconds(), 0);
  EXPECT_EQ(controller->progHUD()->HUDImageView().image()->name(), "退(2)");
  controller->handlePan(S::Cancelled, {0, 0}, {-300, 0});
  EXPECT_EQ(controller->progHUD()->alpha(), 0);
  settleSeeks();
  player->setCurrentTime(317);
  controller->handlePan(S::Began, {300, 0}, {0, 0});
  controller->handlePan(S::Changed, {300, 0}, {300, 0});
  EXPECT_EQ(lastSeekSeconds(), 318);
  EXPECT_EQ(controller->progHUD()->label().text(), "05:18");
}

TEST_F(PlayerControllerTest, BeforeTheLengthIsKnownAForwardStepGoesNowhere) {
  load();
  player->setCurrentTime(5);
  controller->setPreSeconds(5);
  controller->handlePan(S::Began, {300, 0}, {0, 0});
  controller->handlePan(S::Changed, {300, 0}, {40, 0});
  EXPECT_TRUE(player->seeks().empty());
  EXPECT_EQ(controller->preSeconds(), 5);
  EXPECT_EQ(overlay().timeLabel().text(), "00:05/00:00") << "still where it started";
  ASSERT_TRUE(controller->progHUD());
  EXPECT_EQ(controller->progHUD()->HUDImageView().image()->name(), "进(2)");
  // Backwards still works, and the unknown total shows as 00:00.
  controller->handlePan(S::Changed, {-300, 0}, {-30, 0});
  EXPECT_EQ(lastSeekSeconds(), 2);
  EXPECT_EQ(overlay().timeLabel().text(), "00:02/00:00");
}

TEST_F(PlayerControllerTest, AnUprightPanSetsTheVolumeByTravelAndShowsItsLevel) {
  load();
  startPlaying();
  controller->pause();
  auto slider = overlay().volumeControlView()->volumeSlider();
  // A diagonal first report decides nothing.
  controller->handlePan(S::Began, {100, 100}, {0, 0});
  EXPECT_EQ(controller->volumeLevelView(), nullptr);
  // 150 points from silence to full: 45 points up is 0.3 louder, however
  // many reports carry them.
  for (int i = 1; i <= 9; ++i) controller->handlePan(S::Changed, {10, -200}, {1, -5.0 * i});
  EXPECT_NEAR(SystemVolume::shared().volume(), 0.8, 1e-5);
  EXPECT_NEAR(slider->value(), 0.8, 1e-5);
  // The level shows in portrait, where the volume panel has no room.
  auto level = controller->volumeLevelView();
  ASSERT_TRUE(level);
  EXPECT_EQ(level->superview(), controller->view().get());
  EXPECT_EQ(level->alpha(), 1);
  EXPECT_EQ(level->levelText(), "80%");
  controller->handlePan(S::Changed, {0, -200}, {0, -400});
  EXPECT_FLOAT_EQ(SystemVolume::shared().volume(), 1.0f);
  // Sideways now: still a volume swipe, no seek.
  controller->handlePan(S::Changed, {300, 0}, {200, -400});
  EXPECT_TRUE(player->seeks().empty());
  EXPECT_EQ(controller->progHUD(), nullptr);
  controller->handlePan(S::Changed, {0, 200}, {200, -30});
  EXPECT_NEAR(SystemVolume::shared().volume(), 0.7, 1e-5);
  // Lifting leaves the paused video paused and fades the level out.
  int plays = player->playCount();
  controller->handlePan(S::Ended, {0, 0}, {200, -30});
  EXPECT_FALSE(controller->isPlaying());
  EXPECT_EQ(player->playCount(), plays);
  advance(1);
  EXPECT_EQ(level->presentationAlpha(), 0);
}

TEST_F(PlayerControllerTest, AFingerSwipingAcrossThePictureSeeksForward) {
  load();
  startPlaying();
  player->setCurrentTime(20);
  Point from = host->convertPointToView({60, 150}, nullptr);
  drag(from, {from.x + 200, from.y}, 8, 0.02);
  EXPECT_FALSE(player->seeks().empty());
  // The pan began after the first 25-point step; the other 175 points are
  // 17.5 s, shown in whole seconds.
  EXPECT_EQ(controller->preSeconds(), 38);
  settleSeeks();
  EXPECT_TRUE(controller->isPlaying());  // the pan ended
  EXPECT_DOUBLE_EQ(lastSeekSeconds(), 38);
}

TEST_F(PlayerControllerTest, TapsOnThePictureToggleTheBarsButNotOnTheBars) {
  load(false);
  // Between the head bar and the bottom bar.
  Point picture = host->convertPointToView({160, 150}, nullptr);
  tap(picture);
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 0);
  tap(picture);
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
  NotificationLog log(controller.get());
  // The bottom bar's empty middle and its time label.
  Rect bar = overlay().bottomControlBar().frame();
  tap(overlay().convertPointToView({200, bar.midY()}, nullptr));
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
  EXPECT_TRUE(log.names.empty());
  Rect head = overlay().headControlBar().frame();
  tap(overlay().convertPointToView({160, head.midY()}, nullptr));
  EXPECT_EQ(overlay().bottomControlBar().alpha(), 1);
}

TEST_F(PlayerControllerTest, LeavingTheWindowStopsEveryObservation) {
  load();
  startPlaying();
  EXPECT_EQ(item->observerCount(), 4u);
  host->removeFromSuperview();
  EXPECT_EQ(item->observerCount(), 0u);
  EXPECT_EQ(player->timeObserverCount(), 0u);
  EXPECT_EQ(player->observerCount(kExternalPlaybackActiveKey), 0u);
  player->playToEnd();
  runUntilIdle();
  EXPECT_EQ(delegate.minimize, 0);
}

TEST_F(PlayerControllerTest, WithoutADelegateTheButtonsTellNobody) {
  controller->setDelegate(nullptr);
  load();
  overlay().fullScreenButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  overlay().backButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  controller->setDelegate(&delegate);
  overlay().fullScreenButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  overlay().backButton().sendActionsForControlEvents(ControlEventTouchUpInside);
  EXPECT_EQ(delegate.fullScreen, 1);
  EXPECT_EQ(delegate.minimize, 1);
  PlayVideoViewControllerDelegate silent;  // implements neither
  controller->setDelegate(&silent);
  controller->fullScreenVideo();
  controller->closePlayBack();
}

TEST_F(PlayerControllerTest, TheBufferedFractionFollowsTheLoadedRanges) {
  load();
  item->setLoadedTimeRanges({TimeRange::fromSeconds(0, 100)});
  runUntilIdle();
  EXPECT_EQ(overlay().progressView().progress(), 0);  // length unknown yet
  item->setDurationSeconds(200);
  item->setLoadedTimeRanges({TimeRange::fromSeconds(20, 100), TimeRange::fromSeconds(150, 10)});
  runUntilIdle();
  EXPECT_NEAR(overlay().progressView().progress(), 0.6, 1e-6);
  EXPECT_NEAR(controller->availableDuration(), 120, 1e-4);
}

}  // namespace
}  // namespace lorvane
