#pragma once

#include <any>
#include <map>
#include <mutex>
#include <string>

namespace lorvane {

inline constexpr const char* kMediaItemPropertyTitle = "title";

// What the system shows as now playing: a dictionary the player controller
// sets per video.
class NowPlayingInfoCenter {
 public:
  using Info = std::map<std::string, std::any>;

  static NowPlayingInfoCenter& defaultCenter();

  void setNowPlayingInfo(Info info);
  Info nowPlayingInfo() const;
  // The title entry as text, empty when absent or not a string.
  std::string title() const;

 private:
  mutable std::mutex mutex_;
  Info info_;
};

}  // namespace lorvane
