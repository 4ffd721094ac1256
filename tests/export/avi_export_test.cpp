// The AVI export read back by an independent RIFF walk and by ffmpeg/ffprobe: headers and
// index, frames against the project's, ranges, areas, frame rates, the sound track and its
// placement, compressors, the OpenDML layout past a RIFF, and failures that leave no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "elements/ElementList.h"
#include "export/AviEncoder.h"
#include "export/AviExport.h"
#include "sound/WaveFile.h"
#include "tests/export/AviTestUtil.h"
#include "tests/export/ExportTestProject.h"

using namespace zov;
using namespace zov::test;
using zovtest::Le16;
using zovtest::Le32;
using zovtest::LeI32;
using zovtest::ReadAll;
namespace fs = std::filesystem;

namespace {

class AviExportTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!HaveFfmpeg())
            GTEST_SKIP() << "ffmpeg and ffprobe are the oracle of these tests";
        dir = fs::temp_directory_path() / ("zov-avi-" + std::to_string(::getpid()));
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override {
        ani.Close();
        if (!std::getenv("ZOV_KEEP_TEST_FILES")) // set to look at the files afterwards
            fs::remove_all(dir);
    }
    std::string P(const std::string& name) const { return (dir / name).string(); }
    void Make(int w, int h, int frames, int32_t delay, const std::set<int>& keys) {
        MakeExportTestProject(ani, P("proj.scp"), w, h, frames, delay, keys);
    }
    AviExportResult Export(ExportOptions o, const AviExportControl& control = {}) {
        AviExportResult r;
        std::string error;
        EXPECT_TRUE(ExportProjectToAvi(ani, o, control, r, error)) << error;
        return r;
    }
    ExportOptions Options(const std::string& name) {
        ExportOptions o = DefaultExportOptions(ani, kExportKeyAvi);
        o.outputPath = P(name);
        return o;
    }
    // The project's frames first..last cut to the area, one after another, top-down BGR.
    Bytes Expected(int first, int last, int l, int t, int r, int b) {
        Bytes all;
        for (int f = first; f <= last; ++f) {
            const Bytes one = StoredBgr(ani, f, l, t, r, b);
            all.insert(all.end(), one.begin(), one.end());
        }
        return all;
    }
    // Nothing but `keep` in the scratch folder: no temporary left behind.
    void ExpectOnly(const std::set<std::string>& keep) {
        for (const auto& e : fs::directory_iterator(dir))
            EXPECT_TRUE(keep.count(e.path().filename().string())) << "left behind: " << e.path();
    }
    void WriteWav(const std::string& path, uint32_t channels, uint32_t bits, uint32_t rate,
                  const Bytes& samples) {
        uint8_t header[kWaveHeaderSize];
        FillWaveHeader(header, channels, bits, rate, uint32_t(samples.size()));
        Bytes all(header, header + kWaveHeaderSize);
        all.insert(all.end(), samples.begin(), samples.end());
        ASSERT_TRUE(zovtest::WriteAll(path, all));
    }
    fs::path dir;
    CAni ani;
};

// The header chunks every test looks at.
struct AviHeaders {
    Bytes file;
    std::vector<RiffNode> top;
    const RiffNode* riff = nullptr;
    const RiffNode* hdrl = nullptr;
    const RiffNode* movi = nullptr;
    const RiffNode* idx1 = nullptr;
    explicit AviHeaders(const std::string& path) : file(ReadAll(path)), top(ParseAviFile(file)) {
        if (top.empty())
            return;
        riff = &top[0];
        EXPECT_EQ("RIFF", riff->id);
        EXPECT_EQ("AVI ", riff->type);
        hdrl = riff->Find("hdrl");
        movi = riff->Find("movi");
        idx1 = riff->Find("idx1");
    }
    const RiffNode* Strl(size_t n) const { return hdrl ? hdrl->Find("strl", n) : nullptr; }
    uint32_t Avih(int field) const { return Le32(file, hdrl->Find("avih")->Data() + 4 * field); }
    uint32_t Strh(size_t stream, int offset) const {
        return Le32(file, Strl(stream)->Find("strh")->Data() + offset);
    }
};

} // namespace

