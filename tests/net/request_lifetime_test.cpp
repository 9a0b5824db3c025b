// A request and its delegate may end in either order: a request never calls
// a delegate that has died, and a delegate never depends on its request.
#include <gtest/gtest.h>

#include <memory>

#include "net/connection_pool.h"
#include "net/http_request.h"
#include "net/network_queue.h"
#include "net_test_support.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::httpResponse;
using testing::mustParse;
using testing::RecordingDelegate;
using testing::ScriptedServer;
using testing::ServerConnection;

// Counts into storage that outlives it.
class CountingDelegate : public RecordingDelegate {
 public:
  explicit CountingDelegate(int& calls) : calls_(calls) {}
  void requestStarted(HTTPRequest& r) override {
    ++calls_;
    RecordingDelegate::requestStarted(r);
  }
  void requestDidReceiveResponseHeaders(HTTPRequest& r, const HeaderMap& h) override {
    ++calls_;
    RecordingDelegate::requestDidReceiveResponseHeaders(r, h);
  }
  void requestFinished(HTTPRequest& r) override {
    ++calls_;
    RecordingDelegate::requestFinished(r);
  }
  void requestFailed(HTTPRequest& r) override {
    ++calls_;
    RecordingDelegate::requestFailed(r);
  }

 private:
  int& calls_;
};

class RequestLifetimeTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ConnectionPool::shared().removeAll();
  }
  // Answers after a pause, in small pieces.
  static ScriptedServer::Handler slowAnswer() {
    return [](ServerConnection& connection) {
      if (!connection.readRequest()) return;
      connection.pause(0.3);
      connection.trickle(httpResponse(200, {}, "a slow answer"), 4, 0.05);
    };
  }
};

TEST_F(RequestLifetimeTest, ADelegateThatDiesMidRequestHearsNothingMore) {
  ScriptedServer server(slowAnswer());
  int calls = 0;
  auto delegate = std::make_unique<CountingDelegate>(calls);
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/slow")));
  request->setDelegate(delegate.get());
  int blockCalls = 0;
  request->setCompletionBlock([&blockCalls] { ++blockCalls; });
  request->startAsynchronous();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return calls > 0; }, 5));  // started
  const int heard = calls;
  delegate.reset();
  EXPECT_EQ(request->delegate(), nullptr);
  ASSERT_TRUE(testing::waitForFinished(*request));
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(calls, heard);
  EXPECT_EQ(blockCalls, 1);  // the blocks still run: they belong to the caller
  EXPECT_EQ(request->responseString(), "a slow answer");
}

TEST_F(RequestLifetimeTest, ARequestLetGoMidwayLeavesItsDelegateWhole) {
  ScriptedServer server(slowAnswer());
  int calls = 0;
  CountingDelegate delegate(calls);
  std::weak_ptr<HTTPRequest> weak;
  {
    auto request = HTTPRequest::requestWithURL(mustParse(server.url("/slow")));
    weak = request;
    request->setDelegate(&delegate);
    request->startAsynchronous();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return calls > 0; }, 5));
    request->clearDelegatesAndCancel();
  }
  const int heard = calls;
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] {
        auto request = weak.lock();
        return !request || request->isFinished();
      },
      10));
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(calls, heard);
  EXPECT_EQ(delegate.finished, 0);
}

TEST_F(RequestLifetimeTest, AQueueDelegateThatDiesIsForgotten) {
  ScriptedServer server(slowAnswer());
  int calls = 0;
  class Listener : public NetworkQueueDelegate {
   public:
    explicit Listener(int& calls)
        : NetworkQueueDelegate({HTTPSelector::requestFinished}), calls_(calls) {}
    void requestFinished(HTTPRequest&) override { ++calls_; }
    void queueFinished(NetworkQueue&) override { ++calls_; }

   private:
    int& calls_;
  };
  auto delegate = std::make_unique<Listener>(calls);
  auto queue = NetworkQueue::queue();
  queue->setDelegate(delegate.get());
  queue->requestDidFinishSelector = HTTPSelector::requestFinished;
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/slow")));
  int finished = 0;
  request->setCompletionBlock([&finished] { ++finished; });
  queue->addOperation(request);
  queue->go();
  delegate.reset();
  EXPECT_EQ(queue->delegate(), nullptr);
  ASSERT_TRUE(testing::waitForFinished(*request));
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(calls, 0);
}

}  // namespace
}  // namespace lorvane
