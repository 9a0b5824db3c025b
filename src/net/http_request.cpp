#include "net/http_request.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "net/bandwidth.h"
#include "net/connection.h"
#include "net/connection_pool.h"
#include "net/data_compressor.h"
#include "net/data_decompressor.h"
#include "net/download_cache.h"
#include "net/http_request_internal.h"
#include "net/network_activity.h"
#include "net/network_thread.h"
#include "net/response_framing.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/run_loop.h"

namespace lorvane {

using detail::base64Encode;
using detail::httpClassState;

namespace {

constexpr const char* kNetworkErrorDomain = "kCFErrorDomainCFNetwork";
constexpr const char* kPOSIXErrorDomain = "NSPOSIXErrorDomain";
constexpr const char* kOSStatusErrorDomain = "NSOSStatusErrorDomain";
constexpr int kNetworkConnectionLost = -1005;
constexpr int kHTTPParseFailure = -1017;
constexpr int kCannotFindHost = -1003;
constexpr int kSecureTransportCertificateError = -9807;  // within -9818 ... -9800
// Beyond what the socket can buffer, a silent upload is a stalled one.
constexpr std::uint64_t kUploadBufferSize = 128 * 1024;

// Header values must not break the request apart.
std::string sanitizeHeaderText(const std::string& text) {
  std::string clean = text;
  for (char& c : clean) {
    if (c == '\r' || c == '\n' || c == '\0') c = ' ';
  }
  return clean;
}
}  // namespace

// ---- Starting ---------------------------------------------------------------

void HTTPRequest::startAsynchronous() {
  sharedQueue().addOperation(self());
}

void HTTPRequest::start() {
  inProgress_.store(true);
  setExecuting(true);
  auto me = self();
  // Should the network thread stop while this runs, the request still ends
  // (as cancelled) instead of hanging in its queue for ever.
  NetworkThread& network = NetworkThread::shared();
  const std::uint64_t handler = network.addShutdownHandler([weak = std::weak_ptr<HTTPRequest>(me)] {
    if (auto request = weak.lock()) request->endWithoutNetwork();
  });
  if (handler == 0) {
    // Already shut down: the network thread never sees this request.
    endWithoutNetwork();
    return;
  }
  shutdownHandler_.store(handler);
  // A refused post means the thread is stopping: the handler ends it.
  network.post([me] { me->main(); });
}

void HTTPRequest::startSynchronous() {
  {
    std::lock_guard lock(cancelledLock_);
    synchronous_ = true;
  }
  inProgress_.store(true);
  setExecuting(true);
  auto me = self();
  // A caller blocked here must not wait for ever on a network thread that
  // has gone: its shutdown cancels the exchange, as does a refused post.
  NetworkThread& network = NetworkThread::shared();
  const std::uint64_t handler = network.addShutdownHandler([weak = std::weak_ptr<HTTPRequest>(me)] {
    if (auto request = weak.lock()) request->cancelOnRequestThread();
  });
  if (handler == 0 || !network.post([me] { me->main(); })) me->cancelOnRequestThread();
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
    if (hasFinishedRunning() && syncTasks_.empty()) break;
  }
  lock.unlock();
  network.removeShutdownHandler(handler);
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
    sentConditionalRequest_ = false;
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
      if (cachePolicy_ == kUseDefaultCachePolicy)
        cachePolicy_ = downloadCache_->defaultCachePolicy();
      if (downloadCache_->canUseCachedDataForRequest(*this)) {
        useDataFromCache();
        return;
      }
      if (cachePolicy_ &
          (kAskServerIfModifiedWhenStaleCachePolicy | kAskServerIfModifiedCachePolicy)) {
        // Only a whole entry is worth validating; a damaged one is fetched.
        if (auto cached = downloadCache_->intactCachedResponseHeadersForURL(*url_)) {
          std::string etag = headerValue(*cached, "Etag");
          std::string modified = headerValue(*cached, "Last-Modified");
          if (!etag.empty()) requestHeaders_["If-None-Match"] = etag;
          if (!modified.empty()) requestHeaders_["If-Modified-Since"] = modified;
          sentConditionalRequest_ = !etag.empty() || !modified.empty();
        }
      }
    }

    if (!username_.empty() && shouldPresentCredentialsBeforeChallenge_ && mayPresentCredentials() &&
        requestHeaders_.find("Authorization") == requestHeaders_.end()) {
      requestHeaders_["Authorization"] = "Basic " + base64Encode(username_ + ":" + password_);
      credentialsSent_ = true;
    }
    startRequest();
  } catch (const Exception& exception) {
    failWithException(exception.name(), exception.reason());
  } catch (const std::exception& exception) {
    failWithException("std::exception", exception.what());
  }
}