// A range that starts on a difference frame, an odd-width area, no sound: every header field
// the file carries, the index, and the frames as ffmpeg decodes them.
TEST_F(AviExportTest, RangeAndOddAreaHeadersIndexAndFrames) {
    Make(64, 40, 12, 200, {0, 3, 10});
    ExportOptions o = Options("range.avi");
    o.first = 5;
    o.last = 9;
    o.left = 3;
    o.top = 4;
    o.right = 36; // 33 columns: 99 bytes a row, stored as 100
    o.bottom = 33;
    const AviExportResult r = Export(o);
    EXPECT_EQ(5, r.frames);
    EXPECT_FALSE(r.hasAudio);
    EXPECT_EQ(1u, r.scale);
    EXPECT_EQ(4u, r.rate); // 200 ms: the rule's 4 a second

    AviHeaders h(o.outputPath);
    ASSERT_TRUE(h.hdrl && h.movi && h.idx1);
    EXPECT_EQ(h.file.size(), h.riff->size + 8u);
    const uint32_t frameBytes = 100 * 29;
    EXPECT_EQ(250000u, h.Avih(0));    // microseconds a frame
    EXPECT_EQ(0x10u, h.Avih(3));      // AVIF_HASINDEX
    EXPECT_EQ(5u, h.Avih(4));         // frames
    EXPECT_EQ(1u, h.Avih(6));         // streams
    EXPECT_EQ(frameBytes, h.Avih(7)); // largest chunk
    EXPECT_EQ(33u, h.Avih(8));
    EXPECT_EQ(29u, h.Avih(9));
    ASSERT_TRUE(h.Strl(0));
    EXPECT_EQ(nullptr, h.Strl(1));
    EXPECT_EQ("vids", Fcc(h.file, h.Strl(0)->Find("strh")->Data()));
    EXPECT_EQ("DIB ", Fcc(h.file, h.Strl(0)->Find("strh")->Data() + 4));
    EXPECT_EQ(0u, h.Strh(0, 8));           // flags
    EXPECT_EQ(0u, h.Strh(0, 12));          // priority, language
    EXPECT_EQ(0u, h.Strh(0, 16));          // initial frames
    EXPECT_EQ(1u, h.Strh(0, 20));          // scale
    EXPECT_EQ(4u, h.Strh(0, 24));          // rate
    EXPECT_EQ(0u, h.Strh(0, 28));          // start
    EXPECT_EQ(5u, h.Strh(0, 32));          // length
    EXPECT_EQ(frameBytes, h.Strh(0, 36));  // suggested buffer
    EXPECT_EQ(0xFFFFFFFFu, h.Strh(0, 40)); // quality -1
    EXPECT_EQ(0u, h.Strh(0, 44));          // sample size
    EXPECT_EQ(0u, h.Strh(0, 48));          // rcFrame left, top
    EXPECT_EQ(33u | (29u << 16), h.Strh(0, 52));
    const RiffNode* strf = h.Strl(0)->Find("strf");
    ASSERT_EQ(40u, strf->size);
    const BitmapInfoHeader& project = ani.BitmapInfo();
    EXPECT_EQ(40u, Le32(h.file, strf->Data()));
    EXPECT_EQ(33, LeI32(h.file, strf->Data() + 4));
    EXPECT_EQ(29, LeI32(h.file, strf->Data() + 8)); // positive: bottom-up
    EXPECT_EQ(1u, Le16(h.file, strf->Data() + 12));
    EXPECT_EQ(24u, Le16(h.file, strf->Data() + 14));
    EXPECT_EQ(0u, Le32(h.file, strf->Data() + 16));
    EXPECT_EQ(frameBytes, Le32(h.file, strf->Data() + 20));
    EXPECT_EQ(project.biXPelsPerMeter, LeI32(h.file, strf->Data() + 24));
    const RiffNode* strn = h.Strl(0)->Find("strn");
    ASSERT_TRUE(strn);
    EXPECT_EQ(std::string("VIDEO", 6),
              std::string(reinterpret_cast<const char*>(&h.file[strn->Data()]), strn->size));

    // Five 00db chunks of one bottom-up frame each, indexed relative to "movi".
    ASSERT_EQ(5u, h.movi->children.size());
    ASSERT_EQ(5u * 16, h.idx1->size);
    const Bytes want = Expected(5, 9, 3, 4, 36, 33);
    for (size_t i = 0; i < 5; ++i) {
        const RiffNode& c = h.movi->children[i];
        EXPECT_EQ("00db", c.id);
        EXPECT_EQ(frameBytes, c.size);
        const uint64_t e = h.idx1->Data() + 16 * i;
        EXPECT_EQ("00db", Fcc(h.file, e));
        EXPECT_EQ(0x10u, Le32(h.file, e + 4));
        EXPECT_EQ(c.pos - (h.movi->pos + 8), Le32(h.file, e + 8));
        EXPECT_EQ(frameBytes, Le32(h.file, e + 12));
        // Stored row 0 is the area's bottom row.
        EXPECT_EQ(0, std::memcmp(&h.file[c.Data()], want.data() + (i * 29 + 28) * 99, 99)) << "frame " << i;
    }
    EXPECT_EQ(want, DecodeBgr(o.outputPath, P("range.raw")));
    EXPECT_EQ("5", Probe(o.outputPath, "v", "nb_frames"));
    EXPECT_EQ("", RunTool({"ffprobe", "-v", "error", "-select_streams", "a", "-show_entries", "stream=index",
                           "-of", "csv=p=0", o.outputPath})); // no sound file: no audio stream
    ExpectOnly({"proj.scp", "cursor.bin", "range.avi", "range.raw"});
}

