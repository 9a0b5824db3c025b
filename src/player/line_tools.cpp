#include "player/line_tools.h"

#include <cmath>
#include <cstdio>

#include "platform/foundation/run_loop.h"

namespace lorvane {

namespace {

constexpr const char* kShadowResumeOperation = "resumeAfterShadowPause";
// A report this close to our own seek's target means the seek has landed.
constexpr double kSeekLandedSeconds = 0.25;
// Reports before our seek lands that we will pass over at most; a seek
// that never lands (overtaken by the user's) must not blind the tools.
constexpr int kMaxReportsBeforeLanding = 90;

std::string speedText(float speed) {
  char text[16];
  std::snprintf(text, sizeof text, "%g倍", static_cast<double>(speed));
  return text;
}

}  // namespace

LineTools::~LineTools() {
  RunLoop::main().cancelPreviousPerformRequests(this);
}

void LineTools::setTrack(CaptionTrack track) {
  stop();
  track_ = std::move(track);
  line_ = lineA_ = lineB_ = CaptionTrack::npos;
  lastSeconds_ = -1;
  seekTarget_ = -1;
}

std::size_t LineTools::lineAt(double seconds) const {
  if (track_.empty()) return CaptionTrack::npos;
  std::size_t at = track_.lineIndexAt(seconds);
  // Before the first line, the first line is the one to study.
  return at == CaptionTrack::npos ? 0 : at;
}

void LineTools::setTool(LineTool tool) {
  LineTool was = tool_;
  tool_ = tool;
  if (was == LineTool::Ramp && tool != LineTool::Ramp) host_.lineToolsSetSpeed(userSpeed_);
  if (was == LineTool::Shadowing && tool != LineTool::Shadowing && shadowPausing_) {
    cancelShadowPause();
    host_.lineToolsResume();
  }
  if (tool != LineTool::ABLoop) waitingForB_ = false;
  host_.lineToolsChanged();
}

void LineTools::cancelShadowPause() {
  RunLoop::main().cancelPreviousPerformRequests(this, kShadowResumeOperation, nullptr);
  shadowPausing_ = false;
}

void LineTools::stop() {
  if (tool_ != LineTool::None) setTool(LineTool::None);
}

bool LineTools::crossed(double end, double seconds) const {
  return lastSeconds_ >= 0 && lastSeconds_ < end && seconds >= end && seconds - end <= kJumpSeconds;
}

void LineTools::loopLine(double seconds, int times) {
  std::size_t line = lineAt(seconds);
  if (line == CaptionTrack::npos || times < 0) return;
  if (tool_ != LineTool::Loop) setTool(LineTool::Loop);
  line_ = line;
  loopTimes_ = times;
  repeatsLeft_ = times == kWithoutEnd ? -1 : times - 1;
  seekTarget_ = track_[line].startSeconds;
  reportsBeforeLanding_ = 0;
  host_.lineToolsSeek(track_[line].startSeconds);
  host_.lineToolsChanged();
}

void LineTools::cycleLoop(double seconds) {
  if (tool_ != LineTool::Loop) {
    loopLine(seconds, 1);
    return;
  }
  // Counting on from the plays already heard, without starting over.
  int played = loopTimes_ == kWithoutEnd ? 1 : loopTimes_ - repeatsLeft_;
  switch (loopTimes_) {
    case 1:
      loopTimes_ = 3;
      break;
    case 3:
      loopTimes_ = 5;
      break;
    case 5:
      loopTimes_ = kWithoutEnd;
      break;
    default:
      stop();
      return;
  }
  repeatsLeft_ = loopTimes_ == kWithoutEnd ? -1 : std::max(0, loopTimes_ - played);
  host_.lineToolsChanged();
}

void LineTools::markAB(double seconds) {
  std::size_t line = lineAt(seconds);
  if (line == CaptionTrack::npos) return;
  if (tool_ != LineTool::ABLoop) {
    setTool(LineTool::ABLoop);
    lineA_ = line;
    lineB_ = CaptionTrack::npos;
    waitingForB_ = true;
    host_.lineToolsChanged();
  } else if (waitingForB_) {
    lineB_ = line;
    if (lineB_ < lineA_) std::swap(lineA_, lineB_);
    waitingForB_ = false;
    seekTarget_ = track_[lineA_].startSeconds;
    reportsBeforeLanding_ = 0;
    host_.lineToolsSeek(track_[lineA_].startSeconds);
    host_.lineToolsChanged();
  } else {
    stop();
  }
}

void LineTools::setShadowing(bool on) {
  if (on && !track_.empty()) {
    if (tool_ != LineTool::Shadowing) setTool(LineTool::Shadowing);
  } else if (tool_ == LineTool::Shadowing) {
    stop();
  }
}

void LineTools::setRamp(bool on, double seconds) {
  if (!on || track_.empty()) {
    if (tool_ == LineTool::Ramp) stop();
    return;
  }
  if (tool_ != LineTool::Ramp) setTool(LineTool::Ramp);
  rampLine(lineAt(seconds), true);
}

bool LineTools::setRampSpeeds(std::vector<float> speeds) {
  if (speeds.empty()) return false;
  for (float s : speeds) {
    if (!(s >= 0.5f && s <= 2.0f)) return false;
  }
  rampSpeeds_ = std::move(speeds);
  if (tool_ == LineTool::Ramp) {
    rampStep_ = std::min(rampStep_, rampSpeeds_.size() - 1);
    host_.lineToolsSetSpeed(rampSpeeds_[rampStep_]);
    host_.lineToolsChanged();
  }
  return true;
}

void LineTools::rampLine(std::size_t line, bool seek) {
  line_ = line;
  rampStep_ = 0;
  host_.lineToolsSetSpeed(rampSpeeds_[0]);
  if (seek) {
    seekTarget_ = track_[line].startSeconds;
    reportsBeforeLanding_ = 0;
    host_.lineToolsSeek(track_[line].startSeconds);
  }
  host_.lineToolsChanged();
}

void LineTools::resumeFromPause() {
  if (!shadowPausing_) return;
  cancelShadowPause();
  host_.lineToolsResume();
  host_.lineToolsChanged();
}

void LineTools::playbackAt(double seconds) {
  if (!std::isfinite(seconds)) return;
  if (seekTarget_ >= 0) {
    // The old place may still be reported until our seek lands.
    if (std::fabs(seconds - seekTarget_) > kSeekLandedSeconds &&
        ++reportsBeforeLanding_ < kMaxReportsBeforeLanding) {
      return;
    }
    reportsBeforeLanding_ = 0;
    seekTarget_ = -1;
    lastSeconds_ = seconds;
    return;
  }
  if (track_.empty() || shadowPausing_ || tool_ == LineTool::None) {
    lastSeconds_ = seconds;
    return;
  }
  const bool jumped =
      lastSeconds_ >= 0 && (seconds < lastSeconds_ - 0.05 || seconds > lastSeconds_ + kJumpSeconds);
  switch (tool_) {
    case LineTool::Loop: {
      if (jumped) {
        std::size_t at = lineAt(seconds);
        if (at != line_) {
          line_ = at;
          host_.lineToolsChanged();
        }
        break;
      }
      const CaptionCue& cue = track_[line_];
      if (!crossed(cue.endSeconds, seconds)) break;
      if (repeatsLeft_ == 0) {
        stop();
        break;
      }
      if (repeatsLeft_ > 0) --repeatsLeft_;
      lastSeconds_ = -1;
      seekTarget_ = cue.startSeconds;
      reportsBeforeLanding_ = 0;
      host_.lineToolsSeek(cue.startSeconds);
      host_.lineToolsChanged();
      return;
    }
    case LineTool::ABLoop: {
      if (waitingForB_ || jumped) break;
      if (!crossed(track_[lineB_].endSeconds, seconds)) break;
      lastSeconds_ = -1;
      seekTarget_ = track_[lineA_].startSeconds;
      reportsBeforeLanding_ = 0;
      host_.lineToolsSeek(track_[lineA_].startSeconds);
      return;
    }
    case LineTool::Shadowing: {
      if (jumped) break;
      std::size_t heard = track_.lineIndexAt(lastSeconds_);
      if (heard == CaptionTrack::npos || !crossed(track_[heard].endSeconds, seconds)) break;
      shadowPausing_ = true;
      shadowPauseSeconds_ = shadowPauseFor(track_[heard].length(), userSpeed_);
      line_ = heard;
      host_.lineToolsPause();
      RunLoop::main().performAfterDelay(this, kShadowResumeOperation, nullptr, shadowPauseSeconds_,
                                        [this] { resumeFromPause(); });
      host_.lineToolsChanged();
      break;
    }
    case LineTool::Ramp: {
      if (jumped) {
        std::size_t at = lineAt(seconds);
        if (at != line_) rampLine(at, false);
        break;
      }
      const CaptionCue& cue = track_[line_];
      if (!crossed(cue.endSeconds, seconds)) break;
      if (rampStep_ + 1 < rampSpeeds_.size()) {
        ++rampStep_;
        host_.lineToolsSetSpeed(rampSpeeds_[rampStep_]);
        lastSeconds_ = -1;
        seekTarget_ = cue.startSeconds;
        reportsBeforeLanding_ = 0;
        host_.lineToolsSeek(cue.startSeconds);
        host_.lineToolsChanged();
        return;
      }
      if (line_ + 1 < track_.count()) {
        rampLine(line_ + 1, false);
      } else {
        stop();
      }
      break;
    }
    case LineTool::None:
      break;
  }
  lastSeconds_ = seconds;
}

std::string LineTools::statusText() const {
  auto number = [](std::size_t line) { return std::to_string(line + 1); };
  switch (tool_) {
    case LineTool::None:
      return "";
    case LineTool::Loop:
      if (loopTimes_ == 1) return "重复第 " + number(line_) + " 句";
      if (repeatsLeft_ < 0) return "循环第 " + number(line_) + " 句 · 不限次数";
      return "循环第 " + number(line_) + " 句 · 还剩 " + std::to_string(repeatsLeft_) + " 遍";
    case LineTool::ABLoop:
      if (waitingForB_) return "A-B 循环 · A = 第 " + number(lineA_) + " 句，再点一次选 B";
      return "A-B 循环 · 第 " + number(lineA_) + "–" + number(lineB_) + " 句";
    case LineTool::Shadowing:
      return shadowPausing_ ? "跟读 · 轮到你了" : "跟读 · 每句后停顿";
    case LineTool::Ramp:
      return "变速循环第 " + number(line_) + " 句 · " + speedText(rampSpeeds_[rampStep_]) + " (" +
             std::to_string(rampStep_ + 1) + "/" + std::to_string(rampSpeeds_.size()) + ")";
  }
  return "";
}

}  // namespace lorvane
