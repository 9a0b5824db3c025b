#include "common/url_loader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>

#include "platform/foundation/run_loop.h"
#include "support/net/held_answer.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::HeldAnswers;
using testing::httpResponse;
using testing::ReleaseGuard;
using testing::ScriptedServer;
using testing::ServerConnection;

class URLLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override { RunLoop::main().bindToCurrentThread(); }
  void TearDown() override {
    // Cancelled loads end on their own threads; none may outlive the test.
    RunLoop::main().runUntil([] { return URLLoader::detachedCount() == 0; }, 30);
    EXPECT_EQ(URLLoader::detachedCount(), 0u);
  }
};

TEST_F(URLLoaderTest, CompletionsRunOffTheMainThreadWithTheBodyOrAnError) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target == "/ok") {
        connection.send(httpResponse(200, {}, "picture bytes"));
      } else {
        connection.send(httpResponse(404, {}, "<html>missing</html>"));
      }
    }
  });
  URLLoader loader;
  std::atomic<int> done{0};
  URLLoadResult ok, missing;
  std::atomic<bool> onMain{false};
  loader.sendAsynchronousRequest(server.url("/ok"), [&](const URLLoadResult& r) {
    ok = r;
    if (isMainThread()) onMain = true;
    ++done;
  });
  loader.sendAsynchronousRequest(server.url("/missing"), [&](const URLLoadResult& r) {
    missing = r;
    ++done;
  });
  loader.waitUntilAllFinished();
  ASSERT_EQ(done.load(), 2);
  EXPECT_FALSE(onMain.load());
  EXPECT_EQ(ok.statusCode, 200);
  EXPECT_EQ(std::string(ok.data.begin(), ok.data.end()), "picture bytes");
  EXPECT_FALSE(ok.error);
  EXPECT_EQ(missing.statusCode, 404);
  EXPECT_TRUE(missing.data.empty());
  ASSERT_TRUE(missing.error);
  EXPECT_EQ(missing.error->domain, kURLLoaderErrorDomain);
  EXPECT_EQ(loader.runningCount(), 0u);
}

TEST_F(URLLoaderTest, LettingGoCancelsATricklingLoadWithoutWaitingForIt) {
  HeldAnswers held;
  ScriptedServer server([&](ServerConnection& connection) {
    if (connection.readRequest()) held.send(connection, "image/png", std::string(4096, 'x'));
  });
  ReleaseGuard guard(held, 30);
  std::atomic<int> completions{0};
  {
    URLLoader loader;
    loader.sendAsynchronousRequest(server.url("/icon.png"),
                                   [&](const URLLoadResult&) { ++completions; });
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return held.begun() == 1; }, 10));
    EXPECT_EQ(loader.runningCount(), 1u);
  }
  // The loader went while its answer was still coming.
  EXPECT_EQ(held.finished(), 0);
  EXPECT_FALSE(guard.fired());
  ASSERT_TRUE(RunLoop::main().runUntil([] { return URLLoader::detachedCount() == 0; }, 20));
  EXPECT_EQ(completions.load(), 0);  // a cancelled load never reports
}

TEST_F(URLLoaderTest, CancelAllKeepsTheLoaderUsable) {
  HeldAnswers held;
  ScriptedServer server([&](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target == "/slow") {
        held.send(connection, "text/plain", std::string(2048, 's'));
      } else {
        connection.send(httpResponse(200, {}, "quick"));
      }
    }
  });
  ReleaseGuard guard(held, 30);
  URLLoader loader;
  std::atomic<int> slow{0};
  loader.sendAsynchronousRequest(server.url("/slow"), [&](const URLLoadResult&) { ++slow; });
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return held.begun() == 1; }, 10));
  loader.cancelAll();
  EXPECT_EQ(loader.runningCount(), 0u);
  std::string body;
  loader.sendAsynchronousRequest(server.url("/quick"), [&](const URLLoadResult& r) {
    body.assign(r.data.begin(), r.data.end());
  });
  loader.waitUntilAllFinished();
  EXPECT_EQ(body, "quick");
  EXPECT_EQ(held.finished(), 0);
  held.release();
  ASSERT_TRUE(RunLoop::main().runUntil([] { return URLLoader::detachedCount() == 0; }, 20));
  EXPECT_EQ(slow.load(), 0);
}

}  // namespace
}  // namespace lorvane
