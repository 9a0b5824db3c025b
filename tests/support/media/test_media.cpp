#include "support/media/test_media.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>

namespace lorvane::testing {

namespace {

std::string& configuredFolder() {
  static std::string path;
  return path;
}

struct ClipFolder {
  std::string path;
  bool temporary = false;
  ClipFolder() {
    if (!configuredFolder().empty()) {
      std::error_code ignored;
      std::filesystem::create_directories(configuredFolder(), ignored);
      path = configuredFolder();
      return;
    }
    temporary = true;
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/lorvane-media-XXXXXX";
    if (char* made = ::mkdtemp(pattern.data())) path = made;
  }
  ~ClipFolder() {
    std::error_code ignored;
    if (temporary && !path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

ClipFolder& folder() {
  static ClipFolder instance;
  return instance;
}

std::string nameFor(const ClipSpec& s) {
  char name[256];
  std::snprintf(name, sizeof name, "clip-%.2fs-%dx%d-%dfps-g%d-%s%s-%dhz-%s.%s", s.seconds, s.width,
                s.height, s.framesPerSecond, s.keyFrameInterval, s.video ? "v" : "",
                s.audio ? "a" : "", s.toneHz, s.pixelFormat.c_str(), s.container.c_str());
  return name;
}

}  // namespace

void setClipDirectory(const std::string& directory) {
  configuredFolder() = directory;
}

std::string clipDirectory() {
  return folder().path;
}

std::string fileName(const std::string& path) {
  return std::filesystem::path(path).filename().string();
}

std::string makeClip(const ClipSpec& clip) {
  static std::mutex mutex;
  static std::map<std::string, std::string> made;
  std::lock_guard lock(mutex);
  const std::string name = nameFor(clip);
  if (auto it = made.find(name); it != made.end()) return it->second;
  if (folder().path.empty()) return {};
  const std::string path = folder().path + "/" + name;
  std::error_code missing;
  if (std::filesystem::exists(path, missing)) {
    made[name] = path;
    return path;
  }
  // Made under a name of this process and renamed into place, so that test
  // processes running side by side never read half a clip.
  const std::string partial = folder().path + "/." + std::to_string(::getpid()) + "-" + name;
  char seconds[32];
  std::snprintf(seconds, sizeof seconds, "%.3f", clip.seconds);
  std::string command = "ffmpeg -nostdin -hide_banner -loglevel error -y";
  if (clip.video) {
    command += " -f lavfi -i testsrc2=size=" + std::to_string(clip.width) + "x" +
               std::to_string(clip.height) + ":rate=" + std::to_string(clip.framesPerSecond);
  }
  if (clip.audio) {
    command += " -f lavfi -i sine=frequency=" + std::to_string(clip.toneHz) + ":sample_rate=44100";
  }
  command += std::string(" -t ") + seconds;
  if (clip.video) {
    command += " -c:v libx264 -preset veryfast -pix_fmt " + clip.pixelFormat + " -g " +
               std::to_string(clip.keyFrameInterval);
  }
  if (clip.audio) command += " -c:a aac -b:a 96k";
  if (clip.container == "mp4") command += " -movflags +faststart";
  command += " '" + partial + "'";
  if (std::system(command.c_str()) != 0 || std::rename(partial.c_str(), path.c_str()) != 0) {
    std::remove(partial.c_str());
    return {};
  }
  made[name] = path;
  return path;
}

}  // namespace lorvane::testing
