// The stream codec: frames of screen content coded against their predecessor as changed
// 16 x 16 blocks, raw or region-coded, through four zlib streams that last the whole stream.
//
// One object per stream, in one of two modes:
//  - encode: EncodeFrame() turns each picture into one frame record (header + four chunks);
//  - decode: DecodeRecord() applies one record's chunks to the caller's image.
// A stream can only be decoded from its first record on, in order.
//
// Pixel layout, both ways: 32-bit words, colour 0x00RRGGBB (blue in the lowest byte), rows
// top-down, width words a row, no padding.
//  - Encoder input: the top byte of every word must be 0.
//  - Decoder output: the caller's image keeps the colour in the low 24 bits; the top byte
//    holds codec flags that every consumer must ignore (mask with 0x00FFFFFF).
//
// Not thread-safe: one thread uses one codec. No file system, no threads, no platform
// headers: the decoder sources also build to WebAssembly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/BitBuffer.h"

namespace zov {

class AreaCodec;

constexpr int C_CODEC_DECODE = 0;
constexpr int C_CODEC_ENCODE = 1;

// A picture larger than this (width x height x 4 bytes) is refused by both modes.
constexpr uint64_t kMaxCodecPictureBytes = 64ull * 1024 * 1024;
// The record header that precedes the four chunks: length (4), cursor x (2), cursor y (2),
// cursor index (1), block, colour and pattern chunk sizes (4 each). Big-endian.
constexpr size_t kRecordHeaderBytes = 21;

// Where a record's four chunks lie (block, colour, pattern, area), as the stream reader
// splits them.
struct RecordChunks {
    const uint8_t* block = nullptr;
    size_t blockSize = 0;
    const uint8_t* colour = nullptr;
    size_t colourSize = 0;
    const uint8_t* pattern = nullptr;
    size_t patternSize = 0;
    const uint8_t* area = nullptr;
    size_t areaSize = 0;
};

enum class DecodeStatus {
    Ok,       // the image now holds the record's picture
    Rejected, // the record broke a limit or its chunks were short; the image is unchanged
};

class FrameDiffCodec {
  public:
    FrameDiffCodec();
    ~FrameDiffCodec();
    FrameDiffCodec(const FrameDiffCodec&) = delete;
    FrameDiffCodec& operator=(const FrameDiffCodec&) = delete;

    // (Re)creates the codec for a stream: mode C_CODEC_ENCODE or C_CODEC_DECODE, picture size,
    // bits per pixel (24), block width and height (16 x 16 when left out, as the stream
    // writers use; a 0 argument means 32). Ends earlier zlib streams and empties the pattern
    // table. Returns false (codec unusable, LastError() says why) for a zero size or a side
    // over 65535, a picture over kMaxCodecPictureBytes, or a zlib failure.
    [[nodiscard]] bool Init(int mode, uint32_t width, uint32_t height, int bitsPerPixel = 24,
                            uint32_t blockWidth = 16, uint32_t blockHeight = 16);

    uint32_t Width() const { return m_width; }
    uint32_t Height() const { return m_height; }
    uint32_t BlockWidth() const { return m_blockW; }
    uint32_t BlockHeight() const { return m_blockH; }
    const std::string& LastError() const { return m_error; }

    // Diagnostics lines (timings); discarded unless a hook is set.
    using TraceHook = void (*)(void* user, const char* line);
    void SetTraceHook(TraceHook hook, void* user);

    // ---- encode mode ----

    // The largest record EncodeFrame can write for this picture size: an output buffer of
    // this many bytes never cuts a record.
    size_t MaxRecordBytes() const;
    // Encodes one picture (width x height words as above; width and height must be the
    // codec's). `size` is the output capacity in bytes on entry and the record's length in
    // bits on return (a multiple of 8). A frame equal to the previous one gives the 4 bytes
    // 00 00 00 00. Cursor fields are stored in the record header only. Returns 0; a wrong
    // size or mode returns -1 and writes nothing.
    int EncodeFrame(const uint32_t* pixels, uint32_t width, uint32_t height, uint8_t* out, uint32_t& size,
                    uint16_t cursorX, uint16_t cursorY, uint8_t cursorIndex);
    // Bytes the pattern table holds for its cached shapes (both modes).
    size_t PatternBytes() const;

    // ---- decode mode ----

    // The stream version from the control record (8 when there is none). From version 9 on a
    // record without areas still carries the background colour.
    void SetStreamVersion(uint8_t version);
    uint8_t StreamVersion() const;
    // Applies one record to `image` (width x height words, kept by the caller from record to
    // record; zero it before the first record). On Rejected the image is left as it was and
    // LastError() names the broken limit. Read the image freely between records but do not
    // write to it (not even to clear the flag byte): the decoder remembers which blocks of
    // this buffer it has already marked. Handing it a different buffer is fine (it then
    // marks them all again).
    DecodeStatus DecodeRecord(const RecordChunks& chunks, uint32_t* image);
    // The same from a frame record's bytes after its 4-byte length field (`length` bytes:
    // cursor fields, three chunk sizes, then the chunks). Rejects a payload shorter than 17
    // bytes or chunk sizes beyond it.
    DecodeStatus DecodePayload(const uint8_t* payload, size_t length, uint32_t* image);

  private:
    struct Impl;
    int EncodeImpl(const uint32_t* pixels, uint8_t* out, uint32_t capacity, uint32_t& bits, uint16_t cx,
                   uint16_t cy, uint8_t ci);
    // The steps of one encoded frame (FrameDiffEncode.cpp), in the order EncodeImpl runs them.
    bool CompareBlocks(const uint32_t* pixels);
    bool ClassifyBlocks(const uint32_t* pixels);
    void ChooseBackground();
    bool TraceAreas(const uint32_t* pixels, uint32_t previousBackground);
    void WriteBlockLayer(uint8_t* out, size_t capacity, size_t& pos);
    void WriteAreaLayer(bool areas, uint8_t* out, size_t capacity, size_t& pos);
    uint32_t WriteRecordHeader(uint8_t* out, const unsigned long before[4], uint16_t cx, uint16_t cy,
                               uint8_t ci);
    void AppendRawBlock(const uint32_t* pixels, uint32_t block);
    void Trace(const char* fmt, ...);

    int m_mode = -1;
    uint32_t m_width = 0, m_height = 0;
    uint32_t m_blockW = 32, m_blockH = 32;
    uint32_t m_blocksX = 0, m_blocksY = 0, m_blocks = 0;
    std::string m_error;
    TraceHook m_hook = nullptr;
    void* m_hookUser = nullptr;
    std::unique_ptr<AreaCodec> m_area;
    std::unique_ptr<Impl> m_impl; // mode-specific buffers
};

} // namespace zov
