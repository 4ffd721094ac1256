#include "ProjectRecords.h"

#include <cstring>

namespace zov {

void InitFrameHeader(FrameHeader& h, uint8_t captured) {
    std::memset(&h, 0, sizeof h);
    std::memcpy(h.sign, "SIGN", 4);
    h.reserved4 = -1;
    h.reserved12 = -1;
    h.captured = captured;
}

} // namespace zov
