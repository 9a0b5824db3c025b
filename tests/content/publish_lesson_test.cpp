// scripts/publish-lesson and scripts/bake-content on temporary trees.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/documents_folder.h"
#include "content/content_test_support.h"
#include "demo/server/sample_server.h"
#include "json/json.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "platform/media/player.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"
#include "platform/ui/font.h"
#include "platform/ui/image.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"
#include "player/detail_view_controller.h"
#include "support/net/nginx_server.h"

namespace lorvane {
namespace {

using testing::CommandResult;
using testing::httpExchange;
using testing::readFileText;
using testing::runCommand;
using testing::snapshotTree;
using testing::TreeCopy;

const std::string kPublish = LORVANE_SOURCE_DIR "/scripts/publish-lesson";
const std::string kBake = LORVANE_SOURCE_DIR "/scripts/bake-content";

void writeText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

// A video as an author might hand it in: big, fast and in old codecs.
std::string makeAuthorVideo(const std::string& folder, double seconds, bool audio = true) {
  std::string path = folder + (audio ? "/author.avi" : "/silent.avi");
  std::vector<std::string> command{
      "ffmpeg", "-nostdin", "-v",
      "error",  "-y",       "-f",
      "lavfi",  "-i",       "testsrc2=size=1920x1080:rate=50:duration=" + std::to_string(seconds)};
  if (audio) {
    command.insert(command.end(),
                   {"-f", "lavfi", "-i", "sine=frequency=330:duration=" + std::to_string(seconds)});
  }
  command.insert(command.end(), {"-c:v", "mpeg4", "-q:v", "5"});
  if (audio) command.insert(command.end(), {"-c:a", "libmp3lame"});
  command.push_back(path);
  CommandResult made = runCommand(command);
  EXPECT_EQ(made.status, 0) << made.output;
  return path;
}

struct VideoFacts {
  std::string videoCodec, audioCodec;
  int width = 0, height = 0;
  double framesPerSecond = 0, duration = 0;
  std::vector<double> keyFrames;
  bool indexFirst = false;
};

VideoFacts examine(const std::string& path) {
  VideoFacts facts;
  auto streams = runCommand({"ffprobe", "-v", "error", "-show_entries",
                             "stream=codec_type,codec_name,width,height,avg_frame_rate:format="
                             "duration",
                             "-of", "json", path});
  JSONValueRef info = objectFromJSONString(streams.output);
  if (!info || !info->isDictionary()) return facts;
  for (const JSONValue* stream : *info->asDictionary()->objectForKey("streams")->asArray()) {
    const JSONDictionary* s = stream->asDictionary();
    std::string type(s->objectForKey("codec_type")->stringValue());
    std::string codec(s->objectForKey("codec_name")->stringValue());
    if (type == "audio") facts.audioCodec = codec;
    if (type != "video") continue;
    facts.videoCodec = codec;
    facts.width = static_cast<int>(s->objectForKey("width")->asNumber()->int64Value());
    facts.height = static_cast<int>(s->objectForKey("height")->asNumber()->int64Value());
    std::string rate(s->objectForKey("avg_frame_rate")->stringValue());
    auto slash = rate.find('/');
    double over = slash == std::string::npos ? 1 : std::stod(rate.substr(slash + 1));
    facts.framesPerSecond = over > 0 ? std::stod(rate.substr(0, slash)) / over : 0;
  }
  const JSONValue* format = info->asDictionary()->objectForKey("format");
  const JSONValue* duration =
      format && format->isDictionary() ? format->asDictionary()->objectForKey("duration") : nullptr;
  if (duration && duration->isString())
    facts.duration = std::stod(std::string(duration->stringValue()));
  auto keys = runCommand({"ffprobe", "-v", "error", "-select_streams", "v:0", "-skip_frame",
                          "nokey", "-show_entries", "frame=pts_time", "-of", "csv=p=0", path});
  std::istringstream lines(keys.output);
  for (std::string line; std::getline(lines, line);) {
    line = line.substr(0, line.find(','));
    if (!line.empty()) facts.keyFrames.push_back(std::stod(line));
  }
  std::sort(facts.keyFrames.begin(), facts.keyFrames.end());
  // The top-level boxes of the MP4, in order.
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> boxes;
  for (unsigned char head[8]; in.read(reinterpret_cast<char*>(head), 8);) {
    std::uint64_t size =
        (std::uint64_t{head[0]} << 24) | (head[1] << 16) | (head[2] << 8) | head[3];
    boxes.emplace_back(reinterpret_cast<char*>(head + 4), 4);
    if (size < 8) break;
    in.seekg(static_cast<std::streamoff>(size - 8), std::ios::cur);
  }
  auto moov = std::find(boxes.begin(), boxes.end(), "moov");
  auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
  facts.indexFirst = moov != boxes.end() && mdat != boxes.end() && moov < mdat;
  return facts;
}

void expectKeyFrameEveryTwoSeconds(const VideoFacts& facts) {
  ASSERT_FALSE(facts.keyFrames.empty());
  EXPECT_LT(facts.keyFrames.front(), 0.05);
  std::vector<double> ends = facts.keyFrames;
  ends.push_back(facts.duration);
  for (std::size_t i = 1; i < ends.size(); ++i) {
    EXPECT_LE(ends[i] - ends[i - 1], 2.05) << "between key frames at " << ends[i - 1];
  }
}

// The feed records the sample server sends for `feed` of a tree.
JSONValueRef feedFrom(demo::SampleServer& server, const std::string& target) {
  auto reply = httpExchange(server.port(), "GET", target);
  EXPECT_EQ(reply.status, 200);
  return objectFromJSONString(reply.body);
}

const JSONArray* records(const JSONValueRef& answer) {
  return answer->asArray()->objectAtIndex(0)->asDictionary()->objectForKey("data")->asArray();
}

std::string text(const JSONDictionary* record, const char* key) {
  const JSONValue* value = record->objectForKey(key);
  return value && value->isString() ? std::string(value->stringValue()) : std::string();
}

struct Cue {
  double start = 0, end = 0;
  std::string text;  // its lines, joined by line breaks
};

double cueTime(const std::string& text) {
  return std::stoi(text.substr(0, 2)) * 3600 + std::stoi(text.substr(3, 2)) * 60 +
         std::stod(text.substr(6));
}

// The cues of a generated caption file ("WEBVTT", then numbered cues).
std::vector<Cue> cuesOf(const std::string& file) {
  std::vector<Cue> cues;
  std::istringstream in(file);
  std::string line;
  if (!std::getline(in, line) || line != "WEBVTT") return cues;
  while (std::getline(in, line)) {
    if (line.find(" --> ") == std::string::npos) continue;
    Cue cue;
    cue.start = cueTime(line.substr(0, 12));
    cue.end = cueTime(line.substr(17, 12));
    while (std::getline(in, line) && !line.empty()) {
      cue.text += (cue.text.empty() ? "" : "\n") + line;
    }
    cues.push_back(cue);
  }
  return cues;
}

class PublishLessonTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tree_ = std::make_unique<TreeCopy>(demo::defaultContentDirectory());
    description_ = scratch_.path() + "/lesson.json";
  }

