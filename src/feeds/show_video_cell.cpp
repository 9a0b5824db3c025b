#include "feeds/show_video_cell.h"

#include "feeds/feed_palette.h"
#include "platform/ui/image.h"

namespace lorvane {

ShowVideoCell::ShowVideoCell(TableViewCellStyle style, std::string reuseIdentifier)
    : TableViewCell(style, std::move(reuseIdentifier)) {
  setBackgroundColor(Color::clear());

  auto picture = View::make<ImageView>(Rect{10, 7, 300, 153});
  picture->setTag(kPictureTag);
  // A row waiting for its picture (or one without a record) is a quiet
  // panel in the background's blue rather than a white box.
  picture->setBackgroundColor(feedPlaceholderColor());
  picture->layer().setCornerRadius(6);
  picture->setClipsToBounds(true);
  picture->setContentMode(ContentMode::ScaleToFill);
  contentView().addSubview(picture);

  auto title = View::make<Label>(Rect{10, 110, 300, 50});
  title->setTag(kTitleTag);
  title->setBackgroundColor(Color::black().withAlpha(0.6));
  title->setTextColor(Color::whiteColor());
  title->setOpaque(false);
  title->setNumberOfLines(1);
  contentView().addSubview(title);

  auto progress = View::make<WatchedProgressView>(Rect{10, 7, 300, 153});
  progress->setTag(kProgressTag);
  progress->layer().setCornerRadius(6);
  progress->setClipsToBounds(true);
  contentView().addSubview(progress);

  setSelectionStyle(TableViewCellSelectionStyle::None);
}

ImageView& ShowVideoCell::pictureView() const {
  return static_cast<ImageView&>(*contentView().viewWithTag(kPictureTag));
}

WatchedProgressView& ShowVideoCell::progressView() const {
  return static_cast<WatchedProgressView&>(*contentView().viewWithTag(kProgressTag));
}

Label& ShowVideoCell::titleLabel() const {
  return static_cast<Label&>(*contentView().viewWithTag(kTitleTag));
}

void ShowVideoCell::setVideoImage(ImagePtr image) {
  pictureView().setImage(image ? std::move(image) : Image::imageNamed(""));
}

void ShowVideoCell::setVideoDsecrip(const std::string& text) {
  titleLabel().setText(text);
  // No title, no band: a blank row shows no empty grey strip.
  titleLabel().setHidden(text.empty());
}

void ShowVideoCell::setSelected(bool selected, bool animated) {
  TableViewCell::setSelected(selected, animated);
}

}  // namespace lorvane
