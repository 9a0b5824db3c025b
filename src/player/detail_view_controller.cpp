#include "player/detail_view_controller.h"

#include "platform/foundation/notification_center.h"
#include "platform/foundation/run_loop.h"

#include "common/app_configuration.h"
#include "common/custom_tar_bar.h"
#include "common/screen_metrics.h"
#include "platform/foundation/log.h"
#include "platform/foundation/url.h"
#include "platform/services/share_sns_service.h"
#include "platform/ui/application.h"
#include "platform/ui/navigation_controller.h"
#include "platform/ui/screen.h"
#include "platform/ui/snapshot.h"
#include "player/record_values.h"
#include "player/time_text.h"

namespace lorvane {

namespace {

constexpr double kPlayerHeight = 176;

double screenWidth() {
  return mainScreenBounds().width();
}
double screenHeight() {
  return mainScreenBounds().height();
}

}  // namespace

const char* const DetailViewController::kShareText =
    "我在手机上用＃Lorvane＃app听了 @Brisquel 老师的视频课程，觉得还不错，分享给大家(☆_☆)";

std::string DetailViewController::shareAppKey() {
  // The key start-up registered, not a copy of our own.
  return AppConfiguration::current().shareAppKey;
}

DetailViewController::DetailViewController() = default;

DetailViewController::~DetailViewController() {
  RunLoop::main().cancelPreviousPerformRequests(this);
  if (offlineObservation_) NotificationCenter::defaultCenter().removeObserver(offlineObservation_);
}

void DetailViewController::setVideoInfoDictionary(JSONRef<JSONDictionary> record) {
  videoInfoDictionary_ = std::move(record);
}

std::shared_ptr<PlayVideoViewController> DetailViewController::playVideoViewController() {
  if (!playVideoViewController_) {
    playVideoViewController_ = std::make_shared<PlayVideoViewController>(playerFactory_);
  }
  return playVideoViewController_;
}

bool DetailViewController::isSystemSevenOrLater() {
  return lorvane::isSystemSevenOrLater();
}

std::string DetailViewController::stringFormattedTimeFromSeconds(std::int64_t seconds) {
  return stringTimeFromSeconds(static_cast<double>(seconds));
}

std::string DetailViewController::informationText(const JSONDictionary* record) {
  auto field = [&](std::string_view key) {
    return textOf(record ? record->objectForKey(key) : nullptr);
  };
  std::int64_t length = integerValueOf(record ? record->objectForKey("playTime") : nullptr);
  return "\n\n上线:" + field("pubTime") + "\n主讲:" + field("teachers") +
         "\n类型:" + field("cateName") + "\n时长:" + stringFormattedTimeFromSeconds(length) + "\n";
}

// ---- Loading ----------------------------------------------------------------

void DetailViewController::viewDidLoad() {
  ViewPtr page = view();
  Rect b = page->bounds();
  bottomImage_ = View::make<ImageView>(Image::imageNamed("主底大"));
  bottomImage_->setUserInteractionEnabled(true);
  double top = isSystemSevenOrLater() ? statusBarHeight() : 0;
  bottomImage_->setFrame({b.x(), b.y() + top, b.width(), b.height()});
  page->addSubview(bottomImage_);
  buildNavigationBar();
  displayVideoInfo();
  fullScreenPlayVideo();
  setUpStudy();
  setUpOffline();
}

void DetailViewController::buildNavigationBar() {
  const double W = screenWidth();
  auto bar = View::make<ImageView>(Image::imageNamed("导航栏-原大"));
  bar->setFrame({0, 0, W, kTitleBarHeight});
  bottomImage_->addSubview(bar);

  backButton_ = Button::buttonWithType(ButtonType::Custom);
  backButton_->setFrame({10, 7, 50, 29});
  backButton_->setImage(Image::imageNamed("返回按钮-原大-01"), ControlStateNormal);
  backButton_->setImage(Image::imageNamed("返回按钮-原大-02"), ControlStateHighlighted);
  backButton_->addTarget(
      this, [this](Control&) { backAction(); }, ControlEventTouchUpInside);
  bottomImage_->addSubview(backButton_);

  auto title = View::make<Label>(Rect{70, 0, 180, kTitleBarHeight});
  title->setText("视频详情");
  title->setBackgroundColor(Color::clear());
  title->setTextColor(Color::whiteColor());
  title->setTextAlignment(TextAlignment::Center);
  title->setFont(Font::boldSystemFontOfSize(20));
  bottomImage_->addSubview(title);

  shareButton_ = Button::buttonWithType(ButtonType::Custom);
  shareButton_->setFrame({W - 70, 0, 70, kTitleBarHeight});
  shareButton_->setImage(Image::imageNamed("分享按钮-原大-01"), ControlStateNormal);
  shareButton_->setImage(Image::imageNamed("分享按钮-原大-02"), ControlStateHighlighted);
  shareButton_->addTarget(
      this, [this](Control&) { shareAction(); }, ControlEventTouchUpInside);
  bottomImage_->addSubview(shareButton_);
}

void DetailViewController::displayVideoInfo() {
  const double H = screenHeight();
  informationBox_ = Layer::layer();
  Rect box;
  if (!isSystemSevenOrLater()) {
    box = {10, 230, 300, H - 260};
  } else if (isTallScreen()) {
    box = {10, 250, 300, H - 260};
  } else {
    box = {10, 250, 300, H - 250};
  }
  informationBox_->setFrame(box);
  informationBox_->setBackgroundColor(Color::rgba(0.1, 0.1, 0.1, 0.9));
  informationBox_->setBorderColor(Color::black());
  informationBox_->setBorderWidth(1);
  informationBox_->setShadowColor(Color::black());
  informationBox_->setShadowRadius(0);
  informationBox_->setShadowOffset({1, 1});
  bottomImage_->layer().addSublayer(informationBox_);

  const JSONDictionary* record = videoInfoDictionary_.get();
  titleLabel_ = View::make<Label>(Rect{20, 230, 280, 10});
  titleLabel_->setNumberOfLines(0);
  titleLabel_->setFont(Font::systemFontOfSize(18));
  titleLabel_->setTextColor(Color::whiteColor());
  titleLabel_->setTextAlignment(TextAlignment::Left);
  titleLabel_->setBackgroundColor(Color::clear());
  std::string title = stringForKey(record, "title");
  titleLabel_->setText(title);
  double h =
      title.empty()
          ? 0
          : sizeWithFont(title, titleLabel_->font(), 280, LineBreakMode::TruncateTail).height;
  titleLabel_->setFrame({20, 260, 280, h});

  detailTextView_ = View::make<TextView>(Rect{10, 220 + h, 300, H - (h + 240)});
  detailTextView_->setBackgroundColor(Color::clear());
  detailTextView_->setEditable(false);
  detailTextView_->setFont(Font::systemFontOfSize(16));
  detailTextView_->setTextColor(Color::rgba(0.7, 0.7, 0.7, 1.0));
  duration_ = record ? JSONValueRef::retain(record->objectForKey("playTime")) : JSONValueRef();
  detailTextView_->setText(informationText(record));

  bottomImage_->addSubview(detailTextView_);
  bottomImage_->addSubview(titleLabel_);
}

void DetailViewController::fullScreenPlayVideo() {
  if (!videoInfoDictionary_) return;
  const JSONDictionary* record = videoInfoDictionary_.get();
  std::string url = percentEscape(stringForKey(record, "videoUrl"));
  bool created = !playVideoViewController_;
  auto player = playVideoViewController();
  if (created) {
    player->setDelegate(this);
    player->setDuration(duration_);
  }
  double y = isSystemSevenOrLater() ? statusBarHeight() + kTitleBarHeight : kTitleBarHeight;
  ViewPtr playerView = player->view();
  playerView->setFrame({0, y, screenWidth(), kPlayerHeight});
  player->videoControlView()->headControlBar().setHidden(true);
  view()->addSubview(playerView);
  std::string local = offlineFileForLesson(url);
  player->playVideoWithTitle(stringForKey(record, "title"), local.empty() ? url : local, true);
  startFollowingProgress(url);
}

// ---- Studying -------------------------------------------------------------------

void DetailViewController::setUpStudy() {
  const JSONDictionary* record = videoInfoDictionary_.get();
  std::string subtitleURL = stringForKey(record, "subtitleUrl");
  if (subtitleURL.empty()) return;
  auto player = playVideoViewController();
  player->setCaptionsDelegate(this);
  const double W = screenWidth();
  const double H = screenHeight();
  const double top = isSystemSevenOrLater() ? statusBarHeight() : 0;
  const double barTop = player->view()->frame().maxY();
  const double transcriptTop = barTop + StudyBarView::kHeight + 4;
  // The lesson's information keeps the bottom of the page.
  const double infoTop = std::max(transcriptTop + 60, H - 128);
  transcriptView_ =
      View::make<TranscriptView>(Rect{10, transcriptTop, W - 20, infoTop - transcriptTop - 4});
  transcriptView_->setLineTapped([this](std::size_t line) {
    if (playVideoViewController_) playVideoViewController_->playLine(line);
  });
  transcriptView_->setHidden(true);  // until there are lines
  view()->addSubview(transcriptView_);

  double boxTop = infoTop - top;
  informationBox_->setFrame({10, boxTop, 300, H - infoTop - 6});
  Rect title = titleLabel_->frame();
  titleLabel_->setFrame({title.x(), boxTop + 6, title.width(), title.height()});
  double textTop = boxTop + 6 + title.height() - 40;
  detailTextView_->setFrame({10, textTop, 300, H - top - textTop - 6});

  placeStudyViews(false);
  player->loadCaptionsWithURL(percentEscape(subtitleURL));
}

void DetailViewController::placeStudyViews(bool landscape) {
  if (!transcriptView_ || !playVideoViewController_) return;
  auto player = playVideoViewController_;
  auto bar = player->studyBar();
  VideoControlView& overlay = *player->videoControlView();
  if (landscape) {
    bar->setFrame({0, 0, screenHeight(), StudyBarView::kHeight});
    overlay.setStudyBarView(bar);
    player->placeStudyBarOverVideo(true);
    view()->bringSubviewToFront(player->view().get());
  } else {
    overlay.setStudyBarView(nullptr);
    Rect playerFrame = player->view()->frame();
    bar->setFrame({0, playerFrame.maxY(), screenWidth(), StudyBarView::kHeight});
    view()->addSubview(bar);
    player->placeStudyBarOverVideo(false);
  }
  transcriptView_->setHidden(landscape || player->captionTrack().empty());
}

void DetailViewController::captionsDidLoad(const CaptionTrack& track) {
  if (!transcriptView_) return;
  transcriptView_->setTrack(track);
  auto player = playVideoViewController_;
  if (player) {
    std::vector<bool> heard(track.count());
    for (std::size_t i = 0; i < heard.size(); ++i) heard[i] = player->isLineHeard(i);
    transcriptView_->showWords(player->captionMode(), heard);
  }
  bool landscape = isLandscape(Application::sharedApplication().statusBarOrientation());
  transcriptView_->setHidden(track.empty() || landscape);
}

void DetailViewController::currentLineDidChange(std::size_t line) {
  if (transcriptView_) transcriptView_->setCurrentLine(line);
}

void DetailViewController::captionWordsDidChange(CaptionMode mode, const std::vector<bool>& heard) {
  if (transcriptView_) transcriptView_->showWords(mode, heard);
}

bool DetailViewController::pressKey(const KeyPress& key) {
  // A screen presented over the lesson may take a key; the rest play it.
  if (ViewController::pressKey(key)) return true;
  auto player = playVideoViewController_;
  return player && player->handleKey(key);
}

// ---- Appearance ---------------------------------------------------------------

void DetailViewController::viewDidAppear(bool animated) {
  ViewController::viewDidAppear(animated);
  Size size = Screen::mainScreen().bounds().size;
  snapShot_ = renderLayerToImage(view()->layer(), size);
}

void DetailViewController::viewWillDisappear(bool animated) {
  Log("-[DetailViewController viewWillDisappear:]");
  ViewController::viewWillDisappear(animated);
  stopFollowingProgress();
  if (playVideoViewController_) {
    if (PlayerPtr player = playVideoViewController_->videoPlayer()) player->pause();
    if (playVideoViewController_->isViewLoaded())
      playVideoViewController_->view()->removeFromSuperview();
  }
}

void DetailViewController::didReceiveMemoryWarning() {
  ViewController::didReceiveMemoryWarning();
}

// ---- Actions --------------------------------------------------------------------

void DetailViewController::backAction() {
  auto keep = std::static_pointer_cast<DetailViewController>(shared_from_this());
  if (NavigationController* navigation = navigationController()) {
    navigation->popViewControllerAnimated(true);
  }
  CustomTarBar::sharedInstance()->hideTabBar(false, true);
}

void DetailViewController::shareAction() {
  ShareSnsService::presentSnsIconSheetView(*this, shareAppKey(), kShareText, snapShot_,
                                           {"tencent", "renren", "email", "sms", "wxtimeline"},
                                           nullptr);
}

void DetailViewController::fullScreenVideo() {
  Device::currentDevice().setOrientation(DeviceOrientation::LandscapeLeft);  // value 3
}

void DetailViewController::minimizeVideo() {
  Device::currentDevice().setOrientation(DeviceOrientation::Portrait);
}

// ---- Rotation -------------------------------------------------------------------

void DetailViewController::willRotateToInterfaceOrientation(InterfaceOrientation o,
                                                            double duration) {
  ViewController::willRotateToInterfaceOrientation(o, duration);
  resizeViewForInterfaceOrientation(o);
}

void DetailViewController::resizeViewForInterfaceOrientation(InterfaceOrientation o) {
  if (o == InterfaceOrientation::PortraitUpsideDown) return;
  auto player = playVideoViewController();
  ViewPtr playerView = player->view();
  Application& application = Application::sharedApplication();
  if (isLandscape(o)) {
    hideResumeBanner();
    application.setStatusBarHidden(true);
    playerView->setFrame({0, 0, screenHeight(), screenWidth()});
    player->videoControlView()->headControlBar().setHidden(false);
    placeStudyViews(true);
    showOfflineControls(false);
  } else {
    application.setStatusBarHidden(false);
    player->videoControlView()->headControlBar().setHidden(true);
    double y = isSystemSevenOrLater() ? 64 : 44;
    playerView->setFrame({0, y, screenWidth(), kPlayerHeight});
    placeStudyViews(false);
    showOfflineControls(true);
  }
}

}  // namespace lorvane
