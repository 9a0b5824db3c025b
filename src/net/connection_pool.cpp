#include "net/connection_pool.h"

#include <algorithm>
#include <cstdlib>

#include "net/network_thread.h"

namespace lorvane {

namespace {

// The stream belongs to the network thread; closing happens there.
void closeStream(std::shared_ptr<Connection> stream) {
  if (!stream) return;
  NetworkThread::shared().dispatch([stream] { stream->close(); });
}

// The integer right after `key` in `text`, if any.
std::optional<long> integerAfter(const std::string& text, std::size_t keyEnd) {
  const char* start = text.c_str() + keyEnd;
  char* end = nullptr;
  long value = std::strtol(start, &end, 10);
  if (end == start) return std::nullopt;
  return value;
}

}  // namespace

bool PoolEntry::matches(const URL& url, bool validates) const {
  // A connection opened without checking the certificate must never carry
  // a request that wants it checked.
  return host == url.host() && scheme == url.scheme() && port == url.port().value_or(0) &&
         (scheme != "https" || validatesCertificate == validates);
}

ReuseDecision decideConnectionReuse(int httpVersion, const HeaderMap& headers,
                                    double timeoutSeconds) {
  ReuseDecision decision;
  decision.timeoutSeconds = timeoutSeconds;
  std::string connection = toLower(headerValue(headers, "Connection"));
  bool mayReuse = (httpVersion != 10 || connection == "keep-alive") && connection != "close";
  if (!mayReuse) return decision;
  auto keepAlive = headers.find("Keep-Alive");
  if (keepAlive == headers.end()) {
    decision.canBeReused = true;
    return decision;
  }
  // The timeout counts only when it comes before max, as a left-to-right
  // scan for "timeout=" and then "max=" reads it.
  const std::string& text = keepAlive->second;
  auto maxAt = text.find("max=");
  auto timeoutAt = text.find("timeout=");
  long timeout = 0;
  long max = 0;
  if (timeoutAt != std::string::npos && (maxAt == std::string::npos || timeoutAt < maxAt)) {
    timeout = integerAfter(text, timeoutAt + 8).value_or(0);
    maxAt = text.find("max=", timeoutAt + 8);
  }
  if (maxAt != std::string::npos) max = integerAfter(text, maxAt + 4).value_or(0);
  if (max > 5) {
    decision.canBeReused = true;
    decision.timeoutSeconds = static_cast<double>(timeout);
  }
  return decision;
}

ConnectionPool& ConnectionPool::shared() {
  static ConnectionPool* pool = new ConnectionPool();
  return *pool;
}

void ConnectionPool::expirePersistentConnections() {
  std::lock_guard guard(mutex_);
  TimeInterval now = Clock::shared().now();
  std::erase_if(entries_, [&](const std::shared_ptr<PoolEntry>& entry) {
    if (entry->request || entry->expires > now) return false;
    closeStream(entry->stream);
    entry->stream.reset();
    return true;
  });
}

std::shared_ptr<PoolEntry> ConnectionPool::takeEntry(const URL& url, bool validatesCertificate,
                                                     std::shared_ptr<PoolEntry> current,
                                                     std::uint64_t requestID) {
  std::lock_guard guard(mutex_);
  TimeInterval now = Clock::shared().now();
  std::shared_ptr<PoolEntry> entry;
  if (current) {
    bool inPool = std::find(entries_.begin(), entries_.end(), current) != entries_.end();
    // An entry this request let go of (while its delegate decided a
    // redirect, say) may since carry another request: it is not taken back.
    bool stillOurs = !current->request || current->request == requestID;
    if (inPool && stillOurs && current->matches(url, validatesCertificate)) {
      if (!current->request && current->expires <= now) {
        removeEntry(current);
      } else {
        entry = current;
      }
    }
  }
  if (!entry) {
    for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
      if (!(*it)->request && (*it)->matches(url, validatesCertificate)) {
        entry = *it;
        break;
      }
    }
  }
  if (!entry) {
    entry = std::make_shared<PoolEntry>();
    entry->id = ++nextEntryID_;
    entry->host = url.host();
    entry->port = url.port().value_or(0);
    entry->scheme = url.scheme();
    entry->validatesCertificate = validatesCertificate;
    entries_.push_back(entry);
  }
  entry->request = requestID;
  return entry;
}

void ConnectionPool::releaseEntry(const std::shared_ptr<PoolEntry>& entry, double timeoutSeconds) {
  if (!entry) return;
  std::lock_guard guard(mutex_);
  entry->request.reset();
  entry->expires = Clock::shared().now() + timeoutSeconds;
}

void ConnectionPool::removeEntry(const std::shared_ptr<PoolEntry>& entry) {
  if (!entry) return;
  std::lock_guard guard(mutex_);
  entry->request.reset();
  std::erase(entries_, entry);
  closeStream(entry->stream);
  entry->stream.reset();
}

std::uint64_t ConnectionPool::nextRequestID() {
  std::lock_guard guard(mutex_);
  return ++nextRequestID_;
}

std::size_t ConnectionPool::entryCount() const {
  std::lock_guard guard(mutex_);
  return entries_.size();
}

std::size_t ConnectionPool::idleEntryCount() const {
  std::lock_guard guard(mutex_);
  return static_cast<std::size_t>(std::count_if(entries_.begin(), entries_.end(),
                                                [](const auto& entry) { return !entry->request; }));
}

void ConnectionPool::removeAll() {
  std::lock_guard guard(mutex_);
  for (auto& entry : entries_) {
    closeStream(entry->stream);
    entry->stream.reset();
  }
  entries_.clear();
}

}  // namespace lorvane
