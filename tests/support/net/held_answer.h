#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "support/net/scripted_server.h"

namespace lorvane::testing {

// An answer the test holds back: the server sends its head and then a byte
// now and then until the test lets it go (or the server stops), then the
// rest. Counts answers begun and answers sent whole, so a test can tell
// whether something waited for the answer or went on without it.
class HeldAnswers {
 public:
  HeldAnswers() = default;
  HeldAnswers(const HeldAnswers&) = delete;
  HeldAnswers& operator=(const HeldAnswers&) = delete;
  ~HeldAnswers() { release(); }

  bool send(ServerConnection& connection, const std::string& contentType, const std::string& body) {
    begun_.fetch_add(1);
    std::string head = httpResponse(200, {{"Content-Type", contentType}}, body);
    head.resize(head.size() - body.size());
    if (!connection.send(head)) return false;
    std::size_t sent = 0;
    while (!released_.load() && !connection.stopping() && sent + 1 < body.size()) {
      if (!connection.send(std::string_view(body).substr(sent, 1))) return false;
      ++sent;
      connection.pause(0.05);
    }
    if (!connection.send(std::string_view(body).substr(sent))) return false;
    finished_.fetch_add(1);
    return true;
  }

  void release() { released_.store(true); }
  int begun() const { return begun_.load(); }
  int finished() const { return finished_.load(); }

 private:
  std::atomic<bool> released_{false};
  std::atomic<int> begun_{0};
  std::atomic<int> finished_{0};
};

// Lets the answers go after a long while should the test itself hang on
// them, so a fault shows as a failed expectation rather than a stuck run.
class ReleaseGuard {
 public:
  ReleaseGuard(HeldAnswers& answers, double seconds) : answers_(answers) {
    thread_ = std::thread([this, seconds] {
      std::unique_lock lock(mutex_);
      if (!changed_.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return done_; })) {
        fired_.store(true);
        answers_.release();
      }
    });
  }
  ~ReleaseGuard() {
    {
      std::lock_guard lock(mutex_);
      done_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }
  bool fired() const { return fired_.load(); }

 private:
  HeldAnswers& answers_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool done_ = false;
  std::atomic<bool> fired_{false};
  std::thread thread_;
};

}  // namespace lorvane::testing
