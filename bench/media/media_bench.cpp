// Speed of the media layer on a 360p lesson-like clip: time to the first
// picture, how closely pictures keep to the sound at each speed, CPU per
// second of playback, and how long a seek takes to show its picture.
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/foundation/run_loop.h"
#include "platform/media/player.h"

using namespace lorvane;

namespace {

double wallNow() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double cpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

bool makeClip(const std::string& path, int seconds, int keyFrameInterval) {
  std::string command =
      "ffmpeg -nostdin -hide_banner -loglevel error -y -f lavfi -i testsrc2=size=640x360:rate=25"
      " -f lavfi -i sine=frequency=440:sample_rate=44100 -t " +
      std::to_string(seconds) + " -c:v libx264 -preset veryfast -pix_fmt yuv420p";
  if (keyFrameInterval > 0) command += " -g " + std::to_string(keyFrameInterval);
  command += " -c:a aac -b:a 96k -movflags +faststart '" + path + "'";
  return std::system(command.c_str()) == 0;
}

bool waitFor(const std::function<bool()>& predicate, double seconds) {
  return RunLoop::main().runUntil(predicate, seconds);
}

void spin(double seconds) {
  RunLoop::main().runUntil([] { return false; }, seconds);
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

std::shared_ptr<Player> openReady(const std::string& path) {
  auto player = Player::playerWithURL(path);
  auto item = player->currentItem();
  waitFor([&] { return item->isPlaybackLikelyToKeepUp(); }, 10);
  return player;
}

void firstFrame(const std::string& path) {
  std::vector<double> times;
  for (int i = 0; i < 7; ++i) {
    const double start = wallNow();
    auto player = Player::playerWithURL(path);
    while (!player->currentVideoFrame() && wallNow() - start < 5) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    times.push_back(wallNow() - start);
    RunLoop::main().runUntilIdle();
  }
  std::printf("open to first picture: median %.1f ms, worst %.1f ms (goal 500 ms)\n",
              median(times) * 1000, *std::max_element(times.begin(), times.end()) * 1000);
}

void drift(const std::string& path) {
  auto player = openReady(path);
  for (float rate : {1.0f, 1.5f, 2.0f}) {
    bool sought = false;
    player->seekToTime(MediaTime::zero(), [&](bool) { sought = true; });
    waitFor([&] { return sought; }, 5);
    player->resetStatistics();
    player->setRate(rate);
    spin(3.0);
    player->pause();
    const PlaybackStatistics s = player->statistics();
    std::printf(
        "drift at %.1fx: mean %.1f ms, worst %.1f ms over %llu pictures, %llu dropped "
        "(goal 45 ms)\n",
        rate, s.meanDrift() * 1000, s.maxDrift * 1000,
        static_cast<unsigned long long>(s.framesPresented),
        static_cast<unsigned long long>(s.framesDropped));
  }
}

void cpu(const std::string& path) {
  auto player = openReady(path);
  player->play();
  spin(0.5);
  const double cpu0 = cpuSeconds(), wall0 = wallNow(), media0 = player->currentTime().seconds();
  spin(4.0);
  const double cpu = cpuSeconds() - cpu0, wall = wallNow() - wall0;
  const double media = player->currentTime().seconds() - media0;
  std::printf(
      "CPU at 1.0x, 360p: %.1f%% of one core (%.2f s CPU for %.2f s of playback; "
      "goal under 25%%)\n",
      100 * cpu / wall, cpu, media);
}

void seeks(const std::string& path, const char* label) {
  auto player = openReady(path);
  std::vector<double> times;
  const double targets[] = {7.3, 1.1, 4.6, 9.2, 0.4, 5.9, 2.7, 8.1, 3.3, 6.5};
  for (double target : targets) {
    bool done = false;
    const double start = wallNow();
    player->seekToTime(MediaTime::makeWithSeconds(target, 600), [&](bool) { done = true; });
    waitFor([&] { return done; }, 5);
    times.push_back(wallNow() - start);
  }
  std::printf("seek to a shown picture (%s): median %.1f ms, worst %.1f ms (goal 200 ms)\n", label,
              median(times) * 1000, *std::max_element(times.begin(), times.end()) * 1000);
}

}  // namespace

int main() {
  RunLoop::main().bindToCurrentThread();
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("lorvane-media-bench-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string clip = (folder / "lesson-360p-g50.mp4").string();
  const std::string sparse = (folder / "lesson-360p-g250.mp4").string();
  if (!makeClip(clip, 12, 50) || !makeClip(sparse, 12, 250)) {
    std::fprintf(stderr, "media_bench: ffmpeg could not make the clips\n");
    return 1;
  }
  {
    auto probe = Player::playerWithURL(clip);
    std::printf("audio output: %s\n", probe->audioOutputName().c_str());
  }
  firstFrame(clip);
  drift(clip);
  cpu(clip);
  seeks(clip, "key frame every 2 s");
  seeks(sparse, "key frame every 10 s");
  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
  return 0;
}
