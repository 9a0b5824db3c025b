#include <utility>  // before Asio: Boost 1.74 needs it under C++20

#include "demo/server/sample_server.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <fstream>
#include <sstream>

#include "json/json.h"

namespace lorvane::demo {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

const char* kTopicTarget =
    "/infolist?_method=infoJson&categoryId=34679&pageSize=100&order=2&pageNo=0";
const char* kShowTarget = "/infolist?_method=orvel";
const char* kAppsTarget =
    "/api/app/resourcelist_ng.json?appId=243&categoryName=recommendation&resourceType=5";

// A plain client on one connection, so that keep-alive can be watched.
class Connection {
 public:
  explicit Connection(std::uint16_t port) : socket_(io_) {
    socket_.connect(tcp::endpoint(asio::ip::make_address("127.0.0.1"), port));
  }

  // Nothing when the server dropped the connection instead of answering.
  std::optional<http::response<http::string_body>> get(
      const std::string& target,
      std::initializer_list<std::pair<http::field, std::string>> headers = {}) {
    http::request<http::string_body> request{http::verb::get, target, 11};
    request.set(http::field::host, "127.0.0.1");
    for (const auto& [field, value] : headers) request.set(field, value);
    beast::error_code ec;
    http::write(socket_, request, ec);
    if (ec) return std::nullopt;
    http::response_parser<http::string_body> parser;
    parser.body_limit(64 * 1024 * 1024);
    http::read(socket_, buffer_, parser, ec);
    if (ec) return std::nullopt;
    return parser.release();
  }

 private:
  asio::io_context io_;
  tcp::socket socket_;
  beast::flat_buffer buffer_;
};

std::string gunzip(const std::string& in) {
  z_stream stream{};
  inflateInit2(&stream, 47);
  std::string out;
  char buffer[16384];
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(in.size());
  int result;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(buffer, sizeof buffer - stream.avail_out);
  } while (result == Z_OK);
  inflateEnd(&stream);
  return result == Z_STREAM_END ? out : std::string("<broken gzip>");
}

std::string fileText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

class SampleServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(server_.start(&error)) << error;
  }
  SampleServer server_{ServerOptions{}};
};

void expectFeedRecords(const std::string& body, std::size_t atLeast, const std::string& base) {
  JSONError error;
  JSONValueRef feed = objectFromJSONStringWithParseOptions(body, JSONParseStrict, &error);
  ASSERT_TRUE(feed) << error.description;
  ASSERT_TRUE(feed->isArray());
  const JSONDictionary* page = feed->asArray()->objectAtIndex(0)->asDictionary();
  ASSERT_TRUE(page);
  const JSONValue* data = page->objectForKey("data");
  ASSERT_TRUE(data && data->isArray());
  EXPECT_GE(data->asArray()->count(), atLeast);
  for (const JSONValue* record : *data->asArray()) {
    const JSONDictionary* lesson = record->asDictionary();
    ASSERT_TRUE(lesson);
    for (const char* key : {"imageUrl", "title", "videoUrl", "pubTime", "teachers", "cateName"}) {
      const JSONValue* value = lesson->objectForKey(key);
      ASSERT_TRUE(value && value->isString()) << key;
      EXPECT_FALSE(value->stringValue().empty()) << key;
    }
    EXPECT_EQ(lesson->objectForKey("imageUrl")->stringValue().substr(0, base.size()), base);
    EXPECT_EQ(lesson->objectForKey("videoUrl")->stringValue().substr(0, base.size()), base);
    const JSONValue* captions = lesson->objectForKey("subtitleUrl");
    ASSERT_TRUE(captions && captions->isString());
    EXPECT_EQ(captions->stringValue().substr(0, base.size()), base);
    EXPECT_TRUE(captions->stringValue().ends_with(".vtt"));
    // A number, or a string of digits: the feed allows both.
    const JSONValue* playTime = lesson->objectForKey("playTime");
    ASSERT_TRUE(playTime && (playTime->isNumber() || playTime->isString()));
    long seconds = playTime->isNumber() ? static_cast<long>(playTime->asNumber()->int64Value())
                                        : std::stol(std::string(playTime->stringValue()));
    EXPECT_GE(seconds, 20);
    EXPECT_LE(seconds, 60);
  }
}

