#pragma once

#include <atomic>
#include <functional>

#include "platform/media/key_value_observing.h"

namespace lorvane {

inline constexpr const char* kVolumeKey = "volume";

// The system output volume, 0.0 to 1.0. Every player scales its audio
// samples by it; changes are reported under "volume" on the main run loop.
class SystemVolume {
 public:
  static SystemVolume& shared();

  float volume() const { return volume_.load(std::memory_order_relaxed); }
  // Kept within 0..1; a value that is not a number is ignored.
  void setVolume(float volume);

  ObservationToken addObserver(KeyValueObserver observer);
  void removeObserver(ObservationToken token);

  SystemVolume();

 private:
  std::atomic<float> volume_{1.0f};
  ObservationRegistry observers_{this};
};

// The application music player, used for the system volume only.
class MusicPlayerController {
 public:
  static MusicPlayerController& applicationMusicPlayer();

  float volume() const { return SystemVolume::shared().volume(); }
  void setVolume(float volume) { SystemVolume::shared().setVolume(volume); }
};

}  // namespace lorvane
