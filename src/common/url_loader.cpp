#include "common/url_loader.h"

#include <chrono>
#include <optional>

#include "net/http_request.h"
#include "platform/foundation/url.h"

namespace lorvane {
namespace {

// Every loader's requests still on their threads. Never destroyed: those
// threads may end after main has returned.
struct Detached {
  std::mutex mutex;
  std::condition_variable ended;
  std::size_t count = 0;
};

Detached& detached() {
  static auto* state = new Detached();
  return *state;
}

HTTPRequest::Pointer makeRequest(const std::string& url) {
  auto parsed = URL::parse(url);
  return parsed ? HTTPRequest::requestWithURL(*parsed) : HTTPRequest::requestWithoutURL();
}

URLLoadResult resultOf(HTTPRequest& request, const std::string& url) {
  URLLoadResult result;
  result.statusCode = request.responseStatusCode();
  result.error = request.error();
  if (!result.error) {
    if (auto body = request.responseData()) result.data = std::move(*body);
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

}  // namespace

// One request. Lock order: Job::mutex before Jobs::mutex.
struct URLLoader::Job {
  std::mutex mutex;  // held while the completion runs
  bool cancelled = false;
  HTTPRequest::Pointer request;
};

// A loader's running jobs; shared with the jobs so a job that ends after
// its loader can still take itself off.
struct URLLoader::Jobs {
  mutable std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::shared_ptr<Job>> running;

  void remove(const Job* job) {
    {
      std::lock_guard lock(mutex);
      std::erase_if(running, [&](const auto& j) { return j.get() == job; });
    }
    changed.notify_all();
  }
};

URLLoader::URLLoader() : jobs_(std::make_shared<Jobs>()) {}

URLLoader::~URLLoader() {
  cancelAll();
}

URLLoadResult URLLoader::load(const std::string& url) {
  auto request = makeRequest(url);
  request->startSynchronous();
  return resultOf(*request, url);
}

void URLLoader::sendAsynchronousRequest(const std::string& url, Completion completion) {
  auto job = std::make_shared<Job>();
  job->request = makeRequest(url);
  {
    std::lock_guard lock(jobs_->mutex);
    jobs_->running.push_back(job);
  }
  {
    std::lock_guard lock(detached().mutex);
    ++detached().count;
  }
  // The queue keeps itself alive through its one operation and is let go
  // on its own thread, so nobody ever waits to join it.
  auto queue = std::make_shared<OperationQueue>();
  queue->setName("URLLoader " + url);
  auto holder = std::make_shared<std::shared_ptr<OperationQueue>>(queue);
  queue->addOperationWithBlock(
      [job, jobs = jobs_, url, completion = std::move(completion), holder] {
        job->request->startSynchronous();
        URLLoadResult result = resultOf(*job->request, url);
        {
          std::lock_guard lock(job->mutex);
          if (!job->cancelled && completion) completion(result);
        }
        jobs->remove(job.get());
        holder->reset();
        {
          std::lock_guard lock(detached().mutex);
          --detached().count;
        }
        detached().ended.notify_all();
      });
}

void URLLoader::cancelAll() {
  std::vector<std::shared_ptr<Job>> running;
  {
    std::lock_guard lock(jobs_->mutex);
    running.swap(jobs_->running);
  }
  for (const auto& job : running) {
    std::lock_guard lock(job->mutex);
    job->cancelled = true;
    job->request->cancel();
  }
  jobs_->changed.notify_all();
}

std::size_t URLLoader::runningCount() const {
  std::lock_guard lock(jobs_->mutex);
  return jobs_->running.size();
}

void URLLoader::waitUntilAllFinished() {
  std::unique_lock lock(jobs_->mutex);
  jobs_->changed.wait(lock, [&] { return jobs_->running.empty(); });
}

std::size_t URLLoader::detachedCount() {
  std::lock_guard lock(detached().mutex);
  return detached().count;
}

bool URLLoader::waitForDetachedLoads(double seconds) {
  std::unique_lock lock(detached().mutex);
  return detached().ended.wait_for(lock, std::chrono::duration<double>(seconds),
                                   [] { return detached().count == 0; });
}

}  // namespace lorvane
