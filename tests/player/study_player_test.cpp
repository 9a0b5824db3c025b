#include <gtest/gtest.h>

#include <cmath>

#include "platform/foundation/log.h"
#include "player/caption_cache.h"
#include "study_lesson_test_support.h"
#include "support/net/held_answer.h"
#include "support/net/scripted_server.h"

// The study player as a learner meets it: a sample lesson on the real media
// layer with six lines, the study bar and the transcript touched through the
// window, the keys through the window's key path, both clocks moving
// together. "Right time" means the playback position (within 100 ms) when
// the tool acts, and the manual clock's length of a pause.

namespace lorvane {
namespace {

constexpr double kWithin = 0.1;

class StudyPlayerTest : public testing::StudyLessonTest {
 protected:
  void SetUp() override {
    StudyLessonTest::SetUp();
    openWithLines();
  }
  void press(Button& button) {
    window->layoutIfNeeded();
    tap(centreInWindow(button));
  }
  // Plays on (both clocks) until playback is inside `line`.
  void playInto(std::size_t line, double past = 0.3) {
    ASSERT_TRUE(pumpUntil([&] { return position() > cue(line).startSeconds + past; }, 20))
        << "at " << position();
  }
  // The most recent position reported before `done` held, and the one after.
  struct Crossing {
    double before = -1;
    double after = -1;
  };
  Crossing pumpUntilWatching(const std::function<bool()>& done, double limit) {
    Crossing c;
    double last = position();
    bool ok = pumpUntil(
        [&] {
          if (done()) return true;
          last = position();
          return false;
        },
        limit);
    EXPECT_TRUE(ok);
    c.before = last;
    c.after = position();
    return c;
  }
};

TEST_F(StudyPlayerTest, RepeatPlaysTheLineAgainAndThenGoesOnToTheNextLine) {
  playInto(0, 0.6);
  std::size_t seeksBefore = player->seekCount();
  press(bar().repeatButton());
  EXPECT_EQ(bar().statusLabel().text(), "重复第 1 句");
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }, 10));
  EXPECT_NEAR(position(), cue(0).startSeconds, 0.2) << "back to the line's start";
  EXPECT_TRUE(player->isPlaying());
  // Once the line is over the tool is off, right at the line's end.
  ASSERT_TRUE(pumpUntil([&] { return player->lineTools().tool() == LineTool::None; }, 10));
  EXPECT_NEAR(position(), cue(0).endSeconds, kWithin);
  ASSERT_TRUE(pumpUntil([&] { return player->currentLine() == 1; }, 10));
  EXPECT_NEAR(position(), cue(1).startSeconds, kWithin);
  EXPECT_EQ(player->seekCount(), seeksBefore + 1) << "one repeat, then on";
  EXPECT_EQ(bar().statusLabel().text(), "");
}

TEST_F(StudyPlayerTest, ALoopOfThreePlaysTheLineThreeTimesCountingDownThenGoesOn) {
  playInto(1);
  std::size_t seeksBefore = player->seekCount();
  press(bar().loopButton());  // once
  press(bar().loopButton());  // three times
  EXPECT_EQ(*bar().loopButton().currentTitle(), "循环×3");
  EXPECT_EQ(bar().statusLabel().text(), "循环第 2 句 · 还剩 2 遍");
  std::vector<double> turnedAt;
  for (int back = 0; back < 2; ++back) {
    std::size_t seeks = player->seekCount();
    Crossing c = pumpUntilWatching([&] { return player->seekCount() > seeks; }, 10);
    turnedAt.push_back(c.before);
  }
  EXPECT_EQ(bar().statusLabel().text(), "循环第 2 句 · 还剩 0 遍");
  for (double at : turnedAt) EXPECT_NEAR(at, cue(1).endSeconds, kWithin) << "turned at the end";
  ASSERT_TRUE(pumpUntil([&] { return player->lineTools().tool() == LineTool::None; }, 10));
  EXPECT_NEAR(position(), cue(1).endSeconds, kWithin);
  EXPECT_EQ(player->seekCount(), seeksBefore + 3) << "the start, then two loops back";
  ASSERT_TRUE(pumpUntil([&] { return player->currentLine() == 2; }, 10));
  EXPECT_NEAR(position(), cue(2).startSeconds, kWithin);
}

