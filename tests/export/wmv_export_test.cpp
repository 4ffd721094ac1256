// The WMV export: the job file's bytes and rules, zov-wmenc checked by ffprobe, and the
// temporary files after success, failure and Cancel.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <sys/resource.h>
#include <thread>

#include "base/BinFile.h"
#include "export/WmvExport.h"
#include "export/WmvJob.h"
#include "platform/Process.h"
#include "tests/support/TestFiles.h"

using namespace zov;
using zovtest::TempDir;

namespace {

const std::string kBin = ZOV_BIN_DIR;
const std::string kEncoder = "\"" + kBin + "/zov-wmenc\" \"%L\"";

std::string Template() {
    std::string t;
    EXPECT_TRUE(ReadWholeFile(std::string(ZOV_SOURCE_DIR) + "/data/tp_wme_en.zva", t));
    return t;
}

std::string Shell(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, p)) > 0)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::vector<std::string> Names(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

// An AVI like the export's intermediate one: bottom-up 24-bit frames and a PCM track.
bool MakeAvi(const std::string& path, int w, int h, int fps, double seconds, const std::string& audio,
             const std::string& vcodec = "rawvideo -pix_fmt bgr24") {
    const std::string cmd = "ffmpeg -v error -y -f lavfi -i testsrc=size=" + std::to_string(w) + "x" +
                            std::to_string(h) + ":rate=" + std::to_string(fps) +
                            " -f lavfi -i sine=frequency=440:" + audio + " -t " + std::to_string(seconds) +
                            " -c:v " + vcodec + " -c:a pcm_s16le -ac 2 " + Quote(path) + " 2>&1";
    const std::string said = Shell(cmd);
    EXPECT_EQ(said, "");
    return FileExists(path);
}

struct TmpDirEnv {
    std::string old;
    bool had;
    explicit TmpDirEnv(const std::string& dir) {
        const char* o = std::getenv("TMPDIR");
        had = o != nullptr;
        old = o ? o : "";
        setenv("TMPDIR", dir.c_str(), 1);
    }
    ~TmpDirEnv() {
        if (had)
            setenv("TMPDIR", old.c_str(), 1);
        else
            unsetenv("TMPDIR");
    }
};

} // namespace

TEST(WmvJob, PathsWithMarkupCharactersRoundTripThroughTheJobFile) {
    TempDir dir;
    const std::string source = "/tmp/a&b<c>\"d'e/\xE5\xBD\x95\xE5\x83\x8F \xF0\x9F\x8E\xA5.avi";
    const std::string target = dir.File("x & y < z.wmv");
    std::vector<uint8_t> bytes;
    std::string error;
    ASSERT_TRUE(BuildJobFile(Template(), source, target, bytes, error)) << error;
    ASSERT_GE(bytes.size(), 4u);
    EXPECT_EQ(bytes[0], 0xFF);
    EXPECT_EQ(bytes[1], 0xFE);
    EXPECT_EQ(bytes.size() % 2, 0u);
    // No terminating zero: the last unit is the template's final line feed.
    EXPECT_EQ(bytes[bytes.size() - 2], '\n');
    EXPECT_EQ(bytes[bytes.size() - 1], 0);
    // Every markup character is escaped in the text.
    std::string text;
    ASSERT_TRUE(DecodeJobUtf16(bytes, text, error)) << error;
    EXPECT_NE(text.find("a&amp;b&lt;c&gt;&quot;d&apos;e"), std::string::npos);
    EXPECT_NE(text.find("x &amp; y &lt; z.wmv"), std::string::npos);
    EXPECT_NE(text.find("100%\""), std::string::npos); // "%%" became one per cent sign
    // The emoji is a surrogate pair in the file.
    bool pair = false;
    for (size_t i = 2; i + 3 < bytes.size(); i += 2)
        pair |= bytes[i] == 0x3C && bytes[i + 1] == 0xD8 && bytes[i + 2] == 0xA5 && bytes[i + 3] == 0xDF;
    EXPECT_TRUE(pair);
    ASSERT_TRUE(zovtest::WriteAll(dir.File("job.wme"), bytes));
    WmvJob job;
    ASSERT_TRUE(ReadJobFile(dir.File("job.wme"), job, error)) << error;
    EXPECT_EQ(job.videoSource, source);
    EXPECT_EQ(job.audioSource, source);
    EXPECT_EQ(job.target, target);
}