TEST_F(AviExportTest, FrameRatesFollowTheDelayRuleWithoutSound) {
    const struct {
        int32_t delay;
        const char* rate;
    } cases[] = {{2000, "1/1"}, {500, "2/1"}, {100, "4/1"}, {1000, "1/1"}, {5000, "1/1"}, {250, "4/1"}};
    Make(16, 8, 3, 100, {0});
    for (const auto& c : cases) {
        ani.SetFrameDelay(c.delay);
        ExportOptions o = Options("rate" + std::to_string(c.delay) + ".avi");
        Export(o);
        EXPECT_EQ(c.rate, Probe(o.outputPath, "v", "r_frame_rate")) << c.delay;
    }
}

namespace {
// Sample bytes that differ from place to place, so a shifted clip shows.
Bytes SoundPattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t((i * 7 + i / 251) & 0xFF);
    return b;
}
// The movi chunks' ids in file order.
std::string ChunkOrder(const AviHeaders& h) {
    std::string order;
    for (const RiffNode& c : h.movi->children)
        order += c.id == "01wb" ? 'a' : c.id.substr(2) == "db" || c.id.substr(2) == "dc" ? 'v' : '?';
    return order;
}
} // namespace

// 88,200 bytes of 16-bit sound over 100 frames: frames 10..19 take 8,820 bytes from offset
// 8,820; the picture runs at the delay itself (100 ms) so ten frames last as long as their
// second of sound. The whole project puts sound block k before frame 10 k.
TEST_F(AviExportTest, SoundTrackFollowsTheClipRuleAndKeepsInStep) {
    Make(16, 8, 100, 100, {0, 50});
    const Bytes samples = SoundPattern(88200);
    WriteWav(P("proj.wav"), 1, 16, 4410, samples); // 8,820 bytes a second: 10 s, as the frames

    ExportOptions o = Options("clip.avi");
    o.first = 10;
    o.last = 19;
    const AviExportResult r = Export(o);
    ASSERT_TRUE(r.hasAudio);
    EXPECT_EQ(8820u, r.audioBytes);
    EXPECT_EQ(100u, r.scale);
    EXPECT_EQ(1000u, r.rate);
    AviHeaders h(o.outputPath);
    ASSERT_TRUE(h.Strl(1));
    EXPECT_EQ(2u, h.Avih(6));
    EXPECT_EQ(100000u, h.Avih(0));
    EXPECT_EQ(100u, h.Strh(0, 20));
    EXPECT_EQ(1000u, h.Strh(0, 24));
    EXPECT_EQ("auds", Fcc(h.file, h.Strl(1)->Find("strh")->Data()));
    EXPECT_EQ(0u, h.Strh(1, 4));           // handler
    EXPECT_EQ(2u, h.Strh(1, 20));          // scale = bits / 8
    EXPECT_EQ(8820u, h.Strh(1, 24));       // rate = bytes a second / channels
    EXPECT_EQ(4410u, h.Strh(1, 32));       // length in samples
    EXPECT_EQ(8820u, h.Strh(1, 36));       // largest block
    EXPECT_EQ(0xFFFFFFFFu, h.Strh(1, 40)); // quality
    EXPECT_EQ(2u, h.Strh(1, 44));          // sample size
    const RiffNode* strf = h.Strl(1)->Find("strf");
    ASSERT_EQ(18u, strf->size);
    EXPECT_EQ((Bytes{1, 0, 1, 0, 0x3A, 0x11, 0, 0, 0x74, 0x22, 0, 0, 2, 0, 16, 0, 0, 0}),
              Bytes(h.file.begin() + long(strf->Data()), h.file.begin() + long(strf->Data()) + 18));
    const RiffNode* strn = h.Strl(1)->Find("strn");
    EXPECT_EQ(std::string("AUDIO", 6),
              std::string(reinterpret_cast<const char*>(&h.file[strn->Data()]), strn->size));
    RunTool(
        {"ffmpeg", "-v", "error", "-y", "-i", o.outputPath, "-map", "0:a:0", "-f", "s16le", P("clip.pcm")});
    EXPECT_EQ(Bytes(samples.begin() + 8820, samples.begin() + 17640), ReadAll(P("clip.pcm")));
    EXPECT_NEAR(1.0, StreamEnd(o.outputPath, "v"), 1e-6);
    EXPECT_NEAR(1.0, StreamEnd(o.outputPath, "a"), 1e-6);
    EXPECT_EQ(Expected(10, 19, 0, 0, 16, 8), DecodeBgr(o.outputPath, P("clip.raw")));

    ExportOptions whole = Options("whole.avi");
    Export(whole);
    AviHeaders w(whole.outputPath);
    std::string want;
    for (int f = 0; f < 100; ++f)
        want += (f % 10 == 0 ? "av" : "v");
    EXPECT_EQ(want, ChunkOrder(w));
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", whole.outputPath, "-map", "0:a:0", "-f", "s16le",
             P("whole.pcm")});
    EXPECT_EQ(samples, ReadAll(P("whole.pcm")));
    EXPECT_NEAR(10.0, StreamEnd(whole.outputPath, "a"), 1e-6);
    EXPECT_NEAR(10.0, StreamEnd(whole.outputPath, "v"), 1e-6);
    EXPECT_EQ("10.000000", Probe(whole.outputPath, "v", "duration"));
}

