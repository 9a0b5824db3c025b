#include "net/http_request.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "net/connection_pool.h"
#include "net/cookie_store.h"
#include "net/data_decompressor.h"
#include "net_test_support.h"
#include "platform/foundation/file_manager.h"
#include "support/net/nginx_server.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::fetch;
using testing::httpResponse;
using testing::mustParse;
using testing::RecordingDelegate;
using testing::ScriptedServer;
using testing::ServerConnection;

class HTTPRequestTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    ConnectionPool::shared().removeAll();
    CookieStore::shared().removeAll();
  }
};

TEST_F(HTTPRequestTest, GetReportsInOrderAndSendsTheDefaultHeaders) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(
      httpResponse(200, {{"Content-Type", "text/plain; charset=utf-8"}}, "h\xC3\xA9llo")));
  RecordingDelegate delegate;
  auto request = fetch(server.url("/feed?page=1"), delegate);
  EXPECT_EQ(delegate.events, (std::vector<std::string>{"started", "headers", "finished"}));
  EXPECT_EQ(request->responseStatusCode(), 200);
  EXPECT_EQ(request->responseStatusMessage(), "HTTP/1.1 200 OK");
  EXPECT_EQ(request->responseString(), "h\xC3\xA9llo");
  EXPECT_EQ(request->contentLength(), 6u);
  EXPECT_EQ(request->totalBytesRead(), 6u);
  EXPECT_TRUE(request->complete());
  EXPECT_FALSE(request->inProgress());
  EXPECT_TRUE(request->isFinished());
  EXPECT_GT(request->requestID(), 0u);
  EXPECT_EQ(delegate.lastHeaders.at("content-type"), "text/plain; charset=utf-8");

  auto sent = server.requests().at(0);
  EXPECT_EQ(sent.method, "GET");
  EXPECT_EQ(sent.target, "/feed?page=1");
  EXPECT_EQ(sent.version, "HTTP/1.1");
  EXPECT_EQ(sent.header("accept-encoding"), "gzip");
  EXPECT_EQ(sent.header("user-agent"), HTTPRequest::defaultUserAgentString());
  EXPECT_EQ(sent.header("host"), "127.0.0.1:" + std::to_string(server.port()));
}

TEST_F(HTTPRequestTest, DefaultUserAgentFollowsTheApplicationInfo) {
  ApplicationInfo saved = HTTPRequest::applicationInfo();
  ApplicationInfo info;
  info.name = "Lorvane";
  info.displayName = "Orvel English";
  info.shortVersion = "1.2";
  info.version = "345";
  info.deviceModel = "iPhone";
  info.systemName = "iPhone OS";
  info.systemVersion = "7.0";
  info.localeIdentifier = "zh_CN";
  HTTPRequest::setApplicationInfo(info);
  EXPECT_EQ(HTTPRequest::defaultUserAgentString(),
            "Orvel English 1.2 rv:345 (iPhone; iPhone OS 7.0; zh_CN)");
  info.version = "1.2";
  HTTPRequest::setApplicationInfo(info);
  EXPECT_EQ(HTTPRequest::defaultUserAgentString(),
            "Orvel English 1.2 (iPhone; iPhone OS 7.0; zh_CN)");
  info.displayName.clear();
  info.name.clear();
  HTTPRequest::setApplicationInfo(info);
  EXPECT_EQ(HTTPRequest::defaultUserAgentString(), "");
  HTTPRequest::setApplicationInfo(saved);
}

TEST_F(HTTPRequestTest, ErrorStatusesAreSuccesses) {
  for (int status : {404, 500}) {
    ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(status, {}, "oops")));
    RecordingDelegate delegate;
    auto request = fetch(server.url("/missing"), delegate);
    EXPECT_EQ(delegate.finished, 1) << status;
    EXPECT_EQ(delegate.failed, 0);
    EXPECT_EQ(request->responseStatusCode(), status);
    EXPECT_EQ(request->responseString(), "oops");
  }
}

