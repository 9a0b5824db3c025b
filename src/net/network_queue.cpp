#include "net/network_queue.h"

#include "platform/foundation/error.h"

namespace lorvane {

std::shared_ptr<NetworkQueue> NetworkQueue::queue() {
  return std::make_shared<NetworkQueue>();
}

NetworkQueue::NetworkQueue() {
  OperationQueue::setSuspended(true);
  setMaxConcurrentOperationCount(4);
}

NetworkQueue::~NetworkQueue() {
  for (auto& operation : operations()) {
    if (auto request = std::dynamic_pointer_cast<HTTPRequest>(operation))
      request->setQueue(nullptr);
  }
}

void NetworkQueue::go() {
  setSuspended(false);
}

void NetworkQueue::reset() {
  cancelAllOperations();
  {
    std::lock_guard lock(mutex_);
    delegate_ = nullptr;
    uploadProgressDelegate_ = nullptr;
    downloadProgressDelegate_ = nullptr;
    requestDidStartSelector.reset();
    requestDidReceiveResponseHeadersSelector.reset();
    requestWillRedirectSelector.reset();
    requestDidFinishSelector.reset();
    requestDidFailSelector.reset();
    queueDidFinishSelector = false;
  }
  setSuspended(true);
}

void NetworkQueue::cancelAllOperations() {
  {
    std::lock_guard lock(mutex_);
    bytesUploadedSoFar_ = 0;
    totalBytesToUpload_ = 0;
    bytesDownloadedSoFar_ = 0;
    totalBytesToDownload_ = 0;
  }
  OperationQueue::cancelAllOperations();
}

void NetworkQueue::addOperation(std::shared_ptr<Operation> operation) {
  auto request = std::dynamic_pointer_cast<HTTPRequest>(operation);
  if (!request) {
    throw Exception("AttemptToAddInvalidRequest",
                    "Attempted to add an object that was not an HTTPRequest to a NetworkQueue");
  }
  ++requestsCount_;
  bool accurate;
  {
    std::lock_guard lock(mutex_);
    accurate = showAccurateProgress_;
  }
  // The request is set up before the queue's lock is taken again: its own
  // lock comes first (see the order where mutex_ is declared).
  bool resetDownload = false;
  bool resetUpload = false;
  std::uint64_t uploadSize = 0;
  if (accurate) {
    if (request->requestMethod() == "GET" && isSuspended()) {
      // Learn the size first, so the download can be measured in bytes.
      auto head = request->HEADRequest();
      addHEADOperation(head);
      request->addDependency(head);
      if (request->shouldResetDownloadProgress()) {
        resetDownload = true;
        request->setShouldResetDownloadProgress(false);
      }
    }
    uploadSize = request->postBody().size();
  }
  if (request->shouldResetUploadProgress()) {
    resetUpload = true;
    request->setShouldResetUploadProgress(false);
  }
  request->setShowAccurateProgress(accurate);
  ProgressIndicator* downloadIndicator;
  ProgressIndicator* uploadIndicator;
  {
    std::lock_guard lock(mutex_);
    if (accurate) {
      totalBytesToUpload_ += uploadSize;
    } else {
      totalBytesToDownload_ += 1;
      totalBytesToUpload_ += 1;
    }
    downloadIndicator = downloadProgressDelegate_.get();
    uploadIndicator = uploadProgressDelegate_.get();
  }
  if (resetDownload && downloadIndicator) downloadIndicator->setProgress(0);
  if (resetUpload && uploadIndicator) uploadIndicator->setProgress(0);
  request->setQueue(shared_from_this());
  OperationQueue::addOperation(request);
}

void NetworkQueue::addHEADOperation(std::shared_ptr<HTTPRequest> request) {
  request->setShowAccurateProgress(true);
  request->setQueuePriority(10);
  request->setQueue(shared_from_this());
  OperationQueue::addOperation(request);
}

std::shared_ptr<NetworkQueue> NetworkQueue::copy() const {
  std::lock_guard lock(mutex_);
  auto other = queue();
  other->delegate_ = delegate_;
  other->requestDidStartSelector = requestDidStartSelector;
  other->requestDidReceiveResponseHeadersSelector = requestDidReceiveResponseHeadersSelector;
  other->requestWillRedirectSelector = requestWillRedirectSelector;
  other->requestDidFinishSelector = requestDidFinishSelector;
  other->requestDidFailSelector = requestDidFailSelector;
  other->queueDidFinishSelector = queueDidFinishSelector;
  other->uploadProgressDelegate_ = uploadProgressDelegate_;
  other->downloadProgressDelegate_ = downloadProgressDelegate_;
  other->shouldCancelAllRequestsOnFailure_ = shouldCancelAllRequestsOnFailure_;
  other->showAccurateProgress_ = showAccurateProgress_;
  other->userInfo_ = userInfo_;
  return other;
}

NetworkQueueDelegate* NetworkQueue::delegate() const {
  std::lock_guard lock(mutex_);
  return delegate_.get();
}

void NetworkQueue::setDelegate(NetworkQueueDelegate* delegate) {
  std::lock_guard lock(mutex_);
  delegate_ = delegate;
}

#define LORVANE_COUNTER(name, member)        \
  std::uint64_t NetworkQueue::name() const { \
    std::lock_guard lock(mutex_);            \
    return member;                           \
  }
LORVANE_COUNTER(bytesUploadedSoFar, bytesUploadedSoFar_)
LORVANE_COUNTER(totalBytesToUpload, totalBytesToUpload_)
LORVANE_COUNTER(bytesDownloadedSoFar, bytesDownloadedSoFar_)
LORVANE_COUNTER(totalBytesToDownload, totalBytesToDownload_)
#undef LORVANE_COUNTER

// ---- Request callbacks ------------------------------------------------------

bool NetworkQueue::respondsToSelector(HTTPSelector selector) const {
  std::lock_guard lock(mutex_);
  switch (selector) {
    case HTTPSelector::authenticationNeededForRequest:
    case HTTPSelector::proxyAuthenticationNeededForRequest:
      return delegate_ && delegate_->respondsToSelector(selector);
    case HTTPSelector::requestWillRedirectToURL:
      // Otherwise the requests redirect by themselves.
      return requestWillRedirectSelector && delegate_ &&
             delegate_->respondsToSelector(*requestWillRedirectSelector);
    case HTTPSelector::requestDidReceiveData:
    case HTTPSelector::requestRedirected:
      return false;
    default:
      return true;
  }
}

void NetworkQueue::forward(const std::optional<HTTPSelector>& selector, HTTPRequest& request) {
  NetworkQueueDelegate* delegate;
  {
    std::lock_guard lock(mutex_);
    delegate = delegate_.get();
  }
  if (!selector || !delegate || !delegate->respondsToSelector(*selector)) return;
  switch (*selector) {
    case HTTPSelector::requestStarted:
      delegate->requestStarted(request);
      break;
    case HTTPSelector::requestFinished:
      delegate->requestFinished(request);
      break;
    case HTTPSelector::requestFailed:
      delegate->requestFailed(request);
      break;
    default:
      break;
  }
}

// A HEAD request made for a size belongs to its main request, not to the
// group the caller sees.
static bool isSizeProbe(HTTPRequest& request) {
  return request.mainRequest() != nullptr;
}

void NetworkQueue::requestStarted(HTTPRequest& request) {
  if (isSizeProbe(request)) return;
  forward(requestDidStartSelector, request);
}

void NetworkQueue::requestDidReceiveResponseHeaders(HTTPRequest& request,
                                                    const HeaderMap& headers) {
  NetworkQueueDelegate* delegate = this->delegate();
  auto selector = requestDidReceiveResponseHeadersSelector;
  if (selector && delegate && delegate->respondsToSelector(*selector)) {
    delegate->requestDidReceiveResponseHeaders(request, headers);
  }
}

void NetworkQueue::requestWillRedirectToURL(HTTPRequest& request, const URL& url) {
  NetworkQueueDelegate* delegate = this->delegate();
  auto selector = requestWillRedirectSelector;
  if (selector && delegate && delegate->respondsToSelector(*selector)) {
    delegate->requestWillRedirectToURL(request, url);
  }
}

void NetworkQueue::requestDone() {
  if (requestsCount_.load() == 0 && queueDidFinishSelector) {
    NetworkQueueDelegate* delegate = this->delegate();
    if (delegate) delegate->queueFinished(*this);
  }
}

void NetworkQueue::requestFinished(HTTPRequest& request) {
  if (isSizeProbe(request)) return;
  --requestsCount_;
  forward(requestDidFinishSelector, request);
  requestDone();
}

void NetworkQueue::requestFailed(HTTPRequest& request) {
  if (isSizeProbe(request)) return;
  --requestsCount_;
  forward(requestDidFailSelector, request);
  requestDone();
  if (shouldCancelAllRequestsOnFailure_ && requestsCount_.load() > 0) cancelAllOperations();
}

void NetworkQueue::updateDownloadProgress() {
  ProgressIndicator* indicator;
  float progress;
  {
    std::lock_guard lock(mutex_);
    indicator = downloadProgressDelegate_.get();
    progress = totalBytesToDownload_ == 0
                   ? 0.0f
                   : static_cast<float>(static_cast<double>(bytesDownloadedSoFar_) /
                                        static_cast<double>(totalBytesToDownload_));
  }
  if (indicator) indicator->setProgress(progress);
}

void NetworkQueue::updateUploadProgress() {
  ProgressIndicator* indicator;
  float progress;
  {
    std::lock_guard lock(mutex_);
    indicator = uploadProgressDelegate_.get();
    progress = totalBytesToUpload_ == 0
                   ? 0.0f
                   : static_cast<float>(static_cast<double>(bytesUploadedSoFar_) /
                                        static_cast<double>(totalBytesToUpload_));
  }
  if (indicator) indicator->setProgress(progress);
}

void NetworkQueue::requestDidReceiveBytes(HTTPRequest&, std::int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    bytesDownloadedSoFar_ += static_cast<std::uint64_t>(bytes);
  }
  updateDownloadProgress();
}

void NetworkQueue::requestDidSendBytes(HTTPRequest&, std::int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    bytesUploadedSoFar_ += static_cast<std::uint64_t>(bytes);
  }
  updateUploadProgress();
}

void NetworkQueue::requestIncrementDownloadSizeBy(HTTPRequest&, std::int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    totalBytesToDownload_ += static_cast<std::uint64_t>(bytes);
  }
  updateDownloadProgress();
}

void NetworkQueue::requestIncrementUploadSizeBy(HTTPRequest&, std::int64_t bytes) {
  {
    std::lock_guard lock(mutex_);
    totalBytesToUpload_ += static_cast<std::uint64_t>(bytes);
  }
  updateUploadProgress();
}

void NetworkQueue::authenticationNeededForRequest(HTTPRequest& request) {
  if (auto* delegate = this->delegate()) delegate->authenticationNeededForRequest(request);
}

void NetworkQueue::proxyAuthenticationNeededForRequest(HTTPRequest& request) {
  if (auto* delegate = this->delegate()) delegate->proxyAuthenticationNeededForRequest(request);
}

}  // namespace lorvane
