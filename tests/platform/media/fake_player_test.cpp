#include <gtest/gtest.h>

#include "media_test_support.h"
#include "platform/foundation/notification_center.h"
#include "support/media/fake_player.h"

namespace lorvane {
namespace {

using testing::FakePlayer;
using testing::FakePlayerFactory;
using testing::FakePlayerItem;

class FakePlayerTest : public testing::MediaTest {};

TEST_F(FakePlayerTest, ScriptedReportsReachObserversOnTheMainLoop) {
  FakePlayerFactory factory;
  auto item = factory.playerItemWithURL("http://example.com/lesson.mp4");
  auto player = factory.playerWithPlayerItem(item);
  ASSERT_EQ(factory.lastItem(), item);
  ASSERT_EQ(factory.lastPlayer(), player);
  EXPECT_EQ(player->currentItem(), item);

  std::vector<std::pair<std::string, double>> reports;
  const void* reporter = nullptr;
  for (const char* key : {kStatusKey, kPlaybackBufferEmptyKey, kPlaybackLikelyToKeepUpKey}) {
    item->addObserver(key, [&](const KeyValueChange& c) {
      reporter = c.object;
      reports.emplace_back(c.key, c.doubleValue());
    });
  }
  auto fake = factory.lastItem();
  fake->setStatus(PlayerItemStatus::ReadyToPlay);
  fake->setPlaybackBufferEmpty(false);
  fake->setPlaybackLikelyToKeepUp(true);
  EXPECT_TRUE(reports.empty());
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(reports,
            (std::vector<std::pair<std::string, double>>{
                {"status", 1}, {"playbackBufferEmpty", 0}, {"playbackLikelyToKeepUp", 1}}));
  EXPECT_EQ(reporter, item->notificationObject());
  EXPECT_EQ(fake->observerCount(), 3u);
}

TEST_F(FakePlayerTest, RecordsCallsAndMovesTimeOnlyWhenTold) {
  auto item = std::make_shared<FakePlayerItem>("file:///lesson.mp4");
  item->setDurationSeconds(318);
  FakePlayer player(item);
  std::vector<double> ticks;
  auto token = player.addPeriodicTimeObserverForInterval(
      MediaTime::makeWithSeconds(1.0, 1000000000),
      [&](const MediaTime& t) { ticks.push_back(t.seconds()); });
  player.play();
  player.setRate(1.5f);
  player.pause();
  EXPECT_EQ(player.playCount(), 1);
  EXPECT_EQ(player.pauseCount(), 1);
  EXPECT_EQ(player.rateHistory(), (std::vector<float>{1.0f, 1.5f, 0.0f}));

  player.setRate(1.0f);
  player.advance(2.5);
  EXPECT_DOUBLE_EQ(player.currentTime().seconds(), 2.5);
  RunLoop::main().runUntilIdle();
  ASSERT_FALSE(ticks.empty());
  EXPECT_DOUBLE_EQ(ticks.back(), 2.5);

  bool finished = false;
  player.seekToTime(MediaTime::makeWithSeconds(159, 1000000000), [&](bool f) { finished = f; });
  EXPECT_DOUBLE_EQ(player.currentTime().seconds(), 159);
  ASSERT_EQ(player.seeks().size(), 1u);
  EXPECT_FALSE(player.seeks()[0].completed);
  player.completeSeeks();
  RunLoop::main().runUntilIdle();
  EXPECT_TRUE(finished);

  bool ended = false;
  const int self = 0;
  NotificationCenter::defaultCenter().addObserver(&self, kPlayerItemDidPlayToEndTimeNotification,
                                                  item->notificationObject(),
                                                  [&](const Notification&) { ended = true; });
  player.playToEnd();
  RunLoop::main().runUntilIdle();
  EXPECT_TRUE(ended);
  EXPECT_EQ(player.rate(), 0.0f);
  EXPECT_DOUBLE_EQ(player.currentTime().seconds(), 318);
  NotificationCenter::defaultCenter().removeObserver(&self);

  player.removeTimeObserver(token);
  EXPECT_EQ(player.timeObserverCount(), 0u);
  player.replaceCurrentItemWithPlayerItem(nullptr);
  EXPECT_EQ(player.currentTime().seconds(), 0.0);
}

}  // namespace
}  // namespace lorvane
