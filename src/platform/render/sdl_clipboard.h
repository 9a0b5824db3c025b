#pragma once

namespace lorvane {

// While it lives, the pasteboard is the desktop's clipboard through SDL
// (which needs SDL's video running); afterwards the in-process one again.
class SdlClipboard {
 public:
  SdlClipboard();
  ~SdlClipboard();
  SdlClipboard(const SdlClipboard&) = delete;
  SdlClipboard& operator=(const SdlClipboard&) = delete;
};

}  // namespace lorvane
