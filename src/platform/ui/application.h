#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/screen.h"

namespace lorvane {

class Application;
class Window;

using LaunchOptions = std::map<std::string, std::string>;

// The application's life cycle. Every operation is optional: the defaults
// do nothing, and the URL questions answer nothing ("not implemented").
class ApplicationDelegate {
 public:
  virtual ~ApplicationDelegate() = default;
  virtual bool didFinishLaunchingWithOptions(Application&, const LaunchOptions&) { return true; }
  virtual void applicationDidBecomeActive(Application&) {}
  virtual void applicationWillResignActive(Application&) {}
  virtual void applicationDidEnterBackground(Application&) {}
  virtual void applicationWillEnterForeground(Application&) {}
  virtual void applicationWillTerminate(Application&) {}
  virtual std::optional<bool> handleOpenURL(Application&, const std::string& url) {
    (void)url;
    return std::nullopt;
  }
  virtual std::optional<bool> openURL(Application&, const std::string& url,
                                      const std::string& sourceApplication) {
    (void)url;
    (void)sourceApplication;
    return std::nullopt;
  }
};

// The platform's values.
enum class StatusBarStyle { Default = 0, LightContent = 1, BlackOpaque = 2 };
enum class StatusBarAnimation { None = 0, Fade = 1, Slide = 2 };

enum class ApplicationState { Active = 0, Inactive = 1, Background = 2 };

// Posted to the default notification centre, with the application as
// object, after the delegate has heard of the event.
inline constexpr const char* kApplicationDidEnterBackgroundNotification =
    "UIApplicationDidEnterBackgroundNotification";
inline constexpr const char* kApplicationWillTerminateNotification =
    "UIApplicationWillTerminateNotification";

// The one application object: delegate, key window, status bar, network
// activity indicator, opening URLs and turning the interface.
class Application {
 public:
  static Application& sharedApplication();

  // Runs the launch: the delegate finishes launching, then becomes active.
  // The application keeps the delegate it launched with.
  bool launch(std::shared_ptr<ApplicationDelegate> delegate, const LaunchOptions& options = {});
  ApplicationDelegate* delegate() const { return delegate_; }
  void setDelegate(ApplicationDelegate* delegate) { delegate_ = delegate; }
  ApplicationState applicationState() const { return state_; }

  // Life-cycle events from the desktop front end.
  void resignActive();
  void enterBackground();
  void enterForeground();
  void becomeActive();
  // The app ends: the delegate hears applicationWillTerminate, once per
  // launch however many ways the end is reached.
  void terminate();
  bool isTerminated() const { return terminated_; }
  // Another app hands a URL back; answers what the delegate answers.
  bool handleOpenURL(const std::string& url, const std::string& sourceApplication = {});

  Window* keyWindow() const;

  // Status bar.
  StatusBarStyle statusBarStyle() const { return statusBarStyle_; }
  void setStatusBarStyle(StatusBarStyle style, bool animated = false);
  bool isStatusBarHidden() const { return statusBarHidden_; }
  void setStatusBarHidden(bool hidden, StatusBarAnimation animation = StatusBarAnimation::None);
  // What is drawn now: 0 to 1 while a fade runs.
  double statusBarPresentationAlpha() const;
  // In screen coordinates; empty while hidden.
  Rect statusBarFrame() const;
  InterfaceOrientation statusBarOrientation() const { return orientation_; }
  static constexpr double kStatusBarHeight = 20;

  bool isNetworkActivityIndicatorVisible() const { return networkActivity_; }
  void setNetworkActivityIndicatorVisible(bool visible) { networkActivity_ = visible; }

  // Opening URLs goes through a hook (the services layer installs one that
  // hands them to the desktop); every request is recorded.
  using URLOpener = std::function<bool(const std::string&)>;
  void setURLOpener(URLOpener opener) { urlOpener_ = std::move(opener); }
  bool openURL(const std::string& url);
  bool canOpenURL(const std::string& url) const;
  const std::vector<std::string>& openedURLs() const { return openedURLs_; }

  // The orientations the app declares (its Info.plist): all but upside down.
  unsigned supportedInterfaceOrientations() const { return supportedOrientations_; }
  void setSupportedInterfaceOrientations(unsigned mask) { supportedOrientations_ = mask; }
  // The device turned: ask the root controller and turn if it agrees.
  void deviceOrientationDidChange();
  void attemptRotationToDeviceOrientation() { deviceOrientationDidChange(); }
  // Turns the interface (root view and status bar) to an orientation.
  void setInterfaceOrientation(InterfaceOrientation orientation, bool animated);
  static constexpr double kRotationDuration = 0.4;

  // Puts every setting back (tests).
  void reset();

  // Called by windows.
  void windowDidBecomeKey(Window* window);
  void windowWillClose(Window* window);

 private:
  Application() = default;

  std::shared_ptr<ApplicationDelegate> ownedDelegate_;
  ApplicationDelegate* delegate_ = nullptr;
  ApplicationState state_ = ApplicationState::Inactive;
  bool terminated_ = false;
  Window* keyWindow_ = nullptr;
  StatusBarStyle statusBarStyle_ = StatusBarStyle::Default;
  bool statusBarHidden_ = false;
  double fadeFrom_ = 1;
  double fadeStart_ = 0;
  double fadeDuration_ = 0;
  InterfaceOrientation orientation_ = InterfaceOrientation::Portrait;
  bool networkActivity_ = false;
  URLOpener urlOpener_;
  std::vector<std::string> openedURLs_;
  unsigned supportedOrientations_ = kOrientationMaskAllButUpsideDown;
};

}  // namespace lorvane
