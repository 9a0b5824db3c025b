#pragma once

#include <string>

#include "platform/ui/table_view.h"

namespace lorvane {

// A settings row: picture backgrounds for the normal and the selected look.
class SettingCell : public TableViewCell {
 public:
  SettingCell(TableViewCellStyle style, std::string reuseIdentifier);
};

}  // namespace lorvane
