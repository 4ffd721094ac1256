// Stream files: the writer's bytes, the reader's record rules, incremental reading, cut
// streams, and the committed sample streams.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "codec/StreamReader.h"
#include "codec/StreamWriter.h"
#include "tests/codec/CodecTestUtil.h"

using namespace zov;
using namespace zov::test;

namespace {

class MemorySink : public StreamSink {
  public:
    bool Write(const void* data, size_t size) override {
        if (failAfter >= 0 && bytes.size() + size > size_t(failAfter))
            return false;
        auto p = static_cast<const uint8_t*>(data);
        bytes.insert(bytes.end(), p, p + size);
        return true;
    }
    Bytes bytes;
    long failAfter = -1;
};

// Frames of a small synthetic screen: a flat desktop, a "window" with text-like strokes
// that scrolls, a noisy picture, and a pointer-like square moving about.
std::vector<std::vector<uint32_t>> SyntheticFrames(uint32_t w, uint32_t h, int count, uint32_t seed) {
    Rng rng(seed);
    std::vector<std::vector<uint32_t>> frames;
    std::vector<uint32_t> px(size_t(w) * h, 0x3A6EA5);
    for (int f = 0; f < count; ++f) {
        for (uint32_t y = 4; y + 4 < h; ++y)
            for (uint32_t x = 4; x + 4 < w; ++x) {
                const bool ink = ((x * 7 + (y + f) * 13) % 11) < 2 && ((y + f) % 6) != 0;
                px[y * w + x] = ink ? 0x101010 : 0xFFFFFF;
            }
        if (f % 4 == 2)
            for (uint32_t y = h / 2; y < h / 2 + 10 && y < h; ++y)
                for (uint32_t x = 6; x < 20 && x < w; ++x)
                    px[y * w + x] = rng.Next() & 0xFFFFFF;
        const uint32_t cx = (f * 5) % (w - 4), cy = (f * 3) % (h - 4);
        for (uint32_t y = cy; y < cy + 4; ++y)
            for (uint32_t x = cx; x < cx + 4; ++x)
                px[y * w + x] = 0xFF00FF;
        frames.push_back(px);
        if (f % 5 == 3)
            frames.push_back(px); // unchanged frame
    }
    return frames;
}

Bytes WriteStream(uint32_t w, uint32_t h, const std::vector<std::vector<uint32_t>>& frames, StreamEnd end,
                  int interval = 500) {
    MemorySink sink;
    StreamWriter writer;
    EXPECT_TRUE(writer.Begin(&sink, int(w), int(h), interval));
    for (const auto& f : frames)
        EXPECT_TRUE(writer.AddFrame32(f.data()));
    EXPECT_TRUE(writer.End(end));
    return sink.bytes;
}

struct ReadResult {
    std::vector<std::vector<uint32_t>> pictures; // one per frame or unchanged record
    ReadStatus last = ReadStatus::NeedMore;
    bool cut = false;
    int rejected = 0;
};

ReadResult ReadAll(const Bytes& bytes, size_t piece = 0) {
    ReadResult r;
    StreamReader reader;
    size_t fed = 0;
    StreamRecord rec;
    for (;;) {
        ReadStatus st = reader.Next(rec);
        if (st == ReadStatus::NeedMore) {
            if (fed == bytes.size()) {
                reader.Finish();
                continue;
            }
            size_t n = piece ? std::min(piece, bytes.size() - fed) : bytes.size() - fed;
            reader.Append(bytes.data() + fed, n);
            fed += n;
            continue;
        }
        if (st != ReadStatus::Record) {
            r.last = st;
            break;
        }
        r.rejected += rec.rejected;
        const size_t n = size_t(reader.Header().width) * reader.Header().height;
        r.pictures.emplace_back(reader.Picture(), reader.Picture() + n);
        for (auto& v : r.pictures.back())
            v &= 0xFFFFFF;
    }
    r.cut = reader.CutShort();
    return r;
}

// Offsets of the records after the 16 bytes of header and control record.
std::vector<size_t> RecordOffsets(const Bytes& s) {
    std::vector<size_t> at;
    size_t p = 16;
    while (p + 4 <= s.size()) {
        uint32_t l = BE32(s.data() + p);
        if (l == 0xFFFFFFFFu)
            break;
        at.push_back(p);
        p += 4 + (l & 0x80000000u ? 0 : l);
    }
    return at;
}

} // namespace

