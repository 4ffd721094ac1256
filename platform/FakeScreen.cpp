#include "platform/FakeScreen.h"

#include <cstring>

namespace zov {

FakeScreen::FakeScreen(int width, int height, int bitsPerPixel)
    : m_width(width), m_height(height), m_bpp(bitsPerPixel),
      m_rgb(static_cast<size_t>(width) * static_cast<size_t>(height), 0) {}

WindowState FakeScreen::WindowRect(uint64_t window, ScreenRect& out) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(window);
    if (it == m_windows.end())
        return WindowState::Gone;
    out = it->second.rect;
    return it->second.shown ? WindowState::Shown : WindowState::Hidden;
}

bool FakeScreen::Prepare(int width, int height) {
    if (width <= 0 || height <= 0)
        return false;
    m_grabW = width;
    m_grabH = height;
    return true;
}

bool FakeScreen::Grab(int x, int y, ScreenPixels& out) {
    int index = m_grabs++;
    std::function<void(int)> hook;
    {
        std::lock_guard lock(m_mutex);
        hook = m_hook;
    }
    if (hook)
        hook(index);
    if (m_grabW <= 0)
        return false;
    const int bytesPerPixel = m_bpp == 16 ? 2 : 4;
    const int bpl = m_grabW * bytesPerPixel;
    m_buffer.assign(static_cast<size_t>(bpl) * static_cast<size_t>(m_grabH), 0);
    std::lock_guard lock(m_mutex);
    for (int row = 0; row < m_grabH; ++row) {
        int sy = y + row;
        if (sy < 0 || sy >= m_height)
            continue;
        for (int col = 0; col < m_grabW; ++col) {
            int sx = x + col;
            if (sx < 0 || sx >= m_width)
                continue;
            uint32_t c = m_rgb[static_cast<size_t>(sy) * m_width + sx];
            uint8_t* p = m_buffer.data() + static_cast<size_t>(row) * bpl + col * bytesPerPixel;
            if (bytesPerPixel == 2) {
                uint16_t v =
                    static_cast<uint16_t>(((c >> 8) & 0xF800) | ((c >> 5) & 0x07E0) | ((c >> 3) & 0x001F));
                std::memcpy(p, &v, 2);
            } else {
                std::memcpy(p, &c, 4);
            }
        }
    }
    out = ScreenPixels{};
    out.width = m_grabW;
    out.height = m_grabH;
    out.bitsPerPixel = m_bpp;
    out.bytesPerLine = bpl;
    if (m_bpp == 16) {
        out.redMask = 0xF800;
        out.greenMask = 0x07E0;
        out.blueMask = 0x001F;
    } else {
        out.redMask = 0xFF0000;
        out.greenMask = 0x00FF00;
        out.blueMask = 0x0000FF;
    }
    out.data = m_buffer.data();
    return true;
}

bool FakeScreen::ReadPointer(PointerState& out) {
    if (!m_pointerReadable)
        return false;
    std::lock_guard lock(m_mutex);
    out = m_pointer;
    return true;
}

void FakeScreen::SetPixel(int x, int y, uint32_t rgb) {
    std::lock_guard lock(m_mutex);
    if (x >= 0 && y >= 0 && x < m_width && y < m_height)
        m_rgb[static_cast<size_t>(y) * m_width + x] = rgb & 0xFFFFFF;
}

void FakeScreen::Fill(uint32_t rgb) {
    std::lock_guard lock(m_mutex);
    std::fill(m_rgb.begin(), m_rgb.end(), rgb & 0xFFFFFF);
}

void FakeScreen::SetWindow(uint64_t id, ScreenRect rect) {
    std::lock_guard lock(m_mutex);
    m_windows[id].rect = rect;
}

void FakeScreen::SetWindowShown(uint64_t id, bool shown) {
    std::lock_guard lock(m_mutex);
    auto it = m_windows.find(id);
    if (it != m_windows.end())
        it->second.shown = shown;
}

void FakeScreen::RemoveWindow(uint64_t id) {
    std::lock_guard lock(m_mutex);
    m_windows.erase(id);
}

void FakeScreen::SetPointer(int x, int y, std::shared_ptr<const PointerImage> image) {
    std::lock_guard lock(m_mutex);
    m_pointer.x = x;
    m_pointer.y = y;
    m_pointer.image = std::move(image);
}

void FakeScreen::OnGrab(std::function<void(int)> hook) {
    std::lock_guard lock(m_mutex);
    m_hook = std::move(hook);
}

} // namespace zov