// Stereo 16-bit sound: a second of it is a second in the file.
TEST_F(AviExportTest, StereoSoundLastsItsLength) {
    Make(16, 8, 10, 100, {0});
    WriteWav(P("proj.wav"), 2, 16, 22050, SoundPattern(88200));
    ExportOptions o = Options("stereo.avi");
    Export(o);
    EXPECT_NEAR(1.0, StreamEnd(o.outputPath, "a"), 1e-6);
    EXPECT_NEAR(1.0, StreamEnd(o.outputPath, "v"), 1e-6);
    RunTool(
        {"ffmpeg", "-v", "error", "-y", "-i", o.outputPath, "-map", "0:a:0", "-f", "s16le", P("stereo.pcm")});
    EXPECT_EQ(SoundPattern(88200), ReadAll(P("stereo.pcm")));
}

// The WMV route without a sound file gets one second of silence; an AVI without it, none.
TEST_F(AviExportTest, SilenceOnlyWhereASoundTrackIsNeeded) {
    Make(16, 8, 4, 500, {0});
    ExportOptions o = Options("silent.avi");
    o.needAudio = true;
    const AviExportResult r = Export(o);
    ASSERT_TRUE(r.hasAudio);
    EXPECT_EQ(2, r.audioFormat.channels);
    EXPECT_EQ(22050u, r.audioFormat.samplesPerSecond);
    EXPECT_EQ(88200u, r.audioFormat.bytesPerSecond);
    EXPECT_EQ(4, r.audioFormat.blockAlign);
    AviHeaders h(o.outputPath);
    EXPECT_EQ(2u, h.Strh(1, 20));
    EXPECT_EQ(44100u, h.Strh(1, 24));
    EXPECT_EQ(2u, h.Strh(1, 44));
    EXPECT_EQ("av"
              "vvv",
              ChunkOrder(h));
    EXPECT_EQ(88200u, h.movi->children[0].size);
    EXPECT_EQ(Bytes(88200, 0), Bytes(h.file.begin() + long(h.movi->children[0].Data()),
                                     h.file.begin() + long(h.movi->children[0].Data()) + 88200));
    EXPECT_EQ(500u, h.Strh(0, 20)); // with a sound track the picture runs at the delay
    EXPECT_EQ(1000u, h.Strh(0, 24));
}

