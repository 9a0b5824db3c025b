#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "net/http_request.h"
#include "net/http_request_delegate.h"
#include "platform/foundation/operation_queue.h"

namespace lorvane {

class NetworkQueue;

// Anything that shows progress.
class ProgressIndicator : public virtual Weakable {
 public:
  virtual ~ProgressIndicator() = default;
  virtual void setProgress(float progress) = 0;
};

// The group's delegate: the request callbacks plus one for the whole group.
class NetworkQueueDelegate : public HTTPRequestDelegate {
 public:
  using HTTPRequestDelegate::HTTPRequestDelegate;
  virtual void queueFinished(NetworkQueue&) {}
};

// A queue for running requests as a group: their events go to one
// delegate, the delegate hears when the group is done, a failure can cancel
// the rest, and the progress of all requests adds up. A new queue is
// suspended until go().
class NetworkQueue : public OperationQueue,
                     public HTTPRequestDelegate,
                     public std::enable_shared_from_this<NetworkQueue> {
 public:
  static std::shared_ptr<NetworkQueue> queue();
  NetworkQueue();
  ~NetworkQueue() override;

  void go();
  // Cancels everything, forgets the delegate, indicators and selectors and
  // suspends the queue.
  void reset();
  void cancelAllOperations() override;
  // Throws "AttemptToAddInvalidRequest" for anything but an HTTPRequest.
  void addOperation(std::shared_ptr<Operation> operation) override;
  void addHEADOperation(std::shared_ptr<HTTPRequest> request);
  // A new queue with the same delegate, selectors, indicators and settings.
  std::shared_ptr<NetworkQueue> copy() const;

  NetworkQueueDelegate* delegate() const;
  void setDelegate(NetworkQueueDelegate* delegate);
  // Events whose selector is not set are not forwarded.
  std::optional<HTTPSelector> requestDidStartSelector;
  std::optional<HTTPSelector> requestDidReceiveResponseHeadersSelector;
  std::optional<HTTPSelector> requestWillRedirectSelector;
  std::optional<HTTPSelector> requestDidFinishSelector;
  std::optional<HTTPSelector> requestDidFailSelector;
  bool queueDidFinishSelector = false;

  int requestsCount() const { return requestsCount_.load(); }
  bool shouldCancelAllRequestsOnFailure() const { return shouldCancelAllRequestsOnFailure_; }
  void setShouldCancelAllRequestsOnFailure(bool on) { shouldCancelAllRequestsOnFailure_ = on; }
  bool showAccurateProgress() const { return showAccurateProgress_; }
  void setShowAccurateProgress(bool on) { showAccurateProgress_ = on; }
  ProgressIndicator* uploadProgressDelegate() const { return uploadProgressDelegate_.get(); }
  void setUploadProgressDelegate(ProgressIndicator* indicator) {
    uploadProgressDelegate_ = indicator;
  }
  ProgressIndicator* downloadProgressDelegate() const { return downloadProgressDelegate_.get(); }
  void setDownloadProgressDelegate(ProgressIndicator* indicator) {
    downloadProgressDelegate_ = indicator;
  }
  std::uint64_t bytesUploadedSoFar() const;
  std::uint64_t totalBytesToUpload() const;
  std::uint64_t bytesDownloadedSoFar() const;
  std::uint64_t totalBytesToDownload() const;
  const UserInfo& userInfo() const { return userInfo_; }
  void setUserInfo(UserInfo info) { userInfo_ = std::move(info); }

  // ---- What the requests call back --------------------------------------
  bool respondsToSelector(HTTPSelector selector) const override;
  void requestStarted(HTTPRequest& request) override;
  void requestDidReceiveResponseHeaders(HTTPRequest& request, const HeaderMap& headers) override;
  void requestWillRedirectToURL(HTTPRequest& request, const URL& url) override;
  void requestFinished(HTTPRequest& request) override;
  void requestFailed(HTTPRequest& request) override;
  void requestDidReceiveBytes(HTTPRequest& request, std::int64_t bytes) override;
  void requestDidSendBytes(HTTPRequest& request, std::int64_t bytes) override;
  void requestIncrementDownloadSizeBy(HTTPRequest& request, std::int64_t bytes) override;
  void requestIncrementUploadSizeBy(HTTPRequest& request, std::int64_t bytes) override;
  void authenticationNeededForRequest(HTTPRequest& request) override;
  void proxyAuthenticationNeededForRequest(HTTPRequest& request) override;

 private:
  void forward(const std::optional<HTTPSelector>& selector, HTTPRequest& request);
  void requestDone();
  void updateDownloadProgress();
  void updateUploadProgress();

  // Guards the delegate, the indicators, the selectors and the progress
  // counters. Lock order: a request's cancelledLock before this one (the
  // requests call back into the queue holding theirs), so nothing here takes
  // a request's lock, or calls out to a delegate or an indicator, while
  // holding it. The OperationQueue's own lock is never held around either.
  mutable std::recursive_mutex mutex_;
  WeakPtr<NetworkQueueDelegate> delegate_;
  std::atomic<int> requestsCount_{0};
  bool shouldCancelAllRequestsOnFailure_ = true;
  bool showAccurateProgress_ = false;
  WeakPtr<ProgressIndicator> uploadProgressDelegate_;
  WeakPtr<ProgressIndicator> downloadProgressDelegate_;
  std::uint64_t bytesUploadedSoFar_ = 0;
  std::uint64_t totalBytesToUpload_ = 0;
  std::uint64_t bytesDownloadedSoFar_ = 0;
  std::uint64_t totalBytesToDownload_ = 0;
  UserInfo userInfo_;
};

}  // namespace lorvane
