#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/cookie_store.h"
#include "net/http_request_delegate.h"
#include "net/net_types.h"
#include "net/text_encoding.h"
#include "net/transfer_limits.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/operation_queue.h"
#include "platform/foundation/url.h"

namespace lorvane {

class Connection;
class DataDecompressor;
class DownloadCache;
class NetworkTimer;
class ResponseFraming;
struct PoolEntry;
struct StreamFailure;

// Cache policy bits (see DownloadCache).
enum HTTPCachePolicy : int {
  kUseDefaultCachePolicy = 0,
  kDoNotReadFromCacheCachePolicy = 1,
  kDoNotWriteToCacheCachePolicy = 2,
  kAskServerIfModifiedWhenStaleCachePolicy = 4,
  kAskServerIfModifiedCachePolicy = 8,
  kOnlyLoadIfNotCachedCachePolicy = 16,
  kDontLoadCachePolicy = 32,
  kFallbackToCacheIfLoadFailsCachePolicy = 64,
};

enum HTTPCacheStoragePolicy : int {
  kCacheForSessionDurationCacheStoragePolicy = 0,
  kCachePermanentlyCacheStoragePolicy = 1,
};

// What the application bundle says about itself, for the default user agent.
struct ApplicationInfo {
  std::string displayName;   // "CFBundleDisplayName"
  std::string name;          // "CFBundleName"
  std::string shortVersion;  // "CFBundleShortVersionString"
  std::string version;       // "CFBundleVersion"
  std::string deviceModel;
  std::string systemName;
  std::string systemVersion;
  std::string localeIdentifier;
};

// One HTTP exchange: the request, the response and the whole life of it.
// A concurrent operation: startAsynchronous() queues it on the shared
// queue (4 at once), its network work runs on the one network thread and
// its callbacks reach the delegate on the main thread.
class HTTPRequest : public Operation {
 public:
  using Pointer = std::shared_ptr<HTTPRequest>;
  using BasicBlock = std::function<void()>;
  using HeadersBlock = std::function<void(const HeaderMap&)>;
  using DataBlock = std::function<void(const Data&)>;
  using SizeBlock = std::function<void(std::uint64_t size, std::uint64_t total)>;
  using ProgressBlock = std::function<void(std::int64_t size)>;

  static constexpr const char* kRunLoopMode = "HTTPRequestRunLoopMode";
  static constexpr const char* kDefaultRunLoopMode = "kCFRunLoopDefaultMode";

  // A new request for the URL. Nothing is owned by the caller beyond the
  // returned reference; the queue keeps a started request alive.
  static Pointer requestWithURL(const URL& url);
  static Pointer requestWithURL(const URL& url, std::shared_ptr<DownloadCache> cache);
  static Pointer requestWithURL(const URL& url, std::shared_ptr<DownloadCache> cache,
                                int cachePolicy);
  // A request without a URL fails with "Unable to create request (bad url?)".
  static Pointer requestWithoutURL();

  explicit HTTPRequest(std::optional<URL> url);
  ~HTTPRequest() override;

  // A HEAD request made on this request's behalf: same URL, headers and
  // settings; its Content-Length becomes this request's.
  Pointer HEADRequest();
  Pointer mainRequest() const;

  // ---- Running -----------------------------------------------------------
  void startAsynchronous();
  // Runs to completion on the calling thread's behalf; callbacks run on the
  // calling thread before this returns.
  void startSynchronous();
  void start() override;
  void main() override;
  void cancel() override;
  void clearDelegatesAndCancel();
  // Continues a redirect the delegate was asked about.
  void redirectToURL(const URL& url);
  // After authenticationNeededForRequest: go on with the credentials now
  // set, or give up (the request fails with "Authentication needed").
  void retryUsingSuppliedCredentials();
  void cancelAuthentication();

  bool isConcurrent() const override { return true; }
  bool isExecuting() const override { return inProgress(); }
  bool isFinished() const override;

