// Burning a frame's elements into its picture before it leaves the project (stream export).
#pragma once

#include <cstdint>

#include "base/Bitmap.h"

namespace zov {

class CAni;

// Draws the elements of frame `index` over `image` (the frame's 24-bit bottom-up picture)
// through the document's element painter, the one that draws them on screen.
void MergeFrameElements(CAni& ani, int32_t index, Image24& image);

} // namespace zov
