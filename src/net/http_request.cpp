#include "net/http_request.h"

#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "net/bandwidth.h"
#include "net/connection.h"
#include "net/connection_pool.h"
#include "net/data_compressor.h"
#include "net/data_decompressor.h"
#include "net/download_cache.h"
#include "net/network_activity.h"
#include "net/network_thread.h"
#include "net/response_framing.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/run_loop.h"

namespace lorvane {

namespace {

constexpr const char* kNetworkErrorDomain = "kCFErrorDomainCFNetwork";
constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";
constexpr int kNetworkConnectionLost = -1005;
constexpr int kHTTPParseFailure = -1017;
constexpr int kCannotFindHost = -1003;
constexpr int kSecureTransportCertificateError = -9807;  // within -9818 ... -9800
constexpr double kStatusTimerInterval = 0.25;
// Beyond what the socket can buffer, a silent upload is a stalled one.
constexpr std::uint64_t kUploadBufferSize = 128 * 1024;

struct ClassState {
  std::mutex mutex;
  double defaultTimeOutSeconds = 10.0;
  std::optional<std::string> defaultUserAgent;
  bool userAgentComputed = false;
  ApplicationInfo applicationInfo;
  std::shared_ptr<DownloadCache> defaultCache;
  std::vector<Cookie> sessionCookies;
  std::uint64_t maximumInflatedLength = DataDecompressor::kDefaultMaximumOutputLength;
};

ApplicationInfo defaultApplicationInfo() {
  ApplicationInfo info;
  info.name = "Lorvane";
  info.shortVersion = "1.0";
  info.version = "1.0";
  utsname system{};
  if (uname(&system) == 0) {
    info.deviceModel = system.machine;
    info.systemName = system.sysname;
    info.systemVersion = system.release;
  }
  const char* lang = std::getenv("LANG");
  std::string locale = lang && *lang && std::strcmp(lang, "C") != 0 ? lang : "en_US";
  locale = locale.substr(0, locale.find('.'));
  info.localeIdentifier = locale;
  return info;
}

ClassState& classState() {
  static ClassState* state = [] {
    auto* s = new ClassState();
    s->applicationInfo = defaultApplicationInfo();
    return s;
  }();
  return *state;
}

std::optional<std::string> computeUserAgent(const ApplicationInfo& info) {
  std::string name = !info.displayName.empty() ? info.displayName : info.name;
  if (name.empty()) return std::nullopt;
  std::string version;
  if (!info.shortVersion.empty() && !info.version.empty()) {
    version = info.shortVersion == info.version ? info.shortVersion
                                                 : info.shortVersion + " rv:" + info.version;
  } else {
    version = !info.shortVersion.empty() ? info.shortVersion : info.version;
  }
  return name + " " + version + " (" + info.deviceModel + "; " + info.systemName + " " +
         info.systemVersion + "; " + info.localeIdentifier + ")";
}

ErrorPtr sharedError(int code, const char* description) {
  return Error::make(kHTTPRequestErrorDomain, code, description);
}

// Header values must not break the request apart.
std::string sanitizeHeaderText(const std::string& text) {
  std::string clean = text;
  for (char& c : clean) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return clean;
}

std::string base64(const std::string& text) {
  static const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::size_t i = 0;
  while (i + 2 < text.size()) {
    std::uint32_t n = (static_cast<std::uint8_t>(text[i]) << 16) |
                      (static_cast<std::uint8_t>(text[i + 1]) << 8) |
                      static_cast<std::uint8_t>(text[i + 2]);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += alphabet[n & 63];
    i += 3;
  }
  if (i + 1 == text.size()) {
    std::uint32_t n = static_cast<std::uint8_t>(text[i]) << 16;
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += "==";
  } else if (i + 2 == text.size()) {
    std::uint32_t n = (static_cast<std::uint8_t>(text[i]) << 16) |
                      (static_cast<std::uint8_t>(text[i + 1]) << 8);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}

// Calls the delegate operation a selector names, for the operations that
// take only the request.
void perform(HTTPRequestDelegate& target, HTTPSelector selector, HTTPRequest& request) {
  switch (selector) {
    case HTTPSelector::requestStarted: target.requestStarted(request); break;
    case HTTPSelector::requestFinished: target.requestFinished(request); break;
    case HTTPSelector::requestFailed: target.requestFailed(request); break;
    case HTTPSelector::requestRedirected: target.requestRedirected(request); break;
    case HTTPSelector::authenticationNeededForRequest:
      target.authenticationNeededForRequest(request);
      break;
    case HTTPSelector::proxyAuthenticationNeededForRequest:
      target.proxyAuthenticationNeededForRequest(request);
      break;
    default: break;  // the others carry more than the request
  }
}

}  // namespace

// ---- Creating -------------------------------------------------------------

HTTPRequest::Pointer HTTPRequest::requestWithURL(const URL& url) {
  return std::make_shared<HTTPRequest>(url);
}

HTTPRequest::Pointer HTTPRequest::requestWithURL(const URL& url,
                                                 std::shared_ptr<DownloadCache> cache) {
  auto request = requestWithURL(url);
  request->setDownloadCache(std::move(cache));
  return request;
}

HTTPRequest::Pointer HTTPRequest::requestWithURL(const URL& url,
                                                 std::shared_ptr<DownloadCache> cache,
                                                 int cachePolicy) {
  auto request = requestWithURL(url, std::move(cache));
  request->setCachePolicy(cachePolicy);
  return request;
}

HTTPRequest::Pointer HTTPRequest::requestWithoutURL() {
  return std::make_shared<HTTPRequest>(std::nullopt);
}

HTTPRequest::HTTPRequest(std::optional<URL> url)
    : url_(std::move(url)), timeOutSeconds_(defaultTimeOutSeconds()) {
  downloadCache_ = defaultCache();
}

HTTPRequest::~HTTPRequest() {
  if (statusTimer_) statusTimer_->invalidate();
  if (readStreamIsScheduled_) NetworkActivity::streamUnscheduled();
}

HTTPRequest::Pointer HTTPRequest::self() {
  return std::static_pointer_cast<HTTPRequest>(shared_from_this());
}

HTTPRequest::Pointer HTTPRequest::HEADRequest() {
  std::lock_guard lock(cancelledLock_);
  auto head = std::make_shared<HTTPRequest>(url_);
  head->mainRequest_ = self();
  head->requestMethod_ = "HEAD";
  head->requestHeaders_ = requestHeaders_;
  head->requestCookies_ = requestCookies_;
  head->useCookiePersistence_ = useCookiePersistence_;
  head->useKeychainPersistence_ = useKeychainPersistence_;
  head->useSessionPersistence_ = useSessionPersistence_;
  head->allowCompressedResponse_ = allowCompressedResponse_;
  head->shouldPresentCredentialsBeforeChallenge_ = shouldPresentCredentialsBeforeChallenge_;
  head->username_ = username_;
  head->password_ = password_;
  head->timeOutSeconds_ = timeOutSeconds_;
  head->useHTTPVersionOne_ = useHTTPVersionOne_;
  head->validatesSecureCertificate_ = validatesSecureCertificate_;
  head->numberOfTimesToRetryOnTimeout_ = numberOfTimesToRetryOnTimeout_;
  head->shouldRedirect_ = shouldRedirect_;
  head->shouldUseRFC2616RedirectBehaviour_ = shouldUseRFC2616RedirectBehaviour_;
  head->shouldAttemptPersistentConnection_ = shouldAttemptPersistentConnection_;
  head->persistentConnectionTimeoutSeconds_ = persistentConnectionTimeoutSeconds_;
  head->userAgent_ = userAgent_;
  head->downloadCache_ = nullptr;
  return head;
}

HTTPRequest::Pointer HTTPRequest::mainRequest() const {
  std::lock_guard lock(cancelledLock_);
  return mainRequest_.lock();
}

// ---- Class-wide settings ----------------------------------------------------

OperationQueue& HTTPRequest::sharedQueue() {
  static OperationQueue* queue = [] {
    auto* q = new OperationQueue();
    q->setMaxConcurrentOperationCount(4);
    q->setName("HTTPRequest shared queue");
    return q;
  }();
  return *queue;
}

double HTTPRequest::defaultTimeOutSeconds() {
  std::lock_guard lock(classState().mutex);
  return classState().defaultTimeOutSeconds;
}

void HTTPRequest::setDefaultTimeOutSeconds(double seconds) {
  std::lock_guard lock(classState().mutex);
  classState().defaultTimeOutSeconds = seconds;
}

std::string HTTPRequest::defaultUserAgentString() {
  std::lock_guard lock(classState().mutex);
  ClassState& s = classState();
  if (!s.userAgentComputed) {
    s.defaultUserAgent = computeUserAgent(s.applicationInfo);
    s.userAgentComputed = true;
  }
  return s.defaultUserAgent.value_or(std::string());
}

void HTTPRequest::setDefaultUserAgentString(std::string agent) {
  std::lock_guard lock(classState().mutex);
  classState().defaultUserAgent = std::move(agent);
  classState().userAgentComputed = true;
}

void HTTPRequest::setApplicationInfo(ApplicationInfo info) {
  std::lock_guard lock(classState().mutex);
  classState().applicationInfo = std::move(info);
  classState().userAgentComputed = false;
}

ApplicationInfo HTTPRequest::applicationInfo() {
  std::lock_guard lock(classState().mutex);
  return classState().applicationInfo;
}

void HTTPRequest::setShouldUpdateNetworkActivityIndicator(bool update) {
  NetworkActivity::setShouldUpdateNetworkActivityIndicator(update);
}

bool HTTPRequest::isNetworkInUse() { return NetworkActivity::isNetworkInUse(); }

std::shared_ptr<DownloadCache> HTTPRequest::defaultCache() {
  std::lock_guard lock(classState().mutex);
  return classState().defaultCache;
}

void HTTPRequest::setDefaultCache(std::shared_ptr<DownloadCache> cache) {
  std::lock_guard lock(classState().mutex);
  classState().defaultCache = std::move(cache);
}

std::uint64_t HTTPRequest::maxBandwidthPerSecond() { return Bandwidth::maxBandwidthPerSecond(); }
void HTTPRequest::setMaxBandwidthPerSecond(std::uint64_t bytes) {
  Bandwidth::setMaxBandwidthPerSecond(bytes);
}
std::uint64_t HTTPRequest::averageBandwidthUsedPerSecond() {
  return Bandwidth::averageBandwidthUsedPerSecond();
}
void HTTPRequest::setShouldThrottleBandwidthForWWAN(bool throttle) {
  Bandwidth::setShouldThrottleBandwidthForWWAN(throttle);
}
void HTTPRequest::throttleBandwidthForWWANUsingLimit(std::uint64_t limit) {
  Bandwidth::throttleBandwidthForWWANUsingLimit(limit);
}

void HTTPRequest::expirePersistentConnections() {
  ConnectionPool::shared().expirePersistentConnections();
}

std::vector<Cookie> HTTPRequest::sessionCookies() {
  std::lock_guard lock(classState().mutex);
  return classState().sessionCookies;
}

void HTTPRequest::clearSession() {
  std::lock_guard lock(classState().mutex);
  classState().sessionCookies.clear();
}

std::uint64_t HTTPRequest::maximumInflatedLength() {
  std::lock_guard lock(classState().mutex);
  return classState().maximumInflatedLength;
}

void HTTPRequest::setMaximumInflatedLength(std::uint64_t bytes) {
  std::lock_guard lock(classState().mutex);
  classState().maximumInflatedLength = bytes;
}

ErrorPtr HTTPRequest::requestTimedOutError() {
  static ErrorPtr error = sharedError(kRequestTimedOutErrorType, "The request timed out");
  return error;
}
ErrorPtr HTTPRequest::authenticationError() {
  static ErrorPtr error = sharedError(kAuthenticationErrorType, "Authentication needed");
  return error;
}
ErrorPtr HTTPRequest::requestCancelledError() {
  static ErrorPtr error = sharedError(kRequestCancelledErrorType, "The request was cancelled");
  return error;
}
ErrorPtr HTTPRequest::unableToCreateRequestError() {
  static ErrorPtr error =
      sharedError(kUnableToCreateRequestErrorType, "Unable to create request (bad url?)");
  return error;
}
ErrorPtr HTTPRequest::tooMuchRedirectionError() {
  static ErrorPtr error = sharedError(kTooMuchRedirectionErrorType,
                                      "The request failed because it redirected too many times");
  return error;
}

// ---- Settings and state -----------------------------------------------------

std::optional<URL> HTTPRequest::url() const {
  std::lock_guard lock(cancelledLock_);
  return url_;
}

void HTTPRequest::setURL(const URL& url) {
  std::lock_guard lock(cancelledLock_);
  url_ = url;
}

std::optional<URL> HTTPRequest::originalURL() const {
  std::lock_guard lock(cancelledLock_);
  return originalURL_;
}

std::string HTTPRequest::requestMethod() const {
  std::lock_guard lock(cancelledLock_);
  return requestMethod_;
}

void HTTPRequest::setRequestMethod(std::string method) {
  std::lock_guard lock(cancelledLock_);
  requestMethod_ = std::move(method);
}

void HTTPRequest::addRequestHeader(const std::string& name, const std::string& value) {
  std::lock_guard lock(cancelledLock_);
  requestHeaders_[name] = value;
}

void HTTPRequest::appendPostData(const Data& data) {
  std::lock_guard lock(cancelledLock_);
  postBody_.insert(postBody_.end(), data.begin(), data.end());
  postLength_ = postBody_.size();
}

void HTTPRequest::setPostBody(Data body) {
  std::lock_guard lock(cancelledLock_);
  postBody_ = std::move(body);
  postLength_ = postBody_.size();
}

double HTTPRequest::persistentConnectionTimeoutSeconds() const {
  std::lock_guard lock(cancelledLock_);
  return persistentConnectionTimeoutSeconds_;
}

void HTTPRequest::setPersistentConnectionTimeoutSeconds(double seconds) {
  std::lock_guard lock(cancelledLock_);
  persistentConnectionTimeoutSeconds_ = seconds;
}

bool HTTPRequest::connectionCanBeReused() const {
  std::lock_guard lock(cancelledLock_);
  return connectionCanBeReused_;
}

int HTTPRequest::redirectCount() const {
  std::lock_guard lock(cancelledLock_);
  return redirectCount_;
}

std::string HTTPRequest::temporaryFileDownloadPath() const {
  return downloadDestinationPath_.empty() ? std::string() : downloadDestinationPath_ + ".download";
}

HTTPRequestDelegate* HTTPRequest::delegate() const {
  std::lock_guard lock(cancelledLock_);
  return delegate_;
}

void HTTPRequest::setDelegate(HTTPRequestDelegate* delegate) {
  std::lock_guard lock(cancelledLock_);
  delegate_ = delegate;
}

std::shared_ptr<HTTPRequestDelegate> HTTPRequest::queue() const {
  std::lock_guard lock(cancelledLock_);
  return queue_;
}

void HTTPRequest::setQueue(std::shared_ptr<HTTPRequestDelegate> queue) {
  std::lock_guard lock(cancelledLock_);
  queue_ = std::move(queue);
}

#define LORVANE_BLOCK_SETTER(Setter, Type, member) \
  void HTTPRequest::Setter(Type block) {           \
    std::lock_guard lock(cancelledLock_);          \
    member = std::move(block);                     \
  }
LORVANE_BLOCK_SETTER(setStartedBlock, BasicBlock, startedBlock_)
LORVANE_BLOCK_SETTER(setHeadersReceivedBlock, HeadersBlock, headersReceivedBlock_)
LORVANE_BLOCK_SETTER(setCompletionBlock, BasicBlock, completionBlock_)
LORVANE_BLOCK_SETTER(setFailedBlock, BasicBlock, failedBlock_)
LORVANE_BLOCK_SETTER(setBytesReceivedBlock, SizeBlock, bytesReceivedBlock_)
LORVANE_BLOCK_SETTER(setBytesSentBlock, SizeBlock, bytesSentBlock_)
LORVANE_BLOCK_SETTER(setDownloadSizeIncrementedBlock, ProgressBlock, downloadSizeIncrementedBlock_)
LORVANE_BLOCK_SETTER(setUploadSizeIncrementedBlock, ProgressBlock, uploadSizeIncrementedBlock_)
LORVANE_BLOCK_SETTER(setDataReceivedBlock, DataBlock, dataReceivedBlock_)
LORVANE_BLOCK_SETTER(setAuthenticationNeededBlock, BasicBlock, authenticationNeededBlock_)
LORVANE_BLOCK_SETTER(setProxyAuthenticationNeededBlock, BasicBlock,
                     proxyAuthenticationNeededBlock_)
LORVANE_BLOCK_SETTER(setRequestRedirectedBlock, BasicBlock, requestRedirectedBlock_)
#undef LORVANE_BLOCK_SETTER

#define LORVANE_LOCKED_GETTER(Type, name, expression) \
  Type HTTPRequest::name() const {                    \
    std::lock_guard lock(cancelledLock_);             \
    return expression;                                \
  }
LORVANE_LOCKED_GETTER(int, responseStatusCode, responseStatusCode_)
LORVANE_LOCKED_GETTER(std::string, responseStatusMessage, responseStatusMessage_)
LORVANE_LOCKED_GETTER(HeaderMap, responseHeaders, responseHeaders_.value_or(HeaderMap()))
LORVANE_LOCKED_GETTER(bool, hasResponseHeaders, responseHeaders_.has_value())
LORVANE_LOCKED_GETTER(std::vector<Cookie>, responseCookies, responseCookies_)
LORVANE_LOCKED_GETTER(StringEncoding, responseEncoding, responseEncoding_)
LORVANE_LOCKED_GETTER(std::uint64_t, contentLength, contentLength_)
LORVANE_LOCKED_GETTER(std::uint64_t, totalBytesRead, totalBytesRead_)
LORVANE_LOCKED_GETTER(std::uint64_t, totalBytesSent, totalBytesSent_)
LORVANE_LOCKED_GETTER(ErrorPtr, error, error_)
LORVANE_LOCKED_GETTER(bool, complete, complete_)
LORVANE_LOCKED_GETTER(bool, cancelled, cancelled_)
LORVANE_LOCKED_GETTER(bool, downloadComplete, downloadComplete_)
LORVANE_LOCKED_GETTER(bool, needsRedirect, needsRedirect_)
LORVANE_LOCKED_GETTER(std::optional<URL>, redirectURL, redirectURL_)
LORVANE_LOCKED_GETTER(int, authenticationNeeded, authenticationNeeded_)
LORVANE_LOCKED_GETTER(TimeInterval, lastActivityTime, lastActivityTime_)
LORVANE_LOCKED_GETTER(std::uint64_t, requestID, requestID_)
LORVANE_LOCKED_GETTER(bool, didUseCachedResponse, didUseCachedResponse_)
LORVANE_LOCKED_GETTER(bool, usedReusedConnection, usedReusedConnection_)
LORVANE_LOCKED_GETTER(int, connectionID, connectionID_)
#undef LORVANE_LOCKED_GETTER

bool HTTPRequest::inProgress() const { return inProgress_.load(); }

bool HTTPRequest::isFinished() const { return hasFinishedRunning(); }

// ---- Response body and text -------------------------------------------------

bool HTTPRequest::isResponseCompressed() const {
  std::lock_guard lock(cancelledLock_);
  if (!responseHeaders_) return false;
  return headerValue(*responseHeaders_, "Content-Encoding").find("gzip") != std::string::npos;
}

std::optional<Data> HTTPRequest::responseData() const {
  std::lock_guard lock(cancelledLock_);
  if (isResponseCompressed() && shouldWaitToInflateCompressedResponses_) {
    if (rawResponseData_.empty()) return std::nullopt;
    ErrorPtr error;
    bool reachedEnd = false;
    auto data = DataDecompressor::inflateWhole(rawResponseData_.data(), rawResponseData_.size(),
                                               maximumInflatedLength(), &reachedEnd, &error);
    // A body cut off inside the gzip stream is not the server's answer.
    if (!data || !reachedEnd) return std::nullopt;
    return data;
  }
  return rawResponseData_;
}

std::optional<std::string> HTTPRequest::responseString() const {
  std::lock_guard lock(cancelledLock_);
  auto data = responseData();
  if (!data) return std::nullopt;
  return decodeString(data->data(), data->size(), responseEncoding_);
}

void HTTPRequest::updateResponseEncoding() {
  StringEncoding encoding = defaultResponseEncoding_;
  std::string contentType = responseHeaders_ ? headerValue(*responseHeaders_, "Content-Type") : "";
  auto semicolon = contentType.find(';');
  if (semicolon != std::string::npos) {
    std::string parameters = contentType.substr(semicolon + 1);
    auto charset = parameters.find("charset=");
    if (charset != std::string::npos) {
      std::string name = parameters.substr(charset + 8);
      name = trimWhitespace(name.substr(0, name.find(';')));
      if (auto known = encodingForIANACharsetName(name)) encoding = *known;
    }
  }
  responseEncoding_ = encoding;
}

// ---- Starting ---------------------------------------------------------------

void HTTPRequest::startAsynchronous() { sharedQueue().addOperation(self()); }

void HTTPRequest::start() {
  inProgress_.store(true);
  setExecuting(true);
  auto me = self();
  NetworkThread::shared().post([me] { me->main(); });
}

void HTTPRequest::startSynchronous() {
  {
    std::lock_guard lock(cancelledLock_);
    synchronous_ = true;
  }
  inProgress_.store(true);
  setExecuting(true);
  auto me = self();
  NetworkThread::shared().post([me] { me->main(); });
  std::unique_lock lock(syncMutex_);
  for (;;) {
    syncChanged_.wait(lock, [&] { return !syncTasks_.empty() || hasFinishedRunning(); });
    while (!syncTasks_.empty()) {
      auto task = std::move(syncTasks_.front());
      syncTasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
    if (hasFinishedRunning() && syncTasks_.empty()) return;
  }
}

void HTTPRequest::main() {
  std::lock_guard lock(cancelledLock_);
  try {
    if (error_) {
      complete_ = true;
      markAsFinished();
      return;
    }
    complete_ = false;
    didUseCachedResponse_ = false;
    if (!url_ || !url_->isAbsolute() || url_->host().empty() ||
        (url_->scheme() != "http" && url_->scheme() != "https")) {
      failWithError(unableToCreateRequestError());
      return;
    }
    if (!postBody_.empty() && requestMethod_ == "GET") requestMethod_ = "POST";
    postLength_ = postBody_.size();
    bool mayUseCache = requestMethod_ == "GET";

    buildRequestHeaders();

    if (downloadCache_ && mayUseCache) {
      if (cachePolicy_ == kUseDefaultCachePolicy) cachePolicy_ = downloadCache_->defaultCachePolicy();
      if (downloadCache_->canUseCachedDataForRequest(*this)) {
        useDataFromCache();
        return;
      }
      if (cachePolicy_ & (kAskServerIfModifiedWhenStaleCachePolicy | kAskServerIfModifiedCachePolicy)) {
        if (auto cached = downloadCache_->cachedResponseHeadersForURL(*url_)) {
          std::string etag = headerValue(*cached, "Etag");
          std::string modified = headerValue(*cached, "Last-Modified");
          if (!etag.empty()) requestHeaders_["If-None-Match"] = etag;
          if (!modified.empty()) requestHeaders_["If-Modified-Since"] = modified;
        }
      }
    }

    if (!username_.empty() && shouldPresentCredentialsBeforeChallenge_ &&
        requestHeaders_.find("Authorization") == requestHeaders_.end()) {
      requestHeaders_["Authorization"] = "Basic " + base64(username_ + ":" + password_);
      credentialsSent_ = true;
    }
    startRequest();
  } catch (const Exception& exception) {
    UserInfo underlyingInfo;
    underlyingInfo[kLocalizedDescriptionKey] = exception.name();
    underlyingInfo[kLocalizedFailureReasonKey] = exception.reason();
    UserInfo info = underlyingInfo;
    info[kUnderlyingErrorKey] =
        Error::make(kHTTPRequestErrorDomain, kUnhandledExceptionError, underlyingInfo);
    failWithError(Error::make(kHTTPRequestErrorDomain, kUnhandledExceptionError, info));
  } catch (const std::exception& exception) {
    UserInfo info;
    info[kLocalizedDescriptionKey] = std::string("std::exception");
    info[kLocalizedFailureReasonKey] = std::string(exception.what());
    failWithError(Error::make(kHTTPRequestErrorDomain, kUnhandledExceptionError, info));
  }
}

void HTTPRequest::buildRequestHeaders() {
  if (haveBuiltRequestHeaders_ && !reapplyCookies_) return;
  bool onlyCookies = haveBuiltRequestHeaders_ && reapplyCookies_;
  haveBuiltRequestHeaders_ = true;
  reapplyCookies_ = false;

  if (useCookiePersistence_) {
    auto stored = CookieStore::shared().cookiesForURL(*url_);
    requestCookies_.insert(requestCookies_.end(), stored.begin(), stored.end());
  }
  requestHeaders_.erase("Cookie");
  if (!requestCookies_.empty()) {
    std::string header;
    for (const auto& cookie : requestCookies_) {
      header = header.empty() ? cookie.name + "=" + cookie.value
                              : header + "; " + cookie.name + "=" + cookie.value;
    }
    requestHeaders_["Cookie"] = header;
  }
  if (onlyCookies) return;

  if (requestHeaders_.find("User-Agent") == requestHeaders_.end()) {
    std::string agent = !userAgent_.empty() ? userAgent_ : defaultUserAgentString();
    if (!agent.empty()) requestHeaders_["User-Agent"] = agent;
  }
  if (allowCompressedResponse_) requestHeaders_["Accept-Encoding"] = "gzip";
  if (shouldCompressRequestBody_) requestHeaders_["Content-Encoding"] = "gzip";
  if (allowResumeForFileDownloads_ && !downloadDestinationPath_.empty()) {
    auto attributes = FileManager::defaultManager().attributesOfItem(temporaryFileDownloadPath());
    if (attributes && attributes->size > 0) {
      requestHeaders_["Range"] = "bytes=" + std::to_string(attributes->size) + "-";
    }
  }
}

std::string HTTPRequest::serializeRequest() const {
  std::string text;
  text.reserve(256 + requestHeaders_.size() * 48);
  text += sanitizeHeaderText(requestMethod_);
  text += ' ';
  text += url_->requestTarget();
  text += useHTTPVersionOne_ ? " HTTP/1.0\r\n" : " HTTP/1.1\r\n";
  if (requestHeaders_.find("Host") == requestHeaders_.end()) {
    text += "Host: " + url_->hostAndPort() + "\r\n";
  }
  for (const auto& [name, value] : requestHeaders_) {
    text += sanitizeHeaderText(name) + ": " + sanitizeHeaderText(value) + "\r\n";
  }
  if (!shouldAttemptPersistentConnection_ && requestHeaders_.find("Connection") == requestHeaders_.end()) {
    text += "Connection: close\r\n";
  }
  Data body = postBody_;
  if (shouldCompressRequestBody_ && !body.empty()) {
    // Compression failure is caught earlier; here the body is known good.
    if (auto compressed = DataCompressor::compressData(body)) body = std::move(*compressed);
  }
  bool methodCarriesBody = requestMethod_ == "POST" || requestMethod_ == "PUT" ||
                           requestMethod_ == "PATCH";
  if ((!body.empty() || methodCarriesBody) &&
      requestHeaders_.find("Content-Length") == requestHeaders_.end()) {
    text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  }
  text += "\r\n";
  text.append(reinterpret_cast<const char*>(body.data()), body.size());
  return text;
}

void HTTPRequest::startRequest() {
  if (cancelled_) return;

  // Only a listener is worth waking the main thread for.
  if ((delegate_ && delegate_->respondsToSelector(didStartSelector_)) || startedBlock_ ||
      (queue_ && queue_->respondsToSelector(HTTPSelector::requestStarted))) {
    deliver([me = self()] { me->reportStarted(); });
  }

  downloadComplete_ = false;
  complete_ = false;
  totalBytesRead_ = 0;
  lastBytesRead_ = 0;
  if (redirectCount_ == 0) originalURL_ = url_;
  totalBytesSent_ = 0;
  lastBytesSent_ = 0;
  contentLength_ = 0;
  responseHeaders_.reset();
  headersRead_ = false;
  authenticationNeeded_ = 0;
  connectionCanBeReused_ = false;
  answerFromCacheAfterExchange_ = false;
  if (downloadDestinationPath_.empty()) rawResponseData_ = Data();
  dataDecompressor_.reset();
  fileError_.reset();

  if (shouldCompressRequestBody_ && !postBody_.empty()) {
    ErrorPtr compressionError;
    if (!DataCompressor::compressData(postBody_, &compressionError)) {
      failWithError(compressionError);
      return;
    }
  }

  ConnectionEndpoint endpoint;
  endpoint.scheme = url_->scheme();
  endpoint.host = url_->host();
  endpoint.port = url_->effectivePort();
  endpoint.validatesCertificate = validatesSecureCertificate_;

  ConnectionPool& pool = ConnectionPool::shared();
  std::shared_ptr<Connection> connection;
  {
    std::lock_guard poolLock(pool.lock());
    pool.expirePersistentConnections();
    if (requestID_ == 0) requestID_ = pool.nextRequestID();
    if (shouldAttemptPersistentConnection_) {
      connectionInfo_ =
          pool.takeEntry(*url_, validatesSecureCertificate_, connectionInfo_, requestID_);
      auto& stream = connectionInfo_->stream;
      if (stream && (!stream->isOpen() || stream->hasStrayData())) {
        // A closed socket, or one with bytes nobody asked for, cannot carry
        // this exchange.
        auto old = stream;
        NetworkThread::shared().dispatch([old] { old->close(); });
        stream.reset();
      }
      if (!stream) stream = Connection::create(endpoint);
      connection = stream;
      connectionID_ = connectionInfo_->id;
    } else {
      if (connectionInfo_) pool.removeEntry(connectionInfo_);
      connectionInfo_.reset();
      connection = Connection::create(endpoint);
      connectionID_ = 0;
    }
  }
  connection_ = connection;
  usedReusedConnection_ = connection->exchangeCount() > 0;

  const std::uint64_t attempt = ++attempt_;
  auto me = self();
  ResponseFraming::Handlers framingHandlers;
  framingHandlers.headersReceived = [this] { readResponseHeaders(); };
  framingHandlers.bodyReceived = [this](const std::uint8_t* bytes, std::size_t length) {
    handleBody(bytes, length);
  };
  framing_ = std::make_unique<ResponseFraming>(std::move(framingHandlers));
  framing_->setExpectsNoBody(requestMethod_ == "HEAD");

  connection->setReadBufferSize(16384);
  scheduleStream();

  Connection::Handlers handlers;
  handlers.opened = [me, attempt] { me->handleOpened(attempt); };
  handlers.received = [me, attempt](const std::uint8_t* bytes, std::size_t length) {
    me->handleBytes(attempt, bytes, length);
  };
  handlers.ended = [me, attempt] { me->handleEnd(attempt); };
  handlers.failed = [me, attempt](const StreamFailure& failure) {
    me->handleStreamFailure(attempt, failure);
  };
  connection->begin(serializeRequest(), std::move(handlers));
  if (attempt != attempt_ || complete_) return;  // it failed at once

  lastActivityTime_ = Clock::shared().now();
  if (!statusTimer_ || !statusTimer_->isValid()) {
    std::weak_ptr<HTTPRequest> weak = me;
    statusTimer_ = NetworkThread::shared().scheduleTimer(kStatusTimerInterval, true, [weak] {
      auto request = weak.lock();
      if (!request) return;
      request->checkRequestStatus();
    });
  }
}

void HTTPRequest::scheduleStream() {
  if (readStreamIsScheduled_) return;
  readStreamIsScheduled_ = true;
  lastActivityTime_ = Clock::shared().now();
  NetworkActivity::streamScheduled();
}

void HTTPRequest::unscheduleStream() {
  if (!readStreamIsScheduled_) return;
  readStreamIsScheduled_ = false;
  NetworkActivity::streamUnscheduled();
}

// ---- Stream events ----------------------------------------------------------

void HTTPRequest::handleOpened(std::uint64_t attempt) {
  std::lock_guard lock(cancelledLock_);
  if (attempt != attempt_ || complete_ || cancelled_) return;
  lastActivityTime_ = Clock::shared().now();
}

void HTTPRequest::handleBytes(std::uint64_t attempt, const std::uint8_t* bytes,
                              std::size_t length) {
  {
    std::lock_guard lock(cancelledLock_);
    if (attempt != attempt_ || complete_ || cancelled_) return;
    lastActivityTime_ = Clock::shared().now();
    Bandwidth::incrementBandwidthUsedInLastSecond(length);
    std::size_t taken = framing_->feed(bytes, length);
    if (complete_ || attempt != attempt_) {
      // A handler already failed the request.
    } else if (framing_->hasFailed()) {
      failWithStreamError(
          Error::make(kNetworkErrorDomain, kHTTPParseFailure, framing_->failureReason()), false,
          false);
    } else if (framing_->isComplete()) {
      if (taken < length) {
        failWithStreamError(Error::make(kNetworkErrorDomain, kHTTPParseFailure,
                                        "The server sent more data than the response declared"),
                            false, false);
      } else {
        handleStreamComplete();
      }
    } else if (connection_ && Bandwidth::isThrottlingActive()) {
      if (Bandwidth::isBandwidthThrottled()) connection_->pauseReading();
    }
  }
  afterStreamEvent();
}

void HTTPRequest::handleEnd(std::uint64_t attempt) {
  {
    std::lock_guard lock(cancelledLock_);
    if (attempt != attempt_ || complete_ || cancelled_) return;
    framing_->finishInput();
    if (complete_ || attempt != attempt_) {
      // A handler already failed the request.
    } else if (framing_->isComplete()) {
      connectionCanBeReused_ = false;  // the server has closed it
      handleStreamComplete();
    } else if (!framing_->receivedAnything()) {
      // Typically a pooled connection the server had closed meanwhile.
      failWithStreamError(Error::make(kNetworkErrorDomain, kNetworkConnectionLost,
                                      "The network connection was lost."),
                          false, true);
    } else {
      failWithStreamError(
          Error::make(kNetworkErrorDomain, kHTTPParseFailure, framing_->failureReason()), false,
          false);
    }
  }
  afterStreamEvent();
}

void HTTPRequest::handleStreamFailure(std::uint64_t attempt, const StreamFailure& failure) {
  {
    std::lock_guard lock(cancelledLock_);
    if (attempt != attempt_ || complete_ || cancelled_) return;
    connection_.reset();  // the connection closed itself
    bool nothingReceived = !framing_ || !framing_->receivedAnything();
    switch (failure.kind) {
      case StreamFailure::Kind::kTLS:
        failWithStreamError(
            Error::make(kOSStatusErrorDomain, kSecureTransportCertificateError, failure.message),
            true, false);
        break;
      case StreamFailure::Kind::kResolve:
        failWithStreamError(Error::make(kNetworkErrorDomain, kCannotFindHost, failure.message),
                            false, false);
        break;
      case StreamFailure::Kind::kConnect:
        failWithStreamError(Error::make(kPOSIXErrorDomain, failure.posixCode, failure.message),
                            false, false);
        break;
      case StreamFailure::Kind::kWrite:
      case StreamFailure::Kind::kRead: {
        // A broken pipe, a reset or a socket that is no longer connected
        // before any answer: the server dropped a connection we reused.
        bool lost = nothingReceived && (failure.posixCode == EPIPE || failure.posixCode == ENOTCONN ||
                                        failure.posixCode == ECONNRESET);
        failWithStreamError(Error::make(kPOSIXErrorDomain, failure.posixCode, failure.message),
                            false, lost);
        break;
      }
    }
  }
  afterStreamEvent();
}

bool HTTPRequest::shouldRedirectNow() const { return downloadComplete_ && needsRedirect_; }

void HTTPRequest::afterStreamEvent() {
  std::unique_lock lock(cancelledLock_);
  if (cancelled_ || error_) return;
  if (shouldRedirectNow() && !awaitingRedirectDecision_) {
    bool delegateDecides = delegate_ && delegate_->respondsToSelector(willRedirectSelector_);
    bool queueDecides =
        queue_ && queue_->respondsToSelector(HTTPSelector::requestWillRedirectToURL);
    if (delegateDecides || queueDecides) {
      awaitingRedirectDecision_ = true;
      URL target = *redirectURL_;
      redirectURL_.reset();
      deliver([me = self(), target] { me->reportWillRedirect(target); });
    } else {
      performRedirect();
    }
    return;
  }
  if (downloadComplete_ && authenticationNeeded_ != 0 && !awaitingRedirectDecision_) {
    handleAuthentication();
  }
}

void HTTPRequest::readResponseHeaders() {
  if (headersRead_) return;
  headersRead_ = true;
  authenticationNeeded_ = 0;
  responseHeaders_ = framing_->headers();
  responseStatusCode_ = framing_->statusCode();
  responseStatusMessage_ = framing_->statusLine();

  if (responseStatusCode_ == 304 && downloadCache_ &&
      (cachePolicy_ & (kAskServerIfModifiedWhenStaleCachePolicy | kAskServerIfModifiedCachePolicy)) &&
      downloadCache_->isCachedDataCurrentForRequest(*this)) {
    // Not modified: once the exchange is over, the stored reply answers.
    answerFromCacheAfterExchange_ = true;
    return;
  }

  if (responseStatusCode_ == 401) authenticationNeeded_ = 1;
  if (responseStatusCode_ == 407) authenticationNeeded_ = 2;

  updateResponseEncoding();

  responseCookies_ = cookiesFromHeaderFields(framing_->headerList(), *url_, currentDate());
  if (useCookiePersistence_ && !responseCookies_.empty()) {
    CookieStore::shared().setCookies(responseCookies_);
    std::lock_guard lock(classState().mutex);
    auto& session = classState().sessionCookies;
    session.insert(session.end(), responseCookies_.begin(), responseCookies_.end());
  }

  std::string location = headerValue(*responseHeaders_, "Location");
  int status = responseStatusCode_;
  bool redirects = status == 301 || status == 302 || status == 303 || status == 307;
  if (shouldRedirect_ && !location.empty() && redirects) {
    deliver([me = self()] { me->reportRedirected(); });
    if (status == 307 || (shouldUseRFC2616RedirectBehaviour_ && status != 303)) {
      reapplyCookies_ = true;
    } else {
      requestMethod_ = "GET";
      postBody_.clear();
      postLength_ = 0;
      std::erase_if(requestHeaders_, [](const auto& header) {
        return !equalsIgnoringCase(header.first, "User-Agent") &&
               !equalsIgnoringCase(header.first, "Accept");
      });
      haveBuiltRequestHeaders_ = false;
    }
    // An unusable Location leaves no URL, which fails as a bad URL.
    redirectURL_ = url_->resolve(location);
    needsRedirect_ = true;
    requestCookies_.clear();
  } else {
    std::string length = headerValue(*responseHeaders_, "Content-Length");
    auto owner = mainRequest_.lock();
    if (requestMethod_ == "HEAD" && owner) {
      // A HEAD reply of exactly 20 bytes while gzip is allowed is the size
      // of an empty gzip body, not of the real one.
      std::uint64_t size = std::strtoull(length.c_str(), nullptr, 0);
      if (length.empty() || (size == 20 && allowCompressedResponse_)) {
        std::lock_guard ownerLock(owner->cancelledLock_);
        owner->showAccurateProgress_ = false;
      } else {
        {
          std::lock_guard ownerLock(owner->cancelledLock_);
          owner->contentLength_ = size;
          owner->haveReportedDownloadSize_ = true;
        }
        reportDownloadSizeIncrement(size);
      }
    } else if (!length.empty() && requestMethod_ != "HEAD") {
      contentLength_ = std::strtoull(length.c_str(), nullptr, 0);
      if (!mainRequest_.lock() && contentLength_ > 0 && showAccurateProgress_ &&
          !haveReportedDownloadSize_) {
        haveReportedDownloadSize_ = true;
        reportDownloadSizeIncrement(contentLength_);
      }
    } else if (length.empty()) {
      showAccurateProgress_ = false;
    }
  }

  if (shouldAttemptPersistentConnection_) {
    ReuseDecision decision = decideConnectionReuse(framing_->httpVersion(), *responseHeaders_,
                                                   persistentConnectionTimeoutSeconds_);
    connectionCanBeReused_ = decision.canBeReused && !framing_->bodyEndsWithConnection();
    persistentConnectionTimeoutSeconds_ = decision.timeoutSeconds;
  }

  if (connection_) {
    std::size_t bufferSize = 16384;
    if (contentLength_ > 262144) {
      bufferSize = 262144;
    } else if (contentLength_ > 65536) {
      bufferSize = 65536;
    }
    connection_->setReadBufferSize(Bandwidth::isThrottlingActive() ? Bandwidth::maxReadLength(bufferSize)
                                                                   : bufferSize);
  }
  if (contentLength_ > 0 && !needsRedirect_) rawResponseData_.reserve(contentLength_);

  if (isResponseCompressed() && !shouldWaitToInflateCompressedResponses_) {
    ErrorPtr error;
    dataDecompressor_ = DataDecompressor::decompressor(&error);
    if (!dataDecompressor_) {
      failWithError(error);
      return;
    }
    dataDecompressor_->setMaximumOutputLength(maximumInflatedLength());
  }

  if (!downloadDestinationPath_.empty() && !needsRedirect_) {
    const char* mode = allowResumeForFileDownloads_ && responseStatusCode_ == 206 ? "ab" : "wb";
    downloadFile_.reset(std::fopen(temporaryFileDownloadPath().c_str(), mode));
    if (!downloadFile_) {
      fileError_ = Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                               "Failed to create file at path '" + temporaryFileDownloadPath() + "'");
    }
  }

  if ((delegate_ && delegate_->respondsToSelector(didReceiveResponseHeadersSelector_)) ||
      headersReceivedBlock_ ||
      (queue_ && queue_->respondsToSelector(HTTPSelector::requestDidReceiveResponseHeaders))) {
    deliver([me = self(), headers = *responseHeaders_] { me->reportHeaders(headers); });
  }
}

bool HTTPRequest::delegateWantsData() const {
  return (delegate_ && delegate_->respondsToSelector(didReceiveDataSelector_)) ||
         static_cast<bool>(dataReceivedBlock_);
}

void HTTPRequest::handleBody(const std::uint8_t* bytes, std::size_t length) {
  if (complete_ || length == 0) return;
  totalBytesRead_ += length;
  lastActivityTime_ = Clock::shared().now();

  if (needsRedirect_ && allowResumeForFileDownloads_) return;  // the redirect's own body

  const std::uint8_t* data = bytes;
  std::size_t size = length;
  std::optional<Data> inflated;
  if (dataDecompressor_) {
    ErrorPtr error;
    inflated = dataDecompressor_->uncompressBytes(bytes, length, &error);
    if (!inflated) {
      if (!error) return;  // nothing produced yet
      cancelLoad();
      failWithError(error);
      return;
    }
    data = inflated->data();
    size = inflated->size();
  }

  if (delegateWantsData() && !needsRedirect_) {
    deliver([me = self(), chunk = Data(data, data + size)] { me->reportData(chunk); });
  } else if (!downloadDestinationPath_.empty() && !needsRedirect_) {
    if (downloadFile_ && std::fwrite(data, 1, size, downloadFile_.get()) != size) {
      fileError_ = Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                               "Failed to write to file at path '" + temporaryFileDownloadPath() + "'");
    }
  } else {
    rawResponseData_.insert(rawResponseData_.end(), data, data + size);
  }
  if (showAccurateProgress_ &&
      (bytesReceivedBlock_ ||
       (queue_ && queue_->respondsToSelector(HTTPSelector::requestDidReceiveBytes)))) {
    std::uint64_t total = contentLength_;
    deliver([me = self(), length, total] {
      HTTPRequest::SizeBlock block;
      std::shared_ptr<HTTPRequestDelegate> queue;
      {
        std::lock_guard lock(me->cancelledLock_);
        block = me->bytesReceivedBlock_;
        queue = me->queue_;
      }
      if (queue && queue->respondsToSelector(HTTPSelector::requestDidReceiveBytes)) {
        queue->requestDidReceiveBytes(*me, static_cast<std::int64_t>(length));
      }
      if (block) block(length, total);
    });
  }
}

void HTTPRequest::handleStreamComplete() {
  if (statusTimer_) {
    statusTimer_->invalidate();
    statusTimer_.reset();
  }
  downloadComplete_ = true;
  if (!headersRead_) readResponseHeaders();
  if (complete_) return;  // reading the headers failed the request

  complete_ = true;
  if (connection_) totalBytesSent_ = connection_->bytesSent();
  if (contentLength_ == 0) contentLength_ = totalBytesRead_;

  ErrorPtr completionError = fileError_;
  if (dataDecompressor_) {
    if (!dataDecompressor_->reachedEnd() && totalBytesRead_ > 0 && !completionError) {
      completionError = DataDecompressor::decompressionError(-5, "The compressed body ended early");
    }
    dataDecompressor_.reset();
  }

  if (downloadFile_) {
    downloadFile_.reset();
    if (!needsRedirect_ && !completionError) {
      FileManager& files = FileManager::defaultManager();
      const std::string temporary = temporaryFileDownloadPath();
      if (files.fileExists(downloadDestinationPath_) &&
          !files.removeItem(downloadDestinationPath_)) {
        completionError = Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                                      "Failed to delete file at path '" + downloadDestinationPath_ + "'");
      } else if (isResponseCompressed() && shouldWaitToInflateCompressedResponses_) {
        ErrorPtr inflateError;
        if (!DataDecompressor::uncompressDataFromFile(temporary, downloadDestinationPath_,
                                                      &inflateError)) {
          completionError = inflateError;
        }
        files.removeItem(temporary);
      } else if (!files.moveItem(temporary, downloadDestinationPath_)) {
        completionError = Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                                      "Failed to move file from '" + temporary + "' to '" +
                                          downloadDestinationPath_ + "'");
      }
    }
  }

  releaseConnection();
  if (!showAccurateProgress_ && !needsRedirect_) reportUnitProgress();

  if (answerFromCacheAfterExchange_) {
    useDataFromCache();
    if (downloadCache_) downloadCache_->storeResponseForRequest(*this, secondsToCache_);
    return;
  }
  if (downloadCache_ && !didUseCachedResponse_ && !completionError) {
    downloadCache_->storeResponseForRequest(*this, secondsToCache_);
  }

  if (!needsRedirect_ && authenticationNeeded_ == 0 && !didUseCachedResponse_) {
    if (completionError) {
      failWithError(completionError);
      return;
    }
    if (!error_) deliver([me = self()] { me->reportFinished(); });
    markAsFinished();
  }
}

