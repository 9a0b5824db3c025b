#include "platform/services/share_sns_service.h"

#include "json/json.h"
#include "platform/foundation/date.h"
#include "platform/foundation/file_manager.h"
#include "platform/foundation/log.h"
#include "platform/services/png_encoder.h"
#include "platform/ui/alert_view.h"

namespace lorvane {

namespace {

constexpr double kButtonSize = 56;
constexpr double kMargin = 10;
constexpr double kCancelHeight = 44;

// Main thread only; the sheet itself is owned by the page it covers.
std::weak_ptr<ShareSheetView>& currentSheet() {
  static std::weak_ptr<ShareSheetView> sheet;
  return sheet;
}

JSONValueRef jsonText(const std::string& text) {
  auto value = JSONStringValue::create(text);
  return value ? JSONValueRef(value) : JSONValueRef(JSONStringValue::empty());
}

void tellUser(const std::string& title, const std::string& message) {
  View::make<AlertView>(title, message, nullptr, "确定")->show();
}

}  // namespace

// ---- The sheet ------------------------------------------------------------------

std::string ShareSheetView::displayName(const std::string& platform) {
  if (platform == "tencent") return "腾讯微博";
  if (platform == "renren") return "人人网";
  if (platform == "email") return "邮件";
  if (platform == "sms") return "短信";
  if (platform == "wxtimeline") return "微信朋友圈";
  return platform;
}

ShareSheetView::ShareSheetView(const Rect& frame, std::vector<std::string> platforms, Choice choose)
    : View(frame), platforms_(std::move(platforms)), choose_(std::move(choose)) {
  setBackgroundColor(Color::black().withAlpha(0.4));
  setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  panel_ = View::make<View>();
  panel_->setBackgroundColor(Color::white(0.95));
  addSubview(panel_);
  for (const std::string& platform : platforms_) {
    auto button = Button::buttonWithType(ButtonType::Custom);
    button->setTitle(displayName(platform), ControlStateNormal);
    button->setTitleColor(Color::black(), ControlStateNormal);
    button->setTitleColor(Color::rgb255(222, 18, 104), ControlStateHighlighted);
    button->titleLabel().setFont(Font::systemFontOfSize(11));
    button->setBackgroundColor(Color::whiteColor());
    button->layer().setCornerRadius(8);
    button->layer().setBorderWidth(1);
    button->layer().setBorderColor(Color::lightGray());
    button->addTarget(
        this, [this, platform](Control&) { choose_(platform); }, ControlEventTouchUpInside);
    panel_->addSubview(button);
    buttons_.push_back(button);
  }
  cancelButton_ = Button::buttonWithType(ButtonType::Custom);
  cancelButton_->setTitle("取消", ControlStateNormal);
  cancelButton_->setTitleColor(Color::black(), ControlStateNormal);
  cancelButton_->setBackgroundColor(Color::whiteColor());
  cancelButton_->layer().setCornerRadius(6);
  cancelButton_->addTarget(
      this, [this](Control&) { choose_(std::string()); }, ControlEventTouchUpInside);
  panel_->addSubview(cancelButton_);
  setNeedsLayout();
}

Button* ShareSheetView::buttonForPlatform(const std::string& platform) const {
  if (platform.empty()) return cancelButton_.get();
  for (std::size_t i = 0; i < platforms_.size(); ++i) {
    if (platforms_[i] == platform) return buttons_[i].get();
  }
  return nullptr;
}

void ShareSheetView::layoutSubviews() {
  Rect b = bounds();
  double panelHeight = kMargin + kButtonSize + kMargin + kCancelHeight + kMargin;
  panel_->setFrame({0, b.height() - panelHeight, b.width(), panelHeight});
  std::size_t count = buttons_.size();
  double step = count ? (b.width() - 2 * kMargin) / double(count) : 0;
  for (std::size_t i = 0; i < count; ++i) {
    double x = kMargin + step * double(i) + (step - kButtonSize) / 2;
    buttons_[i]->setFrame({x, kMargin, kButtonSize, kButtonSize});
  }
  cancelButton_->setFrame(
      {kMargin, kMargin + kButtonSize + kMargin, b.width() - 2 * kMargin, kCancelHeight});
}

// ---- The service ------------------------------------------------------------------

std::shared_ptr<ShareSheetView> ShareSnsService::visibleSheet() {
  auto sheet = currentSheet().lock();
  return sheet && sheet->superview() ? sheet : nullptr;
}

std::string ShareSnsService::outboxDirectory() {
  return appendingPathComponent(FileManager::defaultManager().documentsDirectory(), "Shares");
}

std::optional<std::string> ShareSnsService::recordShareRequest(const ShareRequest& request,
                                                               ErrorPtr* error) {
  FileManager& files = FileManager::defaultManager();
  std::string outbox = outboxDirectory();
  if (!files.createDirectory(outbox, true, error)) return std::nullopt;
  std::string stamp = formatDate(currentDate(), "yyyyMMdd-HHmmss-SSS");
  std::string base = "share-" + stamp + "-" + request.platform;
  std::string folder = appendingPathComponent(outbox, base);
  // Two shares within a millisecond must not overwrite each other.
  for (int n = 2; files.fileExists(folder); ++n) {
    folder = appendingPathComponent(outbox, base + "-" + std::to_string(n));
  }
  if (!files.createDirectory(folder, false, error)) return std::nullopt;

  JSONValueRef imageName = JSONValue::null();
  if (request.image) {
    auto png = PNGRepresentation(*request.image);
    if (!png) {
      if (error) *error = Error::make(kErrorDomain, 1, "The share picture could not be encoded");
      return std::nullopt;
    }
    if (!files.writeAtomically(appendingPathComponent(folder, "snapshot.png"), *png, error)) {
      return std::nullopt;
    }
    imageName = jsonText("snapshot.png");
  }
  auto record = JSONDictionary::mutableDictionary();
  record->setObject(jsonText(request.platform), "platform");
  record->setObject(jsonText(request.text), "text");
  record->setObject(jsonText(request.appKey), "appKey");
  record->setObject(imageName, "image");
  record->setObject(jsonText(formatDate(currentDate(), "yyyy-MM-dd'T'HH:mm:ss'Z'")), "date");
  std::optional<std::string> text = JSONStringWithOptions(*record, JSONWritePretty, nullptr);
  if (!text) {
    if (error) *error = Error::make(kErrorDomain, 2, "The share request could not be written");
    return std::nullopt;
  }
  if (!files.writeAtomically(appendingPathComponent(folder, "request.json"), *text, error)) {
    return std::nullopt;
  }
  return folder;
}

void ShareSnsService::presentSnsIconSheetView(ViewController& controller, const std::string& appKey,
                                              const std::string& shareText, ImagePtr shareImage,
                                              const std::vector<std::string>& shareToSnsNames,
                                              ShareSnsDelegate* delegate) {
  if (auto open = visibleSheet()) open->removeFromSuperview();
  ViewPtr page = controller.view();
  // The choice takes the sheet away; it learns of the sheet once made.
  auto holder = std::make_shared<std::weak_ptr<ShareSheetView>>();
  auto choose = [holder, appKey, shareText, shareImage,
                 delegate = WeakPtr<ShareSnsDelegate>(delegate)](const std::string& platform) {
    // The sheet owns the button whose action this is: keep it (and so this
    // very function) alive until the choice has been handled.
    auto sheet = holder->lock();
    if (sheet) sheet->removeFromSuperview();
    if (platform.empty()) return;  // cancelled
    ErrorPtr error;
    auto folder = recordShareRequest({appKey, shareText, platform, shareImage}, &error);
    if (folder) {
      Log("shared to " + platform + ": " + *folder);
      tellUser(kSharedMessage, ShareSheetView::displayName(platform));
    } else {
      Log("share failed: " + describe(error));
      tellUser(kFailedMessage, error ? error->localizedDescription() : std::string());
    }
    if (delegate) delegate->didFinishShare(platform, folder ? nullptr : error);
  };
  auto sheet = View::make<ShareSheetView>(page->bounds(), shareToSnsNames, choose);
  *holder = sheet;
  page->addSubview(sheet);
  currentSheet() = sheet;
}

}  // namespace lorvane
