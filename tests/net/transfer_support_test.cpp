#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>
#include <vector>

#include "net/bandwidth.h"
#include "net/connection_pool.h"
#include "net/cookie_store.h"
#include "net/network_activity.h"
#include "net/network_thread.h"
#include "net/text_encoding.h"
#include "net_test_support.h"
#include "platform/foundation/clock.h"

namespace lorvane {
namespace {

using testing::mustParse;

HeaderMap headersOf(std::initializer_list<std::pair<const std::string, std::string>> fields) {
  HeaderMap map;
  for (const auto& [name, value] : fields) map[name] = value;
  return map;
}

TEST(ConnectionReuseTest, ConnectionAndKeepAliveHeadersDecide) {
  auto plain = decideConnectionReuse(11, headersOf({}), 60);
  EXPECT_TRUE(plain.canBeReused);
  EXPECT_EQ(plain.timeoutSeconds, 60);

  EXPECT_FALSE(decideConnectionReuse(11, headersOf({{"Connection", "Close"}}), 60).canBeReused);
  EXPECT_FALSE(decideConnectionReuse(10, headersOf({}), 60).canBeReused);
  EXPECT_TRUE(decideConnectionReuse(10, headersOf({{"Connection", "Keep-Alive"}}), 60).canBeReused);

  auto fewRequestsLeft =
      decideConnectionReuse(11, headersOf({{"Keep-Alive", "timeout=5, max=3"}}), 60);
  EXPECT_FALSE(fewRequestsLeft.canBeReused);

  auto generous = decideConnectionReuse(11, headersOf({{"keep-alive", "timeout=15, max=100"}}), 60);
  EXPECT_TRUE(generous.canBeReused);
  EXPECT_EQ(generous.timeoutSeconds, 15);

  auto maxFirst = decideConnectionReuse(11, headersOf({{"Keep-Alive", "max=100, timeout=15"}}), 60);
  EXPECT_TRUE(maxFirst.canBeReused);
  EXPECT_EQ(maxFirst.timeoutSeconds, 0);
}

TEST(ConnectionPoolTest, EntriesAreSharedByHostSchemeAndPortAndExpire) {
  ScopedManualClock clock;
  ConnectionPool& pool = ConnectionPool::shared();
  pool.removeAll();
  URL a = mustParse("http://example.test:8080/x");
  URL sameHost = mustParse("http://example.test:8080/other");
  URL otherPort = mustParse("http://example.test:8081/x");

  auto first = pool.takeEntry(a, true, nullptr, 1);
  auto busy = pool.takeEntry(sameHost, true, nullptr, 2);
  EXPECT_NE(first, busy) << "an entry in use is not shared";
  pool.releaseEntry(first, 60);
  auto reused = pool.takeEntry(sameHost, true, nullptr, 3);
  EXPECT_EQ(reused, first);
  EXPECT_EQ(*reused->request, 3u);
  EXPECT_NE(pool.takeEntry(otherPort, true, nullptr, 4), first);

  auto secure = pool.takeEntry(mustParse("https://example.test/"), false, nullptr, 5);
  pool.releaseEntry(secure, 60);
  EXPECT_NE(pool.takeEntry(mustParse("https://example.test/"), true, nullptr, 6), secure)
      << "an unchecked TLS connection must not serve a checked request";

  pool.releaseEntry(reused, 60);
  std::size_t before = pool.entryCount();
  clock.clock().advance(60);
  pool.expirePersistentConnections();
  EXPECT_EQ(pool.entryCount(), before - 2) << "both idle entries expired at now + 60";
  pool.removeAll();
}

TEST(CookieTest, ParsesAttributesAndMatchesRequests) {
  URL from = mustParse("https://www.example.test/shop/cart");
  DateSeconds now = 1.7e9;
  auto cookie = parseSetCookie("id=42; Path=/shop; Secure; HttpOnly; Max-Age=100", from, now);
  ASSERT_TRUE(cookie);
  EXPECT_EQ(cookie->name, "id");
  EXPECT_EQ(cookie->value, "42");
  EXPECT_TRUE(cookie->secure);
  EXPECT_TRUE(cookie->httpOnly);
  EXPECT_EQ(*cookie->expiresDate, now + 100);
  EXPECT_FALSE(cookie->matches(mustParse("http://www.example.test/shop"), now)) << "secure";
  EXPECT_TRUE(cookie->matches(mustParse("https://www.example.test/shop/x"), now));
  EXPECT_FALSE(cookie->matches(mustParse("https://www.example.test/shopping"), now));
  EXPECT_FALSE(cookie->matches(mustParse("https://other.example.test/shop"), now)) << "host only";
  EXPECT_FALSE(cookie->matches(mustParse("https://www.example.test/shop"), now + 101)) << "expired";

  auto defaultPath = parseSetCookie("a=b", from, now);
  ASSERT_TRUE(defaultPath);
  EXPECT_EQ(defaultPath->path, "/shop");
  EXPECT_FALSE(defaultPath->expiresDate);

  auto dated = parseSetCookie("a=b; Expires=Sun, 06 Nov 1994 08:49:37 GMT", from, now);
  ASSERT_TRUE(dated);
  EXPECT_TRUE(dated->isExpired(now));
}

TEST(CookieTest, DomainAttributeMustCoverTheHost) {
  URL from = mustParse("http://www.example.test/");
  DateSeconds now = 1.7e9;
  auto parent = parseSetCookie("a=1; Domain=.example.test", from, now);
  ASSERT_TRUE(parent);
  EXPECT_FALSE(parent->hostOnly);
  EXPECT_TRUE(parent->matches(mustParse("http://api.example.test/"), now));
  EXPECT_FALSE(parent->matches(mustParse("http://badexample.test/"), now));

  EXPECT_FALSE(parseSetCookie("a=1; Domain=evil.test", from, now));
  EXPECT_FALSE(parseSetCookie("a=1; Domain=ww.example.test", from, now));
  EXPECT_FALSE(parseSetCookie("novalue", from, now));
  EXPECT_FALSE(parseSetCookie("=x", from, now));

  // A single label is a top-level domain, never one a site may claim.
  EXPECT_FALSE(parseSetCookie("a=1; Domain=test", from, now));
  EXPECT_FALSE(parseSetCookie("a=1; Domain=.com", mustParse("http://shop.example.com/"), now));
  // A host that is itself a single label keeps its cookie for itself.
  auto local = parseSetCookie("a=1; Domain=localhost", mustParse("http://localhost/"), now);
  ASSERT_TRUE(local);
  EXPECT_TRUE(local->hostOnly);
  EXPECT_FALSE(local->matches(mustParse("http://other.localhost/"), now));
}

TEST(CookieTest, SecureCookiesStayOnHTTPS) {
  DateSeconds now = 1.7e9;
  EXPECT_FALSE(parseSetCookie("s=1; Secure", mustParse("http://www.example.test/"), now))
      << "a secure cookie cannot come over plain http";
  auto secure = parseSetCookie("s=1; Secure", mustParse("https://www.example.test/"), now);
  ASSERT_TRUE(secure);
  CookieStore& store = CookieStore::shared();
  store.removeAll();
  store.setCookies({*secure});
  EXPECT_TRUE(store.cookiesForURL(mustParse("http://www.example.test/")).empty());
  EXPECT_EQ(store.cookiesForURL(mustParse("https://www.example.test/")).size(), 1u);
  store.removeAll();
}

TEST(CookieTest, StoreReplacesAndForgetsExpiredCookies) {
  CookieStore& store = CookieStore::shared();
  store.removeAll();
  URL from = mustParse("http://store.example.test/");
  DateSeconds now = currentDate();
  store.setCookies(
      {*parseSetCookie("k=1", from, now), *parseSetCookie("deep=1; Path=/a/b", from, now)});
  store.setCookies({*parseSetCookie("k=2", from, now)});
  auto sent = store.cookiesForURL(mustParse("http://store.example.test/a/b/c"));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].name, "deep") << "longer paths first";
  EXPECT_EQ(sent[1].value, "2");
  store.setCookies({*parseSetCookie("k=gone; Max-Age=0", from, now)});
  EXPECT_EQ(store.cookiesForURL(from).size(), 0u);
  store.removeAll();
}

