#include "platform/foundation/log.h"

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <mutex>

namespace lorvane {
namespace {

// Never destroyed: threads that end after main returned may still log.
std::mutex& sinkMutex() {
  static auto* mutex = new std::mutex();
  return *mutex;
}

LogSink& currentSink() {
  static auto* sink = new LogSink();
  return *sink;
}

}  // namespace

void Log(std::string_view message) {
  std::lock_guard lock(sinkMutex());
  if (currentSink()) {
    currentSink()(message);
    return;
  }
  std::fprintf(stderr, "lorvane[%d] %.*s\n", static_cast<int>(getpid()),
               static_cast<int>(message.size()), message.data());
}

void setLogSink(LogSink sink) {
  std::lock_guard lock(sinkMutex());
  currentSink() = std::move(sink);
}

struct LogCapture::State {
  mutable std::mutex mutex;
  std::vector<std::string> lines;
};

LogCapture::LogCapture() : state_(std::make_shared<State>()) {
  auto state = state_;
  setLogSink([state](std::string_view line) {
    std::lock_guard lock(state->mutex);
    state->lines.emplace_back(line);
  });
}

LogCapture::~LogCapture() {
  setLogSink({});
}

std::vector<std::string> LogCapture::lines() const {
  std::lock_guard lock(state_->mutex);
  return state_->lines;
}

bool LogCapture::contains(std::string_view text) const {
  std::lock_guard lock(state_->mutex);
  for (const auto& line : state_->lines) {
    if (line.find(text) != std::string::npos) return true;
  }
  return false;
}

void LogCapture::clear() {
  std::lock_guard lock(state_->mutex);
  state_->lines.clear();
}

}  // namespace lorvane
