// Servers that try to make the client crash, hang, hoard memory or leak
// what it was given. Each one is written out here, byte for byte, on
// loopback.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <thread>

#include "net/bandwidth.h"
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

using testing::fetch;
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
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return !server.requests().empty(); }, 5));
  ASSERT_TRUE(request->inProgress());
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

// Resident memory of this process, from the kernel's own count.
std::size_t residentBytes() {
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (!statm) return 0;
  unsigned long size = 0, resident = 0;
  int read = std::fscanf(statm, "%lu %lu", &size, &resident);
  std::fclose(statm);
  return read == 2 ? resident * static_cast<std::size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

TEST_F(HostileServerTest, AFalseLengthWithinTheLimitCostsNoMemory) {
  // 120 MB announced, a kilobyte sent, then silence: the body is set aside
  // whole for the length, but only the pages written are ever touched.
  std::atomic<bool> sent{false};
  ScriptedServer server([&sent](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    connection.send("HTTP/1.1 200 OK\r\nContent-Length: 125829120\r\n\r\n" +
                    std::string(1024, 'x'));
    sent.store(true);
    connection.pause(0.5);
    connection.close();
  });
  const std::size_t before = residentBytes();
  ASSERT_GT(before, 0u);
  RecordingDelegate delegate;
  auto request = HTTPRequest::requestWithURL(mustParse(server.url("/liar")));
  request->setDelegate(&delegate);
  request->startAsynchronous();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return request->totalBytesRead() >= 1024; }));
  EXPECT_LT(residentBytes(), before + (16u << 20));
  ASSERT_TRUE(testing::waitFor(delegate));
  ASSERT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.error->code, kConnectionFailureErrorType) << describe(delegate);
  EXPECT_TRUE(sent.load());
}

TEST_F(HostileServerTest, ALengthTooLargeToSetAsideStillReadsTheBody) {
  // A caller lifted the limit; the server announces 2^62 bytes, which no
  // system could reserve. Lifting the limit does not lift the reservation,
  // so that is no failure of its own: the body grows as it arrives and the
  // cut-off reply is a connection failure, as any.
  ScriptedServer server([](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    connection.send("HTTP/1.1 200 OK\r\nContent-Length: 4611686018427387904\r\n\r\nabc");
    connection.close();
  });
  RecordingDelegate delegate;
  auto request = fetch(server.url("/vast"), delegate, [](HTTPRequest& r) {
    r.setMaximumResponseBodyLength(std::numeric_limits<std::uint64_t>::max());
  });
  ASSERT_EQ(delegate.failed, 1);
  EXPECT_EQ(delegate.error->code, kConnectionFailureErrorType) << describe(delegate);
  EXPECT_EQ(request->totalBytesRead(), 3u);
}

TEST_F(HostileServerTest, AnAnnouncedBodyArrivesWholeIntoItsReservation) {
  // Large enough for the biggest reads, with a pattern that shows any
  // piece out of place.
  std::string body(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>((i * 131) >> 3);
  ScriptedServer server([&body](ServerConnection& connection) {
    if (!connection.readRequest()) return;
    connection.send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\n\r\n");
    connection.trickle(body, 100000, 0.001);
  });
  RecordingDelegate delegate;
  auto request = fetch(server.url("/whole"), delegate);
  ASSERT_EQ(delegate.finished, 1) << describe(delegate);
  auto data = request->responseData();
  ASSERT_TRUE(data);
  ASSERT_EQ(data->size(), body.size());
  EXPECT_TRUE(std::equal(data->begin(), data->end(), body.begin(),
                         [](std::uint8_t a, char b) { return a == static_cast<std::uint8_t>(b); }));
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

// ---- Connections, files and framing -----------------------------------------

TEST_F(HostileServerTest, ARedirectAwaitingItsDelegateLosesNothingToAnotherRequest) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target == "/moved") {
        connection.send(httpResponse(302, {{"Location", "/target"}}, ""));
      } else {
        connection.send(httpResponse(200, {}, "at " + request->target));
      }
    }
  });
  class Deciding : public RecordingDelegate {
   public:
    Deciding()
        : RecordingDelegate({HTTPSelector::requestFinished, HTTPSelector::requestFailed,
                             HTTPSelector::requestWillRedirectToURL}) {
      followRedirects = false;
    }
    void requestWillRedirectToURL(HTTPRequest& request, const URL& url) override {
      RecordingDelegate::requestWillRedirectToURL(request, url);
      pending = url;
    }
    std::optional<URL> pending;
  };
  Deciding deciding;
  auto redirected = HTTPRequest::requestWithURL(mustParse(server.url("/moved")));
  redirected->setDelegate(&deciding);
  redirected->setTimeOutSeconds(3);
  redirected->startAsynchronous();
  ASSERT_TRUE(RunLoop::main().runUntil([&] { return deciding.pending.has_value(); }, 10));

  // While the delegate thinks, another request to the same server runs.
  RecordingDelegate other;
  auto meanwhile =
      fetch(server.url("/other"), other, [](HTTPRequest& r) { r.setTimeOutSeconds(3); });
  ASSERT_EQ(other.finished, 1) << describe(other);
  EXPECT_EQ(meanwhile->responseString(), "at /other");

  redirected->redirectToURL(*deciding.pending);
  ASSERT_TRUE(testing::waitFor(deciding));
  ASSERT_EQ(deciding.finished, 1) << describe(deciding);
  EXPECT_EQ(redirected->responseString(), "at /target");
}

