#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "platform/foundation/clock.h"
#include "platform/foundation/run_loop.h"
#include "player/line_tools.h"

// The tools' rules against a simulated playback that moves in 1/60 s steps
// on the manual clock: where they seek, pause and change speed, and what is
// left of them. The real player meets them in the study player's own tests.

namespace lorvane {
namespace {

CaptionTrack fourLines() {
  std::vector<CaptionCue> cues;
  // 1-3, 4-5, 6-8, 9-10.5
  for (auto [start, end] :
       std::vector<std::pair<double, double>>{{1, 3}, {4, 5}, {6, 8}, {9, 10.5}}) {
    CaptionCue cue;
    cue.startSeconds = start;
    cue.endSeconds = end;
    cue.lines = {"line", "句"};
    cues.push_back(cue);
  }
  return CaptionTrack(std::move(cues));
}

class SimulatedPlayback : public LineToolsHost {
 public:
  double time = 0;
  float speed = 1.0f;
  bool playing = true;
  std::vector<double> seeks;
  std::vector<float> speeds;
  int pauses = 0;
  int changes = 0;

  void lineToolsSeek(double seconds) override {
    seeks.push_back(seconds);
    time = seconds;
  }
  void lineToolsSetSpeed(float s) override {
    speeds.push_back(s);
    speed = s;
  }
  void lineToolsPause() override {
    ++pauses;
    playing = false;
  }
  void lineToolsResume() override { playing = true; }
  void lineToolsChanged() override { ++changes; }
};

class LineToolsTest : public ::testing::Test {
 protected:
  static constexpr double kStep = 1.0 / 60;
  void SetUp() override { tools.setTrack(fourLines()); }

  // Plays for `seconds` of wall time, reporting every step.
  void play(double seconds) {
    for (double left = seconds; left > 1e-9; left -= kStep) {
      RunLoop::main().advance(kStep);
      if (host.playing) host.time += kStep * host.speed;
      tools.playbackAt(host.time);
    }
  }
  // Plays until `done` holds, at most `limit` seconds; the seconds taken.
  double playUntil(const std::function<bool()>& done, double limit = 60) {
    double taken = 0;
    while (!done() && taken < limit) {
      play(kStep);
      taken += kStep;
    }
    return taken;
  }