TEST(StreamWriterTest, TwoIdenticalFramesMakeHeaderControlRecordZeroLengthAndEndMarker) {
    std::vector<uint32_t> px(40 * 20, 0x00FF00);
    px[77] = 0x0000FF;
    Bytes s = WriteStream(40, 20, {px, px}, StreamEnd::Marker, 250);
    ASSERT_GT(s.size(), 16u + 21 + 8);
    EXPECT_EQ((Bytes{'Z', 'V', '0', '1', 0, 40, 0, 20, 0x10, 0x10, 0x00, 0xFA, 0x81, 0x09, 0x00, 0x00}),
              Bytes(s.begin(), s.begin() + 16));
    const uint32_t l = BE32(s.data() + 16);
    ASSERT_EQ(16 + 4 + l + 8, s.size());
    EXPECT_EQ((Bytes{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), Bytes(s.end() - 8, s.end()));
}

TEST(StreamWriterTest, RefusesSizesTheHeaderCannotHoldAndReportsWriteFailures) {
    StreamWriter writer;
    MemorySink sink;
    EXPECT_FALSE(writer.Begin(&sink, 32768, 10));
    EXPECT_FALSE(writer.Begin(&sink, 0, 10));
    EXPECT_FALSE(writer.Begin(&sink, 8192, 2049)); // more than 64 MiB of picture
    EXPECT_FALSE(writer.Error().empty());
    EXPECT_FALSE(writer.Begin("/nonexistent-folder/x.zov", 10, 10));
    EXPECT_NE(std::string::npos, writer.Error().find("cannot create"));

    MemorySink small;
    small.failAfter = 30;
    ASSERT_TRUE(writer.Begin(&small, 16, 16));
    std::vector<uint32_t> px(256, 0x808080);
    EXPECT_FALSE(writer.AddFrame32(px.data()));
    EXPECT_FALSE(writer.End(StreamEnd::Marker));
}

TEST(StreamWriterTest, RefusesFrameIntervalsThePlayersCannotPlay) {
    // Players read the interval as signed 16 bits and take 1..10 ms for a still picture; 0 is
    // a still picture on purpose.
    for (int interval : {0, 11, 500, 32767}) {
        MemorySink sink;
        StreamWriter writer;
        ASSERT_TRUE(writer.Begin(&sink, 16, 16, interval)) << interval << ": " << writer.Error();
        ASSERT_TRUE(writer.End(StreamEnd::Marker));
        ASSERT_GE(sink.bytes.size(), 12u);
        EXPECT_EQ(interval, (sink.bytes[10] << 8) | sink.bytes[11]);
    }
    for (int interval : {1, 10, 32768, 65535, -1}) {
        MemorySink sink;
        StreamWriter writer;
        EXPECT_FALSE(writer.Begin(&sink, 16, 16, interval)) << interval;
        EXPECT_NE(std::string::npos, writer.Error().find("11 to 32767")) << writer.Error();
        EXPECT_TRUE(sink.bytes.empty()) << interval;
    }
}

TEST(StreamWriterTest, BottomUpPicturesAreTurnedTheRightWayUp) {
    // 3 x 2 picture, rows padded to 12 bytes; bottom row first.
    const uint8_t bmp[24] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0, 10, 11, 12, 13, 14, 15, 16, 17, 18, 0, 0, 0};
    MemorySink sink;
    StreamWriter writer;
    ASSERT_TRUE(writer.Begin(&sink, 3, 2));
    ASSERT_TRUE(writer.AddFrame(bmp, 12));
    ASSERT_TRUE(writer.End(StreamEnd::NoMarker));
    ReadResult r = ReadAll(sink.bytes);
    ASSERT_EQ(1u, r.pictures.size());
    // Five or more colours in the block: raw, so even the last column is exact.
    EXPECT_EQ((std::vector<uint32_t>{0x0C0B0A, 0x0F0E0D, 0x121110, 0x030201, 0x060504, 0x090807}),
              r.pictures[0]);
}