TEST_F(StudyPlayerTest, ABLoopsFromTheStartOfLineAToTheEndOfLineB) {
  playInto(1);
  press(bar().abButton());
  EXPECT_EQ(*bar().abButton().currentTitle(), "A-?");
  playInto(2);
  press(bar().abButton());
  EXPECT_EQ(bar().statusLabel().text(), "A-B 循环 · 第 2–3 句");
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }, 10));
  EXPECT_NEAR(position(), cue(1).startSeconds, 0.2);
  // Through line 3 to its end, then back to line 2's start.
  std::size_t seeks = player->seekCount();
  Crossing c = pumpUntilWatching([&] { return player->seekCount() > seeks; }, 10);
  EXPECT_NEAR(c.before, cue(2).endSeconds, kWithin);
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }, 10));
  EXPECT_NEAR(position(), cue(1).startSeconds, kWithin);
  EXPECT_EQ(player->currentLine(), 1u);
  EXPECT_EQ(player->lineTools().tool(), LineTool::ABLoop) << "it loops until turned off";
}

TEST_F(StudyPlayerTest, ShadowingPausesAtEachLinesEndForOneAndAHalfTimesItsLength) {
  playInto(0);
  press(bar().shadowButton());
  EXPECT_TRUE(bar().shadowButton().isSelected());
  ASSERT_TRUE(pumpUntil([&] { return player->lineTools().isShadowPausing(); }, 10));
  EXPECT_FALSE(player->isPlaying());
  EXPECT_NEAR(position(), cue(0).endSeconds, kWithin);
  EXPECT_EQ(bar().statusLabel().text(), "跟读 · 轮到你了");
  // The line stays up for the learner to say it.
  EXPECT_TRUE(player->captionView()->isShowingLine());
  EXPECT_EQ(player->captionView()->englishLabel().text(), cue(0).english());
  double pausedAt = position();
  double paused = 0;
  // The pause is timed on the page's clock; the media layer may take a
  // moment longer to be playing again on a loaded machine.
  while (player->lineTools().isShadowPausing() && paused < 10) {
    pump(kReportInterval);
    paused += kReportInterval;
  }
  EXPECT_NEAR(paused, 1.5 * cue(0).length(), kWithin) << "the pause on the page's clock";
  EXPECT_NEAR(pausedAt, position(), 0.05) << "nothing played during the pause";
  ASSERT_TRUE(pumpUntil([&] { return player->isPlaying(); }, 10)) << "and then it plays on";
  // On to line 2, and its own pause after it.
  ASSERT_TRUE(pumpUntil([&] { return player->lineTools().isShadowPausing(); }, 10));
  EXPECT_NEAR(position(), cue(1).endSeconds, kWithin);
  EXPECT_EQ(player->currentLine(), 1u);
  EXPECT_DOUBLE_EQ(player->lineTools().shadowPauseSeconds(), 1.5 * cue(1).length());
  // Play during the pause: the learner is done, go on now.
  tap(centreInWindow(overlay().playPauseButton()));
  EXPECT_TRUE(player->isPlaying());
}

