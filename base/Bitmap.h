// BMP files: the numbered bitmap series that imports read and the 24-bit bottom-up files
// that frame dumps write (14 + 40 header bytes, rows padded to 4 bytes).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zov {

// BITMAPINFOHEADER as files store it (40 bytes, little-endian): the project image's
// description, an image element's bits, and BMP files.
struct BitmapInfoHeader {
    uint32_t biSize;
    int32_t biWidth;
    int32_t biHeight;
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression;
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
};
static_assert(sizeof(BitmapInfoHeader) == 40);

// A picture in the project's layout: 24 bits per pixel, bytes B, G, R, rows bottom-up, each
// row padded to a multiple of 4 bytes.
struct Image24 {
    int width = 0;
    int height = 0;
    std::vector<uint8_t> bits;

    static int RowBytes(int width) { return (width * 3 + 3) & ~3; }
    int RowBytes() const { return RowBytes(width); }
    void Allocate(int w, int h) {
        width = w;
        height = h;
        bits.assign(static_cast<size_t>(RowBytes()) * static_cast<size_t>(h), 0);
    }
    // Pixel (x, y) with y counted from the top of the picture.
    uint8_t* PixelTopDown(int x, int y) {
        return bits.data() + static_cast<size_t>(height - 1 - y) * static_cast<size_t>(RowBytes()) +
               static_cast<size_t>(x) * 3;
    }
    const uint8_t* PixelTopDown(int x, int y) const { return const_cast<Image24*>(this)->PixelTopDown(x, y); }
};

// Largest picture a BMP reader accepts, so a hostile header cannot ask for gigabytes.
constexpr int64_t kMaxBmpPixels = 16384LL * 16384LL;

// The channel `mask` selects from a true-colour pixel, scaled to 8 bits: a wider channel keeps
// its top 8 bits, a narrower one is shifted into the top bits (5 bits 0x1F become 0xF8).
uint8_t MaskedChannel(uint32_t pixel, uint32_t mask);

// Reads an uncompressed BMP of 8 (palette), 16 (5-5-5), 24 or 32 bits per pixel, or a 16- or
// 32-bit one with bit-field masks (5-6-5 and the like), top-down or bottom-up, into an
// Image24. On failure returns false and sets `error` to a sentence.
[[nodiscard]] bool ReadBmp(const std::string& path, Image24& out, std::string& error);
[[nodiscard]] bool DecodeBmp(const uint8_t* data, size_t size, Image24& out, std::string& error);
// Writes a 24-bit bottom-up BMP.
[[nodiscard]] bool WriteBmp(const std::string& path, const Image24& image);
std::vector<uint8_t> EncodeBmp(const Image24& image);

// A numbered series: "shot007.bmp" is prefix "shot", number 7, digits 3. The number is the
// trailing digits before ".bmp" (any case), with at least one character before them.
struct BmpSeriesName {
    std::string prefix; // everything before the digits, folder included
    long number = 0;
    int digits = 0;
    std::string suffix; // ".bmp" as written
    // The path of member n, zero-padded to at least `digits` digits.
    std::string Member(long n) const;
};
[[nodiscard]] bool ParseBmpSeriesName(const std::string& path, BmpSeriesName& out);

// The members of a series from its first file onward, stopping at the first missing one.
std::vector<std::string> ListBmpSeries(const std::string& firstPath);

} // namespace zov