  // ---- Request settings ----------------------------------------------------
  // Settings change only while the request is not running: the network
  // thread reads them without the lock. A setter called while it runs
  // throws "HTTPRequestIsRunning".
  std::optional<URL> url() const;
  void setURL(const URL& url);
  std::optional<URL> originalURL() const;
  std::string requestMethod() const;
  void setRequestMethod(std::string method);
  HeaderMap requestHeaders() const;
  void setRequestHeaders(HeaderMap headers);
  void addRequestHeader(const std::string& name, const std::string& value);
  std::vector<Cookie> requestCookies() const;
  void setRequestCookies(std::vector<Cookie> cookies);

  void appendPostData(const Data& data);
  void setPostBody(Data body);
  Data postBody() const;
  std::uint64_t postLength() const;

  double timeOutSeconds() const { return timeOutSeconds_; }
  void setTimeOutSeconds(double seconds) {
    requireNotRunning();
    timeOutSeconds_ = seconds;
  }
  int numberOfTimesToRetryOnTimeout() const { return numberOfTimesToRetryOnTimeout_; }
  void setNumberOfTimesToRetryOnTimeout(int times) {
    requireNotRunning();
    numberOfTimesToRetryOnTimeout_ = times;
  }
  int retryCount() const;
  bool shouldAttemptPersistentConnection() const { return shouldAttemptPersistentConnection_; }
  void setShouldAttemptPersistentConnection(bool on) {
    requireNotRunning();
    shouldAttemptPersistentConnection_ = on;
  }
  double persistentConnectionTimeoutSeconds() const;
  void setPersistentConnectionTimeoutSeconds(double seconds);
  bool connectionCanBeReused() const;
  bool shouldRedirect() const { return shouldRedirect_; }
  void setShouldRedirect(bool on) {
    requireNotRunning();
    shouldRedirect_ = on;
  }
  bool shouldUseRFC2616RedirectBehaviour() const { return shouldUseRFC2616RedirectBehaviour_; }
  void setShouldUseRFC2616RedirectBehaviour(bool on) {
    requireNotRunning();
    shouldUseRFC2616RedirectBehaviour_ = on;
  }
  int redirectCount() const;
  bool allowCompressedResponse() const { return allowCompressedResponse_; }
  void setAllowCompressedResponse(bool on) {
    requireNotRunning();
    allowCompressedResponse_ = on;
  }
  bool shouldWaitToInflateCompressedResponses() const {
    return shouldWaitToInflateCompressedResponses_;
  }
  void setShouldWaitToInflateCompressedResponses(bool on) {
    shouldWaitToInflateCompressedResponses_ = on;
  }
  bool shouldCompressRequestBody() const { return shouldCompressRequestBody_; }
  void setShouldCompressRequestBody(bool on) {
    requireNotRunning();
    shouldCompressRequestBody_ = on;
  }
  StringEncoding defaultResponseEncoding() const { return defaultResponseEncoding_; }
  void setDefaultResponseEncoding(StringEncoding encoding) {
    requireNotRunning();
    defaultResponseEncoding_ = encoding;
  }
  bool useCookiePersistence() const { return useCookiePersistence_; }
  void setUseCookiePersistence(bool on) {
    requireNotRunning();
    useCookiePersistence_ = on;
  }
  bool useSessionPersistence() const { return useSessionPersistence_; }
  void setUseSessionPersistence(bool on) {
    requireNotRunning();
    useSessionPersistence_ = on;
  }
  bool useKeychainPersistence() const { return useKeychainPersistence_; }
  void setUseKeychainPersistence(bool on) {
    requireNotRunning();
    useKeychainPersistence_ = on;
  }
  bool validatesSecureCertificate() const { return validatesSecureCertificate_; }
  void setValidatesSecureCertificate(bool on) {
    requireNotRunning();
    validatesSecureCertificate_ = on;
  }
  bool shouldPresentCredentialsBeforeChallenge() const {
    return shouldPresentCredentialsBeforeChallenge_;
  }
  void setShouldPresentCredentialsBeforeChallenge(bool on) {
    shouldPresentCredentialsBeforeChallenge_ = on;
  }
  bool shouldPresentProxyAuthenticationDialog() const {
    return shouldPresentProxyAuthenticationDialog_;
  }
  void setShouldPresentProxyAuthenticationDialog(bool on) {
    shouldPresentProxyAuthenticationDialog_ = on;
  }
  bool shouldPresentAuthenticationDialog() const { return shouldPresentAuthenticationDialog_; }
  void setShouldPresentAuthenticationDialog(bool on) {
    requireNotRunning();
    shouldPresentAuthenticationDialog_ = on;
  }
  bool showAccurateProgress() const;
  void setShowAccurateProgress(bool on);
  bool shouldResetDownloadProgress() const { return shouldResetDownloadProgress_; }
  void setShouldResetDownloadProgress(bool on) {
    requireNotRunning();
    shouldResetDownloadProgress_ = on;
  }
  bool shouldResetUploadProgress() const { return shouldResetUploadProgress_; }
  void setShouldResetUploadProgress(bool on) {
    requireNotRunning();
    shouldResetUploadProgress_ = on;
  }
  bool useHTTPVersionOne() const { return useHTTPVersionOne_; }
  void setUseHTTPVersionOne(bool on) {
    requireNotRunning();
    useHTTPVersionOne_ = on;
  }
  bool shouldContinueWhenAppEntersBackground() const {
    return shouldContinueWhenAppEntersBackground_;
  }
  void setShouldContinueWhenAppEntersBackground(bool on) {
    shouldContinueWhenAppEntersBackground_ = on;
  }
  const std::string& userAgent() const { return userAgent_; }
  void setUserAgent(std::string agent) {
    requireNotRunning();
    userAgent_ = std::move(agent);
  }
  const std::string& downloadDestinationPath() const { return downloadDestinationPath_; }
  void setDownloadDestinationPath(std::string path) {
    requireNotRunning();
    downloadDestinationPath_ = std::move(path);
  }
  // Where a file download grows until it is complete.
  std::string temporaryFileDownloadPath() const;
  bool allowResumeForFileDownloads() const { return allowResumeForFileDownloads_; }
  void setAllowResumeForFileDownloads(bool on) {
    requireNotRunning();
    allowResumeForFileDownloads_ = on;
  }
  const std::string& runLoopMode() const { return runLoopMode_; }
  void setRunLoopMode(std::string mode) {
    requireNotRunning();
    runLoopMode_ = std::move(mode);
  }
  std::shared_ptr<DownloadCache> downloadCache() const { return downloadCache_; }
  void setDownloadCache(std::shared_ptr<DownloadCache> cache) {
    requireNotRunning();
    downloadCache_ = std::move(cache);
  }
  int cachePolicy() const;
  void setCachePolicy(int policy) {
    requireNotRunning();
    cachePolicy_ = policy;
  }
  int cacheStoragePolicy() const { return cacheStoragePolicy_; }
  void setCacheStoragePolicy(int policy) {
    requireNotRunning();
    cacheStoragePolicy_ = policy;
  }
  double secondsToCache() const { return secondsToCache_; }
  void setSecondsToCache(double seconds) {
    requireNotRunning();
    secondsToCache_ = seconds;
  }
  const std::string& username() const { return username_; }
  void setUsername(std::string name) {
    requireNotRunning();
    username_ = std::move(name);
  }
  const std::string& password() const { return password_; }
  void setPassword(std::string password) {
    requireNotRunning();
    password_ = std::move(password);
  }
  // The largest body this request keeps in memory (raw, or inflated as it
  // arrives); TransferLimits::kDefaultMaximumBodyLength unless set. A body
  // written to downloadDestinationPath or handed to the delegate in chunks
  // is not bounded by it.
  std::uint64_t maximumResponseBodyLength() const { return maximumResponseBodyLength_; }
  void setMaximumResponseBodyLength(std::uint64_t bytes) {
    requireNotRunning();
    maximumResponseBodyLength_ = bytes;
  }
  // Caller's data, kept with the request.
  const UserInfo& userInfo() const { return userInfo_; }
  void setUserInfo(UserInfo info) { userInfo_ = std::move(info); }
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }

  // ---- Delegates, queue and blocks -----------------------------------------
  HTTPRequestDelegate* delegate() const;
  void setDelegate(HTTPRequestDelegate* delegate);
  std::shared_ptr<HTTPRequestDelegate> queue() const;
  void setQueue(std::shared_ptr<HTTPRequestDelegate> queue);
  HTTPSelector didStartSelector() const { return didStartSelector_; }
  void setDidStartSelector(HTTPSelector s) { didStartSelector_ = s; }
  HTTPSelector didReceiveResponseHeadersSelector() const {
    return didReceiveResponseHeadersSelector_;
  }
  void setDidReceiveResponseHeadersSelector(HTTPSelector s) {
    didReceiveResponseHeadersSelector_ = s;
  }
  HTTPSelector willRedirectSelector() const { return willRedirectSelector_; }
  void setWillRedirectSelector(HTTPSelector s) { willRedirectSelector_ = s; }
  HTTPSelector didFinishSelector() const { return didFinishSelector_; }
  void setDidFinishSelector(HTTPSelector s) { didFinishSelector_ = s; }
  HTTPSelector didFailSelector() const { return didFailSelector_; }
  void setDidFailSelector(HTTPSelector s) { didFailSelector_ = s; }
  HTTPSelector didReceiveDataSelector() const { return didReceiveDataSelector_; }
  void setDidReceiveDataSelector(HTTPSelector s) { didReceiveDataSelector_ = s; }