TEST_F(HTTPRequestTest, CharsetRulesOfResponseString) {
  struct Case {
    std::string contentType;
    std::string body;
    std::optional<std::string> text;
  };
  const std::vector<Case> cases = {
      {"application/json", "{\"a\":\"\xE9\"}", "{\"a\":\"\xC3\xA9\"}"},  // Latin 1 byte for byte
      {"application/json; charset=utf-8", "\xE4\xBD\xA0", "\xE4\xBD\xA0"},
      {"application/json; charset=utf-8", "bad \xFF", std::nullopt},
      {"text/html; charset=\"utf-8\"", "\xC3\xA9", "\xC3\x83\xC2\xA9"},  // quoted: unknown
      {"text/html; Charset=utf-8", "\xC3\xA9", "\xC3\x83\xC2\xA9"},      // only lower case
      {"text/plain; charset=gbk", "\xC4\xE3", "\xE4\xBD\xA0"},
      {"text/plain; format=x; charset=utf-8; q=1", "\xC3\xA9", "\xC3\xA9"},
  };
  for (const auto& c : cases) {
    ScriptedServer server(
        ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Type", c.contentType}}, c.body)));
    RecordingDelegate delegate;
    auto request = fetch(server.url("/"), delegate);
    EXPECT_EQ(request->responseString(), c.text) << c.contentType;
  }
  // The default encoding can be changed.
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "\xC3\xA9")));
  RecordingDelegate delegate;
  auto request = fetch(server.url("/"), delegate,
                       [](HTTPRequest& r) { r.setDefaultResponseEncoding(kUTF8StringEncoding); });
  EXPECT_EQ(request->responseString(), "\xC3\xA9");
}

TEST_F(HTTPRequestTest, GzipBodiesInflateAndBrokenOnesGiveNothing) {
  std::string text(30000, 'z');
  std::string gzip = testing::gzipText(text);
  {
    ScriptedServer server(
        ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Encoding", "gzip"}}, gzip)));
    RecordingDelegate delegate;
    auto request = fetch(server.url("/"), delegate);
    EXPECT_TRUE(request->isResponseCompressed());
    EXPECT_EQ(request->rawResponseData().size(), gzip.size()) << "kept as received";
    ASSERT_TRUE(request->responseData());
    EXPECT_EQ(request->responseData()->size(), text.size());
    EXPECT_EQ(request->responseString(), text);
  }
  {  // inflating as it arrives
    ScriptedServer server(
        ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Encoding", "gzip"}}, gzip)));
    RecordingDelegate delegate;
    auto request = fetch(server.url("/"), delegate, [](HTTPRequest& r) {
      r.setShouldWaitToInflateCompressedResponses(false);
    });
    EXPECT_EQ(request->rawResponseData().size(), text.size());
    EXPECT_EQ(request->responseString(), text);
  }
  {  // empty body with the header
    ScriptedServer server(
        ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Encoding", "gzip"}}, "")));
    RecordingDelegate delegate;
    auto request = fetch(server.url("/"), delegate);
    EXPECT_EQ(delegate.finished, 1);
    EXPECT_FALSE(request->responseData());
  }
  {  // cut short and garbage
    for (std::string body : {gzip.substr(0, gzip.size() / 2), std::string("not gzip at all")}) {
      ScriptedServer server(
          ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Encoding", "gzip"}}, body)));
      RecordingDelegate delegate;
      auto request = fetch(server.url("/"), delegate);
      EXPECT_EQ(delegate.finished, 1);
      EXPECT_FALSE(request->responseData());
      EXPECT_FALSE(request->responseString());
    }
  }
  {  // inflating as it arrives, the same faults fail the request
    for (std::string body : {gzip.substr(0, gzip.size() / 2), std::string("not gzip at all")}) {
      ScriptedServer server(
          ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Encoding", "gzip"}}, body)));
      RecordingDelegate delegate;
      fetch(server.url("/"), delegate,
            [](HTTPRequest& r) { r.setShouldWaitToInflateCompressedResponses(false); });
      ASSERT_EQ(delegate.failed, 1);
      EXPECT_EQ(delegate.error->code, 11);
    }
  }
}

TEST_F(HTTPRequestTest, CompressionBombIsCapped) {
  std::string bomb = testing::gzipText(std::string(20'000'000, '\0'));
  ScriptedServer server(
      ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Encoding", "gzip"}}, bomb)));
  std::uint64_t saved = HTTPRequest::maximumInflatedLength();
  HTTPRequest::setMaximumInflatedLength(1'000'000);
  RecordingDelegate delegate;
  auto request = fetch(server.url("/"), delegate);
  EXPECT_FALSE(request->responseData());
  RecordingDelegate streaming;
  fetch(server.url("/"), streaming,
        [](HTTPRequest& r) { r.setShouldWaitToInflateCompressedResponses(false); });
  ASSERT_EQ(streaming.failed, 1);
  EXPECT_EQ(streaming.error->localizedDescription(), "Decompression of data failed with code -4");
  HTTPRequest::setMaximumInflatedLength(saved);
}

TEST_F(HTTPRequestTest, ReusesThePooledConnectionAndRetriesWhenTheServerClosedIt) {
  std::atomic<int> answered{0};
  ScriptedServer server([&](ServerConnection& connection) {
    // Answer one request per connection on the second connection onwards;
    // the first one answers once, then closes while idle.
    while (auto request = connection.readRequest()) {
      connection.send(httpResponse(200, {}, "n" + std::to_string(++answered)));
      if (request->target == "/close-after") {
        connection.close();
        return;
      }
    }
  });
  RecordingDelegate first;
  auto one = fetch(server.url("/a"), first);
  EXPECT_FALSE(one->usedReusedConnection());
  EXPECT_TRUE(one->connectionCanBeReused());
  RecordingDelegate second;
  auto two = fetch(server.url("/close-after"), second);
  EXPECT_TRUE(two->usedReusedConnection());
  EXPECT_EQ(two->connectionID(), one->connectionID());
  EXPECT_EQ(server.connectionCount(), 1);

  // The server has closed the pooled connection: the next request finds
  // out on the wire and silently starts over on a new one.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  RecordingDelegate third;
  auto three = fetch(server.url("/c"), third);
  EXPECT_EQ(third.finished, 1);
  EXPECT_EQ(third.failed, 0);
  EXPECT_EQ(three->responseString(), "n3");
  EXPECT_EQ(server.connectionCount(), 2);
  EXPECT_LE(three->retryCount(), 1);
}

TEST_F(HTTPRequestTest, IdleConnectionsExpire) {
  ScopedManualClock clock;
  ScriptedServer server(ScriptedServer::alwaysAnswer(
      httpResponse(200, {{"Keep-Alive", "timeout=15, max=100"}}, "ok")));
  RecordingDelegate first;
  auto one = fetch(server.url("/"), first);
  EXPECT_EQ(one->persistentConnectionTimeoutSeconds(), 15);
  clock.clock().advance(14);
  RecordingDelegate second;
  fetch(server.url("/"), second);
  EXPECT_EQ(server.connectionCount(), 1);
  clock.clock().advance(15);  // now exactly at the expiry: closed and dropped
  RecordingDelegate third;
  auto three = fetch(server.url("/"), third);
  EXPECT_FALSE(three->usedReusedConnection());
  EXPECT_EQ(server.connectionCount(), 2);
}

TEST_F(HTTPRequestTest, KeepAliveRulesDecideReuse) {
  struct Case {
    std::vector<std::pair<std::string, std::string>> headers;
    bool reused;
  };
  const std::vector<Case> cases = {
      {{{"Keep-Alive", "timeout=5, max=3"}}, false},
      {{{"Keep-Alive", "max=100, timeout=15"}}, false},  // reusable, but expired at once
      {{{"Connection", "close"}}, false},
      {{}, true},
  };
  for (const auto& c : cases) {
    ConnectionPool::shared().removeAll();
    ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, c.headers, "ok")));
    RecordingDelegate first;
    fetch(server.url("/"), first);
    RecordingDelegate second;
    auto two = fetch(server.url("/"), second);
    EXPECT_EQ(second.finished, 1);
    EXPECT_EQ(two->usedReusedConnection(), c.reused)
        << (c.headers.empty() ? "none" : c.headers[0].second);
  }
}

TEST_F(HTTPRequestTest, WithoutPersistenceEachRequestHasItsOwnConnection) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "ok")));
  for (int i = 0; i < 2; ++i) {
    RecordingDelegate delegate;
    fetch(server.url("/"), delegate,
          [](HTTPRequest& r) { r.setShouldAttemptPersistentConnection(false); });
  }
  EXPECT_EQ(server.connectionCount(), 2);
  EXPECT_EQ(server.requests().at(0).header("connection"), "close");
}

