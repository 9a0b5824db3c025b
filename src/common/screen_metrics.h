#pragma once

#include "platform/ui/application.h"
#include "platform/ui/screen.h"

namespace lorvane {

// Layout facts every feed and settings page reads.
inline bool isSystemSevenOrLater() {
  return Device::currentDevice().systemVersionNumber() >= 7.0;
}
inline double statusBarHeight() {
  return Application::sharedApplication().statusBarFrame().size.height;
}
// From 7.0 on, content starts below the status bar.
inline double contentTop() {
  return isSystemSevenOrLater() ? statusBarHeight() : 0;
}
inline Rect mainScreenBounds() {
  return Screen::mainScreen().bounds();
}
// The tall phone's mode (640 x 1136 pixels) picks tall pictures and places.
inline bool isTallScreen() {
  return Screen::mainScreen().currentModeSize() == Size{640, 1136};
}

inline constexpr double kTabBarHeight = 45;
inline constexpr double kTitleBarHeight = 44;

}  // namespace lorvane
