#include "player/study_bar_view.h"

#include <cmath>
#include <cstdio>

namespace lorvane {

namespace {

// The app's colour for something chosen.
Color chosenColor() {
  return Color::rgb255(222, 18, 104);
}

std::shared_ptr<Button> barButton(const std::string& title) {
  auto button = Button::buttonWithType(ButtonType::Custom);
  button->setTitle(title, ControlStateNormal);
  button->setTitleColor(Color::white(0.85), ControlStateNormal);
  button->setTitleColor(chosenColor(), ControlStateHighlighted);
  button->setTitleColor(chosenColor(), ControlStateSelected);
  button->setTitleColor(Color::white(0.4), ControlStateDisabled);
  button->titleLabel().setFont(Font::systemFontOfSize(13));
  // "循环×3" and "0.75倍" are wider than a seventh of the bar at full size.
  button->titleLabel().setAdjustsFontSizeToFitWidth(true);
  button->titleLabel().setMinimumScaleFactor(0.6);
  button->setBackgroundColor(Color::rgba(1, 1, 1, 0.08));
  return button;
}

}  // namespace

std::string speedTitle(float speed) {
  char title[32];
  double rounded = std::round(double(speed) * 100) / 100;
  // One decimal where it says all, two where it takes them.
  if (std::fabs(rounded * 10 - std::round(rounded * 10)) < 1e-6) {
    std::snprintf(title, sizeof title, "%.1f倍", rounded);
  } else {
    std::snprintf(title, sizeof title, "%.2f倍", rounded);
  }
  return title;
}

StudyBarView::StudyBarView() {
  setBackgroundColor(Color::rgba(0.08, 0.08, 0.08, 0.92));
  captions_ = barButton(captionModeTitle(CaptionMode::EnglishAndChinese));
  repeat_ = barButton("重复");
  loop_ = barButton("循环");
  ab_ = barButton("A-B");
  shadow_ = barButton("跟读");
  ramp_ = barButton("变速");
  speed_ = barButton(speedTitle(1.0f));
  for (const auto& button : buttons()) addSubview(button);
  status_ = View::make<Label>(Rect{});
  status_->setFont(Font::systemFontOfSize(12));
  status_->setTextColor(Color::white(0.75));
  status_->setTextAlignment(TextAlignment::Center);
  status_->setBackgroundColor(Color::clear());
  addSubview(status_);
}

std::vector<std::shared_ptr<Button>> StudyBarView::buttons() const {
  return {captions_, repeat_, loop_, ab_, shadow_, ramp_, speed_};
}

void StudyBarView::update(CaptionMode mode, const LineTools& tools, float speed, bool hasLines) {
  captions_->setTitle(captionModeTitle(mode), ControlStateNormal);
  const LineTool tool = tools.tool();
  std::string loopTitle = "循环";
  if (tool == LineTool::Loop) {
    int times = tools.loopTimes();
    loopTitle = times == LineTools::kWithoutEnd ? "循环∞" : "循环×" + std::to_string(times);
  }
  loop_->setTitle(loopTitle, ControlStateNormal);
  loop_->setSelected(tool == LineTool::Loop);
  ab_->setTitle(tool == LineTool::ABLoop && tools.isWaitingForB() ? "A-?" : "A-B",
                ControlStateNormal);
  ab_->setSelected(tool == LineTool::ABLoop);
  shadow_->setSelected(tool == LineTool::Shadowing);
  ramp_->setSelected(tool == LineTool::Ramp);
  speed_->setTitle(speedTitle(speed), ControlStateNormal);
  for (Button* b :
       {captions_.get(), repeat_.get(), loop_.get(), ab_.get(), shadow_.get(), ramp_.get()}) {
    b->setEnabled(hasLines);
  }
  status_->setText(hasLines ? tools.statusText() : std::string());
}

void StudyBarView::layoutSubviews() {
  Rect b = bounds();
  auto all = buttons();
  const double gap = 3;
  const double width = (b.width() - gap * double(all.size() + 1)) / double(all.size());
  double x = gap;
  for (const auto& button : all) {
    button->setFrame({x, 3, width, kButtonHeight});
    x += width + gap;
  }
  status_->setFrame({4, 3 + kButtonHeight, b.width() - 8, b.height() - 3 - kButtonHeight});
}

}  // namespace lorvane