  CommandResult publish(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), {kPublish, "--tree", tree_->path()});
    return runCommand(arguments);
  }

  // Plays the record's video on the lesson page with the real media layer.
  void expectPlays(const JSONDictionary* record) {
    // Where the lesson is left stays with the test.
    testing::ScopedDocumentsFolder documents;
    Clock::resetShared();
    Screen::mainScreen().reset();
    Application::sharedApplication().reset();
    FontBackend::install(nullptr);
    Image::setResourcesFolder(LORVANE_SOURCE_DIR "/resources");
    auto window = std::make_shared<Window>();
    window->makeKeyAndVisible();
    auto navigation = std::make_shared<NavigationController>(std::make_shared<ViewController>());
    window->setRootViewController(navigation);
    auto page = std::make_shared<DetailViewController>();
    PlayerOptions options;
    options.clockDrivenAudio = true;
    page->setPlayerFactory(std::make_shared<MediaPlayerFactory>(options));
    page->setVideoInfoDictionary(
        JSONRef<JSONDictionary>::retain(const_cast<JSONDictionary*>(record)));
    navigation->pushViewController(page, false);
    auto player = page->playVideoViewController();
    EXPECT_TRUE(RunLoop::main().runUntil(
        [&] { return player->isPlaying() && player->videoPlayer()->currentTime().seconds() > 1.0; },
        20));
    page->backAction();
    navigation.reset();
    window->setRootViewController(nullptr);
    RunLoop::main().runUntilIdle();
    for (auto& alert : AlertView::visibleAlerts()) alert->dismissWithClickedButtonIndex(0, false);
    Application::sharedApplication().reset();
  }

  testing::TemporaryDirectory scratch_;
  std::unique_ptr<TreeCopy> tree_;
  std::string description_;
};

