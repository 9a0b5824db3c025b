#include "platform/media/player_layer.h"

#include <algorithm>

namespace lorvane {

std::shared_ptr<PlayerLayer> PlayerLayer::playerLayerWithPlayer(PlayerPtr player) {
  auto layer = std::make_shared<PlayerLayer>();
  layer->setPlayer(std::move(player));
  return layer;
}

PlayerPtr PlayerLayer::player() const {
  std::lock_guard lock(mutex_);
  return player_;
}

void PlayerLayer::setPlayer(PlayerPtr player) {
  std::lock_guard lock(mutex_);
  player_ = std::move(player);
}

VideoGravity PlayerLayer::videoGravity() const {
  std::lock_guard lock(mutex_);
  return gravity_;
}

void PlayerLayer::setVideoGravity(VideoGravity gravity) {
  std::lock_guard lock(mutex_);
  gravity_ = gravity;
}

bool PlayerLayer::isReadyForDisplay() const {
  return currentFrame() != nullptr;
}

std::shared_ptr<const VideoFrame> PlayerLayer::currentFrame() const {
  PlayerPtr player = this->player();
  return player ? player->currentVideoFrame() : nullptr;
}

VideoRect PlayerLayer::videoRectForBounds(double width, double height) const {
  auto frame = currentFrame();
  if (!frame) return {0, 0, width, height};
  return fit(videoGravity(), width, height, frame->width, frame->height);
}

VideoRect PlayerLayer::fit(VideoGravity gravity, double boundsWidth, double boundsHeight,
                           double pictureWidth, double pictureHeight) {
  if (gravity == VideoGravity::Resize || pictureWidth <= 0 || pictureHeight <= 0 ||
      boundsWidth <= 0 || boundsHeight <= 0) {
    return {0, 0, std::max(0.0, boundsWidth), std::max(0.0, boundsHeight)};
  }
  const double widthScale = boundsWidth / pictureWidth;
  const double heightScale = boundsHeight / pictureHeight;
  const double scale = gravity == VideoGravity::ResizeAspect ? std::min(widthScale, heightScale)
                                                             : std::max(widthScale, heightScale);
  const double width = pictureWidth * scale;
  const double height = pictureHeight * scale;
  return {(boundsWidth - width) / 2, (boundsHeight - height) / 2, width, height};
}

}  // namespace lorvane
