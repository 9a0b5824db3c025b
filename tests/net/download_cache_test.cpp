#include "net/download_cache.h"

#include <gtest/gtest.h>

#include <atomic>

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

class DownloadCacheTest : public testing::NetTest {
 protected:
  void SetUp() override {
    NetTest::SetUp();
    cache_ = std::make_shared<DownloadCache>();
    cache_->setStoragePath(folder_.path() + "/cache");
  }

  HTTPRequest::Pointer fetch(const std::string& url, int policy = 0,
                             const std::function<void(HTTPRequest&)>& configure = {}) {
    RecordingDelegate delegate;
    auto request = HTTPRequest::requestWithURL(mustParse(url), cache_, policy);
    request->setDelegate(&delegate);
    if (configure) configure(*request);
    request->startAsynchronous();
    EXPECT_TRUE(testing::waitFor(delegate));
    lastFailed_ = delegate.failed;
    return request;
  }

  TemporaryDirectory folder_;
  std::shared_ptr<DownloadCache> cache_;
  int lastFailed_ = 0;
};

TEST_F(DownloadCacheTest, KeysFilesAndPolicies) {
  URL page = mustParse("http://example.test/lessons/");
  EXPECT_EQ(DownloadCache::keyForURL(page),
            DownloadCache::keyForURL(mustParse("http://example.test/lessons")));
  EXPECT_EQ(DownloadCache::keyForURL(page).size(), 32u);
  EXPECT_EQ(DownloadCache::keyForURL(*URL::parse("a")), "0CC175B9C0F1B6A831C399E269772661");

  DownloadCache fresh;
  EXPECT_EQ(fresh.defaultCachePolicy(), 4);
  fresh.setDefaultCachePolicy(0);
  EXPECT_EQ(fresh.defaultCachePolicy(), 4);
  fresh.setDefaultCachePolicy(16);
  EXPECT_EQ(fresh.defaultCachePolicy(), 16);

  bool isDirectory = false;
  EXPECT_TRUE(FileManager::defaultManager().fileExists(folder_.path() + "/cache/SessionStore",
                                                       &isDirectory));
  EXPECT_TRUE(isDirectory);
  EXPECT_TRUE(FileManager::defaultManager().fileExists(folder_.path() + "/cache/PermanentStore"));
}

TEST_F(DownloadCacheTest, DatesRoundTripInBothForms) {
  DateSeconds date = 784111777;  // Sun, 06 Nov 1994 08:49:37 GMT
  EXPECT_EQ(DownloadCache::formatRFC1123Date(date), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_EQ(DownloadCache::parseRFC1123Date("Sun, 06 Nov 1994 08:49:37 GMT"), date);
  EXPECT_EQ(DownloadCache::parseRFC1123Date("06 Nov 1994 08:49 GMT"), date - 37);
  EXPECT_FALSE(DownloadCache::parseRFC1123Date("yesterday"));
  EXPECT_FALSE(DownloadCache::parseRFC1123Date("Sun, 06 Foo 1994 08:49:37 GMT"));
}

TEST_F(DownloadCacheTest, StoresOnlyWhatTheServerAllows) {
  ScriptedServer server([](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      std::vector<std::pair<std::string, std::string>> headers = {{"Cache-Control", "max-age=600"}};
      if (request->target == "/nostore") headers = {{"Cache-Control", "no-store"}};
      if (request->target == "/private") headers = {{"Cache-Control", "private, no-store"}};
      if (request->target == "/pragma") headers = {{"Pragma", "No-Cache"}};
      int status = request->target == "/missing" ? 404 : 200;
      connection.send(httpResponse(status, headers, "body of " + request->target));
    }
  });
  for (const char* path : {"/nostore", "/private", "/pragma", "/missing", "/plain.json"}) {
    fetch(server.url(path));
  }
  auto stored = [&](const char* path) {
    return !cache_->pathToCachedResponseDataForURL(mustParse(server.url(path))).empty();
  };
  EXPECT_FALSE(stored("/nostore"));
  EXPECT_TRUE(stored("/private")) << "only the exact values are refused";
  EXPECT_FALSE(stored("/pragma"));
  EXPECT_FALSE(stored("/missing"));
  EXPECT_TRUE(stored("/plain.json"));
  std::string dataPath =
      cache_->pathToCachedResponseDataForURL(mustParse(server.url("/plain.json")));
  EXPECT_EQ(pathExtension(dataPath), "json");
  EXPECT_NE(dataPath.find("/SessionStore/"), std::string::npos);
  auto headers = cache_->cachedResponseHeadersForURL(mustParse(server.url("/plain.json")));
  ASSERT_TRUE(headers);
  EXPECT_TRUE(DownloadCache::parseRFC1123Date(headerValue(*headers, "X-HTTPRequest-Fetch-date")));

  cache_->setShouldRespectCacheControlHeaders(false);
  fetch(server.url("/nostore"));
  EXPECT_TRUE(stored("/nostore"));
}

