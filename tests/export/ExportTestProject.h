// A project on disk for the export tests: frames of screen-like content (flat colours, a bar
// that moves, text-like dots, a noisy patch in odd frames) with the key frames the test asks
// for, so that ranges must be decoded from a key frame before them.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/Bitmap.h"
#include "core/Ani.h"

namespace zov::test {

inline Image24 ExportTestFrame(int w, int h, int f) {
    Image24 img;
    img.Allocate(w, h);
    uint32_t seed = 2166136261u ^ uint32_t(f * 7919);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.PixelTopDown(x, y);
            uint32_t c = 0xE0E0E0 - uint32_t((y * 3 / (h > 0 ? h : 1)) * 0x101010);
            if (x >= 2 * f && x < 2 * f + w / 6 && y > h / 6 && y < h * 2 / 3)
                c = 0x2040A0 + uint32_t(f);
            if ((x * 3 + y * 5 + f) % 17 == 0)
                c = 0x101010;
            if ((f & 1) && x > w / 2 && y > h / 2 && x < w / 2 + 40 && y < h / 2 + 30) {
                seed = seed * 1664525u + 1013904223u;
                c = seed >> 8;
            }
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    return img;
}

// Makes `path` a project of `frames` frames of w x h at `delayMs`; frames in `keys` are key
// frames, the rest difference frames against the frame before.
inline void MakeExportTestProject(CAni& ani, std::string path, int w, int h, int frames, int32_t delayMs,
                                  const std::set<int>& keys) {
    ASSERT_TRUE(ani.NewProject(path, false)) << ani.LastMessage();
    ani.SetFrameDelay(delayMs);
    ASSERT_TRUE(ani.BeginCaptureRun(w, h, std::chrono::system_clock::now())) << ani.LastMessage();
    Image24 prev;
    for (int f = 0; f < frames; ++f) {
        Image24 img = ExportTestFrame(w, h, f);
        const int kind = keys.count(f) ? FRAME_KEY : FRAME_DIFF;
        ASSERT_TRUE(ani.AppendCapturedFrame(img.bits.data(), kind == FRAME_DIFF ? prev.bits.data() : nullptr,
                                            kind, 10 + f, 20 + f, 1))
            << ani.LastMessage();
        prev = std::move(img);
    }
    ASSERT_TRUE(ani.WriteIndex()) << ani.LastMessage();
    ASSERT_EQ(frames, ani.FrameCount());
}

// Frame f as the project gives it back, cut to l..r-1, t..b-1: rows top-down, 3 bytes B, G, R
// a pixel, no padding.
inline std::vector<uint8_t> StoredBgr(CAni& ani, int f, int l, int t, int r, int b) {
    Image24 img;
    EXPECT_TRUE(ani.LoadFrame(f, img));
    std::vector<uint8_t> out;
    out.reserve(size_t(r - l) * size_t(b - t) * 3);
    for (int y = t; y < b; ++y)
        for (int x = l; x < r; ++x) {
            const uint8_t* p = img.PixelTopDown(x, y);
            out.insert(out.end(), p, p + 3);
        }
    return out;
}

} // namespace zov::test
