#include "platform/services/usage_analytics.h"

#include <filesystem>
#include <fstream>
#include <mutex>

#include "platform/foundation/clock.h"
#include "platform/foundation/file_manager.h"

namespace lorvane {

namespace {
struct State {
  std::mutex mutex;
  std::string appKey;
  bool started = false;
  std::vector<std::string> events;
};
State& state() {
  static State s;
  return s;
}

void append(const std::string& line) {
  std::error_code ec;
  auto folder = FileManager::defaultManager().documentsDirectory();
  std::filesystem::create_directories(folder, ec);
  std::ofstream out(std::filesystem::path(folder) / "analytics.log", std::ios::app);
  if (out) out << std::fixed << Clock::shared().wallNow() << ' ' << line << '\n';
}
}  // namespace

void UsageAnalytics::startWithAppkey(const std::string& appKey) {
  {
    std::lock_guard lock(state().mutex);
    state().appKey = appKey;
    state().started = true;
    state().events.push_back("session.start");
  }
  append("session.start " + appKey);
}

void UsageAnalytics::event(const std::string& name) {
  {
    std::lock_guard lock(state().mutex);
    if (!state().started) return;  // nothing is reported before the session starts
    state().events.push_back(name);
  }
  append(name);
}

bool UsageAnalytics::isStarted() {
  std::lock_guard lock(state().mutex);
  return state().started;
}

std::string UsageAnalytics::appKey() {
  std::lock_guard lock(state().mutex);
  return state().appKey;
}

std::vector<std::string> UsageAnalytics::events() {
  std::lock_guard lock(state().mutex);
  return state().events;
}

void UsageAnalytics::reset() {
  std::lock_guard lock(state().mutex);
  state().appKey.clear();
  state().started = false;
  state().events.clear();
}

}  // namespace lorvane
