// The WAV writer's bytes, the checked reader, the clip of a frame range and the sound files'
// names, without a sound server.
#include "sound/SoundClip.h"
#include "sound/SoundFiles.h"
#include "sound/WaveFile.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zov;
using namespace zovtest;

namespace {

// The header written out field by field, independently of FillWaveHeader.
std::vector<uint8_t> ExpectedHeader(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t data) {
    std::vector<uint8_t> h(44);
    std::memcpy(&h[0], "RIFF", 4);
    Put32(h, 4, 36 + data);
    std::memcpy(&h[8], "WAVE", 4);
    std::memcpy(&h[12], "fmt ", 4);
    Put32(h, 16, 16);
    Put16(h, 20, 1);
    Put16(h, 22, channels);
    Put32(h, 24, rate);
    Put32(h, 28, rate * channels * bits / 8);
    Put16(h, 32, uint16_t(channels * bits / 8));
    Put16(h, 34, bits);
    std::memcpy(&h[36], "data", 4);
    Put32(h, 40, data);
    return h;
}

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 7 + seed + (i >> 8));
    return v;
}

// A WAV file made by hand: the given header fields, then `data` bytes of pattern.
std::vector<uint8_t> HandWave(uint16_t channels, uint16_t bits, uint32_t rate, uint32_t data,
                              uint16_t align = 0) {
    std::vector<uint8_t> f = ExpectedHeader(channels, bits, rate, data);
    if (align)
        Put16(f, 32, align);
    std::vector<uint8_t> d = Pattern(data, 3);
    f.insert(f.end(), d.begin(), d.end());
    return f;
}

} // namespace

TEST(WaveWriter, WritesTheHeaderAndSamplesOfEachCaptureFormat) {
    TempDir dir;
    struct Format {
        uint16_t channels, bits;
        uint32_t rate;
    } formats[] = {{1, 8, 8000}, {1, 8, 22050}, {2, 16, 22050}};
    for (const Format& f : formats) {
        const std::string path = dir.File("f.wav");
        CWaveFileWriter w;
        ASSERT_TRUE(w.Open(path, 8, f.channels, f.bits, f.rate));
        // Before any rewrite the file holds the sizes of an empty clip.
        EXPECT_EQ(ReadAll(path), ExpectedHeader(f.channels, f.bits, f.rate, 0));
        const uint32_t block = f.rate * f.channels * f.bits / 8 / 10;
        std::vector<uint8_t> all;
        for (uint8_t i = 0; i < 3; ++i) {
            std::vector<uint8_t> b = Pattern(block, i);
            ASSERT_TRUE(w.Append(b.data(), b.size()));
            all.insert(all.end(), b.begin(), b.end());
        }
        ASSERT_TRUE(w.RewriteHeader());
        std::vector<uint8_t> mid = ReadAll(path);
        ASSERT_EQ(mid.size(), 44 + all.size());
        EXPECT_EQ(Le32(mid, 4), 36 + 3 * block);
        EXPECT_EQ(Le32(mid, 40), 3 * block);
        std::vector<uint8_t> last = Pattern(block / 2, 9);
        ASSERT_TRUE(w.Append(last.data(), last.size()));
        all.insert(all.end(), last.begin(), last.end());
        ASSERT_TRUE(w.Close());
        EXPECT_FALSE(w.IsOpen());
        std::vector<uint8_t> expected = ExpectedHeader(f.channels, f.bits, f.rate, uint32_t(all.size()));
        expected.insert(expected.end(), all.begin(), all.end());
        EXPECT_EQ(ReadAll(path), expected) << f.channels << "x" << f.bits << " at " << f.rate;

        WaveInfo info;
        ASSERT_TRUE(ReadWaveInfo(path, info));
        EXPECT_EQ(info.dataOffset, 44);
        EXPECT_EQ(info.dataSize, int64_t(all.size()));
        EXPECT_EQ(info.blockAlign, f.channels * f.bits / 8);
        EXPECT_EQ(info.bytesPerSecond, f.rate * f.channels * f.bits / 8);
    }
}

TEST(WaveWriter, RefusesWithoutAnOpenFileAndReopensFromEmpty) {
    TempDir dir;
    CWaveFileWriter w;
    uint8_t b[4] = {1, 2, 3, 4};
    EXPECT_FALSE(w.Append(b, 4));
    EXPECT_FALSE(w.Close());
    EXPECT_FALSE(w.Open(dir.File("no/such/folder.wav"), 8, 1, 8, 8000));
    ASSERT_TRUE(w.Open(dir.File("a.wav"), 8, 1, 8, 8000));
    ASSERT_TRUE(w.Append(b, 4));
    // Opening another file closes the first with its sizes and starts the count again.
    ASSERT_TRUE(w.Open(dir.File("b.wav"), 24, 2, 16, 22050));
    EXPECT_EQ(Le32(ReadAll(dir.File("a.wav")), 40), 4u);
    ASSERT_TRUE(w.Close());
    EXPECT_EQ(ReadAll(dir.File("b.wav")), ExpectedHeader(2, 16, 22050, 0));
}

