// Buffers of FrameDiffCodec shared by its encode and decode files (not part of the API).
#pragma once

#include <cstdint>
#include <unordered_map>
#include <vector>

#include "codec/AreaCodec.h"
#include "codec/FrameDiffCodec.h"

namespace zov {

struct FrameDiffCodec::Impl {
    // encoder
    std::vector<uint32_t> prev;        // previous frame, 0xFF bytes at the start
    std::vector<uint32_t> work;        // area coder's work image
    std::vector<uint32_t> changed;     // changed block numbers, block order
    std::vector<uint8_t> blockChanged; // one byte a block, during the comparison
    std::vector<uint8_t> changedBits, regionBits;
    std::vector<uint8_t> raw;        // raw pixels, 3 bytes each
    std::vector<uint8_t> workRegion; // blocks the work image holds region pixels for
    struct Dominant {
        uint32_t colour;
        uint32_t count;
    };
    // Every dominant colour of the frame in the order first met (the table grows as needed;
    // the index finds an entry without a search).
    std::vector<Dominant> dominant;
    std::unordered_map<uint32_t, uint32_t> dominantIndex;
    // decoder
    std::vector<uint8_t> bitmaps; // changed and region bitmaps of one record
    std::vector<uint8_t> rawIn;   // raw pixels of one record
    // Blocks whose every pixel already carries EXCLUDED in the caller's image, so the block
    // fill can leave them alone (only the fill and stray seeds ever change that).
    std::vector<uint8_t> excluded;
    const uint32_t* lastImage = nullptr;
};

// Geometry of block b: origin and size, cut to the picture.
struct BlockRect {
    uint32_t x0, y0, w, h;
};
inline BlockRect BlockAt(uint32_t b, uint32_t blocksX, uint32_t bw, uint32_t bh, uint32_t width,
                         uint32_t height) {
    BlockRect r;
    r.x0 = (b % blocksX) * bw;
    r.y0 = (b / blocksX) * bh;
    r.w = width - r.x0 < bw ? width - r.x0 : bw;
    r.h = height - r.y0 < bh ? height - r.y0 : bh;
    return r;
}

} // namespace zov
