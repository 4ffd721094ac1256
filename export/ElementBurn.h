// Burning a frame's elements into its picture before it leaves the project (stream export).
#pragma once

#include <cstdint>

#include "base/Bitmap.h"

namespace zov {

class CAni;

// Draws the elements of frame `index` over `image` (the frame's 24-bit bottom-up picture).
// FIXME: element drawing is not built yet; until it is, this leaves the picture as it is.
void MergeFrameElements(CAni& ani, int32_t index, Image24& image);

} // namespace zov
