// The area coder inside FrameDiffCodec (not used directly by callers): it turns the
// region-coded blocks of a work image into areas (seed, colour, shape bits or pattern id)
// and back, and owns the four zlib streams and the pattern table.
//
// Work-image words carry the colour in the low 24 bits and these flags in the top byte.
#pragma once

#include <cstddef>
#include <cstdint>
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
    // Codes the work image (colour | flags words, EXCLUDED outside region blocks) into the
    // colour, pattern and area streams, appending their output at out[pos..capacity).
    // False (nothing written, streams untouched) when the frame would break a record limit;
    // the caller then sends its blocks raw.
    bool EncodeAreas(uint32_t* work, uint8_t* out, size_t capacity, size_t& pos);
    // Deflates `size` bytes with one Z_SYNC_FLUSH call into out[pos..capacity).
    void Deflate(ZStream s, const uint8_t* data, size_t size, uint8_t* out, size_t capacity, size_t& pos);

    // ---- decode (AreaDecode.cpp) ----
    // Inflates up to `size` bytes; returns the bytes produced.
    size_t Inflate(ZStream s, uint8_t* dst, size_t size);
    // Reads the area layer into the per-record tables without touching any image; false
    // with `error` set when the record breaks a limit or a chunk is short.
    bool ReadAreas(bool colourChunkEmpty, std::string& error);
    // Paints the areas read by ReadAreas over the image (block fill already done).
    void PaintAreas(uint32_t* image);

    PatternTable patterns;

private:
    struct Area {
        uint16_t x, y;
        uint32_t colour;
        uint16_t pattern;
        uint32_t length;
        size_t shapeOffset; // bit offset in the shape pool
    };
    // Encoder trace; returns bits written into m_shape from bit 0.
    uint32_t Trace(uint32_t* img, uint32_t seed, uint32_t stopMask);
    // Shape walk shared by the decoder's paint and the encoder's undo pass.
    void Walk(uint32_t* img, uint32_t seed, uint32_t colourFlag, uint32_t markFlag, uint32_t stopMask,
              const uint8_t* shape, uint32_t startBit, uint32_t length);

    int m_mode = 0;
    uint32_t m_width = 0, m_height = 0;
    size_t m_pixels = 0;
    int32_t m_offsets[8] = {};
    z_stream m_z[4] = {};
    bool m_zInit[4] = {false, false, false, false};

    std::vector<Area> m_areas;
    std::vector<uint8_t> m_shapePool; // shape bits, areas' own shapes (and new patterns)
    std::vector<uint8_t> m_shape;     // scratch for one trace
    std::vector<uint32_t> m_queued;
    std::vector<uint32_t> m_stack;
    std::vector<uint8_t> m_stackDir;
    // decoder per-record
    std::vector<uint32_t> m_newPatternLengths;
    std::vector<uint8_t> m_colours;
    std::vector<uint8_t> m_patternIds;
    uint32_t m_count = 0, m_patternCount = 0;
    bool m_haveAreas = false;
    // encoder per-frame
    std::vector<uint32_t> m_newPatterns; // indices of areas whose shape is a new pattern
    BitBuffer m_layer;
    std::vector<uint8_t> m_layerBytes;
};

} // namespace zov
