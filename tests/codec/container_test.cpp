// The stream container's rules that both readers share: the file header, what a record's
// length field means, and the split of a frame record into its header and chunks.
#include <gtest/gtest.h>

#include "codec/StreamContainer.h"
#include "tests/codec/CodecTestUtil.h"

using namespace zov;
using namespace zov::test;

TEST(StreamContainerTest, RecordLengthFieldClasses) {
    struct Case {
        uint32_t value;
        RecordClass kind;
        int version;
    };
    const Case cases[] = {
        {0x00000000u, RecordClass::Unchanged, -1},
        {0x00000001u, RecordClass::TooShort, -1},
        {0x00000003u, RecordClass::TooShort, -1},
        {0x00000004u, RecordClass::TooShort, -1},
        {0x00000010u, RecordClass::TooShort, -1},
        {0x00000011u, RecordClass::Frame, -1},
        {0x7FFFFFFFu, RecordClass::Frame, -1},
        {0x80000000u, RecordClass::Control, -1},
        {0x81090000u, RecordClass::Control, 9},
        {0x81080000u, RecordClass::Control, 8},
        // Bits 16..22 only: bit 23 is not part of the version, the low 16 bits are ignored.
        {0x81FF1234u, RecordClass::Control, 127},
        {0x82090000u, RecordClass::Control, -1},
        {0xFFFFFFFEu, RecordClass::Control, -1},
        {0xFFFFFFFFu, RecordClass::End, -1},
    };
    for (const Case& c : cases) {
        const RecordLength r = ClassifyRecordLength(c.value);
        EXPECT_EQ(c.kind, r.kind) << std::hex << c.value;
        EXPECT_EQ(c.version, r.version) << std::hex << c.value;
        EXPECT_EQ(c.value, r.value);
    }
    const uint8_t field[4] = {0x81, 0x09, 0x00, 0x00};
    EXPECT_EQ(kControlRecordVersion9, ReadBE32(field));
}

TEST(StreamContainerTest, HeaderFieldsAreSignedBigEndianAndChecked) {
    const uint8_t good[12] = {'Z', 'V', '0', '1', 0x01, 0x40, 0x00, 0xF0, 16, 17, 0x80, 0x00};
    StreamHeader h;
    ASSERT_EQ(StreamHeaderCheck::Ok, ReadStreamHeader(good, h));
    EXPECT_EQ(320, h.width);
    EXPECT_EQ(240, h.height);
    EXPECT_EQ(16, h.blockSize);
    EXPECT_EQ(17, h.blockHeightByte);
    EXPECT_EQ(-32768, h.interval);

    uint8_t bad[12];
    std::memcpy(bad, good, 12);
    bad[0] = 'z';
    EXPECT_EQ(StreamHeaderCheck::NotStream, ReadStreamHeader(bad, h));
    std::memcpy(bad, good, 12);
    bad[3] = '2';
    EXPECT_EQ(StreamHeaderCheck::OtherFormat, ReadStreamHeader(bad, h));
    EXPECT_EQ(0, std::memcmp(h.magic, "ZV02", 4));
    std::memcpy(bad, good, 12);
    bad[4] = 0x80; // width -32448
    EXPECT_EQ(StreamHeaderCheck::BadSize, ReadStreamHeader(bad, h));
    std::memcpy(bad, good, 12);
    bad[6] = bad[7] = 0;
    EXPECT_EQ(StreamHeaderCheck::BadSize, ReadStreamHeader(bad, h));

    // What the writers put first reads back as what they were given.
    uint8_t written[16];
    BuildStreamHeader(written, 640, 480, 100);
    const Bytes expected = {'Z',  'V',  '0',  '1',  0x02, 0x80, 0x01, 0xE0,
                            0x10, 0x10, 0x00, 0x64, 0x81, 0x09, 0,    0};
    EXPECT_EQ(expected, Bytes(written, written + 16));
}

TEST(StreamContainerTest, FrameRecordSplitsIntoHeaderAndFourChunks) {
    // Cursor 0x0102, 0x0304, index 5; chunk sizes 2, 0, 1; 3 bytes left for the area chunk.
    Bytes payload = {0x01, 0x02, 0x03, 0x04, 0x05, 0,    0,    0,    2,    0,    0,   0,
                     0,    0,    0,    0,    1,    0xA0, 0xA1, 0xC0, 0xD0, 0xD1, 0xD2};
    FrameRecordHeader h;
    RecordChunks c;
    ASSERT_TRUE(SplitFrameRecord(payload.data(), payload.size(), h, c));
    EXPECT_EQ(0x0102, h.cursorX);
    EXPECT_EQ(0x0304, h.cursorY);
    EXPECT_EQ(5, h.cursorIndex);
    EXPECT_EQ(payload.data() + 17, c.block);
    EXPECT_EQ(2u, c.blockSize);
    EXPECT_EQ(0u, c.colourSize);
    EXPECT_EQ(payload.data() + 19, c.pattern);
    EXPECT_EQ(1u, c.patternSize);
    EXPECT_EQ(payload.data() + 20, c.area);
    EXPECT_EQ(3u, c.areaSize);

    // Chunk sizes that take the whole record leave an empty area chunk; one byte more fails.
    payload[16] = 4;
    ASSERT_TRUE(SplitFrameRecord(payload.data(), payload.size(), h, c));
    EXPECT_EQ(0u, c.areaSize);
    payload[16] = 5;
    EXPECT_FALSE(SplitFrameRecord(payload.data(), payload.size(), h, c));
    size_t area = 99;
    EXPECT_FALSE(AreaChunkSize(ReadFrameRecordHeader(payload.data()), uint32_t(payload.size()), area));
    // Sizes whose sum wraps 32 bits must not pass as small.
    for (int i = 5; i < 17; ++i)
        payload[i] = 0xFF;
    EXPECT_FALSE(SplitFrameRecord(payload.data(), payload.size(), h, c));
    EXPECT_FALSE(SplitFrameRecord(payload.data(), 16, h, c));
    EXPECT_FALSE(SplitFrameRecord(nullptr, payload.size(), h, c));
}
