#include "app/shutdown.h"

#include "common/url_loader.h"
#include "net/http_request.h"
#include "net/network_thread.h"
#include "platform/foundation/log.h"
#include "platform/foundation/run_loop.h"
#include "platform/services/share_sns_service.h"
#include "platform/ui/alert_view.h"
#include "platform/ui/application.h"

namespace lorvane {
namespace {

// Cancelled loads end as soon as the network thread is gone; this only
// bounds a thread stuck in its own work (writing a file, say).
constexpr double kDetachedLoadGrace = 2.0;

void releaseInterface() {
  // Alerts and the share sheet keep themselves alive while shown.
  for (const auto& alert : AlertView::visibleAlerts()) {
    alert->dismissWithClickedButtonIndex(alert->cancelButtonIndex(), false);
  }
  if (auto sheet = ShareSnsService::visibleSheet()) sheet->removeFromSuperview();
  // The delegate owns the window, the root controller and every screen.
  Application::sharedApplication().reset();
}

}  // namespace

void shutDownApplication() {
  static bool done = false;
  if (done) return;
  done = true;

  Application::sharedApplication().terminate();
  releaseInterface();
  // Tasks already posted for the main thread may hold the last reference
  // to a screen or a player: let them run and go now, on this thread.
  RunLoop::main().runUntilIdle();

  HTTPRequest::sharedQueue().cancelAllOperations();
  NetworkThread::shared().shutdown();
  if (!URLLoader::waitForDetachedLoads(kDetachedLoadGrace)) {
    Log("exit: " + std::to_string(URLLoader::detachedCount()) + " downloads still ending");
  }
  // Failures reported by the cancelled requests, addressed to screens that
  // are gone.
  RunLoop::main().runUntilIdle();
}

}  // namespace lorvane
