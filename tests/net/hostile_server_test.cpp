// Servers that try to make the client crash, hang, hoard memory or leak
// what it was given. Each one is written out here, byte for byte, on
// loopback.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "net/connection_pool.h"
#include "net/cookie_store.h"
#include "net/download_cache.h"
#include "net/http_request.h"
#include "net_test_support.h"
#include "platform/foundation/file_manager.h"
#include "support/net/nginx_server.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::httpResponse;
using testing::mustParse;
using testing::RecordingDelegate;
using testing::ScriptedServer;
using testing::ServerConnection;
using testing::TemporaryDirectory;

class HostileServerTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ConnectionPool::shared().removeAll();
    CookieStore::shared().removeAll();
  }

  HTTPRequest::Pointer fetch(const std::string& url, RecordingDelegate& delegate,
                             const std::function<void(HTTPRequest&)>& configure = {},
                             double seconds = 10.0) {
    auto request = HTTPRequest::requestWithURL(mustParse(url));
    request->setDelegate(&delegate);
    if (configure) configure(*request);
    request->startAsynchronous();
    EXPECT_TRUE(testing::waitFor(delegate, seconds)) << "no answer for " << url;
    return request;
  }

  static std::string describe(const RecordingDelegate& delegate) {
    return delegate.error ? delegate.error->localizedDescription() : "no error";
  }
};

// ---- The cache as a way out ------------------------------------------------

TEST_F(HostileServerTest, FallingBackToAnUnusableCacheFailsOnce) {
  TemporaryDirectory folder;
  auto cache = std::make_shared<DownloadCache>();
  cache->setStoragePath(folder.path() + "/cache");

  // Nothing stored, and told never to load: the cache cannot answer and
  // the fall-back must not ask it again and again.
  RecordingDelegate empty;
  fetch("http://127.0.0.1:9/never", empty, [&](HTTPRequest& r) {
    r.setDownloadCache(cache);
    r.setCachePolicy(kDontLoadCachePolicy | kFallbackToCacheIfLoadFailsCachePolicy);
  });
  ASSERT_EQ(empty.failed, 1);
  EXPECT_EQ(empty.error->code, kFileManagementError);

  // A stored entry whose headers file is damaged, then the server is gone.
  std::string url;
  {
    ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "stored")));
    url = server.url("/entry");
    RecordingDelegate first;
    fetch(url, first, [&](HTTPRequest& r) { r.setDownloadCache(cache); });
    ASSERT_EQ(first.finished, 1);
  }
  std::string headersPath = cache->pathToCachedResponseHeadersForURL(mustParse(url));
  ASSERT_FALSE(headersPath.empty());
  ASSERT_TRUE(FileManager::defaultManager().writeAtomically(headersPath, std::string("damaged")));
  RecordingDelegate fallback;
  fetch(url, fallback, [&](HTTPRequest& r) {
    r.setDownloadCache(cache);
    r.setCachePolicy(kFallbackToCacheIfLoadFailsCachePolicy);
  });
  ASSERT_EQ(fallback.failed, 1);
  EXPECT_EQ(fallback.error->code, kConnectionFailureErrorType) << describe(fallback);
}

TEST_F(HostileServerTest, AskingASharedCacheAboutARunningRequestNeverHangsTheNetwork) {
  TemporaryDirectory folder;
  auto cache = std::make_shared<DownloadCache>();
  cache->setStoragePath(folder.path() + "/cache");
  cache->setShouldRespectCacheControlHeaders(false);
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      connection.send(httpResponse(200, {{"Etag", "\"e\""}}, request->target));
    }
  });

  std::atomic<bool> stop{false};
  std::mutex currentMutex;
  HTTPRequest::Pointer current;
  // Another thread keeps asking the cache about whichever request runs.
  std::thread asker([&] {
    while (!stop.load()) {
      HTTPRequest::Pointer request;
      {
        std::lock_guard lock(currentMutex);
        request = current;
      }
      if (!request) {
        std::this_thread::yield();
        continue;
      }
      cache->canUseCachedDataForRequest(*request);
      cache->isCachedDataCurrentForRequest(*request);
      cache->pathToStoreCachedResponseDataForRequest(*request);
    }
  });
  int finished = 0;
  for (int i = 0; i < 40; ++i) {
    RecordingDelegate delegate;
    auto request = HTTPRequest::requestWithURL(mustParse(server.url("/" + std::to_string(i))),
                                               cache, kDoNotReadFromCacheCachePolicy);
    request->setDelegate(&delegate);
    {
      std::lock_guard lock(currentMutex);
      current = request;
    }
    request->startAsynchronous();
    if (!testing::waitFor(delegate)) break;
    finished += delegate.finished;
  }
  stop.store(true);
  asker.join();
  {
    std::lock_guard lock(currentMutex);
    current.reset();
  }
  EXPECT_EQ(finished, 40);
}

