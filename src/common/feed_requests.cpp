#include "common/feed_requests.h"

#include <algorithm>

#include "platform/foundation/url.h"

namespace lorvane {

FeedRequests::~FeedRequests() {
  for (const auto& request : running_) request->clearDelegatesAndCancel();
}

void FeedRequests::start(const std::string& url, HTTPRequestDelegate* delegate) {
  auto parsed = URL::parse(url);
  auto request = parsed ? HTTPRequest::requestWithURL(*parsed) : HTTPRequest::requestWithoutURL();
  request->setDelegate(delegate);
  running_.push_back(request);
  request->startAsynchronous();
}

void FeedRequests::finished(const HTTPRequest& request) {
  std::erase_if(running_, [&](const HTTPRequest::Pointer& r) { return r.get() == &request; });
}

FeedRetry::~FeedRetry() {
  if (timer_) timer_->invalidate();
}

void FeedRetry::schedule(std::function<void()> fetch) {
  if (isPending()) return;
  const double wait = delay_;
  delay_ = std::min(delay_ * 2, kLongestDelay);
  // The timer is invalidated when this object goes, so `fetch` never
  // outlives the screen that handed it over.
  timer_ = Timer::scheduledTimer(wait, false, [fetch = std::move(fetch)](Timer&) { fetch(); });
}

void FeedRetry::reset() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  delay_ = kFirstDelay;
}

bool FeedRetry::isPending() const {
  return timer_ && timer_->isValid();
}

}  // namespace lorvane
