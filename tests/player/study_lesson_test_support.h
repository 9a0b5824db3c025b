#pragma once

#include <filesystem>
#include <string>

#include "platform/foundation/file_manager.h"
#include "real_lesson_test_support.h"

namespace lorvane::testing {

// Six lines over the first seconds of a sample lesson, as a lesson's
// WebVTT file gives them (English, then Chinese).
inline constexpr const char* kStudyLines =
    "WEBVTT\n\n"
    "l1\n00:00:01.000 --> 00:00:03.000\nCould I get a large latte, "
    "please?\n请给我一杯大杯拿铁。\n\n"
    "l2\n00:00:03.500 --> 00:00:05.000\nWith oat milk?\n要燕麦奶吗？\n\n"
    "l3\n00:00:05.500 --> 00:00:07.500\nYes, and an extra shot.\n要，再加一份浓缩。\n\n"
    "l4\n00:00:08.000 --> 00:00:09.500\nThat will be five dollars.\n一共五美元。\n\n"
    "l5\n00:00:10.000 --> 00:00:12.000\nHere you are. Keep the change.\n给你，不用找了。\n\n"
    "l6\n00:00:12.500 --> 00:00:14.000\nThank you, have a nice day!\n谢谢，祝你愉快！\n";

// A sample lesson on the real media layer whose record names a captions
// file that the sample server answers from the test, with its own
// documents folder for the captions cache.
class StudyLessonTest : public RealLessonTest {
 protected:
  static constexpr const char* kCaptionsPath = "/captions/lesson-under-test.vtt";

  void SetUp() override {
    RealLessonTest::SetUp();
    char pattern[] = "/tmp/lorvane-study-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root_ = pattern;
    previousRoot_ = FileManager::defaultManager().rootDirectory();
    FileManager::defaultManager().setRootDirectory(root_);
    startServer();
    server->setAnswerHook(
        [this](const demo::RequestRecord& r) -> std::optional<demo::CannedResponse> {
          if (r.target.rfind("/captions/", 0) != 0) return std::nullopt;
          std::lock_guard<std::mutex> lock(captionsMutex_);
          if (captionsStatus_ != 200)
            return demo::CannedResponse{captionsStatus_, "text/html", "<h1>no</h1>"};
          return demo::CannedResponse{200, "text/vtt; charset=utf-8", captionsBody_};
        });
  }

  void TearDown() override {
    RealLessonTest::TearDown();
    FileManager::defaultManager().setRootDirectory(previousRoot_);
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }

  void serveCaptions(std::string body, int status = 200) {
    std::lock_guard<std::mutex> lock(captionsMutex_);
    captionsBody_ = std::move(body);
    captionsStatus_ = status;
  }

  // The first lesson, its record naming the captions file.
  JSONRef<JSONDictionary> lessonWithLines() {
    JSONRef<JSONDictionary> record = firstLesson()->mutableCopy();
    record->setObject(JSONValueRef(JSONStringValue::create(server->baseURL() + kCaptionsPath)),
                      "subtitleUrl");
    return record;
  }

  // The first lesson, its record without a captions file.
  JSONRef<JSONDictionary> lessonWithoutLines() {
    JSONRef<JSONDictionary> record = firstLesson()->mutableCopy();
    record->removeObjectForKey("subtitleUrl");
    return record;
  }

  // Opens the lesson with lines and waits for them and for playback.
  void openWithLines() {
    open(lessonWithLines());
    ASSERT_TRUE(wait([&] { return !player->captionTrack().empty(); }, 15)) << "the lines came";
    ASSERT_TRUE(wait([&] { return player->isPlaying() && position() > 0.2; }, 30));
  }

  const CaptionCue& cue(std::size_t line) const { return player->captionTrack()[line]; }
  StudyBarView& bar() { return *player->studyBar(); }

  // Both clocks move until `done` holds, at most `limit` seconds; false
  // when it never did.
  bool pumpUntil(const std::function<bool()>& done, double limit) {
    for (double taken = 0; taken < limit; taken += kReportInterval) {
      if (done()) return true;
      pump(kReportInterval);
    }
    return done();
  }

  std::size_t captionRequests() const { return server->requestCount("/captions/"); }

 private:
  std::string root_;
  std::string previousRoot_;
  std::mutex captionsMutex_;
  std::string captionsBody_ = kStudyLines;
  int captionsStatus_ = 200;
};

}  // namespace lorvane::testing
