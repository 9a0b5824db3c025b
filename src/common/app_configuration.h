#pragma once

#include <string>

namespace lorvane {

// The build's deployment values, gathered in one place. Defaults come from
// the CMake cache; main may replace them at start-up (for example to point
// the screens at a content server it started itself).
struct AppConfiguration {
  std::string contentBaseURL;    // host of the lesson feeds, "http://host:port"
  std::string recommendBaseURL;  // host of the recommended-apps list
  std::string storeReviewURL;    // the store's review page, systems before 7.0
  std::string storeAppURL;       // the store's app page, 7.0 and later
  std::string feedbackAddress;   // where feedback mail goes
  // The app's key with the sharing service, also given to analytics.
  std::string shareAppKey;
  std::string weChatAppID;

  // The values the build was configured with.
  static AppConfiguration buildDefaults();

  // The configuration in force. Set it on the main thread before the first
  // screen loads; screens read it when they build their requests.
  static const AppConfiguration& current();
  static void setCurrent(AppConfiguration configuration);
};

// Joins a base URL and a path that starts with "/", without doubling the
// slash when the base ends with one.
std::string joinURL(const std::string& base, const std::string& pathAndQuery);

}  // namespace lorvane
