#include <sys/utsname.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "net/bandwidth.h"
#include "net/connection.h"
#include "net/connection_pool.h"
#include "net/data_decompressor.h"
#include "net/download_cache.h"
#include "net/http_request.h"
#include "net/http_request_internal.h"
#include "net/network_activity.h"
#include "net/network_thread.h"
#include "net/response_framing.h"

namespace lorvane {

using detail::httpClassState;

namespace {

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

}  // namespace

namespace detail {

HTTPClassState& httpClassState() {
  static HTTPClassState* state = [] {
    auto* s = new HTTPClassState();
    s->maximumInflatedLength = DataDecompressor::kDefaultMaximumOutputLength;
    s->applicationInfo = defaultApplicationInfo();
    return s;
  }();
  return *state;
}

std::string base64Encode(const std::string& text) {
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
    std::uint32_t n =
        (static_cast<std::uint8_t>(text[i]) << 16) | (static_cast<std::uint8_t>(text[i + 1]) << 8);
    out += alphabet[(n >> 18) & 63];
    out += alphabet[(n >> 12) & 63];
    out += alphabet[(n >> 6) & 63];
    out += '=';
  }
  return out;
}
}  // namespace detail

namespace {

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
    : url_(std::move(url)),
      timeOutSeconds_(defaultTimeOutSeconds()),
      maximumResponseBodyLength_(TransferLimits::kDefaultMaximumBodyLength) {
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
  head->maximumResponseBodyLength_ = maximumResponseBodyLength_;
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
  std::lock_guard lock(httpClassState().mutex);
  return httpClassState().defaultTimeOutSeconds;
}

void HTTPRequest::setDefaultTimeOutSeconds(double seconds) {
  std::lock_guard lock(httpClassState().mutex);
  httpClassState().defaultTimeOutSeconds = seconds;
}

std::string HTTPRequest::defaultUserAgentString() {
  std::lock_guard lock(httpClassState().mutex);
  detail::HTTPClassState& s = httpClassState();
  if (!s.userAgentComputed) {
    s.defaultUserAgent = computeUserAgent(s.applicationInfo);
    s.userAgentComputed = true;
  }
  return s.defaultUserAgent.value_or(std::string());
}

void HTTPRequest::setDefaultUserAgentString(std::string agent) {
  std::lock_guard lock(httpClassState().mutex);
  httpClassState().defaultUserAgent = std::move(agent);
  httpClassState().userAgentComputed = true;
}

void HTTPRequest::setApplicationInfo(ApplicationInfo info) {
  std::lock_guard lock(httpClassState().mutex);
  httpClassState().applicationInfo = std::move(info);
  httpClassState().userAgentComputed = false;
}

ApplicationInfo HTTPRequest::applicationInfo() {
  std::lock_guard lock(httpClassState().mutex);
  return httpClassState().applicationInfo;
}

void HTTPRequest::setShouldUpdateNetworkActivityIndicator(bool update) {
  NetworkActivity::setShouldUpdateNetworkActivityIndicator(update);
}

bool HTTPRequest::isNetworkInUse() {
  return NetworkActivity::isNetworkInUse();
}

std::shared_ptr<DownloadCache> HTTPRequest::defaultCache() {
  std::lock_guard lock(httpClassState().mutex);
  return httpClassState().defaultCache;
}

void HTTPRequest::setDefaultCache(std::shared_ptr<DownloadCache> cache) {
  std::lock_guard lock(httpClassState().mutex);
  httpClassState().defaultCache = std::move(cache);
}

std::uint64_t HTTPRequest::maxBandwidthPerSecond() {
  return Bandwidth::maxBandwidthPerSecond();
}
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
  std::lock_guard lock(httpClassState().mutex);
  return httpClassState().sessionCookies;
}

void HTTPRequest::clearSession() {
  std::lock_guard lock(httpClassState().mutex);
  httpClassState().sessionCookies.clear();
}

std::uint64_t HTTPRequest::maximumInflatedLength() {
  std::lock_guard lock(httpClassState().mutex);
  return httpClassState().maximumInflatedLength;
}

