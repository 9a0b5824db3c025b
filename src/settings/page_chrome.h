#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/ui/button.h"
#include "platform/ui/image.h"
#include "platform/ui/label.h"

namespace lorvane {

// The look the settings-side pages share.
inline constexpr const char* kPageBackgroundPicture = "mmmmm";
inline constexpr const char* kTitleBarPicture = "导航栏-原大";
// Touched rows show their text in this colour.
inline Color touchedRowTextColor() {
  return Color::rgb255(222, 18, 104);
}

// The page background: interaction on, since the page's views sit in it.
std::shared_ptr<ImageView> makePageBackground(const Rect& frame);
// The back button of a title bar at (10, 7, 50, 29); its action runs while
// `page` lives.
std::shared_ptr<Button> makeBackButton(const Weakable* page, std::function<void()> action);
// The centred white title of a title bar at (70, 0, 180, 44).
std::shared_ptr<Label> makeTitleLabel(const std::string& text);

}  // namespace lorvane