TEST_F(HTTPRequestTest, FollowsFiveRedirectsAndFailsOnTheSixth) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      int hop = std::atoi(request->target.c_str() + 1);
      if (hop > 0) {
        connection.send(httpResponse(302, {{"Location", "/" + std::to_string(hop - 1)}}, "moved"));
      } else {
        connection.send(httpResponse(200, {}, "arrived"));
      }
    }
  });
  RecordingDelegate five({HTTPSelector::requestFinished, HTTPSelector::requestFailed,
                          HTTPSelector::requestRedirected});
  auto ok = fetch(server.url("/5"), five);
  EXPECT_EQ(five.finished, 1);
  EXPECT_EQ(ok->redirectCount(), 5);
  EXPECT_EQ(ok->responseString(), "arrived");
  EXPECT_EQ(ok->url()->absoluteString(), server.url("/0"));
  EXPECT_EQ(ok->originalURL()->absoluteString(), server.url("/5"));

  RecordingDelegate six;
  auto failed = fetch(server.url("/6"), six);
  ASSERT_EQ(six.failed, 1);
  EXPECT_EQ(six.error->code, 9);
  EXPECT_EQ(six.error->localizedDescription(),
            "The request failed because it redirected too many times");
  EXPECT_EQ(failed->redirectCount(), 6);
}

