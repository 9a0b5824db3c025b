#include <gtest/gtest.h>

#include <filesystem>

#include "media_test_support.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/media_error.h"
#include "platform/media/player.h"
#include "support/media/range_file_server.h"
#include "support/media/test_media.h"
#include "support/net/scripted_server.h"

namespace lorvane {
namespace {

using testing::RangeFileServer;

class PlayerHttpTest : public testing::MediaTest {
 protected:
  // Waits for the item's status to leave unknown.
  static PlayerItemStatus settle(Player& player) {
    auto item = player.currentItem();
    waitFor([&] { return item->status() != PlayerItemStatus::Unknown; }, 15.0);
    return item->status();
  }
};

TEST_F(PlayerHttpTest, StreamsOverHttpAndSeeksWithARangeRequest) {
  const std::string clip = testing::makeClip({.seconds = 4.0, .width = 640, .height = 360});
  ASSERT_FALSE(clip.empty());
  RangeFileServer server(testing::clipDirectory());
  auto player = Player::playerWithURL(server.urlFor(testing::fileName(clip)));
  ASSERT_EQ(settle(*player), PlayerItemStatus::ReadyToPlay);
  auto item = player->currentItem();
  EXPECT_NEAR(item->duration().seconds(), 4.0, 0.1);
  ASSERT_TRUE(waitFor([&] { return item->isPlaybackLikelyToKeepUp(); }));
  player->play();
  ASSERT_TRUE(waitFor([&] { return player->currentTime().seconds() > 0.8; }));
  player->pause();

  // Back to where the stream has long been read past: FFmpeg cannot read
  // backwards, so it asks for the bytes from there on.

  const std::size_t before = server.requests().size();
  bool done = false;
  player->seekToTime(MediaTime::makeWithSeconds(0.3, 600), [&](bool f) { done = f; });
  ASSERT_TRUE(waitFor([&] { return done; }));
  auto frame = player->currentVideoFrame();
  ASSERT_TRUE(frame);
  EXPECT_NEAR(frame->presentationTime, 0.3, 1.0 / 25 + 1e-3);

  const auto requests = server.requests();
  ASSERT_GE(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "GET");
  EXPECT_EQ(requests[0].path, "/" + testing::fileName(clip));
  bool rangedAfterSeek = false;
  for (std::size_t i = before; i < requests.size(); ++i) {
    if (requests[i].rangeStart && *requests[i].rangeStart > 0) rangedAfterSeek = true;
  }
  EXPECT_TRUE(rangedAfterSeek) << "the seek asked the server for a byte range";
}

TEST_F(PlayerHttpTest, MissingAndUnreachableStreamsFail) {
  RangeFileServer server(testing::clipDirectory());
  struct Case {
    std::string url;
    int urlError;
  };
  for (const Case& c :
       {Case{server.urlFor("no-such-lesson.mp4"), kURLErrorFileDoesNotExist},
        Case{"http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/lesson.mp4",
             kURLErrorCannotConnectToHost}}) {
    auto player = Player::playerWithURL(c.url);
    ASSERT_EQ(settle(*player), PlayerItemStatus::Failed) << c.url;
    ErrorPtr error = player->currentItem()->error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, kMediaErrorDomain);
    // Why it could not be fetched, as URL loading says it, then FFmpeg's own.
    ErrorPtr fetching = error->underlyingError();
    ASSERT_TRUE(fetching) << c.url;
    EXPECT_EQ(fetching->domain, kURLErrorDomain);
    EXPECT_EQ(fetching->code, c.urlError) << fetching->localizedDescription();
    ASSERT_TRUE(fetching->underlyingError()) << "the FFmpeg error is kept";
    EXPECT_EQ(fetching->underlyingError()->domain, kFFmpegErrorDomain);
    EXPECT_NE(fetching->underlyingError()->code, 0);
    if (c.urlError == kURLErrorFileDoesNotExist) {
      auto status = fetching->userInfo.find(kHTTPStatusCodeKey);
      ASSERT_NE(status, fetching->userInfo.end());
      EXPECT_EQ(std::any_cast<int>(status->second), 404);
    }
  }
  // The server saw the request for the missing file.
  ASSERT_FALSE(server.requests().empty());
  EXPECT_EQ(server.requests()[0].path, "/no-such-lesson.mp4");
}

TEST_F(PlayerHttpTest, AServerThatFallsSilentFailsTheItemAtTheStallLimit) {
  // Headers, then nothing: FFmpeg alone would time out and reconnect to the
  // same silence again and again.
  testing::ScriptedServer server([](testing::ServerConnection& connection) {
    if (!connection.readRequest()) return;
    connection.send(
        "HTTP/1.1 200 OK\r\nContent-Type: video/mp4\r\nContent-Length: 500000\r\n"
        "Accept-Ranges: bytes\r\n\r\n");
    connection.pause(60);
  });
  PlayerOptions options;
  options.clockDrivenAudio = true;
  options.stallTimeout = 2;
  auto player = Player::playerWithURL(server.url("/lesson.mp4"), options);
  auto item = player->currentItem();
  ASSERT_TRUE(waitFor([&] { return item->status() != PlayerItemStatus::Unknown; }, 30));
  ASSERT_EQ(item->status(), PlayerItemStatus::Failed);
  ErrorPtr fetching = item->error()->underlyingError();
  ASSERT_TRUE(fetching);
  EXPECT_EQ(fetching->domain, kURLErrorDomain);
  EXPECT_EQ(fetching->code, kURLErrorTimedOut) << "our limit, not FFmpeg's retries, ended it";
  EXPECT_GE(server.connectionCount(), 1);
}

TEST_F(PlayerHttpTest, AFileCutShortIsDamagedNotANetworkFailure) {
  const std::string clip = testing::makeClip({.seconds = 3.0});
  ASSERT_FALSE(clip.empty());
  // The same bytes served whole, but only the first half of them.
  const std::string folder = testing::clipDirectory() + "/cut";
  std::filesystem::create_directories(folder);
  const std::string cut = folder + "/cut.mp4";
  std::filesystem::copy_file(clip, cut, std::filesystem::copy_options::overwrite_existing);
  std::filesystem::resize_file(cut, std::filesystem::file_size(clip) / 2);
  RangeFileServer server(folder);
  PlayerOptions options;
  options.clockDrivenAudio = true;
  auto player = Player::playerWithURL(server.urlFor("cut.mp4"), options);
  ErrorPtr failure;
  bool ended = false;
  const int self = 0;
  auto& center = NotificationCenter::defaultCenter();
  const void* object = player->currentItem()->notificationObject();
  center.addObserver(&self, kPlayerItemDidPlayToEndTimeNotification, object,
                     [&](const Notification&) { ended = true; });
  center.addObserver(&self, kPlayerItemFailedToPlayToEndTimeNotification, object,
                     [&](const Notification& n) {
                       auto it = n.userInfo.find(kPlayerItemFailedToPlayToEndTimeErrorKey);
                       if (it != n.userInfo.end()) failure = std::any_cast<ErrorPtr>(it->second);
                     });
  player->play();
  bool failedToOpen = false;
  ASSERT_TRUE(waitFor(
      [&] {
        failedToOpen = player->currentItem()->status() == PlayerItemStatus::Failed;
        return ended || failure || failedToOpen;
      },
      20));
  center.removeObserver(&self);
  EXPECT_FALSE(ended);
  if (failedToOpen) failure = player->currentItem()->error();
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->domain, kMediaErrorDomain);
  EXPECT_TRUE(failure->code == kMediaErrorDecodeFailed ||
              failure->code == kMediaErrorFileFormatNotRecognized)
      << failure->code << " " << failure->localizedDescription();
  ErrorPtr underlying = failure->underlyingError();
  EXPECT_TRUE(!underlying || underlying->domain != kURLErrorDomain)
      << "the server sent every byte it had";
}