void HTTPRequest::releaseConnection() {
  ConnectionPool& pool = ConnectionPool::shared();
  std::lock_guard poolLock(pool.lock());
  if (connection_) {
    if (connectionCanBeReused_ && connectionInfo_) {
      connection_->stopReading();
    } else {
      connection_->close();
      if (connectionInfo_ && connectionInfo_->stream == connection_) connectionInfo_->stream.reset();
    }
    connection_.reset();
  }
  if (connectionInfo_) pool.releaseEntry(connectionInfo_, persistentConnectionTimeoutSeconds_);
  unscheduleStream();
}

void HTTPRequest::destroyConnection() {
  if (connection_) {
    connection_->close();
    connection_.reset();
  }
  unscheduleStream();
}

void HTTPRequest::cancelLoad() {
  destroyConnection();
  if (statusTimer_) {
    statusTimer_->invalidate();
    statusTimer_.reset();
  }
  downloadFile_.reset();
  if (!downloadDestinationPath_.empty() && !allowResumeForFileDownloads_) {
    FileManager::defaultManager().removeItem(temporaryFileDownloadPath());
  }
  rawResponseData_ = Data();
}

void HTTPRequest::failWithStreamError(ErrorPtr underlying, bool sslProblem, bool mayRetry) {
  cancelLoad();
  if (error_) return;
  if (mayRetry && retryCount_ == 0) {
    {
      ConnectionPool& pool = ConnectionPool::shared();
      std::lock_guard poolLock(pool.lock());
      if (connectionInfo_) pool.removeEntry(connectionInfo_);
      connectionInfo_.reset();
    }
    retryCount_ = 1;
    startRequest();
    return;
  }
  std::string description = "A connection failure occurred";
  if (sslProblem) {
    description += ": SSL problem (Possible causes may include a bad/expired/self-signed "
                   "certificate, clock set to wrong date)";
  }
  failWithError(Error::make(kHTTPRequestErrorDomain, kConnectionFailureErrorType, description,
                            std::move(underlying)));
}

