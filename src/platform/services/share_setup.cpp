#include "platform/services/share_setup.h"

#include <algorithm>
#include <cctype>

#include "platform/foundation/log.h"

namespace lorvane {

namespace {

struct State {
  std::mutex mutex;
  std::vector<std::string> calls;
  bool logOpen = false;
  std::string appKey;
};

State& state() {
  static State s;
  return s;
}

std::string classList(const std::vector<ShareSdkClass>& classes) {
  std::string out = "[";
  for (std::size_t i = 0; i < classes.size(); ++i) {
    if (i) out += ",";
    out += shareSdkClassName(classes[i]);
  }
  return out + "]";
}

std::string yesNo(bool b) {
  return b ? "YES" : "NO";
}
std::string orNil(const std::string& s) {
  return s.empty() ? "nil" : s;
}

}  // namespace

const char* shareSdkClassName(ShareSdkClass c) {
  return c == ShareSdkClass::QQApiInterface ? "QQApiInterface" : "QQOAuth";
}

void ShareServiceLog::record(std::string call) {
  std::lock_guard lock(state().mutex);
  if (state().logOpen) Log("share: " + call);
  state().calls.push_back(std::move(call));
}

std::vector<std::string> ShareServiceLog::calls() {
  std::lock_guard lock(state().mutex);
  return state().calls;
}

void ShareServiceLog::clear() {
  std::lock_guard lock(state().mutex);
  state().calls.clear();
  state().logOpen = false;
  state().appKey.clear();
}

void ShareData::openLog(bool enabled) {
  {
    std::lock_guard lock(state().mutex);
    state().logOpen = enabled;
  }
  ShareServiceLog::record("ShareData.openLog " + yesNo(enabled));
}

void ShareData::setAppKey(const std::string& key) {
  {
    std::lock_guard lock(state().mutex);
    state().appKey = key;
  }
  ShareServiceLog::record("ShareData.setAppKey " + key);
}

bool ShareData::isLogOpen() {
  std::lock_guard lock(state().mutex);
  return state().logOpen;
}

std::string ShareData::appKey() {
  std::lock_guard lock(state().mutex);
  return state().appKey;
}

void ShareConfig::setWeChatAppId(const std::string& appId, const std::string& url) {
  ShareServiceLog::record("ShareConfig.setWeChatAppId " + appId + " " + orNil(url));
}

void ShareConfig::setSupportQzoneSSO(bool support, const std::vector<ShareSdkClass>& classes) {
  ShareServiceLog::record("ShareConfig.setSupportQzoneSSO " + yesNo(support) + " " +
                          classList(classes));
}

void ShareConfig::setQQAppId(const std::string& appId, const std::string& url,
                             const std::vector<ShareSdkClass>& classes) {
  ShareServiceLog::record("ShareConfig.setQQAppId " + appId + " " + orNil(url) + " " +
                          classList(classes));
}

void ShareConfig::setSupportSinaSSO(bool support) {
  ShareServiceLog::record("ShareConfig.setSupportSinaSSO " + yesNo(support));
}

void ShareSnsAppLink::applicationDidBecomeActive() {
  ShareServiceLog::record("ShareSnsService.applicationDidBecomeActive");
}

bool ShareSnsAppLink::handleOpenURL(const std::string& url, WeChatApiDelegate* delegate) {
  ShareServiceLog::record("ShareSnsService.handleOpenURL " + url + " " +
                          (delegate ? "delegate" : "nil"));
  std::string scheme = url.substr(0, url.find(':'));
  std::transform(scheme.begin(), scheme.end(), scheme.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  return scheme.starts_with("wx") || scheme.starts_with("tencent") || scheme.starts_with("qq");
}

}  // namespace lorvane