TEST_F(PlayerHttpTest, DroppingAPlayerWhileItConnectsDoesNotHang) {
  RangeFileServer server(testing::clipDirectory());
  const std::string clip = testing::makeClip({.seconds = 4.0});
  std::vector<std::weak_ptr<Player>> players;
  std::vector<std::weak_ptr<PlayerItemInterface>> items;
  for (int i = 0; i < 3; ++i) {
    auto player = Player::playerWithURL(server.urlFor(testing::fileName(clip)));
    players.push_back(player);
    items.push_back(player->currentItem());
    player->play();
    spin(0.01 * i);
  }  // each is destroyed mid-load
  // Nothing of theirs lives on: no thread or callback kept them.
  EXPECT_TRUE(waitFor([&] {
    for (const auto& p : players)
      if (!p.expired()) return false;
    for (const auto& item : items)
      if (!item.expired()) return false;
    return true;
  }));
  // And nothing asks the server for their stream any more.
  spin(0.3);
  const std::size_t settled = server.requests().size();
  spin(1.0);
  EXPECT_EQ(server.requests().size(), settled) << "requests after the players were gone";
  // The server still answers a player that stays.
  auto player = Player::playerWithURL(server.urlFor(testing::fileName(clip)));
  EXPECT_EQ(settle(*player), PlayerItemStatus::ReadyToPlay);
  EXPECT_GT(server.requests().size(), settled);
}

}  // namespace
}  // namespace lorvane
