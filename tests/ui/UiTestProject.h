// Small projects made in the test itself: frame k of a w x h project is a picture whose
// pixel (x, y) has the colour FramePixel(k, x, y).
#pragma once

#include "base/Bitmap.h"
#include "core/Ani.h"
#include "core/ProjectRecords.h"

#include <QColor>
#include <chrono>
#include <string>
#include <vector>

namespace zovtest {

inline QRgb FramePixel(int k, int x, int y) {
    return qRgb((x * 7 + k * 40) & 0xFF, (y * 5 + k * 11) & 0xFF, (k * 60 + 30) & 0xFF);
}

// Builds the project at `path` (extension .scp) with `frames` frames and closes it.
inline bool MakeProject(zov::CAni& doc, std::string path, int w, int h, int frames, int delayMs) {
    doc.SetDefaultFrameDelay(delayMs);
    if (!doc.NewProject(path, false) || !doc.BeginCaptureRun(w, h, std::chrono::system_clock::now()))
        return false;
    const int row = zov::Image24::RowBytes(w);
    std::vector<uint8_t> prev, cur(static_cast<size_t>(row) * h);
    for (int k = 0; k < frames; ++k) {
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = cur.data() + static_cast<size_t>(h - 1 - y) * row + x * 3;
                const QRgb c = FramePixel(k, x, y);
                p[0] = static_cast<uint8_t>(qBlue(c));
                p[1] = static_cast<uint8_t>(qGreen(c));
                p[2] = static_cast<uint8_t>(qRed(c));
            }
        const bool key = k % 4 == 0;
        if (!doc.AppendCapturedFrame(cur.data(), key ? nullptr : prev.data(),
                                     key ? zov::FRAME_KEY : zov::FRAME_DIFF, 0, 0, -1))
            return false;
        prev = cur;
    }
    const bool ok = doc.WriteIndex();
    doc.Close();
    return ok;
}

} // namespace zovtest
