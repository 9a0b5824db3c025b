#pragma once

#include <filesystem>
#include <functional>
#include <istream>
#include <string>

#include "platform/render/display.h"

namespace lorvane {

// Plays a script of touches, keys, waits and screenshots against the
// running app, one command a line ('#' starts a comment):
//   tap X Y | down X Y | move X Y | up X Y     points on the screen
//   drag X1 Y1 X2 Y2 [SECONDS]                 a finger moving, 0.3 s by default
//   key NAME                                    a key: r|left|right|up|down turn the
//                                               device, and edit the text field being
//                                               edited, as do backspace|delete|return|
//                                               tab|escape|home|end
//   type TEXT                                   types the rest of the line (UTF-8)
//                                               into the text field being edited
//   wait SECONDS                                lets the app run
//   screenshot FILE                             writes the screen as PNG
//   stop-server                                 stops the built-in sample server
class ScriptPlayer {
 public:
  explicit ScriptPlayer(Display& display) : display_(display) {}
  // False (with a message in `error`) at the first line that cannot be done.
  // Stops early, and answers true, once the app is quit.
  bool play(std::istream& script, std::string* error = nullptr);
  bool playFile(const std::filesystem::path& path, std::string* error = nullptr);
  // Runs the app for a while of real time, drawing frames; less when the
  // app is quit meanwhile.
  void runFor(double seconds);
  // What "stop-server" does; false when there is no server to stop.
  void setServerStopper(std::function<bool()> stop) { stopServer_ = std::move(stop); }

 private:
  Display& display_;
  std::function<bool()> stopServer_;
};

}  // namespace lorvane
