// Element drawing over arbitrary element bodies. Input: one byte for the kind (mod 11), one
// byte for the frame drawn, one flag byte (bit 0: exporting, bit 1: 16-bit screen keying,
// bit 2: keep the size fields as they come instead of making them match), then the fixed
// body of the kind, then the tail. Texts are left out (the font machinery needs a running
// application; text placement is plain arithmetic on the same coordinates), so what runs is
// every shape, pen, dash, ellipse, polygon, image and clip path on hostile numbers. Drawing
// must never touch memory outside the 64 x 48 surface or the element.
#include "elements/ElementList.h"
#include "render/ElementDraw.h"

#include <QImage>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3)
        return 0;
    zov::ElementRecord e;
    e.kind = data[0] % zov::kElementKindCount;
    const int32_t frame = data[1] % 8;
    const uint8_t flags = data[2];
    data += 3, size -= 3;
    const size_t fixed = zov::ElementFixedBodySize(e.kind);
    if (size < fixed)
        return 0;
    e.body.assign(data, data + fixed);
    e.tail.assign(data + fixed, data + size);
    e.firstFrame = 0;
    e.lastFrame = 5;
    if (zov::ElementHasText(e.kind))
        e.tail.clear();
    if (!(flags & 4)) {
        const int off = zov::ElementTailLengthOffset(e.kind);
        if (off >= 0) {
            const uint32_t n = static_cast<uint32_t>(e.tail.size());
            std::memcpy(e.body.data() + off, &n, 4);
        }
        e.size = static_cast<uint32_t>(fixed + e.tail.size());
    }
    QImage surface(64, 48, QImage::Format_RGB32);
    surface.fill(0xFF808080u);
    zov::ElementDrawOptions options;
    options.exporting = flags & 1;
    options.sixteenBitScreen = flags & 2;
    options.frameCount = 8;
    (void)zov::DrawElement(surface, e, frame, options);
    if (surface.width() != 64 || surface.height() != 48)
        std::abort();
    return 0;
}
