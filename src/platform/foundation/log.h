#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace lorvane {

// The platform log. Lines go to standard error unless a sink is installed.
void Log(std::string_view message);

using LogSink = std::function<void(std::string_view)>;
// Replaces where log lines go; an empty sink restores standard error.
void setLogSink(LogSink sink);

// Collects log lines for the lifetime of the object (tests).
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;
  std::vector<std::string> lines() const;
  bool contains(std::string_view text) const;
  void clear();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace lorvane
