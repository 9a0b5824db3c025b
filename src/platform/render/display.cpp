#include "platform/render/display.h"

#include <SDL2/SDL_image.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "platform/render/scripted_events.h"
#include "platform/ui/application.h"
#include "platform/ui/screen.h"
#include "platform/ui/snapshot.h"

namespace lorvane {

namespace {

std::optional<PixelBuffer> surfaceToPixels(SDL_Surface* source) {
  SurfacePtr rgba(SDL_ConvertSurfaceFormat(source, SDL_PIXELFORMAT_RGBA32, 0));
  if (!rgba) return std::nullopt;
  PixelBuffer out;
  out.width = rgba->w;
  out.height = rgba->h;
  out.rgba.resize(std::size_t(out.width) * std::size_t(out.height) * 4);
  if (SDL_MUSTLOCK(rgba.get())) SDL_LockSurface(rgba.get());
  for (int y = 0; y < out.height; ++y) {
    const auto* row =
        static_cast<const std::uint8_t*>(rgba->pixels) + std::size_t(y) * std::size_t(rgba->pitch);
    std::copy(row, row + std::size_t(out.width) * 4,
              out.rgba.begin() + long(std::size_t(y) * std::size_t(out.width) * 4));
  }
  if (SDL_MUSTLOCK(rgba.get())) SDL_UnlockSurface(rgba.get());
  return out;
}

std::optional<PixelBuffer> decodePicture(const std::vector<std::uint8_t>& bytes) {
  if (bytes.empty()) return std::nullopt;
  SDL_RWops* rw = SDL_RWFromConstMem(bytes.data(), int(bytes.size()));
  SurfacePtr surface(IMG_Load_RW(rw, 1));
  if (!surface) return std::nullopt;
  return surfaceToPixels(surface.get());
}

std::shared_ptr<FontProvider>& sharedFonts() {
  static std::shared_ptr<FontProvider> fonts;
  return fonts;
}

ImagePtr paintSnapshot(const Layer& layer, Size size, double scale) {
  int w = std::max(1, int(std::ceil(size.width * scale)));
  int h = std::max(1, int(std::ceil(size.height * scale)));
  SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888));
  if (!surface) return nullptr;
  RendererPtr renderer(SDL_CreateSoftwareRenderer(surface.get()));
  if (!renderer) return nullptr;
  SDL_SetRenderDrawColor(renderer.get(), 0, 0, 0, 0);
  SDL_RenderClear(renderer.get());
  {
    Painter painter(renderer.get(), sharedFonts());
    painter.setScale(scale);
    painter.drawLayer(layer);
  }
  SDL_RenderFlush(renderer.get());
  auto pixels = surfaceToPixels(surface.get());
  if (!pixels) return nullptr;
  return Image::imageWithPixels(std::move(*pixels), scale);
}

}  // namespace

std::shared_ptr<FontProvider> installRenderHooks() {
  static std::once_flag once;
  std::call_once(once, [] {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_WasInit(0) == 0) SDL_Init(0);
    IMG_Init(IMG_INIT_PNG | IMG_INIT_JPG);
    Image::setDecoder(decodePicture);
    sharedFonts() = FontProvider::create();
    if (sharedFonts()) FontBackend::install(sharedFonts());
    setSnapshotRenderer(paintSnapshot);
  });
  return sharedFonts();
}

AffineTransform uprightScreenTransform(InterfaceOrientation orientation, Size screen) {
  switch (orientation) {
    case InterfaceOrientation::LandscapeRight:
      // The interface is turned a quarter clockwise in the window; the
      // screen turns it back: the window's right edge becomes the top.
      return {0, -1, 1, 0, 0, screen.width};
    case InterfaceOrientation::LandscapeLeft:
      return {0, 1, -1, 0, screen.height, 0};
    case InterfaceOrientation::PortraitUpsideDown:
      return {-1, 0, 0, -1, screen.width, screen.height};
    default:
      return {};
  }
}

std::unique_ptr<Display> Display::create(const DisplayOptions& options, std::string* error) {
  std::unique_ptr<Display> d(new Display());
  d->scale_ = options.scale > 0 ? options.scale : 2;
  d->fonts_ = installRenderHooks();
  if (!d->fonts_) Log("display: no font found; text will not show");
  Rect screen = Screen::mainScreen().bounds();
  d->shownSize_ = screen.size;
  int w = int(std::lround(screen.width() * d->scale_));
  int h = int(std::lround(screen.height() * d->scale_));
  if (!options.headless) {
    // Long compositions of the input method arrive whole, not cut at 32 bytes.
    SDL_SetHint(SDL_HINT_IME_SUPPORT_EXTENDED_TEXT, "1");
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
      d->window_.reset(SDL_CreateWindow(options.title.c_str(), SDL_WINDOWPOS_CENTERED,
                                        SDL_WINDOWPOS_CENTERED, w, h, SDL_WINDOW_SHOWN));
      if (!d->window_)
        Log(std::string("display: no window (") + SDL_GetError() + "), drawing offscreen");
    } else {
      Log(std::string("display: no video (") + SDL_GetError() + "), drawing offscreen");
    }
  }
  if (!d->makeSurface(w, h, error)) return nullptr;
  if (d->window_) {
    // SDL starts taking text with the video; we take it only while a text
    // field is being edited, so that keys do what they say the rest of the time.
    SDL_StopTextInput();
    d->textInput_ = std::make_unique<TextInputSession>(d->window_.get());
    d->clipboard_ = std::make_unique<SdlClipboard>();
  }
  // An interface already turned shows turned from the first frame.
  d->followInterfaceOrientation();
  return d;
}