TEST(WaveReader, ChecksTheHeaderBeforeTrustingIt) {
    TempDir dir;
    const std::string path = dir.File("x.wav");
    WaveInfo info;
    std::string why;
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    } bad[] = {
        {"three channels", HandWave(3, 8, 8000, 300)},
        {"24 bits", HandWave(1, 24, 8000, 300)},
        {"rate 0", HandWave(1, 8, 0, 300)},
        {"block alignment 3 for 16-bit stereo", HandWave(2, 16, 22050, 300, 3)},
        {"block alignment 0", HandWave(1, 8, 8000, 300, 0x0)},
        {"nothing", {}},
    };
    // HandWave's align 0 means "keep": make the zero alignment by hand.
    Put16(bad[4].bytes, 32, 0);
    for (const Case& c : bad) {
        ASSERT_TRUE(WriteAll(path, c.bytes));
        EXPECT_FALSE(ReadWaveInfo(path, info, &why)) << c.what;
        EXPECT_FALSE(why.empty()) << c.what;
    }

    // A data size that reaches past the file's end, by one byte.
    std::vector<uint8_t> longer = HandWave(1, 8, 8000, 300);
    Put32(longer, 40, 301);
    ASSERT_TRUE(WriteAll(path, longer));
    EXPECT_FALSE(ReadWaveInfo(path, info, &why));
    // A data size near 4 GiB in a small file: refused, not wrapped.
    Put32(longer, 40, 0xFFFFFFF0u);
    ASSERT_TRUE(WriteAll(path, longer));
    EXPECT_FALSE(ReadWaveInfo(path, info, &why));

    // Not PCM; not RIFF.
    std::vector<uint8_t> other = HandWave(1, 8, 8000, 300);
    Put16(other, 20, 3);
    ASSERT_TRUE(WriteAll(path, other));
    EXPECT_FALSE(ReadWaveInfo(path, info, &why));
    other = HandWave(1, 8, 8000, 300);
    std::memcpy(other.data(), "RIFX", 4);
    ASSERT_TRUE(WriteAll(path, other));
    EXPECT_FALSE(ReadWaveInfo(path, info, &why));

    // A file whose header still says 0 data bytes (killed before the first rewrite) is an
    // empty clip with trailing bytes, not an error.
    std::vector<uint8_t> stale = HandWave(1, 8, 8000, 300);
    Put32(stale, 40, 0);
    ASSERT_TRUE(WriteAll(path, stale));
    ASSERT_TRUE(ReadWaveInfo(path, info, &why)) << why;
    EXPECT_EQ(info.dataSize, 0);
}

TEST(WaveReader, SkipsOtherChunksBeforeTheData) {
    TempDir dir;
    std::vector<uint8_t> f = ExpectedHeader(2, 16, 22050, 8);
    // A LIST chunk of odd size (padded) between "fmt " and "data".
    std::vector<uint8_t> data(f.begin() + 36, f.end());
    f.resize(36);
    const char list[] = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    f.insert(f.end(), list, list + sizeof list);
    f.insert(f.end(), data.begin(), data.end());
    std::vector<uint8_t> samples = Pattern(8, 1);
    f.insert(f.end(), samples.begin(), samples.end());
    ASSERT_TRUE(WriteAll(dir.File("l.wav"), f));
    WaveInfo info;
    std::vector<uint8_t> got;
    ASSERT_TRUE(ReadSoundClip(dir.File("l.wav"), 0, 0, 1, info, got));
    EXPECT_EQ(info.dataOffset, 56);
    EXPECT_EQ(got, samples);
}

TEST(SoundClip, SpreadsTheClipOverTheFramesOnWholeSampleFrames) {
    ClipRange r;
    // 88,200 bytes of 16-bit stereo over 100 frames: 882 bytes a frame, rounded up to 4.
    ASSERT_TRUE(ClipRangeForFrames(88200, 4, 1, 1, 100, r));
    EXPECT_EQ(r.offset, 884);
    EXPECT_EQ(r.size, 884);
    ASSERT_TRUE(ClipRangeForFrames(88200, 4, 10, 19, 100, r));
    EXPECT_EQ(r.offset, 8820);
    EXPECT_EQ(r.size, 8820);
    // The last frame's share is cut at the end of the data.
    ASSERT_TRUE(ClipRangeForFrames(88200, 4, 99, 99, 100, r));
    EXPECT_EQ(r.offset, 87320);
    EXPECT_EQ(r.size, 880);
    // The whole sequence takes everything, even a size that is no multiple of the alignment.
    ASSERT_TRUE(ClipRangeForFrames(88203, 4, 0, 99, 100, r));
    EXPECT_EQ(r.offset, 0);
    EXPECT_EQ(r.size, 88203);
    // 8-bit mono: no rounding needed.
    ASSERT_TRUE(ClipRangeForFrames(8001, 1, 1, 2, 3, r));
    EXPECT_EQ(r.offset, 2667);
    EXPECT_EQ(r.size, 5334);
    // A clip of 4 GiB over 2^31 - 1 frames does not overflow.
    ASSERT_TRUE(ClipRangeForFrames(0xFFFFFFFFll, 1, 0x7FFFFFFE, 0x7FFFFFFE, 0x7FFFFFFF, r));
    EXPECT_EQ(r.offset, 0xFFFFFFFFll - 3); // floor(0xFFFFFFFF * (n - 1) / n)
    EXPECT_EQ(r.size, 2);

    EXPECT_FALSE(ClipRangeForFrames(100, 4, 5, 4, 10, r));
    EXPECT_FALSE(ClipRangeForFrames(100, 4, 0, 10, 10, r));
    EXPECT_FALSE(ClipRangeForFrames(100, 4, -1, 3, 10, r));
    EXPECT_FALSE(ClipRangeForFrames(100, 0, 0, 3, 10, r));
    EXPECT_FALSE(ClipRangeForFrames(100, 4, 0, 0, 0, r));
}