  void setStartedBlock(BasicBlock block);
  void setHeadersReceivedBlock(HeadersBlock block);
  // Runs on the main thread after requestFinished (not the operation's own
  // completion block).
  void setCompletionBlock(BasicBlock block);
  void setFailedBlock(BasicBlock block);
  void setBytesReceivedBlock(SizeBlock block);
  void setBytesSentBlock(SizeBlock block);
  void setDownloadSizeIncrementedBlock(ProgressBlock block);
  void setUploadSizeIncrementedBlock(ProgressBlock block);
  void setDataReceivedBlock(DataBlock block);
  void setAuthenticationNeededBlock(BasicBlock block);
  void setProxyAuthenticationNeededBlock(BasicBlock block);
  void setRequestRedirectedBlock(BasicBlock block);

  // The lock guarding delegate, queue, the cancelled flag and every event.
  std::recursive_mutex& cancelledLock() const { return cancelledLock_; }

  // ---- Response ------------------------------------------------------------
  int responseStatusCode() const;
  std::string responseStatusMessage() const;
  HeaderMap responseHeaders() const;
  // The header fields one by one, as received (a cached reply: as stored).
  HeaderList responseHeaderFields() const;
  // Whether response headers have been read (or taken from the cache).
  bool hasResponseHeaders() const;
  std::vector<Cookie> responseCookies() const;
  StringEncoding responseEncoding() const;
  // The body as received (still compressed when the server gzipped it).
  Data rawResponseData() const;
  std::size_t rawResponseLength() const;
  // The body, inflated when needed; nothing when empty or inflation fails.
  std::optional<Data> responseData() const;
  // The body as text in responseEncoding; nothing when it is not valid text
  // in that encoding.
  std::optional<std::string> responseString() const;
  bool isResponseCompressed() const;
  std::uint64_t contentLength() const;
  std::uint64_t totalBytesRead() const;
  std::uint64_t totalBytesSent() const;
  ErrorPtr error() const;
  bool complete() const;
  bool inProgress() const;
  bool cancelled() const;
  bool downloadComplete() const;
  bool needsRedirect() const;
  std::optional<URL> redirectURL() const;
  int authenticationNeeded() const;
  TimeInterval lastActivityTime() const;
  std::uint64_t requestID() const;
  bool didUseCachedResponse() const;
  // Whether the last attempt went over a connection opened for an earlier
  // request.
  bool usedReusedConnection() const;
  // The id of the pool entry the last attempt used (0: none).
  int connectionID() const;