TEST_F(HTTPRequestTest, RedirectsAfterPostChangeMethodExcept307) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target.rfind("/from", 0) == 0) {
        int status = std::atoi(request->target.c_str() + 5);
        connection.send(httpResponse(status, {{"Location", "/to"}}, ""));
      } else {
        connection.send(httpResponse(200, {}, request->method + ":" + request->body));
      }
    }
  });
  for (int status : {301, 302, 303, 307}) {
    RecordingDelegate delegate;
    auto request =
        fetch(server.url("/from" + std::to_string(status)), delegate, [](HTTPRequest& r) {
          r.setRequestMethod("POST");
          r.appendPostData(Data{'b', 'o', 'd', 'y'});
          r.addRequestHeader("X-Custom", "kept?");
        });
    std::string expected = status == 307 ? "POST:body" : "GET:";
    EXPECT_EQ(request->responseString(), expected) << status;
    auto last = server.requests().back();
    EXPECT_EQ(last.header("x-custom").empty(), status != 307) << status;
  }
  // Told to, 301 and 302 keep the method; 303 never does.
  for (int status : {301, 303}) {
    RecordingDelegate delegate;
    auto request =
        fetch(server.url("/from" + std::to_string(status)), delegate, [](HTTPRequest& r) {
          r.setRequestMethod("POST");
          r.appendPostData(Data{'x'});
          r.setShouldUseRFC2616RedirectBehaviour(true);
        });
    EXPECT_EQ(request->responseString(), status == 301 ? "POST:x" : "GET:") << status;
  }
}

TEST_F(HTTPRequestTest, DelegateCanDecideRedirects) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target == "/start") {
        connection.send(httpResponse(301, {{"Location", "http://127.0.0.1:1/elsewhere"}}, ""));
      } else {
        connection.send(httpResponse(200, {}, "chosen"));
      }
    }
  });
  class Chooser : public RecordingDelegate {
   public:
    Chooser()
        : RecordingDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed,
                             HTTPSelector::requestWillRedirectToURL}) {}
    std::string target;
    void requestWillRedirectToURL(HTTPRequest& request, const URL& url) override {
      events.push_back("asked " + url.absoluteString());
      request.redirectToURL(*URL::parse(target));
    }
  } chooser;
  chooser.target = server.url("/mine");
  auto request = fetch(server.url("/start"), chooser);
  EXPECT_EQ(chooser.events.front(), "asked http://127.0.0.1:1/elsewhere");
  EXPECT_EQ(request->responseString(), "chosen");

  // While the delegate thinks, the request can still be cancelled.
  class Hesitant : public RecordingDelegate {
   public:
    Hesitant()
        : RecordingDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed,
                             HTTPSelector::requestWillRedirectToURL}) {}
    void requestWillRedirectToURL(HTTPRequest& request, const URL&) override { request.cancel(); }
  } hesitant;
  fetch(server.url("/start"), hesitant);
  ASSERT_EQ(hesitant.failed, 1);
  EXPECT_EQ(hesitant.error->code, 4);
}

TEST_F(HTTPRequestTest, CookiesAreStoredAndSentBack) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      connection.send(httpResponse(
          200, {{"Set-Cookie", "session=abc; Path=/"}, {"Set-Cookie", "theme=dark"}}, "ok"));
    }
  });
  RecordingDelegate first;
  auto one = fetch(server.url("/login"), first);
  EXPECT_EQ(one->responseCookies().size(), 2u);
  RecordingDelegate second;
  fetch(server.url("/next"), second, [](HTTPRequest& r) {
    Cookie extra;
    extra.name = "mine";
    extra.value = "1";
    r.setRequestCookies({extra});
  });
  EXPECT_EQ(server.requests().at(1).header("cookie"), "mine=1; session=abc; theme=dark");
  RecordingDelegate third;
  fetch(server.url("/private"), third, [](HTTPRequest& r) { r.setUseCookiePersistence(false); });
  EXPECT_EQ(server.requests().at(2).header("cookie"), "");
}

TEST_F(HTTPRequestTest, SilentServerTimesOutAndTricklingOneDoesNot) {
  ScriptedServer silent([](ServerConnection& connection) {
    connection.readRequest();
    connection.pause(5);
  });
  RecordingDelegate delegate;
  auto request = fetch(silent.url("/"), delegate, [](HTTPRequest& r) { r.setTimeOutSeconds(0.5); });
  ASSERT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.error->code, 2);
  EXPECT_EQ(delegate.error->localizedDescription(), "The request timed out");
  EXPECT_EQ(request->retryCount(), 0);

  ScriptedServer trickling([](ServerConnection& connection) {
    connection.readRequest();
    connection.trickle(httpResponse(200, {}, "slow but steady"), 12, 0.3);
  });
  RecordingDelegate patient;
  auto slow = fetch(trickling.url("/"), patient, [](HTTPRequest& r) { r.setTimeOutSeconds(0.8); });
  EXPECT_EQ(patient.finished, 1);
  EXPECT_EQ(slow->responseString(), "slow but steady");
}

