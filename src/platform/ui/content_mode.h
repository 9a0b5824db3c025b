#pragma once

#include "platform/foundation/video_frame.h"
#include "platform/ui/geometry.h"

namespace lorvane {

// The platform's values.
enum class ContentMode {
  ScaleToFill = 0,
  ScaleAspectFit = 1,
  ScaleAspectFill = 2,
  Redraw = 3,
  Center = 4,
  Top = 5,
  Bottom = 6,
  Left = 7,
  Right = 8,
  TopLeft = 9,
  TopRight = 10,
  BottomLeft = 11,
  BottomRight = 12
};

// Where content of the given size lands inside bounds under a content mode;
// the result may reach outside the bounds (aspect fill, centring a large
// picture), and clipping decides what shows.
Rect contentRect(const Rect& bounds, Size content, ContentMode mode);

inline ContentMode contentModeFor(VideoGravity g) {
  switch (g) {
    case VideoGravity::ResizeAspectFill:
      return ContentMode::ScaleAspectFill;
    case VideoGravity::Resize:
      return ContentMode::ScaleToFill;
    default:
      return ContentMode::ScaleAspectFit;
  }
}

}  // namespace lorvane
