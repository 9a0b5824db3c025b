#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "net/net_types.h"
#include "platform/foundation/date.h"
#include "platform/foundation/url.h"

namespace lorvane {

class HTTPRequest;

// Keeps successful responses (headers and body) as files, so a request can
// answer from them, validate them with a conditional request, or fall back
// to them when the network fails. Every operation holds one recursive lock,
// so requests on the network thread and callers elsewhere may share it.
//
// Lock order: a request's cancelledLock before the cache's accessLock. The
// network thread calls in here holding the request's lock, so the cache
// reads everything it needs from a request before it takes accessLock and
// never calls into a request while holding it.
class DownloadCache {
 public:
  static constexpr const char* kSessionStoreFolder = "SessionStore";
  static constexpr const char* kPermanentStoreFolder = "PermanentStore";
  static constexpr const char* kFetchDateHeader = "X-HTTPRequest-Fetch-date";

  // One cache for the process, in "HTTPRequestCache" under the caches folder.
  static std::shared_ptr<DownloadCache> sharedCache();

  DownloadCache();

  std::string storagePath() const;
  // Clears the session store of the old path, makes sure the folders of the
  // new one exist and clears its session store. Throws "FileExistsAtCachePath"
  // or "FailedToCreateCacheDirectory" when the folders cannot be made.
  void setStoragePath(const std::string& path);
  int defaultCachePolicy() const;
  // 0 stands for the default, 4.
  void setDefaultCachePolicy(int policy);
  bool shouldRespectCacheControlHeaders() const;
  void setShouldRespectCacheControlHeaders(bool respect);

  void storeResponseForRequest(HTTPRequest& request, double maxAge);
  std::optional<HeaderMap> cachedResponseHeadersForURL(const URL& url) const;
  std::optional<Data> cachedResponseDataForURL(const URL& url) const;
  // The stored headers when the entry is whole: both files there, the
  // headers readable and the body as long as they say.
  std::optional<HeaderMap> intactCachedResponseHeadersForURL(const URL& url) const;
  // Paths of stored files that exist (session store first), else empty.
  std::string pathToCachedResponseDataForURL(const URL& url) const;
  std::string pathToCachedResponseHeadersForURL(const URL& url) const;
  // Where the request's response would be stored, by its storage policy.
  std::string pathToStoreCachedResponseDataForRequest(const HTTPRequest& request) const;
  std::string pathToStoreCachedResponseHeadersForRequest(const HTTPRequest& request) const;
  void removeCachedDataForRequest(const HTTPRequest& request);
  bool isCachedDataCurrentForRequest(const HTTPRequest& request) const;
  bool canUseCachedDataForRequest(const HTTPRequest& request) const;
  // Removes every file of the session store (0) or the permanent store.
  // Throws "FailedToTraverseCacheDirectory" or "FailedToRemoveCacheFile".
  void clearCachedResponsesForStoragePolicy(int storagePolicy);

  static bool serverAllowsResponseCachingForRequest(const HTTPRequest& request);
  // 32 upper-case hex digits of the MD5 of the URL (one trailing "/" off).
  static std::string keyForURL(const URL& url);
  // "EEE, dd MMM yyyy HH:mm:ss 'GMT'" in en_US_POSIX and GMT.
  static std::string formatRFC1123Date(DateSeconds date);
  // "[EEE, ]dd MMM yyyy HH:mm[:ss] z".
  static std::optional<DateSeconds> parseRFC1123Date(const std::string& text);

  // What the cache needs to know about a request, read before the cache's
  // lock is taken.
  struct RequestFacts {
    std::optional<URL> url;
    int policy = 0;
    int storagePolicy = 0;
    bool complete = false;
    bool hasResponseHeaders = false;
    int status = 0;
    HeaderMap responseHeaders;
  };
  static RequestFacts factsOf(const HTTPRequest& request);
  bool canUseCachedData(const RequestFacts& facts) const;
  bool isCachedDataCurrent(const RequestFacts& facts) const;

  // The key-value file the headers are kept in.
  static std::string serializeHeaders(const HeaderMap& headers);
  static std::optional<HeaderMap> parseHeaders(const std::string& text);

 private:
  std::string storeFolder(int storagePolicy) const;
  std::string findFile(const std::string& fileName) const;
  static std::string dataFileName(const URL& url);
  static std::string headersFileName(const URL& url);
  void clearStoreLocked(const std::string& root, int storagePolicy);
  // The stored headers of a whole entry: both files there, the headers
  // readable and the body as long as they say. Nothing otherwise.
  std::optional<HeaderMap> intactEntryLocked(const URL& url) const;

  mutable std::recursive_mutex accessLock_;  // after any request's cancelledLock
  std::string storagePath_;
  int defaultCachePolicy_ = 0;
  bool shouldRespectCacheControlHeaders_ = true;
};

}  // namespace lorvane
