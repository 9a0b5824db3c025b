#include "platform/media/now_playing_info_center.h"

namespace lorvane {

NowPlayingInfoCenter& NowPlayingInfoCenter::defaultCenter() {
  static NowPlayingInfoCenter* center = new NowPlayingInfoCenter();  // lives for the process
  return *center;
}

void NowPlayingInfoCenter::setNowPlayingInfo(Info info) {
  std::lock_guard lock(mutex_);
  info_ = std::move(info);
}

NowPlayingInfoCenter::Info NowPlayingInfoCenter::nowPlayingInfo() const {
  std::lock_guard lock(mutex_);
  return info_;
}

std::string NowPlayingInfoCenter::title() const {
  std::lock_guard lock(mutex_);
  auto it = info_.find(kMediaItemPropertyTitle);
  if (it == info_.end()) return {};
  if (auto* text = std::any_cast<std::string>(&it->second)) return *text;
  if (auto* chars = std::any_cast<const char*>(&it->second)) return *chars ? *chars : "";
  return {};
}

}  // namespace lorvane