TEST_F(HostileServerTest, SettingsCannotChangeWhileTheRequestRuns) {
  ScriptedServer server([](ServerConnection& connection) {
    if (connection.readRequest()) connection.pause(5);
  });
  RecordingDelegate delegate;
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/slow")));
  request->setDelegate(&delegate);
  request->startAsynchronous();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return request->inProgress(); }, 5));
  try {
    request->setTimeOutSeconds(1);
    FAIL() << "a running request took a new setting";
  } catch (const Exception& exception) {
    EXPECT_EQ(exception.name(), "HTTPRequestIsRunning");
  }
  EXPECT_THROW(request->addRequestHeader("X-Late", "1"), Exception);
  EXPECT_THROW(request->setCachePolicy(kDontLoadCachePolicy), Exception);
  // What the network thread writes is read as a copy, under the lock.
  HeaderMap headers = request->requestHeaders();
  EXPECT_EQ(headerValue(headers, "Accept-Encoding"), "gzip");
  request->cancel();
  ASSERT_TRUE(testing::waitFor(delegate));
  EXPECT_EQ(delegate.error->code, kRequestCancelledErrorType);
  // Finished, it may be set up again.
  EXPECT_NO_THROW(request->setTimeOutSeconds(3));
}

// ---- Memory a server can ask for --------------------------------------------

TEST_F(HostileServerTest, AnnouncedBodyBeyondTheLimitFailsAtOnce) {
  ScriptedServer server([](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    connection.send("HTTP/1.1 200 OK\r\nContent-Length: 100000000000000\r\n\r\nabc");
    connection.pause(10);
  });
  RecordingDelegate delegate;
  // Without a time-out, only the limit can end this request.
  fetch(server.url("/huge"), delegate, [](HTTPRequest& r) { r.setTimeOutSeconds(0); });
  ASSERT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.error->code, kResponseTooLargeErrorType);
  EXPECT_EQ(describe(delegate), "The response body is larger than the limit of " +
                                    std::to_string(TransferLimits::kDefaultMaximumBodyLength) +
                                    " bytes");
}

// Sends a chunked body that never ends: small chunks, or one giant chunk.
ScriptedServer::Handler endlessChunkedBody(bool oneGiantChunk) {
  return [oneGiantChunk](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    if (!connection.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n")) return;
    std::string piece(64 * 1024, 'x');
    if (oneGiantChunk && !connection.send("fffffffffff\r\n")) return;
    std::string framed = oneGiantChunk ? piece : "10000\r\n" + piece + "\r\n";
    for (int i = 0; i < 4096 && !connection.stopping(); ++i) {
      if (!connection.send(framed)) return;
    }
  };
}

TEST_F(HostileServerTest, EndlessBodiesStopAtTheRequestsLimit) {
  for (bool giant : {false, true}) {
    ScriptedServer server(endlessChunkedBody(giant));
    RecordingDelegate delegate;
    auto request = fetch(server.url("/endless"), delegate,
                         [](HTTPRequest& r) { r.setMaximumResponseBodyLength(1 << 20); });
    ASSERT_EQ(delegate.failed, 1) << giant;
    EXPECT_EQ(delegate.error->code, kResponseTooLargeErrorType) << giant;
    EXPECT_EQ(describe(delegate), "The response body is larger than the limit of 1048576 bytes");
    EXPECT_LE(request->rawResponseLength(), 1u << 20);
  }
}

TEST_F(HostileServerTest, FileDownloadsAreNotBoundByTheMemoryLimit) {
  TemporaryDirectory folder;
  std::string body(3 << 20, 'd');
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, body)));
  RecordingDelegate delegate;
  std::string destination = folder.file("big");
  fetch(server.url("/big"), delegate, [&](HTTPRequest& r) {
    r.setMaximumResponseBodyLength(1 << 20);
    r.setDownloadDestinationPath(destination);
  });
  ASSERT_EQ(delegate.finished, 1) << describe(delegate);
  auto attributes = FileManager::defaultManager().attributesOfItem(destination);
  ASSERT_TRUE(attributes);
  EXPECT_EQ(attributes->size, body.size());
}

