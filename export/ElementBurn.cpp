#include "export/ElementBurn.h"

namespace zov {

void MergeFrameElements(CAni& ani, int32_t index, Image24& image) {
    (void)ani;
    (void)index;
    (void)image;
}

} // namespace zov
