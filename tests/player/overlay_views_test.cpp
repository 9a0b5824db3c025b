#include <gtest/gtest.h>

#include "player/progress_hud.h"
#include "player/progress_slider.h"
#include "player/video_bottom_view.h"
#include "player/video_control_view.h"
#include "player/video_head_view.h"
#include "player_test_support.h"
#include "support/media/fake_player.h"

namespace lorvane {
namespace {

class OverlayViewsTest : public testing::PlayerUiTest {
 protected:
  // An overlay inside a parent of the given size, laid out.
  std::shared_ptr<VideoControlView> overlayIn(double width, double height) {
    parent = std::make_shared<View>(Rect{0, 0, width, height});
    window->addSubview(parent);
    auto overlay = View::make<VideoControlView>(Rect{0, 0, width, height});
    parent->addSubview(overlay);
    overlay->layoutIfNeeded();
    return overlay;
  }
  std::shared_ptr<View> parent;
};

bool isSubview(const View& parent, const View& child) {
  for (const auto& v : parent.subviews()) {
    if (v.get() == &child) return true;
  }
  return false;
}

TEST_F(OverlayViewsTest, PortraitLayoutPlacesTheBottomBarControls) {
  auto overlay = overlayIn(320, 176);
  EXPECT_EQ(overlay->videoScrubber().frame(), (Rect{61, 0, 106, 51}));
  EXPECT_EQ(overlay->timeLabel().frame(), (Rect{187, 0, 102, 51}));
  EXPECT_EQ(overlay->fullScreenButton().frame(), (Rect{269, 0, 51, 51}));
  EXPECT_FALSE(overlay->fullScreenButton().isHidden());
  EXPECT_TRUE(overlay->volumeButton().isHidden());
  EXPECT_EQ(overlay->volumeControlView()->alpha(), 0);
  EXPECT_EQ(overlay->bottomControlBar().frame(), (Rect{0, 125, 320, 51}));
  EXPECT_EQ(overlay->headControlBar().frame(), (Rect{0, 20, 320, 33}));
  // The reference picture "xxxxxxxx" is 58 x 33.
  EXPECT_EQ(overlay->backButton().frame(), (Rect{10, 0, 33, 33}));
  EXPECT_EQ(overlay->titleLabel().frame(), (Rect{58, 0, 204, 33}));
  EXPECT_EQ(overlay->doublePlayButton().frame(), (Rect{262, 0, 58, 33}));
  // The buffered fraction follows the scrubber's track, beneath the scrubber.
  EXPECT_EQ(overlay->progressView().frame(), (Rect{64, 22, 100, 6}));
  ASSERT_EQ(overlay->progressView().superview(), &overlay->bottomControlBar());
  const auto& bar = overlay->bottomControlBar().subviews();
  auto at = [&](const View* v) {
    return std::find_if(bar.begin(), bar.end(), [&](auto& s) { return s.get() == v; }) -
           bar.begin();
  };
  EXPECT_LT(at(&overlay->progressView()), at(&overlay->videoScrubber()));
  EXPECT_EQ(overlay->activityIndicator().center(), (Point{160, 88}));
}

TEST_F(OverlayViewsTest, LandscapeLayoutShowsTheVolumeButtonAndHidesFullScreen) {
  auto overlay = overlayIn(480, 320);
  EXPECT_EQ(overlay->bottomControlBar().frame(), (Rect{0, 269, 480, 51}));
  EXPECT_EQ(overlay->volumeButton().frame(), (Rect{337, 0, 51, 51}));
  EXPECT_FALSE(overlay->volumeButton().isHidden());
  EXPECT_EQ(overlay->volumeControlView()->frame(), (Rect{350, 110, 24, 148}));
  EXPECT_EQ(overlay->timeLabel().frame(), (Rect{388, 0, 102, 51}));
  EXPECT_EQ(overlay->videoScrubber().frame(), (Rect{61, 0, 266, 51}));
  EXPECT_TRUE(overlay->fullScreenButton().isHidden());
}

TEST_F(OverlayViewsTest, TurningToPortraitClosesTheVolumePanelAndLandscapeDoesNotReopenIt) {
  auto overlay = overlayIn(568, 320);
  overlay->volumeControlView()->setAlpha(1);
  parent->setFrame({0, 0, 320, 176});
  overlay->setFrame({0, 0, 320, 176});
  overlay->layoutIfNeeded();
  EXPECT_EQ(overlay->volumeControlView()->alpha(), 0);
  parent->setFrame({0, 0, 568, 320});
  overlay->setFrame({0, 0, 568, 320});
  overlay->setNeedsLayout();
  overlay->layoutIfNeeded();
  EXPECT_EQ(overlay->volumeControlView()->alpha(), 0);
  EXPECT_FALSE(overlay->volumeButton().isHidden());
  // 321 points is already landscape, 320 not.
  parent->setFrame({0, 0, 321, 176});
  overlay->setNeedsLayout();
  overlay->layoutIfNeeded();
  EXPECT_TRUE(overlay->isLandscapeLayout());
  EXPECT_TRUE(overlay->fullScreenButton().isHidden());
}

TEST_F(OverlayViewsTest, WithoutASuperviewTheLayoutIsPortrait) {
  auto overlay = View::make<VideoControlView>(Rect{0, 0, 600, 300});
  overlay->layoutIfNeeded();
  EXPECT_FALSE(overlay->isLandscapeLayout());
  EXPECT_TRUE(overlay->volumeButton().isHidden());
  EXPECT_EQ(overlay->headControlBar().frame().y(), 20);
  EXPECT_EQ(overlay->bottomControlBar().frame().maxY(), 300);
}

TEST_F(OverlayViewsTest, TheBarsJoinTheViewOnTopOnceThePlayerIsSet) {
  auto overlay = overlayIn(320, 176);
  EXPECT_FALSE(isSubview(*overlay, overlay->headControlBar()));
  EXPECT_FALSE(isSubview(*overlay, overlay->bottomControlBar()));
  auto player = std::make_shared<testing::FakePlayer>();
  overlay->setPlayer(player);
  overlay->setPlayer(player);
  const auto& subviews = overlay->subviews();
  ASSERT_EQ(subviews.size(), 4u);
  EXPECT_EQ(subviews[0].get(), overlay->volumeControlView().get());
  EXPECT_EQ(subviews[1].get(), &overlay->activityIndicator());
  EXPECT_EQ(subviews[2].get(), &overlay->headControlBar());
  EXPECT_EQ(subviews[3].get(), &overlay->bottomControlBar());
  EXPECT_EQ(overlay->player(), player);
  // The view's layer shows the player's current picture.
  auto frame = std::make_shared<VideoFrame>();
  player->setCurrentVideoFrame(frame);
  ASSERT_TRUE(overlay->layer().videoFrameSource());
  EXPECT_EQ(overlay->layer().videoFrameSource()->currentFrame(), frame);
}

TEST_F(OverlayViewsTest, SliderProgressSliderTrackAndThumb) {
  Image::setResourcesFolder(LORVANE_SOURCE_DIR "/resources");
  ProgressSlider slider(Rect{0, 0, 266, 51});
  EXPECT_EQ(slider.trackRectForBounds({0, 0, 266, 51}), (Rect{3, 22, 260, 6}));
  EXPECT_EQ(slider.trackRectForBounds({0, 0, 266, 80}).y(), 22);
  EXPECT_EQ(slider.thumbRectForBounds({0, 0, 266, 51}, {}, 0), (Rect{-25, 0, 51, 51}));
  EXPECT_EQ(slider.thumbRectForBounds({0, 0, 266, 51}, {}, 1), (Rect{241, 0, 51, 51}));
  EXPECT_EQ(slider.minimumValue(), 0);
  EXPECT_EQ(slider.maximumValue(), 1);
  slider.layoutIfNeeded();
  EXPECT_EQ(slider.minimumValueImageView().frame(), (Rect{0, 22, 3, 6}));
  EXPECT_EQ(slider.maximumValueImageView().frame(), (Rect{263, 22, 3, 6}));
}

TEST_F(OverlayViewsTest, SliderVolumeSliderTrackAndThumb) {
  VolumeSlider slider(Rect{0, 0, 128, 10});
  EXPECT_EQ(slider.trackRectForBounds({0, 0, 128, 10}), (Rect{4, 3.5, 120, 3}));
  EXPECT_EQ(slider.thumbRectForBounds({0, 0, 128, 10}, {}, 0), (Rect{-19, -19, 50, 50}));
  Rect top = slider.thumbRectForBounds({0, 0, 128, 10}, {}, 1);
  EXPECT_FLOAT_EQ(static_cast<float>(top.x()), 96.2f);
  EXPECT_EQ(top.y(), -19);
}

TEST_F(OverlayViewsTest, SliderVolumeViewStandsItsSliderUprightOnce) {
  VolumeView panel(Rect{0, 0, 24, 148});
  panel.layoutIfNeeded();
  auto slider = panel.volumeSlider();
  ASSERT_TRUE(slider);
  EXPECT_EQ(slider->bounds(), (Rect{0, 0, 128, 10}));
  EXPECT_EQ(slider->center(), (Point{12, 74}));
  EXPECT_NEAR(slider->transform().rotationAngle(), -kPi / 2, 1e-6);
  panel.setNeedsLayout();
  panel.layoutIfNeeded();
  EXPECT_NEAR(slider->transform().rotationAngle(), -kPi / 2, 1e-6);
  EXPECT_TRUE(nearlyEqual(slider->frame(), Rect{7, 10, 10, 128}, 1e-4));
  EXPECT_EQ(panel.layer().cornerRadius(), 12);
  EXPECT_EQ(panel.layer().borderWidth(), 0);
}

TEST_F(OverlayViewsTest, HUDPictureFillsItAndTheTimeTakesTheLowerHalf) {
  ProgressHUD hud;
  hud.setBounds({0, 0, 155, 155});
  hud.layoutIfNeeded();
  EXPECT_EQ(hud.HUDImageView().frame(), (Rect{0, 0, 155, 155}));
  EXPECT_EQ(hud.label().frame(), (Rect{0, 77.5, 155, 77.5}));
  EXPECT_EQ(hud.label().tag(), 1345);
  EXPECT_EQ(hud.viewWithTag(1345), &hud.label());
  hud.setCurrentTime("00:25");
  EXPECT_EQ(hud.label().text(), "00:25");
  EXPECT_EQ(hud.layer().cornerRadius(), 8);
  // The label lies above the picture.
  EXPECT_EQ(hud.subviews().back().get(), &hud.label());
}

TEST_F(OverlayViewsTest, HeadViewPlacesItsTitleByHeight) {
  VideoHeadView low(Rect{0, 0, 320, 40});
  low.layoutIfNeeded();
  EXPECT_EQ(low.titleLabel()->frame(), (Rect{58, 0, 204, 40}));
  EXPECT_EQ(low.popMovieButton()->frame(), (Rect{10, 0, 40, 40}));
  EXPECT_EQ(low.doublePlayButton()->frame(), (Rect{262, 0, 58, 40}));
  VideoHeadView high(Rect{0, 0, 320, 50});
  high.layoutIfNeeded();
  EXPECT_EQ(high.titleLabel()->frame(), (Rect{60, 0, 200, 50}));
  high.setVideoTitle("A title");
  EXPECT_EQ(high.titleLabel()->numberOfLines(), 1);
  EXPECT_EQ(high.titleLabel()->text(), "A title");
}

TEST_F(OverlayViewsTest, BottomViewPlacesItsButtonsAndAUsableSlider) {
  VideoBottomView bar(Rect{0, 0, 320, 40});
  bar.layoutIfNeeded();
  EXPECT_EQ(bar.playPauseButton()->frame(), (Rect{0, 0, 40, 40}));
  EXPECT_EQ(bar.totalTimeLabel()->frame(), (Rect{270, 0, 40, 40}));
  EXPECT_EQ(bar.currentTimeLabel()->frame(), (Rect{230, 0, 40, 40}));
  EXPECT_EQ(bar.volumeButton()->frame(), (Rect{190, 0, 40, 40}));
  auto slider = bar.videoProgressSlider();
  ASSERT_TRUE(slider->lTextLabel());
  EXPECT_EQ(slider->frame(), (Rect{45, 10, 140, 20}));
  ASSERT_TRUE(slider->status1()->image());
  EXPECT_EQ(slider->status1()->image()->name(), "音量1");
  EXPECT_EQ(slider->status3()->image()->name(), "音量2png");
  bar.setTotalTimeLabelText("05:18");
  EXPECT_EQ(bar.totalTimeLabel()->text(), "05:18");
}

}  // namespace
}  // namespace lorvane
