#include "net/network_activity.h"

#include <atomic>
#include <mutex>

#include "platform/foundation/run_loop.h"

namespace lorvane {

namespace {

struct ActivityState {
  std::mutex mutex;
  int running = 0;
  bool shouldUpdate = true;
  NetworkActivity::IndicatorHandler handler;
  std::atomic<bool> visible{false};
};

ActivityState& state() {
  static ActivityState* s = new ActivityState();
  return *s;
}

const char kHideOperation[] = "hideNetworkActivityIndicatorIfNeeded";

void tellIndicator(bool visible) {
  NetworkActivity::IndicatorHandler handler;
  {
    std::lock_guard lock(state().mutex);
    handler = state().handler;
  }
  state().visible.store(visible);
  if (handler) handler(visible);
}

}  // namespace

void NetworkActivity::setIndicatorHandler(IndicatorHandler handler) {
  std::lock_guard lock(state().mutex);
  state().handler = std::move(handler);
}

void NetworkActivity::setShouldUpdateNetworkActivityIndicator(bool update) {
  std::lock_guard lock(state().mutex);
  state().shouldUpdate = update;
}

bool NetworkActivity::shouldUpdateNetworkActivityIndicator() {
  std::lock_guard lock(state().mutex);
  return state().shouldUpdate;
}

void NetworkActivity::streamScheduled() {
  bool update;
  {
    std::lock_guard lock(state().mutex);
    ++state().running;
    update = state().shouldUpdate;
  }
  if (update) showNetworkActivityIndicator();
}

void NetworkActivity::streamUnscheduled() {
  bool reachedZero;
  bool update;
  {
    std::lock_guard lock(state().mutex);
    if (state().running > 0) --state().running;
    reachedZero = state().running == 0;
    update = state().shouldUpdate;
  }
  if (reachedZero && update) {
    RunLoop::main().post([] { hideNetworkActivityIndicatorAfterDelay(); });
  }
}

bool NetworkActivity::isNetworkInUse() {
  return runningRequestCount() > 0;
}

int NetworkActivity::runningRequestCount() {
  std::lock_guard lock(state().mutex);
  return state().running;
}

bool NetworkActivity::indicatorVisible() {
  return state().visible.load();
}

void NetworkActivity::showNetworkActivityIndicator() {
  performOnMainThread([] { tellIndicator(true); });
}

void NetworkActivity::hideNetworkActivityIndicator() {
  performOnMainThread([] { tellIndicator(false); });
}

void NetworkActivity::hideNetworkActivityIndicatorAfterDelay() {
  RunLoop& loop = RunLoop::main();
  loop.cancelPreviousPerformRequests(&state(), kHideOperation, nullptr);
  loop.performAfterDelay(&state(), kHideOperation, nullptr, kHideDelaySeconds,
                         [] { hideNetworkActivityIndicatorIfNeeded(); });
}

void NetworkActivity::hideNetworkActivityIndicatorIfNeeded() {
  if (runningRequestCount() == 0) hideNetworkActivityIndicator();
}

}  // namespace lorvane
