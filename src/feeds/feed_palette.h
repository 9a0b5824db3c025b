#pragma once

#include "platform/ui/color.h"

namespace lorvane {

// The look of the feed screens while nothing has come yet: quiet shades of
// the background's night blue, never white, and the pink of the selected tab.
inline Color feedPlaceholderColor() {
  return Color::rgb255(46, 50, 78, 0.55);
}
inline Color feedAccentColor() {
  return Color::rgb255(222, 18, 104);
}

}  // namespace lorvane