TEST_F(PublishLessonTest, AGeneratedLessonAppearsAtTheTopOfItsFeedAndPlays) {
  writeText(description_, R"({
    "feed": "show", "titleZh": "外带咖啡", "titleEn": "Coffee to Go",
    "teachers": "Orvel", "cateName": "日常生活", "pubTime": "2024-05-01", "scene": "coffee",
    "sentences": [{"en": "A small flat white to go, please.", "zh": "一杯小杯馥芮白，带走。"},
                  {"en": "Can I pay by card?", "zh": "可以刷卡吗？"}]})");
  CommandResult result = publish({description_});
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("coffee-to-go is in the show feed"), std::string::npos);

  demo::ServerOptions options;
  options.contentDirectory = tree_->path();
  demo::SampleServer server(options);
  ASSERT_TRUE(server.start());
  JSONValueRef show = feedFrom(server, "/infolist?_method=orvel");
  ASSERT_TRUE(show);
  ASSERT_EQ(records(show)->count(), 11u);
  const JSONDictionary* lesson = records(show)->objectAtIndex(0)->asDictionary();
  EXPECT_EQ(text(lesson, "id"), "coffee-to-go");
  EXPECT_EQ(text(lesson, "title"), "外带咖啡 Coffee to Go");
  EXPECT_EQ(text(lesson, "teachers"), "Orvel");
  EXPECT_EQ(text(lesson, "cateName"), "日常生活");
  EXPECT_EQ(text(lesson, "pubTime"), "2024-05-01");
  EXPECT_EQ(text(lesson, "imageUrl"), server.baseURL() + "/thumbs/coffee-to-go.jpg");
  EXPECT_EQ(text(lesson, "videoUrl"), server.baseURL() + "/videos/coffee-to-go.mp4");
  EXPECT_EQ(text(lesson, "subtitleUrl"), server.baseURL() + "/captions/coffee-to-go.vtt");
  ASSERT_TRUE(lesson->objectForKey("playTime")->isNumber());
  const auto playTime = lesson->objectForKey("playTime")->asNumber()->int64Value();
  EXPECT_EQ(text(records(show)->objectAtIndex(1)->asDictionary(), "id"), "show-01");
  EXPECT_EQ(show->asArray()
                ->objectAtIndex(0)
                ->asDictionary()
                ->objectForKey("total")
                ->asNumber()
                ->int64Value(),
            11);

  VideoFacts video = examine(tree_->path() + "/videos/coffee-to-go.mp4");
  EXPECT_EQ(video.videoCodec, "h264");
  EXPECT_EQ(video.audioCodec, "aac");
  EXPECT_TRUE(video.indexFirst);
  EXPECT_NEAR(video.duration, double(playTime), 0.5);
  expectKeyFrameEveryTwoSeconds(video);
  auto thumbnail = httpExchange(server.port(), "GET", "/thumbs/coffee-to-go.jpg");
  EXPECT_EQ(thumbnail.status, 200);
  EXPECT_EQ(thumbnail.body.substr(0, 2), "\xFF\xD8");
  VideoFacts picture = examine(tree_->path() + "/thumbs/coffee-to-go.jpg");
  EXPECT_EQ(picture.width, 600);
  EXPECT_EQ(picture.height, 306);

  // Each sentence is heard twice, slowly and at normal speed, each time
  // with a cue of its own, in order and inside the video.
  auto captions = httpExchange(server.port(), "GET", "/captions/coffee-to-go.vtt");
  EXPECT_EQ(captions.status, 200);
  EXPECT_EQ(captions.header("content-type"), "text/vtt; charset=utf-8");
  const std::vector<Cue> cues = cuesOf(captions.body);
  ASSERT_EQ(cues.size(), 4u) << captions.body;
  const char* expected[][2] = {{"A small flat white to go, please.", "一杯小杯馥芮白，带走。"},
                               {"A small flat white to go, please.", "一杯小杯馥芮白，带走。"},
                               {"Can I pay by card?", "可以刷卡吗？"},
                               {"Can I pay by card?", "可以刷卡吗？"}};
  double previousEnd = 0;
  for (std::size_t n = 0; n < cues.size(); ++n) {
    EXPECT_EQ(cues[n].text, std::string(expected[n][0]) + "\n" + expected[n][1]);
    EXPECT_GE(cues[n].start, previousEnd);
    EXPECT_GT(cues[n].end, cues[n].start);
    previousEnd = cues[n].end;
  }
  EXPECT_GT(cues[0].end - cues[0].start, cues[1].end - cues[1].start) << "the slow one is longer";
  EXPECT_LE(previousEnd, video.duration);

  expectPlays(lesson);
  for (const auto& entry : std::filesystem::directory_iterator(tree_->path())) {
    EXPECT_FALSE(entry.path().filename().string().starts_with(".publish")) << "work folder left";
  }
}