TEST_F(DownloadCacheTest, AnswersFromTheCacheUntilMaxAgeRunsOut) {
  ScopedManualClock clock;
  std::atomic<int> hits{0};
  ScriptedServer server([&](ServerConnection& connection) {
    while (connection.readRequest()) {
      ++hits;
      connection.send(
          httpResponse(200,
                       {{"Cache-Control", "max-age=100"},
                        {"Expires", "Sun, 06 Nov 1994 08:49:37 GMT"},
                        {"Content-Encoding", "gzip"}},
                       testing::gzipText("cached answer " + std::to_string(hits.load()))));
    }
  });
  auto first = fetch(server.url("/feed"));
  EXPECT_FALSE(first->didUseCachedResponse());
  auto second = fetch(server.url("/feed/"));  // the same entry
  EXPECT_TRUE(second->didUseCachedResponse());
  EXPECT_EQ(second->responseString(), "cached answer 1");
  EXPECT_FALSE(second->isResponseCompressed()) << "stored inflated";
  EXPECT_EQ(hits.load(), 1);
  clock.clock().advance(101);
  auto third = fetch(server.url("/feed"));
  EXPECT_FALSE(third->didUseCachedResponse());
  EXPECT_EQ(third->responseString(), "cached answer 2");
  EXPECT_EQ(hits.load(), 2);

  // Policies that never read, or always read.
  auto bypass = fetch(server.url("/feed"), kDoNotReadFromCacheCachePolicy);
  EXPECT_FALSE(bypass->didUseCachedResponse());
  clock.clock().advance(1000);
  auto always = fetch(server.url("/feed"), kOnlyLoadIfNotCachedCachePolicy);
  EXPECT_TRUE(always->didUseCachedResponse());
}

TEST_F(DownloadCacheTest, WithoutMaxAgeOrExpiresNothingIsCurrent) {
  std::atomic<int> hits{0};
  ScriptedServer server([&](ServerConnection& connection) {
    while (connection.readRequest()) {
      ++hits;
      connection.send(httpResponse(200, {}, "fresh"));
    }
  });
  fetch(server.url("/x"));
  auto again = fetch(server.url("/x"));
  EXPECT_FALSE(again->didUseCachedResponse());
  EXPECT_EQ(hits.load(), 2);
}

TEST_F(DownloadCacheTest, ConditionalRequestUsesTheStoredReplyOnNotModified) {
  std::atomic<int> hits{0};
  ScriptedServer server([&](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      ++hits;
      if (request->header("if-none-match") == "\"v1\"") {
        connection.send(httpResponse(304, {{"Etag", "\"v1\""}}, "", false));
      } else {
        connection.send(httpResponse(
            200, {{"Etag", "\"v1\""}, {"Last-Modified", "Sun, 06 Nov 1994 08:49:37 GMT"}},
            "original"));
      }
    }
  });
  cache_->setShouldRespectCacheControlHeaders(false);
  fetch(server.url("/doc"), kAskServerIfModifiedCachePolicy);
  auto second = fetch(server.url("/doc"), kAskServerIfModifiedCachePolicy);
  EXPECT_EQ(hits.load(), 2);
  auto requests = server.requests();
  EXPECT_EQ(requests[1].header("if-none-match"), "\"v1\"");
  EXPECT_EQ(requests[1].header("if-modified-since"), "Sun, 06 Nov 1994 08:49:37 GMT");
  EXPECT_TRUE(second->didUseCachedResponse());
  EXPECT_EQ(second->responseStatusCode(), 200);
  EXPECT_EQ(second->responseString(), "original");
}

TEST_F(DownloadCacheTest, NotModifiedRevivesAStaleEntryAndRefreshesIt) {
  std::atomic<int> hits{0};
  ScriptedServer server([&](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      ++hits;
      if (request->header("if-none-match") == "\"v1\"") {
        connection.send(
            httpResponse(304, {{"Etag", "\"v1\""}, {"Cache-Control", "max-age=600"}}, "", false));
      } else {
        // No max-age and no Expires: stale as soon as it is stored.
        connection.send(httpResponse(200, {{"Etag", "\"v1\""}}, "original"));
      }
    }
  });
  fetch(server.url("/doc"));
  // The default policy asks the server about the stale entry.
  auto second = fetch(server.url("/doc"));
  EXPECT_EQ(hits.load(), 2);
  EXPECT_EQ(lastFailed_, 0);
  EXPECT_TRUE(second->didUseCachedResponse());
  EXPECT_EQ(second->responseStatusCode(), 200);
  EXPECT_EQ(second->responseString(), "original");
  // Refreshed with the 304's freshness, the entry now answers alone.
  auto third = fetch(server.url("/doc"));
  EXPECT_EQ(hits.load(), 2);
  EXPECT_TRUE(third->didUseCachedResponse());
  EXPECT_EQ(third->responseString(), "original");
}

