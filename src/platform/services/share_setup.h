#pragma once

#include <mutex>
#include <string>
#include <vector>

namespace lorvane {

// The QQ SDK's classes the sharing service is handed at start-up; only
// their identity matters to it.
enum class ShareSdkClass { QQApiInterface, QQOAuth };
const char* shareSdkClassName(ShareSdkClass c);

// The sharing service's set-up calls. The stand-in keeps what it was given
// so the app (and its tests) can see the service was configured.
class ShareData {
 public:
  static void openLog(bool enabled);
  static void setAppKey(const std::string& key);
  static bool isLogOpen();
  static std::string appKey();
};

class ShareConfig {
 public:
  static void setWeChatAppId(const std::string& appId, const std::string& url);
  static void setSupportQzoneSSO(bool support, const std::vector<ShareSdkClass>& importClasses);
  static void setQQAppId(const std::string& appId, const std::string& url,
                         const std::vector<ShareSdkClass>& importClasses);
  static void setSupportSinaSSO(bool support);
};

// Control coming back from the WeChat and QQ apps.
class WeChatApiDelegate {
 public:
  virtual ~WeChatApiDelegate() = default;
};

class ShareSnsAppLink {
 public:
  static void applicationDidBecomeActive();
  // Takes URLs of the chat and QQ apps ("wx…", "tencent…", "QQ…" schemes)
  // and answers whether it was one of theirs.
  static bool handleOpenURL(const std::string& url, WeChatApiDelegate* weChatApiDelegate);
};

// Every call the stand-ins received, in order, as "Class.operation args".
class ShareServiceLog {
 public:
  static std::vector<std::string> calls();
  static void clear();
  static void record(std::string call);
};

}  // namespace lorvane
