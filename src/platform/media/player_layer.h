#pragma once

#include <memory>
#include <mutex>

#include "platform/foundation/video_frame.h"
#include "platform/media/player_interface.h"

namespace lorvane {

struct VideoRect {
  double x = 0, y = 0, width = 0, height = 0;
  bool operator==(const VideoRect&) const = default;
};

// The layer that shows a player's picture. The renderer asks it for the
// current frame and for where to draw it within the layer's bounds.
class PlayerLayer : public VideoFrameSource {
 public:
  static std::shared_ptr<PlayerLayer> playerLayerWithPlayer(PlayerPtr player);

  PlayerPtr player() const;
  void setPlayer(PlayerPtr player);

  VideoGravity videoGravity() const;
  void setVideoGravity(VideoGravity gravity);

  // A frame has arrived since the player was set.
  bool isReadyForDisplay() const;
  std::shared_ptr<const VideoFrame> currentFrame() const override;

  // Where a picture of the current frame's size goes in bounds of the given
  // size, by the gravity; the whole bounds before the first frame.
  VideoRect videoRectForBounds(double width, double height) const;
  static VideoRect fit(VideoGravity gravity, double boundsWidth, double boundsHeight,
                       double pictureWidth, double pictureHeight);

 private:
  mutable std::mutex mutex_;
  PlayerPtr player_;
  VideoGravity gravity_ = VideoGravity::ResizeAspect;
};

}  // namespace lorvane
