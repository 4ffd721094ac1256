// The area coder inside FrameDiffCodec (not used directly by callers): it turns the
// region-coded blocks of a work image into areas (seed, colour, shape bits or pattern id)
// and back, and owns the four zlib streams and the pattern table.
//
// Work-image words carry the colour in the low 24 bits and these flags in the top byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <zlib.h>

#include "codec/BitBuffer.h"
#include "codec/PatternTable.h"

namespace zov {

constexpr uint32_t VISITED = 0x01000000u;  // traced (encoder) or painted (decoder)
constexpr uint32_t QUEUED = 0x02000000u;   // met as a different-colour neighbour this trace
constexpr uint32_t EXCLUDED = 0x04000000u; // unchanged or raw block, or the guard column
constexpr uint32_t ADDED = 0x08000000u;    // added by a shape walk (re-reading a shape)
constexpr uint32_t kColourMask = 0x00FFFFFFu;

// Stream order inside the object; a record carries them as block, colour, pattern, area.
enum ZStream { kColourStream = 0, kPatternStream = 1, kAreaStream = 2, kBlockStream = 3 };

// Encoder record limits, chosen so that every record it writes passes the decoder's checks.
constexpr uint32_t kMaxRecordAreas = 65535;
constexpr uint32_t kMaxNewPatternsEncode = 10000;
constexpr uint32_t kMaxNewPatternsDecode = 22500;
// Areas a decoder's table holds for a picture of `pixels` pixels.
inline uint32_t DecoderAreaCapacity(uint64_t pixels) {
    uint64_t n = pixels / 20;
    return static_cast<uint32_t>(n < 100 ? 100 : n);
}

class AreaCodec {
  public:
    AreaCodec();
    ~AreaCodec();
    AreaCodec(const AreaCodec&) = delete;
    AreaCodec& operator=(const AreaCodec&) = delete;

    // mode 1 deflate, 2 inflate. Ends earlier streams and empties the pattern table.
    bool Init(int mode, uint32_t width, uint32_t height);
    void End();

    z_stream& Stream(ZStream s) { return m_z[s]; }
    uint32_t background = 0;
    uint8_t version = 8;

    // ---- encode (AreaEncode.cpp) ----
    // Where the region-coded blocks lie, for the scan.
    struct Blocks {
        const uint8_t* regionBits; // one bit a block, block order
        uint32_t blocksX, blocksY, blockW, blockH;
    };
    // Traces the areas of the work image (colour | flags words, EXCLUDED outside region
    // blocks; the guard column is set here) and builds the frame's colour, pattern and area
    // layers in memory. False when the frame would break a record limit (too many areas or
    // pattern areas, a shape too long for a length code): patterns registered meanwhile are
    // taken back and the caller sends the blocks raw.
    bool ScanAreas(uint32_t* work, const Blocks& blocks);
    // Deflates the layers ScanAreas built (or, with no areas, the background alone) into
    // out[pos..capacity), one Z_SYNC_FLUSH call per layer.
    void EmitAreas(uint8_t* out, size_t capacity, size_t& pos);
    void EmitBackgroundOnly(uint8_t* out, size_t capacity, size_t& pos);
    // Deflates `size` bytes with one Z_SYNC_FLUSH call into out[pos..capacity).
    void Deflate(ZStream s, const uint8_t* data, size_t size, uint8_t* out, size_t capacity, size_t& pos);
    uint32_t AreaCount() const { return static_cast<uint32_t>(m_eAreas.size()); }
    uint32_t NewPatternCount() const { return static_cast<uint32_t>(m_newPatterns.size()); }
    // The layers of the last ScanAreas, before compression (for tests and reports).
    const std::vector<uint8_t>& ColourLayer() const { return m_colourLayer; }
    const std::vector<uint8_t>& PatternLayer() const { return m_patternLayer; }
    const std::vector<uint8_t>& AreaLayer() const { return m_areaLayer; }

