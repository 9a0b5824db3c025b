#pragma once

#include <string>

namespace lorvane {

// A key pressed on the desktop keyboard, by name: a letter or sign as
// typed ("s", "[", "]"), or "space", "left", "right", "up", "down".
struct KeyPress {
  std::string key;
  bool control = false;
};

}  // namespace lorvane