TEST_F(HostileServerTest, AFloodOfInterimRepliesFails) {
  ScriptedServer server([](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    while (!connection.stopping() && connection.send("HTTP/1.1 100 Continue\r\n\r\n")) {
    }
  });
  RecordingDelegate delegate;
  fetch(server.url("/flood"), delegate, [](HTTPRequest& r) { r.setTimeOutSeconds(0); });
  ASSERT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.error->code, kTooManyInterimResponsesErrorType);
  EXPECT_EQ(describe(delegate), "The server sent more than " +
                                    std::to_string(TransferLimits::kMaximumInterimResponses) +
                                    " interim responses");

  // A few interim replies are normal and skipped.
  ScriptedServer polite([](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    connection.send("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n" +
                    httpResponse(200, {}, "final"));
  });
  RecordingDelegate fine;
  auto request = fetch(polite.url("/"), fine);
  ASSERT_EQ(fine.finished, 1);
  EXPECT_EQ(request->responseString(), "final");
}

TEST_F(HostileServerTest, ContentLengthIsDecimal) {
  ScriptedServer server(
      ScriptedServer::alwaysAnswer("HTTP/1.1 200 OK\r\nContent-Length: 010\r\n\r\n0123456789"));
  RecordingDelegate delegate;
  auto request = fetch(server.url("/"), delegate);
  ASSERT_EQ(delegate.finished, 1) << describe(delegate);
  EXPECT_EQ(request->contentLength(), 10u);
  EXPECT_EQ(request->responseString(), "0123456789");
}

// ---- What a redirect may carry along ---------------------------------------

TEST_F(HostileServerTest, CredentialsAndCallerHeadersStayWithTheirServer) {
  ScriptedServer elsewhere(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "elsewhere")));
  for (int status : {302, 307}) {
    ScriptedServer origin([&](ServerConnection& connection) {
      while (auto request = connection.readRequest()) {
        if (request->target == "/away") {
          connection.send(httpResponse(status, {{"Location", elsewhere.url("/landing")}}, ""));
        } else if (request->target == "/near") {
          connection.send(httpResponse(status, {{"Location", "/home"}}, ""));
        } else {
          connection.send(httpResponse(200, {}, "home"));
        }
      }
    });
    for (const char* path : {"/away", "/near"}) {
      RecordingDelegate delegate;
      fetch(origin.url(path), delegate, [](HTTPRequest& r) {
        r.setUsername("user");
        r.setPassword("secret");
        r.addRequestHeader("X-Trace", "t1");
        r.addRequestHeader("Cookie", "session=abc");
      });
      ASSERT_EQ(delegate.finished, 1) << status << path << " " << describe(delegate);
    }
    auto far = elsewhere.requests().back();
    EXPECT_EQ(far.target, "/landing");
    EXPECT_EQ(far.header("authorization"), "") << status;
    EXPECT_EQ(far.header("cookie"), "") << status;
    auto near = origin.requests().back();
    EXPECT_EQ(near.target, "/home");
    EXPECT_EQ(near.header("authorization"), "Basic dXNlcjpzZWNyZXQ=") << status;
    // A 307 repeats the request as it was; the others start afresh.
    EXPECT_EQ(near.header("cookie"), status == 307 ? "session=abc" : "") << status;
  }
  // Another port on the same host is another server too.
  EXPECT_FALSE(elsewhere.requests().empty());
}

TEST_F(HostileServerTest, SecureCookiesFromPlainHTTPAreNotKept) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(
      200, {{"Set-Cookie", "s=1; Secure"}, {"Set-Cookie", "p=2"}, {"Set-Cookie", "t=3; Domain=1"}},
      "ok")));
  RecordingDelegate delegate;
  fetch(server.url("/"), delegate);
  auto kept = CookieStore::shared().allCookies();
  ASSERT_EQ(kept.size(), 1u);
  EXPECT_EQ(kept[0].name, "p");
}

}  // namespace
}  // namespace lorvane
