#pragma once

#include <functional>

#include "platform/ui/image.h"
#include "platform/ui/layer.h"

namespace lorvane {

// Draws a layer (a view's layer draws the view and its subviews) into a
// new picture of `size` points at `scale` (0: the screen's scale), as a
// bitmap image context does. The render layer installs the full painter;
// without it, colour fills alone are drawn.
ImagePtr renderLayerToImage(const Layer& layer, Size size, double scale = 0);

using SnapshotRenderer = std::function<ImagePtr(const Layer&, Size, double scale)>;
void setSnapshotRenderer(SnapshotRenderer renderer);

// A picture of `size` filled with one colour.
ImagePtr imageFilledWithColor(Color color, Size size, double scale = 1);

}  // namespace lorvane