// A sound file that is there but lies in its header is refused, never divided by; no AVI.
TEST_F(AviExportTest, HostileSoundHeadersAreRefused) {
    Make(16, 8, 4, 100, {0});
    struct Patch {
        size_t at;
        uint32_t value;
        int bytes;
    };
    const Patch patches[] = {
        {22, 0, 2},          // no channels
        {22, 7, 2},          // seven channels
        {24, 0, 4},          // rate 0
        {32, 0, 2},          // block alignment 0
        {34, 12, 2},         // 12 bits
        {40, 0x7FFFFFF0, 4}, // data far past the end of the file
        {20, 85, 2},         // not PCM
    };
    for (const Patch& p : patches) {
        WriteWav(P("proj.wav"), 1, 16, 8000, SoundPattern(1600));
        Bytes wav = ReadAll(P("proj.wav"));
        if (p.bytes == 2)
            zovtest::Put16(wav, p.at, uint16_t(p.value));
        else
            zovtest::Put32(wav, p.at, p.value);
        ASSERT_TRUE(zovtest::WriteAll(P("proj.wav"), wav));
        ExportOptions o = Options("hostile.avi");
        AviExportResult r;
        std::string error;
        EXPECT_FALSE(ExportProjectToAvi(ani, o, {}, r, error)) << "offset " << p.at;
        EXPECT_NE(std::string::npos, error.find("sound")) << error;
        EXPECT_FALSE(fs::exists(o.outputPath));
    }
    ExpectOnly({"proj.scp", "cursor.bin", "proj.wav"});
}

// A 1024 x 768 project through every compressor present: exact ones give the project's frames
// back byte for byte, lossy ones within a stated PSNR; the FourCC, the format's extradata and
// the key flags are those of the encoder's packets.
TEST_F(AviExportTest, CompressorsAt1024x768) {
    Make(1024, 768, 5, 100, {0, 3});
    const Bytes want = Expected(0, 4, 0, 0, 1024, 768);
    const std::vector<AviCompressor> present = AvailableAviCompressors();
    for (const char* must : {"zmbv", "ffv1"}) {
        EXPECT_TRUE(std::any_of(present.begin(), present.end(),
                                [&](const AviCompressor& c) { return std::strcmp(c.encoder, must) == 0; }))
            << must << " is not in this libavcodec";
    }
    for (const AviCompressor& c : present) {
        SCOPED_TRACE(c.encoder);
        ExportOptions o = Options(std::string(c.encoder) + ".avi");
        o.compressor.encoder = c.encoder;
        o.compressor.keyFrameRate = 2;
        o.compressor.quality = 90;
        const AviExportResult r = Export(o);
        EXPECT_EQ(5, r.frames);
        AviHeaders h(o.outputPath);
        ASSERT_TRUE(h.movi && h.idx1);
        EXPECT_EQ(c.fourcc, Fcc(h.file, h.Strl(0)->Find("strh")->Data() + 4));
        const RiffNode* strf = h.Strl(0)->Find("strf");
        EXPECT_EQ(strf->size, Le32(h.file, strf->Data())); // biSize = 40 + extradata
        EXPECT_GE(strf->size, 40u);
        EXPECT_EQ(c.fourcc, Fcc(h.file, strf->Data() + 16));
        EXPECT_EQ(768, LeI32(h.file, strf->Data() + 8));
        ASSERT_EQ(5u, h.movi->children.size());
        for (size_t i = 0; i < 5; ++i)
            EXPECT_EQ("00dc", h.movi->children[i].id);
        EXPECT_EQ(0x10u, Le32(h.file, h.idx1->Data() + 4)); // the first frame is a key frame
        if (std::strcmp(c.encoder, "zmbv") == 0 || std::strcmp(c.encoder, "libx264rgb") == 0) {
            // A key frame every second frame, the others not.
            for (size_t i = 0; i < 5; ++i)
                EXPECT_EQ(i % 2 == 0 ? 0x10u : 0u, Le32(h.file, h.idx1->Data() + 16 * i + 4)) << i;
        }
        const Bytes got = DecodeBgr(o.outputPath, P(std::string(c.encoder) + ".raw"));
        if (c.exact) {
            EXPECT_TRUE(got == want) << "decoded frames differ from the project's";
        } else {
            const double psnr = Psnr(got, want);
            std::printf("[ PSNR     ] %s at quality 90: %.2f dB\n", c.encoder, psnr);
            EXPECT_GT(psnr, 30.0);
        }
        fs::remove(o.outputPath);
        fs::remove(P(std::string(c.encoder) + ".raw"));
    }
    // An encoder that is not one of the compressors is refused before anything is written.
    ExportOptions bad = Options("bad.avi");
    bad.compressor.encoder = "h263";
    AviExportResult r;
    std::string error;
    EXPECT_FALSE(ExportProjectToAvi(ani, bad, {}, r, error));
    EXPECT_FALSE(error.empty());
    ExpectOnly({"proj.scp", "cursor.bin"});
}

