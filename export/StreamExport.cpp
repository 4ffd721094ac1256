#include "export/StreamExport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "base/BinFile.h"
#include "base/Log.h"
#include "codec/StreamWriter.h"
#include "core/Ani.h"
#include "elements/ElementList.h"
#include "export/ElementBurn.h"
#include "export/WebPages.h"

namespace zov {

namespace fs = std::filesystem;

std::string StreamExportPath(const std::string& path) {
    // Only the extension: a ".ZOV" inside a folder name is part of another path.
    if (path.size() >= 4 && path.compare(path.size() - 4, 4, ".ZOV") == 0)
        return path.substr(0, path.size() - 4) + ".zov";
    return path;
}

namespace {

std::string StripLastFour(const std::string& path) {
    return path.size() >= 4 ? path.substr(0, path.size() - 4) : "";
}

// The project's sound beside the stream: "<project base>.mp3" -> "<stream base>.mp3".
bool CopySound(const std::string& projectPath, const std::string& streamPath, bool& copied,
               std::string& error) {
    copied = false;
    const std::string from = StripLastFour(projectPath), to = StripLastFour(streamPath);
    if (from == to)
        return true;
    const std::string source = from + ".mp3", target = to + ".mp3";
    std::error_code ec;
    if (!fs::is_regular_file(source, ec))
        return true; // no sound: nothing to copy
    if (!CopyWholeFile(source, target)) {
        error = "cannot copy the sound \"" + source + "\" to \"" + target + "\": " + std::strerror(errno);
        return false;
    }
    copied = true;
    return true;
}

} // namespace

bool ExportProjectToStream(CAni& ani, const StreamExportRequest& request, StreamExportResult& result,
                           std::string& error) {
    result = StreamExportResult{};
    if (ani.DocMode() == DOC_STREAM) {
        ZOV_LOG("E: Fail");
        error = "the document records straight into a stream file and has no project frames";
        return false;
    }
    if (ani.DocMode() != DOC_PROJECT || !ani.IsFileOpen()) {
        error = "no project is open";
        return false;
    }
    const std::string streamPath = StreamExportPath(request.path);
    if (streamPath.empty()) {
        error = "no stream file name given";
        return false;
    }
    const int32_t count = ani.FrameCount();
    if (count <= 0) {
        error = "the project has no frames";
        return false;
    }
    const int32_t first = request.first < 0 ? 0 : request.first;
    const int32_t last = request.last < 0 ? count - 1 : request.last;
    if (first > last || first >= count || last >= count) {
        error = "frames " + std::to_string(first) + " to " + std::to_string(last) +
                " are not within the project's " + std::to_string(count) + " frames";
        return false;
    }
    const int32_t frameW = ani.ImageWidth(), frameH = ani.ImageHeight();
    int32_t left = 0, top = 0, width = frameW, height = frameH;
    if (request.useArea) {
        if (!(0 <= request.left && request.left < request.right && request.right <= frameW &&
              0 <= request.top && request.top < request.bottom && request.bottom <= frameH)) {
            error = "the area " + std::to_string(request.left) + "," + std::to_string(request.top) + "," +
                    std::to_string(request.right) + "," + std::to_string(request.bottom) +
                    " does not lie within the " + std::to_string(frameW) + " x " + std::to_string(frameH) +
                    " frame";
            return false;
        }
        left = request.left;
        top = request.top;
        width = request.right - request.left;
        height = request.bottom - request.top;
    }

    // The sound goes first, once the request is known to be good, so that a refused export
    // leaves nothing behind.
    if (!CopySound(ani.DocumentPath(), request.path, result.soundCopied, error))
        return false;

    // Players take 10 ms or less for a still picture and read at most 32767 ms.
    const int32_t delay = ani.FrameDelay();
    const int interval = StreamIntervalForDelay(delay);
    StreamWriter writer;
    if (!writer.Begin(streamPath, width, height, interval)) {
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

    // Frames are decoded from the nearest whole frame on; the document's frame cache keeps
    // each step to one difference frame.
    if (frameW <= 0 || frameH <= 0 ||
        static_cast<int64_t>(Image24::RowBytes(frameW)) * frameH != ani.ImageSize())
        return fail("the project's frame geometry is not a 24-bit picture");
    Image24 image;
    image.Allocate(frameW, frameH);
    auto header = std::make_unique<FrameHeader>();
    std::vector<uint32_t> picture(static_cast<size_t>(width) * static_cast<size_t>(height));
    const int32_t total = last - first + 1;
    for (int32_t i = first; i <= last; ++i) {
        if (!ani.LoadFrame(i, image.bits.data(), header.get()))
            return fail("frame " + std::to_string(i) + " of the project cannot be read");
        MergeFrameElements(ani, i, image);
        for (int32_t y = 0; y < height; ++y) {
            uint32_t* row = picture.data() + static_cast<size_t>(y) * width;
            for (int32_t x = 0; x < width; ++x) {
                const uint8_t* p = image.PixelTopDown(left + x, top + y);
                row[x] = p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
            }
        }
        if (!writer.AddFrame32(picture.data(), static_cast<uint16_t>(header->pointerX),
                               static_cast<uint16_t>(header->pointerY),
                               static_cast<uint8_t>(header->pointerShape)))
            return fail(writer.Error());
        ++result.frames;
        if (request.progress)
            request.progress(i - first + 1, total);
        std::this_thread::yield();
    }
    if (!writer.End(StreamEnd::Marker))
        return fail(writer.Error());
    result.streamPath = streamPath;
    result.bytes = writer.BytesWritten();
    result.intervalMs = interval;
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
