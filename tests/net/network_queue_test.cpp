#include "net/network_queue.h"

#include <gtest/gtest.h>

#include <atomic>

#include "net_test_support.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::httpResponse;
using testing::mustParse;
using testing::ScriptedServer;
using testing::ServerConnection;

class GroupDelegate : public NetworkQueueDelegate {
 public:
  GroupDelegate()
      : NetworkQueueDelegate({HTTPSelector::requestStarted, HTTPSelector::requestFinished,
                              HTTPSelector::requestFailed}) {}
  void requestStarted(HTTPRequest&) override { ++started; }
  void requestFinished(HTTPRequest&) override { ++finished; }
  void requestFailed(HTTPRequest& request) override {
    ++failed;
    codes.push_back(request.error()->code);
  }
  void queueFinished(NetworkQueue& queue) override {
    ++groupDone;
    countAtGroupDone = queue.requestsCount();
  }
  int started = 0, finished = 0, failed = 0, groupDone = 0, countAtGroupDone = -1;
  std::vector<int> codes;
};

class Progress : public ProgressIndicator {
 public:
  void setProgress(float value) override { values.push_back(value); }
  std::vector<float> values;
};

class NetworkQueueTest : public testing::NetTest {
 protected:
  std::shared_ptr<NetworkQueue> makeQueue(GroupDelegate& delegate) {
    auto queue = NetworkQueue::queue();
    queue->setDelegate(&delegate);
    queue->requestDidStartSelector = HTTPSelector::requestStarted;
    queue->requestDidFinishSelector = HTTPSelector::requestFinished;
    queue->requestDidFailSelector = HTTPSelector::requestFailed;
    queue->queueDidFinishSelector = true;
    return queue;
  }
};

TEST_F(NetworkQueueTest, NothingStartsBeforeGoAndTheGroupIsCounted) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "ok")));
  GroupDelegate delegate;
  auto queue = makeQueue(delegate);
  Progress progress;
  queue->setDownloadProgressDelegate(&progress);
  for (int i = 0; i < 3; ++i) {
    queue->addOperation(
        HTTPRequest::requestWithURL(mustParse(server.url("/" + std::to_string(i)))));
  }
  EXPECT_EQ(queue->requestsCount(), 3);
  EXPECT_EQ(queue->totalBytesToDownload(), 3u);
  RunLoop::main().runUntil([] { return false; }, 0.3);
  EXPECT_EQ(server.requests().size(), 0u) << "suspended until go";
  queue->go();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return delegate.groupDone == 1; }));
  EXPECT_EQ(delegate.started, 3);
  EXPECT_EQ(delegate.finished, 3);
  EXPECT_EQ(delegate.countAtGroupDone, 0);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return queue->bytesDownloadedSoFar() == 3; }));
  EXPECT_FLOAT_EQ(progress.values.back(), 1.0f);
}

TEST_F(NetworkQueueTest, FirstFailureCancelsTheRest) {
  ScriptedServer server([](ServerConnection& connection) {
    if (auto request = connection.readRequest()) {
      if (request->target == "/bad") {
        connection.reset();
        return;
      }
      connection.pause(5);
    }
  });
  GroupDelegate delegate;
  auto queue = makeQueue(delegate);
  queue->addOperation(HTTPRequest::requestWithURL(mustParse(server.url("/slow1"))));
  queue->addOperation(HTTPRequest::requestWithURL(mustParse(server.url("/slow2"))));
  auto bad = HTTPRequest::requestWithURL(mustParse(server.url("/bad")));
  bad->setShouldAttemptPersistentConnection(false);
  queue->addOperation(bad);
  queue->go();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return delegate.groupDone == 1; }, 10));
  EXPECT_EQ(delegate.failed, 3);
  ASSERT_EQ(delegate.codes.size(), 3u);
  EXPECT_EQ(delegate.codes[0], 1);
  EXPECT_EQ(delegate.codes[1], 4);
  EXPECT_EQ(delegate.codes[2], 4);
  EXPECT_EQ(queue->requestsCount(), 0);
}

TEST_F(NetworkQueueTest, OnlyRequestsMayJoin) {
  auto queue = NetworkQueue::queue();
  try {
    queue->addOperation(std::make_shared<BlockOperation>([] {}));
    FAIL() << "no exception";
  } catch (const Exception& exception) {
    EXPECT_EQ(exception.name(), "AttemptToAddInvalidRequest");
    EXPECT_EQ(exception.reason(),
              "Attempted to add an object that was not an HTTPRequest to a NetworkQueue");
  }
  EXPECT_EQ(queue->requestsCount(), 0);
}

TEST_F(NetworkQueueTest, AccurateProgressAsksForTheSizeFirst) {
  std::string body(5000, 'p');
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, body)));
  GroupDelegate delegate;
  auto queue = makeQueue(delegate);
  queue->setShowAccurateProgress(true);
  Progress progress;
  queue->setDownloadProgressDelegate(&progress);
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/file")));
  request->setAllowCompressedResponse(false);
  queue->addOperation(request);
  queue->go();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return delegate.groupDone == 1; }));
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[1].method, "GET");
  EXPECT_EQ(queue->totalBytesToDownload(), 5000u);
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return queue->bytesDownloadedSoFar() == 5000; }));
  EXPECT_FLOAT_EQ(progress.values.back(), 1.0f);
}

TEST_F(NetworkQueueTest, CopyKeepsTheSettings) {
  GroupDelegate delegate;
  auto queue = makeQueue(delegate);
  queue->setShouldCancelAllRequestsOnFailure(false);
  queue->setUserInfo({{"k", std::string("v")}});
  auto copy = queue->copy();
  EXPECT_EQ(copy->delegate(), &delegate);
  EXPECT_FALSE(copy->shouldCancelAllRequestsOnFailure());
  EXPECT_EQ(std::any_cast<std::string>(copy->userInfo().at("k")), "v");
  EXPECT_TRUE(copy->isSuspended());
  queue->reset();
  EXPECT_EQ(queue->delegate(), nullptr);
  EXPECT_FALSE(queue->requestDidFinishSelector);
}

}  // namespace
}  // namespace lorvane