    // ---- decode (AreaDecode.cpp) ----
    // Inflates up to `size` bytes (a valid destination even for 0); returns the bytes made.
    size_t Inflate(ZStream s, uint8_t* dst, size_t size);
    // Reads the record's area layer into per-record tables without touching the image or
    // the pattern table; false with `error` set when the record breaks a limit or a chunk
    // is short. `hasAreas` = the colour chunk is not empty.
    bool ReadAreas(bool hasAreas, std::string& error);
    // After ReadAreas succeeded and the block fill is done: registers the new patterns and
    // paints the areas over the image.
    void PaintAreas(uint32_t* image);
    // Seeds PaintAreas painted over EXCLUDED pixels (only a hand-made record has them).
    const std::vector<uint32_t>& StraySeeds() const { return m_straySeeds; }
    // The background colour the record read (valid after ReadAreas).
    uint32_t RecordBackground() const { return m_dBackground; }

    PatternTable patterns;
    // Where trace lines go (set by FrameDiffCodec).
    void (*traceHook)(void* user, const char* line) = nullptr;
    void* traceUser = nullptr;

  private:
    struct EArea {
        uint16_t x, y;
        uint32_t colour;
        uint16_t pattern; // 0 = own shape
        uint32_t length;  // shape bits
        size_t offset;    // byte offset of the own shape in its pool
        size_t pixelsAt;  // own shapes: where the first pass's pixels start in m_areaPixels
        size_t pixelCount;
    };
    struct DArea {
        uint16_t x, y;
        uint32_t colour;
        uint16_t pattern;
        uint32_t length;
        size_t bitOffset; // in the record's shape buffer
    };

    // Encoder trace from `seed`; the shape lands in m_shape from bit 0; returns its trimmed
    // length in bits. The area's pixels (seed first) are appended to `pixelsOut` if given.
    uint32_t Trace(uint32_t* img, uint32_t seed, uint32_t stopMask, std::vector<uint32_t>* pixelsOut);
    // Decoder paint: seed, then the shape walk.
    void Paint(uint32_t* img, uint32_t seed, uint32_t colour, const uint8_t* shape, uint32_t startBit,
               uint32_t length, uint32_t stopMask);
    void TraceLine(const char* text);

    int m_mode = 0;
    uint32_t m_width = 0, m_height = 0;
    size_t m_pixels = 0;
    int64_t m_offsets[8] = {};
    z_stream m_z[4] = {};
    bool m_zInit[4] = {false, false, false, false};

    // walk scratch, sized once from the picture
    // (never read before written, so left uninitialised)
    std::unique_ptr<uint8_t[]> m_shape;
    std::vector<uint32_t> m_queued;
    std::unique_ptr<uint32_t[]> m_stack;
    std::unique_ptr<uint8_t[]> m_stackDir;

    // encoder, per frame
    std::vector<EArea> m_eAreas;
    std::vector<uint8_t> m_pool;         // first-pass own shapes and new patterns
    std::vector<uint8_t> m_pool2;        // second-pass shapes
    std::vector<uint32_t> m_areaPixels;  // first-pass pixels of own shapes
    std::vector<uint32_t> m_newPatterns; // area indices whose shape became a new pattern
    std::vector<uint8_t> m_colourLayer, m_patternLayer, m_areaLayer;
    bool m_haveLayers = false;

    // decoder, per record
    std::vector<DArea> m_dAreas;
    std::vector<uint32_t> m_newLengths;
    std::vector<uint8_t> m_areaBytes; // the area chunk, inflated
    size_t m_shapeStart = 0;          // where the shape bytes begin in m_areaBytes
    std::vector<uint8_t> m_colourBytes, m_patternBytes;
    uint32_t m_dCount = 0, m_dPatternCount = 0;
    uint32_t m_dBackground = 0;
    std::vector<uint32_t> m_straySeeds;
};

} // namespace zov
