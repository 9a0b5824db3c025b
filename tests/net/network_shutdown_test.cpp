// When the network thread shuts down for good, every request still under
// way ends as cancelled: its delegate, its blocks and its queue hear it
// exactly once, its queue lets it go and nothing keeps it alive. Requests
// started or cancelled afterwards end the same way at once.
//
// Shutting the network thread down cannot be undone within a process, so
// each case runs in a child process of its own.
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <memory>
#include <vector>

#include "net/connection_pool.h"
#include "net/http_request.h"
#include "net/network_queue.h"
#include "net/network_thread.h"
#include "net_test_support.h"
#include "support/foundation/own_process.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::httpResponse;
using testing::mustParse;
using testing::RecordingDelegate;
using testing::ScriptedServer;
using testing::ServerConnection;

// Runs the case in a fresh child process; its failures are printed there
// and make it exit non-zero.
void runInOwnProcess(const std::function<void()>& body) {
  const int ended = testing::runInOwnProcess(body, 120);
  ASSERT_NE(ended, testing::kChildNotRun);
  ASSERT_GE(ended, 0) << "the case died of signal " << -ended;
  EXPECT_EQ(ended, 0) << "the case failed; its messages are above";
}

// Reads the request, sends the head and then a byte now and then until the
// server stops: an answer that never ends.
ScriptedServer::Handler endlessAnswer() {
  return [](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    std::string head = httpResponse(200, {{"Content-Length", "100000"}}, "", false);
    if (!connection.send(head)) return;
    while (!connection.stopping()) {
      if (!connection.send("x")) return;
      connection.pause(0.05);
    }
  };
}

// What one request heard, counted on the main thread.
struct Heard {
  Heard() = default;
  explicit Heard(std::initializer_list<HTTPSelector> selectors) : delegate(selectors) {}
  RecordingDelegate delegate;
  int completions = 0;
  int failures = 0;
};

std::shared_ptr<HTTPRequest> watchedRequest(const ScriptedServer& server, Heard& heard) {
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/endless")));
  request->setDelegate(&heard.delegate);
  request->setCompletionBlock([&heard] { ++heard.completions; });
  request->setFailedBlock([&heard] { ++heard.failures; });
  return request;
}

void expectCancelledOnce(const HTTPRequest& request, const Heard& heard) {
  EXPECT_TRUE(request.isFinished());
  EXPECT_FALSE(request.isExecuting());
  EXPECT_TRUE(request.cancelled());
  EXPECT_EQ(heard.delegate.failed, 1);
  EXPECT_EQ(heard.delegate.finished, 0);
  EXPECT_EQ(heard.failures, 1);
  EXPECT_EQ(heard.completions, 0);
  ASSERT_TRUE(request.error());
  EXPECT_EQ(request.error()->domain, kHTTPRequestErrorDomain);
  EXPECT_EQ(request.error()->code, kRequestCancelledErrorType);
}

bool allFinished(const std::vector<std::shared_ptr<HTTPRequest>>& requests) {
  for (const auto& request : requests) {
    if (!request->isFinished()) return false;
  }
  return true;
}

TEST(NetworkShutdownTest, RequestsUnderWayAndWaitingInTheQueueEndAsCancelledOnce) {
  runInOwnProcess([] {
    ScriptedServer server(endlessAnswer());
    // Six on the shared queue: four run, two wait for a free place.
    std::vector<std::unique_ptr<Heard>> heard;
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    for (int i = 0; i < 6; ++i) {
      heard.push_back(std::make_unique<Heard>());
      requests.push_back(watchedRequest(server, *heard.back()));
      requests.back()->startAsynchronous();
    }
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requests().size() >= 4; }, 10));
    ASSERT_EQ(HTTPRequest::sharedQueue().operationCount(), 6u);

    NetworkThread::shared().shutdown();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return allFinished(requests); }, 10));
    RunLoop::main().runUntilIdle();

    EXPECT_EQ(HTTPRequest::sharedQueue().operationCount(), 0u);
    for (std::size_t i = 0; i < requests.size(); ++i) {
      SCOPED_TRACE("request " + std::to_string(i));
      expectCancelledOnce(*requests[i], *heard[i]);
    }
    // The two that never ran never reached the server.
    EXPECT_EQ(server.requests().size(), 4u);

    // Nothing else holds them: let go here, they are gone.
    std::vector<std::weak_ptr<HTTPRequest>> weak(requests.begin(), requests.end());
    requests.clear();
    for (std::size_t i = 0; i < weak.size(); ++i) {
      EXPECT_TRUE(weak[i].expired()) << "request " << i << " is still held";
    }
  });
}