void HTTPRequest::failWithError(ErrorPtr error) {
  complete_ = true;
  if (error && error->code != kAuthenticationErrorType &&
      error->code != kTooMuchRedirectionErrorType) {
    ConnectionPool& pool = ConnectionPool::shared();
    std::lock_guard poolLock(pool.lock());
    if (connectionInfo_) pool.removeEntry(connectionInfo_);
    connectionInfo_.reset();
    destroyConnection();
  }
  if (statusTimer_) {
    statusTimer_->invalidate();
    statusTimer_.reset();
  }
  if (cancelled_ || error_) return;

  if (downloadCache_ && (cachePolicy_ & kFallbackToCacheIfLoadFailsCachePolicy) &&
      downloadCache_->canUseCachedDataForRequest(*this)) {
    useDataFromCache();
    return;
  }
  error_ = std::move(error);
  deliver([me = self()] { me->reportFailure(); });
  if (inProgress_.load()) markAsFinished();
}

void HTTPRequest::markAsFinished() {
  if (finishedReported_) return;
  finishedReported_ = true;
  if (statusTimer_) {
    statusTimer_->invalidate();
    statusTimer_.reset();
  }
  inProgress_.store(false);
  setExecuting(false);
  setFinished();
  std::lock_guard lock(syncMutex_);
  syncChanged_.notify_all();
}

