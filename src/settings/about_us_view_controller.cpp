#include "settings/about_us_view_controller.h"

#include "common/screen_metrics.h"
#include "platform/ui/font.h"
#include "settings/back_action.h"
#include "settings/page_chrome.h"

namespace lorvane {

const char* const AboutUsViewController::kCompanyDescription =
    "\tLorvane 是一款专注英语口语的学习应用，由一群热爱语言教育的开发者和老师共同打造。"
    "我们相信，开口说是学好英语最快的路。\n"
    "\t应用里的每一节课都是一段短小的视频，由外教 Orvel 在真实的生活场景中讲解地道的表达："
    "点咖啡、问路、面试、旅行、聊天，学完就能用。\n"
    "\t我们每周更新课程，并根据大家的反馈不断改进内容和功能。视频支持三种播放速度，"
    "手指左右滑动即可快进快退，上下滑动调节音量，方便反复跟读。\n"
    "\t如果你有任何建议，欢迎通过设置页的\"意见反馈\"给我们写信。感谢你的陪伴，"
    "愿你每天进步一点点，自信地说出流利的英语！\n";

void AboutUsViewController::viewDidLoad() {
  const Rect viewFrame = view()->frame();
  bgImageView_ = makePageBackground({0, contentTop(), viewFrame.width(), viewFrame.height()});
  view()->addSubview(bgImageView_);

  const Rect screen = mainScreenBounds();
  titleBar_ = View::make<ImageView>(Image::imageNamed(kTitleBarPicture));
  titleBar_->setFrame({0, isSystemSevenOrLater() ? 1.0 : 0.0, screen.width(), kTitleBarHeight});
  backButton_ = makeBackButton(this, [this] { backAction(); });
  auto title = makeTitleLabel("关于我们");

  textView_ = View::make<TextView>(Rect{10, 54, 300, screen.height() - statusBarHeight() - 64});
  textView_->layer().setBorderColor(Color::black());
  textView_->layer().setBorderWidth(1);
  textView_->layer().setCornerRadius(8);
  textView_->setFont(Font::systemFontOfSize(14));
  textView_->setEditable(false);
  textView_->setShowsHorizontalScrollIndicator(false);
  textView_->setShowsVerticalScrollIndicator(false);
  textView_->setText(kCompanyDescription);

  bgImageView_->addSubview(titleBar_);
  bgImageView_->addSubview(backButton_);
  bgImageView_->addSubview(title);
  bgImageView_->addSubview(textView_);
}

void AboutUsViewController::backAction() {
  popPageAndShowTabBar(*this);
}

}  // namespace lorvane
