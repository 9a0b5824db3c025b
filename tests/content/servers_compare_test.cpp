// The sample server and nginx with the repository's configuration, asked
// the same things about the same tree, must give the same answers.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "content/content_test_support.h"
#include "demo/server/sample_server.h"

namespace lorvane {
namespace {

using testing::httpExchange;
using testing::HttpReply;
using testing::ServeContent;
using testing::TreeCopy;

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Probe {
  std::string method;
  std::string target;
  Headers headers;
  int expectedStatus;
};

class ServersCompareTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!ServeContent::isAvailable()) GTEST_SKIP() << "nginx is not installed";
    tree_ = std::make_unique<TreeCopy>(demo::defaultContentDirectory());
    // What neither server may hand out: the tools' files, a link out of
    // the tree and a linked folder.
    const std::string& root = tree_->path();
    std::ofstream(root + "/.secret") << "tools only\n";
    std::filesystem::create_directories(root + "/.work");
    std::ofstream(root + "/.work/part.mp4") << "half a video";
    std::ofstream(root + "/thumbs/.hidden.jpg") << "hidden";
    std::filesystem::create_symlink("/etc/hostname", root + "/thumbs/outside.jpg");
    std::filesystem::create_directory_symlink(root + "/thumbs", root + "/linked");
    std::filesystem::create_directories(root + "/empty");

    nginx_ = std::make_unique<ServeContent>(root);
    ASSERT_TRUE(nginx_->running()) << nginx_->output();
    demo::ServerOptions options;
    options.contentDirectory = root;
    // Both put the same address into the links, so the bytes can match.
    options.publicBaseURL = nginx_->url();
    sample_ = std::make_unique<demo::SampleServer>(options);
    std::string error;
    ASSERT_TRUE(sample_->start(&error)) << error;
    videoSize_ = std::filesystem::file_size(root + "/videos/topic-01.mp4");
  }

  void TearDown() override {
    if (sample_) sample_->stop();
    if (nginx_) {
      EXPECT_EQ(nginx_->errors(), "") << "nginx complained";
    }
  }

  // Asks both; the statuses, the bodies (after gzip) and the headers a
  // client acts on must agree, and the status must be the one expected.
  void compare(const Probe& probe) {
    SCOPED_TRACE(probe.method + " " + probe.target);
    HttpReply fromNginx = httpExchange(nginx_->port(), probe.method, probe.target, probe.headers);
    HttpReply fromSample = httpExchange(sample_->port(), probe.method, probe.target, probe.headers);
    ASSERT_TRUE(fromNginx.received);
    ASSERT_TRUE(fromSample.received);
    EXPECT_EQ(fromNginx.status, probe.expectedStatus);
    EXPECT_EQ(fromSample.status, fromNginx.status);
    EXPECT_EQ(fromSample.body.size(), fromNginx.body.size());
    EXPECT_TRUE(fromSample.body == fromNginx.body) << "bodies differ";
    EXPECT_EQ(fromSample.header("content-range"), fromNginx.header("content-range"));
    if (fromNginx.status < 300 || fromNginx.status == 304) {
      for (const char* name : {"etag", "last-modified", "cache-control"}) {
        EXPECT_EQ(fromSample.header(name), fromNginx.header(name)) << name;
        EXPECT_NE(fromNginx.header(name), "") << name;
      }
      if (fromNginx.status != 304) {
        EXPECT_EQ(fromSample.header("content-type"), fromNginx.header("content-type"));
        EXPECT_EQ(fromSample.header("accept-ranges"), fromNginx.header("accept-ranges"));
      }
    }
    ++compared_;
  }

  std::unique_ptr<TreeCopy> tree_;
  std::unique_ptr<ServeContent> nginx_;
  std::unique_ptr<demo::SampleServer> sample_;
  std::uintmax_t videoSize_ = 0;
  int compared_ = 0;
};

const char* kTopic = "/infolist?_method=infoJson&categoryId=34679&pageSize=100&order=2&pageNo=0";
const char* kShow = "/infolist?_method=orvel";
const char* kApps =
    "/api/app/resourcelist_ng.json?appId=243&categoryName=recommendation&resourceType=5";
const Headers kGzip = {{"Accept-Encoding", "gzip"}};

