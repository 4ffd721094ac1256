#include "codec/StreamContainer.h"

#include <cstring>

namespace zov {

namespace {
int SignedBE16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>((p[0] << 8) | p[1]));
}
} // namespace

StreamHeaderCheck ReadStreamHeader(const uint8_t* h, StreamHeader& header) {
    std::memcpy(header.magic, h, 4);
    header.width = SignedBE16(h + 4);
    header.height = SignedBE16(h + 6);
    header.blockSize = h[8];
    header.blockHeightByte = h[9];
    header.interval = SignedBE16(h + 10);
    if (h[0] != 'Z' || h[1] != 'V')
        return StreamHeaderCheck::NotStream;
    if (h[2] != '0' || h[3] != '1')
        return StreamHeaderCheck::OtherFormat;
    if (header.width <= 0 || header.height <= 0)
        return StreamHeaderCheck::BadSize;
    return StreamHeaderCheck::Ok;
}

void BuildStreamHeader(uint8_t out[16], uint16_t width, uint16_t height, uint16_t intervalMs) {
    const uint8_t header[16] = {'Z',
                                'V',
                                '0',
                                '1',
                                static_cast<uint8_t>(width >> 8),
                                static_cast<uint8_t>(width),
                                static_cast<uint8_t>(height >> 8),
                                static_cast<uint8_t>(height),
                                0x10,
                                0x10,
                                static_cast<uint8_t>(intervalMs >> 8),
                                static_cast<uint8_t>(intervalMs),
                                static_cast<uint8_t>(kControlRecordVersion9 >> 24),
                                static_cast<uint8_t>(kControlRecordVersion9 >> 16),
                                static_cast<uint8_t>(kControlRecordVersion9 >> 8),
                                static_cast<uint8_t>(kControlRecordVersion9)};
    std::memcpy(out, header, 16);
}

RecordLength ClassifyRecordLength(uint32_t value) {
    RecordLength r;
    r.value = value;
    if (value == kStreamEndMarker)
        r.kind = RecordClass::End;
    else if (value == 0)
        r.kind = RecordClass::Unchanged;
    else if (value & 0x80000000u) {
        r.kind = RecordClass::Control;
        if ((value >> 24) == 0x81)
            r.version = static_cast<int>((value >> 16) & 0x7F);
    } else if (value < kFrameRecordHeaderBytes)
        r.kind = RecordClass::TooShort;
    else
        r.kind = RecordClass::Frame;
    return r;
}

FrameRecordHeader ReadFrameRecordHeader(const uint8_t* p) {
    FrameRecordHeader h;
    h.cursorX = static_cast<uint16_t>((p[0] << 8) | p[1]);
    h.cursorY = static_cast<uint16_t>((p[2] << 8) | p[3]);
    h.cursorIndex = p[4];
    h.blockSize = ReadBE32(p + 5);
    h.colourSize = ReadBE32(p + 9);
    h.patternSize = ReadBE32(p + 13);
    return h;
}

void WriteFrameRecordHeader(uint8_t* out, uint32_t length, const FrameRecordHeader& h) {
    auto put32 = [](uint8_t* p, uint32_t v) {
        p[0] = static_cast<uint8_t>(v >> 24);
        p[1] = static_cast<uint8_t>(v >> 16);
        p[2] = static_cast<uint8_t>(v >> 8);
        p[3] = static_cast<uint8_t>(v);
    };
    put32(out, length);
    out[4] = static_cast<uint8_t>(h.cursorX >> 8);
    out[5] = static_cast<uint8_t>(h.cursorX);
    out[6] = static_cast<uint8_t>(h.cursorY >> 8);
    out[7] = static_cast<uint8_t>(h.cursorY);
    out[8] = h.cursorIndex;
    put32(out + 9, h.blockSize);
    put32(out + 13, h.colourSize);
    put32(out + 17, h.patternSize);
}

bool AreaChunkSize(const FrameRecordHeader& h, uint32_t length, size_t& areaSize) {
    if (length < kFrameRecordHeaderBytes)
        return false;
    const uint64_t body = length - kFrameRecordHeaderBytes;
    const uint64_t sized = static_cast<uint64_t>(h.blockSize) + h.colourSize + h.patternSize;
    if (sized > body)
        return false;
    areaSize = static_cast<size_t>(body - sized);
    return true;
}

bool SplitFrameRecord(const uint8_t* payload, size_t length, FrameRecordHeader& header, RecordChunks& c) {
    if (!payload || length < kFrameRecordHeaderBytes || length > UINT32_MAX)
        return false;
    header = ReadFrameRecordHeader(payload);
    size_t areaSize = 0;
    if (!AreaChunkSize(header, static_cast<uint32_t>(length), areaSize))
        return false;
    const uint8_t* q = payload + kFrameRecordHeaderBytes;
    c.block = q;
    c.blockSize = header.blockSize;
    c.colour = c.block + header.blockSize;
    c.colourSize = header.colourSize;
    c.pattern = c.colour + header.colourSize;
    c.patternSize = header.patternSize;
    c.area = c.pattern + header.patternSize;
    c.areaSize = areaSize;
    return true;
}

} // namespace zov
