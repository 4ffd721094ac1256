// Project commands of zovrec: info, check, import-bmp, frame, delete, paste, save-as, and
// demo, which shows them at work on a generated bitmap series.
#include "app/cli/Cli.h"

#include "base/BinFile.h"
#include "base/Bitmap.h"
#include "base/Path.h"
#include "core/Ani.h"
#include "elements/ElementList.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>

using namespace zov;
using namespace zov::cli;

namespace {

const char* KindName(int32_t kind) {
    static const char* names[] = {"line",       "circle",    "box",     "box2",  "text",    "subscript1",
                                  "subscript2", "reserved7", "urllink", "image", "savearea"};
    return kind >= 0 && kind <= 10 ? names[kind] : "unknown";
}

std::string Reason(CAni& ani, const std::string& fallback) {
    std::string m = ani.LastMessage();
    return m.empty() ? fallback : m;
}

void PrintInfo(CAni& a, std::FILE* out) {
    const ProjectHeader& h = a.Header();
    std::fprintf(out, "project:            %s\n", a.DocumentPath().c_str());
    std::fprintf(out, "version:            0x%08X\n", h.version);
    std::fprintf(out, "frames:             %d\n", h.frameCount);
    std::fprintf(out, "frame delay:        %d ms\n", h.frameDelay);
    std::fprintf(out, "capture rectangle:  %d, %d, %d, %d\n", h.captureLeft, h.captureTop, h.captureRight,
                 h.captureBottom);
    std::fprintf(out, "image:              %d x %d, 24 bits, row bytes %d, image size %d\n", h.bmi.biWidth,
                 h.bmi.biHeight, h.rowBytes, h.imageSize);
    std::fprintf(out, "block width:        %d pixels\n", h.blockWidth);
    std::fprintf(out, "key-frame interval: %d\n", h.keyFrameInterval);
    std::fprintf(out, "record pointer:     %s\n", h.recordPointer ? "yes" : "no");
    std::fprintf(out, "start time:         %.31s\n", h.startTime[0] ? h.startTime : "(none)");
    std::fprintf(out, "end of frame data:  %d\n", h.frameDataEnd);
    std::fprintf(out, "tables 2, 3, 4:     %d, %d, %d records\n", h.table2Count, h.table3Count,
                 h.table4Count);
    int keys = 0;
    std::string keyList;
    for (int32_t i = 0; i < a.FrameCount(); ++i) {
        if (a.FrameTable()[size_t(i)].kind != FRAME_KEY)
            continue;
        ++keys;
        if (keys <= 40)
            keyList += (keyList.empty() ? "" : ", ") + std::to_string(i);
        else if (keys == 41)
            keyList += ", ...";
    }
    std::fprintf(out, "frame kinds:        %d key, %d difference\n", keys, a.FrameCount() - keys);
    std::fprintf(out, "key frames at:      %s\n", keyList.empty() ? "(none)" : keyList.c_str());
    CElementList& el = a.Elements();
    std::map<std::string, int> kinds;
    for (int i = 0; i < el.Count(); ++i)
        if (const ElementRecord* r = el.At(i))
            ++kinds[KindName(r->kind)];
    std::string summary;
    for (const auto& [name, n] : kinds)
        summary += (summary.empty() ? "" : ", ") + std::to_string(n) + " " + name;
    std::fprintf(out, "elements:           %d%s%s%s\n", el.Count(), summary.empty() ? "" : " (",
                 summary.c_str(), summary.empty() ? "" : ")");
}

int CmdInfo(CAni& ani, const Args& args) {
    if (args.size() != 1)
        return Usage("info PROJECT");
    std::string path = args[0];
    int code = 0;
    if (!OpenOrFail(ani, path, code))
        return code;
    const CloseAtEnd closeAtEnd(ani);
    PrintInfo(ani, stdout);
    return 0;
}

int CmdCheck(CAni& ani, const Args& args) {
    if (args.size() != 1)
        return Usage("check PROJECT");
    std::string path = args[0];
    int code = 0;
    if (!OpenOrFail(ani, path, code))
        return code;
    const CloseAtEnd closeAtEnd(ani);
    const bool ok = ani.CheckFile();
    const int n = ani.FrameCount();
    if (!ok)
        return Fail("\"" + path + "\" fails the check of its frame table.");
    std::printf("%s: check passed, %d frames\n", path.c_str(), n);
    return 0;
}

class ImportProgress : public IDocumentEvents {
  public:
    explicit ImportProgress(bool quiet) : m_quiet(quiet) {}
    void OnImportProgress(int kind, int appended, const std::string& text) override {
        if (m_quiet)
            return;
        if (kind == kImportProgressStep && (appended % 25 == 0 || appended == 1))
            std::fprintf(stderr, "  %s\n", text.c_str());
        else if (kind == kImportProgressFinished)
            std::fprintf(stderr, "  appended frames: %d, the series ends there\n", appended);
    }

