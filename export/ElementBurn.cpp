#include "export/ElementBurn.h"

#include "core/Ani.h"
#include "elements/ElementList.h"

namespace zov {

std::vector<ElementRecord> TakeElementSnapshot(const CAni& ani) {
    return ani.ElementsCopy();
}

void MergeFrameElements(CAni& ani, int32_t index, Image24& image,
                        const std::vector<ElementRecord>& snapshot) {
    if (static_cast<int64_t>(image.bits.size()) == ani.ImageSize())
        (void)ani.PaintElementsForExport(index, image.bits.data(), snapshot);
}

} // namespace zov