// With 1 MiB RIFF blocks a 5.6 MB export with sound takes the OpenDML layout: every RIFF within
// the limit, AVIX blocks with their LIST movi, a super index per stream whose entries lead to
// standard indexes that point at each chunk's data, the total frame count in dmlh while avih
// and idx1 cover the first RIFF. ffmpeg reads every frame, and seeks land on the right picture
// in every block.
TEST_F(AviExportTest, OpenDmlLayoutPastTheRiffLimit) {
    Make(320, 240, 24, 250, {0, 10, 20});
    WriteWav(P("proj.wav"), 1, 8, 8000, SoundPattern(48000)); // 6 s, as 24 frames of 250 ms
    ExportOptions o = Options("big.avi");
    AviExportControl control;
    control.riffLimit = 1 << 20;
    const AviExportResult r = Export(o, control);
    EXPECT_GE(r.riffs, 5);
    AviHeaders h(o.outputPath);
    ASSERT_TRUE(h.hdrl && h.movi && h.idx1);
    ASSERT_EQ(size_t(r.riffs), h.top.size());
    uint64_t videoInFirst = 0, chunksInFirst = 0;
    for (const RiffNode& c : h.movi->children)
        if (c.id == "00db" || c.id == "01wb") {
            ++chunksInFirst;
            videoInFirst += c.id == "00db";
        }
    for (size_t i = 0; i < h.top.size(); ++i) {
        EXPECT_EQ("RIFF", h.top[i].id);
        EXPECT_EQ(i == 0 ? "AVI " : "AVIX", h.top[i].type) << i;
        EXPECT_LE(h.top[i].size + 8u, 1u << 20) << "RIFF " << i;
        EXPECT_TRUE(h.top[i].Find("movi")) << i;
    }
    EXPECT_EQ(videoInFirst, h.Avih(4));
    EXPECT_LT(videoInFirst, 24u);
    EXPECT_EQ(chunksInFirst * 16, h.idx1->size);
    const RiffNode* odml = h.hdrl->Find("odml");
    ASSERT_TRUE(odml && odml->Find("dmlh"));
    EXPECT_EQ(24u, Le32(h.file, odml->Find("dmlh")->Data()));
    EXPECT_EQ(24u, h.Strh(0, 32));
    EXPECT_EQ(48000u, h.Strh(1, 32));

    for (size_t s = 0; s < 2; ++s) {
        SCOPED_TRACE("stream " + std::to_string(s));
        const RiffNode* indx = h.Strl(s)->Find("indx");
        ASSERT_TRUE(indx);
        const uint64_t d = indx->Data();
        EXPECT_EQ(4u, Le16(h.file, d));
        EXPECT_EQ(0u, h.file[d + 2]);
        EXPECT_EQ(0u, h.file[d + 3]);
        const uint32_t entries = Le32(h.file, d + 4);
        const std::string id = s == 0 ? "00db" : "01wb";
        EXPECT_EQ(id, Fcc(h.file, d + 8));
        uint32_t blocksWithChunks = 0; // one standard index for each RIFF holding the stream
        for (const RiffNode& riff : h.top)
            blocksWithChunks += riff.Find("movi")->Count(id) > 0;
        EXPECT_EQ(blocksWithChunks, entries);
        EXPECT_GE(entries, 4u);
        uint64_t total = 0;
        for (uint32_t e = 0; e < entries; ++e) {
            const uint64_t ixPos = Le64(h.file, d + 24 + 16 * e);
            const uint32_t ixSize = Le32(h.file, d + 24 + 16 * e + 8);
            const uint32_t duration = Le32(h.file, d + 24 + 16 * e + 12);
            ASSERT_EQ(s == 0 ? "ix00" : "ix01", Fcc(h.file, ixPos));
            EXPECT_EQ(ixSize, Le32(h.file, ixPos + 4) + 8);
            const uint64_t ix = ixPos + 8;
            EXPECT_EQ(2u, Le16(h.file, ix));
            EXPECT_EQ(1u, h.file[ix + 3]);
            const uint32_t n = Le32(h.file, ix + 4);
            EXPECT_EQ(id, Fcc(h.file, ix + 8));
            const uint64_t base = Le64(h.file, ix + 12);
            uint64_t units = 0;
            for (uint32_t k = 0; k < n; ++k) {
                const uint32_t off = Le32(h.file, ix + 24 + 8 * k);
                const uint32_t size = Le32(h.file, ix + 24 + 8 * k + 4);
                EXPECT_EQ(0u, size & 0x80000000u); // every frame stored whole is a key frame
                ASSERT_EQ(id, Fcc(h.file, base + off - 8));
                EXPECT_EQ(size, Le32(h.file, base + off - 4));
                units += s == 0 ? 1 : size;
            }
            EXPECT_EQ(units, duration);
            total += duration;
        }
        EXPECT_EQ(s == 0 ? 24u : 48000u, total);
    }

    EXPECT_EQ("24", Probe(o.outputPath, "v", "nb_read_frames", true));
    RunTool({"ffmpeg", "-v", "error", "-y", "-i", o.outputPath, "-map", "0:a:0", "-f", "u8", P("big.pcm")});
    EXPECT_EQ(SoundPattern(48000), ReadAll(P("big.pcm")));
    // The first frame of every later RIFF block, reached by seeking.
    int frame = int(videoInFirst);
    for (size_t i = 1; i < h.top.size(); ++i) {
        const RiffNode* movi = h.top[i].Find("movi");
        char at[32];
        std::snprintf(at, sizeof at, "%.3f", frame * 0.25);
        const Bytes got = DecodeBgr(o.outputPath, P("seek.raw"), {"-ss", at});
        ASSERT_GE(got.size(), size_t(320 * 240 * 3)) << at;
        EXPECT_TRUE(Bytes(got.begin(), got.begin() + 320 * 240 * 3) == StoredBgr(ani, frame, 0, 0, 320, 240))
            << "frame " << frame << " after a seek to " << at;
        frame += int(movi->Count("00db"));
    }
    EXPECT_EQ(24, frame);
}

