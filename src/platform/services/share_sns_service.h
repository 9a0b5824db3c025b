#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/foundation/error.h"
#include "platform/foundation/weak_ptr.h"
#include "platform/ui/button.h"
#include "platform/ui/image.h"
#include "platform/ui/view_controller.h"

namespace lorvane {

// Told how a share ended. Optional: false means "not implemented".
class ShareSnsDelegate : public virtual Weakable {
 public:
  virtual ~ShareSnsDelegate() = default;
  virtual bool didFinishShare(const std::string& platform, const ErrorPtr& error) {
    (void)platform;
    (void)error;
    return false;
  }
};

// One share request as the outbox keeps it.
struct ShareRequest {
  std::string appKey;
  std::string text;
  std::string platform;
  ImagePtr image;
};

// The sheet of platform buttons laid over a page, with a cancel button.
class ShareSheetView : public View {
 public:
  using Choice = std::function<void(const std::string& platform)>;
  ShareSheetView(const Rect& frame, std::vector<std::string> platforms, Choice choose);

  const std::vector<std::string>& platforms() const { return platforms_; }
  // The button of a platform, or of cancel for an empty name.
  Button* buttonForPlatform(const std::string& platform) const;
  Button* cancelButton() const { return cancelButton_.get(); }
  View& panel() const { return *panel_; }
  void layoutSubviews() override;

  // What a platform's button says: "腾讯微博" for "tencent" and so on.
  static std::string displayName(const std::string& platform);

 private:
  std::vector<std::string> platforms_;
  Choice choose_;
  std::shared_ptr<View> panel_;
  std::vector<std::shared_ptr<Button>> buttons_;
  std::shared_ptr<Button> cancelButton_;
};

// The sharing service stand-in: its sheet shows the platforms asked for;
// choosing one writes the request (text, picture as PNG, platform) into a
// folder of its own under the documents directory's "Shares" and tells the
// user it was shared.
class ShareSnsService {
 public:
  static void presentSnsIconSheetView(ViewController& controller, const std::string& appKey,
                                      const std::string& shareText, ImagePtr shareImage,
                                      const std::vector<std::string>& shareToSnsNames,
                                      ShareSnsDelegate* delegate);
  // The sheet now on screen, if any.
  static std::shared_ptr<ShareSheetView> visibleSheet();

  // documents/Shares: apart from the mail's Outbox, also on a disk that
  // does not tell upper from lower case.
  static std::string outboxDirectory();
  // Writes the request; answers its folder, or an error.
  static std::optional<std::string> recordShareRequest(const ShareRequest& request,
                                                       ErrorPtr* error = nullptr);

  static constexpr const char* kErrorDomain = "ShareSnsErrorDomain";
  static constexpr const char* kSharedMessage = "分享成功";
  static constexpr const char* kFailedMessage = "分享失败";
};

}  // namespace lorvane
