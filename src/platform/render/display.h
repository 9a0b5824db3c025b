#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "platform/render/font_provider.h"
#include "platform/render/painter.h"
#include "platform/render/sdl_clipboard.h"
#include "platform/render/text_input_events.h"
#include "platform/ui/screen.h"
#include "platform/ui/window.h"

namespace lorvane {

struct DisplayOptions {
  bool headless = false;
  // Pixels per point: 2 gives the phone's 640 x 1136, 1 suits small displays.
  double scale = 2;
  std::string title = "Lorvane";
};

// Where a point of the (portrait) window shows on a desktop screen that
// turns with the interface, so that the interface reads upright: the
// identity in portrait, a quarter turn for either landscape (whose screen
// is `screen` on its side), a half turn upside down. Exact in every entry.
AffineTransform uprightScreenTransform(InterfaceOrientation orientation, Size screen);

// The phone's screen on the desktop: a window, or an offscreen surface
// when there is no display (or none is wanted). Both draw with the same
// software renderer into the same surface, so a screenshot shows exactly
// what the window shows. The mouse is the finger; keys turn the device.
//
// The desktop screen turns with the interface: when the interface turns to
// landscape the window (and the surface, and so the screenshots) turns to
// the landscape shape, 1136 x 640 pixels at scale 2, and the interface is
// drawn upright in it; turning back restores the portrait window. The turn
// happens with the first frame drawn after the interface turned, and the
// mouse and scripted touches map through the turn of the frame on show, so
// a touch lands where the finger sees the control.
class Display {
 public:
  // Nothing (and a message in `error`) when SDL cannot start at all.
  static std::unique_ptr<Display> create(const DisplayOptions& options,
                                         std::string* error = nullptr);
  ~Display();
  Display(const Display&) = delete;
  Display& operator=(const Display&) = delete;

  bool isHeadless() const { return !window_; }
  double scale() const { return scale_; }
  int pixelWidth() const;
  int pixelHeight() const;
  // The interface orientation the screen on show is turned for.
  InterfaceOrientation shownOrientation() const { return shown_; }
  // The screen on show in points (568 x 320 in landscape).
  Size shownSize() const { return shownSize_; }
  // A point of the screen on show in window points.
  Point windowPointFromShown(Point p) const { return fromShown_.apply(p); }

  // Lays out and draws the key window (or `root`) and the status bar.
  void drawFrame();
  void drawFrame(const View& root);
  // The last frame as a PNG.
  bool saveScreenshot(const std::filesystem::path& path) const;
  // A pixel of the last frame, in pixels from the top left.
  std::optional<Color> pixelAt(int x, int y) const;

  // Runs SDL events, the main run loop and frames until quit or stop().
  void run();
  void stop() { running_ = false; }
  // Ends the app's loop for good, as closing the window does (a quit
  // signal, say): run() and runOnce() return and scripts stop.
  void quit() {
    quit_ = true;
    running_ = false;
  }
  bool hasQuit() const { return quit_; }
  // One turn of the loop: events, due work, a frame. False once quit.
  bool runOnce(double maxWait = 1.0 / 60);

  // Scripted input, in points of the screen on show (320 x 568 upright,
  // 568 x 320 while the interface is in landscape).
  void injectTouchDown(Point p);
  void injectTouchMove(Point p);
  void injectTouchUp(Point p);
  // A key as the keyboard sends it: with a text field editing, the editing
  // keys ("backspace", "delete", "return", "tab", "escape", "home", "end",
  // the arrows) edit it; otherwise "r" toggles landscape, Ctrl with
  // "left", "right", "up", "down" holds the device so, and other keys
  // ("space", letters and signs such as "[") go to the screen on top,
  // plain arrows turning the device when it does not take them. A
  // "ctrl+" prefix holds Ctrl. False for an unknown name.
  bool injectKey(const std::string& key);
  // Text as typed on the keyboard, into the text field being edited.
  void injectText(const std::string& text);
  // Any SDL event, through the same handling as the window's own.
  void dispatchEvent(const SDL_Event& event) { handleEvent(event); }

  Painter& painter() { return *painter_; }
  const std::shared_ptr<FontProvider>& fonts() const { return fonts_; }

 private:
  Display() = default;
  void handleEvent(const SDL_Event& event);
  void turnDevice(const std::string& key);
  void pressKey(const SDL_Keysym& keysym);
  Point toPoints(int x, int y) const;
  // Makes the surface (and its renderer and painter) `w` x `h` pixels.
  bool makeSurface(int w, int h, std::string* error);
  // Turns the screen (window, surface, transforms) to the interface's
  // orientation when it is not turned so already.
  void followInterfaceOrientation();

  double scale_ = 2;
  InterfaceOrientation shown_ = InterfaceOrientation::Portrait;
  Size shownSize_;
  AffineTransform toShown_;    // window points to shown points
  AffineTransform fromShown_;  // and back
  WindowPtr window_;
  SurfacePtr surface_;
  RendererPtr renderer_;
  std::shared_ptr<FontProvider> fonts_;
  std::unique_ptr<Painter> painter_;
  std::unique_ptr<TextInputSession> textInput_;
  std::unique_ptr<SdlClipboard> clipboard_;
  bool running_ = false;
  bool quit_ = false;  // the window was closed
  bool mouseDown_ = false;
  bool videoStarted_ = false;
};

// Installs the SDL-backed picture decoder, fonts and snapshot painter for
// the UI layer. Display::create does this; tests of pictures may call it
// alone. Returns the font provider (nothing without a usable font).
std::shared_ptr<FontProvider> installRenderHooks();

}  // namespace lorvane