TEST_F(SampleServerTest, ServesBothFeedsWithCompleteRecordsOnItsOwnAddress) {
  Connection connection(server_.port());
  auto topic = connection.get(kTopicTarget);
  ASSERT_TRUE(topic);
  EXPECT_EQ(topic->result_int(), 200);
  EXPECT_EQ(topic->at(http::field::content_type), "application/json; charset=utf-8");
  expectFeedRecords(topic->body(), 16, server_.baseURL() + "/");
  auto show = connection.get(kShowTarget);
  ASSERT_TRUE(show) << "the same connection serves a second request";
  expectFeedRecords(show->body(), 10, server_.baseURL() + "/");
  EXPECT_EQ(server_.requestCount("/infolist"), 2u);
}

TEST_F(SampleServerTest, ThumbnailsAndIconsTheAnswersNameAreServed) {
  Connection connection(server_.port());
  auto apps = connection.get(kAppsTarget);
  ASSERT_TRUE(apps);
  JSONValueRef list = objectFromJSONString(apps->body());
  ASSERT_TRUE(list && list->isDictionary());
  const JSONValue* data = list->asDictionary()->objectForKey("data");
  ASSERT_TRUE(data && data->isDictionary());
  const JSONValue* resources = data->asDictionary()->objectForKey("resourceList");
  ASSERT_TRUE(resources && resources->isArray());
  EXPECT_GE(resources->asArray()->count(), 6u);
  const std::string base = server_.baseURL();
  for (const JSONValue* app : *resources->asArray()) {
    const JSONDictionary* entry = app->asDictionary();
    ASSERT_TRUE(entry);
    for (const char* key : {"title", "subtitle", "thumbnail", "action"}) {
      ASSERT_TRUE(entry->objectForKey(key) && entry->objectForKey(key)->isString()) << key;
    }
    std::string icon(entry->objectForKey("thumbnail")->stringValue());
    ASSERT_EQ(icon.substr(0, base.size()), base);
    auto picture = connection.get(icon.substr(base.size()));
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->result_int(), 200) << icon;
    EXPECT_EQ(picture->at(http::field::content_type), "image/png");
    EXPECT_EQ(picture->body().substr(1, 3), "PNG");
  }
  auto thumbnail = connection.get("/thumbs/topic-01.jpg");
  ASSERT_TRUE(thumbnail);
  EXPECT_EQ(thumbnail->result_int(), 200);
  EXPECT_FALSE(thumbnail->body().empty());
}

TEST_F(SampleServerTest, CaptionsTheRecordsNameAreServedAsUTF8Text) {
  Connection connection(server_.port());
  auto feed = connection.get(kShowTarget);
  ASSERT_TRUE(feed);
  JSONValueRef answer = objectFromJSONString(feed->body());
  ASSERT_TRUE(answer && answer->isArray());
  const JSONValue* data = answer->asArray()->objectAtIndex(0)->asDictionary()->objectForKey("data");
  const std::string base = server_.baseURL();
  for (const JSONValue* record : *data->asArray()) {
    std::string link(record->asDictionary()->objectForKey("subtitleUrl")->stringValue());
    SCOPED_TRACE(link);
    ASSERT_EQ(link.substr(0, base.size()), base);
    const std::string path = link.substr(base.size());
    auto captions = connection.get(path);
    ASSERT_TRUE(captions);
    EXPECT_EQ(captions->result_int(), 200);
    EXPECT_EQ(captions->at(http::field::content_type), "text/vtt; charset=utf-8");
    EXPECT_EQ(captions->at(http::field::cache_control), "public, max-age=3600");
    EXPECT_EQ(captions->body(), fileText(defaultContentDirectory() + path));
    EXPECT_TRUE(captions->body().starts_with("WEBVTT\n\n1\n"));
    auto zipped = connection.get(path, {{http::field::accept_encoding, "gzip"}});
    ASSERT_TRUE(zipped);
    EXPECT_EQ(zipped->at(http::field::content_encoding), "gzip");
    EXPECT_EQ(gunzip(zipped->body()), captions->body());
  }
}