  // ---- Class-wide ---------------------------------------------------------
  static OperationQueue& sharedQueue();
  static double defaultTimeOutSeconds();
  static void setDefaultTimeOutSeconds(double seconds);
  static std::string defaultUserAgentString();
  static void setDefaultUserAgentString(std::string agent);
  // Replaces what the default user agent is computed from (and recomputes it).
  static void setApplicationInfo(ApplicationInfo info);
  static ApplicationInfo applicationInfo();
  static void setShouldUpdateNetworkActivityIndicator(bool update);
  static bool isNetworkInUse();
  static std::shared_ptr<DownloadCache> defaultCache();
  static void setDefaultCache(std::shared_ptr<DownloadCache> cache);
  static std::uint64_t maxBandwidthPerSecond();
  static void setMaxBandwidthPerSecond(std::uint64_t bytes);
  static std::uint64_t averageBandwidthUsedPerSecond();
  static void setShouldThrottleBandwidthForWWAN(bool throttle);
  static void throttleBandwidthForWWANUsingLimit(std::uint64_t limit);
  static void expirePersistentConnections();
  // Every cookie received during this process.
  static std::vector<Cookie> sessionCookies();
  static void clearSession();
  // A ceiling on the bytes one response may inflate to.
  static std::uint64_t maximumInflatedLength();
  static void setMaximumInflatedLength(std::uint64_t bytes);

  // The shared errors.
  static ErrorPtr requestTimedOutError();
  static ErrorPtr authenticationError();
  static ErrorPtr requestCancelledError();
  static ErrorPtr unableToCreateRequestError();
  static ErrorPtr tooMuchRedirectionError();

 private:
  struct Attempt;

  void requireNotRunning() const;
  // Runs a network-thread step; an exception fails this request (code 10)
  // instead of escaping into the network thread.
  template <typename Step>
  void guarded(Step&& step);
  void failWithException(const std::string& name, const std::string& reason);

  Pointer self();
  // Network-thread steps.
  void buildRequestHeaders();
  void startRequest();
  void scheduleStream();
  void unscheduleStream();
  void handleOpened(std::uint64_t attempt);
  void handleBytes(std::uint64_t attempt, const std::uint8_t* bytes, std::size_t length);
  void handleEnd(std::uint64_t attempt);
  void handleStreamFailure(std::uint64_t attempt, const StreamFailure& failure);
  void readResponseHeaders();
  void handleBody(const std::uint8_t* bytes, std::size_t length);
  void handleStreamComplete();
  void afterStreamEvent();
  // Falls back to the download cache when the policy says so, unless the
  // failure came from answering with the cache in the first place.
  void failWithError(ErrorPtr error, bool mayUseCache = true);
  void failWithStreamError(ErrorPtr underlying, bool sslProblem, bool mayRetry);
  void cancelLoad();
  void destroyConnection();
  void releaseConnection();
  void markAsFinished();
  void checkRequestStatus();
  bool shouldTimeOut() const;
  void performRedirect();
  void handleAuthentication();
  void cancelOnRequestThread();
  // Ends a request that the network thread will never run again (it has
  // shut down): told it was cancelled, unless it was told something already,
  // and finished, so that its queue lets it go.
  void endWithoutNetwork();
  // False (and the request failed) when the stored entry cannot be read.
  // A 304 reply's headers refresh the entry, which is then stored again.
  bool useDataFromCache(const std::optional<HeaderMap>& notModifiedReply = std::nullopt);
  std::string serializeRequest() const;
  void updateResponseEncoding();
  bool delegateWantsData() const;
  static bool isSameOrigin(const URL& a, const URL& b);
  // Whether username and password may go to the current URL.
  bool mayPresentCredentials() const;
  // Whether the body is collected in rawResponseData_.
  bool keepsBodyInMemory() const;
  void reserveBody(std::uint64_t announced);
  ErrorPtr bodyTooLargeError() const;
  bool shouldRedirectNow() const;