TEST(WmvJob, RefusesWhatWouldCorruptTheJob) {
    std::string out, error;
    EXPECT_TRUE(FormatJobTemplate("a %s b %s c %s 50%%", {"1", "2", "3"}, out, error));
    EXPECT_EQ(out, "a 1 b 2 c 3 50%");
    EXPECT_FALSE(FormatJobTemplate("%s %s %s 5% off", {"1", "2", "3"}, out, error));
    EXPECT_FALSE(FormatJobTemplate("%s %d %s", {"1", "2", "3"}, out, error));
    EXPECT_FALSE(FormatJobTemplate("%s %s", {"1", "2", "3"}, out, error));
    EXPECT_FALSE(FormatJobTemplate("%s %s %s %s", {"1", "2", "3"}, out, error));
    EXPECT_FALSE(FormatJobTemplate("%s %s %s %", {"1", "2", "3"}, out, error));
    // Paths the job's text cannot carry.
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(BuildJobFile(Template(), "/tmp/bad\xC3(.avi", "/tmp/t.wmv", bytes, error));
    EXPECT_NE(error.find("UTF-8"), std::string::npos);
    EXPECT_FALSE(
        BuildJobFile(Template(), "/tmp/s.avi", "/tmp/\xED\xA0\x80.wmv", bytes, error)); // a surrogate
    EXPECT_FALSE(BuildJobFile(Template(), "/tmp/s.avi", "/tmp/\x01.wmv", bytes, error));
    EXPECT_TRUE(BuildJobFile(Template(), "/tmp/new\nline.avi", "/tmp/t.wmv", bytes, error)) << error;
    // The reader wants the byte-order mark.
    std::string text;
    EXPECT_FALSE(DecodeJobUtf16({'<', 0, 'a', 0}, text, error));
    EXPECT_FALSE(DecodeJobUtf16({0xFE, 0xFF, 0, '<'}, text, error));
    EXPECT_FALSE(DecodeJobUtf16({0xFF, 0xFE, 0x00, 0xD8}, text, error)); // lone high surrogate
}

TEST(WmvJob, EncoderCommandComesFromTheConfigurationOrTheProgramFolder) {
    TempDir dir;
    std::vector<std::string> argv;
    EXPECT_EQ(ConfiguredEncoderCommand(dir.File("none.conf"), "/opt/zov/"), "\"/opt/zov/zov-wmenc\" \"%L\"");
    ASSERT_TRUE(
        zovtest::WriteText(dir.File(kRecorderConfName),
                           "# encoder\nother = 1\n wmv/encoder = \"/opt/my enc/enc\" -q \"%L\"  # mine\n"));
    const std::string cmd = ConfiguredEncoderCommand(dir.File(kRecorderConfName), "/opt/zov/");
    EXPECT_EQ(cmd, "\"/opt/my enc/enc\" -q \"%L\"");
    ASSERT_TRUE(EncoderArguments(cmd, argv));
    EXPECT_EQ(argv, (std::vector<std::string>{"/opt/my enc/enc", "-q"}));
    ASSERT_TRUE(EncoderArguments("/usr/bin/enc \"%L\"", argv));
    EXPECT_EQ(argv, (std::vector<std::string>{"/usr/bin/enc"}));
    // Without the quoted %L after the first character the command does not qualify.
    EXPECT_FALSE(EncoderArguments("/usr/bin/enc %L", argv));
    EXPECT_FALSE(EncoderArguments("\"%L\" /usr/bin/enc", argv));
    EXPECT_FALSE(EncoderPresent("/nonexistent/enc \"%L\""));
    EXPECT_TRUE(EncoderPresent(kEncoder));
}

