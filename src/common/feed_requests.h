#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/http_request.h"
#include "platform/foundation/run_loop.h"

namespace lorvane {

// The feed requests a screen has running. A screen that goes away cancels
// them at once (their delegate, the screen, is forgotten by itself).
class FeedRequests {
 public:
  FeedRequests() = default;
  ~FeedRequests();
  FeedRequests(const FeedRequests&) = delete;
  FeedRequests& operator=(const FeedRequests&) = delete;

  // Starts a GET of `url` with `delegate`; a bad URL fails through the
  // delegate like any other request.
  void start(const std::string& url, HTTPRequestDelegate* delegate);
  // Forgets a request whose last callback has come.
  void finished(const HTTPRequest& request);
  std::size_t runningCount() const { return running_.size(); }

 private:
  std::vector<HTTPRequest::Pointer> running_;
};

// Asking again after an answer that came but could not be read (an error
// page, say): the first retry waits 1 second and each further one twice as
// long, up to a minute, so a broken server gets a handful of requests a
// minute instead of a stream. One retry waits at a time; answers that come
// while one waits add none. A good answer puts the delay back.
class FeedRetry {
 public:
  static constexpr double kFirstDelay = 1;
  static constexpr double kLongestDelay = 60;

  FeedRetry() = default;
  ~FeedRetry();
  FeedRetry(const FeedRetry&) = delete;
  FeedRetry& operator=(const FeedRetry&) = delete;

  // Runs `fetch` on the main run loop after the current delay, then
  // lengthens the delay. Nothing when a retry already waits.
  void schedule(std::function<void()> fetch);
  // A readable answer came: no retry waits, and the next one waits the
  // first delay again.
  void reset();
  bool isPending() const;
  // What the next scheduled retry will wait.
  double nextDelay() const { return delay_; }

 private:
  double delay_ = kFirstDelay;
  std::shared_ptr<Timer> timer_;
};

}  // namespace lorvane