// All running requests share one status ticker: each still times out on
// its own, in the order of its own time-out, while a quick one finishes;
// and the ticker starts again after it has gone idle.
TEST_F(HTTPRequestTest, RunningRequestsTimeOutIndependently) {
  ScriptedServer silent([](ServerConnection& connection) {
    connection.readRequest();
    connection.pause(4);
  });
  ScriptedServer quick([](ServerConnection& connection) {
    while (connection.readRequest()) connection.send(httpResponse(200, {}, "quick"));
  });
  std::vector<int> failures;
  std::vector<std::unique_ptr<RecordingDelegate>> delegates;
  const double timeOuts[] = {0.9, 0.3, 0.6};
  for (int i = 0; i < 3; ++i) {
    delegates.push_back(std::make_unique<RecordingDelegate>());
    auto request = HTTPRequest::requestWithURL(mustParse(silent.url("/" + std::to_string(i))));
    request->setDelegate(delegates.back().get());
    request->setTimeOutSeconds(timeOuts[i]);
    request->setFailedBlock([&failures, i] { failures.push_back(i); });
    request->startAsynchronous();
  }
  RecordingDelegate fast;
  auto answered = fetch(quick.url("/"), fast);
  EXPECT_EQ(fast.finished, 1);
  EXPECT_EQ(answered->responseString(), "quick");
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return failures.size() == 3; }, 10));
  EXPECT_EQ(failures, (std::vector<int>{1, 2, 0}));
  for (const auto& delegate : delegates) {
    EXPECT_EQ(delegate->finished, 0);
    ASSERT_TRUE(delegate->error);
    EXPECT_EQ(delegate->error->code, 2);
  }

  // Long enough for the ticker to find nothing to check and stop.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  RecordingDelegate later;
  fetch(silent.url("/later"), later, [](HTTPRequest& r) { r.setTimeOutSeconds(0.3); });
  ASSERT_EQ(later.failed, 1);
  EXPECT_EQ(later.error->code, 2);
}

TEST_F(HTTPRequestTest, TimedOutRequestIsRetriedWhenAllowed) {
  std::atomic<int> attempts{0};
  ScriptedServer server([&](ServerConnection& connection) {
    while (connection.readRequest()) {
      if (++attempts == 1) {
        connection.pause(3);
        return;
      }
      connection.send(httpResponse(200, {}, "second time"));
    }
  });
  RecordingDelegate delegate;
  auto request = fetch(server.url("/"), delegate, [](HTTPRequest& r) {
    r.setTimeOutSeconds(0.4);
    r.setNumberOfTimesToRetryOnTimeout(1);
  });
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(request->retryCount(), 1);
  EXPECT_EQ(request->responseString(), "second time");
  EXPECT_EQ(std::count(delegate.events.begin(), delegate.events.end(), "started"), 2);
}

TEST_F(HTTPRequestTest, BadServersGiveConnectionFailures) {
  const std::vector<std::pair<std::string, std::function<void(ServerConnection&)>>> servers = {
      {"short body",
       [](ServerConnection& c) {
         c.readRequest();
         c.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
         c.close();
       }},
      {"reset mid-body",
       [](ServerConnection& c) {
         c.readRequest();
         c.send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\npartial");
         c.pause(0.1);
         c.reset();
       }},
      {"bad chunk size",
       [](ServerConnection& c) {
         c.readRequest();
         c.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nnothex\r\n");
         c.pause(1);
       }},
      {"huge header",
       [](ServerConnection& c) {
         c.readRequest();
         c.send("HTTP/1.1 200 OK\r\nX-Flood: " + std::string(200000, 'f') + "\r\n\r\n");
         c.pause(1);
       }},
      {"garbage status",
       [](ServerConnection& c) {
         c.readRequest();
         c.send("SSH-2.0-OpenSSH\r\n\r\n");
         c.pause(1);
       }},
  };
  for (const auto& [name, script] : servers) {
    ScriptedServer server(script);
    RecordingDelegate delegate;
    auto request = fetch(server.url("/"), delegate);
    ASSERT_EQ(delegate.failed, 1) << name;
    EXPECT_EQ(delegate.error->code, 1) << name;
    EXPECT_EQ(delegate.error->localizedDescription(), "A connection failure occurred") << name;
    EXPECT_TRUE(delegate.error->underlyingError()) << name;
    EXPECT_EQ(request->rawResponseData().size(), 0u) << name;
  }
}

