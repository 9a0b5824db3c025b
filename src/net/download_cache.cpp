#include "net/download_cache.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <regex>

#include "net/http_request.h"
#include "platform/foundation/file_manager.h"

namespace lorvane {

namespace {

const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                               "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

// Text may only be written to the headers file one entry a line.
std::string escapeLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::optional<std::string> unescapeLine(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i >= text.size()) return std::nullopt;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      default:
        return std::nullopt;
    }
  }
  return out;
}

// The seconds of "max-age=N" in a Cache-Control value.
std::optional<double> maxAgeOf(const std::string& cacheControl) {
  static const std::regex pattern("max-age\\s*=\\s*(\\d+)");
  std::smatch match;
  if (!std::regex_search(cacheControl, match, pattern)) return std::nullopt;
  return std::strtod(match[1].str().c_str(), nullptr);
}

}  // namespace

std::shared_ptr<DownloadCache> DownloadCache::sharedCache() {
  static std::shared_ptr<DownloadCache> cache = [] {
    auto created = std::make_shared<DownloadCache>();
    created->setStoragePath(appendingPathComponent(FileManager::defaultManager().cachesDirectory(),
                                                   "HTTPRequestCache"));
    created->setDefaultCachePolicy(kUseDefaultCachePolicy);
    return created;
  }();
  return cache;
}

DownloadCache::DownloadCache() {
  setDefaultCachePolicy(kUseDefaultCachePolicy);
}

std::string DownloadCache::storagePath() const {
  std::lock_guard lock(accessLock_);
  return storagePath_;
}

void DownloadCache::setStoragePath(const std::string& path) {
  std::unique_lock lock(accessLock_);
  if (!storagePath_.empty())
    clearStoreLocked(storagePath_, kCacheForSessionDurationCacheStoragePolicy);
  storagePath_ = path;
  FileManager& files = FileManager::defaultManager();
  for (const std::string& folder : {path, appendingPathComponent(path, kSessionStoreFolder),
                                    appendingPathComponent(path, kPermanentStoreFolder)}) {
    bool isDirectory = false;
    if (files.fileExists(folder, &isDirectory)) {
      if (!isDirectory) {
        lock.unlock();
        throw Exception("FileExistsAtCachePath", "Cannot create a directory for the cache at '" +
                                                     folder + "', because a file already exists");
      }
      continue;
    }
    if (!files.createDirectory(folder, true)) {
      lock.unlock();
      throw Exception("FailedToCreateCacheDirectory",
                      "Failed to create a directory for the cache at '" + folder + "'");
    }
  }
  clearStoreLocked(storagePath_, kCacheForSessionDurationCacheStoragePolicy);
}

int DownloadCache::defaultCachePolicy() const {
  std::lock_guard lock(accessLock_);
  return defaultCachePolicy_;
}

void DownloadCache::setDefaultCachePolicy(int policy) {
  std::lock_guard lock(accessLock_);
  defaultCachePolicy_ =
      policy == kUseDefaultCachePolicy ? kAskServerIfModifiedWhenStaleCachePolicy : policy;
}

bool DownloadCache::shouldRespectCacheControlHeaders() const {
  std::lock_guard lock(accessLock_);
  return shouldRespectCacheControlHeaders_;
}

void DownloadCache::setShouldRespectCacheControlHeaders(bool respect) {
  std::lock_guard lock(accessLock_);
  shouldRespectCacheControlHeaders_ = respect;
}

// ---- Keys, names and paths --------------------------------------------------

std::string DownloadCache::keyForURL(const URL& url) {
  std::string text = url.absoluteString();
  if (!text.empty() && text.back() == '/') text.pop_back();
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int length = 0;
  EVP_Digest(text.data(), text.size(), digest, &length, EVP_md5(), nullptr);
  std::string key;
  char hex[3];
  for (unsigned int i = 0; i < length; ++i) {
    std::snprintf(hex, sizeof hex, "%02X", digest[i]);
    key += hex;
  }
  return key;
}

std::string DownloadCache::dataFileName(const URL& url) {
  std::string extension = url.pathExtension();
  return keyForURL(url) + "." + (extension.empty() ? std::string("html") : extension);
}

std::string DownloadCache::headersFileName(const URL& url) {
  return keyForURL(url) + ".cachedheaders";
}

std::string DownloadCache::storeFolder(int storagePolicy) const {
  return appendingPathComponent(storagePath_,
                                storagePolicy == kCacheForSessionDurationCacheStoragePolicy
                                    ? kSessionStoreFolder
                                    : kPermanentStoreFolder);
}

