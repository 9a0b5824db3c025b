#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "net/connection.h"
#include "net/net_types.h"
#include "platform/foundation/clock.h"
#include "platform/foundation/url.h"

namespace lorvane {

// One persistent connection of the pool and who is using it.
struct PoolEntry {
  int id = 0;
  std::string host;
  int port = 0;  // 0 when the URL names no port
  std::string scheme;
  bool validatesCertificate = true;
  std::optional<std::uint64_t> request;  // request ID; nothing while idle
  std::shared_ptr<Connection> stream;
  TimeInterval expires = 0;  // Clock::shared().now() seconds

  bool matches(const URL& url, bool validates) const;
};

// What the response headers say about keeping the connection.
struct ReuseDecision {
  bool canBeReused = false;
  double timeoutSeconds = 0;
};

// From the "Connection" and "Keep-Alive" headers of a reply with the given
// HTTP version (10 or 11); `timeoutSeconds` is the current timeout, kept
// when the server names none.
ReuseDecision decideConnectionReuse(int httpVersion, const HeaderMap& headers,
                                    double timeoutSeconds);

// The persistent connections shared by every request, by host, scheme and
// port. The lock is recursive and also guards the request ID counter.
class ConnectionPool {
 public:
  static ConnectionPool& shared();

  std::recursive_mutex& lock() { return mutex_; }

  // Closes and drops every idle entry whose time is up.
  void expirePersistentConnections();
  // The entry a request should use for `url`: its current one when it still
  // fits, else the last matching idle one, else a new one. Marks it as used
  // by `requestID`.
  std::shared_ptr<PoolEntry> takeEntry(const URL& url, bool validatesCertificate,
                                       std::shared_ptr<PoolEntry> current, std::uint64_t requestID);
  // The entry becomes idle and may be reused until now + timeout.
  void releaseEntry(const std::shared_ptr<PoolEntry>& entry, double timeoutSeconds);
  // The entry leaves the pool; its stream is closed.
  void removeEntry(const std::shared_ptr<PoolEntry>& entry);

  std::uint64_t nextRequestID();

  std::size_t entryCount() const;
  std::size_t idleEntryCount() const;
  // Drops every entry (tests and shutdown).
  void removeAll();

 private:
  mutable std::recursive_mutex mutex_;
  std::vector<std::shared_ptr<PoolEntry>> entries_;
  int nextEntryID_ = 0;
  std::uint64_t nextRequestID_ = 0;
};

}  // namespace lorvane