  // Main-thread reports.
  void deliver(std::function<void()> task);
  void deliverPlainEvent(HTTPRequestDelegate* delegate, HTTPSelector selector,
                         const BasicBlock& block, const std::shared_ptr<HTTPRequestDelegate>& queue,
                         HTTPSelector queueSelector);
  void reportStarted();
  void reportHeaders(HeaderMap headers);
  void reportRedirected();
  void reportWillRedirect(URL url);
  void reportFinished();
  void reportFailure();
  void reportData(Data data);
  void reportAuthenticationNeeded(bool proxy);
  void reportDownloadSizeIncrement(std::uint64_t size);
  void reportUnitProgress();

  // Lock order: a HEAD request's cancelledLock before the one of the request
  // it was made for; any request's before a NetworkQueue's lock, a download
  // cache's accessLock, the connections lock, the progress lock, the
  // throttling lock and the network thread's lifeMutex. A request that
  // finishes may start the next one of its queue while it holds its own: a
  // finished request's lock before a starting one's.
  mutable std::recursive_mutex cancelledLock_;

  // Settings.
  std::optional<URL> url_;
  std::optional<URL> originalURL_;
  std::string requestMethod_ = "GET";
  HeaderMap requestHeaders_;
  std::vector<Cookie> requestCookies_;
  Data postBody_;
  std::uint64_t postLength_ = 0;
  double timeOutSeconds_;
  int numberOfTimesToRetryOnTimeout_ = 0;
  int retryCount_ = 0;
  bool shouldAttemptPersistentConnection_ = true;
  double persistentConnectionTimeoutSeconds_ = 60.0;
  bool connectionCanBeReused_ = false;
  bool shouldRedirect_ = true;
  bool shouldUseRFC2616RedirectBehaviour_ = false;
  int redirectCount_ = 0;
  bool allowCompressedResponse_ = true;
  bool shouldWaitToInflateCompressedResponses_ = true;
  bool shouldCompressRequestBody_ = false;
  StringEncoding defaultResponseEncoding_ = kISOLatin1StringEncoding;
  bool useCookiePersistence_ = true;
  bool useSessionPersistence_ = true;
  bool useKeychainPersistence_ = false;
  bool validatesSecureCertificate_ = true;
  bool shouldPresentCredentialsBeforeChallenge_ = true;
  bool shouldPresentProxyAuthenticationDialog_ = true;
  bool shouldPresentAuthenticationDialog_ = false;
  bool showAccurateProgress_ = true;
  bool shouldResetDownloadProgress_ = true;
  bool shouldResetUploadProgress_ = true;
  bool useHTTPVersionOne_ = false;
  bool shouldContinueWhenAppEntersBackground_ = false;
  std::string userAgent_;
  std::string downloadDestinationPath_;
  bool allowResumeForFileDownloads_ = false;
  std::string runLoopMode_ = kDefaultRunLoopMode;
  std::shared_ptr<DownloadCache> downloadCache_;
  int cachePolicy_ = kUseDefaultCachePolicy;
  int cacheStoragePolicy_ = kCacheForSessionDurationCacheStoragePolicy;
  double secondsToCache_ = 0;
  std::string username_;
  std::string password_;
  UserInfo userInfo_;
  int tag_ = 0;
  std::uint64_t maximumResponseBodyLength_;