std::string DownloadCache::findFile(const std::string& fileName) const {
  if (storagePath_.empty()) return {};
  FileManager& files = FileManager::defaultManager();
  for (const char* folder : {kSessionStoreFolder, kPermanentStoreFolder}) {
    std::string path =
        appendingPathComponent(appendingPathComponent(storagePath_, folder), fileName);
    if (files.fileExists(path)) return path;
  }
  return {};
}

std::string DownloadCache::pathToCachedResponseDataForURL(const URL& url) const {
  std::lock_guard lock(accessLock_);
  return findFile(dataFileName(url));
}

std::string DownloadCache::pathToCachedResponseHeadersForURL(const URL& url) const {
  std::lock_guard lock(accessLock_);
  return findFile(headersFileName(url));
}

std::string DownloadCache::pathToStoreCachedResponseDataForRequest(
    const HTTPRequest& request) const {
  auto url = request.url();
  int storagePolicy = request.cacheStoragePolicy();
  std::lock_guard lock(accessLock_);
  if (storagePath_.empty() || !url) return {};
  return appendingPathComponent(storeFolder(storagePolicy), dataFileName(*url));
}

std::string DownloadCache::pathToStoreCachedResponseHeadersForRequest(
    const HTTPRequest& request) const {
  auto url = request.url();
  int storagePolicy = request.cacheStoragePolicy();
  std::lock_guard lock(accessLock_);
  if (storagePath_.empty() || !url) return {};
  return appendingPathComponent(storeFolder(storagePolicy), headersFileName(*url));
}

DownloadCache::RequestFacts DownloadCache::factsOf(const HTTPRequest& request) {
  RequestFacts facts;
  facts.url = request.url();
  facts.policy = request.cachePolicy();
  facts.storagePolicy = request.cacheStoragePolicy();
  facts.complete = request.complete();
  facts.hasResponseHeaders = request.hasResponseHeaders();
  facts.status = request.responseStatusCode();
  if (facts.hasResponseHeaders) facts.responseHeaders = request.responseHeaders();
  return facts;
}

// ---- Header files and dates -------------------------------------------------

std::string DownloadCache::serializeHeaders(const HeaderMap& headers) {
  std::string text;
  for (const auto& [name, value] : headers) {
    text += escapeLine(name) + "\t" + escapeLine(value) + "\n";
  }
  return text;
}

std::optional<HeaderMap> DownloadCache::parseHeaders(const std::string& text) {
  HeaderMap headers;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) return std::nullopt;  // cut short
    std::string line = text.substr(start, end - start);
    start = end + 1;
    std::size_t tab = line.find('\t');
    if (tab == std::string::npos) return std::nullopt;
    auto name = unescapeLine(line.substr(0, tab));
    auto value = unescapeLine(line.substr(tab + 1));
    if (!name || !value) return std::nullopt;
    headers[*name] = *value;
  }
  return headers;
}

std::string DownloadCache::formatRFC1123Date(DateSeconds date) {
  return formatDate(date, "EEE, dd MMM yyyy HH:mm:ss 'GMT'", 0);
}

