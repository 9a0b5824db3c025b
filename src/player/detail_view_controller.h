#pragma once

#include <memory>
#include <string>

#include "json/json.h"
#include "platform/media/player_interface.h"
#include "platform/ui/image.h"
#include "platform/ui/label.h"
#include "platform/ui/text_view.h"
#include "platform/ui/view_controller.h"
#include "player/lesson_resume.h"
#include "player/offline_download_control.h"
#include "player/play_video_view_controller.h"
#include "player/resume_banner_view.h"
#include "player/transcript_view.h"

namespace lorvane {

// The page of one lesson: its own title bar (back, "视频详情", share), the
// player 176 points high under it, the lesson's title and an information
// text. Only this page lets the app turn to landscape, where the player
// fills the screen.
class DetailViewController : public ViewController,
                             public PlayVideoViewControllerDelegate,
                             public PlayVideoCaptionsDelegate {
 public:
  DetailViewController();
  ~DetailViewController() override;

  // The lesson's feed record; set before the page loads. The same record
  // object is kept, not a copy.
  void setVideoInfoDictionary(JSONRef<JSONDictionary> record);
  const JSONRef<JSONDictionary>& videoInfoDictionary() const { return videoInfoDictionary_; }

  // How the player makes its items and players; the media layer's by
  // default. Set before the page loads (tests hand in scripted ones).
  void setPlayerFactory(std::shared_ptr<PlayerFactory> factory) {
    playerFactory_ = std::move(factory);
  }

  // The embedded player, made on first use.
  std::shared_ptr<PlayVideoViewController> playVideoViewController();
  ImageView* bottomImage() const { return bottomImage_.get(); }
  TextView* detailTextView() const { return detailTextView_.get(); }
  Label* titleLabel() const { return titleLabel_.get(); }
  Button* backButton() const { return backButton_.get(); }
  Button* shareButton() const { return shareButton_.get(); }
  Layer* informationBox() const { return informationBox_.get(); }
  const JSONValueRef& duration() const { return duration_; }
  ImagePtr snapShot() const { return snapShot_; }

  void backAction();
  void shareAction();

  // The player's requests: turn the device to landscape or to portrait.
  bool respondsToFullScreenVideo() const override { return true; }
  void fullScreenVideo() override;
  bool respondsToMinimizeVideo() const override { return true; }
  void minimizeVideo() override;

  // A lesson with lines ("subtitleUrl" in its record) gets the study bar
  // under the player and the transcript under that.
  TranscriptView* transcriptView() const { return transcriptView_.get(); }
  void captionsDidLoad(const CaptionTrack& track) override;
  void currentLineDidChange(std::size_t line) override;
  void captionWordsDidChange(CaptionMode mode, const std::vector<bool>& heard) override;
  // The desktop keys go to the player.
  bool pressKey(const KeyPress& key) override;

  // Where the lesson was left: kept while it plays, offered on reopening
  // by a banner that lasts kResumeBannerSeconds.
  LessonResume* lessonResume() const { return resume_.get(); }
  ResumeBannerView* resumeBanner() const { return resumeBanner_.get(); }
  void startOverAction();
  static constexpr double kResumeBannerSeconds = 6;

  // Keeping the lesson for offline play: the ring in the title bar
  // (download, pause, go on), the × and the note under the information.
  // A complete download is what the player opens.
  OfflineDownloadControl* offlineControl() const { return offlineControl_.get(); }
  bool isPlayingLocalFile() const { return playingLocalFile_; }
  void offlineRingAction();
  void offlineCancelAction();

  static std::string stringFormattedTimeFromSeconds(std::int64_t seconds);
  // The information text for a record, as the page shows it.
  static std::string informationText(const JSONDictionary* record);

  void viewDidLoad() override;
  void viewDidAppear(bool animated) override;
  void viewWillDisappear(bool animated) override;
  void didReceiveMemoryWarning() override;

  bool shouldAutorotate() override { return true; }
  unsigned supportedInterfaceOrientations() override { return kOrientationMaskAllButUpsideDown; }
  bool shouldAutorotateToInterfaceOrientation(InterfaceOrientation o) override {
    return o != InterfaceOrientation::PortraitUpsideDown;
  }
  void willRotateToInterfaceOrientation(InterfaceOrientation o, double duration) override;
  void resizeViewForInterfaceOrientation(InterfaceOrientation o);

  // The sharing service's key of this app and the fixed share text.
  static const char* const kShareText;
  static std::string shareAppKey();

 private:
  void buildNavigationBar();
  void displayVideoInfo();
  void fullScreenPlayVideo();
  void setUpStudy();
  void startFollowingProgress(const std::string& lessonURL);
  void showResumeBanner(double seconds);
  void hideResumeBanner();
  void stopFollowingProgress();
  // The local copy to play instead of the stream (empty: none).
  std::string offlineFileForLesson(const std::string& lessonURL);
  void setUpOffline();
  void offlineDownloadChanged();
  // Hidden while the player fills the screen.
  void showOfflineControls(bool shown);
  void placeStudyViews(bool landscape);
  static bool isSystemSevenOrLater();

  JSONRef<JSONDictionary> videoInfoDictionary_;
  std::shared_ptr<PlayerFactory> playerFactory_;
  std::shared_ptr<PlayVideoViewController> playVideoViewController_;
  std::shared_ptr<ImageView> bottomImage_;
  std::shared_ptr<TextView> detailTextView_;
  std::shared_ptr<Label> titleLabel_;
  std::shared_ptr<Button> backButton_;
  std::shared_ptr<Button> shareButton_;
  std::shared_ptr<Layer> informationBox_;
  JSONValueRef duration_;
  ImagePtr snapShot_;
  std::shared_ptr<TranscriptView> transcriptView_;
  std::unique_ptr<LessonResume> resume_;
  std::shared_ptr<ResumeBannerView> resumeBanner_;
  std::unique_ptr<OfflineDownloadControl> offlineControl_;
  std::string offlineURL_;
  bool playingLocalFile_ = false;
  bool offlineFileWasDamaged_ = false;
  std::optional<LessonDownloadState> lastOfflineState_;
  std::uint64_t offlineObservation_ = 0;
};

}  // namespace lorvane