TEST_F(StudyPlayerTest, TheRampPlaysTheLineAtEachSpeedThenMovesToTheNextLine) {
  playInto(0);
  press(bar().rampButton());
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }, 10));
  EXPECT_NEAR(position(), cue(0).startSeconds, 0.2);
  const float expected[] = {0.75f, 1.0f, 1.25f};
  for (int step = 0; step < 3; ++step) {
    EXPECT_EQ(player->videoPlayer()->rate(), expected[step]);
    // Both speed buttons show the speed playing now.
    EXPECT_EQ(*overlay().doublePlayButton().currentTitle(), speedTitle(expected[step]));
    EXPECT_EQ(*bar().speedButton().currentTitle(), speedTitle(expected[step]));
    EXPECT_EQ(player->lineTools().rampStep(), std::size_t(step));
    // The media itself runs at that speed.
    pump(0.2);
    double from = position();
    pump(0.8);
    EXPECT_NEAR((position() - from) / 0.8, expected[step], 0.15);
    if (step < 2) {
      std::size_t seeks = player->seekCount();
      Crossing c = pumpUntilWatching([&] { return player->seekCount() > seeks; }, 10);
      EXPECT_NEAR(c.before, cue(0).endSeconds, kWithin);
      ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking() && position() > 1.05; }, 10));
    }
  }
  // After the fastest, line 2 begins its own ramp, slow again.
  Crossing c = pumpUntilWatching([&] { return player->lineTools().line() == 1; }, 10);
  EXPECT_NEAR(c.after, cue(0).endSeconds, kWithin);
  EXPECT_EQ(player->videoPlayer()->rate(), 0.75f);
  ASSERT_TRUE(pumpUntil([&] { return player->currentLine() == 1; }, 10));
  EXPECT_NEAR(position(), cue(1).startSeconds, kWithin);
  // Off: the learner's own speed again.
  press(bar().rampButton());
  EXPECT_EQ(player->videoPlayer()->rate(), 1.0f);
  EXPECT_EQ(*bar().speedButton().currentTitle(), "1.0倍");
}

TEST_F(StudyPlayerTest, TheTranscriptFollowsPlaybackAndATapOnALinePlaysFromItsStart) {
  TranscriptView& transcript = *page->transcriptView();
  ASSERT_FALSE(transcript.isHidden());
  ASSERT_EQ(transcript.rowCount(), 6u);
  EXPECT_EQ(transcript.row(2).englishLabel().text(), "Yes, and an extra shot.");
  EXPECT_EQ(transcript.row(2).chineseLabel().text(), "要，再加一份浓缩。");
  ASSERT_GT(transcript.contentSize().height, transcript.bounds().height())
      << "more lines than fit, so keeping one in view means scrolling";
  int mismatches = 0;
  auto watch = [&] {
    if (transcript.currentLine() != player->captionTrack().lineIndexAt(position()) &&
        !player->isSeeking()) {
      ++mismatches;
    }
    return false;
  };
  pumpUntil([&] { return position() > cue(4).startSeconds + 0.3 || watch(); }, 20);
  // A report may land between the line's start and our look at it.
  EXPECT_LE(mismatches, 5) << "the marked line follows playback";
  EXPECT_EQ(transcript.currentLine(), 4u);
  EXPECT_TRUE(transcript.row(4).isCurrent());
  EXPECT_FALSE(transcript.row(3).isCurrent());
  pump(0.5);  // the scroll's animation
  Rect row = transcript.row(4).frame();
  double top = transcript.contentOffset().y;
  EXPECT_GE(row.y(), top - 0.5);
  EXPECT_LE(row.maxY(), top + transcript.bounds().height() + 0.5) << "kept in view";
  EXPECT_GT(top, 0) << "scrolled to it";
  // A tap on a line in view that is not the current one.
  std::size_t target = CaptionTrack::npos;
  for (std::size_t i = 0; i < transcript.rowCount(); ++i) {
    Rect r = transcript.row(i).frame();
    if (i != 4 && r.y() >= top && r.maxY() <= top + transcript.bounds().height()) target = i;
  }
  ASSERT_NE(target, CaptionTrack::npos) << "another line in view";
  tap(centreInWindow(transcript.row(target)));
  pump(0.2);
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }, 10));
  EXPECT_NEAR(position(), cue(target).startSeconds, 0.3);
  EXPECT_TRUE(player->isPlaying());
  EXPECT_EQ(transcript.currentLine(), target);
}

