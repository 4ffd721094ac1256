// Burning a frame's elements into its picture before it leaves the project (every export).
#pragma once

#include <cstdint>
#include <vector>

#include "base/Bitmap.h"

namespace zov {

class CAni;
class ElementRecord;

// The element list as an export finds it when it starts: later edits do not reach it.
std::vector<ElementRecord> TakeElementSnapshot(const CAni& ani);

// Draws every element of `snapshot` shown on frame `index` over `image` (the frame's 24-bit
// bottom-up picture), selected or not, through the document's element painter (the one that
// draws them on screen); link areas never appear in an exported frame.
void MergeFrameElements(CAni& ani, int32_t index, Image24& image, const std::vector<ElementRecord>& snapshot);

} // namespace zov