TEST(NetworkThreadTest, AThrowingTaskOrCheckLeavesTheThreadAndTheTickerRunning) {
  NetworkThread& thread = NetworkThread::shared();
  std::atomic<int> ticks{0};
  auto throwing = thread.scheduleStatusCheck([] { throw std::runtime_error("check"); });
  auto counting = thread.scheduleStatusCheck([&] { ++ticks; });
  thread.post([] { throw std::runtime_error("task"); });
  std::atomic<bool> ran{false};
  thread.post([&] { ran.store(true); });
  for (int i = 0; i < 400 && (ticks.load() < 3 || !ran.load()); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(ran.load());
  EXPECT_GE(ticks.load(), 3);
  throwing->invalidate();
  counting->invalidate();
}

TEST(NetworkThreadTest, PostsRunInOrderFromEveryThreadAwakeOrAsleep) {
  // Four posting threads, each with bursts (taken while the network thread
  // is awake) and pauses long enough for it to fall asleep in between:
  // every task runs once, on the network thread, in each poster's order.
  NetworkThread& thread = NetworkThread::shared();
  constexpr int kPosters = 4;
  constexpr int kTasks = 600;
  std::vector<std::vector<int>> seen(kPosters);  // touched on the network thread only
  std::atomic<int> ran{0};
  std::atomic<int> offThread{0};
  std::vector<std::thread> posters;
  for (int poster = 0; poster < kPosters; ++poster) {
    posters.emplace_back([&, poster] {
      for (int i = 0; i < kTasks; ++i) {
        EXPECT_TRUE(thread.post([&, poster, i] {
          if (!thread.isCurrentThread()) ++offThread;
          seen[poster].push_back(i);
          ++ran;
        }));
        if (i % 50 == 49) std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }
  for (auto& poster : posters) poster.join();
  for (int i = 0; i < 500 && ran.load() < kPosters * kTasks; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(ran.load(), kPosters * kTasks);
  // The last tasks were run; reading what they wrote goes through the
  // thread itself.
  std::atomic<bool> read{false};
  std::vector<std::vector<int>> copy;
  thread.post([&] {
    copy = seen;
    read.store(true);
  });
  for (int i = 0; i < 500 && !read.load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_TRUE(read.load());
  EXPECT_EQ(offThread.load(), 0);
  std::vector<int> expected(kTasks);
  for (int i = 0; i < kTasks; ++i) expected[i] = i;
  for (int poster = 0; poster < kPosters; ++poster) EXPECT_EQ(copy[poster], expected) << poster;
}

TEST(NetworkThreadTest, ATaskPostedToTheSleepingThreadWakesIt) {
  // Long enough idle for the thread to be asleep; the next post must still
  // run at once, without waiting for any other event.
  NetworkThread& thread = NetworkThread::shared();
  for (int round = 0; round < 5; ++round) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::atomic<bool> ran{false};
    thread.post([&] { ran.store(true); });
    for (int i = 0; i < 500 && !ran.load(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_TRUE(ran.load()) << round;
  }
}

TEST(NetworkThreadTest, ExpectingWorkLingersForTheNextPostAndThenSleeps) {
  // A ping-pong like a caller that starts its next request as soon as the
  // last one answered: each task says more work is due, the next post
  // comes from here. All run, in order; afterwards the thread goes back to
  // sleep instead of looking for work for ever.
  NetworkThread& thread = NetworkThread::shared();
  std::vector<int> order;  // network thread only, read after the last task
  std::atomic<int> ran{0};
  for (int i = 0; i < 300; ++i) {
    ASSERT_TRUE(thread.post([&, i] {
      order.push_back(i);
      thread.expectWorkSoon();
      ran.store(i + 1);
    }));
    for (int wait = 0; wait < 20000 && ran.load() <= i; ++wait) std::this_thread::yield();
    ASSERT_EQ(ran.load(), i + 1);
  }
  std::vector<int> expected(300);
  for (int i = 0; i < 300; ++i) expected[i] = i;
  EXPECT_EQ(order, expected);

  // Said off the network thread, it changes nothing.
  thread.expectWorkSoon();
  const std::clock_t cpuBefore = std::clock();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  const double cpuSeconds = static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
  // A thread still looking would have used a good part of the half second.
  EXPECT_LT(cpuSeconds, 0.1);
}

TEST(TextEncodingTest, NamesAndDecoding) {
  EXPECT_EQ(encodingForIANACharsetName("UTF-8"), kUTF8StringEncoding);
  EXPECT_EQ(encodingForIANACharsetName("iso-8859-1"), kISOLatin1StringEncoding);
  EXPECT_EQ(encodingForIANACharsetName("GBK"), kGBKStringEncoding);
  EXPECT_FALSE(encodingForIANACharsetName("\"utf-8\""));
  EXPECT_FALSE(encodingForIANACharsetName("klingon"));

  const std::uint8_t latin[] = {'c', 'a', 'f', 0xE9};
  EXPECT_EQ(decodeString(latin, 4, kISOLatin1StringEncoding), "caf\xC3\xA9");
  EXPECT_FALSE(decodeString(latin, 4, kUTF8StringEncoding));
  const std::uint8_t gbk[] = {0xC4, 0xE3, 0xBA, 0xC3};  // 你好
  EXPECT_EQ(decodeString(gbk, 4, kGBKStringEncoding), "\xE4\xBD\xA0\xE5\xA5\xBD");
  const std::uint8_t brokenGBK[] = {0xC4};
  EXPECT_FALSE(decodeString(brokenGBK, 1, kGBKStringEncoding));
  EXPECT_FALSE(isValidUTF8("\xED\xA0\x80"));  // a surrogate
  EXPECT_FALSE(isValidUTF8("\xC0\xAF"));      // overlong
  EXPECT_TRUE(isValidUTF8("\xF0\x9F\x98\x80"));
}

TEST(BandwidthTest, AveragesPerSecondWindowsAndThrottles) {
  ScopedManualClock clock;
  Bandwidth::reset();
  Bandwidth::recordBandwidthUsage();  // opens the first window
  for (int second = 0; second < 6; ++second) {
    Bandwidth::incrementBandwidthUsedInLastSecond(1000 * (second + 1));
    clock.clock().advance(1.0);
    Bandwidth::recordBandwidthUsage();
  }
  // The history keeps the last five seconds: 2000 ... 6000.
  EXPECT_EQ(Bandwidth::averageBandwidthUsedPerSecond(), 4000u);
  EXPECT_FALSE(Bandwidth::isBandwidthThrottled()) << "no limit, no throttling";
  EXPECT_EQ(Bandwidth::maxReadLength(16384), 16384u);

  Bandwidth::setMaxBandwidthPerSecond(1000);
  Bandwidth::incrementBandwidthUsedInLastSecond(400);
  EXPECT_EQ(Bandwidth::maxReadLength(16384), 150u) << "a quarter of what is left";
  Bandwidth::incrementBandwidthUsedInLastSecond(1600);
  EXPECT_EQ(Bandwidth::maxReadLength(16384), 1u);
  EXPECT_TRUE(Bandwidth::isBandwidthThrottled());
  clock.clock().advance(3.0);
  EXPECT_FALSE(Bandwidth::isBandwidthThrottled());
  Bandwidth::reset();
}

class NetworkActivityTest : public testing::NetTest {};

TEST_F(NetworkActivityTest, HiddenHalfASecondAfterTheLastStream) {
  ScopedManualClock clock;
  std::vector<bool> shown;
  NetworkActivity::setIndicatorHandler([&](bool visible) {
    EXPECT_TRUE(isMainThread());
    shown.push_back(visible);
  });
  NetworkActivity::streamScheduled();
  NetworkActivity::streamScheduled();
  NetworkActivity::streamUnscheduled();
  RunLoop::main().runUntilIdle();
  EXPECT_TRUE(HTTPRequest::isNetworkInUse());
  NetworkActivity::streamUnscheduled();
  RunLoop::main().runUntilIdle();
  RunLoop::main().advance(0.4);
  NetworkActivity::streamScheduled();  // another starts in between
  RunLoop::main().advance(0.2);
  EXPECT_EQ(shown, (std::vector<bool>{true, true, true}));
  NetworkActivity::streamUnscheduled();
  RunLoop::main().runUntilIdle();
  RunLoop::main().advance(0.49);
  EXPECT_TRUE(NetworkActivity::indicatorVisible());
  RunLoop::main().advance(0.02);
  EXPECT_FALSE(NetworkActivity::indicatorVisible());
  EXPECT_EQ(shown.back(), false);
  NetworkActivity::setIndicatorHandler(nullptr);
}

}  // namespace
}  // namespace lorvane
