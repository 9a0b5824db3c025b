#pragma once

#include <string>

namespace lorvane::testing {

// Short clips made at test time with the ffmpeg command, in a temporary
// folder that lives as long as the process. Each is made once.
struct ClipSpec {
  double seconds = 2.0;
  int width = 320;
  int height = 180;
  int framesPerSecond = 25;
  int keyFrameInterval = 25;
  bool video = true;
  bool audio = true;
  int toneHz = 440;
  std::string pixelFormat = "yuv420p";
  std::string container = "mp4";
};

// Keeps the clips in `directory` (made if missing) instead of a temporary
// folder, so that test processes share them and each is made once per build.
// Call before the first makeClip().
void setClipDirectory(const std::string& directory);
// The path of a clip made as described; empty when ffmpeg failed.
std::string makeClip(const ClipSpec& clip);
// The folder the clips are made in.
std::string clipDirectory();
// The last path component.
std::string fileName(const std::string& path);

}  // namespace lorvane::testing
