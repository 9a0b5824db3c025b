#pragma once

#include <optional>
#include <string>

#include "platform/ui/image.h"
#include "platform/ui/table_view.h"

namespace lorvane {

// A recommended app: its icon, title and subtitle over a picture background.
class AppRecommendCell : public TableViewCell {
 public:
  static constexpr int kIconTag = 50;
  static constexpr int kTitleTag = 51;
  static constexpr int kSubTitleTag = 52;

  AppRecommendCell(TableViewCellStyle style, std::string reuseIdentifier);

  ImagePtr AppImage() const { return appImage_; }
  // Nothing leaves the icon as it is.
  void setAppImage(ImagePtr image);
  const std::string& AppTitle() const { return appTitle_; }
  // Nothing, or the text already shown, changes nothing.
  void setAppTitle(const std::optional<std::string>& title);
  const std::string& AppSubTitle() const { return appSubTitle_; }
  void setAppSubTitle(const std::optional<std::string>& subtitle);

  ImageView& iconView() const;
  Label& titleLabel() const;
  Label& subTitleLabel() const;

  // The icon URL the row shows now; an icon arriving for another URL (the
  // cell was reused meanwhile) is dropped.
  const std::string& representedIconURL() const { return representedIconURL_; }
  void setRepresentedIconURL(std::string url) { representedIconURL_ = std::move(url); }

 private:
  ImagePtr appImage_;
  std::string appTitle_;
  std::string appSubTitle_;
  std::string representedIconURL_;
};

}  // namespace lorvane