void HTTPRequest::setMaximumInflatedLength(std::uint64_t bytes) {
  std::lock_guard lock(httpClassState().mutex);
  httpClassState().maximumInflatedLength = bytes;
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
  requireNotRunning();
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
  requireNotRunning();
  std::lock_guard lock(cancelledLock_);
  requestMethod_ = std::move(method);
}

void HTTPRequest::requireNotRunning() const {
  if (inProgress_.load()) {
    throw Exception("HTTPRequestIsRunning",
                    "The settings of a request cannot change while it is running");
  }
}

HeaderMap HTTPRequest::requestHeaders() const {
  std::lock_guard lock(cancelledLock_);
  return requestHeaders_;
}

void HTTPRequest::setRequestHeaders(HeaderMap headers) {
  requireNotRunning();
  std::lock_guard lock(cancelledLock_);
  requestHeaders_ = std::move(headers);
}

std::vector<Cookie> HTTPRequest::requestCookies() const {
  std::lock_guard lock(cancelledLock_);
  return requestCookies_;
}

void HTTPRequest::setRequestCookies(std::vector<Cookie> cookies) {
  requireNotRunning();
  std::lock_guard lock(cancelledLock_);
  requestCookies_ = std::move(cookies);
}

Data HTTPRequest::postBody() const {
  std::lock_guard lock(cancelledLock_);
  return postBody_;
}

std::uint64_t HTTPRequest::postLength() const {
  std::lock_guard lock(cancelledLock_);
  return postLength_;
}

int HTTPRequest::retryCount() const {
  std::lock_guard lock(cancelledLock_);
  return retryCount_;
}

int HTTPRequest::cachePolicy() const {
  std::lock_guard lock(cancelledLock_);
  return cachePolicy_;
}

bool HTTPRequest::showAccurateProgress() const {
  std::lock_guard lock(cancelledLock_);
  return showAccurateProgress_;
}

void HTTPRequest::setShowAccurateProgress(bool on) {
  requireNotRunning();
  std::lock_guard lock(cancelledLock_);
  showAccurateProgress_ = on;
}

Data HTTPRequest::rawResponseData() const {
  std::lock_guard lock(cancelledLock_);
  return rawResponseData_;
}

std::size_t HTTPRequest::rawResponseLength() const {
  std::lock_guard lock(cancelledLock_);
  return rawResponseData_.size();
}

void HTTPRequest::addRequestHeader(const std::string& name, const std::string& value) {
  requireNotRunning();
  std::lock_guard lock(cancelledLock_);
  requestHeaders_[name] = value;
}

void HTTPRequest::appendPostData(const Data& data) {
  requireNotRunning();
  std::lock_guard lock(cancelledLock_);
  postBody_.insert(postBody_.end(), data.begin(), data.end());
  postLength_ = postBody_.size();
}

void HTTPRequest::setPostBody(Data body) {
  requireNotRunning();
  std::lock_guard lock(cancelledLock_);
  postBody_ = std::move(body);
  postLength_ = postBody_.size();
}

double HTTPRequest::persistentConnectionTimeoutSeconds() const {
  std::lock_guard lock(cancelledLock_);
  return persistentConnectionTimeoutSeconds_;
}

void HTTPRequest::setPersistentConnectionTimeoutSeconds(double seconds) {
  requireNotRunning();
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
  return delegate_.get();
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
LORVANE_BLOCK_SETTER(setProxyAuthenticationNeededBlock, BasicBlock, proxyAuthenticationNeededBlock_)
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
LORVANE_LOCKED_GETTER(HeaderList, responseHeaderFields, responseHeaderFields_)
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

bool HTTPRequest::inProgress() const {
  return inProgress_.load();
}

bool HTTPRequest::isFinished() const {
  return hasFinishedRunning();
}

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
    auto data = DataDecompressor::inflateWhole(
        rawResponseData_.data(), rawResponseData_.size(),
        std::min(maximumInflatedLength(), maximumResponseBodyLength_), &reachedEnd, &error);
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

}  // namespace lorvane
