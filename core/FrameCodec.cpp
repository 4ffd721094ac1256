#include "core/FrameCodec.h"

#include <cstring>
#include <zlib.h>

namespace zov {

bool EncodeKeyFrame(FrameHeader& header, const uint8_t* current, int32_t imageSize, uint8_t* out,
                    size_t outCapacity) {
    if (!current || !out || imageSize <= 0)
        return false;
    uLongf destLen = static_cast<uLongf>(outCapacity);
    if (compress(out, &destLen, current, static_cast<uLong>(imageSize)) != Z_OK)
        return false;
    header.dataSize = static_cast<int32_t>(destLen);
    return true;
}

bool EncodeDiffFrame(FrameHeader& header, const uint8_t* previous, const uint8_t* current, int32_t imageSize,
                     uint8_t* out) {
    if (!previous || !current || !out || imageSize <= 0 || imageSize > kMaxImageBytes)
        return false;
    std::memcpy(header.sign, "SIGN", 4);
    int32_t size = 0;
    const int32_t blocks = BlockCount(imageSize);
    for (int32_t i = 0; i < blocks; ++i) {
        const size_t at = static_cast<size_t>(i) * kBlockBytes;
        if (std::memcmp(current + at, previous + at, kBlockBytes) == 0) {
            header.blockFlags[i] = 1;
        } else {
            header.blockFlags[i] = 0;
            std::memcpy(out + size, current + at, kBlockBytes);
            size += kBlockBytes;
        }
    }
    header.dataSize = size;
    return true;
}

bool DecodeKeyFrame(const FrameHeader& header, const uint8_t* data, int32_t imageSize, uint8_t* image) {
    if (!data || !image || imageSize <= 0 || header.dataSize <= 0)
        return false;
    uLongf destLen = static_cast<uLongf>(imageSize);
    if (uncompress(image, &destLen, data, static_cast<uLong>(header.dataSize)) != Z_OK)
        return false;
    // A stream that ends early leaves the rest of the picture undefined: a failure.
    return destLen == static_cast<uLongf>(imageSize);
}

bool DecodeDiffFrame(const FrameHeader& header, const uint8_t* previous, const uint8_t* data,
                     int32_t imageSize, uint8_t* image) {
    if (!previous || !image || imageSize <= 0 || imageSize > kMaxImageBytes || header.dataSize < 0)
        return false;
    const int32_t blocks = BlockCount(imageSize);
    int64_t needed = 0;
    for (int32_t i = 0; i < blocks; ++i)
        if (header.blockFlags[i] == 0)
            needed += kBlockBytes;
    if (needed > header.dataSize || (needed > 0 && !data))
        return false;
    size_t read = 0;
    for (int32_t i = 0; i < blocks; ++i) {
        const size_t at = static_cast<size_t>(i) * kBlockBytes;
        if (header.blockFlags[i] == 0) {
            std::memmove(image + at, data + read, kBlockBytes);
            read += kBlockBytes;
        } else if (image != previous) {
            std::memcpy(image + at, previous + at, kBlockBytes);
        }
    }
    // The tail no difference frame carries keeps the running picture's bytes.
    const size_t tail = static_cast<size_t>(blocks) * kBlockBytes;
    if (image != previous && tail < static_cast<size_t>(imageSize))
        std::memcpy(image + tail, previous + tail, static_cast<size_t>(imageSize) - tail);
    return true;
}

} // namespace zov