// Cancel between frames and a target that cannot be written: no AVI, no temporary file, and an
// AVI already at the target is left as it was.
TEST_F(AviExportTest, CancelAndFailureLeaveNothingBehind) {
    Make(64, 40, 8, 100, {0});
    ASSERT_TRUE(zovtest::WriteText(P("old.avi"), "an older export"));
    std::atomic<bool> cancel{false};
    AviExportControl control;
    control.cancel = &cancel;
    int reported = 0;
    control.progress = [&](int32_t done, int32_t total) {
        EXPECT_EQ(8, total);
        reported = done;
        if (done == 3)
            cancel = true;
    };
    ExportOptions o = Options("old.avi");
    AviExportResult r;
    std::string error;
    EXPECT_FALSE(ExportProjectToAvi(ani, o, control, r, error));
    EXPECT_TRUE(r.cancelled);
    EXPECT_EQ(3, reported);
    EXPECT_EQ("an older export", zovtest::ReadText(P("old.avi")));
    ExpectOnly({"proj.scp", "cursor.bin", "old.avi"});

    o.outputPath = P("no such folder/out.avi");
    EXPECT_FALSE(ExportProjectToAvi(ani, o, {}, r, error));
    EXPECT_FALSE(error.empty());
    o.outputPath = P("range.avi");
    o.first = 6;
    o.last = 9; // past the last frame
    EXPECT_FALSE(ExportProjectToAvi(ani, o, {}, r, error));
    ExpectOnly({"proj.scp", "cursor.bin", "old.avi"});
}

