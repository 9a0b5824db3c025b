#include "platform/render/sdl_clipboard.h"

#include <SDL2/SDL.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/ui/pasteboard.h"

namespace lorvane {

SdlClipboard::SdlClipboard() {
  Pasteboard::Backend backend;
  backend.read = []() -> std::optional<std::string> {
    if (!SDL_HasClipboardText()) return std::nullopt;
    std::unique_ptr<char, decltype(&SDL_free)> text(SDL_GetClipboardText(), SDL_free);
    if (!text) return std::nullopt;
    return std::string(text.get());
  };
  backend.write = [](const std::string& text) { SDL_SetClipboardText(text.c_str()); };
  Pasteboard::generalPasteboard().setBackend(std::move(backend));
}

SdlClipboard::~SdlClipboard() {
  Pasteboard::generalPasteboard().setBackend({});
}

}  // namespace lorvane