TEST_F(HostileServerTest, AFailedDownloadLeavesTheFileThatWasThere) {
  TemporaryDirectory folder;
  std::string text(40000, 'g');
  std::string gzip = testing::gzipText(text);
  std::string cut = gzip.substr(0, gzip.size() / 2);
  ScriptedServer server([&](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (request->target == "/cut-gzip") {
        // Framed as complete, but the gzip stream inside stops halfway.
        connection.send(httpResponse(200, {{"Content-Encoding", "gzip"}}, cut));
      } else if (request->target == "/dropped") {
        connection.send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\nonly a part");
        connection.close();
        return;
      } else {
        connection.send(httpResponse(200, {{"Content-Encoding", "gzip"}}, gzip));
      }
    }
  });
  FileManager& files = FileManager::defaultManager();
  std::string destination = folder.file("lesson");
  for (bool inflateAsItArrives : {false, true}) {
    for (const char* path : {"/cut-gzip", "/dropped"}) {
      ASSERT_TRUE(files.writeAtomically(destination, std::string("the old file")));
      RecordingDelegate delegate;
      fetch(server.url(path), delegate, [&](HTTPRequest& r) {
        r.setDownloadDestinationPath(destination);
        r.setShouldWaitToInflateCompressedResponses(!inflateAsItArrives);
      });
      ASSERT_EQ(delegate.failed, 1) << path << inflateAsItArrives;
      EXPECT_EQ(delegate.error->code,
                std::string(path) == "/cut-gzip" ? kCompressionError : kConnectionFailureErrorType)
          << path << " " << describe(delegate);
      EXPECT_EQ(files.stringContentsAtPath(destination), "the old file") << path;
      EXPECT_FALSE(files.fileExists(destination + ".download")) << path;
    }
  }
  RecordingDelegate whole;
  fetch(server.url("/whole"), whole,
        [&](HTTPRequest& r) { r.setDownloadDestinationPath(destination); });
  ASSERT_EQ(whole.finished, 1) << describe(whole);
  EXPECT_EQ(files.stringContentsAtPath(destination), text);
}

// A TLS server for one connection that answers with a body ending at the
// close of the connection, with or without close_notify.
class CloseDelimitedTLSServer {
 public:
  CloseDelimitedTLSServer(const testing::SelfSignedCertificate& certificate, bool closeNotify) {
    context_ = SSL_CTX_new(TLS_server_method());
    SSL_CTX_use_certificate_file(context_, certificate.certificatePath.c_str(), SSL_FILETYPE_PEM);
    SSL_CTX_use_PrivateKey_file(context_, certificate.keyPath.c_str(), SSL_FILETYPE_PEM);
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(listener_, 4);
    socklen_t size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this, closeNotify] {
      int fd = ::accept(listener_, nullptr, nullptr);
      if (fd < 0) return;
      SSL* ssl = SSL_new(context_);
      SSL_set_fd(ssl, fd);
      if (SSL_accept(ssl) == 1) {
        char buffer[4096];
        SSL_read(ssl, buffer, sizeof buffer);
        std::string reply = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nthe body so far";
        SSL_write(ssl, reply.data(), static_cast<int>(reply.size()));
        if (closeNotify) SSL_shutdown(ssl);
      }
      ::shutdown(fd, SHUT_WR);
      ::usleep(200000);
      SSL_free(ssl);
      ::close(fd);
    });
  }
  ~CloseDelimitedTLSServer() {
    ::shutdown(listener_, SHUT_RDWR);
    ::close(listener_);
    thread_.join();
    SSL_CTX_free(context_);
  }
  std::string url() const { return "https://127.0.0.1:" + std::to_string(port_) + "/"; }

 private:
  SSL_CTX* context_ = nullptr;
  int listener_ = -1;
  int port_ = 0;
  std::thread thread_;
};

