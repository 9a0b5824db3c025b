#pragma once

#include <SDL2/SDL.h>

#include <optional>
#include <string_view>
#include <vector>

namespace lorvane {

// SDL events as the desktop's keyboard sends them, for scripts and tests
// to feed through the same path as a person's typing.

// The key of a script's name: "r", "left", "right", "up", "down",
// "backspace", "delete", "return", "tab", "escape", "home", "end".
std::optional<SDL_Keycode> keycodeNamed(std::string_view name);
// A key going down (or up) with modifiers such as KMOD_SHIFT or KMOD_CTRL.
SDL_Event keyEvent(SDL_Keycode key, bool down, Uint16 modifiers = KMOD_NONE);
// Typed text as SDL hands it over: pieces that fit its event, never
// splitting a character.
std::vector<SDL_Event> textInputEvents(std::string_view text);
// The input method's composition so far, the cursor `cursor` characters in.
SDL_Event textEditingEvent(std::string_view composition, int cursor);

}  // namespace lorvane