  std::weak_ptr<HTTPRequest> mainRequest_;
  WeakPtr<HTTPRequestDelegate> delegate_;
  std::shared_ptr<HTTPRequestDelegate> queue_;
  HTTPSelector didStartSelector_ = HTTPSelector::requestStarted;
  HTTPSelector didReceiveResponseHeadersSelector_ = HTTPSelector::requestDidReceiveResponseHeaders;
  HTTPSelector willRedirectSelector_ = HTTPSelector::requestWillRedirectToURL;
  HTTPSelector didFinishSelector_ = HTTPSelector::requestFinished;
  HTTPSelector didFailSelector_ = HTTPSelector::requestFailed;
  HTTPSelector didReceiveDataSelector_ = HTTPSelector::requestDidReceiveData;

  BasicBlock startedBlock_;
  HeadersBlock headersReceivedBlock_;
  BasicBlock completionBlock_;
  BasicBlock failedBlock_;
  SizeBlock bytesReceivedBlock_;
  SizeBlock bytesSentBlock_;
  ProgressBlock downloadSizeIncrementedBlock_;
  ProgressBlock uploadSizeIncrementedBlock_;
  DataBlock dataReceivedBlock_;
  BasicBlock authenticationNeededBlock_;
  BasicBlock proxyAuthenticationNeededBlock_;
  BasicBlock requestRedirectedBlock_;

  // Response and progress.
  int responseStatusCode_ = 0;
  std::string responseStatusMessage_;
  std::optional<HeaderMap> responseHeaders_;
  HeaderList responseHeaderFields_;
  std::vector<Cookie> responseCookies_;
  StringEncoding responseEncoding_ = kISOLatin1StringEncoding;
  Data rawResponseData_;
  std::uint64_t contentLength_ = 0;
  std::uint64_t totalBytesRead_ = 0;
  std::uint64_t totalBytesSent_ = 0;
  std::uint64_t lastBytesRead_ = 0;
  std::uint64_t lastBytesSent_ = 0;
  ErrorPtr error_;
  bool complete_ = false;
  std::atomic<bool> inProgress_{false};
  bool cancelled_ = false;
  bool downloadComplete_ = false;
  bool needsRedirect_ = false;
  std::optional<URL> redirectURL_;
  int authenticationNeeded_ = 0;
  bool credentialsSent_ = false;
  TimeInterval lastActivityTime_ = 0;
  std::uint64_t requestID_ = 0;
  bool didUseCachedResponse_ = false;
  bool haveBuiltRequestHeaders_ = false;
  bool synchronous_ = false;
  bool finishedReported_ = false;
  bool awaitingRedirectDecision_ = false;
  bool answerFromCacheAfterExchange_ = false;
  bool sentConditionalRequest_ = false;
  bool heldBackByThrottling_ = false;
  bool reapplyCookies_ = false;
  bool haveReportedDownloadSize_ = false;

  // The exchange in flight.
  std::shared_ptr<PoolEntry> connectionInfo_;
  std::shared_ptr<Connection> connection_;
  std::unique_ptr<ResponseFraming> framing_;
  std::unique_ptr<DataDecompressor> dataDecompressor_;
  std::shared_ptr<NetworkTimer> statusTimer_;
  std::uint64_t attempt_ = 0;
  // The network thread's shutdown handler that ends this request should the
  // thread stop while it is running; 0 while it is not.
  std::atomic<std::uint64_t> shutdownHandler_{0};
  bool readStreamIsScheduled_ = false;
  bool headersRead_ = false;
  bool usedReusedConnection_ = false;
  int connectionID_ = 0;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> downloadFile_{nullptr, &std::fclose};
  ErrorPtr fileError_;

  // Callbacks of a synchronous run wait here for the calling thread.
  std::mutex syncMutex_;
  std::condition_variable syncChanged_;
  std::deque<std::function<void()>> syncTasks_;
};

}  // namespace lorvane