template <typename Step>
void HTTPRequest::guarded(Step&& step) {
  try {
    step();
  } catch (const Exception& exception) {
    std::lock_guard lock(cancelledLock_);
    failWithException(exception.name(), exception.reason());
  } catch (const std::bad_alloc&) {
    std::lock_guard lock(cancelledLock_);
    failWithException("std::bad_alloc", "Out of memory while handling the response");
  } catch (const std::exception& exception) {
    std::lock_guard lock(cancelledLock_);
    failWithException("std::exception", exception.what());
  }
}

void HTTPRequest::failWithException(const std::string& name, const std::string& reason) {
  UserInfo underlyingInfo;
  underlyingInfo[kLocalizedDescriptionKey] = name;
  underlyingInfo[kLocalizedFailureReasonKey] = reason;
  UserInfo info = underlyingInfo;
  info[kUnderlyingErrorKey] =
      Error::make(kHTTPRequestErrorDomain, kUnhandledExceptionError, underlyingInfo);
  // Whatever the step left half done goes with the connection.
  try {
    cancelLoad();
  } catch (...) {
  }
  failWithError(Error::make(kHTTPRequestErrorDomain, kUnhandledExceptionError, info));
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
  // A Cookie header the caller wrote stays unless there are cookies to send.
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
  if (!shouldAttemptPersistentConnection_ &&
      requestHeaders_.find("Connection") == requestHeaders_.end()) {
    text += "Connection: close\r\n";
  }
  Data body = postBody_;
  if (shouldCompressRequestBody_ && !body.empty()) {
    // Compression failure is caught earlier; here the body is known good.
    if (auto compressed = DataCompressor::compressData(body)) body = std::move(*compressed);
  }
  bool methodCarriesBody =
      requestMethod_ == "POST" || requestMethod_ == "PUT" || requestMethod_ == "PATCH";
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
  responseHeaderFields_.clear();
  headersRead_ = false;
  authenticationNeeded_ = 0;
  connectionCanBeReused_ = false;
  answerFromCacheAfterExchange_ = false;
  heldBackByThrottling_ = false;
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

  connection->setReadBufferSize(Bandwidth::isThrottlingActive() ? Bandwidth::maxReadLength(16384)
                                                                : 16384);
  scheduleStream();

  Connection::Handlers handlers;
  handlers.opened = [me, attempt] { me->guarded([&] { me->handleOpened(attempt); }); };
  handlers.received = [me, attempt](const std::uint8_t* bytes, std::size_t length) {
    me->guarded([&] { me->handleBytes(attempt, bytes, length); });
  };
  handlers.ended = [me, attempt] { me->guarded([&] { me->handleEnd(attempt); }); };
  handlers.failed = [me, attempt](const StreamFailure& failure) {
    me->guarded([&] { me->handleStreamFailure(attempt, failure); });
  };
  connection->begin(serializeRequest(), std::move(handlers));
  if (attempt != attempt_ || complete_) return;  // it failed at once

  lastActivityTime_ = Clock::shared().now();
  if (!statusTimer_ || !statusTimer_->isValid()) {
    std::weak_ptr<HTTPRequest> weak = me;
    statusTimer_ = NetworkThread::shared().scheduleStatusCheck([weak] {
      auto request = weak.lock();
      if (!request) return;
      request->guarded([&] { request->checkRequestStatus(); });
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
      if (framing_->failure() == ResponseFraming::Failure::kTooManyInterimResponses) {
        cancelLoad();
        failWithError(Error::make(kHTTPRequestErrorDomain, kTooManyInterimResponsesErrorType,
                                  framing_->failureReason()));
      } else {
        failWithStreamError(
            Error::make(kNetworkErrorDomain, kHTTPParseFailure, framing_->failureReason()), false,
            false);
      }
    } else if (framing_->isComplete()) {
      // Bytes past the end of the reply belong to no request. Whether they
      // come in the same read or later, the reply stands and the
      // connection is not used again.
      if (taken < length) connectionCanBeReused_ = false;
      handleStreamComplete();
    } else if (connection_ && Bandwidth::isThrottlingActive()) {
      if (Bandwidth::isBandwidthThrottled()) {
        connection_->pauseReading();
        heldBackByThrottling_ = true;
      }
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
    } else if (framing_->isComplete() && framing_->bodyEndsWithConnection() && connection_ &&
               connection_->endedWithoutCloseNotify()) {
      // Over TLS only close_notify tells the end of the body from an
      // attacker (or a failure) cutting the connection.
      failWithStreamError(Error::make(kNetworkErrorDomain, kNetworkConnectionLost,
                                      "The secure connection ended without close_notify"),
                          false, false);
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
        bool lost =
            nothingReceived && (failure.posixCode == EPIPE || failure.posixCode == ENOTCONN ||
                                failure.posixCode == ECONNRESET);
        failWithStreamError(Error::make(kPOSIXErrorDomain, failure.posixCode, failure.message),
                            false, lost);
        break;
      }
    }
  }
  afterStreamEvent();
}

