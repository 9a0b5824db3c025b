#pragma once

#include <condition_variable>
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
// runs on that queue's thread, not on the main thread.
//
// Nothing here waits on the network: cancelAll() (and so the destructor)
// cancels what is running and lets go of it at once. A completion never
// starts after cancelAll() has returned; one already running is waited for,
// which only costs its own (short) work.
class URLLoader {
 public:
  using Completion = std::function<void(const URLLoadResult&)>;

  URLLoader();
  ~URLLoader();
  URLLoader(const URLLoader&) = delete;
  URLLoader& operator=(const URLLoader&) = delete;

  void sendAsynchronousRequest(const std::string& url, Completion completion);
  void cancelAll();

  // Requests of this loader whose completion has not returned yet.
  std::size_t runningCount() const;
  void waitUntilAllFinished();

  // Requests of every loader still on their threads, cancelled or not.
  static std::size_t detachedCount();
  // For the program's exit, once the network is shut down: waits at most
  // `seconds` for those threads to end. Answers whether they all did.
  static bool waitForDetachedLoads(double seconds);

  // The same exchange, done on the calling thread.
  static URLLoadResult load(const std::string& url);

 private:
  struct Job;
  struct Jobs;
  std::shared_ptr<Jobs> jobs_;
};

}  // namespace lorvane