TEST_F(PublishLessonTest, AnAuthorsVideoIsTranscodedForTheApp) {
  std::string source = makeAuthorVideo(scratch_.path(), 5);
  writeText(description_, R"({
    "id": "small-talk", "titleZh": "闲聊", "titleEn": "Small Talk",
    "teachers": "Orvel", "cateName": "社交聊天",
    "sentences": [{"en": "Lovely weather today, isn't it?"}]})");
  // The author's captions as a subtitle tool writes them: a byte order
  // mark, CRLF, a note, cue settings and times without hours.
  const std::string captionFile = scratch_.path() + "/small-talk.vtt";
  const std::string authorCaptions =
      "\xEF\xBB\xBFWEBVTT - Small Talk\r\n\r\nNOTE made by hand\r\n\r\n"
      "00:00.500 --> 00:02.000 align:center\r\nLovely weather today, isn't it?\r\n\r\n"
      "intro-2\r\n00:02.500 --> 00:04.900\r\n<v Orvel>It is!\r\n";
  writeText(captionFile, authorCaptions);
  CommandResult result =
      publish({"--video", source, "--captions", captionFile, "--last", description_});
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_EQ(readFileText(tree_->path() + "/captions/small-talk.vtt"), authorCaptions)
      << "the author's file goes in unchanged";

  VideoFacts video = examine(tree_->path() + "/videos/small-talk.mp4");
  EXPECT_EQ(video.videoCodec, "h264");
  EXPECT_EQ(video.audioCodec, "aac");
  EXPECT_EQ(video.width, 1280);
  EXPECT_EQ(video.height, 720);
  EXPECT_LE(video.framesPerSecond, 30.0);
  EXPECT_TRUE(video.indexFirst);
  EXPECT_NEAR(video.duration, 5, 0.3);
  expectKeyFrameEveryTwoSeconds(video);
  EXPECT_GE(video.keyFrames.size(), 3u);
  VideoFacts picture = examine(tree_->path() + "/thumbs/small-talk.jpg");
  EXPECT_EQ(picture.width, 294) << "the grid tile at 2x";
  EXPECT_EQ(picture.height, 182);

  demo::ServerOptions options;
  options.contentDirectory = tree_->path();
  demo::SampleServer server(options);
  ASSERT_TRUE(server.start());
  JSONValueRef topic =
      feedFrom(server, "/infolist?_method=infoJson&categoryId=34679&pageSize=100&order=2&pageNo=0");
  ASSERT_TRUE(topic);
  ASSERT_EQ(records(topic)->count(), 17u);
  const JSONDictionary* lesson = records(topic)->objectAtIndex(16)->asDictionary();
  EXPECT_EQ(text(lesson, "id"), "small-talk") << "--last puts it at the end";
  EXPECT_EQ(lesson->objectForKey("playTime")->asNumber()->int64Value(), 5);
  EXPECT_EQ(text(lesson, "pubTime").size(), 10u) << "today, YYYY-MM-DD";
  EXPECT_EQ(text(lesson, "subtitleUrl"), server.baseURL() + "/captions/small-talk.vtt");
  EXPECT_EQ(text(records(topic)->objectAtIndex(0)->asDictionary(), "subtitleUrl"),
            server.baseURL() + "/captions/topic-01.vtt");
  expectPlays(lesson);
}

