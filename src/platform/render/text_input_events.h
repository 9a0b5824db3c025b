#pragma once

#include <SDL2/SDL.h>

#include "platform/ui/geometry.h"

namespace lorvane {

// Hands SDL's keyboard, text and composition events to the text input that
// is the first responder: typed text, the input method's marked text, the
// editing keys and Ctrl (or Command) with A, C, X and V. Answers whether the
// event was for it; with a text input focused every key is, so letters type
// instead of turning the device.
bool dispatchTextInputEvent(const SDL_Event& event);

// SDL's text input (and with it the desktop's input method) runs while a
// text input is the first responder, with the candidate list beside its
// caret. Without a window there is nothing to switch.
class TextInputSession {
 public:
  explicit TextInputSession(SDL_Window* window) : window_(window) {}
  ~TextInputSession();
  TextInputSession(const TextInputSession&) = delete;
  TextInputSession& operator=(const TextInputSession&) = delete;

  // Follows the first responder; call once a frame with the map from
  // window points to the window's pixels.
  void update(const AffineTransform& windowToPixels);
  bool isActive() const { return active_; }

 private:
  SDL_Window* window_;
  bool active_ = false;
  SDL_Rect caret_{};
};

}  // namespace lorvane
