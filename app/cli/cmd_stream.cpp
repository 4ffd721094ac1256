// `zovrec stream-encode`, `stream-decode`, `stream-info` and `export --format zov`: stream
// files from the command line.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/cli/Cli.h"
#include "app/cli/ExportFormats.h"
#include "base/Bitmap.h"
#include "codec/StreamReader.h"
#include "codec/StreamWriter.h"
#include "core/Ani.h"
#include "export/StreamExport.h"

namespace {

using namespace zov;
using namespace zov::cli;
namespace fs = std::filesystem;

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(path.c_str(), "rbe"), &std::fclose);
    if (!in) {
        error = "can not open \"" + path + "\"";
        return false;
    }
    out.clear();
    uint8_t buf[65536];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, in.get())) > 0)
        out.insert(out.end(), buf, buf + n);
    if (std::ferror(in.get())) {
        error = "can not read \"" + path + "\"";
        return false;
    }
    return true;
}

int CmdStreamEncode(CAni& ani, const Args& given) {
    Args args = given;
    std::string intervalText;
    long long interval = 500;
    if (TakeOption(args, "--interval", intervalText) &&
        (!ParseInt(intervalText, 0, kMaxIntervalMs, interval) ||
         !IsPlayableInterval(static_cast<int>(interval))))
        return Fail("the interval must be 0 (a still picture) or 11 to 32767 milliseconds, not \"" +
                    intervalText + "\"");
    if (args.size() != 2)
        return Usage("stream-encode FIRST.bmp OUT.zov [--interval MS]");
    BmpSeriesName name;
    if (!ParseBmpSeriesName(args[0], name))
        return Fail("\"" + args[0] +
                    "\" is not the first file of a numbered bitmap series (like file0001.bmp)");
    const std::vector<std::string> series = ListBmpSeries(args[0]);
    if (series.empty())
        return Fail("can not open \"" + args[0] + "\"");

    // Progress on long series, only where someone watches.
    const bool showProgress = series.size() >= 20 && isatty(2);
    StreamWriter writer;
    Image24 image;
    int width = 0, height = 0;
    for (size_t i = 0; i < series.size(); ++i) {
        std::string error;
        if (!ReadBmp(series[i], image, error)) {
            (void)writer.End(StreamEnd::NoMarker);
            return Fail("can not read \"" + series[i] + "\": " + error);
        }
        if (i == 0) {
            width = image.width;
            height = image.height;
            if (!writer.Begin(args[1], width, height, static_cast<int>(interval)))
                return Fail(writer.Error());
        } else if (image.width != width || image.height != height) {
            (void)writer.End(StreamEnd::NoMarker);
            return Fail("\"" + series[i] + "\" is " + std::to_string(image.width) + " x " +
                        std::to_string(image.height) + " pixels, the series started at " +
                        std::to_string(width) + " x " + std::to_string(height));
        }
        if (!writer.AddFrame(image.bits.data(), static_cast<size_t>(image.RowBytes()))) {
            (void)writer.End(StreamEnd::NoMarker);
            return Fail(writer.Error());
        }
        if (showProgress && (i + 1) % 10 == 0)
            std::fprintf(stderr, "\rencoded %zu of %zu frames", i + 1, series.size());
    }
    if (showProgress)
        std::fprintf(stderr, "\n");
    const uint32_t frames = writer.FramesWritten();
    // As direct recording writes it: header, control record, records, no end marker.
    if (!writer.End(StreamEnd::NoMarker))
        return Fail(writer.Error());
    std::printf("wrote %u frames of %d x %d pixels to %s (%llu bytes)\n", frames, width, height,
                args[1].c_str(), static_cast<unsigned long long>(fs::file_size(args[1])));
    return 0;
}

int CmdStreamDecode(CAni& ani, const Args& args) {
    if (args.size() != 2)
        return Usage("stream-decode IN.zov OUTDIR");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(args[0], bytes, error))
        return Fail(error);
    std::error_code ec;
    fs::create_directories(args[1], ec);
    if (!fs::is_directory(args[1]))
        return Fail("can not create the folder \"" + args[1] + "\"");

    StreamReader reader;
    reader.Open(bytes.data(), bytes.size());
    StreamRecord rec;
    Image24 image;
    int written = 0, rejected = 0;
    ReadStatus st;
    while ((st = reader.Next(rec)) == ReadStatus::Record) {
        const StreamHeader& h = reader.Header();
        if (written == 0)
            image.Allocate(h.width, h.height);
        if (rec.rejected) {
            ++rejected;
            std::fprintf(stderr,
                         "zovrec: record %u (byte %llu) is damaged: %s; the previous picture is kept\n",
                         rec.index, static_cast<unsigned long long>(rec.offset), rec.error.c_str());
        }
        const uint32_t* px = reader.Picture();
        for (int y = 0; y < h.height; ++y)
            for (int x = 0; x < h.width; ++x) {
                const uint32_t v = px[static_cast<size_t>(y) * h.width + x];
                uint8_t* p = image.PixelTopDown(x, y);
                p[0] = static_cast<uint8_t>(v);
                p[1] = static_cast<uint8_t>(v >> 8);
                p[2] = static_cast<uint8_t>(v >> 16);
            }
        char name[32];
        std::snprintf(name, sizeof name, "file%04d.bmp", written + 1);
        const std::string out = (fs::path(args[1]) / name).string();
        if (!WriteBmp(out, image))
            return Fail("can not write \"" + out + "\"");
        ++written;
    }
    std::printf("wrote %d pictures to %s\n", written, args[1].c_str());
    if (st == ReadStatus::Damaged)
        return Fail("the stream is damaged after " + std::to_string(written) +
                    " pictures: " + reader.Error());
    if (reader.CutShort())
        return Fail("the stream is cut short after " + std::to_string(written) + " pictures");
    if (rejected)
        return Fail(std::to_string(rejected) + " damaged records were kept as the picture before them");
    return 0;
}

