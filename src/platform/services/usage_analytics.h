#pragma once

#include <string>
#include <vector>

namespace lorvane {

// Session and event reporting. The stand-in appends to a local log (one
// line per event under the documents directory's "analytics.log") and
// keeps the events of this run in memory.
class UsageAnalytics {
 public:
  static void startWithAppkey(const std::string& appKey);
  static void event(const std::string& name);
  static bool isStarted();
  static std::string appKey();
  static std::vector<std::string> events();
  static void reset();
};

}  // namespace lorvane