TEST_F(SampleServerTest, JSONIsGzippedOnlyForClientsThatAskForIt) {
  Connection connection(server_.port());
  auto plain = connection.get(kTopicTarget);
  auto zipped = connection.get(kTopicTarget, {{http::field::accept_encoding, "gzip"}});
  ASSERT_TRUE(plain && zipped);
  EXPECT_EQ(plain->find(http::field::content_encoding), plain->end());
  EXPECT_EQ(zipped->at(http::field::content_encoding), "gzip");
  EXPECT_LT(zipped->body().size(), plain->body().size());
  EXPECT_EQ(gunzip(zipped->body()), plain->body());
}

TEST_F(SampleServerTest, VideosAnswerByteRanges) {
  const std::string file = fileText(defaultContentDirectory() + "/videos/topic-01.mp4");
  ASSERT_GT(file.size(), 1000u);
  Connection connection(server_.port());
  auto whole = connection.get("/videos/topic-01.mp4");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->result_int(), 200);
  EXPECT_EQ(whole->at(http::field::accept_ranges), "bytes");
  EXPECT_EQ(whole->body(), file);

  auto middle = connection.get("/videos/topic-01.mp4", {{http::field::range, "bytes=100-199"}});
  ASSERT_TRUE(middle);
  EXPECT_EQ(middle->result_int(), 206);
  EXPECT_EQ(middle->at(http::field::content_range), "bytes 100-199/" + std::to_string(file.size()));
  EXPECT_EQ(middle->body(), file.substr(100, 100));

  auto tail = connection.get("/videos/topic-01.mp4", {{http::field::range, "bytes=-10"}});
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->body(), file.substr(file.size() - 10));

  auto open =
      connection.get("/videos/topic-01.mp4",
                     {{http::field::range, "bytes=" + std::to_string(file.size() - 5) + "-"}});
  ASSERT_TRUE(open);
  EXPECT_EQ(open->body(), file.substr(file.size() - 5));

  auto beyond = connection.get(
      "/videos/topic-01.mp4", {{http::field::range, "bytes=" + std::to_string(file.size()) + "-"}});
  ASSERT_TRUE(beyond);
  EXPECT_EQ(beyond->result_int(), 416);
  EXPECT_EQ(beyond->at(http::field::content_range), "bytes */" + std::to_string(file.size()));
}

TEST(SlowSampleServerTest, AVideoRateStillSendsWholeBodiesAndRangesAndSpareJSON) {
  ServerOptions options;
  options.videoBytesPerSecond = 400 * 1024;
  SampleServer server(options);
  std::string error;
  ASSERT_TRUE(server.start(&error)) << error;
  const std::string file = fileText(defaultContentDirectory() + "/videos/topic-01.mp4");
  Connection connection(server.port());
  auto whole = connection.get("/videos/topic-01.mp4");
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->result_int(), 200);
  EXPECT_EQ(whole->body(), file);
  // The same connection goes on after a slow body.
  auto tail =
      connection.get("/videos/topic-01.mp4",
                     {{http::field::range, "bytes=" + std::to_string(file.size() - 7) + "-"}});
  ASSERT_TRUE(tail);
  EXPECT_EQ(tail->result_int(), 206);
  EXPECT_EQ(tail->body(), file.substr(file.size() - 7));
  server.stop();
}