TEST_F(DownloadCacheTest, DamagedEntriesAreFetchedAgain) {
  std::atomic<int> hits{0};
  ScriptedServer server([&](ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      ++hits;
      EXPECT_EQ(request->header("if-none-match"), "") << "a damaged entry is not validated";
      connection.send(
          httpResponse(200, {{"Etag", "\"v1\""}, {"Cache-Control", "max-age=600"}}, "0123456789"));
    }
  });
  FileManager& files = FileManager::defaultManager();
  const URL url = mustParse(server.url("/whole"));
  fetch(server.url("/whole"));
  ASSERT_EQ(hits.load(), 1);

  // A body cut short on disk is never served as the whole reply.
  std::string dataPath = cache_->pathToCachedResponseDataForURL(url);
  ASSERT_TRUE(files.writeAtomically(dataPath, std::string("01234")));
  auto truncated = fetch(server.url("/whole"), kOnlyLoadIfNotCachedCachePolicy);
  EXPECT_EQ(hits.load(), 2);
  EXPECT_FALSE(truncated->didUseCachedResponse());
  EXPECT_EQ(truncated->responseString(), "0123456789");

  // A headers file that cannot be read, while asking the server.
  ASSERT_TRUE(files.writeAtomically(cache_->pathToCachedResponseHeadersForURL(url),
                                    std::string("not\theaders\nat all")));
  auto corrupt = fetch(server.url("/whole"), kAskServerIfModifiedCachePolicy);
  EXPECT_EQ(lastFailed_, 0);
  EXPECT_EQ(hits.load(), 3);
  EXPECT_EQ(corrupt->responseStatusCode(), 200);
  EXPECT_EQ(corrupt->responseString(), "0123456789");
}

TEST_F(DownloadCacheTest, FallsBackToTheCacheWhenTheLoadFails) {
  std::string url;
  {
    ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "remembered")));
    url = server.url("/offline");
    fetch(url);
  }
  auto request = fetch(url, kFallbackToCacheIfLoadFailsCachePolicy);
  EXPECT_EQ(lastFailed_, 0);
  EXPECT_TRUE(request->didUseCachedResponse());
  EXPECT_EQ(request->responseString(), "remembered");
}

TEST_F(DownloadCacheTest, ChangingTheStoragePathEmptiesTheOldSessionStore) {
  ScriptedServer server(ScriptedServer::alwaysAnswer(httpResponse(200, {}, "kept")));
  fetch(server.url("/session"));
  fetch(server.url("/permanent"), 0,
        [](HTTPRequest& r) { r.setCacheStoragePolicy(kCachePermanentlyCacheStoragePolicy); });
  std::string old = folder_.path() + "/cache";
  EXPECT_EQ(FileManager::defaultManager().contentsOfDirectory(old + "/SessionStore").size(), 2u);
  cache_->setStoragePath(folder_.path() + "/other");
  EXPECT_EQ(FileManager::defaultManager().contentsOfDirectory(old + "/SessionStore").size(), 0u);
  EXPECT_EQ(FileManager::defaultManager().contentsOfDirectory(old + "/PermanentStore").size(), 2u);

  cache_->setStoragePath(old);
  EXPECT_FALSE(cache_->pathToCachedResponseDataForURL(mustParse(server.url("/permanent"))).empty());
  cache_->clearCachedResponsesForStoragePolicy(kCachePermanentlyCacheStoragePolicy);
  EXPECT_TRUE(cache_->pathToCachedResponseDataForURL(mustParse(server.url("/permanent"))).empty());
}

TEST_F(DownloadCacheTest, StoragePathBlockedByAFileThrows) {
  folder_.write("blocked", "x");
  DownloadCache cache;
  try {
    cache.setStoragePath(folder_.file("blocked"));
    FAIL() << "no exception";
  } catch (const Exception& exception) {
    EXPECT_EQ(exception.name(), "FileExistsAtCachePath");
    EXPECT_EQ(exception.reason(), "Cannot create a directory for the cache at '" +
                                      folder_.file("blocked") + "', because a file already exists");
  }
}

TEST_F(DownloadCacheTest, HeadersFileSurvivesAwkwardValues) {
  HeaderMap headers;
  headers["X-Odd"] = "tab\there\\ and\nnewline";
  headers["Empty"] = "";
  auto parsed = DownloadCache::parseHeaders(DownloadCache::serializeHeaders(headers));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(*parsed, headers);
  EXPECT_FALSE(DownloadCache::parseHeaders("no tab here\n"));
  EXPECT_FALSE(DownloadCache::parseHeaders("cut\tshort"));
}

}  // namespace
}  // namespace lorvane
