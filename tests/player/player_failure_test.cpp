#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/foundation/log.h"
#include "real_lesson_test_support.h"
#include "support/media/range_file_server.h"
#include "support/net/scripted_server.h"

// What a learner sees when a lesson's video cannot be played, on the real
// media layer: a missing file, a file cut short, a server that refuses the
// connection and one that stops answering; and what "重试" does then.

namespace lorvane {
namespace {

std::string lessonBytes(const std::string& name) {
  std::ifstream file(demo::defaultContentDirectory() + "/videos/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

class PlayerFailureTest : public testing::RealLessonTest {
 protected:
  // The lesson record with its video somewhere else.
  JSONRef<JSONDictionary> lessonAt(const std::string& url) {
    auto record = JSONDictionary::mutableDictionary();
    record->setObject(JSONValueRef(JSONStringValue::create("点一杯咖啡 Ordering Coffee")), "title");
    record->setObject(JSONValueRef(JSONStringValue::create(url)), "videoUrl");
    record->setObject(JSONValueRef(JSONNumber::withInt64(49)), "playTime");
    return record;
  }
  std::shared_ptr<AlertView> waitForAlert(double seconds = 20) {
    wait([] { return !AlertView::visibleAlerts().empty(); }, seconds);
    auto alerts = AlertView::visibleAlerts();
    return alerts.empty() ? nullptr : alerts.front();
  }
  // The alert as the learner reads it, and its two buttons.
  void expectAlert(const AlertView& alert, const std::string& title) {
    EXPECT_EQ(alert.title(), title);
    EXPECT_FALSE(alert.message().empty());
    for (const std::string& text : {alert.title(), alert.message()}) {
      EXPECT_EQ(text.find("http"), std::string::npos) << "no developer text: " << text;
      EXPECT_EQ(text.find("Error"), std::string::npos) << text;
    }
    ASSERT_EQ(alert.numberOfButtons(), 2);
    EXPECT_EQ(alert.buttonTitleAtIndex(0), "取消");
    EXPECT_EQ(alert.buttonTitleAtIndex(1), "重试");
    EXPECT_FALSE(overlay().activityIndicator().isAnimating()) << "no spinner behind the alert";
  }
  // A finger on "重试".
  void tapRetry(AlertView& alert) {
    pump(0.5);
    Button* retry = alert.buttonAtIndex(1);
    ASSERT_TRUE(retry);
    tap(centreInWindow(*retry));
    EXPECT_TRUE(AlertView::visibleAlerts().empty());
  }
  bool waitUntilPlaying(double seconds = 20) {
    return wait([&] { return player->isPlaying() && position() > 0.2; }, seconds);
  }

  // What the servers' threads read: kept for as long as the servers run.
  std::atomic<bool> failing{true};
  std::string served;
};

TEST_F(PlayerFailureTest, AMissingLessonSaysItCannotBeFoundAndRetryPlaysItOnceItIsBack) {
  startServer();
  server->setAnswerHook(
      [this](const demo::RequestRecord& request) -> std::optional<demo::CannedResponse> {
        if (failing && request.target.starts_with("/videos/")) {
          return demo::CannedResponse{404, "text/plain", "Not Found"};
        }
        return std::nullopt;
      });
  LogCapture logs;
  open(firstLesson());
  auto alert = waitForAlert();
  ASSERT_TRUE(alert);
  expectAlert(*alert, "找不到这节课");
  // The developer's detail went to the log.
  EXPECT_TRUE(logs.contains("failed"));
  EXPECT_TRUE(logs.contains("NSURLErrorDomain -1100"));
  EXPECT_TRUE(logs.contains("404"));
  failing = false;
  tapRetry(*alert);
  EXPECT_TRUE(waitUntilPlaying()) << "retry opened the lesson again";
  EXPECT_TRUE(AlertView::visibleAlerts().empty());
}

TEST_F(PlayerFailureTest, AFileCutShortSaysTheVideoIsDamagedAndRetryGoesOnFromWhereItBroke) {
  startServer();
  // Some three seconds of the lesson, served as if it were all of it.
  const std::string whole = lessonBytes("topic-01.mp4");
  ASSERT_GT(whole.size(), 100000u);
  served = whole.substr(0, 26746 + 36000);
  server->setAnswerHook(
      [this](const demo::RequestRecord& request) -> std::optional<demo::CannedResponse> {
        if (failing && request.target == "/videos/topic-01.mp4") {
          return demo::CannedResponse{200, "video/mp4", served};
        }
        return std::nullopt;
      });
  LogCapture logs;
  open(firstLesson());
  auto alert = waitForAlert(30);
  ASSERT_TRUE(alert);
  expectAlert(*alert, "视频已损坏");
  EXPECT_TRUE(logs.contains("AVFoundationErrorDomain -11821"));
  const double brokeAt = position();
  EXPECT_GT(brokeAt, 1.0) << "what there was of it played";
  EXPECT_LT(brokeAt, 10.0);
  failing = false;
  tapRetry(*alert);
  double firstSeen = -1;
  ASSERT_TRUE(wait(
      [&] {
        if (firstSeen < 0 && player->isPlaying()) firstSeen = position();
        return player->isPlaying() && position() > brokeAt + 0.5;
      },
      20));
  EXPECT_GE(firstSeen, brokeAt - 0.5) << "it went on from where it broke, not from the start";
}

TEST_F(PlayerFailureTest, ARefusedConnectionSaysTheNetworkIsUnavailableAndRetryConnectsOnceItIsUp) {
  const int port = testing::unusedLoopbackPort();
  LogCapture logs;
  open(lessonAt("http://127.0.0.1:" + std::to_string(port) + "/videos/topic-01.mp4"));
  auto alert = waitForAlert();
  ASSERT_TRUE(alert);
  expectAlert(*alert, "网络不可用");
  EXPECT_TRUE(logs.contains("NSURLErrorDomain -1004"));
  EXPECT_EQ(player->videoPlayer(), nullptr);
  // Retry while it is still down: a real second attempt, a second alert.
  logs.clear();
  tapRetry(*alert);
  alert = waitForAlert();
  ASSERT_TRUE(alert);
  expectAlert(*alert, "网络不可用");
  EXPECT_TRUE(logs.contains("NSURLErrorDomain -1004"));
  // Up now: retry plays.
  startServer(static_cast<std::uint16_t>(port));
  tapRetry(*alert);
  EXPECT_TRUE(waitUntilPlaying());
}

TEST_F(PlayerFailureTest,
       AServerThatStopsAnsweringAlertsAtTheStallLimitAndRetryPlaysWhenItAnswers) {
  const std::string bytes = lessonBytes("topic-01.mp4");
  // Headers, then silence; once it behaves, the file with byte ranges.
  testing::ScriptedServer stalling([&](testing::ServerConnection& connection) {
    while (auto request = connection.readRequest(30)) {
      if (failing) {
        connection.send("HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: " +
                        std::to_string(bytes.size()) + "\r\nAccept-Ranges: bytes\r\n\r\n");
        connection.pause(60);
        return;
      }
      std::size_t from = 0;
      std::string range = request->header("range");
      if (range.starts_with("bytes=")) from = std::stoul(range.substr(6));
      from = std::min(from, bytes.size());
      std::vector<std::pair<std::string, std::string>> headers = {{"Content-Type", "video/mp4"},
                                                                  {"Accept-Ranges", "bytes"}};
      if (from > 0 || !range.empty()) {
        headers.emplace_back("Content-Range", "bytes " + std::to_string(from) + "-" +
                                                  std::to_string(bytes.size() - 1) + "/" +
                                                  std::to_string(bytes.size()));
      }
      if (!connection.send(testing::httpResponse(range.empty() ? 200 : 206, headers,
                                                 std::string_view(bytes).substr(from)))) {
        return;
      }
    }
  });
  PlayerOptions options;
  options.stallTimeout = 2;  // the app waits 12 s; the rule is the same
  LogCapture logs;
  open(lessonAt(stalling.url("/videos/topic-01.mp4")), options);
  EXPECT_TRUE(overlay().activityIndicator().isAnimating());
  auto alert = waitForAlert(30);
  ASSERT_TRUE(alert) << "a stalled server ends in an alert, not an endless spinner";
  expectAlert(*alert, "网络不可用");
  EXPECT_TRUE(logs.contains("NSURLErrorDomain -1001"));
  failing = false;
  tapRetry(*alert);
  EXPECT_TRUE(waitUntilPlaying());
}

}  // namespace
}  // namespace lorvane