bool HTTPRequest::shouldRedirectNow() const {
  return downloadComplete_ && needsRedirect_;
}

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
  responseHeaderFields_ = framing_->headerList();
  responseStatusCode_ = framing_->statusCode();
  responseStatusMessage_ = framing_->statusLine();

  if (responseStatusCode_ == 304 && downloadCache_ && sentConditionalRequest_ &&
      downloadCache_->intactCachedResponseHeadersForURL(*url_)) {
    // Not modified: the stored reply is valid again, however old it was.
    // Once the exchange is over it answers, refreshed by this reply.
    answerFromCacheAfterExchange_ = true;
    return;
  }

  if (responseStatusCode_ == 401) authenticationNeeded_ = 1;
  if (responseStatusCode_ == 407) authenticationNeeded_ = 2;

  updateResponseEncoding();

  responseCookies_ = cookiesFromHeaderFields(framing_->headerList(), *url_, currentDate());
  if (useCookiePersistence_ && !responseCookies_.empty()) {
    CookieStore::shared().setCookies(responseCookies_);
    std::lock_guard lock(httpClassState().mutex);
    auto& session = httpClassState().sessionCookies;
    session.insert(session.end(), responseCookies_.begin(), responseCookies_.end());
  }

  std::string location = headerValue(*responseHeaders_, "Location");
  int status = responseStatusCode_;
  bool redirects = status == 301 || status == 302 || status == 303 || status == 307;
  if (shouldRedirect_ && !location.empty() && redirects) {
    deliver([me = self()] { me->reportRedirected(); });
    // A HEAD stays a HEAD: it asks about the resource, whatever the status.
    if (status == 307 || (shouldUseRFC2616RedirectBehaviour_ && status != 303) ||
        requestMethod_ == "HEAD") {
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
    if (redirectURL_ && !isSameOrigin(*redirectURL_, *url_)) {
      // What the caller meant for this server is not for the next one.
      std::erase_if(requestHeaders_, [](const auto& header) {
        return equalsIgnoringCase(header.first, "Authorization") ||
               equalsIgnoringCase(header.first, "Cookie");
      });
    }
    needsRedirect_ = true;
    requestCookies_.clear();
  } else {
    std::string length = headerValue(*responseHeaders_, "Content-Length");
    auto owner = mainRequest_.lock();
    if (requestMethod_ == "HEAD" && owner) {
      // A HEAD reply of exactly 20 bytes while gzip is allowed is the size
      // of an empty gzip body, not of the real one.
      std::uint64_t size = std::strtoull(length.c_str(), nullptr, 10);
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
      contentLength_ = std::strtoull(length.c_str(), nullptr, 10);
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
    connection_->setReadBufferSize(
        Bandwidth::isThrottlingActive() ? Bandwidth::maxReadLength(bufferSize) : bufferSize);
  }
  if (keepsBodyInMemory() && requestMethod_ != "HEAD" && !needsRedirect_ &&
      contentLength_ > maximumResponseBodyLength_) {
    cancelLoad();
    failWithError(bodyTooLargeError());
    return;
  }
  if (contentLength_ > 0 && !needsRedirect_ && keepsBodyInMemory()) {
    reserveBody(contentLength_);
  }

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
      fileError_ =
          Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                      "Failed to create file at path '" + temporaryFileDownloadPath() + "'");
    }
  }

  if ((delegate_ && delegate_->respondsToSelector(didReceiveResponseHeadersSelector_)) ||
      headersReceivedBlock_ ||
      (queue_ && queue_->respondsToSelector(HTTPSelector::requestDidReceiveResponseHeaders))) {
    deliver([me = self(), headers = *responseHeaders_] { me->reportHeaders(headers); });
  }
}

bool HTTPRequest::isSameOrigin(const URL& a, const URL& b) {
  return equalsIgnoringCase(a.scheme(), b.scheme()) && equalsIgnoringCase(a.host(), b.host()) &&
         a.effectivePort() == b.effectivePort();
}

