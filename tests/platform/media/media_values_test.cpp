#include <gtest/gtest.h>

#include <cmath>

#include "media_test_support.h"
#include "platform/media/key_value_observing.h"
#include "platform/media/media_time.h"
#include "platform/media/now_playing_info_center.h"
#include "platform/media/periodic_time_observers.h"
#include "platform/media/player_layer.h"
#include "platform/media/system_volume.h"

namespace lorvane {
namespace {

using testing::MediaTest;

TEST(MediaTimeTest, SecondsRoundTripAndSpecialValues) {
  MediaTime t = MediaTime::makeWithSeconds(79.5, 1000000000);
  EXPECT_TRUE(t.isNumeric());
  EXPECT_EQ(t.value, 79500000000LL);
  EXPECT_DOUBLE_EQ(t.seconds(), 79.5);
  // Rounds to the nearest tick of the timescale.
  EXPECT_EQ(MediaTime::makeWithSeconds(1.0 / 3.0, 600).value, 200);
  EXPECT_EQ(MediaTime::makeWithSeconds(-0.0049, 100).value, 0);

  EXPECT_FALSE(MediaTime::invalid().isValid());
  EXPECT_TRUE(std::isnan(MediaTime::invalid().seconds()));
  EXPECT_TRUE(MediaTime::indefinite().isIndefinite());
  EXPECT_TRUE(std::isnan(MediaTime::indefinite().seconds()));
  EXPECT_FALSE(MediaTime::makeWithSeconds(NAN, 600).isValid());
  EXPECT_FALSE(MediaTime::makeWithSeconds(INFINITY, 600).isValid());
  EXPECT_FALSE(MediaTime::makeWithSeconds(1.0, 0).isValid());
  // Too many ticks for 64 bits is not a time.
  EXPECT_FALSE(MediaTime::makeWithSeconds(1e12, 1000000000).isValid());
  EXPECT_EQ(MediaTime::zero().seconds(), 0.0);
}

TEST(MediaTimeTest, ComparesAcrossTimescales) {
  EXPECT_EQ(MediaTime::make(1, 2), MediaTime::make(300, 600));
  EXPECT_LT(compare(MediaTime::make(1, 3), MediaTime::make(334, 1000)), 0);
  EXPECT_GT(compare(MediaTime::make(INT64_MAX / 2, 1000000000), MediaTime::make(1, 1)), 0);
  // Not numeric: after every number; invalid equals only invalid.
  EXPECT_GT(compare(MediaTime::indefinite(), MediaTime::make(1000000, 1)), 0);
  EXPECT_EQ(MediaTime::invalid(), MediaTime::invalid());
  EXPECT_FALSE(MediaTime::invalid() == MediaTime::zero());

  TimeRange range = TimeRange::fromSeconds(2.0, 3.5);
  EXPECT_DOUBLE_EQ(range.startSeconds(), 2.0);
  EXPECT_DOUBLE_EQ(range.endSeconds(), 5.5);
}

class ObservationTest : public MediaTest {};

TEST_F(ObservationTest, ReportsArriveOnTheMainLoopWithTheNewValue) {
  int object = 0;
  ObservationRegistry registry(&object);
  std::vector<KeyValueChange> seen;
  bool onMain = true;
  registry.add("status", [&](const KeyValueChange& c) {
    onMain = onMain && isMainThread();
    seen.push_back(c);
  });
  registry.add("other", [&](const KeyValueChange& c) { seen.push_back(c); });

  bool applied = false;
  std::thread worker([&] { registry.post("status", std::int64_t{1}, [&] { applied = true; }); });
  worker.join();
  EXPECT_TRUE(seen.empty()) << "nothing is delivered before the main loop runs";
  RunLoop::main().runUntilIdle();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_TRUE(applied);
  EXPECT_TRUE(onMain);
  EXPECT_EQ(seen[0].object, &object);
  EXPECT_EQ(seen[0].key, "status");
  EXPECT_EQ(seen[0].integerValue(), 1);
  EXPECT_TRUE(seen[0].boolValue());
}

TEST_F(ObservationTest, RemovedObserversAndDeadRegistriesGetNothing) {
  int object = 0;
  int calls = 0;
  {
    ObservationRegistry registry(&object);
    ObservationToken token = registry.add("rate", [&](const KeyValueChange&) { ++calls; });
    registry.post("rate", 1.0);
    registry.remove(token);  // after the post, before delivery
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(calls, 0);

    registry.add("rate", [&](const KeyValueChange&) { ++calls; });
    registry.post("rate", 2.0);
  }  // the registry dies with a report queued
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(calls, 0);
}

TEST_F(ObservationTest, AnObserverRemovingAnotherStopsItsDelivery) {
  int object = 0;
  ObservationRegistry registry(&object);
  ObservationToken second = 0;
  int secondCalls = 0;
  registry.add("k", [&](const KeyValueChange&) { registry.remove(second); });
  second = registry.add("k", [&](const KeyValueChange&) { ++secondCalls; });
  registry.deliver("k", true);
  EXPECT_EQ(secondCalls, 0);
  EXPECT_EQ(registry.count("k"), 1u);
}

TEST_F(ObservationTest, PeriodicObserversFireOncePerIntervalCrossed) {
  PeriodicTimeObservers observers;
  std::vector<double> ticks;
  TimeObserverToken token =
      observers.add(MediaTime::makeWithSeconds(1.0, 1000000000),
                    [&](const MediaTime& t) { ticks.push_back(t.seconds()); });
  ASSERT_NE(token, 0u);
  for (double t : {0.0, 0.3, 0.9, 1.0, 1.5, 2.2, 2.4, 5.1}) observers.timeAdvanced(t);
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(ticks, (std::vector<double>{0.0, 1.0, 2.2, 5.1}));

  ticks.clear();
  observers.timeJumped(5.2);  // a seek or a start: everyone hears at once
  observers.timeAdvanced(5.9);
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(ticks, (std::vector<double>{5.2}));

  ticks.clear();
  observers.timeAdvanced(7.0);
  EXPECT_TRUE(observers.remove(token));  // queued tick is dropped
  EXPECT_FALSE(observers.remove(token));
  RunLoop::main().runUntilIdle();
  EXPECT_TRUE(ticks.empty());
}

TEST_F(ObservationTest, PeriodicObserverNeedsAPositiveInterval) {
  PeriodicTimeObservers observers;
  auto noop = [](const MediaTime&) {};
  EXPECT_EQ(observers.add(MediaTime::zero(), noop), 0u);
  EXPECT_EQ(observers.add(MediaTime::invalid(), noop), 0u);
  EXPECT_EQ(observers.add(MediaTime::makeWithSeconds(-1, 600), noop), 0u);
  EXPECT_EQ(observers.count(), 0u);
}

TEST_F(ObservationTest, SystemVolumeIsKeptInRangeAndReportsChanges) {
  SystemVolume& volume = SystemVolume::shared();
  const float before = volume.volume();
  std::vector<double> reports;
  ObservationToken token =
      volume.addObserver([&](const KeyValueChange& c) { reports.push_back(c.doubleValue()); });
  MusicPlayerController::applicationMusicPlayer().setVolume(0.5f);
  volume.setVolume(1.7f);
  volume.setVolume(-3.0f);
  volume.setVolume(NAN);   // ignored
  volume.setVolume(0.0f);  // unchanged: no report
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(volume.volume(), 0.0f);
  EXPECT_EQ(reports, (std::vector<double>{0.5, 1.0, 0.0}));
  volume.removeObserver(token);
  volume.setVolume(before);
  RunLoop::main().runUntilIdle();
}

TEST(NowPlayingInfoCenterTest, KeepsTheDictionary) {
  auto& center = NowPlayingInfoCenter::defaultCenter();
  center.setNowPlayingInfo({{kMediaItemPropertyTitle, std::string("第一课 Greetings")}});
  EXPECT_EQ(center.title(), "第一课 Greetings");
  EXPECT_EQ(center.nowPlayingInfo().size(), 1u);
  center.setNowPlayingInfo({{kMediaItemPropertyTitle, 42}});
  EXPECT_EQ(center.title(), "");
  center.setNowPlayingInfo({});
  EXPECT_TRUE(center.nowPlayingInfo().empty());
}

TEST(PlayerLayerTest, GravityPlacesThePicture) {
  // A 16:9 picture in a 320 x 176 portrait slot and a 568 x 320 landscape one.
  VideoRect aspect = PlayerLayer::fit(VideoGravity::ResizeAspect, 320, 176, 640, 360);
  EXPECT_NEAR(aspect.height, 176, 1e-9);
  EXPECT_NEAR(aspect.width, 176 * 16.0 / 9.0, 1e-9);
  EXPECT_NEAR(aspect.x, (320 - aspect.width) / 2, 1e-9);
  EXPECT_EQ(aspect.y, 0);

  VideoRect fill = PlayerLayer::fit(VideoGravity::ResizeAspectFill, 320, 176, 640, 360);
  EXPECT_EQ(fill.width, 320);
  EXPECT_EQ(fill.height, 180);
  EXPECT_EQ(fill.y, -2);

  EXPECT_EQ(PlayerLayer::fit(VideoGravity::Resize, 568, 320, 640, 360),
            (VideoRect{0, 0, 568, 320}));
  // No picture size yet: the whole bounds.
  EXPECT_EQ(PlayerLayer::fit(VideoGravity::ResizeAspect, 100, 50, 0, 0),
            (VideoRect{0, 0, 100, 50}));

  PlayerLayer layer;
  EXPECT_EQ(layer.videoGravity(), VideoGravity::ResizeAspect);
  EXPECT_FALSE(layer.isReadyForDisplay());
  EXPECT_EQ(layer.currentFrame(), nullptr);
  EXPECT_EQ(layer.videoRectForBounds(320, 176), (VideoRect{0, 0, 320, 176}));
}

}  // namespace
}  // namespace lorvane
