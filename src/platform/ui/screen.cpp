#include "platform/ui/screen.h"

#include <cstdlib>

#include "platform/ui/application.h"

namespace lorvane {

Screen& Screen::mainScreen() {
  static Screen screen;
  return screen;
}

void Screen::configure(Size pointSize, double scale) {
  size_ = pointSize;
  scale_ = scale > 0 ? scale : 1;
}

Rect Screen::applicationFrame() const {
  double bar = Application::sharedApplication().isStatusBarHidden() ? 0 : 20;
  return {0, bar, size_.width, size_.height - bar};
}

Device& Device::currentDevice() {
  static Device device;
  return device;
}

double Device::systemVersionNumber() const {
  return std::strtod(systemVersion_.c_str(), nullptr);
}

void Device::setOrientation(DeviceOrientation orientation) {
  if (orientation == orientation_) return;
  orientation_ = orientation;
  Application::sharedApplication().deviceOrientationDidChange();
}

void Device::reset() {
  systemVersion_ = "7.0";
  model_ = "iPhone";
  orientation_ = DeviceOrientation::Portrait;
}

}  // namespace lorvane