bool HTTPRequest::mayPresentCredentials() const {
  // Credentials belong to the server the caller named, not to wherever it
  // redirects.
  const std::optional<URL>& first = redirectCount_ == 0 ? url_ : originalURL_;
  return url_ && first && isSameOrigin(*url_, *first);
}

// The raw body is kept whole, so its announced length (already checked
// against the limit) is worth one reservation: growing by doubling instead
// would copy the body about once more and touch twice its memory. Reserved
// pages that a lying server never fills cost address space, not memory.
void HTTPRequest::reserveBody(std::uint64_t announced) {
  const std::uint64_t wanted = std::min({announced, maximumResponseBodyLength_,
                                         std::uint64_t{TransferLimits::kMaximumBodyReservation}});
  try {
    rawResponseData_.reserve(static_cast<std::size_t>(wanted));
  } catch (const std::exception&) {
    // Too much to set aside in one piece: grow as the bytes arrive.
    rawResponseData_.reserve(static_cast<std::size_t>(
        std::min<std::uint64_t>(wanted, TransferLimits::kMaximumReservation)));
  }
}

bool HTTPRequest::keepsBodyInMemory() const {
  return !delegateWantsData() && downloadDestinationPath_.empty();
}

ErrorPtr HTTPRequest::bodyTooLargeError() const {
  return Error::make(kHTTPRequestErrorDomain, kResponseTooLargeErrorType,
                     "The response body is larger than the limit of " +
                         std::to_string(maximumResponseBodyLength_) + " bytes");
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
      fileError_ =
          Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                      "Failed to write to file at path '" + temporaryFileDownloadPath() + "'");
    }
  } else {
    if (rawResponseData_.size() + size > maximumResponseBodyLength_) {
      cancelLoad();
      failWithError(bodyTooLargeError());
      return;
    }
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
    if (std::fclose(downloadFile_.release()) != 0 && !completionError) {
      completionError =
          Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                      "Failed to write to file at path '" + temporaryFileDownloadPath() + "'");
    }
    FileManager& files = FileManager::defaultManager();
    const std::string temporary = temporaryFileDownloadPath();
    if (!needsRedirect_ && !completionError) {
      // The destination is replaced in one step, and only by a whole body:
      // whatever fails on the way leaves the file that was there.
      std::string finished = temporary;
      if (isResponseCompressed() && shouldWaitToInflateCompressedResponses_) {
        finished = downloadDestinationPath_ + ".inflating";
        ErrorPtr inflateError;
        if (!DataDecompressor::uncompressDataFromFile(temporary, finished, &inflateError)) {
          completionError = inflateError;
          files.removeItem(finished);
        }
        files.removeItem(temporary);
      }
      if (!completionError &&
          std::rename(finished.c_str(), downloadDestinationPath_.c_str()) != 0) {
        completionError = Error::make(
            kHTTPRequestErrorDomain, kFileManagementError,
            "Failed to move file from '" + finished + "' to '" + downloadDestinationPath_ + "'");
        files.removeItem(finished);
      }
    } else if (completionError && !allowResumeForFileDownloads_) {
      files.removeItem(temporary);
    }
  }

  releaseConnection();
  if (!showAccurateProgress_ && !needsRedirect_) reportUnitProgress();

  if (answerFromCacheAfterExchange_) {
    useDataFromCache(responseHeaders_);
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
      if (connectionInfo_ && connectionInfo_->stream == connection_)
        connectionInfo_->stream.reset();
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
    description +=
        ": SSL problem (Possible causes may include a bad/expired/self-signed "
        "certificate, clock set to wrong date)";
  }
  failWithError(Error::make(kHTTPRequestErrorDomain, kConnectionFailureErrorType, description,
                            std::move(underlying)));
}