TEST(StreamReaderTest, IncrementalReadingMatchesWholeBufferReading) {
    const auto frames = SyntheticFrames(53, 37, 9, 99);
    Bytes s = WriteStream(53, 37, frames, StreamEnd::Marker);
    ReadResult whole = ReadAll(s);
    EXPECT_EQ(ReadStatus::End, whole.last);
    ASSERT_EQ(frames.size(), whole.pictures.size());
    for (size_t piece : {1u, 7u, 1000u}) {
        ReadResult inc = ReadAll(s, piece);
        EXPECT_EQ(ReadStatus::End, inc.last);
        EXPECT_EQ(whole.pictures, inc.pictures) << piece;
    }
    // And every picture is its source under the guard rule.
    GuardModel model(53, 37);
    auto offsets = RecordOffsets(s);
    ASSERT_EQ(frames.size(), offsets.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        if (BE32(s.data() + offsets[i]) != 0)
            model.Record(s.data() + offsets[i]);
        EXPECT_EQ("", model.Compare(frames[i].data(), whole.pictures[i].data())) << i;
    }
}

TEST(StreamReaderTest, StreamCutShortPlaysToItsLastCompleteRecord) {
    const auto frames = SyntheticFrames(40, 24, 6, 5);
    Bytes s = WriteStream(40, 24, frames, StreamEnd::NoMarker);
    auto offsets = RecordOffsets(s);
    ASSERT_GE(offsets.size(), 4u);
    ReadResult full = ReadAll(s);
    EXPECT_EQ(ReadStatus::End, full.last);
    EXPECT_FALSE(full.cut); // no end marker is not a cut
    EXPECT_EQ(frames.size(), full.pictures.size());

    Bytes cut(s.begin(), s.begin() + offsets[3] + 10); // inside record 3
    ReadResult r = ReadAll(cut);
    EXPECT_EQ(ReadStatus::End, r.last);
    EXPECT_TRUE(r.cut);
    ASSERT_EQ(3u, r.pictures.size());
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(full.pictures[i], r.pictures[i]);

    // Before Finish() the reader waits for more instead.
    StreamReader reader;
    reader.Append(cut.data(), cut.size());
    StreamRecord rec;
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(ReadStatus::Record, reader.Next(rec));
    EXPECT_EQ(ReadStatus::NeedMore, reader.Next(rec));
    reader.Append(s.data() + cut.size(), s.size() - cut.size());
    EXPECT_EQ(ReadStatus::Record, reader.Next(rec));
    EXPECT_EQ(3u, rec.index);
}

TEST(StreamReaderTest, ControlRecordsSetTheVersionOrAreSkipped) {
    std::vector<uint32_t> px(16 * 16, 0x102030);
    Bytes s = WriteStream(16, 16, {px}, StreamEnd::Marker);
    // Put a foreign control record (top byte 0x82) before the frame and change the version.
    Bytes t(s.begin(), s.begin() + 12);
    t.insert(t.end(), {0x82, 0x33, 0x00, 0x00, 0x81, 0x0A, 0x00, 0x00});
    t.insert(t.end(), s.begin() + 16, s.end());
    StreamReader reader;
    reader.Append(t.data(), t.size());
    reader.Finish();
    StreamRecord rec;
    ASSERT_EQ(ReadStatus::Record, reader.Next(rec));
    EXPECT_EQ(StreamRecord::Frame, rec.kind);
    EXPECT_FALSE(rec.rejected) << rec.error;
    EXPECT_EQ(10, reader.Version());
    EXPECT_EQ(0x102030u, reader.Picture()[0] & 0xFFFFFF);
    EXPECT_EQ(ReadStatus::End, reader.Next(rec));
    EXPECT_TRUE(reader.SawEndMarker());

    // Without a control record the stream is version 8.
    StreamReader old;
    Bytes u(s.begin(), s.begin() + 12);
    old.Append(u.data(), u.size());
    old.Finish();
    EXPECT_EQ(ReadStatus::End, old.Next(rec));
    EXPECT_EQ(8, old.Version());
}