TEST_F(HostileServerTest, ATLSBodyCutWithoutCloseNotifyIsNotComplete) {
  TemporaryDirectory folder;
  testing::SelfSignedCertificate certificate;
  ASSERT_TRUE(testing::SelfSignedCertificate::create(folder.path(), &certificate));
  for (bool closeNotify : {false, true}) {
    CloseDelimitedTLSServer server(certificate, closeNotify);
    RecordingDelegate delegate;
    auto request = fetch(server.url(), delegate,
                         [](HTTPRequest& r) { r.setValidatesSecureCertificate(false); });
    if (closeNotify) {
      ASSERT_EQ(delegate.finished, 1) << describe(delegate);
      EXPECT_EQ(request->responseString(), "the body so far");
    } else {
      ASSERT_EQ(delegate.failed, 1);
      EXPECT_EQ(delegate.error->code, kConnectionFailureErrorType);
    }
  }
}

TEST_F(HostileServerTest, ThrottledReadsAreNotSilence) {
  std::string body(3000, 't');
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, body)));
  HTTPRequest::setMaxBandwidthPerSecond(1000);
  RecordingDelegate delegate;
  // Held back by the limit for longer than the time-out, yet never silent.
  auto request = fetch(
      server.url("/slowly"), delegate, [](HTTPRequest& r) { r.setTimeOutSeconds(0.75); }, 20);
  HTTPRequest::setMaxBandwidthPerSecond(0);
  ASSERT_EQ(delegate.finished, 1) << describe(delegate);
  EXPECT_EQ(request->responseString(), body);
}

TEST_F(HostileServerTest, HeadStaysHeadAcrossRedirects) {
  for (int status : {301, 302, 303}) {
    std::string body(5000, 'b');
    ScriptedServer server([&](ServerConnection& connection) {
      while (auto request = connection.readRequest()) {
        if (request->target == "/old") {
          connection.send(httpResponse(status, {{"Location", "/new"}}, ""));
        } else if (request->method == "HEAD") {
          connection.send("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n");
        } else {
          connection.send(httpResponse(200, {}, body));
        }
      }
    });
    RecordingDelegate delegate;
    auto request =
        fetch(server.url("/old"), delegate, [](HTTPRequest& r) { r.setRequestMethod("HEAD"); });
    ASSERT_EQ(delegate.finished, 1) << status << " " << describe(delegate);
    auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[1].method, "HEAD") << status;
    EXPECT_EQ(request->totalBytesRead(), 0u) << status;
  }
}

TEST_F(HostileServerTest, BytesPastTheReplyAreTreatedAlikeWhenEverTheyCome) {
  for (bool sameRead : {true, false}) {
    ScriptedServer server([&](ServerConnection& connection) {
      while (connection.readRequest()) {
        std::string reply = httpResponse(200, {}, "reply");
        if (sameRead) {
          connection.send(reply + "HTTP/1.1 200 OK\r\n\r\nextra");
        } else {
          connection.send(reply);
          connection.pause(0.2);
          connection.send("unasked bytes");
        }
      }
    });
    for (int i = 0; i < 2; ++i) {
      RecordingDelegate delegate;
      auto request = fetch(server.url("/"), delegate);
      ASSERT_EQ(delegate.finished, 1) << sameRead << " " << describe(delegate);
      EXPECT_EQ(request->responseString(), "reply");
      if (i == 0 && !sameRead) {
        RunLoop::main().runUntil([] { return false; }, 0.4);  // let the stray bytes arrive
      }
    }
    EXPECT_EQ(server.connectionCount(), 2) << "a connection with stray bytes is not used again";
  }
}

TEST_F(HostileServerTest, EveryGzipMemberIsInflated) {
  std::string twoMembers = testing::gzipText("first member, ") + testing::gzipText("second member");
  ScriptedServer server(
      ScriptedServer::alwaysAnswer(httpResponse(200, {{"Content-Encoding", "gzip"}}, twoMembers)));
  for (bool inflateAsItArrives : {false, true}) {
    RecordingDelegate delegate;
    auto request = fetch(server.url("/"), delegate, [&](HTTPRequest& r) {
      r.setShouldWaitToInflateCompressedResponses(!inflateAsItArrives);
    });
    ASSERT_EQ(delegate.finished, 1) << describe(delegate);
    auto data = request->responseData();
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(data->begin(), data->end()), "first member, second member");
  }
}

}  // namespace
}  // namespace lorvane