TEST_F(HTTPRequestTest, ConnectionRefusedAndBadURLs) {
  int port;
  {
    ScriptedServer gone([](ServerConnection&) {});
    port = gone.port();
  }
  RecordingDelegate refused;
  fetch("http://127.0.0.1:" + std::to_string(port) + "/", refused);
  ASSERT_EQ(refused.failed, 1);
  EXPECT_EQ(refused.error->code, 1);

  RecordingDelegate noURL;
  auto request = HTTPRequest::requestWithoutURL();
  request->setDelegate(&noURL);
  request->startAsynchronous();
  ASSERT_TRUE(testing::waitFor(noURL));
  EXPECT_EQ(noURL.error->code, 5);
  EXPECT_EQ(noURL.error->localizedDescription(), "Unable to create request (bad url?)");

  RecordingDelegate ftp;
  fetch("ftp://127.0.0.1/file", ftp);
  EXPECT_EQ(ftp.error->code, 5);
}

TEST_F(HTTPRequestTest, CancellingARunningRequestReportsCode4AndACompletedOneNothing) {
  ScriptedServer server([](ServerConnection& connection) {
    auto request = connection.readRequest();
    if (request && request->target == "/slow") connection.pause(5);
    if (request) connection.send(httpResponse(200, {}, "fast"));
  });
  RecordingDelegate delegate;
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/slow")));
  request->setDelegate(&delegate);
  request->startAsynchronous();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requests().size() == 1; }));
  request->cancel();
  ASSERT_TRUE(testing::waitFor(delegate));
  ASSERT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.error->code, 4);
  EXPECT_EQ(delegate.error->localizedDescription(), "The request was cancelled");
  EXPECT_TRUE(request->cancelled());
  EXPECT_TRUE(request->isCancelled());
  ASSERT_TRUE(testing::waitForFinished(*request));

  RecordingDelegate done;
  auto finished = fetch(server.url("/fast"), done);
  finished->cancel();
  RunLoop::main().runUntil([] { return false; }, 0.2);
  EXPECT_EQ(done.failed, 0);
  EXPECT_EQ(done.finished, 1);
  EXPECT_FALSE(finished->error());
}

TEST_F(HTTPRequestTest, ClearedDelegateHearsNothingAndMissingCallbacksAreSkipped) {
  ScriptedServer server([](ServerConnection& connection) {
    if (connection.readRequest()) connection.pause(5);
  });
  RecordingDelegate cleared;
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/")));
  request->setDelegate(&cleared);
  request->startAsynchronous();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return server.requests().size() == 1; }));
  request->clearDelegatesAndCancel();
  ASSERT_TRUE(testing::waitForFinished(*request));
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(cleared.failed, 0);
  EXPECT_EQ(request->error()->code, 4);

  // A delegate without requestFailed: the failure is silent.
  RecordingDelegate onlyFinish({HTTPSelector::requestFinished});
  auto silent = HTTPRequest::requestWithURL(mustParse("http://127.0.0.1:1/"));
  silent->setDelegate(&onlyFinish);
  silent->startAsynchronous();
  ASSERT_TRUE(testing::waitForFinished(*silent));
  RunLoop::main().runUntilIdle();
  EXPECT_TRUE(onlyFinish.events.empty());
  EXPECT_TRUE(silent->error());
}

TEST_F(HTTPRequestTest, BlocksRunAfterTheDelegate) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "ok")));
  RecordingDelegate delegate;
  std::vector<std::string> order;
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/")));
  request->setDelegate(&delegate);
  request->setStartedBlock(
      [&] { order.push_back("started block after " + delegate.events.back()); });
  request->setHeadersReceivedBlock([&](const HeaderMap&) { order.push_back("headers block"); });
  request->setCompletionBlock(
      [&] { order.push_back("completion block after " + delegate.events.back()); });
  request->startAsynchronous();
  ASSERT_TRUE(testing::waitFor(delegate));
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(order, (std::vector<std::string>{"started block after started", "headers block",
                                             "completion block after finished"}));
}

TEST_F(HTTPRequestTest, DataDelegateReceivesTheBodyInsteadOfTheRequest) {
  std::string body(100000, 'd');
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, body)));
  RecordingDelegate delegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed,
                              HTTPSelector::requestDidReceiveData});
  auto request = fetch(server.url("/"), delegate);
  RunLoop::main().runUntilIdle();
  EXPECT_EQ(delegate.received.size(), body.size());
  EXPECT_TRUE(request->rawResponseData().empty());
}

