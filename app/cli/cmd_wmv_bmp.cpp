// The bitmap and WMV formats of `zovrec export`: "bmp" writes file0001.bmp, ... and
// cursor.txt into the folder given by --out (an earlier series there stops the export unless
// --overwrite is given); "wmv" has the media encoder of zov-recorder.conf (by default the
// program folder's zov-wmenc) turn an intermediate AVI into the --out file.
#include "app/cli/Cli.h"
#include "app/cli/ExportFormats.h"

#include "base/ProgramFolder.h"
#include "core/Ani.h"
#include "export/AviExport.h"
#include "export/BitmapExport.h"
#include "export/WmvExport.h"

#include <algorithm>
#include <cstdio>

namespace zov::cli {

namespace {

bool g_overwrite = false;

bool ParseBitmapOptions(Args& args, ExportOptions&, std::string&) {
    const auto it = std::find(args.begin(), args.end(), "--overwrite");
    g_overwrite = it != args.end();
    if (g_overwrite)
        args.erase(it);
    return true;
}

int RunBitmapExport(CAni& ani, const ExportOptions& options) {
    BitmapExportRequest request;
    request.folder = options.outputPath;
    request.walk = ExportWalkRequest::FromOptions(options, ani.ImageWidth(), ani.ImageHeight());
    request.walk.progress = ExportProgress;
    if (g_overwrite)
        request.confirmOverwrite = [](const std::vector<std::string>&) { return true; };
    int32_t written = 0;
    std::string error;
    switch (ExportBitmaps(ani, request, written, error)) {
    case BitmapExportResult::Done:
        std::printf("%s: %d bitmap files and %s\n", options.outputPath.c_str(), written, kCursorFileName);
        return 0;
    case BitmapExportResult::NotOverwritten:
        return Fail(error + "; nothing was written (--overwrite replaces them)");
    default:
        return Fail(error);
    }
}

int RunWmvExport(CAni& ani, const ExportOptions& options) {
    WmvExportRequest request;
    request.target = options.outputPath;
    request.encoderCommand = ConfiguredEncoderCommand(WritableFolder() + kRecorderConfName, ProgramFolder());
    request.writeAvi = [&](const std::string& avi, std::string& error) {
        ExportOptions o = options;
        o.outputPath = avi;
        o.compressor = CompressorChoice{};
        o.needAudio = true;
        AviExportControl control;
        control.progress = ExportProgress;
        AviExportResult result;
        return ExportProjectToAvi(ani, o, control, result, error);
    };
    std::string error;
    if (ExportWmv(request, error) != WmvExportResult::Done)
        return Fail(error);
    std::printf("%s: written by %s\n", options.outputPath.c_str(), request.encoderCommand.c_str());
    return 0;
}

ExportFormatRegistration bmpFormat({"bmp", "[--overwrite]", ParseBitmapOptions, RunBitmapExport});
ExportFormatRegistration wmvFormat({"wmv", "", nullptr, RunWmvExport});

} // namespace

} // namespace zov::cli