TEST_F(StudyPlayerTest, CaptionsShowBothLanguagesEnglishOnlyOrOnlyOnceALineWasHeard) {
  playInto(0, 0.5);
  CaptionView& captions = *player->captionView();
  ASSERT_TRUE(captions.isShowingLine());
  EXPECT_EQ(captions.englishLabel().text(), cue(0).english());
  EXPECT_EQ(captions.chineseLabel().text(), cue(0).translation());
  EXPECT_FALSE(captions.chineseLabel().isHidden());
  EXPECT_EQ(captions.window(), window.get()) << "over the video on screen";
  press(bar().captionsButton());
  EXPECT_EQ(player->captionMode(), CaptionMode::EnglishOnly);
  EXPECT_EQ(*bar().captionsButton().currentTitle(), "英文");
  EXPECT_EQ(captions.englishLabel().text(), cue(0).english());
  EXPECT_TRUE(captions.chineseLabel().isHidden());
  EXPECT_TRUE(page->transcriptView()->row(1).chineseLabel().text().empty());
  press(bar().captionsButton());
  EXPECT_EQ(player->captionMode(), CaptionMode::ListenFirst);
  EXPECT_EQ(*bar().captionsButton().currentTitle(), "先听");
  // Line 1 is under way but not yet heard to its end.
  EXPECT_EQ(captions.englishLabel().text(), CaptionView::kUnheardMark);
  EXPECT_EQ(page->transcriptView()->row(0).englishLabel().text(), CaptionView::kUnheardMark);
  ASSERT_TRUE(pumpUntil([&] { return player->isLineHeard(0); }, 10));
  EXPECT_EQ(page->transcriptView()->row(0).englishLabel().text(), cue(0).english());
  EXPECT_EQ(page->transcriptView()->row(1).englishLabel().text(), CaptionView::kUnheardMark);
  // Heard once, it shows when it comes again.
  window->pressKey({"s"});
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking() && position() < 2.5; }, 10));
  pump(0.3);
  EXPECT_EQ(captions.englishLabel().text(), cue(0).english());
  EXPECT_EQ(captions.chineseLabel().text(), cue(0).translation());
  press(bar().captionsButton());
  EXPECT_EQ(player->captionMode(), CaptionMode::EnglishAndChinese);
  // Between lines there is nothing to show.
  ASSERT_TRUE(pumpUntil([&] { return position() > cue(0).endSeconds + 0.15; }, 10));
  EXPECT_FALSE(captions.isShowingLine());
}

TEST_F(StudyPlayerTest, TheKeysPlayPauseSkipChangeVolumeAndSpeedAndWorkTheTools) {
  playInto(0, 0.5);
  EXPECT_TRUE(window->pressKey({"space"}));
  EXPECT_FALSE(player->isPlaying());
  EXPECT_TRUE(window->pressKey({"space"}));
  EXPECT_TRUE(player->isPlaying());
  double before = position();
  EXPECT_TRUE(window->pressKey({"right"}));
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }, 10));
  EXPECT_NEAR(position(), before + 5, 0.3);
  EXPECT_TRUE(window->pressKey({"left"}));
  EXPECT_TRUE(window->pressKey({"left"}));
  ASSERT_TRUE(pumpUntil([&] { return !player->isSeeking(); }, 10));
  EXPECT_LT(position(), 0.5) << "not before the start";
  float volume = SystemVolume::shared().volume();
  EXPECT_TRUE(window->pressKey({"up"}));
  EXPECT_NEAR(SystemVolume::shared().volume(), volume + 0.1, 1e-4);
  EXPECT_TRUE(window->pressKey({"down"}));
  EXPECT_TRUE(window->pressKey({"down"}));
  EXPECT_NEAR(SystemVolume::shared().volume(), volume - 0.1, 1e-4);
  // Slower and faster step through the study bar's speeds.
  EXPECT_TRUE(window->pressKey({"["}));
  EXPECT_EQ(player->videoPlayer()->rate(), 0.75f);
  EXPECT_TRUE(window->pressKey({"["}));
  EXPECT_TRUE(window->pressKey({"["}));
  EXPECT_EQ(player->playbackSpeed(), 0.5f) << "the slowest stays the slowest";
  for (int i = 0; i < 6; ++i) window->pressKey({"]"});
  EXPECT_EQ(player->playbackSpeed(), 2.0f);
  EXPECT_EQ(*overlay().doublePlayButton().currentTitle(), "2.0倍");
  EXPECT_TRUE(window->pressKey({"c"}));
  EXPECT_EQ(player->captionMode(), CaptionMode::EnglishOnly);
  EXPECT_TRUE(window->pressKey({"l"}));
  EXPECT_EQ(player->lineTools().tool(), LineTool::Loop);
  // Ctrl with an arrow and other keys are not the player's.
  EXPECT_FALSE(window->pressKey({"left", true}));
  EXPECT_FALSE(window->pressKey({"x"}));
}