// ---- Status timer and time-outs -------------------------------------------

bool HTTPRequest::shouldTimeOut() const {
  if (!readStreamIsScheduled_ || lastActivityTime_ == 0 || timeOutSeconds_ <= 0) return false;
  TimeInterval silence = Clock::shared().now() - lastActivityTime_;
  if (silence <= timeOutSeconds_) return false;
  return postLength_ == 0 || totalBytesSent_ > kUploadBufferSize ||
         silence > timeOutSeconds_ * 1.5;
}

void HTTPRequest::checkRequestStatus() {
  std::lock_guard lock(cancelledLock_);
  if (cancelled_ || complete_) {
    if (!inProgress_.load() && statusTimer_) {
      statusTimer_->invalidate();
      statusTimer_.reset();
    }
    return;
  }
  if (connection_) {
    if (Bandwidth::isBandwidthThrottled()) {
      connection_->pauseReading();
    } else {
      connection_->resumeReading();
    }
  }
  if (shouldTimeOut()) {
    if (retryCount_ < numberOfTimesToRetryOnTimeout_) {
      ++retryCount_;
      {
        ConnectionPool& pool = ConnectionPool::shared();
        std::lock_guard poolLock(pool.lock());
        if (connectionInfo_) pool.removeEntry(connectionInfo_);
        connectionInfo_.reset();
      }
      destroyConnection();
      startRequest();
    } else {
      failWithError(requestTimedOutError());
      cancelLoad();
      complete_ = true;
    }
    return;
  }
  if (connection_ && postLength_ > 0) {
    std::uint64_t sent = connection_->bytesSent();
    if (sent > totalBytesSent_) {
      Bandwidth::incrementBandwidthUsedInLastSecond(sent - totalBytesSent_);
      lastBytesSent_ = totalBytesSent_;
      totalBytesSent_ = sent;
      lastActivityTime_ = Clock::shared().now();
    }
  }
  Bandwidth::measureBandwidthUsage();
}

