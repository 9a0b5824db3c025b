#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/operation_queue.h"

namespace lorvane {

inline constexpr const char* kURLLoaderErrorDomain = "URLLoaderErrorDomain";

// What one plain GET brought back.
struct URLLoadResult {
  int statusCode = 0;
  Data data;
  ErrorPtr error;  // transport failure, bad URL, or a status outside 200-299
};

// Plain GETs in the manner of the platform's asynchronous URL connection:
// every request runs on an operation queue of its own and its completion
// runs on that queue's thread, not on the main thread. The loader keeps the
// queues alive; destroying it waits for the requests still running.
class URLLoader {
 public:
  using Completion = std::function<void(const URLLoadResult&)>;

  URLLoader() = default;
  ~URLLoader();
  URLLoader(const URLLoader&) = delete;
  URLLoader& operator=(const URLLoader&) = delete;

  void sendAsynchronousRequest(const std::string& url, Completion completion);

  // Requests whose completion has not returned yet.
  std::size_t runningCount() const;
  void waitUntilAllFinished();

  // The same exchange, done on the calling thread.
  static URLLoadResult load(const std::string& url);

 private:
  void pruneFinishedQueues();

  mutable std::mutex mutex_;
  std::vector<std::shared_ptr<OperationQueue>> queues_;
};

}  // namespace lorvane