// Captions need both lines of every cue; a sentence without its meaning
// leaves the lesson without captions rather than with broken ones.
TEST_F(PublishLessonTest, AGeneratedLessonWithoutMeaningsHasNoCaptions) {
  writeText(description_, R"({"id": "no-meaning", "titleZh": "问候", "titleEn": "Greetings",
      "teachers": "Orvel", "cateName": "社交聊天",
      "sentences": [{"en": "Good morning!", "zh": "早上好！"}, {"en": "How are you?"}]})");
  CommandResult result = publish({description_});
  ASSERT_EQ(result.status, 0) << result.output;
  EXPECT_NE(result.output.find("no captions"), std::string::npos) << result.output;
  EXPECT_FALSE(std::filesystem::exists(tree_->path() + "/captions/no-meaning.vtt"));
  JSONValueRef topic = objectFromJSONString(readFileText(tree_->path() + "/feeds/topic.json"));
  ASSERT_TRUE(topic);
  const JSONDictionary* lesson = records(topic)->objectAtIndex(0)->asDictionary();
  EXPECT_EQ(text(lesson, "id"), "no-meaning");
  EXPECT_EQ(lesson->objectForKey("subtitleUrl"), nullptr);
  EXPECT_EQ(text(lesson, "videoUrl"), "{base}/videos/no-meaning.mp4");
  EXPECT_EQ(text(records(topic)->objectAtIndex(1)->asDictionary(), "subtitleUrl"),
            "{base}/captions/topic-01.vtt")
      << "the other lessons keep theirs";
}