TEST_F(ServersCompareTest, FeedsAppListAndPicturesAnswerTheSameBytes) {
  for (const Probe& probe : std::vector<Probe>{
           {"GET", kTopic, {}, 200},
           {"GET", kTopic, kGzip, 200},
           {"GET", kShow, kGzip, 200},
           {"HEAD", kShow, {}, 200},
           {"GET", "/infolist?_METHOD=orvel", {}, 200},
           {"GET", "/infolist?pageNo=0&_method=infoJson", {}, 200},
           {"GET", "/infolist?_method=orvel&_method=infoJson", {}, 200},
           {"GET", "//infolist?_method=orvel", {}, 200},
           {"GET", "/feeds/show.json", {}, 200},
           // Feeds are sent whole even when a part is asked for.
           {"GET", kShow, {{"Range", "bytes=0-9"}}, 200},
           {"GET", kApps, kGzip, 200},
           {"GET", "/api/app/resourcelist_ng.json", {}, 200},
           {"GET", "/thumbs/topic-01.jpg", {}, 200},
           {"GET", "/thumbs/show-03.jpg", kGzip, 200},
           {"GET", "/icons/app-01.png", {}, 200},
           {"GET", "/apps/app-01.html", {}, 200},
           {"GET", "/apps/app-02.html", kGzip, 200},
           {"GET", "/thumbs/../thumbs/topic-02.jpg", {}, 200},
           {"GET", "/thumbs//topic-03.jpg", {}, 200},
           {"GET", "/thumbs/topic-04%2Ejpg", {}, 200},
           {"GET", "/captions/topic-01.vtt", {}, 200},
           {"GET", "/captions/show-10.vtt", kGzip, 200},
           {"HEAD", "/captions/topic-16.vtt", {}, 200},
           {"GET", "/captions/topic-02.vtt", {{"Range", "bytes=0-5"}}, 206},
           {"GET", "/captions/nothing.vtt", {}, 404},
       }) {
    compare(probe);
  }
  // The links in the feeds lead to this tree, on the server's address.
  HttpReply topic = httpExchange(nginx_->port(), "GET", kTopic);
  EXPECT_NE(topic.body.find("\"imageUrl\": \"" + nginx_->url() + "/thumbs/topic-01.jpg\""),
            std::string::npos);
  EXPECT_EQ(topic.body.find("{base}"), std::string::npos);
  EXPECT_EQ(topic.header("content-type"), "application/json; charset=utf-8");
  EXPECT_NE(topic.body.find("\"subtitleUrl\": \"" + nginx_->url() + "/captions/topic-01.vtt\""),
            std::string::npos);
  HttpReply captions = httpExchange(nginx_->port(), "GET", "/captions/topic-01.vtt", kGzip);
  EXPECT_EQ(captions.header("content-type"), "text/vtt; charset=utf-8");
  EXPECT_TRUE(captions.gzipped);
  EXPECT_TRUE(captions.body.starts_with("WEBVTT\n"));
  HttpReply zipped = httpExchange(nginx_->port(), "GET", kTopic, kGzip);
  EXPECT_TRUE(zipped.gzipped);
  HttpReply sampleZipped = httpExchange(sample_->port(), "GET", kTopic, kGzip);
  EXPECT_TRUE(sampleZipped.gzipped);
  EXPECT_EQ(compared_, 25);
}

TEST_F(ServersCompareTest, VideosAnswerTheSameRangesAndRefusals) {
  const std::string size = std::to_string(videoSize_);
  const std::string video = "/videos/topic-01.mp4";
  for (const Probe& probe : std::vector<Probe>{
           {"GET", video, {}, 200},
           {"HEAD", video, {}, 200},
           {"GET", video, {{"Range", "bytes=0-99"}}, 206},
           {"GET", video, {{"Range", "bytes=1000-"}}, 206},
           {"GET", video, {{"Range", "bytes=-500"}}, 206},
           {"GET", video, {{"Range", "bytes=" + std::to_string(videoSize_ - 1) + "-"}}, 206},
           {"GET", video, {{"Range", "bytes=100-" + std::to_string(videoSize_ + 5000)}}, 206},
           {"GET", video, {{"Range", "bytes=-" + std::to_string(videoSize_ + 10)}}, 206},
           {"GET", video, {{"Range", "bytes= 10 - 20"}}, 206},
           {"GET", video, {{"Range", "BYTES=5-9"}}, 206},
           {"HEAD", video, {{"Range", "bytes=0-0"}}, 206},
           {"GET", video, {{"Range", "bytes=" + size + "-"}}, 416},
           {"GET", video, {{"Range", "bytes=" + size + "-" + size}}, 416},
           {"GET", video, {{"Range", "bytes=50-10"}}, 416},
           {"GET", video, {{"Range", "bytes=-0"}}, 416},
           {"GET", video, {{"Range", "bytes=abc"}}, 416},
           {"GET", video, {{"Range", "bytes=5"}}, 416},
           // Forms that are not served as ranges send the whole file.
           {"GET", video, {{"Range", "bytes=0-1,5-6"}}, 200},
           {"GET", video, {{"Range", "items=0-5"}}, 200},
           {"GET", video, {{"Range", "bytes=0-"}}, 206},
       }) {
    compare(probe);
  }
}