// ---- Redirects, authentication, cancelling ----------------------------------

void HTTPRequest::redirectToURL(const URL& url) {
  auto me = self();
  NetworkThread::shared().post([me, url] {
    std::lock_guard lock(me->cancelledLock_);
    me->redirectURL_ = url;
    me->performRedirect();
  });
}

void HTTPRequest::performRedirect() {
  awaitingRedirectDecision_ = false;
  if (cancelled_ || error_) return;
  url_ = redirectURL_;
  complete_ = true;
  needsRedirect_ = false;
  ++redirectCount_;
  if (redirectCount_ < 6) {
    main();
  } else {
    failWithError(tooMuchRedirectionError());
    complete_ = true;
  }
}

void HTTPRequest::handleAuthentication() {
  bool proxy = authenticationNeeded_ == 2;
  HTTPSelector selector = proxy ? HTTPSelector::proxyAuthenticationNeededForRequest
                                : HTTPSelector::authenticationNeededForRequest;
  bool delegateHandles = (delegate_ && delegate_->respondsToSelector(selector)) ||
                         (queue_ && queue_->respondsToSelector(selector)) ||
                         (proxy ? static_cast<bool>(proxyAuthenticationNeededBlock_)
                                : static_cast<bool>(authenticationNeededBlock_));
  if (!proxy && !username_.empty() && !credentialsSent_) {
    retryUsingSuppliedCredentials();
    return;
  }
  if (delegateHandles) {
    deliver([me = self(), proxy] { me->reportAuthenticationNeeded(proxy); });
    return;
  }
  failWithError(authenticationError());
}

