#include "net/http_request.h"
#include "net/http_request_internal.h"
#include "platform/foundation/run_loop.h"

namespace lorvane {

namespace detail {

// Calls the delegate operation a selector names, for the operations that
// take only the request.
void performSelector(HTTPRequestDelegate& target, HTTPSelector selector, HTTPRequest& request) {
  switch (selector) {
    case HTTPSelector::requestStarted:
      target.requestStarted(request);
      break;
    case HTTPSelector::requestFinished:
      target.requestFinished(request);
      break;
    case HTTPSelector::requestFailed:
      target.requestFailed(request);
      break;
    case HTTPSelector::requestRedirected:
      target.requestRedirected(request);
      break;
    case HTTPSelector::authenticationNeededForRequest:
      target.authenticationNeededForRequest(request);
      break;
    case HTTPSelector::proxyAuthenticationNeededForRequest:
      target.proxyAuthenticationNeededForRequest(request);
      break;
    default:
      break;  // the others carry more than the request
  }
}
}  // namespace detail

using detail::performSelector;

// ---- Main-thread reports ----------------------------------------------------

void HTTPRequest::reportDownloadSizeIncrement(std::uint64_t size) {
  if (size == 0) return;
  // Only a listener is worth waking the main thread for.
  {
    std::lock_guard lock(cancelledLock_);
    if (!downloadSizeIncrementedBlock_ &&
        !(queue_ && queue_->respondsToSelector(HTTPSelector::requestIncrementDownloadSizeBy))) {
      return;
    }
  }
  deliver([me = self(), size] {
    std::shared_ptr<HTTPRequestDelegate> queue;
    ProgressBlock block;
    {
      std::lock_guard lock(me->cancelledLock_);
      queue = me->queue_;
      block = me->downloadSizeIncrementedBlock_;
    }
    auto amount = static_cast<std::int64_t>(size);
    if (queue && queue->respondsToSelector(HTTPSelector::requestIncrementDownloadSizeBy)) {
      queue->requestIncrementDownloadSizeBy(*me, amount);
    }
    if (block) block(amount);
  });
}

void HTTPRequest::reportUnitProgress() {
  // Without byte counts, a finished request counts as one unit each way.
  {
    std::lock_guard lock(cancelledLock_);
    const bool queueListens =
        queue_ && (queue_->respondsToSelector(HTTPSelector::requestDidReceiveBytes) ||
                   queue_->respondsToSelector(HTTPSelector::requestDidSendBytes));
    if (!queueListens && !bytesReceivedBlock_ && !bytesSentBlock_) return;
  }
  deliver([me = self()] {
    std::shared_ptr<HTTPRequestDelegate> queue;
    SizeBlock received;
    SizeBlock sent;
    {
      std::lock_guard lock(me->cancelledLock_);
      queue = me->queue_;
      received = me->bytesReceivedBlock_;
      sent = me->bytesSentBlock_;
    }
    if (queue && queue->respondsToSelector(HTTPSelector::requestDidReceiveBytes)) {
      queue->requestDidReceiveBytes(*me, 1);
    }
    if (queue && queue->respondsToSelector(HTTPSelector::requestDidSendBytes)) {
      queue->requestDidSendBytes(*me, 1);
    }
    if (received) received(1, 1);
    if (sent) sent(1, 1);
  });
}

void HTTPRequest::deliver(std::function<void()> task) {
  if (synchronous_) {
    std::lock_guard lock(syncMutex_);
    syncTasks_.push_back(std::move(task));
    syncChanged_.notify_all();
    return;
  }
  RunLoop::main().post(std::move(task));
}

// A plain event, in the order callers rely on: the delegate's chosen
// operation, then the block, then the request queue's own operation.
void HTTPRequest::deliverPlainEvent(HTTPRequestDelegate* delegate, HTTPSelector selector,
                                    const BasicBlock& block,
                                    const std::shared_ptr<HTTPRequestDelegate>& queue,
                                    HTTPSelector queueSelector) {
  if (delegate && delegate->respondsToSelector(selector))
    performSelector(*delegate, selector, *this);
  if (block) block();
  if (queue && queue->respondsToSelector(queueSelector))
    performSelector(*queue, queueSelector, *this);
}

void HTTPRequest::reportStarted() {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  BasicBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_.get();
    queue = queue_;
    block = startedBlock_;
    selector = didStartSelector_;
  }
  deliverPlainEvent(delegate, selector, block, queue, HTTPSelector::requestStarted);
}

void HTTPRequest::reportHeaders(HeaderMap headers) {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  HeadersBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_.get();
    queue = queue_;
    block = headersReceivedBlock_;
    selector = didReceiveResponseHeadersSelector_;
  }
  if (delegate && delegate->respondsToSelector(selector) &&
      selector == HTTPSelector::requestDidReceiveResponseHeaders) {
    delegate->requestDidReceiveResponseHeaders(*this, headers);
  }
  if (block) block(headers);
  if (queue && queue->respondsToSelector(HTTPSelector::requestDidReceiveResponseHeaders)) {
    queue->requestDidReceiveResponseHeaders(*this, headers);
  }
}

void HTTPRequest::reportRedirected() {
  HTTPRequestDelegate* delegate;
  BasicBlock block;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_.get();
    block = requestRedirectedBlock_;
  }
  if (delegate && delegate->respondsToSelector(HTTPSelector::requestRedirected)) {
    delegate->requestRedirected(*this);
  }
  if (block) block();
}

void HTTPRequest::reportWillRedirect(URL url) {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_.get();
    queue = queue_;
    selector = willRedirectSelector_;
  }
  if (delegate && delegate->respondsToSelector(selector) &&
      selector == HTTPSelector::requestWillRedirectToURL) {
    delegate->requestWillRedirectToURL(*this, url);
  }
  if (queue && queue->respondsToSelector(HTTPSelector::requestWillRedirectToURL)) {
    queue->requestWillRedirectToURL(*this, url);
  }
}

void HTTPRequest::reportFinished() {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  BasicBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    if (error_) return;
    delegate = delegate_.get();
    queue = queue_;
    block = completionBlock_;
    selector = didFinishSelector_;
  }
  deliverPlainEvent(delegate, selector, block, queue, HTTPSelector::requestFinished);
}

void HTTPRequest::reportFailure() {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  BasicBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_.get();
    queue = queue_;
    block = failedBlock_;
    selector = didFailSelector_;
  }
  deliverPlainEvent(delegate, selector, block, queue, HTTPSelector::requestFailed);
}

void HTTPRequest::reportData(Data data) {
  HTTPRequestDelegate* delegate;
  DataBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_.get();
    block = dataReceivedBlock_;
    selector = didReceiveDataSelector_;
  }
  if (delegate && delegate->respondsToSelector(selector) &&
      selector == HTTPSelector::requestDidReceiveData) {
    delegate->requestDidReceiveData(*this, data);
  }
  if (block) block(data);
}

void HTTPRequest::reportAuthenticationNeeded(bool proxy) {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  BasicBlock block;
  HTTPSelector selector = proxy ? HTTPSelector::proxyAuthenticationNeededForRequest
                                : HTTPSelector::authenticationNeededForRequest;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_.get();
    queue = queue_;
    block = proxy ? proxyAuthenticationNeededBlock_ : authenticationNeededBlock_;
  }
  if (delegate && delegate->respondsToSelector(selector)) {
    performSelector(*delegate, selector, *this);
  } else if (queue && queue->respondsToSelector(selector)) {
    performSelector(*queue, selector, *this);
  }
  if (block) block();
}

}  // namespace lorvane