TEST(StreamReaderTest, DamagedHeadersAndShortRecordLengthsStopReading) {
    std::vector<uint32_t> px(16 * 16, 0x102030);
    Bytes s = WriteStream(16, 16, {px}, StreamEnd::Marker);
    for (uint32_t len = 1; len <= 16; ++len) {
        Bytes t(s.begin(), s.begin() + 16);
        t.insert(t.end(), {0, 0, 0, uint8_t(len)});
        t.insert(t.end(), 40, 0);
        StreamReader reader;
        reader.Append(t.data(), t.size());
        reader.Finish();
        StreamRecord rec;
        EXPECT_EQ(ReadStatus::Damaged, reader.Next(rec)) << len;
    }
    auto headerOnly = [](Bytes h) {
        StreamReader reader;
        reader.Append(h.data(), h.size());
        reader.Finish();
        StreamRecord rec;
        return reader.Next(rec);
    };
    EXPECT_EQ(ReadStatus::Damaged, headerOnly({'X', 'V', '0', '1', 0, 16, 0, 16, 16, 16, 0, 100}));
    EXPECT_EQ(ReadStatus::Damaged, headerOnly({'Z', 'V', '0', '2', 0, 16, 0, 16, 16, 16, 0, 100}));
    EXPECT_EQ(ReadStatus::Damaged, headerOnly({'Z', 'V', '0', '1', 0xFF, 0xF0, 0, 16, 16, 16, 0, 100}));
    EXPECT_EQ(ReadStatus::Damaged, headerOnly({'Z', 'V', '0', '1', 0x20, 0x00, 0x08, 0x01, 16, 16, 0, 100}));
    EXPECT_EQ(ReadStatus::Damaged, headerOnly({'Z', 'V', '0', '1', 0, 16}));
    EXPECT_EQ(ReadStatus::End, headerOnly({'Z', 'V', '0', '1', 0, 16, 0, 16, 16, 16, 0, 100}));
}

// Committed sample streams, shared with the WebAssembly decoder's tests. Each stream is
// re-made here from its synthetic source: the encoder must give the same bytes, and the
// decoded pictures must match both the source (guard rule) and the checksum list.
TEST(StreamVectorsTest, SampleStreamsDecodeToTheirChecksums) {
    struct Vector {
        const char* name;
        uint32_t w, h;
        int frames;
        uint32_t seed;
    };
    const Vector vectors[] = {{"synthetic-53x37", 53, 37, 9, 99},
                              {"synthetic-100x60", 100, 60, 14, 2024},
                              {"synthetic-16x16", 16, 16, 5, 3}};
    const std::string dir = std::string(ZOV_SOURCE_DIR) + "/tests/codec/vectors/";
    const bool write = std::getenv("ZOV_WRITE_VECTORS") != nullptr;
    std::ostringstream sums;
    for (const Vector& v : vectors) {
        const auto frames = SyntheticFrames(v.w, v.h, v.frames, v.seed);
        Bytes made = WriteStream(v.w, v.h, frames, StreamEnd::Marker, 250);
        ReadResult r = ReadAll(made);
        ASSERT_EQ(frames.size(), r.pictures.size());
        GuardModel model(v.w, v.h);
        auto offsets = RecordOffsets(made);
        for (size_t i = 0; i < frames.size(); ++i) {
            if (BE32(made.data() + offsets[i]) != 0)
                model.Record(made.data() + offsets[i]);
            ASSERT_EQ("", model.Compare(frames[i].data(), r.pictures[i].data())) << v.name << " " << i;
            Bytes bgr;
            for (uint32_t p : r.pictures[i])
                bgr.insert(bgr.end(), {uint8_t(p), uint8_t(p >> 8), uint8_t(p >> 16)});
            char line[80];
            std::snprintf(line, sizeof line, "%s.zov %zu %08lx\n", v.name, i,
                          crc32(0, bgr.data(), uInt(bgr.size())));
            sums << line;
        }
        const std::string path = dir + v.name + ".zov";
        if (write) {
            std::ofstream(path, std::ios::binary)
                .write(reinterpret_cast<const char*>(made.data()), made.size());
        } else {
            std::ifstream in(path, std::ios::binary);
            ASSERT_TRUE(in) << path;
            Bytes stored((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            EXPECT_TRUE(stored == made) << v.name << ": the encoder no longer makes the committed bytes";
        }
    }
    const std::string sumsPath = dir + "checksums.txt";
    if (write) {
        std::ofstream(sumsPath) << sums.str();
    } else {
        std::ifstream in(sumsPath);
        ASSERT_TRUE(in);
        std::stringstream stored;
        stored << in.rdbuf();
        EXPECT_EQ(stored.str(), sums.str());
    }
}
