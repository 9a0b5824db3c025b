#pragma once

#include <SDL2/SDL.h>
#include <SDL2/SDL_ttf.h>

#include <memory>

namespace lorvane {

struct SdlDeleter {
  void operator()(SDL_Surface* s) const { SDL_FreeSurface(s); }
  void operator()(SDL_Texture* t) const { SDL_DestroyTexture(t); }
  void operator()(SDL_Renderer* r) const { SDL_DestroyRenderer(r); }
  void operator()(SDL_Window* w) const { SDL_DestroyWindow(w); }
  void operator()(TTF_Font* f) const { TTF_CloseFont(f); }
};

using SurfacePtr = std::unique_ptr<SDL_Surface, SdlDeleter>;
using TexturePtr = std::unique_ptr<SDL_Texture, SdlDeleter>;
using RendererPtr = std::unique_ptr<SDL_Renderer, SdlDeleter>;
using WindowPtr = std::unique_ptr<SDL_Window, SdlDeleter>;
using FontPtr = std::unique_ptr<TTF_Font, SdlDeleter>;

}  // namespace lorvane
