#include "platform/render/scripted_events.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace lorvane {
namespace {

// How many bytes of `text` from `from` fit in `room` without cutting a
// UTF-8 sequence.
std::size_t fittingBytes(std::string_view text, std::size_t from, std::size_t room) {
  std::size_t end = std::min(text.size(), from + room);
  if (end == text.size()) return end - from;
  while (end > from && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return end > from ? end - from : std::min(room, text.size() - from);
}

}  // namespace

std::optional<SDL_Keycode> keycodeNamed(std::string_view name) {
  static const std::pair<std::string_view, SDL_Keycode> kKeys[] = {
      {"r", SDLK_r},           {"left", SDLK_LEFT},     {"right", SDLK_RIGHT},
      {"up", SDLK_UP},         {"down", SDLK_DOWN},     {"backspace", SDLK_BACKSPACE},
      {"delete", SDLK_DELETE}, {"return", SDLK_RETURN}, {"tab", SDLK_TAB},
      {"escape", SDLK_ESCAPE}, {"home", SDLK_HOME},     {"end", SDLK_END},
  };
  for (const auto& [keyName, code] : kKeys) {
    if (keyName == name) return code;
  }
  if (name == "space") return SDLK_SPACE;
  // Letters, digits and signs are their own key codes.
  if (name.size() == 1 && name[0] > ' ' && name[0] < 127 && !(name[0] >= 'A' && name[0] <= 'Z')) {
    return static_cast<SDL_Keycode>(name[0]);
  }
  return std::nullopt;
}

SDL_Event keyEvent(SDL_Keycode key, bool down, Uint16 modifiers) {
  SDL_Event e{};
  e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
  e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
  e.key.keysym.sym = key;
  e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
  e.key.keysym.mod = modifiers;
  e.key.timestamp = SDL_GetTicks();
  return e;
}

std::vector<SDL_Event> textInputEvents(std::string_view text) {
  std::vector<SDL_Event> events;
  constexpr std::size_t kRoom = SDL_TEXTINPUTEVENT_TEXT_SIZE - 1;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t n = fittingBytes(text, at, kRoom);
    SDL_Event e{};
    e.type = SDL_TEXTINPUT;
    e.text.timestamp = SDL_GetTicks();
    std::memcpy(e.text.text, text.data() + at, n);
    e.text.text[n] = '\0';
    events.push_back(e);
    at += n;
  }
  return events;
}

SDL_Event textEditingEvent(std::string_view composition, int cursor) {
  SDL_Event e{};
  e.type = SDL_TEXTEDITING;
  e.edit.timestamp = SDL_GetTicks();
  std::size_t n = fittingBytes(composition, 0, SDL_TEXTEDITINGEVENT_TEXT_SIZE - 1);
  std::memcpy(e.edit.text, composition.data(), n);
  e.edit.text[n] = '\0';
  e.edit.start = cursor;
  e.edit.length = 0;
  return e;
}

}  // namespace lorvane
