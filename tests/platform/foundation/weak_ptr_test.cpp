#include "platform/foundation/weak_ptr.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace lorvane {
namespace {

class Listener : public virtual Weakable {
 public:
  virtual ~Listener() = default;
  int heard = 0;
};

class Source : public virtual Weakable {
 public:
  virtual ~Source() = default;
};

// Takes on two roles; both must share one identity.
class Screen : public Listener, public Source {};

TEST(WeakPtrTest, ReadsTheObjectWhileItLivesAndNullAfter) {
  WeakPtr<Listener> weak;
  EXPECT_EQ(weak.get(), nullptr);
  {
    Listener listener;
    weak = &listener;
    ASSERT_EQ(weak.get(), &listener);
    weak->heard = 3;
    EXPECT_EQ(listener.heard, 3);
    EXPECT_TRUE(weak);
  }
  EXPECT_EQ(weak.get(), nullptr);
  EXPECT_FALSE(weak);
  EXPECT_TRUE(weak == nullptr);
}

TEST(WeakPtrTest, CopiesMovesAndConversionsFollowTheSameObject) {
  auto screen = std::make_unique<Screen>();
  WeakPtr<Listener> asListener(screen.get());
  WeakPtr<Source> asSource(screen.get());
  WeakPtr<Listener> copy = asListener;
  WeakPtr<Listener> moved = std::move(copy);
  WeakPtr<Weakable> base = asListener;
  EXPECT_EQ(moved.get(), screen.get());
  EXPECT_EQ(base.get(), static_cast<Weakable*>(screen.get()));
  EXPECT_EQ(screen->weakLink(), static_cast<Source*>(screen.get())->weakLink());
  screen.reset();
  EXPECT_EQ(asListener.get(), nullptr);
  EXPECT_EQ(asSource.get(), nullptr);
  EXPECT_EQ(moved.get(), nullptr);
  EXPECT_EQ(base.get(), nullptr);
}

TEST(WeakPtrTest, IdentityOutlivesTheObjectForRemovalButNotForUse) {
  auto listener = std::make_unique<Listener>();
  const Listener* address = listener.get();
  WeakPtr<Listener> weak(listener.get());
  EXPECT_TRUE(weak.pointsAt(address));
  listener.reset();
  EXPECT_TRUE(weak.pointsAt(address));
  EXPECT_FALSE(weak.pointsAt(nullptr));
  EXPECT_EQ(weak.get(), nullptr);
}

TEST(WeakPtrTest, ACopiedObjectHasItsOwnLife) {
  auto original = std::make_unique<Listener>();
  WeakPtr<Listener> toOriginal(original.get());
  Listener copy(*original);
  WeakPtr<Listener> toCopy(&copy);
  original.reset();
  EXPECT_EQ(toOriginal.get(), nullptr);
  EXPECT_EQ(toCopy.get(), &copy);
}

TEST(WeakPtrTest, WhileAliveCallbacksStopWithTheirOwner) {
  auto listener = std::make_unique<Listener>();
  Listener* raw = listener.get();
  int calls = 0;
  std::function<void(int)> callback = whileAlive(raw, [raw, &calls](int n) {
    ++calls;
    raw->heard += n;
  });
  callback(2);
  callback(5);
  EXPECT_EQ(listener->heard, 7);
  listener.reset();
  callback(1);
  EXPECT_EQ(calls, 2);
}

// Threads make, copy and read pointers while the object dies on another.
TEST(WeakPtrTest, PointersMayBeMadeAndReadOnAnyThread) {
  for (int round = 0; round < 50; ++round) {
    auto listener = std::make_unique<Listener>();
    Listener* raw = listener.get();
    WeakPtr<Listener> first(raw);
    std::atomic<bool> go{false};
    std::atomic<bool> dead{false};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
      readers.emplace_back([&, copy = first] {
        while (!go.load()) std::this_thread::yield();
        for (int i = 0; i < 200; ++i) {
          WeakPtr<Listener> again = copy;
          const bool wasDead = dead.load();
          EXPECT_FALSE(wasDead && again.get() != nullptr);
        }
      });
    }
    go.store(true);
    listener.reset();
    dead.store(true);
    for (auto& reader : readers) reader.join();
    EXPECT_EQ(first.get(), nullptr);
  }
}

}  // namespace
}  // namespace lorvane
