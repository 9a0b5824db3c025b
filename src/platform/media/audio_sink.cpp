#include "platform/media/audio_sink.h"

#include <SDL.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/foundation/log.h"
#include "platform/media/playback_clock.h"

namespace lorvane {

namespace {

constexpr int kDeviceBufferFrames = 1024;

class SDLAudioSink : public AudioSink {
 public:
  explicit SDLAudioSink(Pull pull) : pull_(std::move(pull)) {}

  ~SDLAudioSink() override {
    if (device_ != 0) SDL_CloseAudioDevice(device_);
    if (initialised_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
  }

  bool open() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
    initialised_ = true;
    const char* driver = SDL_GetCurrentAudioDriver();
    const std::string_view name = driver ? driver : "";
    // These drivers play nothing and keep no time: the clock-driven sink does
    // their job honestly.
    if (name.empty() || name == "dummy" || name == "disk") return false;
    SDL_AudioSpec want{};
    want.freq = kSampleRate;
    want.format = AUDIO_F32SYS;
    want.channels = kChannels;
    want.samples = kDeviceBufferFrames;
    want.callback = &SDLAudioSink::callback;
    want.userdata = this;
    SDL_AudioSpec have{};
    device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device_ == 0) return false;
    frames_ = have.samples > 0 ? have.samples : kDeviceBufferFrames;
    driver_ = std::string(name);
    SDL_PauseAudioDevice(device_, 0);
    return true;
  }

  double latency() const override { return static_cast<double>(frames_) / kSampleRate; }
  std::string name() const override { return "SDL " + driver_; }

 private:
  static void callback(void* userdata, Uint8* stream, int length) {
    auto* self = static_cast<SDLAudioSink*>(userdata);
    const std::size_t frames = static_cast<std::size_t>(length) / (sizeof(float) * kChannels);
    // The device still holds about one buffer ahead of this one.
    self->pull_(reinterpret_cast<float*>(stream), frames,
                PlaybackClock::realNow() + self->latency());
  }

  Pull pull_;
  bool initialised_ = false;
  SDL_AudioDeviceID device_ = 0;
  int frames_ = kDeviceBufferFrames;
  std::string driver_;
};

// Pulls exactly as many frames as real time says have been played.
class ClockDrivenSink : public AudioSink {
 public:
  explicit ClockDrivenSink(Pull pull) : pull_(std::move(pull)) {
    thread_ = std::thread([this] { run(); });
  }
  ~ClockDrivenSink() override {
    stopping_ = true;
    thread_.join();
  }
  double latency() const override { return 0; }
  std::string name() const override { return "clock"; }

 private:
  void run() {
    std::vector<float> buffer(static_cast<std::size_t>(kDeviceBufferFrames) * kChannels);
    const double start = PlaybackClock::realNow();
    std::uint64_t played = 0;
    while (!stopping_) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      const auto due = static_cast<std::uint64_t>((PlaybackClock::realNow() - start) * kSampleRate);
      while (played < due && !stopping_) {
        const std::size_t frames =
            static_cast<std::size_t>(std::min<std::uint64_t>(due - played, kDeviceBufferFrames));
        // Each frame is "heard" at its own slot of real time, so catching up
        // after a late wake-up does not rush the clock.
        pull_(buffer.data(), frames, start + static_cast<double>(played) / kSampleRate);
        played += frames;
      }
    }
  }

  Pull pull_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<AudioSink> AudioSink::open(Pull pull) {
  // A machine without sound stays without: asking again for every player
  // would only repeat the driver's complaints and slow the first picture.
  static std::atomic<bool> noDevice{false};
  if (!noDevice) {
    auto device = std::make_unique<SDLAudioSink>(pull);
    if (device->open()) return device;
    noDevice = true;
  }
  return openClockDriven(std::move(pull));
}

std::unique_ptr<AudioSink> AudioSink::openClockDriven(Pull pull) {
  return std::make_unique<ClockDrivenSink>(std::move(pull));
}

}  // namespace lorvane
