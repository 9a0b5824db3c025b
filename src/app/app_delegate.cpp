#include "app/app_delegate.h"

#include "common/app_configuration.h"
#include "platform/services/usage_analytics.h"
#include "platform/ui/screen.h"

namespace lorvane {

bool AppDelegate::didFinishLaunchingWithOptions(Application& application, const LaunchOptions&) {
  const AppConfiguration& config = AppConfiguration::current();
  application.setStatusBarStyle(StatusBarStyle::LightContent);
  ShareData::openLog(true);
  ShareData::setAppKey(config.shareAppKey);
  ShareConfig::setWeChatAppId(config.weChatAppID, "");
  ShareConfig::setSupportQzoneSSO(true, {ShareSdkClass::QQApiInterface, ShareSdkClass::QQOAuth});
  ShareConfig::setQQAppId(kQQAppId, "", {ShareSdkClass::QQApiInterface, ShareSdkClass::QQOAuth});
  ShareConfig::setSupportSinaSSO(true);
  UsageAnalytics::startWithAppkey(config.shareAppKey);

  RootViewController::installNavigationRules();
  window_ = std::make_shared<Window>(Screen::mainScreen().bounds());
  window_->setBackgroundColor(Color::clear());
  rootVC_ = std::make_shared<RootViewController>();
  window_->setRootViewController(rootVC_);
  window_->makeKeyAndVisible();
  return true;
}

void AppDelegate::applicationDidBecomeActive(Application&) {
  ShareSnsAppLink::applicationDidBecomeActive();
}

std::optional<bool> AppDelegate::handleOpenURL(Application&, const std::string& url) {
  return ShareSnsAppLink::handleOpenURL(url, nullptr);
}

std::optional<bool> AppDelegate::openURL(Application&, const std::string& url, const std::string&) {
  return ShareSnsAppLink::handleOpenURL(url, nullptr);
}

}  // namespace lorvane