  private:
    bool m_quiet;
};

// Creates the project when neither the path nor the path with ".scp" exists, else opens it.
bool OpenOrCreate(CAni& ani, std::string& path, int& code) {
    const std::string withExt = ReplaceExtension(path, "scp");
    if (!FileExists(path) && !FileExists(withExt)) {
        std::string p = path;
        if (!ani.NewProject(p, false)) {
            code = Fail("can not create \"" + p + "\": " + Reason(ani, "unknown failure"));
            return false;
        }
        path = p;
        return true;
    }
    return OpenOrFail(ani, path, code);
}

// `at` >= 0 moves the appended frames to stand before frame `at` (as the window does with
// the selected position); one Undo takes the import back either way.
int ImportSeries(CAni& ani, std::string& project, const std::string& first, bool quiet, long long at = -1) {
    BmpSeriesName series;
    if (!ParseBmpSeriesName(first, series))
        return Fail("Filename Should Be: file0001.bmp");
    int code = 0;
    if (!OpenOrCreate(ani, project, code))
        return code;
    const int32_t before = ani.FrameCount();
    if (at > before)
        return Fail("--at " + std::to_string(at) + " lies beyond the project's " + std::to_string(before) +
                    " frames.");
    ImportProgress progress(quiet);
    ani.AddListener(&progress);
    BitmapAppendRequest request;
    request.firstPath = first;
    if (!ani.StartBitmapAppend(request)) {
        ani.RemoveListener(&progress);
        return Fail("can not start the import.");
    }
    ani.WaitBitmapAppend(request);
    ani.RemoveListener(&progress);
    if (!request.result)
        return Fail("nothing was imported: " + request.error + ".");
    if (!request.error.empty())
        std::fprintf(stderr, "zovrec: the import stopped early: %s.\n", request.error.c_str());
    if (at >= 0 && !ani.PlaceAppendedFrames(request.appended.load(), static_cast<int32_t>(at)))
        return Fail("the imported frames could not be moved to frame " + std::to_string(at) + ": " +
                    Reason(ani, "unknown failure") + ".");
    if (!quiet)
        std::printf("%s: appended %d frames, %d in all\n", project.c_str(), request.appended.load(),
                    ani.FrameCount());
    return 0;
}

int CmdImport(CAni& ani, const Args& args) {
    long long at = -1;
    if (args.size() == 4 && args[2] == "--at") {
        if (!ParseInt(args[3], 0, INT32_MAX, at))
            return Fail("--at \"" + args[3] + "\" is not a frame number.");
    } else if (args.size() != 2) {
        return Usage("import-bmp PROJECT FIRST.bmp [--at N]");
    }
    std::string project = args[0];
    const CloseAtEnd closeAtEnd(ani);
    return ImportSeries(ani, project, args[1], false, at);
}

bool ParseIndex(const std::string& text, long long lo, long long hi, long long& out, const char* what,
                int& code) {
    if (!ParseInt(text, lo, hi, out)) {
        code = Fail(std::string(what) + " \"" + text + "\" is not a number from " + std::to_string(lo) +
                    " to " + std::to_string(hi) + ".");
        return false;
    }
    return true;
}

int CmdFrame(CAni& ani, const Args& args) {
    if (args.size() != 3)
        return Usage("frame PROJECT INDEX OUT.bmp");
    std::string path = args[0];
    int code = 0;
    if (!OpenOrFail(ani, path, code))
        return code;
    const CloseAtEnd closeAtEnd(ani);
    const int n = ani.FrameCount();
    long long index = 0;
    if (n == 0)
        return Fail("\"" + path + "\" has no frames.");
    if (!ParseIndex(args[1], 0, n - 1, index, "frame index", code))
        return code;
    Image24 image;
    if (!ani.LoadFrame(static_cast<int32_t>(index), image))
        return Fail("frame " + std::to_string(index) + " of \"" + path + "\" can not be decoded.");
    if (!WriteBmp(args[2], image))
        return Fail("can not write \"" + args[2] + "\".");
    std::printf("frame %lld (%d x %d) written to %s\n", index, image.width, image.height, args[2].c_str());
    return 0;
}

// Opens a project that an edit needs frames of; on failure (no frames included) the
// document is closed again and `code` holds the exit code.
bool OpenWithFrames(CAni& ani, std::string& path, const char* edit, int& code) {
    if (!OpenOrFail(ani, path, code))
        return false;
    if (ani.FrameCount() > 0)
        return true;
    ani.Close();
    code = Fail("\"" + path + "\" has no frames to " + edit + ".");
    return false;
}

int CmdDelete(CAni& ani, const Args& args) {
    if (args.size() != 3)
        return Usage("delete PROJECT FIRST COUNT");
    std::string path = args[0];
    int code = 0;
    if (!OpenWithFrames(ani, path, "delete", code))
        return code;
    const CloseAtEnd closeAtEnd(ani);
    const int n = ani.FrameCount();
    long long first = 0, count = 0;
    if (!ParseIndex(args[1], 0, n - 1, first, "first frame", code) ||
        !ParseIndex(args[2], 1, n - first, count, "frame count", code))
        return code;
    if (!ani.DeleteFrames(int32_t(first), int32_t(count), true)) {
        const std::string why = Reason(ani, "the frames could not be deleted");
        return Fail(why + ".");
    }
    std::printf("deleted %lld frames from %lld; %d frames left\n", count, first, ani.FrameCount());
    return 0;
}

int CmdPaste(CAni& ani, const Args& args) {
    if (args.size() != 4)
        return Usage("paste PROJECT SOURCE COUNT DEST");
    std::string path = args[0];
    int code = 0;
    if (!OpenWithFrames(ani, path, "paste", code))
        return code;
    const CloseAtEnd closeAtEnd(ani);
    const int n = ani.FrameCount();
    long long source = 0, count = 0, dest = 0;
    if (!ParseIndex(args[1], 0, n - 1, source, "source frame", code) ||
        !ParseIndex(args[2], 1, n - source, count, "frame count", code) ||
        !ParseIndex(args[3], 0, n, dest, "destination", code))
        return code;
    if (!ani.PasteFrames(int32_t(source), int32_t(count), int32_t(dest))) {
        const std::string why = Reason(ani, "the frames could not be pasted");
        return Fail(why + ".");
    }
    std::printf("pasted frames %lld..%lld before frame %lld; %d frames now\n", source, source + count - 1,
                dest, ani.FrameCount());
    return 0;
}

int CmdSaveAs(CAni& ani, const Args& args) {
    if (args.size() != 2)
        return Usage("save-as PROJECT NEW");
    std::string path = args[0];
    int code = 0;
    if (!OpenOrFail(ani, path, code))
        return code;
    const CloseAtEnd closeAtEnd(ani);
    std::string target = args[1];
    if (!ani.SaveAs(target)) {
        const std::string why = Reason(ani, "the copy could not be written");
        return Fail("can not save \"" + target + "\": " + why + ".");
    }
    std::printf("saved %d frames to %s\n", ani.FrameCount(), target.c_str());
    return 0;
}

// ---- demo -------------------------------------------------------------------------------

// Frame t of a little animation: a gradient sky, a ball on a curve, a sweeping bar and a
// frame counter made of blocks, so that successive frames change only in parts.
void DrawDemoFrame(Image24& img, int t, int frames) {
    const int w = img.width, h = img.height;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = img.PixelTopDown(x, y);
            p[0] = static_cast<uint8_t>(120 + y * 100 / h); // blue
            p[1] = static_cast<uint8_t>(40 + x * 60 / w);   // green
            p[2] = static_cast<uint8_t>(30);                // red
        }
    auto fill = [&](int x0, int y0, int x1, int y1, uint8_t r, uint8_t g, uint8_t b) {
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x) {
                uint8_t* p = img.PixelTopDown(x, y);
                p[0] = b;
                p[1] = g;
                p[2] = r;
            }
    };
    const double phase = 2.0 * 3.14159265358979 * t / frames;
    const int cx = w / 2 + static_cast<int>(std::cos(phase) * w / 3);
    const int cy = h / 2 + static_cast<int>(std::sin(phase) * h / 4);
    const int radius = h / 10;
    for (int y = cy - radius; y <= cy + radius; ++y)
        for (int x = cx - radius; x <= cx + radius; ++x)
            if (x >= 0 && y >= 0 && x < w && y < h &&
                (x - cx) * (x - cx) + (y - cy) * (y - cy) <= radius * radius) {
                uint8_t* p = img.PixelTopDown(x, y);
                p[0] = 40;
                p[1] = 200;
                p[2] = 250;
            }
    const int barX = (t * w / frames);
    fill(barX, h - 30, barX + 24, h - 10, 230, 60, 90);
    for (int bit = 0; bit < 8; ++bit)
        if (t & (1 << bit))
            fill(10 + bit * 14, 10, 20 + bit * 14, 20, 255, 255, 255);
        else
            fill(10 + bit * 14, 10, 20 + bit * 14, 20, 20, 20, 20);
}