bool Display::makeSurface(int w, int h, std::string* error) {
  SurfacePtr surface(SDL_CreateRGBSurfaceWithFormat(0, w, h, 32, SDL_PIXELFORMAT_ARGB8888));
  RendererPtr renderer;
  if (surface) renderer.reset(SDL_CreateSoftwareRenderer(surface.get()));
  if (!renderer) {
    if (error) *error = std::string("cannot create the renderer: ") + SDL_GetError();
    return false;
  }
  // The painter's textures belong to the renderer they were made for.
  painter_.reset();
  renderer_ = std::move(renderer);
  surface_ = std::move(surface);
  painter_ = std::make_unique<Painter>(renderer_.get(), fonts_);
  painter_->setScale(scale_);
  painter_->setScreenTransform(toShown_);
  return true;
}

void Display::followInterfaceOrientation() {
  InterfaceOrientation o = Application::sharedApplication().statusBarOrientation();
  if (o == shown_) return;
  Size screen = Screen::mainScreen().bounds().size;
  Size shown = isLandscape(o) ? Size{screen.height, screen.width} : screen;
  int w = int(std::lround(shown.width * scale_));
  int h = int(std::lround(shown.height * scale_));
  bool reshape = w != surface_->w || h != surface_->h;
  if (reshape) {
    std::string error;
    if (!makeSurface(w, h, &error)) {
      Log("display: cannot turn the screen (" + error + ")");
      return;
    }
  }
  shown_ = o;
  shownSize_ = shown;
  toShown_ = uprightScreenTransform(o, screen);
  fromShown_ = toShown_.inverted();
  painter_->setScreenTransform(toShown_);
  if (window_ && reshape) {
    // Turned about its centre, kept on the desktop where it fits.
    SDL_Window* win = window_.get();
    int x = 0, y = 0, oldW = 0, oldH = 0;
    SDL_GetWindowPosition(win, &x, &y);
    SDL_GetWindowSize(win, &oldW, &oldH);
    int nx = x + oldW / 2 - w / 2, ny = y + oldH / 2 - h / 2;
    SDL_Rect usable;
    int index = SDL_GetWindowDisplayIndex(win);
    if (index >= 0 && SDL_GetDisplayUsableBounds(index, &usable) == 0) {
      if (w <= usable.w) nx = std::clamp(nx, usable.x, usable.x + usable.w - w);
      if (h <= usable.h) ny = std::clamp(ny, usable.y, usable.y + usable.h - h);
    }
    SDL_SetWindowSize(win, w, h);
    SDL_SetWindowPosition(win, nx, ny);
  }
}

