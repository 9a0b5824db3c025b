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

}  // namespace lorvane