// The frames carry their elements, drawn through the document's element drawing; the project's
// own frames stay without them.
TEST_F(AviExportTest, ElementsAreDrawnIntoTheExportedFrames) {
    Make(64, 40, 6, 100, {0});
    ani.Elements().Create(2, 3, ELEMENT_BOX);
    ani.SetElementPainter([](const ElementPaintJob& job) {
        EXPECT_TRUE(job.exporting); // link areas stay out of exported frames
        if (!job.snapshot || job.snapshot->empty() || !job.snapshot->front().ShownOn(job.index))
            return;
        for (int x = 0; x < 20; ++x) { // a red bar on the top row
            uint8_t* p =
                job.image + size_t(job.height - 1) * size_t((job.width * 3 + 3) & ~3) + size_t(x) * 3;
            p[0] = 0;
            p[1] = 0;
            p[2] = 255;
        }
    });
    ExportOptions o = Options("elements.avi");
    Export(o);
    Bytes want = Expected(0, 5, 0, 0, 64, 40);
    for (int f = 2; f <= 3; ++f)
        for (int x = 0; x < 20; ++x) {
            uint8_t* p = want.data() + size_t(f) * 64 * 40 * 3 + size_t(x) * 3;
            p[0] = p[1] = 0;
            p[2] = 255;
        }
    EXPECT_EQ(want, DecodeBgr(o.outputPath, P("elements.raw")));
    EXPECT_NE(Bytes({0, 0, 255}), Bytes(StoredBgr(ani, 2, 0, 0, 1, 1)));
}

// zovrec export --format avi with the options the stream export takes and a compressor;
// the zov format keeps its own option; bad values stop before anything is written.
TEST_F(AviExportTest, ZovrecExportsAviAndZov) {
    const std::string zovrec = std::string(ZOV_BIN_DIR) + "/zovrec";
    if (!fs::exists(zovrec))
        GTEST_SKIP() << "zovrec is not built";
    Make(64, 40, 8, 500, {0, 4});
    ani.Close();
    const std::string project = P("proj.scp");
    RunTool({zovrec, "export", project, "--format", "avi", "--out", P("cli.avi"), "--first", "2", "--last",
             "6", "--area", "1,2,42,33", "--compressor", "ffv1"});
    std::string reopen = project;
    ASSERT_TRUE(ani.OpenProject(reopen)) << ani.LastMessage();
    EXPECT_EQ("5", Probe(P("cli.avi"), "v", "nb_frames"));
    EXPECT_EQ("ffv1", Probe(P("cli.avi"), "v", "codec_name"));
    EXPECT_EQ("2/1", Probe(P("cli.avi"), "v", "r_frame_rate"));
    EXPECT_EQ(Expected(2, 6, 1, 2, 42, 33), DecodeBgr(P("cli.avi"), P("cli.raw")));
    ani.Close();

    RunTool({zovrec, "export", project, "--format", "ZOV", "--out", P("cli.zov"), "--no-pages"});
    EXPECT_TRUE(fs::exists(P("cli.zov")));
    EXPECT_FALSE(fs::exists(P("cli.htm")));
    for (const std::vector<std::string>& bad :
         {std::vector<std::string>{"--format", "avi", "--compressor", "nonesuch"},
          std::vector<std::string>{"--format", "avi", "--quality", "101"},
          std::vector<std::string>{"--format", "avi", "--last", "8"},
          std::vector<std::string>{"--format", "mov"}}) {
        std::vector<std::string> argv = {zovrec, "export", project, "--out", P("bad.avi")};
        argv.insert(argv.end(), bad.begin(), bad.end());
        const zovtest::RunResult r = zovtest::RunProgram(argv);
        EXPECT_NE(0, r.exitCode) << bad[1] << " " << bad.back();
        EXPECT_FALSE(r.err.empty());
        EXPECT_FALSE(fs::exists(P("bad.avi")));
    }
}