  ScopedManualClock clock;
  SimulatedPlayback host;
  LineTools tools{host};
};

TEST_F(LineToolsTest, RepeatPlaysTheLineOnceMoreThenGoesOn) {
  play(2.0);  // inside line 1 (1-3)
  tools.repeatLine(host.time);
  EXPECT_EQ(host.seeks, std::vector<double>{1.0});
  EXPECT_EQ(tools.statusText(), "重复第 1 句");
  play(2.5);
  EXPECT_EQ(tools.tool(), LineTool::None) << "off once the line was heard";
  EXPECT_EQ(host.seeks.size(), 1u) << "no second repeat";
  EXPECT_GT(host.time, 3.0);
}

TEST_F(LineToolsTest, ALoopPlaysTheLineTheGivenTimesInAllAndCountsDown) {
  play(4.5);  // line 2 (4-5)
  tools.loopLine(host.time, 3);
  EXPECT_EQ(tools.repeatsLeft(), 2);
  EXPECT_EQ(tools.statusText(), "循环第 2 句 · 还剩 2 遍");
  playUntil([&] { return host.seeks.size() == 2; });
  EXPECT_EQ(tools.repeatsLeft(), 1);
  playUntil([&] { return host.seeks.size() == 3; });
  EXPECT_EQ(tools.repeatsLeft(), 0);
  playUntil([&] { return tools.tool() == LineTool::None; });
  EXPECT_EQ(host.seeks, (std::vector<double>{4, 4, 4}));
  // It went on into the gap after the line, not back again.
  EXPECT_NEAR(host.time, 5.0, 0.05);
  play(1.5);
  EXPECT_EQ(host.seeks.size(), 3u);
}

TEST_F(LineToolsTest, AnEndlessLoopKeepsGoingAndTheCycleStepsThroughTheCounts) {
  play(1.5);
  tools.cycleLoop(host.time);
  EXPECT_EQ(tools.loopTimes(), 1);
  tools.cycleLoop(host.time);
  EXPECT_EQ(tools.loopTimes(), 3);
  EXPECT_EQ(tools.repeatsLeft(), 2) << "the play under way counts";
  tools.cycleLoop(host.time);
  tools.cycleLoop(host.time);
  EXPECT_EQ(tools.loopTimes(), LineTools::kWithoutEnd);
  EXPECT_EQ(tools.repeatsLeft(), -1);
  play(20);
  EXPECT_EQ(tools.tool(), LineTool::Loop);
  EXPECT_GE(host.seeks.size(), 9u);
  EXPECT_GE(host.time, 1.0);
  EXPECT_LE(host.time, 3.1);
  tools.cycleLoop(host.time);
  EXPECT_EQ(tools.tool(), LineTool::None);
}

TEST_F(LineToolsTest, ASeekByTheUserTakesTheLoopToTheLineItLandsOn) {
  play(1.5);
  tools.loopLine(host.time, LineTools::kWithoutEnd);
  play(0.5);
  host.time = 6.5;  // the learner tapped line 3
  play(kStep);
  EXPECT_EQ(tools.line(), 2u);
  playUntil([&] { return host.seeks.size() == 2; });
  EXPECT_EQ(host.seeks.back(), 6.0);
}

TEST_F(LineToolsTest, ABLoopsFromTheStartOfOneLineToTheEndOfAnother) {
  play(6.5);  // line 3
  tools.markAB(host.time);
  EXPECT_TRUE(tools.isWaitingForB());
  EXPECT_TRUE(host.seeks.empty()) << "marking A does not move playback";
  host.time = 1.5;  // back to line 1, marked as B: the two are put in order
  play(kStep);
  tools.markAB(host.time);
  EXPECT_EQ(tools.lineA(), 0u);
  EXPECT_EQ(tools.lineB(), 2u);
  EXPECT_EQ(host.seeks, std::vector<double>{1.0});
  EXPECT_EQ(tools.statusText(), "A-B 循环 · 第 1–3 句");
  playUntil([&] { return host.seeks.size() == 3; });
  EXPECT_EQ(host.seeks.back(), 1.0);
  tools.markAB(host.time);
  EXPECT_EQ(tools.tool(), LineTool::None);
}

TEST_F(LineToolsTest, ShadowingPausesOneAndAHalfTimesEachLineThenGoesOn) {
  tools.setShadowing(true);
  playUntil([&] { return !host.playing; });
  EXPECT_NEAR(host.time, 3.0, 0.05) << "paused at the end of line 1";
  EXPECT_TRUE(tools.isShadowPausing());
  EXPECT_DOUBLE_EQ(tools.shadowPauseSeconds(), 3.0);  // 2 s line
  EXPECT_EQ(tools.statusText(), "跟读 · 轮到你了");
  play(2.9);
  EXPECT_FALSE(host.playing);
  play(0.2);
  EXPECT_TRUE(host.playing);
  playUntil([&] { return !host.playing; });
  EXPECT_NEAR(host.time, 5.0, 0.05);
  EXPECT_DOUBLE_EQ(tools.shadowPauseSeconds(), 1.5);
  EXPECT_EQ(tools.line(), 1u);
  // Play pressed during the pause goes on at once; off goes on too.
  tools.resumeFromPause();
  EXPECT_TRUE(host.playing);
  playUntil([&] { return !host.playing; });
  tools.setShadowing(false);
  EXPECT_TRUE(host.playing);
  EXPECT_EQ(host.pauses, 3);
}

TEST_F(LineToolsTest, ShadowingPausesForTheLineAsHeardAtTheChosenSpeed) {
  tools.setUserSpeed(0.5f);
  host.speed = 0.5f;
  tools.setShadowing(true);
  playUntil([&] { return !host.playing; });
  EXPECT_DOUBLE_EQ(tools.shadowPauseSeconds(), 6.0);
}

TEST_F(LineToolsTest, TheRampPlaysEachLineAtEverySpeedThenTheNextAndGivesTheSpeedBack) {
  tools.setUserSpeed(1.5f);
  host.speed = 1.5f;
  play(1.2);
  tools.setRamp(true, host.time);
  EXPECT_EQ(host.speeds, std::vector<float>{0.75f});
  EXPECT_EQ(host.seeks, std::vector<double>{1.0});
  EXPECT_EQ(tools.statusText(), "变速循环第 1 句 · 0.75倍 (1/3)");
  double first = playUntil([&] { return host.seeks.size() == 2; });
  EXPECT_NEAR(first, 2.0 / 0.75, 0.05);
  EXPECT_EQ(host.speeds.back(), 1.0f);
  double second = playUntil([&] { return host.seeks.size() == 3; });
  EXPECT_NEAR(second, 2.0, 0.05);
  EXPECT_EQ(host.speeds.back(), 1.25f);
  playUntil([&] { return tools.line() == 1; });
  EXPECT_EQ(host.speeds.back(), 0.75f) << "the next line starts the ramp again";
  EXPECT_EQ(tools.rampStep(), 0u);
  EXPECT_NEAR(host.time, 3.0, 0.05);
  tools.setRamp(false, host.time);
  EXPECT_EQ(host.speed, 1.5f);
}

TEST_F(LineToolsTest, RampSpeedsCanBeSetWithinTheSpeedsOnOffer) {
  EXPECT_FALSE(tools.setRampSpeeds({}));
  EXPECT_FALSE(tools.setRampSpeeds({0.75f, 3.0f}));
  EXPECT_FALSE(tools.setRampSpeeds({std::nanf("")}));
  EXPECT_EQ(tools.rampSpeeds(), (std::vector<float>{0.75f, 1.0f, 1.25f}));
  ASSERT_TRUE(tools.setRampSpeeds({0.5f, 2.0f}));
  play(9.5);
  tools.setRamp(true, host.time);
  EXPECT_EQ(host.seeks.back(), 9.0);
  playUntil([&] { return host.speed == 2.0f; });
  playUntil([&] { return tools.tool() == LineTool::None; });
  EXPECT_EQ(host.speed, 1.0f) << "the last line's ramp ends the tool";
}

TEST_F(LineToolsTest, OneToolAtATimeAndNothingWithoutLines) {
  play(1.5);
  tools.setShadowing(true);
  tools.loopLine(host.time, 3);
  EXPECT_EQ(tools.tool(), LineTool::Loop);
  tools.setRamp(true, host.time);
  EXPECT_EQ(tools.tool(), LineTool::Ramp);
  tools.markAB(host.time);
  EXPECT_EQ(tools.tool(), LineTool::ABLoop);
  EXPECT_EQ(host.speed, 1.0f) << "leaving the ramp gave the speed back";
  tools.setTrack(CaptionTrack());
  EXPECT_EQ(tools.tool(), LineTool::None);
  tools.loopLine(host.time, 3);
  tools.setRamp(true, host.time);
  tools.setShadowing(true);
  EXPECT_EQ(tools.tool(), LineTool::None);
  EXPECT_EQ(tools.statusText(), "");
}

}  // namespace
}  // namespace lorvane