TEST_F(StudyPlayerTest, TheHeadBarsThreeSpeedsStayThreeAndShowTheStudyBarsSpeed) {
  tap(centreInWindow(overlay().fullScreenButton()));
  pump(1.0);
  ASSERT_TRUE(isLandscape(Application::sharedApplication().statusBarOrientation()));
  player->showControls();
  pump(0.4);
  // Over the picture in landscape, fading with the bars.
  ASSERT_EQ(bar().superview(), &overlay());
  EXPECT_EQ(bar().window(), window.get());
  EXPECT_TRUE(page->transcriptView()->isHidden());
  press(bar().speedButton());
  EXPECT_EQ(player->playbackSpeed(), 1.25f);
  Button& head = overlay().doublePlayButton();
  EXPECT_EQ(*head.currentTitle(), "1.25倍");
  tap(centreInWindow(head));
  EXPECT_EQ(player->playbackSpeed(), 1.5f) << "on to the next of its three";
  tap(centreInWindow(head));
  tap(centreInWindow(head));
  EXPECT_EQ(player->playbackSpeed(), 1.0f);
  EXPECT_EQ(*bar().speedButton().currentTitle(), "1.0倍");
  player->hideControlsAnimated(false);
  EXPECT_EQ(bar().alpha(), 0);
  // Upright again: the bar is back under the player.
  player->showControls();
  pump(0.4);
  press(overlay().backButton());
  pump(1.0);
  ASSERT_FALSE(isLandscape(Application::sharedApplication().statusBarOrientation()));
  EXPECT_EQ(bar().superview(), page->view().get());
  EXPECT_EQ(bar().alpha(), 1);
  EXPECT_FALSE(page->transcriptView()->isHidden());
}

class StudyLessonFilesTest : public testing::StudyLessonTest {};

TEST_F(StudyLessonFilesTest, ALessonWithoutSubtitleUrlPlaysAsBeforeWithoutAnyOfIt) {
  open(lessonWithoutLines());
  waitUntilPlayingPast(1.0);
  pump(1.0);
  EXPECT_EQ(captionRequests(), 0u);
  EXPECT_EQ(page->transcriptView(), nullptr);
  for (const auto& child : page->view()->subviews()) {
    EXPECT_EQ(dynamic_cast<StudyBarView*>(child.get()), nullptr) << "no study bar";
  }
  EXPECT_FALSE(player->captionView()->isShowingLine());
  EXPECT_TRUE(player->isPlaying());
}

TEST_F(StudyLessonFilesTest, AMissingOrBrokenFileMeansNoLinesALogLineAndPlaybackGoesOn) {
  struct Case {
    std::string body;
    int status;
  };
  for (const Case& c : {Case{"", 404}, Case{"<html>not captions</html>", 200},
                        Case{std::string("WEBVTT\n\n00:01.000 --> garbage\n\x01\x02", 16), 200}}) {
    SCOPED_TRACE(c.body);
    LogCapture log;
    serveCaptions(c.body, c.status);
    open(lessonWithLines());
    ASSERT_TRUE(wait([&] { return !player->captionsLoading(); }, 15));
    EXPECT_TRUE(player->captionTrack().empty());
    EXPECT_TRUE(log.contains("captions:"));
    waitUntilPlayingPast(1.0);
    double from = position();
    pump(1.0);
    EXPECT_GT(position(), from + 0.5) << "playback never waits on the lines";
    EXPECT_TRUE(page->transcriptView()->isHidden());
    EXPECT_FALSE(bar().repeatButton().isEnabled());
    EXPECT_TRUE(bar().speedButton().isEnabled()) << "speeds need no lines";
    EXPECT_FALSE(FileManager::defaultManager().fileExists(
        player->captionCache().pathForURL(server->baseURL() + kCaptionsPath)))
        << "nothing unreadable is kept";
    navigation.reset();
    page.reset();
    player.reset();
    RunLoop::main().runUntilIdle();
  }
}