void HTTPRequest::retryUsingSuppliedCredentials() {
  auto me = self();
  NetworkThread::shared().dispatch([me] {
    std::lock_guard lock(me->cancelledLock_);
    if (me->cancelled_ || me->error_) return;
    if (me->username_.empty()) {
      me->failWithError(authenticationError());
      return;
    }
    me->requestHeaders_["Authorization"] =
        "Basic " + base64(me->username_ + ":" + me->password_);
    me->credentialsSent_ = true;
    me->startRequest();
  });
}

void HTTPRequest::cancelAuthentication() {
  auto me = self();
  NetworkThread::shared().dispatch([me] {
    std::lock_guard lock(me->cancelledLock_);
    me->failWithError(authenticationError());
  });
}

void HTTPRequest::cancel() {
  auto me = self();
  NetworkThread::shared().post([me] { me->cancelOnRequestThread(); });
}

void HTTPRequest::cancelOnRequestThread() {
  std::lock_guard lock(cancelledLock_);
  bool waitingOnCaller = awaitingRedirectDecision_ || (downloadComplete_ && authenticationNeeded_ != 0 &&
                                                       !error_ && !finishedReported_);
  if (cancelled_ || (complete_ && !waitingOnCaller)) return;
  awaitingRedirectDecision_ = false;
  failWithError(requestCancelledError());
  complete_ = true;
  cancelLoad();
  cancelled_ = true;
  Operation::cancel();
}

