#include "common/url_loader.h"

#include <optional>

#include "net/http_request.h"
#include "platform/foundation/url.h"

namespace lorvane {

URLLoader::~URLLoader() {
  waitUntilAllFinished();
}

URLLoadResult URLLoader::load(const std::string& url) {
  auto parsed = URL::parse(url);
  auto request = parsed ? HTTPRequest::requestWithURL(*parsed) : HTTPRequest::requestWithoutURL();
  request->startSynchronous();
  URLLoadResult result;
  result.statusCode = request->responseStatusCode();
  result.error = request->error();
  if (!result.error) {
    if (auto body = request->responseData()) result.data = std::move(*body);
    // An error page is not the picture that was asked for; passing it on
    // as data would get it cached in place of the thumbnail.
    if (result.statusCode < 200 || result.statusCode > 299) {
      result.error =
          Error::make(kURLLoaderErrorDomain, result.statusCode,
                      "HTTP status " + std::to_string(result.statusCode) + " for " + url);
      result.data.clear();
    }
  }
  return result;
}

void URLLoader::sendAsynchronousRequest(const std::string& url, Completion completion) {
  pruneFinishedQueues();
  auto queue = std::make_shared<OperationQueue>();
  queue->setName("URLLoader " + url);
  queue->addOperationWithBlock([url, completion = std::move(completion)] {
    URLLoadResult result = load(url);
    if (completion) completion(result);
  });
  std::lock_guard lock(mutex_);
  queues_.push_back(std::move(queue));
}

std::size_t URLLoader::runningCount() const {
  std::lock_guard lock(mutex_);
  std::size_t running = 0;
  for (const auto& queue : queues_) running += queue->operationCount();
  return running;
}

void URLLoader::waitUntilAllFinished() {
  std::vector<std::shared_ptr<OperationQueue>> queues;
  {
    std::lock_guard lock(mutex_);
    queues = queues_;
  }
  for (const auto& queue : queues) queue->waitUntilAllOperationsAreFinished();
  pruneFinishedQueues();
}

void URLLoader::pruneFinishedQueues() {
  std::vector<std::shared_ptr<OperationQueue>> finished;
  {
    std::lock_guard lock(mutex_);
    auto keep = queues_.begin();
    for (auto& queue : queues_) {
      if (queue->operationCount() == 0) {
        finished.push_back(std::move(queue));
      } else {
        *keep++ = std::move(queue);
      }
    }
    queues_.erase(keep, queues_.end());
  }
  // Queues are destroyed outside the lock: that joins their idle workers.
}

}  // namespace lorvane