TEST(WmvEncoder, RefusesAJobFileWithoutTheByteOrderMark) {
    TempDir dir;
    ASSERT_TRUE(MakeAvi(dir.File("in.avi"), 32, 24, 4, 1, "sample_rate=22050"));
    std::string text, error;
    ASSERT_TRUE(FormatJobTemplate(Template(), {dir.File("in.avi"), dir.File("in.avi"), dir.File("out.wmv")},
                                  text, error));
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(EncodeJobUtf16(text, bytes));
    bytes.erase(bytes.begin(), bytes.begin() + 2);
    ASSERT_TRUE(zovtest::WriteAll(dir.File("job.wme"), bytes));
    const ProcessEnd end =
        RunProcess({kBin + "/zov-wmenc", dir.File("job.wme"), "/start"},
                   ProcessOptions{{}, ProcessOutput::Discard(), ProcessOutput::Discard()}, 60000);
    ASSERT_TRUE(WIFEXITED(end.status));
    EXPECT_NE(WEXITSTATUS(end.status), 0);
    EXPECT_FALSE(FileExists(dir.File("out.wmv")));
}

// Success, with an odd-width picture: ffprobe sees ASF with wmv2 of every frame and wmav2 of
// the track's length, and no temporary file is left.
TEST(WmvExport, WritesAsfWithWmv2AndWmav2AndLeavesNoTemporaryFile) {
    TempDir dir, tmp;
    TmpDirEnv env(tmp.Path());
    const std::string target = dir.File("odd & <width>.wmv");
    WmvExportRequest req;
    req.target = target;
    req.encoderCommand = kEncoder;
    req.templatePath = std::string(ZOV_SOURCE_DIR) + "/data/tp_wme_en.zva";
    std::string seenAvi;
    req.writeAvi = [&](const std::string& avi, std::string&) {
        seenAvi = avi;
        return MakeAvi(avi, 101, 75, 10, 3, "sample_rate=22050");
    };
    std::string error;
    ASSERT_EQ(ExportWmv(req, error), WmvExportResult::Done) << error;
    EXPECT_EQ(seenAvi.rfind(tmp.Path() + "/", 0), 0u) << seenAvi;
    EXPECT_TRUE(Names(tmp.Path()).empty());
    EXPECT_EQ(Names(dir.Path()), std::vector<std::string>{"odd & <width>.wmv"});

    const std::string probe =
        Shell("ffprobe -v error -count_frames -show_entries format=format_name:stream=codec_name,width,"
              "nb_read_frames,sample_rate,channels -of flat " +
              Quote(target));
    EXPECT_NE(probe.find("format.format_name=\"asf\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("streams.stream.0.codec_name=\"wmv2\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("streams.stream.0.width=102"), std::string::npos) << probe;
    EXPECT_NE(probe.find("streams.stream.0.nb_read_frames=\"30\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("streams.stream.1.codec_name=\"wmav2\""), std::string::npos) << probe;
    EXPECT_NE(probe.find("streams.stream.1.sample_rate=\"22050\""), std::string::npos) << probe;
    // The sound decodes to the source's 3 s within one wmav2 frame (1,024 samples at 22,050 Hz).
    const std::string pcm =
        Shell("ffmpeg -v error -i " + Quote(target) + " -map 0:a -f s16le -ac 1 - | wc -c");
    const long samples = std::atol(pcm.c_str()) / 2;
    EXPECT_NEAR(samples, 3 * 22050, 1024) << pcm;
    // The picture is the source's, upright: the luma against the AVI's frames, padding cut off
    // (a picture upside down scores about 13 dB).
    ASSERT_TRUE(MakeAvi(dir.File("ref.avi"), 101, 75, 10, 3, "sample_rate=22050"));
    const std::string psnr =
        Shell("ffmpeg -v info -i " + Quote(target) + " -i " + Quote(dir.File("ref.avi")) +
              " -lavfi '[0:v]format=gray,crop=101:75:0:0[a];[1:v]format=gray[b];[a][b]psnr' -f null - 2>&1 | "
              "sed -n 's/.*PSNR.* average:\\([0-9.]*\\).*/\\1/p'");
    EXPECT_GT(std::atof(psnr.c_str()), 35.0) << psnr;
}

TEST(WmvExport, FailuresLeaveNoTemporaryFileAndNoTarget) {
    TempDir dir, tmp;
    TmpDirEnv env(tmp.Path());
    WmvExportRequest req;
    req.target = dir.File("out.wmv");
    req.templatePath = std::string(ZOV_SOURCE_DIR) + "/data/tp_wme_en.zva";
    std::string error;
    // An encoder that fails.
    req.encoderCommand = "/bin/false \"%L\"";
    req.writeAvi = [](const std::string& avi, std::string&) {
        return MakeAvi(avi, 32, 24, 4, 1, "sample_rate=8000");
    };
    EXPECT_EQ(ExportWmv(req, error), WmvExportResult::Failed);
    EXPECT_TRUE(Names(tmp.Path()).empty());
    // Our encoder given an AVI it cannot read: it says why.
    req.encoderCommand = kEncoder;
    req.writeAvi = [](const std::string& avi, std::string&) {
        return zovtest::WriteText(avi, "RIFF this is not an AVI file");
    };
    EXPECT_EQ(ExportWmv(req, error), WmvExportResult::Failed);
    EXPECT_NE(error.find("zov-wmenc"), std::string::npos) << error;
    EXPECT_TRUE(Names(tmp.Path()).empty());
    EXPECT_TRUE(Names(dir.Path()).empty());
    // The intermediate AVI fails.
    req.writeAvi = [](const std::string&, std::string& e) {
        e = "disk on fire";
        return false;
    };
    EXPECT_EQ(ExportWmv(req, error), WmvExportResult::Failed);
    EXPECT_EQ(error, "disk on fire");
    EXPECT_TRUE(Names(tmp.Path()).empty());
    // A full disk while the job file is written (the file-size limit stands in for it).
    req.writeAvi = [](const std::string& avi, std::string&) {
        return MakeAvi(avi, 32, 24, 4, 1, "sample_rate=8000");
    };
    rlimit old{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = old;
    small.rlim_cur = 256;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const WmvExportResult full = ExportWmv(req, error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(full, WmvExportResult::Failed);
    EXPECT_NE(error.find("can not write"), std::string::npos) << error;
    EXPECT_TRUE(Names(tmp.Path()).empty());
    // No encoder at all.
    req.encoderCommand = "/nonexistent/zov-wmenc \"%L\"";
    EXPECT_EQ(ExportWmv(req, error), WmvExportResult::NoEncoder);
    EXPECT_TRUE(Names(tmp.Path()).empty());
    EXPECT_TRUE(Names(dir.Path()).empty());
}

// Cancel while the encoder runs: it is ended, and neither the temporary files nor the
// encoder's partial target remain.
TEST(WmvExport, CancelEndsTheEncoderAndLeavesNothing) {
    TempDir dir, tmp, src;
    TmpDirEnv env(tmp.Path());
    ASSERT_TRUE(MakeAvi(src.File("long.avi"), 640, 480, 25, 40, "sample_rate=22050", "mpeg4 -q:v 5"));
    std::atomic<bool> cancel{false};
    WmvExportRequest req;
    req.target = dir.File("out.wmv");
    req.encoderCommand = kEncoder;
    req.templatePath = std::string(ZOV_SOURCE_DIR) + "/data/tp_wme_en.zva";
    req.cancel = &cancel;
    req.writeAvi = [&](const std::string& avi, std::string&) {
        return CopyWholeFile(src.File("long.avi"), avi);
    };
    std::string error;
    WmvExportResult result = WmvExportResult::Done;
    std::thread t([&] { result = ExportWmv(req, error); });
    // The encoder's partial target appears beside the target once it has started.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    bool started = false;
    while (!started && std::chrono::steady_clock::now() < until) {
        started = !Names(dir.Path()).empty();
        if (!started)
            std::this_thread::yield();
    }
    cancel = true;
    t.join();
    ASSERT_TRUE(started);
    EXPECT_EQ(result, WmvExportResult::Cancelled) << error;
    EXPECT_TRUE(Names(tmp.Path()).empty());
    EXPECT_TRUE(Names(dir.Path()).empty());
}
