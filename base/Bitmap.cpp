#include "base/Bitmap.h"

#include "base/BinFile.h"
#include "base/Log.h"
#include "base/Path.h"

#include <bit>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>

namespace zov {

namespace {
uint32_t U32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24);
}
uint16_t U16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
void Put32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
void Put16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
} // namespace

uint8_t MaskedChannel(uint32_t pixel, uint32_t mask) {
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const int width = std::popcount(mask);
    const uint32_t v = (pixel & mask) >> shift;
    if (width >= 8)
        return static_cast<uint8_t>(v >> (width - 8));
    return static_cast<uint8_t>(v << (8 - width));
}

bool DecodeBmp(const uint8_t* data, size_t size, Image24& out, std::string& error) {
    if (size < 54 || data[0] != 'B' || data[1] != 'M') {
        error = "not a BMP file";
        return false;
    }
    uint32_t pixelOffset = U32(data + 10);
    uint32_t infoSize = U32(data + 14);
    if (infoSize < 40 || 14ull + infoSize > size) {
        error = "unsupported BMP header";
        return false;
    }
    int32_t width = static_cast<int32_t>(U32(data + 18));
    int32_t rawHeight = static_cast<int32_t>(U32(data + 22));
    uint16_t bpp = U16(data + 28);
    uint32_t compression = U32(data + 30);
    uint32_t colorsUsed = U32(data + 46);
    bool topDown = rawHeight < 0;
    int64_t height = topDown ? -static_cast<int64_t>(rawHeight) : rawHeight;
    if (width <= 0 || height <= 0 || static_cast<int64_t>(width) * height > kMaxBmpPixels) {
        error = "BMP picture size out of range";
        return false;
    }
    if (compression != 0 && !(compression == 3 && (bpp == 16 || bpp == 32))) {
        error = "compressed BMP files are not supported";
        return false;
    }
    if (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) {
        error = "BMP bit depth " + std::to_string(bpp) + " is not supported";
        return false;
    }
    size_t srcRow = ((static_cast<size_t>(width) * bpp + 31) / 32) * 4;
    if (pixelOffset > size || srcRow * static_cast<size_t>(height) > size - pixelOffset) {
        error = "BMP file is cut short";
        return false;
    }
    // Bit fields: the red, green and blue masks follow the 40-byte header (and are its next
    // fields in the longer headers).
    const bool masked = compression == 3;
    uint32_t redMask = 0, greenMask = 0, blueMask = 0;
    if (masked) {
        if (14 + 40 + 12 > size) {
            error = "BMP bit-field masks are missing";
            return false;
        }
        redMask = U32(data + 54);
        greenMask = U32(data + 58);
        blueMask = U32(data + 62);
        if (redMask == 0 || greenMask == 0 || blueMask == 0) {
            error = "BMP bit-field masks are damaged";
            return false;
        }
    }
    uint8_t palette[256][3] = {};
    if (bpp == 8) {
        size_t entries = colorsUsed ? colorsUsed : 256;
        if (entries > 256 || 14 + infoSize + entries * 4 > size) {
            error = "BMP palette is damaged";
            return false;
        }
        for (size_t i = 0; i < entries; ++i)
            std::memcpy(palette[i], data + 14 + infoSize + i * 4, 3);
    }
    try {
        out.Allocate(width, static_cast<int>(height));
    } catch (const std::bad_alloc&) {
        ZOV_LOG("alloc memory fail");
        error =
            "not enough memory for a picture of " + std::to_string(width) + " x " + std::to_string(height);
        return false;
    }
    const int dstRow = out.RowBytes();
    for (int64_t row = 0; row < height; ++row) {
        // Stored row `row` is bottom-up unless the file says top-down.
        int64_t bottomUpRow = topDown ? height - 1 - row : row;
        const uint8_t* s = data + pixelOffset + static_cast<size_t>(row) * srcRow;
        uint8_t* d = out.bits.data() + static_cast<size_t>(bottomUpRow) * dstRow;
        if (masked) {
            for (int x = 0; x < width; ++x, d += 3) {
                const uint32_t v = bpp == 16 ? U16(s + 2 * x) : U32(s + 4 * x);
                d[0] = MaskedChannel(v, blueMask);
                d[1] = MaskedChannel(v, greenMask);
                d[2] = MaskedChannel(v, redMask);
            }
            continue;
        }
        for (int x = 0; x < width; ++x, d += 3) {
            switch (bpp) {
            case 8:
                std::memcpy(d, palette[s[x]], 3);
                break;
            case 16: {
                // 5-5-5, each channel widened by shifting left 3.
                uint16_t v = U16(s + 2 * x);
                d[0] = uint8_t((v & 0x1f) << 3);
                d[1] = uint8_t(((v >> 5) & 0x1f) << 3);
                d[2] = uint8_t(((v >> 10) & 0x1f) << 3);
                break;
            }
            case 24:
                std::memcpy(d, s + 3 * x, 3);
                break;
            case 32:
                std::memcpy(d, s + 4 * x, 3);
                break;
            }
        }
    }
    return true;
}

