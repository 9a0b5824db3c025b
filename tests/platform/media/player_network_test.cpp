#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "media_test_support.h"
#include "platform/foundation/notification_center.h"
#include "platform/media/media_error.h"
#include "platform/media/player.h"
#include "support/media/range_file_server.h"
#include "support/media/test_media.h"

namespace lorvane {
namespace {

using testing::RangeFileServer;

double wallNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

class PlayerNetworkTest : public testing::MediaTest {};

TEST_F(PlayerNetworkTest, ASlowStreamRunsDryAndRecovers) {
  const std::string clip = testing::makeClip({.seconds = 5.0, .width = 640, .height = 360});
  ASSERT_FALSE(clip.empty());
  const double bytesPerSecond = std::filesystem::file_size(clip) / 5.0;
  RangeFileServer server(testing::clipDirectory());
  // Half the clip's own rate: playback must outrun the download.
  server.setBytesPerSecond(static_cast<std::size_t>(bytesPerSecond / 2));

  auto item = PlayerItem::playerItemWithURL(server.urlFor(testing::fileName(clip)));
  auto player = Player::playerWithPlayerItem(item);
  std::vector<std::pair<std::string, bool>> reports;
  for (const char* key : {kPlaybackBufferEmptyKey, kPlaybackLikelyToKeepUpKey}) {
    item->addObserver(key,
                      [&](const KeyValueChange& c) { reports.emplace_back(c.key, c.boolValue()); });
  }
  ASSERT_TRUE(waitFor([&] { return item->status() == PlayerItemStatus::ReadyToPlay; }, 10));
  player->play();
  const double wall0 = wallNow();
  auto ranDry = [&] {
    for (auto& r : reports) {
      if (r.first == kPlaybackBufferEmptyKey && r.second) return true;
    }
    return false;
  };
  ASSERT_TRUE(waitFor(ranDry, 8)) << "the buffer ran empty";
  EXPECT_EQ(player->rate(), 1.0f) << "a stall keeps the rate";
  EXPECT_TRUE(item->isPlaybackBufferEmpty());
  const double stalledAt = player->currentTime().seconds();
  spin(0.1);
  EXPECT_NEAR(player->currentTime().seconds(), stalledAt, 0.06) << "time stands still while dry";

  // It fills again and says so; then the time moves on.
  auto recovered = [&] {
    bool empty = false;
    for (auto& r : reports) {
      if (r.first == kPlaybackBufferEmptyKey && r.second) empty = true;
      if (empty && r.first == kPlaybackLikelyToKeepUpKey && r.second) return true;
    }
    return false;
  };
  ASSERT_TRUE(waitFor(recovered, 8));
  ASSERT_TRUE(waitFor([&] { return player->currentTime().seconds() > stalledAt + 0.2; }, 8));
  EXPECT_LT(player->currentTime().seconds(), (wallNow() - wall0) * 0.9)
      << "stalls cost playing time";
  ASSERT_FALSE(item->loadedTimeRanges().empty());
  EXPECT_GT(item->loadedTimeRanges()[0].endSeconds(), player->currentTime().seconds());
}

TEST_F(PlayerNetworkTest, ADroppedConnectionResumesWhereItBroke) {
  const std::string clip = testing::makeClip({.seconds = 2.0, .width = 640, .height = 360});
  ASSERT_FALSE(clip.empty());
  RangeFileServer server(testing::clipDirectory());
  const auto size = std::filesystem::file_size(clip);
  server.dropNextResponseAfter(static_cast<std::size_t>(size / 3));
  auto player = Player::playerWithURL(server.urlFor(testing::fileName(clip)));
  auto item = player->currentItem();
  bool ended = false, failed = false;
  const int self = 0;
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(&self, kPlayerItemDidPlayToEndTimeNotification, item->notificationObject(),
                     [&](const Notification&) { ended = true; });
  center.addObserver(&self, kPlayerItemFailedToPlayToEndTimeNotification,
                     item->notificationObject(), [&](const Notification&) { failed = true; });
  player->play();
  ASSERT_TRUE(waitFor([&] { return ended || failed; }, 15));
  center.removeObserver(&self);
  EXPECT_TRUE(ended) << "the whole lesson played";
  EXPECT_FALSE(failed);
  bool resumed = false;
  for (const auto& r : server.requests()) {
    if (r.rangeStart && *r.rangeStart > 0) resumed = true;
  }
  EXPECT_TRUE(resumed) << "the player asked for the rest from where it broke off";
}

TEST_F(PlayerNetworkTest, AStreamThatBreaksOffForGoodFailsToPlayToTheEnd) {
  const std::string clip = testing::makeClip({.seconds = 2.0, .width = 640, .height = 360});
  ASSERT_FALSE(clip.empty());
  RangeFileServer server(testing::clipDirectory());
  server.dropNextResponseAfter(static_cast<std::size_t>(std::filesystem::file_size(clip) / 3),
                               /*thenGone=*/true);
  auto player = Player::playerWithURL(server.urlFor(testing::fileName(clip)));
  auto item = player->currentItem();
  bool ended = false;
  ErrorPtr failure;
  const int self = 0;
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(&self, kPlayerItemDidPlayToEndTimeNotification, item->notificationObject(),
                     [&](const Notification&) { ended = true; });
  center.addObserver(&self, kPlayerItemFailedToPlayToEndTimeNotification,
                     item->notificationObject(), [&](const Notification& n) {
                       auto it = n.userInfo.find(kPlayerItemFailedToPlayToEndTimeErrorKey);
                       failure = it == n.userInfo.end() ? Error::make("none", 0, "no error")
                                                        : std::any_cast<ErrorPtr>(it->second);
                     });
  player->play();
  ASSERT_TRUE(waitFor([&] { return ended || failure; }, 20));
  center.removeObserver(&self);
  EXPECT_FALSE(ended) << "a lesson cut short is not reported as played to its end";
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->domain, kMediaErrorDomain);
  EXPECT_LT(player->currentTime().seconds(), 1.8) << "it stops where the data stopped";
  EXPECT_EQ(player->rate(), 0.0f);
}

// `openssl s_server` serving a folder over TLS with a certificate of its own.
class TlsFileServer {
 public:
  TlsFileServer(const std::string& folder, const std::string& certificate, const std::string& key)
      : port_(testing::unusedLoopbackPort()) {
    pid_ = ::fork();
    if (pid_ == 0) {
      if (::chdir(folder.c_str()) != 0) _exit(127);
      const std::string accept = "127.0.0.1:" + std::to_string(port_);
      ::execlp("openssl", "openssl", "s_server", "-quiet", "-accept", accept.c_str(), "-cert",
               certificate.c_str(), "-key", key.c_str(), "-WWW", static_cast<char*>(nullptr));
      _exit(127);
    }
    for (int i = 0; i < 100 && !accepting(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }
  ~TlsFileServer() {
    if (pid_ > 0) {
      ::kill(pid_, SIGTERM);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  bool accepting() const {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port_));
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
  }
  std::string urlFor(const std::string& name) const {
    return "https://127.0.0.1:" + std::to_string(port_) + "/" + name;
  }

 private:
  int port_;
  pid_t pid_ = -1;
};

TEST_F(PlayerNetworkTest, HttpsChecksTheServerCertificate) {
  const std::string clip = testing::makeClip({.seconds = 1.0});
  const std::string folder = testing::clipDirectory();
  const std::string certificate = folder + "/server-cert.pem", key = folder + "/server-key.pem";
  const std::string command =
      "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1"
      " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
      key + "' -out '" + certificate + "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0);
  TlsFileServer server(folder, certificate, key);
  ASSERT_TRUE(server.accepting());

  auto statusOf = [&](const std::string& url) {
    auto player = Player::playerWithURL(url);
    auto item = player->currentItem();
    waitFor([&] { return item->status() != PlayerItemStatus::Unknown; }, 15);
    return item->status();
  };
  const char* saved = std::getenv("SSL_CERT_FILE");
  const std::string previous = saved ? saved : "";
  ::unsetenv("SSL_CERT_FILE");
  EXPECT_EQ(statusOf(server.urlFor(testing::fileName(clip))), PlayerItemStatus::Failed)
      << "a certificate no authority signed is refused";
  // Trusting that very certificate makes the same stream play.
  ::setenv("SSL_CERT_FILE", certificate.c_str(), 1);
  EXPECT_EQ(statusOf(server.urlFor(testing::fileName(clip))), PlayerItemStatus::ReadyToPlay);
  if (saved) {
    ::setenv("SSL_CERT_FILE", previous.c_str(), 1);
  } else {
    ::unsetenv("SSL_CERT_FILE");
  }
}

}  // namespace
}  // namespace lorvane