TEST_F(PublishLessonTest, EachBadInputIsNamedAndLeavesTheTreeAsItWas) {
  const std::string good = R"("titleZh": "闲聊", "titleEn": "Small Talk", "teachers": "Orvel",
      "cateName": "社交聊天", "sentences": [{"en": "Hello there."}])";
  std::string silent = makeAuthorVideo(scratch_.path(), 2, false);
  std::filesystem::create_directories(scratch_.path() + "/good");
  std::string sounding = makeAuthorVideo(scratch_.path() + "/good", 2);
  auto captionsFile = [&](const std::string& name, const std::string& content) {
    std::string path = scratch_.path() + "/" + name + ".vtt";
    writeText(path, content);
    return path;
  };
  const std::string cue = "00:00.000 --> 00:01.000\nHello there.\n";
  auto withCaptions = [&](const std::string& path) {
    return std::vector<std::string>{"--video", sounding, "--captions", path};
  };
  std::string broken = scratch_.path() + "/broken.mp4";
  writeText(broken, "this is no video at all");
  const auto before = snapshotTree(tree_->path());

  struct Case {
    std::string name;
    std::string description;  // empty: no file
    std::vector<std::string> extra;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"missing description", "", {}, "lesson.json: no such file"},
      {"not JSON", "{\"titleZh\": ", {}, "not JSON"},
      {"not an object", "[1, 2]", {}, "must hold one JSON object"},
      {"no English title",
       R"({"titleZh": "闲聊", "teachers": "Orvel", "cateName": "c",
          "sentences": [{"en": "Hi."}]})",
       {},
       "'titleEn' is missing"},
      {"no teacher",
       R"({"titleZh": "闲聊", "titleEn": "Small Talk", "cateName": "c",
          "sentences": [{"en": "Hi."}]})",
       {},
       "'teachers' is missing"},
      {"no sentences",
       R"({"titleZh": "闲聊", "titleEn": "Small Talk", "teachers": "Orvel",
          "cateName": "c", "sentences": []})",
       {},
       "'sentences' must list at least one"},
      {"sentence without English",
       "{" + good + R"(, "sentences": [{"zh": "你好"}]})",
       {},
       "sentence 1 has no English text"},
      {"unknown feed", "{" + good + R"(, "feed": "news"})", {}, "'feed' must be"},
      {"bad id", "{" + good + R"(, "id": "Small Talk!"})", {}, "'id' must be lower-case"},
      {"id taken", "{" + good + R"(, "id": "topic-03"})", {}, "has a lesson 'topic-03' already"},
      {"marker in a title",
       R"({"titleZh": "闲聊", "titleEn": "{base} talk", "teachers": "O",
          "cateName": "c", "sentences": [{"en": "Hi."}]})",
       {},
       "must not contain '{base}'"},
      {"unknown scene", "{" + good + R"(, "scene": "volcano"})", {}, "unknown scene 'volcano'"},
      {"missing video",
       "{" + good + "}",
       {"--video", scratch_.path() + "/nothing.mp4"},
       "nothing.mp4: no such file"},
      {"unreadable video", "{" + good + "}", {"--video", broken}, "cannot read"},
      {"video without sound", "{" + good + "}", {"--video", silent}, "has no sound"},
      {"captions without a video",
       "{" + good + "}",
       {"--captions", captionsFile("alone", "WEBVTT\n\n" + cue)},
       "--captions goes with --video"},
      {"missing captions", "{" + good + "}", withCaptions(scratch_.path() + "/none.vtt"),
       "none.vtt: no such file"},
      {"captions without the header", "{" + good + "}", withCaptions(captionsFile("headless", cue)),
       "the first line must be \"WEBVTT\""},
      {"captions that are not UTF-8", "{" + good + "}",
       withCaptions(captionsFile("latin", "WEBVTT\n\n00:00.000 --> 00:01.000\nCaf\xE9\n")),
       "not UTF-8"},
      {"a timestamp that does not parse", "{" + good + "}",
       withCaptions(captionsFile("clock", "WEBVTT\n\n00:00,000 --> 00:01.000\nHi.\n")),
       "is not \"start --> end\""},
      {"a cue that ends before it starts", "{" + good + "}",
       withCaptions(captionsFile("backwards", "WEBVTT\n\n00:01.500 --> 00:01.000\nHi.\n")),
       "line 3: the cue ends at or before its start"},
      {"cues out of order", "{" + good + "}",
       withCaptions(captionsFile("order", "WEBVTT\n\n00:01.000 --> 00:01.500\nHi.\n\n" + cue)),
       "line 6: the cue starts before the one above it"},
      {"a cue without text", "{" + good + "}",
       withCaptions(captionsFile("mute", "WEBVTT\n\n1\n00:00.000 --> 00:01.000\n")),
       "the cue has no text"},
      {"captions without cues", "{" + good + "}",
       withCaptions(captionsFile("empty", "WEBVTT\n\nNOTE nothing yet\n")), "holds no cues"},
      {"a cue after the end of the video", "{" + good + "}",
       withCaptions(captionsFile("late", "WEBVTT\n\n" + cue + "\n00:01.500 --> 00:09.000\nBye.\n")),
       "the cue ends at 9.000 s, after the video"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(description_);
    if (!c.description.empty()) writeText(description_, c.description);
    std::vector<std::string> arguments = c.extra;
    arguments.push_back(description_);
    CommandResult result = publish(arguments);
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_NE(result.output.find(c.message), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("the tree is unchanged"), std::string::npos) << result.output;
    EXPECT_EQ(result.output.find("Traceback"), std::string::npos) << result.output;
    EXPECT_TRUE(snapshotTree(tree_->path()) == before) << "the tree changed";
  }

  // A tree that is not there, and a call without a description.
  writeText(description_, "{" + good + "}");
  CommandResult noTree = runCommand({kPublish, "--tree", scratch_.path() + "/none", description_});
  EXPECT_EQ(noTree.status, 1);
  EXPECT_NE(noTree.output.find("no such folder"), std::string::npos) << noTree.output;
  CommandResult usage = runCommand({kPublish, "--tree", tree_->path()});
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.output.find("usage: scripts/publish-lesson"), std::string::npos);
  EXPECT_TRUE(snapshotTree(tree_->path()) == before);
}