int Step(const char* title) {
    std::printf("\n== %s\n", title);
    std::fflush(stdout);
    return 0;
}

int CmdDemo(CAni& ani, const Args& argsIn) {
    Args args = argsIn;
    std::string dir;
    const bool hasDir = TakeOption(args, "--dir", dir);
    if (!args.empty())
        return Usage("demo [--dir FOLDER]");
    if (!hasDir) {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zovrec-demo-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            return Fail("can not create a folder for the demonstration.");
        dir = tmpl;
    } else {
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
        if (ec)
            return Fail("can not create \"" + dir + "\": " + ec.message() + ".");
    }
    const std::string bmpDir = dir + "/bitmaps";
    std::filesystem::create_directories(bmpDir);
    const int frames = 25, width = 320, height = 240;

    Step("1. a numbered bitmap series");
    Image24 img;
    img.Allocate(width, height);
    for (int t = 0; t < frames; ++t) {
        DrawDemoFrame(img, t, frames);
        char name[64];
        std::snprintf(name, sizeof name, "/file%04d.bmp", t);
        if (!WriteBmp(bmpDir + name, img))
            return Fail("can not write the bitmap series in \"" + bmpDir + "\".");
    }
    std::printf("%d bitmaps of %d x %d in %s (file0000.bmp ... file%04d.bmp)\n", frames, width, height,
                bmpDir.c_str(), frames - 1);

    Step("2. import them into a new project");
    std::string project = dir + "/demo.scp";
    std::remove(project.c_str());
    if (int code = ImportSeries(ani, project, bmpDir + "/file0000.bmp", false))
        return code;

    Step("3. info");
    PrintInfo(ani, stdout);

    Step("4. check");
    if (!ani.CheckFile())
        return Fail("the new project fails its check.");
    std::printf("check passed\n");

    Step("5. delete frames 3..5, paste frames 0..4 at the end, undo the paste");
    if (!ani.DeleteFrames(3, 3, true))
        return Fail("delete failed: " + Reason(ani, "unknown failure") + ".");
    std::printf("after delete: %d frames, frame 3 is a %s frame\n", ani.FrameCount(),
                ani.FrameTable()[3].kind == FRAME_KEY ? "key" : "difference");
    const int64_t lengthBefore = std::filesystem::file_size(project);
    if (!ani.PasteFrames(0, 5, ani.FrameCount()))
        return Fail("paste failed: " + Reason(ani, "unknown failure") + ".");
    std::printf("after paste:  %d frames, file %lld bytes\n", ani.FrameCount(),
                static_cast<long long>(std::filesystem::file_size(project)));
    if (!ani.Undo())
        return Fail("undo failed.");
    std::printf("after undo:   %d frames, file %lld bytes (was %lld before the paste)\n", ani.FrameCount(),
                static_cast<long long>(std::filesystem::file_size(project)),
                static_cast<long long>(lengthBefore));

    Step("6. save as a compacted copy");
    std::string copy = dir + "/demo-copy.scp";
    if (!ani.SaveAs(copy))
        return Fail("save as failed: " + Reason(ani, "unknown failure") + ".");
    std::printf("saved to %s: %d frames, %lld bytes\n", copy.c_str(), ani.FrameCount(),
                static_cast<long long>(std::filesystem::file_size(copy)));
    if (!ani.CheckFile())
        return Fail("the copy fails its check.");
    std::printf("the copy passes its check\n");

    Step("7. dump a frame to a bitmap");
    Image24 out;
    const int pick = ani.FrameCount() / 2;
    if (!ani.LoadFrame(pick, out))
        return Fail("frame " + std::to_string(pick) + " can not be decoded.");
    const std::string dump = dir + "/frame.bmp";
    if (!WriteBmp(dump, out))
        return Fail("can not write \"" + dump + "\".");
    std::printf("frame %d written to %s\n", pick, dump.c_str());
    ani.Close();

    std::printf("\nall files are in %s\n", dir.c_str());
    return 0;
}

CliRegistration r1({"info", "info PROJECT", "show the header, frame kinds and elements of a project",
                    CmdInfo});
CliRegistration r2({"check", "check PROJECT", "verify a project's frame table (exit 0 when it passes)",
                    CmdCheck});
CliRegistration r3({"import-bmp", "import-bmp PROJECT FIRST.bmp [--at N]",
                    "append the numbered bitmap series FIRST.bmp starts (creates the project); with --at "
                    "the frames go before frame N",
                    CmdImport});
CliRegistration r4({"frame", "frame PROJECT INDEX OUT.bmp", "decode one frame to a 24-bit BMP", CmdFrame});
CliRegistration r5({"delete", "delete PROJECT FIRST COUNT", "delete COUNT frames from FIRST", CmdDelete});
CliRegistration r6({"paste", "paste PROJECT SOURCE COUNT DEST", "copy COUNT frames from SOURCE before DEST",
                    CmdPaste});
CliRegistration r7({"save-as", "save-as PROJECT NEW", "write a compacted copy of a project", CmdSaveAs});
CliRegistration r8({"demo", "demo [--dir FOLDER]",
                    "generate a bitmap series and show the project commands on it", CmdDemo});

} // namespace
