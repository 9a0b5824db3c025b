#include "platform/foundation/operation_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/foundation/error.h"

namespace lorvane {
namespace {

using namespace std::chrono_literals;

TEST(OperationQueueTest, NeverRunsMoreThanTheMaximumAtOnce) {
  OperationQueue queue;
  queue.setMaxConcurrentOperationCount(2);
  std::atomic<int> running{0};
  std::atomic<int> peak{0};
  std::atomic<int> done{0};
  for (int i = 0; i < 8; ++i) {
    queue.addOperationWithBlock([&] {
      int now = ++running;
      int seen = peak.load();
      while (now > seen && !peak.compare_exchange_weak(seen, now)) {
      }
      std::this_thread::sleep_for(5ms);
      --running;
      ++done;
    });
  }
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(done.load(), 8);
  EXPECT_EQ(peak.load(), 2);
  EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueueTest, SuspendedQueueStartsNothingThenRunsByPriority) {
  OperationQueue queue;
  queue.setMaxConcurrentOperationCount(1);
  queue.setSuspended(true);
  std::mutex mutex;
  std::vector<int> order;
  auto make = [&](int id, int priority) {
    auto op = std::make_shared<BlockOperation>([&, id] {
      std::lock_guard lock(mutex);
      order.push_back(id);
    });
    op->setQueuePriority(priority);
    return op;
  };
  queue.addOperation(make(1, Operation::kNormal));
  queue.addOperation(make(2, Operation::kVeryHigh));
  queue.addOperation(make(3, Operation::kNormal));
  queue.addOperation(make(4, Operation::kLow));
  std::this_thread::sleep_for(20ms);
  EXPECT_EQ(queue.operationCount(), 4u);
  EXPECT_TRUE(order.empty());
  queue.setSuspended(false);
  queue.waitUntilAllOperationsAreFinished();
  EXPECT_EQ(order, (std::vector<int>{2, 1, 3, 4}));
}

TEST(OperationQueueTest, DependenciesHoldBackAnOperationAcrossQueues) {
  OperationQueue first;
  OperationQueue second;
  first.setSuspended(true);
  std::atomic<bool> dependencyRan{false};
  std::atomic<bool> sawDependency{false};
  auto dependency = std::make_shared<BlockOperation>([&] { dependencyRan = true; });
  auto dependent = std::make_shared<BlockOperation>([&] { sawDependency = dependencyRan.load(); });
  dependent->addDependency(dependency);
  second.addOperation(dependent);
  first.addOperation(dependency);
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(dependent->isFinished());
  EXPECT_FALSE(dependent->isReady());
  first.setSuspended(false);
  dependent->waitUntilFinished();
  EXPECT_TRUE(sawDependency.load());
}

TEST(OperationQueueTest, CancelledOperationFinishesWithoutRunning) {
  OperationQueue queue;
  queue.setSuspended(true);
  std::atomic<bool> ran{false};
  std::atomic<bool> completed{false};
  auto op = std::make_shared<BlockOperation>([&] { ran = true; });
  op->setCompletionBlock([&] { completed = true; });
  queue.addOperation(op);
  queue.cancelAllOperations();
  queue.setSuspended(false);
  op->waitUntilFinished();
  EXPECT_TRUE(op->isCancelled());
  EXPECT_FALSE(ran.load());
  // The completion block runs just after the operation reports finished.
  for (int i = 0; i < 500 && !completed; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(completed.load());
}

// Stays executing after start() returns, until told to finish.
class ManualOperation : public Operation {
 public:
  bool isConcurrent() const override { return true; }
  void start() override {
    setExecuting(true);
    started = true;
  }
  void finish() { setFinished(); }
  std::atomic<bool> started{false};
};

TEST(OperationQueueTest, ConcurrentOperationHoldsItsSlotUntilItFinishes) {
  OperationQueue queue;
  queue.setMaxConcurrentOperationCount(1);
  auto first = std::make_shared<ManualOperation>();
  auto second = std::make_shared<ManualOperation>();
  queue.addOperation(first);
  queue.addOperation(second);
  for (int i = 0; i < 200 && !first->started; ++i) std::this_thread::sleep_for(1ms);
  ASSERT_TRUE(first->started.load());
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(first->isExecuting());
  EXPECT_FALSE(second->started.load());
  first->finish();
  first->finish();  // a second call changes nothing
  for (int i = 0; i < 200 && !second->started; ++i) std::this_thread::sleep_for(1ms);
  EXPECT_TRUE(second->started.load());
  EXPECT_EQ(queue.operationCount(), 1u);
  second->finish();
  queue.waitUntilAllOperationsAreFinished();
}

TEST(OperationQueueTest, AddingTheSameOperationTwiceIsMisuse) {
  OperationQueue queue;
  queue.setSuspended(true);
  auto op = std::make_shared<BlockOperation>([] {});
  queue.addOperation(op);
  EXPECT_THROW(queue.addOperation(op), Exception);
  EXPECT_THROW(queue.addOperation(nullptr), Exception);
  queue.setSuspended(false);
  queue.waitUntilAllOperationsAreFinished();
}

}  // namespace
}  // namespace lorvane
