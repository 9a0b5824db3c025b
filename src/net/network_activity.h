#pragma once

#include <functional>

namespace lorvane {

// The platform's network activity indicator, as the HTTP client drives it:
// shown while any request's stream is scheduled, hidden 0.5 seconds after
// the last one ends unless another starts in between.
class NetworkActivity {
 public:
  // Where "network activity indicator visible" goes (the status bar, later).
  // Always called on the main thread.
  using IndicatorHandler = std::function<void(bool visible)>;
  static void setIndicatorHandler(IndicatorHandler handler);

  static constexpr double kHideDelaySeconds = 0.5;

  // Whether the client manages the indicator at all (on by default).
  static void setShouldUpdateNetworkActivityIndicator(bool update);
  static bool shouldUpdateNetworkActivityIndicator();

  // A stream was scheduled (any thread): the count grows and the indicator
  // is shown.
  static void streamScheduled();
  // A stream was unscheduled (any thread): at zero, hiding is requested on
  // the main thread after the delay.
  static void streamUnscheduled();

  static bool isNetworkInUse();
  static int runningRequestCount();
  // What the indicator was last told (main thread's view).
  static bool indicatorVisible();

  static void showNetworkActivityIndicator();
  static void hideNetworkActivityIndicator();
  // Main thread: hides after the delay if nothing runs by then.
  static void hideNetworkActivityIndicatorAfterDelay();
  static void hideNetworkActivityIndicatorIfNeeded();
};

}  // namespace lorvane
