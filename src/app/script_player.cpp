#include "app/script_player.h"

#include <chrono>
#include <fstream>
#include <sstream>

namespace lorvane {

void ScriptPlayer::runFor(double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  do {
    if (!display_.runOnce(1.0 / 60)) return;  // the app was quit
  } while (std::chrono::steady_clock::now() < end);
}

bool ScriptPlayer::playFile(const std::filesystem::path& path, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    if (error) *error = "cannot read the script " + path.string();
    return false;
  }
  return play(in, error);
}

bool ScriptPlayer::play(std::istream& script, std::string* error) {
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "script line " + std::to_string(number) + ": " + why;
    return false;
  };
  // Once the app is quit (its window closed, a quit signal) the rest of
  // the script has nothing to act on.
  while (!display_.hasQuit() && std::getline(script, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // The text to type is the rest of the line as written, '#' included.
    if (line.starts_with("type ")) {
      display_.injectText(line.substr(5));
      runFor(0.02);
      continue;
    }
    if (auto hash = line.find('#'); hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string command;
    if (!(words >> command)) continue;
    if (command == "tap" || command == "down" || command == "move" || command == "up") {
      double x, y;
      if (!(words >> x >> y)) return fail(command + " needs X and Y");
      if (command == "tap" || command == "down") display_.injectTouchDown({x, y});
      if (command == "move") display_.injectTouchMove({x, y});
      if (command == "tap") runFor(0.05);
      if (command == "tap" || command == "up") display_.injectTouchUp({x, y});
      runFor(0.02);
    } else if (command == "drag") {
      double x1, y1, x2, y2, seconds = 0.3;
      if (!(words >> x1 >> y1 >> x2 >> y2)) return fail("drag needs X1 Y1 X2 Y2");
      words >> seconds;
      int steps = std::max(2, int(seconds * 60));
      display_.injectTouchDown({x1, y1});
      for (int i = 1; i <= steps; ++i) {
        runFor(seconds / steps);
        double t = double(i) / steps;
        display_.injectTouchMove({x1 + (x2 - x1) * t, y1 + (y2 - y1) * t});
      }
      display_.injectTouchUp({x2, y2});
      runFor(0.02);
    } else if (command == "key") {
      std::string key;
      if (!(words >> key) || !display_.injectKey(key)) return fail("unknown key");
      runFor(0.02);
    } else if (command == "wait") {
      double seconds;
      if (!(words >> seconds) || seconds < 0) return fail("wait needs a number of seconds");
      runFor(seconds);
    } else if (command == "type") {
      return fail("type needs text");
    } else if (command == "screenshot") {
      std::string file;
      if (!(words >> file)) return fail("screenshot needs a file name");
      display_.drawFrame();
      if (!display_.saveScreenshot(file)) return fail("cannot write " + file);
    } else if (command == "stop-server") {
      if (!stopServer_ || !stopServer_()) return fail("no sample server to stop");
      runFor(0.02);
    } else {
      return fail("unknown command " + command);
    }
  }
  return true;
}

}  // namespace lorvane