TEST_F(HTTPRequestTest, SynchronousRequestRunsCallbacksOnTheCallingThread) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "sync")));
  std::thread worker([&] {
    class Delegate : public HTTPRequestDelegate {
     public:
      Delegate() : HTTPRequestDelegate({HTTPSelector::requestFinished}) {}
      std::thread::id thread;
      void requestFinished(HTTPRequest&) override { thread = std::this_thread::get_id(); }
    } delegate;
    auto request = HTTPRequest::requestWithURL(mustParse(server.url("/")));
    request->setDelegate(&delegate);
    request->startSynchronous();
    EXPECT_EQ(request->responseString(), "sync");
    EXPECT_EQ(delegate.thread, std::this_thread::get_id());
  });
  worker.join();
}

TEST_F(HTTPRequestTest, HeaderValuesCannotSplitTheRequest) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "ok")));
  RecordingDelegate delegate;
  fetch(server.url("/"), delegate,
        [](HTTPRequest& r) { r.addRequestHeader("X-Note", "a\r\nX-Injected: yes"); });
  auto sent = server.requests().at(0);
  EXPECT_EQ(sent.header("x-injected"), "");
  EXPECT_EQ(sent.header("x-note"), "a  X-Injected: yes");
}

TEST_F(HTTPRequestTest, BasicCredentialsAnswerAChallenge) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->header("authorization") == "Basic dXNlcjpzZWNyZXQ=") {
        connection.send(httpResponse(200, {}, "welcome"));
      } else {
        connection.send(httpResponse(401, {{"WWW-Authenticate", "Basic realm=\"x\""}}, "no"));
      }
    }
  });
  RecordingDelegate without;
  fetch(server.url("/"), without);
  ASSERT_EQ(without.failed, 1);
  EXPECT_EQ(without.error->code, 3);
  EXPECT_EQ(without.error->localizedDescription(), "Authentication needed");

  RecordingDelegate with;
  auto request = fetch(server.url("/"), with, [](HTTPRequest& r) {
    r.setUsername("user");
    r.setPassword("secret");
    r.setShouldPresentCredentialsBeforeChallenge(false);
  });
  EXPECT_EQ(with.finished, 1);
  EXPECT_EQ(request->responseString(), "welcome");
}

TEST_F(HTTPRequestTest, DownloadsIntoAFileAndInflatesIt) {
  testing::TemporaryDirectory folder;
  std::string text(50000, 'f');
  ScriptedServer server([&](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target == "/zipped") {
        connection.send(httpResponse(200, {{"Content-Encoding", "gzip"}}, testing::gzipText(text)));
      } else {
        connection.send(httpResponse(200, {}, "plain file"));
      }
    }
  });
  for (const char* path : {"/zipped", "/plain"}) {
    RecordingDelegate delegate;
    std::string destination = folder.file(std::string("out-") + (path + 1));
    auto request = fetch(server.url(path), delegate,
                         [&](HTTPRequest& r) { r.setDownloadDestinationPath(destination); });
    ASSERT_EQ(delegate.finished, 1)
        << path << " " << (delegate.error ? delegate.error->localizedDescription() : "");
    EXPECT_TRUE(request->rawResponseData().empty());
    auto contents = FileManager::defaultManager().stringContentsAtPath(destination);
    ASSERT_TRUE(contents) << path;
    EXPECT_EQ(*contents, std::string(path) == "/zipped" ? text : "plain file");
    EXPECT_FALSE(FileManager::defaultManager().fileExists(request->temporaryFileDownloadPath()));
  }
}

TEST_F(HTTPRequestTest, CompressedRequestBodyArrivesAsGzip) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "ok")));
  std::string body(10000, 'b');
  RecordingDelegate delegate;
  auto request = fetch(server.url("/upload"), delegate, [&](HTTPRequest& r) {
    r.setPostBody(Data(body.begin(), body.end()));
    r.setShouldCompressRequestBody(true);
  });
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(request->requestMethod(), "POST");
  auto sent = server.requests().at(0);
  EXPECT_EQ(sent.method, "POST");
  EXPECT_EQ(sent.header("content-encoding"), "gzip");
  auto inflated = DataDecompressor::uncompressData(Data(sent.body.begin(), sent.body.end()));
  ASSERT_TRUE(inflated);
  EXPECT_EQ(std::string(inflated->begin(), inflated->end()), body);
}

