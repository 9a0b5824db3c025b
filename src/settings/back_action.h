#pragma once

#include "platform/ui/view_controller.h"

namespace lorvane {

// Leaves a pushed page: pops it, animated, and slides the tab bar back in.
void popPageAndShowTabBar(ViewController& page);

}  // namespace lorvane