Display::~Display() {
  textInput_.reset();
  clipboard_.reset();
  painter_.reset();
  renderer_.reset();
  surface_.reset();
  if (window_) {
    window_.reset();
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
}

int Display::pixelWidth() const {
  return surface_->w;
}
int Display::pixelHeight() const {
  return surface_->h;
}

void Display::drawFrame() {
  followInterfaceOrientation();
  if (Window* w = Window::keyWindow()) {
    drawFrame(*w);
    return;
  }
  SDL_SetRenderDrawColor(renderer_.get(), 0, 0, 0, 255);
  SDL_RenderClear(renderer_.get());
  painter_->drawStatusBar();
  SDL_RenderFlush(renderer_.get());
}

void Display::drawFrame(const View& root) {
  followInterfaceOrientation();
  const_cast<View&>(root).layoutIfNeeded();
  SDL_SetRenderDrawColor(renderer_.get(), 0, 0, 0, 255);
  SDL_RenderSetClipRect(renderer_.get(), nullptr);
  SDL_RenderClear(renderer_.get());
  painter_->drawView(root);
  painter_->drawStatusBar();
  SDL_RenderFlush(renderer_.get());
  painter_->endFrame();
  if (window_) {
    if (SDL_Surface* target = SDL_GetWindowSurface(window_.get())) {
      SDL_BlitSurface(surface_.get(), nullptr, target, nullptr);
      SDL_UpdateWindowSurface(window_.get());
    }
  }
}

bool Display::saveScreenshot(const std::filesystem::path& path) const {
  return IMG_SavePNG(surface_.get(), path.string().c_str()) == 0;
}

std::optional<Color> Display::pixelAt(int x, int y) const {
  if (x < 0 || y < 0 || x >= surface_->w || y >= surface_->h) return std::nullopt;
  if (SDL_MUSTLOCK(surface_.get())) SDL_LockSurface(surface_.get());
  const auto* row = static_cast<const std::uint8_t*>(surface_->pixels) +
                    std::size_t(y) * std::size_t(surface_->pitch);
  Uint32 value;
  std::memcpy(&value, row + std::size_t(x) * 4, 4);
  if (SDL_MUSTLOCK(surface_.get())) SDL_UnlockSurface(surface_.get());
  Uint8 r, g, b, a;
  SDL_GetRGBA(value, surface_->format, &r, &g, &b, &a);
  return Color::rgb255(r, g, b, a / 255.0);
}

// Window pixels to points of the screen on show.
Point Display::toPoints(int x, int y) const {
  return {x / scale_, y / scale_};
}

void Display::injectTouchDown(Point p) {
  if (Window* w = Window::keyWindow()) w->touchDown(fromShown_.apply(p));
}
void Display::injectTouchMove(Point p) {
  if (Window* w = Window::keyWindow()) w->touchMove(fromShown_.apply(p));
}
void Display::injectTouchUp(Point p) {
  if (Window* w = Window::keyWindow()) w->touchUp(fromShown_.apply(p));
}

bool Display::injectKey(const std::string& key) {
  std::string_view name = key;
  Uint16 modifiers = KMOD_NONE;
  if (name.substr(0, 5) == "ctrl+") {
    modifiers = KMOD_LCTRL;
    name.remove_prefix(5);
  }
  auto code = keycodeNamed(name);
  if (!code) return false;
  handleEvent(keyEvent(*code, true, modifiers));
  handleEvent(keyEvent(*code, false, modifiers));
  return true;
}

void Display::pressKey(const SDL_Keysym& keysym) {
  std::string name;
  switch (keysym.sym) {
    case SDLK_LEFT:
      name = "left";
      break;
    case SDLK_RIGHT:
      name = "right";
      break;
    case SDLK_UP:
      name = "up";
      break;
    case SDLK_DOWN:
      name = "down";
      break;
    case SDLK_SPACE:
      name = "space";
      break;
    default:
      if (keysym.sym > ' ' && keysym.sym < 127) name = std::string(1, char(keysym.sym));
      break;
  }
  if (name.empty()) return;
  const bool control = (keysym.mod & KMOD_CTRL) != 0;
  const bool arrow = name == "left" || name == "right" || name == "up" || name == "down";
  // "r" and Ctrl with an arrow always turn the device; the page on top
  // may take any other key (a lesson takes the plain arrows), and plain
  // arrows it leaves turn the device as well.
  if ((name == "r" && !control) || (arrow && control)) {
    turnDevice(name);
    return;
  }
  if (Window* w = Window::keyWindow(); w && w->pressKey({name, control})) return;
  if (arrow && !control) turnDevice(name);
}

void Display::injectText(const std::string& text) {
  for (const SDL_Event& e : textInputEvents(text)) handleEvent(e);
}

void Display::turnDevice(const std::string& key) {
  Device& device = Device::currentDevice();
  // Turning the phone to the left puts its home button on the right: the
  // device's "landscape left".
  if (key == "r") {
    bool landscape = device.orientation() == DeviceOrientation::LandscapeLeft ||
                     device.orientation() == DeviceOrientation::LandscapeRight;
    device.setOrientation(landscape ? DeviceOrientation::Portrait
                                    : DeviceOrientation::LandscapeLeft);
  } else if (key == "left") {
    device.setOrientation(DeviceOrientation::LandscapeLeft);
  } else if (key == "right") {
    device.setOrientation(DeviceOrientation::LandscapeRight);
  } else if (key == "up") {
    device.setOrientation(DeviceOrientation::Portrait);
  } else if (key == "down") {
    device.setOrientation(DeviceOrientation::PortraitUpsideDown);
  }
}

void Display::handleEvent(const SDL_Event& e) {
  if (dispatchTextInputEvent(e)) return;
  switch (e.type) {
    case SDL_QUIT:
      running_ = false;
      quit_ = true;
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) {
        mouseDown_ = true;
        injectTouchDown(toPoints(e.button.x, e.button.y));
      }
      break;
    case SDL_MOUSEMOTION:
      if (mouseDown_) injectTouchMove(toPoints(e.motion.x, e.motion.y));
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT && mouseDown_) {
        mouseDown_ = false;
        injectTouchUp(toPoints(e.button.x, e.button.y));
      }
      break;
    case SDL_KEYDOWN:
      pressKey(e.key.keysym);
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_LOST)
        Application::sharedApplication().resignActive();
      if (e.window.event == SDL_WINDOWEVENT_FOCUS_GAINED)
        Application::sharedApplication().becomeActive();
      break;
    default:
      break;
  }
}

bool Display::runOnce(double maxWait) {
  if (window_) {
    SDL_Event e;
    while (SDL_PollEvent(&e)) handleEvent(e);
  }
  // Only a quit ends the turns: scripts run the loop in a window too.
  if (quit_) return false;
  if (textInput_) textInput_->update(toShown_.concat(AffineTransform::scale(scale_, scale_)));
  RunLoop::main().runOnce(maxWait);
  drawFrame();
  return true;
}

void Display::run() {
  running_ = true;
  while (running_) {
    if (!runOnce()) break;
  }
  Application::sharedApplication().terminate();
}

}  // namespace lorvane