TEST(SoundClip, ReadsTheBytesOfTheRangeInPieces) {
    TempDir dir;
    const std::string path = dir.File("c.wav");
    std::vector<uint8_t> file = HandWave(2, 16, 22050, 88200);
    ASSERT_TRUE(WriteAll(path, file));
    CSoundClipReader reader;
    ASSERT_TRUE(reader.Open(path, 10, 19, 100));
    EXPECT_EQ(reader.Range().offset, 8820);
    std::vector<uint8_t> got;
    uint8_t buf[1000];
    for (int64_t n; (n = reader.Read(buf, sizeof buf)) > 0;)
        got.insert(got.end(), buf, buf + n);
    EXPECT_EQ(reader.Read(buf, sizeof buf), 0);
    std::vector<uint8_t> expected(file.begin() + 44 + 8820, file.begin() + 44 + 8820 + 8820);
    EXPECT_EQ(got, expected);

    std::string why;
    EXPECT_FALSE(reader.Open(path, 0, 100, 100, &why));
    EXPECT_FALSE(why.empty());
    EXPECT_FALSE(reader.Open(dir.File("missing.wav"), 0, 0, 1, &why));
}

TEST(SoundFiles, NamesFollowTheDocumentsFinalExtensionOnly) {
    EXPECT_EQ(SoundWavPath("a.scp.d/My.Film.SCP"), "a.scp.d/My.Film.wav");
    EXPECT_EQ(SoundWavPath("/x/Demo/Test.scp"), "/x/Demo/Test.wav");
    EXPECT_EQ(SoundWavPath("/x/talk.ZoV"), "/x/talk.wav");
    // Anything else keeps its name and gains ".wav", never becoming the document itself.
    EXPECT_EQ(SoundWavPath("film"), "film.wav");
    EXPECT_EQ(SoundWavPath("a.scp.d/film"), "a.scp.d/film.wav");
    EXPECT_EQ(SoundWavPath("clip.wav"), "clip.wav.wav");
    EXPECT_EQ(SoundWavPath("dir/.scp"), "dir/.scp.wav");

    EXPECT_EQ(SoundMp3Path("a.scp.d/My.Film.wav"), "a.scp.d/My.Film.mp3");
    EXPECT_EQ(SoundMp3Path("A.WAV"), "A.mp3");
    EXPECT_EQ(SoundMp3Path("film.scp.wav.x"), "film.scp.wav.x.mp3");
    EXPECT_EQ(StreamCompanionMp3("out/talk.zov"), "out/talk.mp3");
    EXPECT_EQ(StreamCompanionMp3("out/talk"), "out/talk.mp3");
}

TEST(SoundFiles, TheProjectsMp3TravelsWithTheExportedStream) {
    TempDir dir;
    ASSERT_TRUE(WriteText(dir.File("film.mp3"), "new sound"));
    ASSERT_EQ(0, system(("mkdir -p '" + dir.File("out") + "'").c_str()));
    ASSERT_TRUE(WriteText(dir.File("out/talk.mp3"), "an older companion"));
    ASSERT_TRUE(CopyCompanionMp3(dir.File("film.scp"), dir.File("out/talk.zov")));
    EXPECT_EQ(ReadText(dir.File("out/talk.mp3")), "new sound");
    EXPECT_EQ(ReadText(dir.File("film.mp3")), "new sound");
    // The same stem: nothing to copy, the file stays whole.
    ASSERT_TRUE(CopyCompanionMp3(dir.File("film.scp"), dir.File("film.zov")));
    EXPECT_EQ(ReadText(dir.File("film.mp3")), "new sound");
    // A project without sound copies nothing and leaves what is there.
    ASSERT_TRUE(CopyCompanionMp3(dir.File("mute.scp"), dir.File("out/talk.zov")));
    EXPECT_EQ(ReadText(dir.File("out/talk.mp3")), "new sound");
    // A target folder that does not exist: the copy fails and says so.
    EXPECT_FALSE(CopyCompanionMp3(dir.File("film.scp"), dir.File("nowhere/talk.zov")));
}
