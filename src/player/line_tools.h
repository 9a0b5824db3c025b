#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "player/web_vtt.h"

namespace lorvane {

// What the line tools do to playback. The player controller is the host.
class LineToolsHost {
 public:
  virtual ~LineToolsHost() = default;
  virtual void lineToolsSeek(double seconds) = 0;
  // The speed playback runs at from now on (the ramp's steps).
  virtual void lineToolsSetSpeed(float speed) = 0;
  virtual void lineToolsPause() = 0;
  virtual void lineToolsResume() = 0;
  // Which tool is on, or how many repeats are left, changed.
  virtual void lineToolsChanged() {}
};

enum class LineTool { None, Loop, ABLoop, Shadowing, Ramp };

// The sentence tools of the study bar, driven by playback reports:
// - loop: the current line played a given number of times in all (once is
//   "repeat the line"), or without end, then playback goes on;
// - A-B: from the start of one line to the end of another, over and over;
// - shadowing: a pause after every line, 1.5 times as long as the line
//   took to hear, for the learner to say it, then playback goes on;
// - ramp: each line at every speed of the ramp in turn (0.75x, 1.0x, 1.25x
//   unless set otherwise), then on to the next line.
// One tool is on at a time. A jump of playback (a seek by the user) takes
// a line tool along to the line it lands on. Main thread only.
class LineTools {
 public:
  explicit LineTools(LineToolsHost& host) : host_(host) {}
  ~LineTools();
  LineTools(const LineTools&) = delete;
  LineTools& operator=(const LineTools&) = delete;

  void setTrack(CaptionTrack track);
  const CaptionTrack& track() const { return track_; }

  // The speed the user chose: what the ramp returns to.
  void setUserSpeed(float speed) { userSpeed_ = speed; }
  float userSpeed() const { return userSpeed_; }

  static constexpr int kWithoutEnd = 0;
  // Plays the line at `seconds` `times` times in all from its start
  // (kWithoutEnd: until stopped).
  void loopLine(double seconds, int times);
  void repeatLine(double seconds) { loopLine(seconds, 1); }
  // The loop key and button: off, 1, 3, 5 times, without end, off again.
  void cycleLoop(double seconds);
  // First press marks line A, the second line B and starts the loop (the
  // two in either order), a third turns it off.
  void markAB(double seconds);
  void setShadowing(bool on);
  void setRamp(bool on, double seconds);
  // At least one speed, each within 0.5 to 2.0; others are refused.
  bool setRampSpeeds(std::vector<float> speeds);
  const std::vector<float>& rampSpeeds() const { return rampSpeeds_; }
  // Everything off; a ramp gives the user's speed back.
  void stop();

  // A playback report: where playback is, and whether it runs.
  void playbackAt(double seconds);
  // The learner pressed play during a shadowing pause: go on now.
  void resumeFromPause();

  LineTool tool() const { return tool_; }
  // The line the tool works on (loop, ramp) or A and B.
  std::size_t line() const { return line_; }
  std::size_t lineA() const { return lineA_; }
  std::size_t lineB() const { return lineB_; }
  bool isWaitingForB() const { return waitingForB_; }
  // Plays of the loop still to come after this one; -1 without end.
  int repeatsLeft() const { return tool_ == LineTool::Loop ? repeatsLeft_ : 0; }
  int loopTimes() const { return loopTimes_; }
  std::size_t rampStep() const { return rampStep_; }
  bool isShadowPausing() const { return shadowPausing_; }
  double shadowPauseSeconds() const { return shadowPauseSeconds_; }
  // One line for the bar: the tool and what is left of it.
  std::string statusText() const;

  // How long a shadowing pause is, for a line of `length` seconds heard
  // at `speed`.
  static double shadowPauseFor(double length, float speed) { return 1.5 * length / speed; }
  // Reports further than this past a line's end are jumps, not playing on.
  static constexpr double kJumpSeconds = 0.75;

 private:
  std::size_t lineAt(double seconds) const;
  void setTool(LineTool tool);
  void cancelShadowPause();
  void rampLine(std::size_t line, bool seek);
  // True when playback just played over `end` (not jumped over it).
  bool crossed(double end, double seconds) const;

  LineToolsHost& host_;
  CaptionTrack track_;
  LineTool tool_ = LineTool::None;
  float userSpeed_ = 1.0f;
  std::vector<float> rampSpeeds_{0.75f, 1.0f, 1.25f};
  double lastSeconds_ = -1;
  // Where our own last seek went: reports before it lands are not jumps.
  double seekTarget_ = -1;
  int reportsBeforeLanding_ = 0;
  std::size_t line_ = CaptionTrack::npos;
  int loopTimes_ = 0;
  int repeatsLeft_ = 0;
  std::size_t lineA_ = CaptionTrack::npos;
  std::size_t lineB_ = CaptionTrack::npos;
  bool waitingForB_ = false;
  std::size_t rampStep_ = 0;
  bool shadowPausing_ = false;
  double shadowPauseSeconds_ = 0;
};

}  // namespace lorvane
