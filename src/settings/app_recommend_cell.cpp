#include "settings/app_recommend_cell.h"

#include "platform/ui/font.h"
#include "settings/page_chrome.h"

namespace lorvane {

AppRecommendCell::AppRecommendCell(TableViewCellStyle style, std::string reuseIdentifier)
    : TableViewCell(style, std::move(reuseIdentifier)) {
  auto icon = View::make<ImageView>(Rect{10, 9, 57, 57});
  icon->setTag(kIconTag);
  icon->setImage(Image::imageNamed("应用推荐图标-原大"));
  icon->setBackgroundColor(Color::clear());
  contentView().addSubview(icon);

  auto title = View::make<Label>(Rect{76, 10, 224, 20});
  title->setTag(kTitleTag);
  title->setFont(Font::boldSystemFontOfSize(17));
  title->setTextColor(Color::whiteColor());
  title->setTextAlignment(TextAlignment::Left);
  title->setHighlightedTextColor(touchedRowTextColor());
  title->setBackgroundColor(Color::clear());
  contentView().addSubview(title);

  auto subtitle = View::make<Label>(Rect{76, 38, 224, 23});
  subtitle->setTag(kSubTitleTag);
  subtitle->setFont(Font::systemFontOfSize(13));
  subtitle->setTextColor(Color::rgb255(135, 135, 135));
  subtitle->setTextAlignment(TextAlignment::Left);
  subtitle->setBackgroundColor(Color::clear());
  contentView().addSubview(subtitle);

  setBackgroundView(View::make<ImageView>(Image::imageNamed("Lorvane-应用推荐_a_01")));
  setSelectedBackgroundView(View::make<ImageView>(Image::imageNamed("Lorvane-应用推荐_a_02")));
  setBackgroundColor(Color::clear());
}

ImageView& AppRecommendCell::iconView() const {
  return static_cast<ImageView&>(*contentView().viewWithTag(kIconTag));
}

Label& AppRecommendCell::titleLabel() const {
  return static_cast<Label&>(*contentView().viewWithTag(kTitleTag));
}

Label& AppRecommendCell::subTitleLabel() const {
  return static_cast<Label&>(*contentView().viewWithTag(kSubTitleTag));
}

void AppRecommendCell::setAppImage(ImagePtr image) {
  if (!image) return;
  appImage_ = image;
  iconView().setImage(std::move(image));
}

void AppRecommendCell::setAppTitle(const std::optional<std::string>& title) {
  if (!title || *title == appTitle_) return;
  appTitle_ = *title;
  titleLabel().setText(appTitle_);
}

void AppRecommendCell::setAppSubTitle(const std::optional<std::string>& subtitle) {
  if (!subtitle || *subtitle == appSubTitle_) return;
  appSubTitle_ = *subtitle;
  subTitleLabel().setText(appSubTitle_);
}

}  // namespace lorvane
