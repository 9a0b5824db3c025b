#include "platform/media/system_volume.h"

#include <algorithm>
#include <cmath>

namespace lorvane {

SystemVolume& SystemVolume::shared() {
  static SystemVolume* volume = new SystemVolume();  // lives for the process
  return *volume;
}

SystemVolume::SystemVolume() = default;

void SystemVolume::setVolume(float volume) {
  if (std::isnan(volume)) return;
  const float clamped = std::clamp(volume, 0.0f, 1.0f);
  const float old = volume_.exchange(clamped, std::memory_order_relaxed);
  if (old != clamped) observers_.post(kVolumeKey, static_cast<double>(clamped));
}

ObservationToken SystemVolume::addObserver(KeyValueObserver observer) {
  return observers_.add(kVolumeKey, std::move(observer));
}

void SystemVolume::removeObserver(ObservationToken token) {
  observers_.remove(token);
}

MusicPlayerController& MusicPlayerController::applicationMusicPlayer() {
  static MusicPlayerController controller;
  return controller;
}

}  // namespace lorvane
