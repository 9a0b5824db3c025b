#include "feeds/mini_video_cell.h"

#include "platform/ui/font.h"
#include "platform/ui/image.h"

namespace lorvane {

MiniVideoCell::MiniVideoCell() : View() {
  build();
}

MiniVideoCell::MiniVideoCell(const Rect& frame) : View(frame) {
  build();
}

void MiniVideoCell::build() {
  pictureView_ = View::make<ImageView>();
  pictureView_->setTag(kPictureTag);
  pictureView_->setContentMode(ContentMode::ScaleToFill);
  pictureView_->setBackgroundColor(Color::clear());
  addSubview(pictureView_);

  videoDescripLabel_ = View::make<Label>();
  videoDescripLabel_->setTag(kCaptionTag);
  videoDescripLabel_->setBackgroundColor(Color::black().withAlpha(0.5));
  videoDescripLabel_->setTextColor(Color::whiteColor());
  videoDescripLabel_->setFont(Font::boldSystemFontOfSize(9));
  videoDescripLabel_->setNumberOfLines(1);
  addSubview(videoDescripLabel_);

  progressView_ = View::make<WatchedProgressView>();
  progressView_->setTag(kProgressTag);
  addSubview(progressView_);

  tapButton_ = Button::buttonWithType(ButtonType::Custom);
  tapButton_->setTag(kTapButtonTag);
  tapButton_->setBackgroundColor(Color::clear());
  addSubview(tapButton_);
}

void MiniVideoCell::layoutSubviews() {
  const double w = bounds().width();
  const double h = bounds().height();
  for (const auto& subview : subviews()) {
    switch (subview->tag()) {
      case kPictureTag:
      case kTapButtonTag:
      case kProgressTag:
        subview->setFrame({0, 0, w, h});
        break;
      case kCaptionTag:
        subview->setFrame({0, 2 * h / 3, w, h / 3});
        break;
      default:
        break;
    }
  }
}

void MiniVideoCell::setVideoImage(ImagePtr image) {
  // No picture shows the picture of an empty name, which is none.
  pictureView_->setImage(image ? std::move(image) : Image::imageNamed(""));
}

}  // namespace lorvane
