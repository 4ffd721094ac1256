// The one walk every export makes over a project's frames: decode from the key frame at or
// before the first exported frame, draw each exported frame's elements, cut it to the area,
// convert it to what the exporter stores, and hand it over. The ZOV, AVI, WMV and bitmap
// exports all take their frames from here, so they show the same pictures.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Bitmap.h"
#include "core/ProjectRecords.h"
#include "export/ExportOptions.h"

namespace zov {

class CAni;

// What the walk converts each frame to besides the 24-bit bottom-up picture.
enum class ExportPixels {
    Dib24,        // only the bottom-up picture, rows padded to 4 bytes (AVI, BMP)
    Rgb32TopDown, // also 0x00RRGGBB words, rows top-down and unpadded (the stream codec)
};

struct ExportWalkRequest {
    int32_t first = -1; // < 0: frame 0
    int32_t last = -1;  // < 0: the last frame
    bool useArea = false;
    int32_t left = 0, top = 0, right = 0, bottom = 0; // y from the top, right and bottom exclusive
    ExportPixels pixels = ExportPixels::Dib24;
    // Set by another thread (a Cancel button) to end the walk after the frame under way.
    const std::atomic<bool>* cancel = nullptr;
    // Called after each exported frame with (frames done, frames in the range).
    std::function<void(int32_t done, int32_t total)> progress;

    // The walk an export request asks for: its range, and its area unless it is the whole
    // frame of a width x height project.
    static ExportWalkRequest FromOptions(const ExportOptions& options, int32_t width, int32_t height);
};

// One exported frame, valid during the callback only.
struct ExportFrame {
    int32_t index = 0;                   // frame number in the project
    int32_t sample = 0;                  // index - first: its number in the export
    const Image24* dib = nullptr;        // the frame with its elements, cut to the area, bottom-up
    const uint32_t* rgb32 = nullptr;     // with ExportPixels::Rgb32TopDown, else null
    const FrameHeader* header = nullptr; // the stored frame's header (pointer position, ...)
};

enum class WalkResult { Done, Cancelled, Failed };

class ExportWalk {
  public:
    // Checks the document and the request before anything is allocated: a project (not a
    // direct stream: log "E: Fail") with frames, a range within them, an area that the crop
    // rule accepts (0 <= left < right <= width, 0 <= top < bottom <= height). False with
    // `error` set to one sentence.
    [[nodiscard]] bool Prepare(CAni& ani, const ExportWalkRequest& request, std::string& error);

    int32_t First() const { return m_first; }
    int32_t Last() const { return m_last; }
    int32_t Count() const { return m_last - m_first + 1; }
    int32_t KeyFrame() const { return m_key; } // where decoding starts
    int32_t Width() const { return m_width; }  // of the exported picture
    int32_t Height() const { return m_height; }
    int32_t FrameWidth() const { return m_frameW; } // of the project
    int32_t FrameHeight() const { return m_frameH; }
    // The exported picture's description: the project's with the area's width and height
    // and an image size of stride x height.
    BitmapInfoHeader OutputInfo() const;

    // Walks frames KeyFrame()..Last(); the callback sees First()..Last() in order and may end
    // the walk by returning false with `error` set (Failed). A read or decode failure is
    // logged and Failed with `error`; a cancel between frames gives Cancelled.
    using FrameCallback = std::function<bool(const ExportFrame& frame, std::string& error)>;
    WalkResult Run(const FrameCallback& perFrame, std::string& error);

  private:
    CAni* m_ani = nullptr;
    ExportWalkRequest m_request;
    int32_t m_first = 0, m_last = -1, m_key = 0;
    int32_t m_frameW = 0, m_frameH = 0, m_width = 0, m_height = 0;
    BitmapInfoHeader m_info{};
};

} // namespace zov