TEST_F(StudyLessonFilesTest, AFileFetchedOnceIsKeptAndServesTheNextVisit) {
  openWithLines();
  EXPECT_EQ(captionRequests(), 1u);
  std::string path = player->captionCache().pathForURL(server->baseURL() + kCaptionsPath);
  EXPECT_EQ(lastPathComponent(path), "lesson-under-test.vtt");
  ASSERT_TRUE(FileManager::defaultManager().fileExists(path));
  navigation.reset();
  page.reset();
  player.reset();
  RunLoop::main().runUntilIdle();
  serveCaptions("", 500);  // the server would fail now
  open(lessonWithLines());
  EXPECT_EQ(player->captionTrack().count(), 6u) << "from the kept file, at once";
  EXPECT_EQ(captionRequests(), 1u);
}

TEST_F(StudyLessonFilesTest, LeavingThePageWhileItsFileTricklesInLetsGoAtOnceAndTheFileIsKept) {
  using testing::HeldAnswers;
  HeldAnswers held;
  testing::ScriptedServer captions([&held](testing::ServerConnection& connection) {
    while (auto request = connection.readRequest()) {
      if (!held.send(connection, "text/vtt; charset=utf-8", testing::kStudyLines)) return;
    }
  });
  testing::ReleaseGuard guard(held, 60);
  const std::string url = captions.url("/captions/trickled.vtt");
  JSONRef<JSONDictionary> record = lessonWithoutLines();
  record->setObject(JSONValueRef(JSONStringValue::create(url)), "subtitleUrl");

  open(record);
  ASSERT_TRUE(wait([&] { return held.begun() == 1; }, 15));
  EXPECT_TRUE(player->captionsLoading());
  std::weak_ptr<DetailViewController> weakPage = page;
  std::weak_ptr<PlayVideoViewController> weakPlayer = player;
  navigation.reset();
  window->setRootViewController(nullptr);
  page.reset();
  player.reset();
  RunLoop::main().runUntilIdle();
  EXPECT_TRUE(weakPage.expired());
  EXPECT_TRUE(weakPlayer.expired());
  // Gone while the file was still on its way, not after it.
  EXPECT_EQ(held.finished(), 0);
  EXPECT_FALSE(guard.fired());
  EXPECT_EQ(CaptionCache::shared().downloadsUnderWay(), 1u) << "the download goes on";

  // Back on the lesson while the same file still trickles: no second fetch.
  open(record);
  EXPECT_TRUE(player->captionsLoading());
  pump(0.5);
  EXPECT_EQ(held.begun(), 1);
  held.release();
  ASSERT_TRUE(wait([&] { return !player->captionsLoading(); }, 20));
  EXPECT_EQ(player->captionTrack().count(), 6u) << "the one download served the new page";
  EXPECT_EQ(CaptionCache::shared().downloadsUnderWay(), 0u);
  EXPECT_EQ(captions.requests().size(), 1u);
  EXPECT_TRUE(FileManager::defaultManager().fileExists(CaptionCache::shared().pathForURL(url)))
      << "kept for the next visit";
}

TEST(CaptionFileNameTest, PlainNamesAreKeptAndEverythingElseHashed) {
  EXPECT_EQ(captionFileName("http://h/captions/topic-01.vtt"), "topic-01.vtt");
  for (const char* url : {"http://h/captions/..", "http://h/captions/", "http://h/a/%2e%2e",
                          "http://h/c/x.vtt?v=2", "http://h/c/a b.vtt", "http://h/c/.hidden"}) {
    std::string name = captionFileName(url);
    EXPECT_EQ(name.rfind("captions-", 0), 0u) << url;
    EXPECT_EQ(name.find('/'), std::string::npos);
  }
  EXPECT_NE(captionFileName("http://h/c/x.vtt?v=1"), captionFileName("http://h/c/x.vtt?v=2"));
  EXPECT_EQ(captionFileName("http://h/c/x.vtt?v=1"), captionFileName("http://h/c/x.vtt?v=1"));
}

}  // namespace
}  // namespace lorvane