TEST(NetworkShutdownTest, RequestsStartedOrCancelledAfterwardsEndAtOnce) {
  runInOwnProcess([] {
    ScriptedServer server(endlessAnswer());
    NetworkThread::shared().shutdown();

    Heard queued;
    auto request = watchedRequest(server, queued);
    request->startAsynchronous();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return request->isFinished(); }, 10));
    RunLoop::main().runUntilIdle();
    expectCancelledOnce(*request, queued);
    request->cancel();  // once more: nothing new is told
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(queued.delegate.failed, 1);

    // A caller blocked on a synchronous exchange gets its answer.
    Heard blocked;
    auto synchronous = watchedRequest(server, blocked);
    synchronous->startSynchronous();
    expectCancelledOnce(*synchronous, blocked);

    // Cancelled before it was ever started: told at once, then finished as
    // soon as a queue starts it.
    Heard early;
    auto unstarted = watchedRequest(server, early);
    unstarted->cancel();
    RunLoop::main().runUntilIdle();
    EXPECT_EQ(early.delegate.failed, 1);
    ASSERT_TRUE(unstarted->error());
    EXPECT_EQ(unstarted->error()->code, kRequestCancelledErrorType);
    unstarted->startAsynchronous();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return unstarted->isFinished(); }, 10));
    RunLoop::main().runUntilIdle();
    expectCancelledOnce(*unstarted, early);
    EXPECT_EQ(HTTPRequest::sharedQueue().operationCount(), 0u);
    EXPECT_TRUE(server.requests().empty());
  });
}

TEST(NetworkShutdownTest, ARequestWaitingForItsDelegateToAllowARedirectEnds) {
  runInOwnProcess([] {
    ScriptedServer server([](ServerConnection& connection) {
      while (auto request = connection.readRequest(30)) {
        if (!connection.send(httpResponse(302, {{"Location", "/elsewhere"}}, "moved"))) return;
      }
    });
    Heard heard({HTTPSelector::requestWillRedirectToURL, HTTPSelector::requestFinished,
                 HTTPSelector::requestFailed});
    heard.delegate.followRedirects = false;  // the decision never comes
    auto request = watchedRequest(server, heard);
    request->startAsynchronous();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return !heard.delegate.events.empty(); }, 10));
    EXPECT_EQ(heard.delegate.events.front().rfind("willRedirect", 0), 0u);

    NetworkThread::shared().shutdown();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return request->isFinished(); }, 10));
    RunLoop::main().runUntilIdle();
    expectCancelledOnce(*request, heard);
    EXPECT_EQ(HTTPRequest::sharedQueue().operationCount(), 0u);
  });
}

TEST(NetworkShutdownTest, ARequestQueueHearsEachOfItsRequestsEndAndThenItsOwnEnd) {
  runInOwnProcess([] {
    ScriptedServer server(endlessAnswer());
    class Listener : public NetworkQueueDelegate {
     public:
      Listener() : NetworkQueueDelegate({HTTPSelector::requestFailed}) {}
      void requestFailed(HTTPRequest&) override { ++failed; }
      void queueFinished(NetworkQueue&) override { ++queueEnds; }
      int failed = 0;
      int queueEnds = 0;
    } listener;
    auto queue = NetworkQueue::queue();
    queue->setDelegate(&listener);
    queue->requestDidFailSelector = HTTPSelector::requestFailed;
    queue->queueDidFinishSelector = true;
    queue->setShouldCancelAllRequestsOnFailure(false);
    std::vector<std::unique_ptr<Heard>> heard;
    std::vector<std::shared_ptr<HTTPRequest>> requests;
    for (int i = 0; i < 3; ++i) {
      heard.push_back(std::make_unique<Heard>());
      requests.push_back(watchedRequest(server, *heard.back()));
      queue->addOperation(requests.back());
    }
    queue->go();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requests().size() >= 3; }, 10));

    NetworkThread::shared().shutdown();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return allFinished(requests); }, 10));
    RunLoop::main().runUntilIdle();
    for (std::size_t i = 0; i < requests.size(); ++i) {
      SCOPED_TRACE("request " + std::to_string(i));
      expectCancelledOnce(*requests[i], *heard[i]);
    }
    EXPECT_EQ(listener.failed, 3);
    EXPECT_EQ(listener.queueEnds, 1);
    EXPECT_EQ(queue->operationCount(), 0u);
  });
}

}  // namespace
}  // namespace lorvane
