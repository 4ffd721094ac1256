#include "codec/AreaCodec.h"

namespace zov {

AreaCodec::AreaCodec() = default;

AreaCodec::~AreaCodec() {
    End();
}

void AreaCodec::End() {
    for (int i = 0; i < 4; ++i) {
        if (!m_zInit[i])
            continue;
        if (m_mode == 1)
            deflateEnd(&m_z[i]);
        else
            inflateEnd(&m_z[i]);
        m_zInit[i] = false;
    }
    m_mode = 0;
    patterns.Clear();
}

bool AreaCodec::Init(int mode, uint32_t width, uint32_t height) {
    End();
    m_width = width;
    m_height = height;
    m_pixels = static_cast<size_t>(width) * height;
    const int64_t w = width;
    // up-left, left, down-left, down, down-right, right, up-right, up (rows run downwards)
    const int64_t offsets[8] = {-w - 1, -1, w - 1, w, w + 1, 1, -w + 1, -w};
    for (int i = 0; i < 8; ++i)
        m_offsets[i] = offsets[i];
    background = 0;
    version = 8;

    for (int i = 0; i < 4; ++i) {
        m_z[i] = z_stream{};
        int rc = mode == 1 ? deflateInit(&m_z[i], Z_DEFAULT_COMPRESSION) : inflateInit(&m_z[i]);
        if (rc != Z_OK) {
            m_mode = mode;
            End();
            return false;
        }
        m_zInit[i] = true;
    }
    m_mode = mode;

    // A trace or walk meets each pixel at most once, so one bit, one stack entry and one
    // queued entry a pixel always suffice.
    m_shape.reset(new uint8_t[m_pixels / 8 + 16]);
    m_queued.clear();
    m_queued.reserve(1024);
    m_stack.reset(new uint32_t[m_pixels + 1]);
    m_stackDir.reset(new uint8_t[m_pixels + 1]);
    m_eAreas.clear();
    m_dAreas.clear();
    return true;
}

void AreaCodec::TraceLine(const char* text) {
    if (traceHook)
        traceHook(traceUser, text);
}

} // namespace zov