void HTTPRequest::failWithError(ErrorPtr error, bool mayUseCache) {
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

  if (mayUseCache && downloadCache_ && (cachePolicy_ & kFallbackToCacheIfLoadFailsCachePolicy) &&
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
  if (const std::uint64_t handler = shutdownHandler_.exchange(0)) {
    NetworkThread::shared().removeShutdownHandler(handler);
  }
  if (statusTimer_) {
    statusTimer_->invalidate();
    statusTimer_.reset();
  }
  inProgress_.store(false);
  setExecuting(false);
  setFinished();
  NetworkThread::shared().expectWorkSoon();  // the caller's next request, often
  std::lock_guard lock(syncMutex_);
  syncChanged_.notify_all();
}

// ---- Status timer and time-outs -------------------------------------------

bool HTTPRequest::shouldTimeOut() const {
  // A read held back by throttling is our silence, not the server's.
  if (!readStreamIsScheduled_ || heldBackByThrottling_ || lastActivityTime_ == 0 ||
      timeOutSeconds_ <= 0) {
    return false;
  }
  TimeInterval silence = Clock::shared().now() - lastActivityTime_;
  if (silence <= timeOutSeconds_) return false;
  return postLength_ == 0 || totalBytesSent_ > kUploadBufferSize || silence > timeOutSeconds_ * 1.5;
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
      heldBackByThrottling_ = true;
    } else {
      connection_->resumeReading();
      if (heldBackByThrottling_) {
        // Rescheduled: the time-out counts from now, as for a new stream.
        heldBackByThrottling_ = false;
        lastActivityTime_ = Clock::shared().now();
      }
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
    me->guarded([&] {
      std::lock_guard lock(me->cancelledLock_);
      me->redirectURL_ = url;
      me->performRedirect();
    });
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
  if (!proxy && !username_.empty() && !credentialsSent_ && mayPresentCredentials()) {
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
        "Basic " + base64Encode(me->username_ + ":" + me->password_);
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
  if (NetworkThread::shared().post([me] { me->guarded([&] { me->cancelOnRequestThread(); }); })) {
    return;
  }
  // The network thread is gone or going. A request running on it is ended
  // by its shutdown handler; any other is not touched there, so it is
  // cancelled here.
  if (shutdownHandler_.load() == 0) guarded([&] { cancelOnRequestThread(); });
}

void HTTPRequest::endWithoutNetwork() {
  std::lock_guard lock(cancelledLock_);
  if (finishedReported_) return;
  cancelOnRequestThread();
  if (finishedReported_) return;  // told and finished (or answered from the cache)
  if (!error_) {
    // Stopped between two steps of its exchange (a redirect just read, say),
    // when nothing has been told yet.
    cancelLoad();
    cancelled_ = true;
    error_ = requestCancelledError();
    Operation::cancel();
    deliver([me = self()] { me->reportFailure(); });
  }
  complete_ = true;
  markAsFinished();
}

void HTTPRequest::cancelOnRequestThread() {
  std::lock_guard lock(cancelledLock_);
  bool waitingOnCaller =
      awaitingRedirectDecision_ ||
      (downloadComplete_ && authenticationNeeded_ != 0 && !error_ && !finishedReported_);
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

bool HTTPRequest::useDataFromCache(const std::optional<HeaderMap>& notModifiedReply) {
  auto cache = downloadCache_;
  auto headers = cache->intactCachedResponseHeadersForURL(*url_);
  std::string dataPath = cache->pathToCachedResponseDataForURL(*url_);
  if (!headers || dataPath.empty()) {
    // The cache was the way out; it does not get a second chance.
    failWithError(Error::make(kHTTPRequestErrorDomain, kFileManagementError,
                              "Failed to get attributes for file at path '" + dataPath + "'"),
                  false);
    return false;
  }
  responseStatusCode_ = 200;
  responseStatusMessage_ = "HTTP/1.1 200 OK";
  didUseCachedResponse_ = true;
  if (notModifiedReply) {
    // A 304 brings the current validators and freshness of the entry.
    for (const char* name : {"Cache-Control", "Expires", "Etag", "Last-Modified", "Date"}) {
      std::string value = headerValue(*notModifiedReply, name);
      if (value.empty()) continue;
      headers->erase(name);
      (*headers)[name] = value;
    }
  }
  responseHeaders_ = *headers;
  responseHeaderFields_.assign(headers->begin(), headers->end());
  if (!downloadDestinationPath_.empty()) {
    FileManager& files = FileManager::defaultManager();
    if (files.fileExists(downloadDestinationPath_)) files.removeItem(downloadDestinationPath_);
    files.copyItem(dataPath, downloadDestinationPath_);
  } else {
    rawResponseData_ = FileManager::defaultManager().contentsAtPath(dataPath).value_or(Data());
  }
  contentLength_ = std::strtoull(headerValue(*headers, "Content-Length").c_str(), nullptr, 10);
  totalBytesRead_ = contentLength_;
  updateResponseEncoding();
  HeaderList fields;
  if (auto cookie = headers->find("Set-Cookie"); cookie != headers->end()) {
    fields.emplace_back(cookie->first, cookie->second);
  }
  responseCookies_ = cookiesFromHeaderFields(fields, *url_, currentDate());
  complete_ = true;
  downloadComplete_ = true;
  if (notModifiedReply) cache->storeResponseForRequest(*this, secondsToCache_);
  deliver([me = self()] { me->reportFinished(); });
  markAsFinished();
  return true;
}

}  // namespace lorvane