void HTTPRequest::clearDelegatesAndCancel() {
  {
    std::lock_guard lock(cancelledLock_);
    delegate_ = nullptr;
    queue_.reset();
    startedBlock_ = nullptr;
    headersReceivedBlock_ = nullptr;
    completionBlock_ = nullptr;
    failedBlock_ = nullptr;
    bytesReceivedBlock_ = nullptr;
    bytesSentBlock_ = nullptr;
    downloadSizeIncrementedBlock_ = nullptr;
    uploadSizeIncrementedBlock_ = nullptr;
    dataReceivedBlock_ = nullptr;
    authenticationNeededBlock_ = nullptr;
    proxyAuthenticationNeededBlock_ = nullptr;
    requestRedirectedBlock_ = nullptr;
  }
  cancel();
}

// ---- The cache --------------------------------------------------------------

void HTTPRequest::useDataFromCache() {
  auto cache = downloadCache_;
  auto headers = cache->cachedResponseHeadersForURL(*url_);
  std::string dataPath = cache->pathToCachedResponseDataForURL(*url_);
  if (!headers || dataPath.empty()) {
    failWithError(Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                              "Failed to get attributes for file at path '" + dataPath + "'"));
    return;
  }
  responseStatusCode_ = 200;
  responseStatusMessage_ = "HTTP/1.1 200 OK";
  didUseCachedResponse_ = true;
  responseHeaders_ = *headers;
  if (!downloadDestinationPath_.empty()) {
    FileManager& files = FileManager::defaultManager();
    if (files.fileExists(downloadDestinationPath_)) files.removeItem(downloadDestinationPath_);
    files.copyItem(dataPath, downloadDestinationPath_);
  } else {
    rawResponseData_ = FileManager::defaultManager().contentsAtPath(dataPath).value_or(Data());
  }
  contentLength_ = std::strtoull(headerValue(*headers, "Content-Length").c_str(), nullptr, 0);
  totalBytesRead_ = contentLength_;
  updateResponseEncoding();
  HeaderList fields;
  if (auto cookie = headers->find("Set-Cookie"); cookie != headers->end()) {
    fields.emplace_back(cookie->first, cookie->second);
  }
  responseCookies_ = cookiesFromHeaderFields(fields, *url_, currentDate());
  complete_ = true;
  downloadComplete_ = true;
  deliver([me = self()] { me->reportFinished(); });
  markAsFinished();
}

