#include "export/StreamExport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/BinFile.h"
#include "base/Log.h"
#include "codec/StreamWriter.h"
#include "core/Ani.h"
#include "elements/ElementList.h"
#include "export/ExportWalk.h"
#include "export/WebPages.h"
#include "sound/SoundFiles.h"

namespace zov {

namespace fs = std::filesystem;

std::string StreamExportPath(const std::string& path) {
    // Only the extension: a ".ZOV" inside a folder name is part of another path.
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".ZOV") == 0)
        return path.substr(0, path.size() - 4) + ".zov";
    return path;
}

namespace {

// The project's sound beside the stream ("film.scp" -> "film.mp3" -> "talk.mp3"), copied under
// a temporary name so a failed copy leaves an older one whole.
bool CopySound(const std::string& projectPath, const std::string& streamPath, bool& copied,
               std::string& error) {
    if (CopyCompanionMp3(projectPath, streamPath, &copied))
        return true;
    error = "cannot copy the sound \"" + SoundMp3Path(SoundWavPath(projectPath)) + "\" to \"" +
            StreamCompanionMp3(streamPath) + "\": " + std::strerror(errno);
    return false;
}

} // namespace

bool ExportProjectToStream(CAni& ani, const StreamExportRequest& request, StreamExportResult& result,
                           std::string& error) {
    result = StreamExportResult{};
    const std::string streamPath = StreamExportPath(request.path);
    ExportWalkRequest walkRequest;
    walkRequest.first = request.first;
    walkRequest.last = request.last;
    walkRequest.useArea = request.useArea;
    walkRequest.left = request.left;
    walkRequest.top = request.top;
    walkRequest.right = request.right;
    walkRequest.bottom = request.bottom;
    walkRequest.pixels = ExportPixels::Rgb32TopDown;
    walkRequest.cancel = request.cancel;
    walkRequest.progress = request.progress;
    ExportWalk walk;
    if (!walk.Prepare(ani, walkRequest, error))
        return false;
    if (streamPath.empty()) {
        error = "no stream file name given";
        return false;
    }

    // The sound goes first, once the request is known to be good, so that a refused export
    // leaves nothing behind.
    if (!CopySound(ani.DocumentPath(), request.path, result.soundCopied, error))
        return false;

    // Players take 10 ms or less for a still picture and read at most 32767 ms.
    const int32_t delay = ani.FrameDelay();
    const int interval = StreamIntervalForDelay(delay);
    StreamWriter writer;
    if (!writer.Begin(streamPath, walk.Width(), walk.Height(), interval)) {
        error = writer.Error();
        return false;
    }
    auto fail = [&](const std::string& why) {
        (void)writer.End(StreamEnd::NoMarker);
        std::error_code ec;
        fs::remove(streamPath, ec); // a stream missing frames is of no use to anyone
        error = why;
        return false;
    };

    std::string walkError;
    const WalkResult walked = walk.Run(
        [&](const ExportFrame& frame, std::string& why) {
            if (!writer.AddFrame32(frame.rgb32, static_cast<uint16_t>(frame.header->pointerX),
                                   static_cast<uint16_t>(frame.header->pointerY),
                                   static_cast<uint8_t>(frame.header->pointerShape))) {
                why = writer.Error();
                return false;
            }
            ++result.frames;
            return true;
        },
        walkError);
    if (walked == WalkResult::Cancelled) {
        result.cancelled = true;
        return fail("the export was cancelled");
    }
    if (walked != WalkResult::Done)
        return fail(walkError);
    if (!writer.End(StreamEnd::Marker))
        return fail(writer.Error());
    result.streamPath = streamPath;
    result.bytes = writer.BytesWritten();
    result.intervalMs = interval;
    const int32_t width = walk.Width(), height = walk.Height();
    if (interval != delay)
        result.warning = "the project's frame delay of " + std::to_string(delay) +
                         " ms cannot be played; the stream uses " + std::to_string(interval) + " ms";

    if (request.writePages) {
        WebPageJob job;
        job.streamPath = streamPath;
        job.frameWidth = width;
        job.frameHeight = height;
        job.frameDelayMs = delay;
        job.language = request.language;
        job.writeUrlLinks = [&ani](const std::string& path) { return ani.Elements().WriteUrlLinks(path); };
        std::string pageError;
        if (!WriteStreamWebPages(job, pageError))
            result.warning +=
                (result.warning.empty() ? "" : "; ") + ("the web pages were not written: " + pageError);
    }
    return true;
}

} // namespace zov
