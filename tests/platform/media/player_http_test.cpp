#include <gtest/gtest.h>

#include "media_test_support.h"
#include "platform/media/media_error.h"
#include "platform/media/player.h"
#include "support/media/range_file_server.h"
#include "support/media/test_media.h"

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
  for (const std::string& url :
       {server.urlFor("no-such-lesson.mp4"),
        "http://127.0.0.1:" + std::to_string(testing::unusedLoopbackPort()) + "/lesson.mp4"}) {
    auto player = Player::playerWithURL(url);
    ASSERT_EQ(settle(*player), PlayerItemStatus::Failed) << url;
    ErrorPtr error = player->currentItem()->error();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, kMediaErrorDomain);
    ASSERT_TRUE(error->underlyingError()) << "the FFmpeg error is kept";
    EXPECT_EQ(error->underlyingError()->domain, kFFmpegErrorDomain);
    EXPECT_NE(error->underlyingError()->code, 0);
  }
  // The server saw the request for the missing file.
  ASSERT_FALSE(server.requests().empty());
  EXPECT_EQ(server.requests()[0].path, "/no-such-lesson.mp4");
}

TEST_F(PlayerHttpTest, DroppingAPlayerWhileItConnectsDoesNotHang) {
  RangeFileServer server(testing::clipDirectory());
  const std::string clip = testing::makeClip({.seconds = 4.0});
  for (int i = 0; i < 3; ++i) {
    auto player = Player::playerWithURL(server.urlFor(testing::fileName(clip)));
    player->play();
    spin(0.01 * i);
  }  // each is destroyed mid-load
  SUCCEED();
}

}  // namespace
}  // namespace lorvane