// Waits for the request to finish without running the main loop, so that
// everything it posted there is still queued; then runs that and answers
// how many tasks it was.
std::size_t mainThreadTasksOf(HTTPRequest& request) {
  request.startAsynchronous();
  for (int i = 0; i < 10000 && !request.isFinished(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(request.isFinished());
  return RunLoop::main().runUntilIdle();
}

TEST_F(HTTPRequestTest, NobodyListeningMeansOneWakeOfTheMainThread) {
  // The app's own pattern: a delegate with only the end callbacks. Each
  // task posted to the main thread wakes it, so a reply (framed by its
  // length, or by the end of the connection, which reports progress in
  // units) posts only the answer itself.
  HTTPRequest::setShouldUpdateNetworkActivityIndicator(false);
  for (bool lengthless : {false, true}) {
    std::string reply = httpResponse(200, {}, std::string(3000, 'j'), !lengthless);
    ScriptedServer server([reply](ServerConnection& connection) {
      if (connection.readRequest()) connection.send(reply);
      connection.close();
    });
    RecordingDelegate delegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed});
    auto request = HTTPRequest::requestWithURL(mustParse(server.url("/feed")));
    request->setDelegate(&delegate);
    EXPECT_EQ(mainThreadTasksOf(*request), 1u) << lengthless;
    EXPECT_EQ(delegate.finished, 1) << lengthless;
    EXPECT_EQ(request->rawResponseLength(), 3000u) << lengthless;
  }

  // A listener still hears the size and the progress.
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "abcdef")));
  RecordingDelegate delegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed});
  std::int64_t announced = 0;
  std::uint64_t received = 0;
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/feed")));
  request->setDelegate(&delegate);
  request->setDownloadSizeIncrementedBlock([&](std::int64_t size) { announced += size; });
  request->setBytesReceivedBlock([&](std::uint64_t size, std::uint64_t) { received += size; });
  EXPECT_EQ(mainThreadTasksOf(*request), 3u);
  EXPECT_EQ(delegate.finished, 1);
  EXPECT_EQ(announced, 6);
  EXPECT_EQ(received, 6u);
  HTTPRequest::setShouldUpdateNetworkActivityIndicator(true);
}

TEST_F(HTTPRequestTest, EndCallbacksSeeAFinishedRequestThatCanBeSetUpAgain) {
  // The end is reported on the main thread while the network thread may
  // still be finishing the operation; the callback must find it done: not
  // running, finished, its settings open again. Answers and refusals, each
  // the next one started from the callback, as a screen paging a feed does.
  int refusedPort;
  {
    ScriptedServer gone([](ServerConnection&) {});
    refusedPort = gone.port();
  }
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "page")));
  constexpr int kEndRounds = 150;
  struct Checker : HTTPRequestDelegate {
    Checker() : HTTPRequestDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed}) {}
    void requestFinished(HTTPRequest& request) override { check(request); }
    void requestFailed(HTTPRequest& request) override { check(request); }
    void check(HTTPRequest& request) {
      if (!request.isFinished() || request.inProgress()) ++unfinished;
      try {
        request.setTimeOutSeconds(5);
      } catch (const Exception&) {
        ++refusedSettings;
      }
      if (++ended < kEndRounds) next();
    }
    void next() {
      const bool refuse = ended % 3 == 2;
      auto request = HTTPRequest::requestWithURL(
          mustParse(refuse ? "http://127.0.0.1:" + std::to_string(refusedPort) + "/" : url));
      request->setDelegate(this);
      request->startAsynchronous();
      last = request;
    }
    std::string url;
    int refusedPort = 0;
    int ended = 0;
    int unfinished = 0;
    int refusedSettings = 0;
    HTTPRequest::Pointer last;
  } checker;
  checker.url = server.url("/feed");
  checker.refusedPort = refusedPort;
  checker.next();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return checker.ended == kEndRounds; }, 60));
  EXPECT_EQ(checker.unfinished, 0);
  EXPECT_EQ(checker.refusedSettings, 0);
}

TEST_F(HTTPRequestTest, SharedQueueRunsAtMostFourAtOnce) {
  std::atomic<int> running{0};
  std::atomic<int> most{0};
  ScriptedServer server([&](ServerConnection& connection) {
    while (connection.readRequest()) {
      int now = ++running;
      int seen = most.load();
      while (now > seen && !most.compare_exchange_weak(seen, now)) {
      }
      connection.pause(0.2);
      --running;
      connection.send(httpResponse(200, {}, "ok"));
    }
  });
  std::vector<std::unique_ptr<RecordingDelegate>> delegates;
  for (int i = 0; i < 8; ++i) {
    delegates.push_back(std::make_unique<RecordingDelegate>());
    auto request = HTTPRequest::requestWithURL(mustParse(server.url("/" + std::to_string(i))));
    request->setDelegate(delegates.back().get());
    request->startAsynchronous();
  }
  ASSERT_TRUE(RunLoop::main().runUntil(
      [&] {
        return std::all_of(delegates.begin(), delegates.end(),
                           [](const auto& d) { return d->finished == 1; });
      },
      20));
  EXPECT_EQ(most.load(), 4);
}

}  // namespace
}  // namespace lorvane
