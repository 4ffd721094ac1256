// A screen held in memory, for tests of the capture engine without a display: 32-bit
// B, G, R, X pixels (or 16-bit 5-6-5, or any depth for the refusal paths), a pointer
// that tests move, and a grab counter.
#pragma once

#include "platform/ScreenSource.h"

#include <atomic>
#include <functional>
#include <map>
#include <mutex>

namespace zov {

class FakeScreen : public IScreenSource {
  public:
    FakeScreen(int width, int height, int bitsPerPixel = 32);

    int ScreenWidth() const override { return m_width; }
    int ScreenHeight() const override { return m_height; }
    int BitsPerPixel() const override { return m_bpp; }
    int Depth() const override { return m_bpp; }
    WindowState WindowRect(uint64_t window, ScreenRect& out) override;
    bool Prepare(int width, int height) override;
    bool Grab(int x, int y, ScreenPixels& out) override;
    void Release() override {}
    bool ReadPointer(PointerState& out) override;

    // Test controls (thread-safe).
    void SetPixel(int x, int y, uint32_t rgb);
    void Fill(uint32_t rgb);
    // A window at `rect`, shown until SetWindowShown(id, false) unmaps it.
    void SetWindow(uint64_t id, ScreenRect rect);
    void SetWindowShown(uint64_t id, bool shown);
    void RemoveWindow(uint64_t id);
    void SetPointer(int x, int y, std::shared_ptr<const PointerImage> image);
    void SetPointerReadable(bool readable) { m_pointerReadable = readable; }
    // Called at the start of every Grab(), before the pixels are read.
    void OnGrab(std::function<void(int grabIndex)> hook);
    int GrabCount() const { return m_grabs; }

  private:
    int m_width, m_height, m_bpp;
    mutable std::mutex m_mutex;
    std::vector<uint32_t> m_rgb; // 0x00RRGGBB
    struct Window {
        ScreenRect rect;
        bool shown = true;
    };
    std::map<uint64_t, Window> m_windows;
    PointerState m_pointer;
    std::atomic<bool> m_pointerReadable{true};
    std::function<void(int)> m_hook;
    std::atomic<int> m_grabs{0};
    int m_grabW = 0, m_grabH = 0;
    std::vector<uint8_t> m_buffer;
};

} // namespace zov
