#include "settings/setting_cell.h"

#include "platform/ui/image.h"

namespace lorvane {

SettingCell::SettingCell(TableViewCellStyle style, std::string reuseIdentifier)
    : TableViewCell(style, std::move(reuseIdentifier)) {
  setBackgroundColor(Color::clear());
  auto background = View::make<ImageView>(Image::imageNamed("Lorvane-设置-a-原大-01"));
  background->setFrame(bounds());
  background->setAutoresizingMask(AutoresizingFlexibleWidth | AutoresizingFlexibleHeight);
  setBackgroundView(background);
  setSelectedBackgroundView(View::make<ImageView>(Image::imageNamed("Lorvane-设置-a-原大-02")));
}

}  // namespace lorvane
