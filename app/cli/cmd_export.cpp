// `zovrec export PROJECT --format KEY --out PATH [--first N] [--last M] [--area L,T,R,B] ...`:
// the options every format shares, then the format's own (ExportFormats.h); and the AVI format.
#include <unistd.h>

#include <atomic>
#include <cstdio>

#include "app/cli/Cli.h"
#include "app/cli/ExportFormats.h"
#include "core/Ani.h"
#include "export/AviEncoder.h"
#include "export/AviExport.h"

namespace zov::cli {

namespace {
std::vector<ExportFormat>& Formats() {
    static std::vector<ExportFormat> formats;
    return formats;
}
} // namespace

ExportFormatRegistration::ExportFormatRegistration(ExportFormat format) {
    Formats().push_back(std::move(format));
}

const std::vector<ExportFormat>& ExportFormats() {
    return Formats();
}

void ExportProgress(int32_t done, int32_t total) {
    if (!isatty(2) || total < 20)
        return;
    if (done % 10 == 0 || done == total)
        std::fprintf(stderr, "\rexported %d of %d frames", done, total);
    if (done == total)
        std::fprintf(stderr, "\n");
}

namespace {

bool ParseArea(const std::string& text, int32_t v[4]) {
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', start);
        if ((i < 3) != (comma != std::string::npos))
            return false;
        long long n;
        if (!ParseInt(text.substr(start, i < 3 ? comma - start : std::string::npos), 0, 32767, n))
            return false;
        v[i] = static_cast<int32_t>(n);
        start = comma + 1;
    }
    return true;
}

std::string UsageLine() {
    std::string line = "export PROJECT --format ";
    std::string keys, extra;
    for (const ExportFormat& f : ExportFormats()) {
        keys += (keys.empty() ? "" : "|") + f.key;
        if (!f.options.empty())
            extra += " " + f.options;
    }
    return line + keys + " --out OUT [--first N] [--last M] [--area L,T,R,B]" + extra;
}

int CmdExport(CAni& ani, const Args& given) {
    Args args = given;
    std::string key, out, text;
    if (!TakeOption(args, "--format", key) || !TakeOption(args, "--out", out))
        return Usage(UsageLine());
    const ExportFormat* format = nullptr;
    std::string known;
    for (const ExportFormat& f : ExportFormats()) {
        known += (known.empty() ? "" : ", ") + f.key;
        if (SameExportKey(key, f.key.c_str()))
            format = &f;
    }
    if (!format)
        return Fail("export format \"" + key + "\" is not available (" + known + " are)");
    int32_t first = 0, last = -1, area[4] = {0, 0, 0, 0};
    if (TakeOption(args, "--first", text)) {
        long long v;
        if (!ParseInt(text, 0, 0x7FFFFFFF, v))
            return Fail("--first must be a frame number, not \"" + text + "\"");
        first = static_cast<int32_t>(v);
    }
    if (TakeOption(args, "--last", text)) {
        long long v;
        if (!ParseInt(text, 0, 0x7FFFFFFF, v))
            return Fail("--last must be a frame number, not \"" + text + "\"");
        last = static_cast<int32_t>(v);
    }
    const bool hasArea = TakeOption(args, "--area", text);
    if (hasArea && !ParseArea(text, area))
        return Fail("--area must be four numbers LEFT,TOP,RIGHT,BOTTOM, not \"" + text + "\"");
    ExportOptions options;
    std::string error;
    if (format->parse && !format->parse(args, options, error))
        return Fail(error);
    if (args.size() != 1)
        return Usage(UsageLine());

    std::string path = args[0];
    if (!ani.OpenProject(path)) {
        const std::string m = ani.LastMessage();
        return Fail("can not open \"" + args[0] + "\": " + (m.empty() ? "unknown failure" : m));
    }
    const ExportOptions defaults = DefaultExportOptions(ani, format->key);
    options.formatKey = defaults.formatKey;
    options.outputPath = out;
    options.first = first;
    options.last = last;
    options.left = hasArea ? area[0] : defaults.left;
    options.top = hasArea ? area[1] : defaults.top;
    options.right = hasArea ? area[2] : defaults.right;
    options.bottom = hasArea ? area[3] : defaults.bottom;
    return format->run(ani, options);
}

CliRegistration exportCommand({"export", "export PROJECT --format FORMAT --out OUT [options] (see help)",
                               "export a project (or a range or area of it): zov stream, avi, ...",
                               CmdExport});

// ---- AVI -----------------------------------------------------------------------------------

bool ParseAvi(Args& args, ExportOptions& options, std::string& error) {
    std::string text;
    if (TakeOption(args, "--compressor", text) && text != "uncompressed" && text != "none") {
        if (!FindAviCompressor(text)) {
            error = "--compressor must be \"uncompressed\" or one of:";
            for (const AviCompressor& c : AvailableAviCompressors())
                error += std::string(" ") + c.encoder;
            return false;
        }
        options.compressor.encoder = text;
    }
    long long v;
    if (TakeOption(args, "--quality", text)) {
        if (!ParseInt(text, 0, 100, v)) {
            error = "--quality must be 0 to 100, not \"" + text + "\"";
            return false;
        }
        options.compressor.quality = static_cast<int32_t>(v);
    }
    if (TakeOption(args, "--key-every", text)) {
        if (!ParseInt(text, 1, 100000, v)) {
            error = "--key-every must be a number of frames, not \"" + text + "\"";
            return false;
        }
        options.compressor.keyFrameRate = static_cast<int32_t>(v);
    }
    return true;
}

int RunAvi(CAni& ani, const ExportOptions& options) {
    AviExportControl control;
    control.progress = ExportProgress;
    AviExportResult result;
    std::string error;
    if (!ExportProjectToAvi(ani, options, control, result, error))
        return Fail(error);
    std::printf("wrote %d frames to %s (%u/%u frames a second%s)\n", result.frames, result.path.c_str(),
                result.rate, result.scale, result.hasAudio ? ", with sound" : "");
    return 0;
}

ExportFormatRegistration avi({"avi", "[--compressor NAME] [--quality Q] [--key-every N] (avi)", ParseAvi,
                              RunAvi});

} // namespace

} // namespace zov::cli