// ---- Main-thread reports ----------------------------------------------------

void HTTPRequest::reportDownloadSizeIncrement(std::uint64_t size) {
  if (size == 0) return;
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

void HTTPRequest::reportStarted() {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  BasicBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_;
    queue = queue_;
    block = startedBlock_;
    selector = didStartSelector_;
  }
  if (delegate && delegate->respondsToSelector(selector)) perform(*delegate, selector, *this);
  if (block) block();
  if (queue && queue->respondsToSelector(HTTPSelector::requestStarted)) queue->requestStarted(*this);
}

void HTTPRequest::reportHeaders(HeaderMap headers) {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  HeadersBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_;
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
    delegate = delegate_;
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
    delegate = delegate_;
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
    delegate = delegate_;
    queue = queue_;
    block = completionBlock_;
    selector = didFinishSelector_;
  }
  if (delegate && delegate->respondsToSelector(selector)) perform(*delegate, selector, *this);
  if (block) block();
  if (queue && queue->respondsToSelector(HTTPSelector::requestFinished)) {
    queue->requestFinished(*this);
  }
}

void HTTPRequest::reportFailure() {
  HTTPRequestDelegate* delegate;
  std::shared_ptr<HTTPRequestDelegate> queue;
  BasicBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_;
    queue = queue_;
    block = failedBlock_;
    selector = didFailSelector_;
  }
  if (delegate && delegate->respondsToSelector(selector)) perform(*delegate, selector, *this);
  if (block) block();
  if (queue && queue->respondsToSelector(HTTPSelector::requestFailed)) queue->requestFailed(*this);
}

void HTTPRequest::reportData(Data data) {
  HTTPRequestDelegate* delegate;
  DataBlock block;
  HTTPSelector selector;
  {
    std::lock_guard lock(cancelledLock_);
    delegate = delegate_;
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
    delegate = delegate_;
    queue = queue_;
    block = proxy ? proxyAuthenticationNeededBlock_ : authenticationNeededBlock_;
  }
  if (delegate && delegate->respondsToSelector(selector)) {
    perform(*delegate, selector, *this);
  } else if (queue && queue->respondsToSelector(selector)) {
    perform(*queue, selector, *this);
  }
  if (block) block();
}

}  // namespace lorvane
