#include "platform/foundation/run_loop.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"

namespace lorvane {
namespace {

class RunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RunLoop::main().bindToCurrentThread();
    RunLoop::main().runUntilIdle();
  }
  void TearDown() override { RunLoop::main().runUntilIdle(); }
  ScopedManualClock clock_;
  RunLoop& loop_ = RunLoop::main();
};

TEST_F(RunLoopTest, PostedTasksRunInOrderIncludingOnesPostedWhileRunning) {
  std::vector<int> order;
  loop_.post([&] {
    order.push_back(1);
    loop_.post([&] { order.push_back(3); });
  });
  loop_.post([&] { order.push_back(2); });
  loop_.runUntilIdle();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST_F(RunLoopTest, TaskPostedFromAnotherThreadWakesAWaitingLoop) {
  std::atomic<bool> ran{false};
  std::thread worker([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop_.post([&] { ran = true; });
  });
  EXPECT_TRUE(loop_.runUntil([&] { return ran.load(); }, 5.0));
  worker.join();
  EXPECT_FALSE(isMainThread() == false);
}

TEST_F(RunLoopTest, TimersFireAtTheirOwnTimesInOrderWhileTheClockAdvances) {
  std::vector<std::pair<std::string, double>> fired;
  const double start = Clock::shared().now();
  auto record = [&](std::string name) {
    return [&, name](Timer&) { fired.emplace_back(name, Clock::shared().now() - start); };
  };
  auto late = Timer::scheduledTimer(2.0, false, record("late"));
  auto early = Timer::scheduledTimer(0.5, false, record("early"));
  loop_.advance(1.0);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].first, "early");
  EXPECT_DOUBLE_EQ(fired[0].second, 0.5);
  EXPECT_FALSE(early->isValid());
  EXPECT_TRUE(late->isValid());
  loop_.advance(1.0);
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_EQ(fired[1].first, "late");
  EXPECT_DOUBLE_EQ(fired[1].second, 2.0);
}

TEST_F(RunLoopTest, RepeatingTimerKeepsItsCadenceUntilInvalidated) {
  int count = 0;
  auto timer = Timer::scheduledTimer(0.25, true, [&](Timer& t) {
    if (++count == 5) t.invalidate();
  });
  loop_.advance(1.0);
  EXPECT_EQ(count, 4);
  EXPECT_TRUE(timer->isValid());
  loop_.advance(10.0);
  EXPECT_EQ(count, 5);
  EXPECT_FALSE(timer->isValid());
}

TEST_F(RunLoopTest, ZeroIntervalRepeatingTimerDoesNotSpinTheLoop) {
  int count = 0;
  auto timer = Timer::scheduledTimer(0, true, [&](Timer&) { ++count; });
  loop_.runUntilIdle();
  EXPECT_LE(count, 1);
  timer->invalidate();
}

TEST_F(RunLoopTest, TimerScheduledByATimerFiresWithinTheSameAdvance) {
  std::vector<double> times;
  const double start = Clock::shared().now();
  auto first = Timer::scheduledTimer(1.0, false, [&](Timer&) {
    times.push_back(Clock::shared().now() - start);
    Timer::scheduledTimer(0.5, false,
                          [&](Timer&) { times.push_back(Clock::shared().now() - start); });
  });
  loop_.advance(3.0);
  EXPECT_EQ(times, (std::vector<double>{1.0, 1.5}));
}

TEST_F(RunLoopTest, DelayedCallsAreCancelledByTargetOperationAndArgument) {
  int target = 0;
  int otherTarget = 0;
  int argument = 0;
  std::vector<std::string> ran;
  loop_.performAfterDelay(&target, "hide", nullptr, 3.0, [&] { ran.push_back("hide"); });
  loop_.performAfterDelay(&target, "hide", &argument, 3.0, [&] { ran.push_back("hide-arg"); });
  loop_.performAfterDelay(&target, "show", nullptr, 3.0, [&] { ran.push_back("show"); });
  loop_.performAfterDelay(&otherTarget, "hide", nullptr, 3.0, [&] { ran.push_back("other"); });
  EXPECT_TRUE(loop_.hasPendingPerformRequest(&target, "hide"));

  loop_.cancelPreviousPerformRequests(&target, "hide", nullptr);
  loop_.advance(3.0);
  EXPECT_EQ(ran, (std::vector<std::string>{"hide-arg", "show", "other"}));
  EXPECT_FALSE(loop_.hasPendingPerformRequest(&target, "hide"));
}

TEST_F(RunLoopTest, CancellingEverythingForATargetLeavesOthersAlone) {
  int target = 0;
  int other = 0;
  int ran = 0;
  loop_.performAfterDelay(&target, "a", nullptr, 1.0, [&] { ran += 1; });
  loop_.performAfterDelay(&target, "b", nullptr, 1.0, [&] { ran += 10; });
  loop_.performAfterDelay(&other, "a", nullptr, 1.0, [&] { ran += 100; });
  loop_.cancelPreviousPerformRequests(&target);
  loop_.advance(2.0);
  EXPECT_EQ(ran, 100);
}

TEST_F(RunLoopTest, RestartingADelayedCallPushesItBack) {
  int target = 0;
  int ran = 0;
  loop_.performAfterDelay(&target, "hide", nullptr, 3.0, [&] { ++ran; });
  loop_.advance(2.0);
  loop_.cancelPreviousPerformRequests(&target, "hide", nullptr);
  loop_.performAfterDelay(&target, "hide", nullptr, 3.0, [&] { ++ran; });
  loop_.advance(2.0);
  EXPECT_EQ(ran, 0);
  loop_.advance(1.0);
  EXPECT_EQ(ran, 1);
}

TEST(RunLoopRealClockTest, AdvanceNeedsAManualClock) {
  EXPECT_THROW(RunLoop::main().advance(1.0), Exception);
}

TEST(RunLoopRealClockTest, PerformOnMainThreadWaitsForTheMainLoop) {
  RunLoop::main().bindToCurrentThread();
  std::atomic<bool> done{false};
  int value = 0;
  std::thread worker([&] {
    performOnMainThread([&] { value = 42; }, true);
    done = true;
  });
  EXPECT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 5.0));
  worker.join();
  EXPECT_EQ(value, 42);
}

}  // namespace
}  // namespace lorvane
