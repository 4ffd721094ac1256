#include "export/ElementBurn.h"

#include "core/Ani.h"

namespace zov {

void MergeFrameElements(CAni& ani, int32_t index, Image24& image) {
    if (static_cast<int64_t>(image.bits.size()) == ani.ImageSize())
        (void)ani.PaintElements(index, image.bits.data());
}

} // namespace zov