TEST_F(SampleServerTest, NothingOutsideTheMediaFoldersIsServed) {
  Connection connection(server_.port());
  for (const char* target : {"/videos/../lessons.json", "/videos/..%2Flessons.json", "/thumbs/",
                             "/lessons.json", "/etc/passwd", "/thumbs/.hidden", "/icons/a/b.png"}) {
    auto response = connection.get(target);
    ASSERT_TRUE(response) << target;
    EXPECT_EQ(response->result_int(), 404) << target;
  }
}

TEST_F(SampleServerTest, MisbehavesOnRequestWithoutTouchingMedia) {
  server_.setFailFirst(2);
  {
    Connection connection(server_.port());
    EXPECT_FALSE(connection.get(kTopicTarget)) << "dropped without an answer";
  }
  {
    Connection connection(server_.port());
    auto thumbnail = connection.get("/thumbs/topic-01.jpg");
    ASSERT_TRUE(thumbnail) << "media keeps flowing while the feeds fail";
    EXPECT_EQ(thumbnail->result_int(), 200);
    EXPECT_FALSE(connection.get(kShowTarget));
  }
  server_.setHtmlFirst(1);
  Connection connection(server_.port());
  auto html = connection.get(kShowTarget);
  ASSERT_TRUE(html);
  EXPECT_EQ(html->result_int(), 503);
  EXPECT_EQ(html->at(http::field::content_type), "text/html; charset=utf-8");
  EXPECT_FALSE(objectFromJSONString(html->body()));
  auto healthy = connection.get(kShowTarget);
  ASSERT_TRUE(healthy);
  EXPECT_EQ(healthy->result_int(), 200);
  EXPECT_TRUE(objectFromJSONString(healthy->body()));
}

TEST_F(SampleServerTest, AnswerHookScriptsRepliesOfAnyShape) {
  server_.setAnswerHook([](const RequestRecord& request) -> std::optional<CannedResponse> {
    if (request.target == kShowTarget)
      return CannedResponse{200, "application/json", "[{\"data\":[]}]"};
    return std::nullopt;
  });
  Connection connection(server_.port());
  auto scripted = connection.get(kShowTarget);
  ASSERT_TRUE(scripted);
  EXPECT_EQ(scripted->body(), "[{\"data\":[]}]");
  auto untouched = connection.get(kTopicTarget);
  ASSERT_TRUE(untouched);
  expectFeedRecords(untouched->body(), 16, server_.baseURL() + "/");
  auto requests = server_.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].target, kShowTarget);
  EXPECT_TRUE(requests[0].answered);
}

TEST(SampleServerStartTest, MissingSourcesAreReportedNotServed) {
  ServerOptions options;
  options.contentDirectory = "/nonexistent-lorvane-folder";
  SampleServer server(options);
  std::string error;
  EXPECT_FALSE(server.start(&error));
  EXPECT_NE(error.find("/nonexistent-lorvane-folder/feeds/topic.json"), std::string::npos) << error;
}

TEST(SampleServerStartTest, APublicAddressGoesIntoTheLinks) {
  ServerOptions options;
  options.publicBaseURL = "https://lessons.example.com/";
  SampleServer server(options);
  ASSERT_TRUE(server.start());
  EXPECT_EQ(server.linkBaseURL(), "https://lessons.example.com/");
  Connection connection(server.port());
  auto feed = connection.get(kTopicTarget);
  ASSERT_TRUE(feed);
  expectFeedRecords(feed->body(), 16, "https://lessons.example.com/");
  EXPECT_NE(feed->body().find("\"https://lessons.example.com/thumbs/topic-01.jpg\""),
            std::string::npos);
  EXPECT_EQ(feed->body().find("{base}"), std::string::npos);
}

TEST(SampleServerStartTest, StopEndsOpenKeepAliveConnections) {
  SampleServer server{ServerOptions{}};
  ASSERT_TRUE(server.start());
  Connection idle(server.port());
  ASSERT_TRUE(idle.get("/thumbs/topic-01.jpg"));
  server.stop();  // returns although the client keeps its connection open
  EXPECT_FALSE(idle.get("/thumbs/topic-01.jpg"));
}

}  // namespace
}  // namespace lorvane::demo