TEST_F(ServersCompareTest, ConditionalRequestsAgree) {
  HttpReply first = httpExchange(nginx_->port(), "GET", "/videos/show-01.mp4");
  ASSERT_EQ(first.status, 200);
  const std::string tag = first.header("etag");
  const std::string modified = first.header("last-modified");
  ASSERT_FALSE(tag.empty());
  ASSERT_FALSE(modified.empty());
  const std::string video = "/videos/show-01.mp4";
  for (const Probe& probe : std::vector<Probe>{
           {"GET", video, {{"If-None-Match", tag}}, 304},
           {"GET", video, {{"If-None-Match", "\"other\", " + tag}}, 304},
           {"GET", video, {{"If-None-Match", "\"other\""}}, 200},
           {"GET", video, {{"If-Modified-Since", modified}}, 304},
           {"GET", video, {{"If-Modified-Since", "Mon, 01 Jan 2001 00:00:00 GMT"}}, 200},
           {"GET", video, {{"If-None-Match", tag}, {"If-Modified-Since", modified}}, 304},
           {"GET", video, {{"Range", "bytes=0-9"}, {"If-Range", tag}}, 206},
           {"GET", video, {{"Range", "bytes=0-9"}, {"If-Range", "\"stale\""}}, 200},
           {"GET", video, {{"Range", "bytes=0-9"}, {"If-Range", modified}}, 206},
       }) {
    compare(probe);
  }
  // Captions are revalidated like any other text.
  HttpReply captions = httpExchange(nginx_->port(), "GET", "/captions/show-01.vtt");
  ASSERT_EQ(captions.status, 200);
  for (const Probe& probe : std::vector<Probe>{
           {"GET", "/captions/show-01.vtt", {{"If-None-Match", captions.header("etag")}}, 304},
           {"GET",
            "/captions/show-01.vtt",
            {{"If-Modified-Since", captions.header("last-modified")}, {"Accept-Encoding", "gzip"}},
            304},
           {"GET", "/captions/show-01.vtt", {{"If-None-Match", "\"other\""}}, 200},
       }) {
    compare(probe);
  }
}

TEST_F(ServersCompareTest, WhatIsNotContentIsMissingOnBoth) {
  for (const Probe& probe : std::vector<Probe>{
           // Climbing out of the tree, plainly and escaped.
           {"GET", "/../etc/passwd", {}, 404},
           {"GET", "/videos/../../etc/passwd", {}, 404},
           {"GET", "/videos/..%2F..%2Fetc%2Fpasswd", {}, 404},
           {"GET", "/%2e%2e/%2e%2e/etc/passwd", {}, 404},
           {"GET", "/thumbs/..", {}, 404},
           // Dot-files and folders.
           {"GET", "/.secret", {}, 404},
           {"GET", "/.work/part.mp4", {}, 404},
           {"GET", "/thumbs/.hidden.jpg", {}, 404},
           {"GET", "/thumbs/%2Ehidden.jpg", {}, 404},
           {"GET", "/.lorvane/not-found", {}, 404},
           {"GET", "/.lock", {}, 404},
           {"GET", "/.complete", {}, 404},
           // Unknown or missing feed names.
           {"GET", "/infolist?_method=bogus", {}, 404},
           {"GET", "/infolist?_method=", {}, 404},
           {"GET", "/infolist?x_method=orvel", {}, 404},
           {"GET", "/infolist?_method=Orvel", {}, 404},
           {"GET", "/infolist", {}, 404},
           {"GET", "/infolist/", {}, 404},
           // No listings, nothing behind a link, nothing that is not there.
           {"GET", "/", {}, 404},
           {"GET", "/thumbs/", {}, 404},
           {"GET", "/thumbs", {}, 404},
           {"GET", "/empty/", {}, 404},
           {"GET", "/thumbs/outside.jpg", {}, 404},
           {"GET", "/linked/topic-01.jpg", {}, 404},
           {"GET", "/videos/nothing.mp4", {}, 404},
           {"GET", "/lessons.json", {}, 404},
           // Only reading.
           {"POST", kShow, {}, 405},
           {"DELETE", "/videos/topic-01.mp4", {}, 405},
           {"PUT", "/thumbs/new.jpg", {}, 405},
       }) {
    compare(probe);
  }
}

}  // namespace
}  // namespace lorvane
