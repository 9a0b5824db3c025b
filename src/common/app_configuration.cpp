#include "common/app_configuration.h"

#include <mutex>

namespace lorvane {
namespace {

std::mutex& configurationMutex() {
  static std::mutex mutex;
  return mutex;
}

AppConfiguration& storedConfiguration() {
  static AppConfiguration configuration = AppConfiguration::buildDefaults();
  return configuration;
}

}  // namespace

AppConfiguration AppConfiguration::buildDefaults() {
  AppConfiguration c;
  c.contentBaseURL = LORVANE_CONFIG_CONTENT_BASE_URL;
  c.recommendBaseURL = LORVANE_CONFIG_RECOMMEND_BASE_URL;
  c.storeReviewURL = LORVANE_CONFIG_STORE_REVIEW_URL;
  c.storeAppURL = LORVANE_CONFIG_STORE_APP_URL;
  c.feedbackAddress = LORVANE_CONFIG_FEEDBACK_ADDRESS;
  c.shareAppKey = LORVANE_CONFIG_SHARE_APP_KEY;
  c.weChatAppID = LORVANE_CONFIG_WECHAT_APP_ID;
  return c;
}

const AppConfiguration& AppConfiguration::current() {
  std::lock_guard lock(configurationMutex());
  return storedConfiguration();
}

void AppConfiguration::setCurrent(AppConfiguration configuration) {
  std::lock_guard lock(configurationMutex());
  storedConfiguration() = std::move(configuration);
}

std::string joinURL(const std::string& base, const std::string& pathAndQuery) {
  std::string joined = base;
  while (!joined.empty() && joined.back() == '/') joined.pop_back();
  if (!pathAndQuery.empty() && pathAndQuery.front() != '/') joined += '/';
  return joined + pathAndQuery;
}

}  // namespace lorvane
