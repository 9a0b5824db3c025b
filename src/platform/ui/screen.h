#pragma once

#include <string>

#include "platform/ui/geometry.h"

namespace lorvane {

// The phone's screen. Defaults to the tall phone: 320 x 568 points at scale 2.
class Screen {
 public:
  static Screen& mainScreen();

  Rect bounds() const { return {0, 0, size_.width, size_.height}; }
  double scale() const { return scale_; }
  // The current mode's size in pixels (640 x 1136 by default).
  Size currentModeSize() const { return {size_.width * scale_, size_.height * scale_}; }
  // The bounds less the status bar when it shows.
  Rect applicationFrame() const;

  // Tests and the desktop front end switch these.
  void configure(Size pointSize, double scale);
  void reset() { configure({320, 568}, 2); }

 private:
  Size size_{320, 568};
  double scale_ = 2;
};

// Values match the platform's: the device's and the interface's use the
// same numbers for the four upright orientations.
enum class DeviceOrientation {
  Unknown = 0,
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeLeft = 3,
  LandscapeRight = 4,
  FaceUp = 5,
  FaceDown = 6
};

enum class InterfaceOrientation {
  Portrait = 1,
  PortraitUpsideDown = 2,
  LandscapeRight = 3,
  LandscapeLeft = 4
};

inline unsigned orientationMask(InterfaceOrientation o) {
  return 1u << static_cast<int>(o);
}
inline constexpr unsigned kOrientationMaskPortrait = 1u << 1;
inline constexpr unsigned kOrientationMaskAllButUpsideDown = (1u << 1) | (1u << 3) | (1u << 4);
inline constexpr unsigned kOrientationMaskAll = kOrientationMaskAllButUpsideDown | (1u << 2);
inline bool isLandscape(InterfaceOrientation o) {
  return o == InterfaceOrientation::LandscapeLeft || o == InterfaceOrientation::LandscapeRight;
}

// The device: system version and the way it is held.
class Device {
 public:
  static Device& currentDevice();

  const std::string& systemVersion() const { return systemVersion_; }
  // The version read as a number, as the app compares it with 7.0.
  double systemVersionNumber() const;
  const std::string& model() const { return model_; }
  DeviceOrientation orientation() const { return orientation_; }

  // The device has been turned (a key of the desktop front end, or the
  // app's request to turn): the application then asks its root controller
  // whether the interface follows.
  void setOrientation(DeviceOrientation orientation);

  void setSystemVersion(std::string version) { systemVersion_ = std::move(version); }
  void reset();

 private:
  std::string systemVersion_ = "7.0";
  std::string model_ = "iPhone";
  DeviceOrientation orientation_ = DeviceOrientation::Portrait;
};

}  // namespace lorvane
