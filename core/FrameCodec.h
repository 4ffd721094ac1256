// Key and difference encoding of project frames. A key frame is the whole image through
// zlib compress(); a difference frame is the 96-byte blocks that changed since the image
// before it, stored raw, with one flag per block in the frame header.
// All functions are pure (no file, no document) and safe to call from any thread.
#pragma once

#include "core/ProjectRecords.h"

#include <cstddef>
#include <cstdint>

namespace zov {

// Blocks a difference frame carries for an image of imageSize bytes (size / 96, rounded down).
constexpr int32_t BlockCount(int32_t imageSize) {
    return imageSize / kBlockBytes;
}

// Compresses imageSize bytes of `current` into `out` (capacity outCapacity, normally the
// image size). Sets header.dataSize; block flags untouched. False on any zlib failure,
// including output that would not fit.
[[nodiscard]] bool EncodeKeyFrame(FrameHeader& header, const uint8_t* current, int32_t imageSize,
                                  uint8_t* out, size_t outCapacity);

// Compares block by block; sets the flags and header.dataSize and the signature, appends the
// changed blocks to `out` (capacity >= the image size). Refuses images over kMaxImageBytes.
[[nodiscard]] bool EncodeDiffFrame(FrameHeader& header, const uint8_t* previous, const uint8_t* current,
                                   int32_t imageSize, uint8_t* out);

// Inflates `dataSize` bytes into `image`. Succeeds only when exactly imageSize bytes come out.
[[nodiscard]] bool DecodeKeyFrame(const FrameHeader& header, const uint8_t* data, int32_t imageSize,
                                  uint8_t* image);

// Rebuilds `image` from the image before it and the stored blocks. `image` may be the same
// buffer as `previous` (decoding in place over the running image); otherwise the bytes after
// the last whole block are copied from `previous`, so the result never depends on what the
// output buffer held. False when the data holds fewer bytes than the flags ask for.
[[nodiscard]] bool DecodeDiffFrame(const FrameHeader& header, const uint8_t* previous, const uint8_t* data,
                                   int32_t imageSize, uint8_t* image);

} // namespace zov
