#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <mutex>

#include "media_test_support.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/media_error.h"
#include "platform/media/player.h"
#include "platform/media/player_layer.h"
#include "platform/media/system_volume.h"
#include "support/media/test_media.h"

namespace lorvane {
namespace {

using testing::ClipSpec;
using testing::makeClip;

constexpr double kFrame = 1.0 / 25;

double wallNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Watches one item and its player the way the player controller does.
struct Watcher {
  std::vector<std::int64_t> statuses;
  std::vector<bool> likely;
  std::vector<bool> empty;
  std::vector<double> rates;
  TimeRanges lastRanges;
  bool allOnMain = true;

  void watch(PlayerItemInterface& item, PlayerInterface& player) {
    item.addObserver(kStatusKey, [this](const KeyValueChange& c) {
      note();
      statuses.push_back(c.integerValue());
    });
    item.addObserver(kPlaybackLikelyToKeepUpKey, [this](const KeyValueChange& c) {
      note();
      likely.push_back(c.boolValue());
    });
    item.addObserver(kPlaybackBufferEmptyKey, [this](const KeyValueChange& c) {
      note();
      empty.push_back(c.boolValue());
    });
    item.addObserver(kLoadedTimeRangesKey, [this](const KeyValueChange& c) {
      note();
      lastRanges = c.timeRangesValue();
    });
    player.addObserver(kRateKey, [this](const KeyValueChange& c) {
      note();
      rates.push_back(c.doubleValue());
    });
  }
  void note() { allOnMain = allOnMain && isMainThread(); }
  bool ready() const {
    return !statuses.empty() &&
           statuses.back() == static_cast<std::int64_t>(PlayerItemStatus::ReadyToPlay);
  }
  bool failed() const {
    return !statuses.empty() &&
           statuses.back() == static_cast<std::int64_t>(PlayerItemStatus::Failed);
  }
  bool likelyNow() const { return !likely.empty() && likely.back(); }
};

class PlayerTest : public testing::MediaTest {
 protected:
  std::shared_ptr<Player> open(const std::string& path, Watcher& watcher) {
    auto item = PlayerItem::playerItemWithURL(path);
    auto player = std::make_shared<Player>();
    watcher.watch(*item, *player);
    player->replaceCurrentItemWithPlayerItem(item);
    return player;
  }
  std::shared_ptr<Player> openReady(const std::string& path, Watcher& watcher) {
    EXPECT_FALSE(path.empty()) << "ffmpeg could not make the clip";
    auto player = open(path, watcher);
    EXPECT_TRUE(waitFor([&] { return watcher.ready() && watcher.likelyNow(); }));
    return player;
  }
  static double seconds(const PlayerInterface& player) { return player.currentTime().seconds(); }
};

TEST_F(PlayerTest, RatesAreKeptPlayableAndReported) {
  Player player;
  std::vector<double> reports;
  player.addObserver(kRateKey,
                     [&](const KeyValueChange& c) { reports.push_back(c.doubleValue()); });
  player.setRate(1.5f);
  player.setRate(1.5f);  // no change, no report
  player.setRate(0.1f);
  player.setRate(NAN);
  player.setRate(9.0f);
  player.setRate(-2.0f);
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(reports, (std::vector<double>{1.5, 0.5, 4.0, 0.0}));
  EXPECT_EQ(player.rate(), 0.0f);
  EXPECT_EQ(player.currentItem(), nullptr);
  EXPECT_EQ(player.currentTime(), MediaTime::zero());
  bool finished = true;
  player.seekToTime(MediaTime::makeWithSeconds(3, 600), [&](bool f) { finished = f; });
  RunLoop::main().runUntilIdle();
  EXPECT_FALSE(finished) << "no item, nothing to seek";
}

TEST_F(PlayerTest, ItemBecomesReadyShowsItsFirstPictureAndPlays) {
  Watcher watcher;
  auto player = open(makeClip({}), watcher);
  auto item = player->currentItem();
  EXPECT_EQ(item->status(), PlayerItemStatus::Unknown);
  EXPECT_FALSE(item->duration().isValid());
  ASSERT_TRUE(waitFor([&] { return watcher.ready(); }));
  EXPECT_EQ(item->status(), PlayerItemStatus::ReadyToPlay);
  EXPECT_NEAR(item->duration().seconds(), 2.0, 0.1);
  EXPECT_EQ(player->status(), PlayerStatus::ReadyToPlay);
  ASSERT_TRUE(waitFor([&] { return watcher.likelyNow(); }));
  EXPECT_TRUE(item->isPlaybackLikelyToKeepUp());
  EXPECT_FALSE(item->isPlaybackBufferEmpty());

  // The first picture shows while still paused, as I420 for the renderer.
  auto layer = PlayerLayer::playerLayerWithPlayer(player);
  ASSERT_TRUE(waitFor([&] { return layer->isReadyForDisplay(); }));
  auto frame = layer->currentFrame();
  EXPECT_EQ(frame->width, 320);
  EXPECT_EQ(frame->height, 180);
  EXPECT_NEAR(frame->presentationTime, 0.0, 1e-6);
  EXPECT_GE(frame->strides[0], 320);
  EXPECT_GE(frame->strides[1], 160);
  EXPECT_GE(frame->planes[0].size(), static_cast<std::size_t>(frame->strides[0]) * 180);
  EXPECT_GE(frame->planes[2].size(), static_cast<std::size_t>(frame->strides[2]) * 90);
  EXPECT_EQ(layer->videoRectForBounds(320, 176).height, 176);
  EXPECT_EQ(seconds(*player), 0.0) << "a paused player does not move";

  std::vector<double> ticks;
  bool ticksOnMain = true;
  auto token = player->addPeriodicTimeObserverForInterval(
      MediaTime::makeWithSeconds(0.25, 1000000000), [&](const MediaTime& t) {
        ticksOnMain = ticksOnMain && isMainThread();
        ticks.push_back(t.seconds());
      });
  player->play();
  EXPECT_EQ(player->rate(), 1.0f);
  ASSERT_TRUE(waitFor([&] { return seconds(*player) >= 0.8; }));
  EXPECT_GT(layer->currentFrame()->serial, frame->serial);
  EXPECT_GT(layer->currentFrame()->presentationTime, 0.5);
  player->removeTimeObserver(token);
  RunLoop::main().runUntilIdle();
  const std::size_t count = ticks.size();
  // About one tick per quarter second, in order, on the main thread.
  EXPECT_GE(count, 3u);
  EXPECT_LE(count, 8u);
  EXPECT_TRUE(std::is_sorted(ticks.begin(), ticks.end()));
  EXPECT_TRUE(ticksOnMain);
  spin(0.3);
  EXPECT_EQ(ticks.size(), count) << "a removed observer hears nothing more";

  player->pause();
  const double pausedAt = seconds(*player);
  spin(0.2);
  EXPECT_NEAR(seconds(*player), pausedAt, 0.03);
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(watcher.rates, (std::vector<double>{1.0, 0.0}));
  ASSERT_FALSE(watcher.lastRanges.empty());
  EXPECT_NEAR(watcher.lastRanges[0].endSeconds(), 2.0, 0.1) << "a short local file loads whole";
  EXPECT_TRUE(watcher.allOnMain);
}

TEST_F(PlayerTest, SeekShowsTheFrameAtItsTarget) {
  Watcher watcher;
  // Key frames a second apart, so a seek must decode forward to its target.
  auto player = openReady(makeClip({.seconds = 3.0}), watcher);
  for (double target : {1.3, 0.52, 2.47, 0.0}) {
    std::vector<bool> results;
    player->seekToTime(MediaTime::makeWithSeconds(target, 600),
                       [&](bool finished) { results.push_back(finished); });
    EXPECT_NEAR(seconds(*player), target, 0.002) << "the time moves to the target at once";
    ASSERT_TRUE(waitFor([&] { return !results.empty(); }));
    EXPECT_TRUE(results[0]);
    auto frame = player->currentVideoFrame();
    ASSERT_TRUE(frame);
    EXPECT_LE(frame->presentationTime, target + 1e-3) << target;
    EXPECT_GT(frame->presentationTime, target - kFrame - 1e-3) << target;
    EXPECT_NEAR(seconds(*player), target, 0.002) << "paused: stays at the target";
  }

  // A seek overtaken by another completes with false; the second wins.
  std::vector<std::pair<int, bool>> results;
  player->seekToTime(MediaTime::makeWithSeconds(2.0, 600), [&](bool f) {
    results.push_back({1, f});
  });
  player->seekToTime(MediaTime::makeWithSeconds(1.0, 600), [&](bool f) {
    results.push_back({2, f});
  });
  ASSERT_TRUE(waitFor([&] { return results.size() == 2; }));
  EXPECT_EQ(results[0], (std::pair<int, bool>{1, false}));
  EXPECT_EQ(results[1], (std::pair<int, bool>{2, true}));
  EXPECT_NEAR(player->currentVideoFrame()->presentationTime, 1.0, kFrame);

  // Past the end lands on the end and shows the last picture.
  bool done = false;
  player->seekToTime(MediaTime::makeWithSeconds(99, 1), [&](bool) { done = true; });
  ASSERT_TRUE(waitFor([&] { return done; }));
  EXPECT_NEAR(seconds(*player), 3.0, 0.1);
  EXPECT_GT(player->currentVideoFrame()->presentationTime, 3.0 - 2 * kFrame);

  // Playing on after a seek starts from there.
  player->seekToTime(MediaTime::makeWithSeconds(1.0, 600));
  player->play();
  ASSERT_TRUE(waitFor([&] { return seconds(*player) > 1.3; }));
  EXPECT_LT(seconds(*player), 2.5);
}

TEST_F(PlayerTest, FasterRatesShortenPlayingTime) {
  Watcher watcher;
  auto player = openReady(makeClip({.seconds = 6.0, .width = 160, .height = 90}), watcher);
  player->play();
  ASSERT_TRUE(waitFor([&] { return seconds(*player) > 0.2; }));
  for (float rate : {1.0f, 1.5f, 2.0f}) {
    player->setRate(rate);
    spin(0.15);  // let the new speed settle
    const double media0 = seconds(*player), wall0 = wallNow();
    spin(0.7);
    const double ratio = (seconds(*player) - media0) / (wallNow() - wall0);
    EXPECT_NEAR(ratio / rate, 1.0, 0.15) << "rate " << rate << " moved media at " << ratio;
  }
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(watcher.rates, (std::vector<double>{1.0, 1.5, 2.0}));
  const PlaybackStatistics stats = player->statistics();
  EXPECT_GT(stats.framesPresented, 20u);
  EXPECT_LT(stats.maxDrift, 0.1) << "pictures follow the sound";
}

// Zero crossings of one channel give the tone's frequency.
double toneFrequency(const std::vector<float>& left) {
  std::size_t crossings = 0;
  for (std::size_t i = 1; i < left.size(); ++i) {
    if ((left[i - 1] < 0) != (left[i] < 0)) ++crossings;
  }
  return left.empty() ? 0 : crossings / 2.0 / (static_cast<double>(left.size()) / 48000.0);
}

TEST_F(PlayerTest, DoubleSpeedKeepsThePitchAndVolumeScalesTheSamples) {
  Watcher watcher;
  auto player = openReady(makeClip({.seconds = 6.0, .width = 160, .height = 90}), watcher);
  std::mutex mutex;
  std::vector<float> left;
  float peak = 0;
  bool collecting = false;
  player->setAudioTap([&](const float* samples, std::size_t frames, int channels) {
    std::lock_guard lock(mutex);
    if (!collecting) return;
    for (std::size_t i = 0; i < frames; ++i) {
      const float s = samples[i * channels];
      if (s == 0.0f) continue;  // silence between buffers says nothing of the tone
      left.push_back(s);
      peak = std::max(peak, std::fabs(s));
    }
  });
  auto measure = [&](float rate, float volume) {
    SystemVolume::shared().setVolume(volume);
    player->setRate(rate);
    spin(0.2);
    {
      std::lock_guard lock(mutex);
      left.clear();
      peak = 0;
      collecting = true;
    }
    spin(0.5);
    std::lock_guard lock(mutex);
    collecting = false;
    return std::make_pair(toneFrequency(left), peak);
  };
  const float before = SystemVolume::shared().volume();
  auto [normalHz, fullPeak] = measure(1.0f, 1.0f);
  auto [quietHz, quietPeak] = measure(1.0f, 0.25f);
  auto [fastHz, fastPeak] = measure(2.0f, 1.0f);
  player->pause();
  player->setAudioTap(nullptr);
  SystemVolume::shared().setVolume(before);

  EXPECT_NEAR(normalHz, 440, 25);
  EXPECT_NEAR(fastHz, 440, 25) << "twice as fast, same pitch (not 880 Hz)";
  EXPECT_NEAR(quietHz, 440, 25);
  ASSERT_GT(fullPeak, 0.05f);
  EXPECT_GT(fastPeak, 0.05f);
  EXPECT_NEAR(quietPeak / fullPeak, 0.25, 0.03) << quietPeak << " against " << fullPeak;
}

TEST_F(PlayerTest, EndOfItemIsReportedAndPlaybackCanStartAgain) {
  Watcher watcher;
  auto player = openReady(makeClip({.seconds = 1.0}), watcher);
  auto item = player->currentItem();
  std::vector<const void*> ends;
  bool endOnMain = false;
  const int self = 0;
  NotificationCenter::defaultCenter().addObserver(&self, kPlayerItemDidPlayToEndTimeNotification,
                                                  item->notificationObject(),
                                                  [&](const Notification& n) {
                                                    endOnMain = isMainThread();
                                                    ends.push_back(n.object);
                                                  });
  player->play();
  ASSERT_TRUE(waitFor([&] { return !ends.empty(); }, 6.0));
  EXPECT_TRUE(endOnMain);
  EXPECT_EQ(ends[0], item->notificationObject());
  EXPECT_EQ(player->rate(), 0.0f) << "the player stays at the end, paused";
  EXPECT_NEAR(seconds(*player), 1.0, 0.06);
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(watcher.rates, (std::vector<double>{1.0, 0.0}));
  spin(0.2);
  EXPECT_EQ(ends.size(), 1u) << "reported once";

  bool rewound = false;
  player->seekToTime(MediaTime::zero(), [&](bool f) { rewound = f; });
  player->play();
  ASSERT_TRUE(waitFor([&] { return rewound && seconds(*player) > 0.3; }));
  ASSERT_TRUE(waitFor([&] { return ends.size() == 2; }, 6.0));
  NotificationCenter::defaultCenter().removeObserver(&self);
}

TEST_F(PlayerTest, StreamsThatCannotPlayFailCleanly) {
  const std::string text = testing::clipDirectory() + "/not-a-video.mp4";
  std::ofstream(text) << "this is not a video file at all, just some words";
  struct Case {
    std::string url;
    int code;
  };
  for (const Case& c :
       {Case{testing::clipDirectory() + "/missing.mp4", kMediaErrorCannotOpen},
        Case{"", kMediaErrorCannotOpen}, Case{text, kMediaErrorFileFormatNotRecognized}}) {
    Watcher watcher;
    auto player = open(c.url, watcher);
    ASSERT_TRUE(waitFor([&] { return !watcher.statuses.empty(); })) << c.url;
    EXPECT_TRUE(watcher.failed()) << c.url;
    auto item = player->currentItem();
    EXPECT_EQ(item->status(), PlayerItemStatus::Failed);
    ASSERT_TRUE(item->error());
    EXPECT_EQ(item->error()->domain, kMediaErrorDomain);
    EXPECT_EQ(item->error()->code, c.code) << c.url;
    EXPECT_FALSE(item->error()->localizedDescription().empty());

    // The player goes on answering, without an end and without moving.
    bool finished = true;
    bool called = false;
    player->seekToTime(MediaTime::makeWithSeconds(1, 600), [&](bool f) {
      called = true;
      finished = f;
    });
    player->play();
    spin(0.1);
    EXPECT_TRUE(called);
    EXPECT_FALSE(finished);
    EXPECT_EQ(seconds(*player), 0.0);
    EXPECT_EQ(player->currentVideoFrame(), nullptr);

    // A failed item stays failed wherever it goes next.
    player->replaceCurrentItemWithPlayerItem(nullptr);
    auto other = Player::playerWithPlayerItem(item);
    spin(0.1);
    EXPECT_EQ(item->status(), PlayerItemStatus::Failed);
    EXPECT_EQ(watcher.statuses.size(), 1u);
  }
}

TEST_F(PlayerTest, VideoWithoutSoundRunsOnTheRealClock) {
  Watcher watcher;
  auto player = openReady(makeClip({.seconds = 1.0, .audio = false}), watcher);
  bool ended = false;
  const int self = 0;
  NotificationCenter::defaultCenter().addObserver(&self, kPlayerItemDidPlayToEndTimeNotification,
                                                  player->currentItem()->notificationObject(),
                                                  [&](const Notification&) { ended = true; });
  const double wall0 = wallNow();
  player->setRate(2.0f);
  ASSERT_TRUE(waitFor([&] { return ended; }, 5.0));
  const double wall = wallNow() - wall0;
  EXPECT_GT(wall, 0.5 * 0.7);
  EXPECT_LT(wall, 0.5 * 2.0);
  EXPECT_GT(player->currentVideoFrame()->presentationTime, 1.0 - 2 * kFrame);
  NotificationCenter::defaultCenter().removeObserver(&self);
}

TEST_F(PlayerTest, SoundWithoutVideoPlaysAndEnds) {
  Watcher watcher;
  auto player = openReady(makeClip({.seconds = 1.0, .video = false, .container = "m4a"}), watcher);
  bool ended = false;
  const int self = 0;
  NotificationCenter::defaultCenter().addObserver(&self, kPlayerItemDidPlayToEndTimeNotification,
                                                  player->currentItem()->notificationObject(),
                                                  [&](const Notification&) { ended = true; });
  player->play();
  ASSERT_TRUE(waitFor([&] { return seconds(*player) > 0.4; }));
  EXPECT_EQ(player->currentVideoFrame(), nullptr);
  ASSERT_TRUE(waitFor([&] { return ended; }, 5.0));
  EXPECT_NEAR(seconds(*player), 1.0, 0.1);
  NotificationCenter::defaultCenter().removeObserver(&self);
}

TEST_F(PlayerTest, OtherPixelFormatsArriveAsI420) {
  Watcher watcher;
  auto player =
      openReady(makeClip({.seconds = 0.5, .audio = false, .pixelFormat = "yuv444p"}), watcher);
  ASSERT_TRUE(waitFor([&] { return player->currentVideoFrame() != nullptr; }));
  auto frame = player->currentVideoFrame();
  EXPECT_EQ(frame->width, 320);
  EXPECT_GE(frame->strides[1], 160);
  EXPECT_LT(frame->strides[1], 320) << "chroma at half width";
  EXPECT_EQ(frame->planes[1].size(), static_cast<std::size_t>(frame->strides[1]) * 90);
  // testsrc2 is colourful: the chroma planes are not flat grey.
  const auto& u = frame->planes[1];
  EXPECT_NE(*std::min_element(u.begin(), u.end()), *std::max_element(u.begin(), u.end()));
}

TEST_F(PlayerTest, ReplacingTheItemSilencesTheOldOne) {
  Watcher first;
  auto player = openReady(makeClip({.seconds = 1.0}), first);
  auto oldItem = player->currentItem();
  player->play();
  ASSERT_TRUE(waitFor([&] { return seconds(*player) > 0.2; }));

  auto newItem = PlayerItem::playerItemWithURL(makeClip({.seconds = 2.0}));
  Watcher second;
  second.watch(*newItem, *player);
  const std::size_t oldReports = first.likely.size() + first.statuses.size();
  const TimeRanges oldRanges = first.lastRanges;
  player->replaceCurrentItemWithPlayerItem(newItem);
  EXPECT_EQ(player->currentItem(), newItem);
  ASSERT_TRUE(waitFor([&] { return second.ready() && seconds(*player) > 0.3; }));
  EXPECT_NEAR(newItem->duration().seconds(), 2.0, 0.1);
  EXPECT_EQ(player->rate(), 1.0f) << "the rate carries over to the new item";
  EXPECT_EQ(first.likely.size() + first.statuses.size(), oldReports);
  EXPECT_EQ(first.lastRanges, oldRanges);

  // An item belongs to one player at a time.
  auto other = std::make_shared<Player>();
  EXPECT_THROW(other->replaceCurrentItemWithPlayerItem(newItem), Exception);
  Watcher again;
  again.watch(*oldItem, *other);
  other->replaceCurrentItemWithPlayerItem(oldItem);  // free since it was replaced
  other->play();
  ASSERT_TRUE(waitFor([&] { return seconds(*other) > 0.2; }));

  player->replaceCurrentItemWithPlayerItem(nullptr);
  EXPECT_EQ(player->currentItem(), nullptr);
  EXPECT_EQ(seconds(*player), 0.0);
}

}  // namespace
}  // namespace lorvane