// Killed in the middle of its work, the tool leaves only its private work
// folder behind: the feeds and media are as they were, and the next run
// publishes.
TEST_F(PublishLessonTest, AKilledRunLeavesTheServedTreeAsItWas) {
  std::string source = makeAuthorVideo(scratch_.path(), 6);
  writeText(description_, R"({"id": "long-talk", "titleZh": "长谈", "titleEn": "A Long Talk",
      "teachers": "Orvel", "cateName": "社交聊天", "sentences": [{"en": "Let us talk."}]})");
  auto servedFiles = [&] {
    auto snapshot = snapshotTree(tree_->path());
    std::erase_if(snapshot, [](const auto& entry) { return entry.first.starts_with("."); });
    return snapshot;
  };
  const auto before = servedFiles();
  pid_t child = ::fork();
  if (child == 0) {
    ::setpgid(0, 0);
    ::execl(kPublish.c_str(), kPublish.c_str(), "--tree", tree_->path().c_str(), "--video",
            source.c_str(), description_.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Wait until the transcode has begun writing, then kill the whole group
  // of work at once, as a power cut would.
  bool working = false;
  for (int i = 0; i < 400 && !working; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(tree_->path())) {
      if (entry.path().filename().string().starts_with(".publish-long-talk") &&
          std::filesystem::exists(entry.path() / "video.mp4")) {
        working = true;
      }
    }
    if (!working) std::this_thread::sleep_for(std::chrono::milliseconds(25));
  }
  EXPECT_TRUE(working);
  ::kill(-child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_TRUE(servedFiles() == before) << "a served file changed";

  std::filesystem::create_directories(scratch_.path() + "/short");
  std::string shortSource = makeAuthorVideo(scratch_.path() + "/short", 2);
  CommandResult again = publish({"--video", shortSource, description_});
  EXPECT_EQ(again.status, 0) << again.output;
  EXPECT_TRUE(std::filesystem::exists(tree_->path() + "/videos/long-talk.mp4"));
}

TEST(BakeContentTest, TheCopyCarriesPlainLinksAndNoToolFiles) {
  TreeCopy tree(demo::defaultContentDirectory());
  testing::TemporaryDirectory out;
  const std::string target = out.path() + "/baked";
  CommandResult result =
      runCommand({kBake, "--base-url", "https://cdn.example.com/lorvane/", tree.path(), target});
  ASSERT_EQ(result.status, 0) << result.output;
  for (const char* file :
       {"/feeds/topic.json", "/feeds/show.json", "/api/app/resourcelist_ng.json"}) {
    std::string text = readFileText(target + file);
    EXPECT_EQ(text.find("{base}"), std::string::npos) << file;
    EXPECT_NE(text.find("\"https://cdn.example.com/lorvane/"), std::string::npos) << file;
    EXPECT_TRUE(objectFromJSONString(text)) << file;
  }
  EXPECT_NE(readFileText(target + "/feeds/show.json")
                .find("\"subtitleUrl\": \"https://cdn.example.com/lorvane/captions/show-01.vtt\""),
            std::string::npos);
  EXPECT_EQ(readFileText(target + "/captions/show-01.vtt"),
            readFileText(tree.path() + "/captions/show-01.vtt"));
  EXPECT_FALSE(std::filesystem::exists(target + "/.lock"));
  EXPECT_FALSE(std::filesystem::exists(target + "/.complete"));
  EXPECT_EQ(std::filesystem::file_size(target + "/videos/show-02.mp4"),
            std::filesystem::file_size(tree.path() + "/videos/show-02.mp4"));
  EXPECT_NE(readFileText(tree.path() + "/feeds/topic.json").find("{base}"), std::string::npos)
      << "the source tree keeps its links";

  CommandResult again = runCommand({kBake, "--base-url", "https://x.test", tree.path(), target});
  EXPECT_EQ(again.status, 1);
  EXPECT_NE(again.output.find("exists already"), std::string::npos);
  CommandResult badURL = runCommand({kBake, "--base-url", "cdn", tree.path(), target + "2"});
  EXPECT_EQ(badURL.status, 1);
  EXPECT_FALSE(std::filesystem::exists(target + "2"));
}

}  // namespace
}  // namespace lorvane
