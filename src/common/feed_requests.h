#pragma once

#include <string>
#include <vector>

#include "net/http_request.h"

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

}  // namespace lorvane
