#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/run_loop.h"
#include "player/seek_queue.h"
#include "support/media/fake_player.h"

namespace lorvane {
namespace {

using testing::FakePlayer;
using testing::FakePlayerItem;

class SeekQueueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunLoop::main().bindToCurrentThread();
    player = std::make_shared<FakePlayer>(std::make_shared<FakePlayerItem>("http://a"));
    queue.setSettledHandler([this] { ++settled; });
  }
  void finishSeeks(bool finished = true) {
    player->completeSeeks(finished);
    RunLoop::main().runUntilIdle();
  }
  static MediaTime at(double seconds) { return MediaTime::makeWithSeconds(seconds, 1000); }
  std::vector<double> sought() const {
    std::vector<double> targets;
    for (const auto& seek : player->seeks()) targets.push_back(seek.time.seconds());
    return targets;
  }

  std::shared_ptr<FakePlayer> player;
  SeekQueue queue;
  int settled = 0;
};

TEST_F(SeekQueueTest, OneSeekInFlightAndOnlyTheLatestWaiting) {
  queue.seekTo(player, at(5));
  queue.seekTo(player, at(6));
  queue.seekTo(player, at(7));
  EXPECT_TRUE(queue.isBusy());
  EXPECT_DOUBLE_EQ(queue.latestTargetSeconds(), 7);
  EXPECT_EQ(sought(), (std::vector<double>{5}));
  finishSeeks();
  EXPECT_EQ(sought(), (std::vector<double>{5, 7}));
  EXPECT_EQ(settled, 0);
  // Overtaken or finished, a seek that ends lets the queue go on.
  finishSeeks(false);
  EXPECT_FALSE(queue.isBusy());
  EXPECT_TRUE(std::isnan(queue.latestTargetSeconds()));
  EXPECT_EQ(settled, 1);
  EXPECT_EQ(queue.issuedCount(), 2u);
}

TEST_F(SeekQueueTest, AfterAResetOldCompletionsSettleNothing) {
  queue.seekTo(player, at(5));
  queue.seekTo(player, at(9));
  queue.reset();
  EXPECT_FALSE(queue.isBusy());
  finishSeeks();
  EXPECT_EQ(sought(), (std::vector<double>{5})) << "the waiting target was forgotten";
  EXPECT_EQ(settled, 0);
  // A new seek starts at once and settles on its own completion.
  queue.seekTo(player, at(3));
  EXPECT_EQ(sought(), (std::vector<double>{5, 3}));
  finishSeeks();
  EXPECT_EQ(settled, 1);
}

TEST_F(SeekQueueTest, AnotherPlayerStartsAfreshAndADeadQueueIsNeverCalled) {
  auto other = std::make_shared<FakePlayer>(std::make_shared<FakePlayerItem>("http://b"));
  queue.seekTo(player, at(5));
  queue.seekTo(other, at(8));
  ASSERT_EQ(other->seeks().size(), 1u);
  finishSeeks();  // the first player's seek no longer counts
  EXPECT_TRUE(queue.isBusy());
  EXPECT_EQ(settled, 0);
  {
    SeekQueue shortLived;
    shortLived.setSettledHandler([this] { settled += 100; });
    shortLived.seekTo(other, at(1));
  }
  other->completeSeeks();
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(settled, 1) << "only the living queue settled";
}

}  // namespace
}  // namespace lorvane
