// Decode side of FrameDiffCodec. Everything a record says is read and checked first; the
// caller's image is touched only once the whole record has proved consistent, so a
// rejected record leaves the previous picture in place.
#include <cstring>

#include "codec/FrameDiffImpl.h"
#include "codec/StreamContainer.h"

namespace zov {

DecodeStatus FrameDiffCodec::DecodePayload(const uint8_t* payload, size_t length, uint32_t* image) {
    RecordChunks c;
    FrameRecordHeader header;
    if (!SplitFrameRecord(payload, length, header, c)) {
        m_error = "frame record is shorter than its chunk sizes";
        return DecodeStatus::Rejected;
    }
    return DecodeRecord(c, image);
}

DecodeStatus FrameDiffCodec::DecodeRecord(const RecordChunks& chunks, uint32_t* image) {
    if (m_mode != C_CODEC_DECODE || !image) {
        m_error = "codec is not set up for decoding";
        return DecodeStatus::Rejected;
    }
    Impl& s = *m_impl;
    AreaCodec& area = *m_area;
    const uint32_t w = m_width, h = m_height;
    m_error.clear();

    const uint8_t* inputs[4];
    size_t sizes[4];
    inputs[kBlockStream] = chunks.block;
    sizes[kBlockStream] = chunks.blockSize;
    inputs[kColourStream] = chunks.colour;
    sizes[kColourStream] = chunks.colourSize;
    inputs[kPatternStream] = chunks.pattern;
    sizes[kPatternStream] = chunks.patternSize;
    inputs[kAreaStream] = chunks.area;
    sizes[kAreaStream] = chunks.areaSize;
    for (int i = 0; i < 4; ++i) {
        z_stream& z = area.Stream(static_cast<ZStream>(i));
        z.next_in = const_cast<Bytef*>(inputs[i]);
        z.avail_in = inputs[i] ? static_cast<uInt>(sizes[i]) : 0;
    }
    auto dropInputs = [&] {
        for (int i = 0; i < 4; ++i) {
            z_stream& z = area.Stream(static_cast<ZStream>(i));
            z.next_in = nullptr;
            z.avail_in = 0;
        }
    };

    // Block layer: both bitmaps, then the raw blocks' pixels in block order.
    const size_t bitmapBytes = (m_blocks + 7) / 8;
    if (area.Inflate(kBlockStream, s.bitmaps.data(), 2 * bitmapBytes) != 2 * bitmapBytes) {
        dropInputs();
        m_error = "block chunk is shorter than its bitmaps";
        return DecodeStatus::Rejected;
    }
    const uint8_t* changedBits = s.bitmaps.data();
    const uint8_t* regionBits = s.bitmaps.data() + bitmapBytes;
    auto bit = [](const uint8_t* bits, uint32_t b) { return (bits[b >> 3] >> (b & 7)) & 1; };
    size_t rawBytes = 0;
    for (uint32_t b = 0; b < m_blocks; ++b) {
        if (bit(changedBits, b) && !bit(regionBits, b)) {
            const BlockRect r = BlockAt(b, m_blocksX, m_blockW, m_blockH, w, h);
            rawBytes += static_cast<size_t>(r.w) * r.h * 3;
        }
    }
    if (s.rawIn.size() < rawBytes)
        s.rawIn.resize(rawBytes);
    if (area.Inflate(kBlockStream, s.rawIn.data(), rawBytes) != rawBytes) {
        dropInputs();
        m_error = "block chunk is shorter than its raw blocks";
        return DecodeStatus::Rejected;
    }

    // Area layer, read and checked.
    std::string why;
    if (!area.ReadAreas(chunks.colourSize > 0, why)) {
        dropInputs();
        m_error = why;
        return DecodeStatus::Rejected;
    }
    dropInputs();

    // From here on the record is applied.
    if (image != s.lastImage || s.excluded.size() != m_blocks) {
        s.excluded.assign(m_blocks, 0);
        s.lastImage = image;
    }
    const uint8_t* q = s.rawIn.data();
    for (uint32_t b = 0; b < m_blocks; ++b) {
        if (!bit(changedBits, b) || bit(regionBits, b))
            continue;
        const BlockRect r = BlockAt(b, m_blocksX, m_blockW, m_blockH, w, h);
        for (uint32_t y = 0; y < r.h; ++y) {
            uint32_t* row = image + static_cast<size_t>(r.y0 + y) * w + r.x0;
            for (uint32_t x = 0; x < r.w; ++x, q += 3)
                row[x] = static_cast<uint32_t>(q[0]) | (static_cast<uint32_t>(q[1]) << 8) |
                         (static_cast<uint32_t>(q[2]) << 16);
        }
        s.excluded[b] = 0;
    }
    area.background = area.RecordBackground();
    // Block fill: region blocks start as background, the rest is out of bounds for areas.
    const uint32_t bg = area.background & kColourMask;
    for (uint32_t b = 0; b < m_blocks; ++b) {
        const bool region = bit(regionBits, b);
        if (!region && s.excluded[b])
            continue; // already all EXCLUDED
        const BlockRect r = BlockAt(b, m_blocksX, m_blockW, m_blockH, w, h);
        for (uint32_t y = 0; y < r.h; ++y) {
            uint32_t* row = image + static_cast<size_t>(r.y0 + y) * w + r.x0;
            if (region)
                for (uint32_t x = 0; x < r.w; ++x)
                    row[x] = bg;
            else
                for (uint32_t x = 0; x < r.w; ++x)
                    row[x] |= EXCLUDED;
        }
        s.excluded[b] = region ? 0 : 1;
    }
    for (uint32_t y = 0; y < h; ++y)
        image[static_cast<size_t>(y) * w + w - 1] |= EXCLUDED;
    // Painting. A seed painted over an EXCLUDED pixel takes the flag off its block.
    area.PaintAreas(image);
    for (uint32_t seed : area.StraySeeds()) {
        const uint32_t x = seed % w, y = seed / w;
        s.excluded[(y / m_blockH) * m_blocksX + x / m_blockW] = 0;
    }
    return DecodeStatus::Ok;
}

} // namespace zov