int CmdStreamInfo(CAni& ani, const Args& given) {
    Args args = given;
    const bool records = TakeFlag(args, "--records");
    if (args.size() != 1)
        return Usage("stream-info IN.zov [--records]");
    std::vector<uint8_t> bytes;
    std::string error;
    if (!ReadWholeFile(args[0], bytes, error))
        return Fail(error);
    StreamReader reader;
    reader.SetDecode(false);
    reader.Open(bytes.data(), bytes.size());
    StreamRecord rec;
    uint32_t frames = 0, unchanged = 0;
    uint64_t chunkTotals[4] = {0, 0, 0, 0};
    ReadStatus st;
    bool headerShown = false;
    auto showHeader = [&] {
        if (headerShown || !reader.HeaderReady())
            return;
        headerShown = true;
        const StreamHeader& h = reader.Header();
        std::printf("stream:     %s\n", args[0].c_str());
        std::printf("magic:      %.4s\n", h.magic);
        std::printf("size:       %d x %d pixels\n", h.width, h.height);
        std::printf("blocks:     %d x %d\n", h.blockSize, h.blockHeightByte);
        std::printf("interval:   %d ms\n", h.interval);
        if (records)
            std::printf("records (index offset kind length cursor block colour pattern area):\n");
    };
    while ((st = reader.Next(rec)) == ReadStatus::Record) {
        showHeader();
        if (rec.kind == StreamRecord::Unchanged) {
            ++unchanged;
            if (records)
                std::printf("  %u %llu unchanged\n", rec.index, static_cast<unsigned long long>(rec.offset));
            continue;
        }
        ++frames;
        for (int i = 0; i < 4; ++i)
            chunkTotals[i] += rec.chunkSizes[i];
        if (records)
            std::printf("  %u %llu frame %u %u,%u,%u %zu %zu %zu %zu%s\n", rec.index,
                        static_cast<unsigned long long>(rec.offset), rec.length, rec.cursorX, rec.cursorY,
                        rec.cursorIndex, rec.chunkSizes[0], rec.chunkSizes[1], rec.chunkSizes[2],
                        rec.chunkSizes[3], rec.rejected ? " (chunk sizes exceed the record)" : "");
    }
    showHeader();
    if (headerShown) {
        std::printf("version:    %d\n", reader.Version());
        std::printf("records:    %u (%u frames, %u unchanged)\n", frames + unchanged, frames, unchanged);
        std::printf(
            "chunks:     block %llu, colour %llu, pattern %llu, area %llu bytes\n",
            static_cast<unsigned long long>(chunkTotals[0]), static_cast<unsigned long long>(chunkTotals[1]),
            static_cast<unsigned long long>(chunkTotals[2]), static_cast<unsigned long long>(chunkTotals[3]));
        std::printf("end:        %s\n", reader.SawEndMarker() ? "end marker"
                                        : reader.CutShort()
                                            ? "cut short inside a record"
                                            : "no end marker (as direct recording writes it)");
    }
    if (st == ReadStatus::Damaged)
        return Fail("the stream is damaged: " + reader.Error());
    return reader.CutShort() ? 1 : 0;
}

// zovrec runs one command a process: the format's own option can wait here for RunZov.
bool g_noPages = false;

bool ParseZov(Args& args, ExportOptions&, std::string&) {
    g_noPages = TakeFlag(args, "--no-pages");
    return true;
}

int RunZov(CAni& ani, const ExportOptions& options) {
    StreamExportRequest request;
    request.path = options.outputPath;
    request.first = options.first;
    request.last = options.last;
    request.useArea = options.HasArea(ani.ImageWidth(), ani.ImageHeight());
    request.left = options.left;
    request.top = options.top;
    request.right = options.right;
    request.bottom = options.bottom;
    request.writePages = !g_noPages;
    request.progress = ExportProgress;
    StreamExportResult result;
    std::string error;
    if (!ExportProjectToStream(ani, request, result, error))
        return Fail(error);
    std::printf("wrote %d frames to %s (%llu bytes)%s\n", result.frames, result.streamPath.c_str(),
                static_cast<unsigned long long>(result.bytes),
                result.soundCopied ? ", sound copied beside it" : "");
    if (!result.warning.empty())
        std::fprintf(stderr, "zovrec: %s\n", result.warning.c_str());
    return 0;
}

CliRegistration r1({"stream-encode", "stream-encode FIRST.bmp OUT.zov [--interval MS]",
                    "encode a numbered bitmap series into a stream file", CmdStreamEncode});
CliRegistration r2({"stream-decode", "stream-decode IN.zov OUTDIR",
                    "decode every frame of a stream file to OUTDIR/file0001.bmp, ...", CmdStreamDecode});
CliRegistration r3({"stream-info", "stream-info IN.zov [--records]",
                    "show a stream file's header, version, records and chunk sizes", CmdStreamInfo});
ExportFormatRegistration zov({"zov", "[--no-pages] (zov)", ParseZov, RunZov});

} // namespace
