// Export of a project (all or a range of its frames, optionally cut to an area) to a stream
// file (".zov"), with the project's ".mp3" copied beside it and the two web pages.
// Runs on the calling thread (a cancel flag may stop it); the document must not change meanwhile.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace zov {

class CAni;

struct StreamExportRequest {
    std::string path;     // the stream file; a final ".ZOV" is written as ".zov"
    bool useArea = false; // cut every frame to columns left..right-1, rows top..bottom-1
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t first = -1;     // < 0: frame 0
    int32_t last = -1;      // < 0: the last frame
    bool writePages = true; // the ".htm" and "-ocx.htm" pages beside the stream
    int language = 0;       // interface language for the pages' character set
    // Called after each written frame with (frames done, frames in the range).
    std::function<void(int32_t done, int32_t total)> progress;
    // Set by another thread to stop after the frame under way (no stream is left behind).
    const std::atomic<bool>* cancel = nullptr;
};

struct StreamExportResult {
    std::string streamPath;   // the file actually written
    int32_t frames = 0;       // records written
    uint64_t bytes = 0;       // size of the stream file
    bool soundCopied = false; // the project's ".mp3" went beside the stream
    int32_t intervalMs = 0;   // the stream's frame interval
    // What the user should know although the stream is fine: a frame delay the players
    // cannot play (the stream then uses the nearest one they can), a page not written.
    std::string warning;
    bool cancelled = false; // the export stopped because it was asked to
};

// The stream path a request writes: a final ".ZOV" becomes ".zov".
std::string StreamExportPath(const std::string& path);

// False with `error` (one sentence) and no stream file left behind when: no project is open,
// the document records straight into a stream (log "E: Fail"), the sound copy fails, the
// project has no frames, the range or the area is bad, the file cannot be written, or a
// frame cannot be read back.
[[nodiscard]] bool ExportProjectToStream(CAni& ani, const StreamExportRequest& request,
                                         StreamExportResult& result, std::string& error);

} // namespace zov