bool ReadBmp(const std::string& path, Image24& out, std::string& error) {
    std::string bytes;
    if (!ReadWholeFile(path, bytes)) {
        error = "cannot read \"" + path + "\"";
        return false;
    }
    if (!DecodeBmp(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), out, error)) {
        error = "\"" + path + "\": " + error;
        return false;
    }
    return true;
}

std::vector<uint8_t> EncodeBmp(const Image24& image) {
    const size_t imageBytes = static_cast<size_t>(image.RowBytes()) * static_cast<size_t>(image.height);
    std::vector<uint8_t> out(54 + imageBytes, 0);
    uint8_t* h = out.data();
    h[0] = 'B';
    h[1] = 'M';
    Put32(h + 2, static_cast<uint32_t>(out.size()));
    Put32(h + 10, 54);
    Put32(h + 14, 40);
    Put32(h + 18, static_cast<uint32_t>(image.width));
    Put32(h + 22, static_cast<uint32_t>(image.height));
    Put16(h + 26, 1);
    Put16(h + 28, 24);
    Put32(h + 34, static_cast<uint32_t>(imageBytes));
    if (!image.bits.empty())
        std::memcpy(h + 54, image.bits.data(), std::min(imageBytes, image.bits.size()));
    return out;
}

bool WriteBmp(const std::string& path, const Image24& image) {
    std::vector<uint8_t> bytes = EncodeBmp(image);
    std::FILE* f = std::fopen(path.c_str(), "wbe");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return (std::fclose(f) == 0) && ok;
}

std::string BmpSeriesName::Member(long n) const {
    char num[32];
    std::snprintf(num, sizeof num, "%0*ld", digits, n);
    return prefix + num + suffix;
}

bool ParseBmpSeriesName(const std::string& path, BmpSeriesName& out) {
    if (!HasExtension(path, "bmp"))
        return false;
    const std::string name = FileNamePart(path);
    const size_t stemLen = name.size() - 4; // ".bmp"
    size_t firstDigit = stemLen;
    while (firstDigit > 0 && std::isdigit(static_cast<unsigned char>(name[firstDigit - 1])))
        --firstDigit;
    const size_t digits = stemLen - firstDigit;
    if (digits == 0 || digits > 9 || firstDigit == 0)
        return false;
    out.prefix = FolderPart(path) + name.substr(0, firstDigit);
    out.number = std::stol(name.substr(firstDigit, digits));
    out.digits = static_cast<int>(digits);
    out.suffix = name.substr(stemLen);
    return true;
}

std::vector<std::string> ListBmpSeries(const std::string& firstPath) {
    std::vector<std::string> files;
    BmpSeriesName series;
    if (!ParseBmpSeriesName(firstPath, series)) {
        if (FileExists(firstPath))
            files.push_back(firstPath);
        return files;
    }
    for (long n = series.number;; ++n) {
        std::string member = series.Member(n);
        if (!FileExists(member))
            break;
        files.push_back(member);
    }
    return files;
}

} // namespace zov
