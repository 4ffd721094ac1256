// The stream file's container: the 12-byte file header, the 32-bit length field that starts
// every record and what its value means, and the 17 bytes that follow the length field of a
// frame record. All numbers are big-endian.
//
// Every reader and writer of stream files takes these rules from here; what a reader does
// about a value it cannot use (end the stream, fail one step and read on) is its own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/FrameDiffCodec.h"

namespace zov {

constexpr size_t kStreamHeaderBytes = 12;
// After the length field of a frame record: cursor x (2), cursor y (2), cursor index (1) and
// the block, colour and pattern chunk sizes (4 each). The area chunk is the remainder.
constexpr uint32_t kFrameRecordHeaderBytes = 17;
constexpr uint32_t kStreamEndMarker = 0xFFFFFFFFu;
// The control record every writer puts right after the header: stream version 9.
constexpr uint32_t kControlRecordVersion9 = 0x81090000u;
// Without a control record a stream is version 8.
constexpr uint8_t kDefaultStreamVersion = 8;

inline uint32_t ReadBE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

struct StreamHeader {
    char magic[4] = {0, 0, 0, 0}; // "ZV01"
    int width = 0;                // read as signed 16-bit; must be > 0
    int height = 0;
    int blockSize = 16;       // byte 8, used for both block width and height (0 = 32)
    int blockHeightByte = 16; // byte 9, kept for reports only
    int interval = 0;         // ms, signed 16-bit as stored
};

enum class StreamHeaderCheck {
    Ok,
    NotStream,   // no "ZV" at the start
    OtherFormat, // "ZV" but not "01": another format's records, not to be read
    BadSize,     // width or height not above 0
};

// Reads the 12 header bytes into `header` (filled whatever the answer) and checks them.
StreamHeaderCheck ReadStreamHeader(const uint8_t* bytes, StreamHeader& header);

// The 12-byte header followed by the version 9 control record, as every writer starts.
void BuildStreamHeader(uint8_t out[16], uint16_t width, uint16_t height, uint16_t intervalMs);

// Frame intervals the players can play: 0 (a still picture) or 11..32767 ms. They read the
// field as signed 16 bits and take an interval of 1..10 ms for a still picture as well.
constexpr int kMinPlayedIntervalMs = 11;
constexpr int kMaxIntervalMs = 32767;
inline bool IsPlayableInterval(int ms) {
    return ms == 0 || (ms >= kMinPlayedIntervalMs && ms <= kMaxIntervalMs);
}
// The interval for frames `delayMs` apart (never a still picture): the delay brought into
// 11..32767 ms.
inline int StreamIntervalForDelay(int64_t delayMs) {
    return delayMs < kMinPlayedIntervalMs
               ? kMinPlayedIntervalMs
               : (delayMs > kMaxIntervalMs ? kMaxIntervalMs : static_cast<int>(delayMs));
}

// What a record's 32-bit length field L says.
enum class RecordClass {
    Unchanged, // 0: the previous picture stays one more frame interval
    Frame,     // 17 or more: L further bytes
    Control,   // top bit set (but not the end marker): no further bytes
    TooShort,  // 1..16: cannot hold a frame record
    End,       // FF FF FF FF
};

struct RecordLength {
    RecordClass kind = RecordClass::End;
    uint32_t value = 0; // L as read
    int version = -1;   // Control: the stream version it sets (top byte 0x81), else -1
};

RecordLength ClassifyRecordLength(uint32_t value);

struct FrameRecordHeader {
    uint16_t cursorX = 0, cursorY = 0;
    uint8_t cursorIndex = 0;
    uint32_t blockSize = 0, colourSize = 0, patternSize = 0;
};

// Reads the 17 bytes after the length field.
FrameRecordHeader ReadFrameRecordHeader(const uint8_t* bytes);
// Writes the length field (`length` = 17 + the four chunk sizes) and the 17 bytes after it.
void WriteFrameRecordHeader(uint8_t* out, uint32_t length, const FrameRecordHeader& header);

// The area chunk's size in a frame record of `length` bytes after its length field: what is
// left after the header and the other three chunks. False when they do not fit.
[[nodiscard]] bool AreaChunkSize(const FrameRecordHeader& header, uint32_t length, size_t& areaSize);

// Splits a frame record's bytes after its length field (`length` of them) into its header
// and its four chunks. False when the record is shorter than 17 bytes or its chunk sizes
// exceed it.
[[nodiscard]] bool SplitFrameRecord(const uint8_t* payload, size_t length, FrameRecordHeader& header,
                                    RecordChunks& chunks);

} // namespace zov