std::optional<DateSeconds> DownloadCache::parseRFC1123Date(const std::string& text) {
  // "[EEE, ]dd MMM yyyy HH:mm[:ss] z": the weekday only with a comma, the
  // seconds only when the text has three parts at ':'.
  std::string rest = text;
  if (auto comma = rest.find(','); comma != std::string::npos) rest = rest.substr(comma + 1);
  int day = 0, year = 0, hour = 0, minute = 0, second = 0;
  char month[4] = {0};
  char zone[16] = {0};
  int consumed = 0;
  bool withSeconds = std::count(text.begin(), text.end(), ':') == 2;
  int fields;
  if (withSeconds) {
    fields = std::sscanf(rest.c_str(), " %2d %3s %4d %2d:%2d:%2d %15s%n", &day, month, &year, &hour,
                         &minute, &second, zone, &consumed);
    if (fields != 7) return std::nullopt;
  } else {
    fields = std::sscanf(rest.c_str(), " %2d %3s %4d %2d:%2d %15s%n", &day, month, &year, &hour,
                         &minute, zone, &consumed);
    if (fields != 6) return std::nullopt;
  }
  if (static_cast<std::size_t>(consumed) != rest.size()) {
    // Trailing text other than white space is not a date.
    for (std::size_t i = static_cast<std::size_t>(consumed); i < rest.size(); ++i) {
      if (!std::isspace(static_cast<unsigned char>(rest[i]))) return std::nullopt;
    }
  }
  int monthIndex = -1;
  for (int i = 0; i < 12; ++i) {
    if (equalsIgnoringCase(month, kMonths[i])) monthIndex = i;
  }
  if (monthIndex < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  std::string zoneName = toLower(zone);
  int offset = 0;
  if (zoneName == "gmt" || zoneName == "utc" || zoneName == "ut" || zoneName == "z") {
    offset = 0;
  } else if ((zoneName[0] == '+' || zoneName[0] == '-') && zoneName.size() == 5) {
    int value = std::atoi(zoneName.c_str() + 1);
    offset = (value / 100 * 3600 + value % 100 * 60) * (zoneName[0] == '-' ? -1 : 1);
  } else {
    return std::nullopt;
  }
  long long days =
      daysFromCivil(year, static_cast<unsigned>(monthIndex + 1), static_cast<unsigned>(day));
  return static_cast<DateSeconds>(days * 86400 + hour * 3600 + minute * 60 + second - offset);
}

// ---- Storing and reading ----------------------------------------------------

bool DownloadCache::serverAllowsResponseCachingForRequest(const HTTPRequest& request) {
  HeaderMap headers = request.responseHeaders();
  std::string cacheControl = toLower(headerValue(headers, "Cache-Control"));
  if (cacheControl == "no-cache" || cacheControl == "no-store") return false;
  std::string pragma = toLower(headerValue(headers, "Pragma"));
  return pragma != "no-cache";
}

void DownloadCache::storeResponseForRequest(HTTPRequest& request, double maxAge) {
  // Everything from the request first: its lock comes before ours.
  RequestFacts facts = factsOf(request);
  if (request.error() || !facts.hasResponseHeaders || facts.status != 200 || !facts.url ||
      (facts.policy & kDoNotWriteToCacheCachePolicy)) {
    return;
  }
  const std::string downloadPath = request.downloadDestinationPath();
  const bool compressed = request.isResponseCompressed();
  std::optional<Data> body;
  if (downloadPath.empty()) {
    body = request.responseData();
    if (!body) return;  // a body that cannot be inflated is not worth keeping
  }

  std::lock_guard lock(accessLock_);
  if (shouldRespectCacheControlHeaders_) {
    std::string cacheControl = toLower(headerValue(facts.responseHeaders, "Cache-Control"));
    std::string pragma = toLower(headerValue(facts.responseHeaders, "Pragma"));
    if (cacheControl == "no-cache" || cacheControl == "no-store" || pragma == "no-cache") return;
  }
  if (storagePath_.empty()) return;
  const std::string folder = storeFolder(facts.storagePolicy);
  const std::string headerPath = appendingPathComponent(folder, headersFileName(*facts.url));
  const std::string dataPath = appendingPathComponent(folder, dataFileName(*facts.url));

  HeaderMap headers = facts.responseHeaders;
  if (compressed) headers.erase("Content-Encoding");
  if (maxAge != 0) {
    headers.erase("Expires");
    headers["Cache-Control"] = "max-age=" + std::to_string(static_cast<int>(maxAge));
  }
  headers[kFetchDateHeader] = formatRFC1123Date(currentDate());

  FileManager& files = FileManager::defaultManager();
  if (!downloadPath.empty()) {
    if (downloadPath != dataPath) {
      if (files.fileExists(dataPath)) files.removeItem(dataPath);
      if (!files.copyItem(downloadPath, dataPath)) return;
    }
    auto attributes = files.attributesOfItem(dataPath);
    if (!attributes) return;
    headers["Content-Length"] = std::to_string(attributes->size);
  } else {
    // The length of what is kept, so a body cut short on disk is noticed.
    headers["Content-Length"] = std::to_string(body->size());
    if (!files.writeAtomically(dataPath, *body)) return;
  }
  files.writeAtomically(headerPath, serializeHeaders(headers));
}

std::optional<HeaderMap> DownloadCache::cachedResponseHeadersForURL(const URL& url) const {
  std::lock_guard lock(accessLock_);
  std::string path = findFile(headersFileName(url));
  if (path.empty()) return std::nullopt;
  auto text = FileManager::defaultManager().stringContentsAtPath(path);
  if (!text) return std::nullopt;
  return parseHeaders(*text);
}

std::optional<Data> DownloadCache::cachedResponseDataForURL(const URL& url) const {
  std::lock_guard lock(accessLock_);
  std::string path = findFile(dataFileName(url));
  if (path.empty()) return std::nullopt;
  return FileManager::defaultManager().contentsAtPath(path);
}

std::optional<HeaderMap> DownloadCache::intactCachedResponseHeadersForURL(const URL& url) const {
  std::lock_guard lock(accessLock_);
  return intactEntryLocked(url);
}

std::optional<HeaderMap> DownloadCache::intactEntryLocked(const URL& url) const {
  auto stored = cachedResponseHeadersForURL(url);
  if (!stored) return std::nullopt;
  std::string dataPath = findFile(dataFileName(url));
  if (dataPath.empty()) return std::nullopt;
  std::string length = headerValue(*stored, "Content-Length");
  if (!length.empty()) {
    auto attributes = FileManager::defaultManager().attributesOfItem(dataPath);
    if (!attributes || std::to_string(attributes->size) != length) return std::nullopt;
  }
  return stored;
}

bool DownloadCache::isCachedDataCurrentForRequest(const HTTPRequest& request) const {
  return isCachedDataCurrent(factsOf(request));
}

bool DownloadCache::isCachedDataCurrent(const RequestFacts& facts) const {
  std::lock_guard lock(accessLock_);
  if (storagePath_.empty() || !facts.url) return false;
  auto stored = intactEntryLocked(*facts.url);
  if (!stored) return false;

  if (facts.hasResponseHeaders && facts.status != 304) {
    for (const char* name : {"Etag", "Last-Modified"}) {
      auto ours = stored->find(name);
      auto theirs = facts.responseHeaders.find(name);
      if (ours == stored->end() || theirs == facts.responseHeaders.end() ||
          ours->second != theirs->second) {
        return false;
      }
    }
  }
  if (!shouldRespectCacheControlHeaders_) return true;

  if (auto maxAge = maxAgeOf(toLower(headerValue(*stored, "Cache-Control")))) {
    auto fetched = parseRFC1123Date(headerValue(*stored, kFetchDateHeader));
    if (!fetched) return false;
    return *fetched + *maxAge >= currentDate();
  }
  auto expires = parseRFC1123Date(headerValue(*stored, "Expires"));
  return expires && *expires >= currentDate();
}

bool DownloadCache::canUseCachedDataForRequest(const HTTPRequest& request) const {
  return canUseCachedData(factsOf(request));
}

bool DownloadCache::canUseCachedData(const RequestFacts& facts) const {
  std::lock_guard lock(accessLock_);
  int policy = facts.policy;
  if (policy == kUseDefaultCachePolicy) policy = defaultCachePolicy_;
  if (policy & kDoNotReadFromCacheCachePolicy) return false;
  if (policy & kDontLoadCachePolicy) return true;
  if (!facts.url || !intactEntryLocked(*facts.url)) return false;
  if ((policy & kOnlyLoadIfNotCachedCachePolicy) ||
      ((policy & kFallbackToCacheIfLoadFailsCachePolicy) && facts.complete)) {
    return true;
  }
  if ((policy & kAskServerIfModifiedWhenStaleCachePolicy) ||
      ((policy & kAskServerIfModifiedCachePolicy) && facts.hasResponseHeaders)) {
    return isCachedDataCurrent(facts);
  }
  return false;
}

void DownloadCache::removeCachedDataForRequest(const HTTPRequest& request) {
  auto url = request.url();
  std::lock_guard lock(accessLock_);
  if (!url) return;
  std::string headers = findFile(headersFileName(*url));
  std::string data = findFile(dataFileName(*url));
  if (headers.empty() || data.empty()) return;
  FileManager::defaultManager().removeItem(headers);
  FileManager::defaultManager().removeItem(data);
}

void DownloadCache::clearStoreLocked(const std::string& root, int storagePolicy) {
  std::string folder = appendingPathComponent(
      root, storagePolicy == kCacheForSessionDurationCacheStoragePolicy ? kSessionStoreFolder
                                                                        : kPermanentStoreFolder);
  FileManager& files = FileManager::defaultManager();
  bool isDirectory = false;
  if (!files.fileExists(folder, &isDirectory)) return;
  if (!isDirectory) {
    throw Exception("FailedToTraverseCacheDirectory",
                    "Listing cache directory failed at path '" + folder + "'");
  }
  for (const auto& name : files.contentsOfDirectory(folder)) {
    std::string path = appendingPathComponent(folder, name);
    if (!files.removeItem(path)) {
      throw Exception("FailedToRemoveCacheFile",
                      "Failed to remove cached data at path '" + path + "'");
    }
  }
}

void DownloadCache::clearCachedResponsesForStoragePolicy(int storagePolicy) {
  std::lock_guard lock(accessLock_);
  if (storagePath_.empty()) return;
  clearStoreLocked(storagePath_, storagePolicy);
}

}  // namespace lorvane
