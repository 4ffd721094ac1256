// Fuzz target: the stream reader and the decoder behind it.
// Byte 0 chooses the mode:
//  - even: the rest is a stream file, handed to the reader in pieces of varying size;
//  - odd:  a small picture size, then records whose four layers are given before
//          compression (deflated here), so the area-layer checks see well-formed zlib.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/FrameDiffCodec.h"
#include "codec/StreamReader.h"

namespace {

void FuzzStream(const uint8_t* data, size_t size) {
    if (size >= 8) {
        // Pictures beyond a quarter megapixel only cost the fuzzer time; the size limits
        // themselves are tested elsewhere.
        const int w = static_cast<int16_t>((data[4] << 8) | data[5]);
        const int h = static_cast<int16_t>((data[6] << 8) | data[7]);
        if (w > 0 && h > 0 && static_cast<int64_t>(w) * h > (1 << 18))
            return;
    }
    zov::StreamReader reader;
    size_t fed = 0, step = 1;
    zov::StreamRecord rec;
    for (int guard = 0; guard < 100000; ++guard) {
        zov::ReadStatus st = reader.Next(rec);
        if (st == zov::ReadStatus::NeedMore) {
            if (fed == size) {
                reader.Finish();
                continue;
            }
            size_t n = step < size - fed ? step : size - fed;
            reader.Append(data + fed, n);
            fed += n;
            step = step * 3 + 1;
            continue;
        }
        if (st != zov::ReadStatus::Record)
            break;
        if (rec.kind == zov::StreamRecord::Frame && reader.Picture()) {
            volatile uint32_t sink = reader.Picture()[0];
            (void)sink;
        }
    }
}

void FuzzLayers(const uint8_t* data, size_t size) {
    if (size < 3)
        return;
    const uint32_t w = 1 + data[0] % 64, h = 1 + data[1] % 64;
    const uint32_t block = (data[2] & 3) == 0 ? 0 : 4u << (data[2] & 3);
    data += 3;
    size -= 3;
    // Two decoders see the same records: one keeps its picture in one buffer (and so skips
    // re-marking blocks it knows are out of bounds), the other gets a fresh copy every time
    // (and so marks everything). Their pictures must agree word for word, flags included.
    zov::FrameDiffCodec codec, fresh;
    if (!codec.Init(zov::C_CODEC_DECODE, w, h, 24, block, block))
        return;
    if (!fresh.Init(zov::C_CODEC_DECODE, w, h, 24, block, block))
        __builtin_trap();
    codec.SetStreamVersion(9);
    fresh.SetStreamVersion(9);
    std::vector<uint32_t> image(static_cast<size_t>(w) * h, 0);
    std::vector<uint32_t> copies[2] = {image, image};
    int turn = 0;
    z_stream z[4];
    for (auto& s : z) {
        s = z_stream{};
        deflateInit(&s, Z_DEFAULT_COMPRESSION);
    }
    std::vector<uint8_t> out;
    while (size > 0) {
        std::vector<uint8_t> chunks[4];
        for (int i = 0; i < 4; ++i) {
            size_t n = 0;
            if (size >= 2) {
                n = ((data[0] << 8) | data[1]) % 4096;
                data += 2;
                size -= 2;
            } else {
                size = 0;
            }
            if (n > size)
                n = size;
            out.resize(n + n / 8 + 64);
            z[i].next_in = const_cast<Bytef*>(data);
            z[i].avail_in = static_cast<uInt>(n);
            z[i].next_out = out.data();
            z[i].avail_out = static_cast<uInt>(out.size());
            deflate(&z[i], Z_SYNC_FLUSH);
            chunks[i].assign(out.data(), out.data() + (out.size() - z[i].avail_out));
            data += n;
            size -= n;
        }
        zov::RecordChunks c;
        c.block = chunks[0].data();
        c.blockSize = chunks[0].size();
        c.colour = chunks[1].data();
        c.colourSize = chunks[1].size();
        c.pattern = chunks[2].data();
        c.patternSize = chunks[2].size();
        c.area = chunks[3].data();
        c.areaSize = chunks[3].size();
        const zov::DecodeStatus a = codec.DecodeRecord(c, image.data());
        copies[turn ^ 1] = copies[turn];
        turn ^= 1;
        const zov::DecodeStatus b = fresh.DecodeRecord(c, copies[turn].data());
        if (a != b || image != copies[turn])
            __builtin_trap();
    }
    for (auto& s : z)
        deflateEnd(&s);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    if (data[0] & 1)
        FuzzLayers(data + 1, size - 1);
    else
        FuzzStream(data + 1, size - 1);
    return 0;
}
