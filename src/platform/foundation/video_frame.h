#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace lorvane {

// One decoded picture in planar YUV 4:2:0 (I420), as the renderer uploads
// it to a texture without converting it first.
struct VideoFrame {
  int width = 0;
  int height = 0;
  // Y, U and V planes and the bytes per row of each.
  std::vector<std::uint8_t> planes[3];
  int strides[3] = {0, 0, 0};
  double presentationTime = 0;  // seconds of media time
  std::uint64_t serial = 0;     // grows with every new frame of a source
};

// How a video fills the layer that shows it.
enum class VideoGravity {
  ResizeAspect,      // whole picture inside the bounds, bars where needed
  ResizeAspectFill,  // bounds filled, picture cropped
  Resize,            // picture stretched to the bounds
};

// Anything that has a picture to show in a layer: the media player's layer
// implements it, the renderer draws whatever it currently holds.
class VideoFrameSource {
 public:
  virtual ~VideoFrameSource() = default;
  // The frame to show now, or nothing before the first one.
  virtual std::shared_ptr<const VideoFrame> currentFrame() const = 0;
};

}  // namespace lorvane
