// Export of a project (all or a range of its frames, optionally cut to an area) to an AVI file:
// one video stream of 24-bit frames, stored as they are or through a compressor, and the
// project's sound as an audio stream (or, on the WMV route, one second of silence when the
// project has none). The file is written under a temporary name beside the target and renamed
// into place at the end, so a failed or cancelled export leaves nothing behind.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "export/AviWriter.h"
#include "export/ExportOptions.h"

namespace zov {

class CAni;

// Frames a second of an export without sound, from the project's frame delay: 1000, 2000 or
// 5000 ms give 1, 500 gives 2, anything else 4.
uint32_t AviFramesPerSecond(int32_t delayMs);

struct AviExportControl {
    const std::atomic<bool>* cancel = nullptr; // set by another thread: stop after this frame
    std::function<void(int32_t done, int32_t total)> progress;
    uint64_t riffLimit = kAviRiffLimit; // tests make it small
    std::string wavPath;                // the sound to take; "" = the project's own sound file
};

struct AviExportResult {
    std::string path;
    int32_t frames = 0;
    uint32_t scale = 1, rate = 1; // the video stream's rate / scale frames a second
    bool hasAudio = false;
    AviAudioFormat audioFormat; // what the audio stream holds (the WMV route passes it on)
    uint64_t audioBytes = 0;
    int riffs = 0;
    bool cancelled = false;
};

// options: the range (first..last, last < 0 = the end), the area (the whole frame = none), the
// compressor and needAudio. False with `error` (one sentence) and no file at options.outputPath
// touched when the request, the sound file or the writing fails, or on cancel.
[[nodiscard]] bool ExportProjectToAvi(CAni& ani, const ExportOptions& options,
                                      const AviExportControl& control, AviExportResult& result,
                                      std::string& error);

} // namespace zov
