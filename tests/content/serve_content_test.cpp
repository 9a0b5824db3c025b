// scripts/serve-content as a user runs it.

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>

#include "content/content_test_support.h"
#include "demo/server/sample_server.h"
#include "support/net/nginx_server.h"

namespace lorvane {
namespace {

using testing::httpExchange;
using testing::runCommand;
using testing::ServeContent;

const std::string kScript = LORVANE_SOURCE_DIR "/scripts/serve-content";

std::vector<std::string> prefixesIn(const std::string& folder) {
  std::vector<std::string> found;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().filename().string().starts_with("lorvane-nginx-")) {
      found.push_back(entry.path().string());
    }
  }
  return found;
}

class ServeContentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServeContent::isAvailable()) GTEST_SKIP() << "nginx is not installed";
  }
};

TEST_F(ServeContentTest, PrintsTheURLAndStopsCleanlyOnEitherSignal) {
  for (int signal : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(signal);
    ServeContent server(demo::defaultContentDirectory());
    ASSERT_TRUE(server.running()) << server.output();
    EXPECT_NE(server.output().find("lorvane --content-url " + server.url()), std::string::npos);
    auto reply = httpExchange(server.port(), "GET", "/infolist?_method=orvel");
    EXPECT_EQ(reply.status, 200);
    EXPECT_NE(server.output().find("200 GET /infolist?_method=orvel"), std::string::npos)
        << "one line per request";
    const int port = server.port();
    EXPECT_EQ(server.stop(signal), 0) << server.output();
    EXPECT_FALSE(httpExchange(port, "GET", "/feeds/show.json").received) << "nginx is gone";
  }
}

TEST_F(ServeContentTest, TheTemporaryPrefixGoesWithIt) {
  // The script makes its prefix under TMPDIR; a shell watches it come and go.
  testing::TemporaryDirectory scratch;
  const std::string folder = "'" + scratch.path() + "'";
  auto result = runCommand({"bash", "-c",
                            "TMPDIR=" + folder + " '" + kScript + "' --port " +
                                std::to_string(testing::freeLoopbackPort()) +
                                " >/dev/null & pid=$!; for i in $(seq 200); do ls " + folder +
                                " | grep -q lorvane-nginx && break; sleep 0.05; done; ls " +
                                folder + "; sleep 0.5; kill -TERM $pid; wait $pid"});
  EXPECT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("lorvane-nginx-"), std::string::npos) << "it had a prefix";
  EXPECT_TRUE(prefixesIn(scratch.path()).empty()) << "the prefix is removed";
}

TEST_F(ServeContentTest, BadUsageIsRefusedWithAMessage) {
  testing::TemporaryDirectory empty;
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{kScript, "--port", "0"}, "--port must be a number from 1 to 65535"},
      {{kScript, "--port", "http"}, "--port must be a number"},
      {{kScript, "--root", "/nonexistent-lorvane-tree"}, "no content tree at"},
      {{kScript, "--root", empty.path()}, "not a content tree"},
      {{kScript, "--base-url", "127.0.0.1:80"}, "--base-url must start with http://"},
      {{kScript, "--base-url", "http://a.test/\";evil"}, "nginx cannot take"},
      {{kScript, "--frobnicate"}, "unknown argument"},
      {{kScript, "--port"}, "usage: scripts/serve-content"},
  };
  for (const auto& [arguments, message] : cases) {
    auto result = runCommand(arguments);
    EXPECT_EQ(result.status, 2) << arguments.back() << ": " << result.output;
    EXPECT_NE(result.output.find(message), std::string::npos) << result.output;
  }
}

TEST_F(ServeContentTest, ABusyPortIsReportedNotIgnored) {
  demo::SampleServer occupant{demo::ServerOptions{}};
  ASSERT_TRUE(occupant.start());
  auto result = runCommand({kScript, "--port", std::to_string(occupant.port())});
  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_EQ(result.output.find("http://"), std::string::npos) << "no URL for another server";
  EXPECT_NE(result.output.find("port " + std::to_string(occupant.port()) + " is in use"),
            std::string::npos)
      << result.output;
}

TEST_F(ServeContentTest, TheBaseURLFlagSetsTheLinksAddress) {
  ServeContent server(demo::defaultContentDirectory(), {"--base-url", "http://phone.test:9000/"});
  ASSERT_TRUE(server.running()) << server.output();
  auto reply = httpExchange(server.port(), "GET", "/infolist?_method=orvel");
  EXPECT_NE(reply.body.find("\"http://phone.test:9000/thumbs/show-01.jpg\""), std::string::npos);
}

}  // namespace
}  // namespace lorvane
