#include "codec/FrameDiffCodec.h"

#include <cstdarg>
#include <cstdio>

#include "codec/FrameDiffImpl.h"

namespace zov {

namespace {
size_t DeflateRoom(size_t in) {
    return in + in / 8 + 256;
}
} // namespace

size_t FrameDiffCodec::MaxRecordBytes() const {
    const size_t pixels = static_cast<size_t>(m_width) * m_height;
    const size_t bitmap = (m_blocks + 7) / 8;
    const size_t areas = kMaxRecordAreas;
    const size_t blockIn = 2 * bitmap + pixels * 3;
    const size_t colourIn = areas * 3;
    const size_t patternIn = areas * 2;
    // Shape bits: at most one bit a pixel for each area touching it (nine), and the new
    // patterns' copies.
    const size_t areaIn = 11 + 4 * areas + 3 * (areas + kMaxNewPatternsEncode) +
                          kMaxNewPatternsEncode * ((kMaxPatternBits + 7) / 8) + (9 * pixels) / 8 + 16;
    return kRecordHeaderBytes + DeflateRoom(blockIn) + DeflateRoom(colourIn) + DeflateRoom(patternIn) +
           DeflateRoom(areaIn);
}

FrameDiffCodec::FrameDiffCodec() = default;
FrameDiffCodec::~FrameDiffCodec() = default;

void FrameDiffCodec::SetTraceHook(TraceHook hook, void* user) {
    m_hook = hook;
    m_hookUser = user;
    if (m_area) {
        m_area->traceHook = hook;
        m_area->traceUser = user;
    }
}

void FrameDiffCodec::Trace(const char* fmt, ...) {
    if (!m_hook)
        return;
    char line[256];
    va_list ap;
    va_start(ap, fmt);
    std::vsnprintf(line, sizeof line, fmt, ap);
    va_end(ap);
    m_hook(m_hookUser, line);
}

bool FrameDiffCodec::Init(int mode, uint32_t width, uint32_t height, int bitsPerPixel, uint32_t blockWidth,
                          uint32_t blockHeight) {
    m_mode = -1;
    m_error.clear();
    m_impl.reset();
    if (m_area)
        m_area->End();
    if (mode != C_CODEC_DECODE && mode != C_CODEC_ENCODE) {
        m_error = "unknown codec mode";
        return false;
    }
    if (width == 0 || height == 0 || width > 65535 || height > 65535) {
        m_error = "picture size " + std::to_string(width) + " x " + std::to_string(height) + " is not usable";
        return false;
    }
    if (static_cast<uint64_t>(width) * height * 4 > kMaxCodecPictureBytes) {
        m_error = "picture of " + std::to_string(width) + " x " + std::to_string(height) +
                  " pixels needs more than 64 MiB";
        return false;
    }
    (void)bitsPerPixel; // pictures are always handed over as 32-bit words
    m_width = width;
    m_height = height;
    m_blockW = blockWidth ? blockWidth : 32;
    m_blockH = blockHeight ? blockHeight : 32;
    m_blocksX = (width + m_blockW - 1) / m_blockW;
    m_blocksY = (height + m_blockH - 1) / m_blockH;
    m_blocks = m_blocksX * m_blocksY;

    if (!m_area)
        m_area = std::make_unique<AreaCodec>();
    m_area->traceHook = m_hook;
    m_area->traceUser = m_hookUser;
    if (!m_area->Init(mode == C_CODEC_ENCODE ? 1 : 2, width, height)) {
        m_error = "zlib could not start its streams";
        return false;
    }
    m_impl = std::make_unique<Impl>();
    const size_t pixels = static_cast<size_t>(width) * height;
    const size_t bitmapBytes = (m_blocks + 7) / 8;
    m_impl->changedBits.assign(bitmapBytes, 0);
    m_impl->regionBits.assign(bitmapBytes, 0);
    if (mode == C_CODEC_ENCODE) {
        m_impl->prev.assign(pixels, 0xFFFFFFFFu);
        m_impl->work.assign(pixels, 0x04040404u);
        m_impl->workRegion.assign(m_blocks, 0);
        m_impl->changed.reserve(m_blocks);
        m_impl->raw.reserve(pixels * 3);
    } else {
        m_impl->bitmaps.assign(2 * bitmapBytes, 0);
    }
    m_mode = mode;
    return true;
}

void FrameDiffCodec::SetStreamVersion(uint8_t version) {
    if (m_area)
        m_area->version = version;
}

size_t FrameDiffCodec::PatternBytes() const {
    return m_area ? m_area->patterns.PoolBytes() : 0;
}

uint8_t FrameDiffCodec::StreamVersion() const {
    return m_area ? m_area->version : 8;
}

} // namespace zov
