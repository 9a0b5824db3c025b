#pragma once

#include <memory>

#include "app/root_view_controller.h"
#include "platform/services/share_setup.h"
#include "platform/ui/application.h"
#include "platform/ui/window.h"

namespace lorvane {

// The application's delegate: registers the app with the sharing and
// analytics services, creates the window and installs the root controller.
class AppDelegate : public ApplicationDelegate, public WeChatApiDelegate {
 public:
  // The QQ app id handed to the sharing service (nine digits).
  static constexpr const char* kQQAppId = "100371282";

  bool didFinishLaunchingWithOptions(Application& application,
                                     const LaunchOptions& options) override;
  void applicationDidBecomeActive(Application& application) override;
  std::optional<bool> handleOpenURL(Application& application, const std::string& url) override;
  std::optional<bool> openURL(Application& application, const std::string& url,
                              const std::string& sourceApplication) override;

  const std::shared_ptr<Window>& window() const { return window_; }
  const std::shared_ptr<RootViewController>& rootVC() const { return rootVC_; }

 private:
  std::shared_ptr<Window> window_;
  std::shared_ptr<RootViewController> rootVC_;
};

}  // namespace lorvane
