// The records of the project file (".scp") exactly as they lie on disk, little-endian, plus
// the constants every reader and writer of it shares. The structs are read and written
// with memcpy on this little-endian host; the static_asserts keep their layouts honest.
#pragma once

#include "base/Bitmap.h"
#include "base/Pacing.h"

#include <bit>
#include <cstddef>
#include <cstdint>

namespace zov {

static_assert(std::endian::native == std::endian::little, "project records are stored as little-endian");

// Document modes.
enum DocMode : int32_t { DOC_PROJECT = 0, DOC_STREAM = 1, DOC_NONE = 2 };

// Frame kinds stored in the frame table.
enum FrameKind : int32_t { FRAME_KEY = 0, FRAME_DIFF = 1 };

constexpr char kProjectMagic[4] = {'V', 'O', 'K', 'A'};
constexpr uint32_t kProjectVersion = 0x20031211;       // written by this program
constexpr uint32_t kOldestProjectVersion = 0x20021030; // older files are refused
constexpr int32_t kProjectHeaderSize = 148;
constexpr int32_t kFrameHeaderSize = 24616;
constexpr int32_t kBlockWidthPixels = 32;
constexpr int32_t kBlockBytes = 96;                          // 32 pixels of 3 bytes
constexpr int32_t kMaxBlocks = 24576;                        // block flags in a frame header
constexpr int32_t kMaxImageBytes = kMaxBlocks * kBlockBytes; // 2,359,296 = 1024 x 768 x 3
constexpr int64_t kMaxFileOffset = 0x7FFFFFFF;               // offsets are signed 32-bit
constexpr int32_t kDefaultKeyFrameInterval = 10;
constexpr int32_t kTable2RecordSize = 8;
constexpr int32_t kTable3RecordSize = 4;
constexpr int32_t kTable4RecordSize = 36;
constexpr const char* kSideFileName = "cursor.bin";

struct ProjectHeader {
    char magic[4];            // 0   "VOKA"
    uint32_t version;         // 4
    int32_t frameCount;       // 8
    int32_t table2Count;      // 12
    int32_t table3Count;      // 16
    int32_t table4Count;      // 20
    int32_t frameDelay;       // 24  milliseconds
    int32_t reserved28;       // 28
    int32_t blockWidth;       // 32  pixels per difference block (32)
    int32_t bitsPerPixel;     // 36  24
    int32_t captureLeft;      // 40  screen coordinates
    int32_t captureTop;       // 44
    int32_t captureRight;     // 48
    int32_t captureBottom;    // 52
    int32_t rowBytes;         // 56
    int32_t imageSize;        // 60  rowBytes x height
    uint8_t recordPointer;    // 64
    uint8_t pad65[3];         // 65
    int32_t keyFrameInterval; // 68
    int32_t frameDataEnd;     // 72  offset of the frame table
    char startTime[32];       // 76  "%04d-%02d-%02d %02d:%02d:%02d.%05d"
    BitmapInfoHeader bmi;     // 108
};
static_assert(sizeof(ProjectHeader) == 148);
static_assert(offsetof(ProjectHeader, recordPointer) == 64);
static_assert(offsetof(ProjectHeader, keyFrameInterval) == 68);
static_assert(offsetof(ProjectHeader, frameDataEnd) == 72);
static_assert(offsetof(ProjectHeader, startTime) == 76);
static_assert(offsetof(ProjectHeader, bmi) == 108);

struct FrameEntry {
    int32_t offset; // of the frame record in the file
    int32_t kind;   // FRAME_KEY or FRAME_DIFF
};
static_assert(sizeof(FrameEntry) == 8);

struct FrameHeader {
    char sign[4];                   // 0   "SIGN"
    int32_t reserved4;              // 4   -1
    int32_t dataSize;               // 8   bytes that follow this header
    int32_t reserved12;             // 12  -1
    int32_t reserved16;             // 16  0
    int32_t reserved20;             // 20  0
    int32_t pointerX;               // 24
    int32_t pointerY;               // 28
    int32_t pointerShape;           // 32  index in the 16 standard shapes, -1 for another
    uint8_t captured;               // 36  1 from the capture engine, 0 imported
    uint8_t blockFlags[kMaxBlocks]; // 37  1 = block unchanged (difference frames)
    uint8_t pad[3];                 // 24613
};
static_assert(sizeof(FrameHeader) == 24616);
static_assert(offsetof(FrameHeader, blockFlags) == 37);

// Opaque records of the further tables: carried, never interpreted.
struct Table2Record {
    uint8_t bytes[kTable2RecordSize];
};
struct Table3Record {
    uint8_t bytes[kTable3RecordSize];
};
struct Table4Record {
    uint8_t bytes[kTable4RecordSize];
};
static_assert(sizeof(Table2Record) == 8 && sizeof(Table3Record) == 4 && sizeof(Table4Record) == 36);

// Row bytes of a 24-bit image: width x 3 rounded up to 4.
constexpr int64_t RowBytes24(int64_t width) {
    return (width * 3 + 3) & ~int64_t(3);
}

// Fills a frame header the way every writer starts one: "SIGN", -1 at 4 and 12, zeros else.
void InitFrameHeader(FrameHeader& h, uint8_t captured);

// The start-time text "%04d-%02d-%02d %02d:%02d:%02d.%05d" of local time, zero-filled to 32.
void FormatStartTime(char (&out)[32], int64_t unixMilliseconds);

} // namespace zov
