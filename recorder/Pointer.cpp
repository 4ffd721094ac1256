#include "recorder/Pointer.h"

#include <algorithm>
#include <cstring>

namespace zov {

namespace {

const char* const kShapeNames[kStandardShapeCount] = {
    "IDC_APPSTARTING", "IDC_ARROW",  "IDC_CROSS",   "IDC_HAND",    "IDC_HELP",     "IDC_IBEAM",
    "IDC_ICON",        "IDC_NO",     "IDC_SIZE",    "IDC_SIZEALL", "IDC_SIZENESW", "IDC_SIZENS",
    "IDC_SIZENWSE",    "IDC_SIZEWE", "IDC_UPARROW", "IDC_WAIT",
};

struct NameToShape {
    const char* name;
    int shape;
};
// Names from the cursor font and the common cursor themes (freedesktop and CSS names).
const NameToShape kNames[] = {
    {"left_ptr_watch", 0},
    {"progress", 0},
    {"half-busy", 0},
    {"left_ptr", 1},
    {"default", 1},
    {"arrow", 1},
    {"top_left_arrow", 1},
    {"crosshair", 2},
    {"cross", 2},
    {"tcross", 2},
    {"cross_reverse", 2},
    {"diamond_cross", 2},
    {"hand", 3},
    {"hand1", 3},
    {"hand2", 3},
    {"pointer", 3},
    {"pointing_hand", 3},
    {"help", 4},
    {"question_arrow", 4},
    {"whats_this", 4},
    {"left_ptr_help", 4},
    {"xterm", 5},
    {"text", 5},
    {"ibeam", 5},
    {"icon", 6},
    {"not-allowed", 7},
    {"forbidden", 7},
    {"no-drop", 7},
    {"crossed_circle", 7},
    {"circle", 7},
    {"size", 8},
    {"fleur", 9},
    {"move", 9},
    {"all-scroll", 9},
    {"size_all", 9},
    {"nesw-resize", 10},
    {"size_bdiag", 10},
    {"bottom_left_corner", 10},
    {"top_right_corner", 10},
    {"ne-resize", 10},
    {"sw-resize", 10},
    {"ns-resize", 11},
    {"sb_v_double_arrow", 11},
    {"size_ver", 11},
    {"v_double_arrow", 11},
    {"n-resize", 11},
    {"s-resize", 11},
    {"row-resize", 11},
    {"top_side", 11},
    {"bottom_side", 11},
    {"nwse-resize", 12},
    {"size_fdiag", 12},
    {"bottom_right_corner", 12},
    {"top_left_corner", 12},
    {"nw-resize", 12},
    {"se-resize", 12},
    {"ew-resize", 13},
    {"sb_h_double_arrow", 13},
    {"size_hor", 13},
    {"h_double_arrow", 13},
    {"e-resize", 13},
    {"w-resize", 13},
    {"col-resize", 13},
    {"left_side", 13},
    {"right_side", 13},
    {"up-arrow", 14},
    {"sb_up_arrow", 14},
    {"center_ptr", 14},
    {"watch", 15},
    {"wait", 15},
};

void PutI32(std::vector<uint8_t>& out, size_t at, int32_t v) {
    std::memcpy(out.data() + at, &v, 4);
}

} // namespace

const char* StandardShapeName(int index) {
    return index >= 0 && index < kStandardShapeCount ? kShapeNames[index] : "";
}

int ShapeIndexFromCursorName(const std::string& name) {
    if (name.empty())
        return -1;
    std::string lower(name);
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c); });
    for (const NameToShape& n : kNames)
        if (lower == n.name)
            return n.shape;
    return -1;
}

PointerScale PointerScaleFor(const PointerImage& image, bool bigPointer) {
    PointerScale scale;
    scale.num = bigPointer ? 64 : 32;
    scale.den = std::max({32, image.width, image.height});
    return scale;
}

void PointerDrawPosition(const PointerState& pointer, bool bigPointer, int& x, int& y) {
    x = pointer.x;
    y = pointer.y;
    if (!pointer.image)
        return;
    const PointerScale scale = PointerScaleFor(*pointer.image, bigPointer);
    x -= pointer.image->xhot * scale.num / scale.den;
    y -= pointer.image->yhot * scale.num / scale.den;
}

void DrawPointer(Image24& frame, const PointerImage& image, int x, int y, bool bigPointer) {
    if (image.width <= 0 || image.height <= 0 ||
        image.argb.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height))
        return;
    // Every drawn pixel is the area average of the source pixels it covers. In units of
    // 1/num of a source pixel, source pixel s spans [s * num, (s + 1) * num) and drawn pixel
    // d spans [d * den, (d + 1) * den), so the weights are whole numbers and a drawn pixel
    // weighs den * den in all. A scale of 1 or 2 (num / den) copies or doubles pixels exactly.
    const PointerScale scale = PointerScaleFor(image, bigPointer);
    const int num = scale.num, den = scale.den;
    const int drawnW = (image.width * num + den - 1) / den, drawnH = (image.height * num + den - 1) / den;
    const uint64_t area = static_cast<uint64_t>(den) * static_cast<uint64_t>(den);
    for (int dy = 0; dy < drawnH; ++dy) {
        const int fy = y + dy;
        if (fy < 0 || fy >= frame.height)
            continue;
        const int y0 = dy * den, y1 = y0 + den;
        for (int dx = 0; dx < drawnW; ++dx) {
            const int fx = x + dx;
            if (fx < 0 || fx >= frame.width)
                continue;
            const int x0 = dx * den, x1 = x0 + den;
            uint64_t sum[4] = {0, 0, 0, 0}; // blue, green, red, alpha
            for (int sy = y0 / num; sy < image.height && sy * num < y1; ++sy) {
                const int wy = std::min(y1, (sy + 1) * num) - std::max(y0, sy * num);
                for (int sx = x0 / num; sx < image.width && sx * num < x1; ++sx) {
                    const int wx = std::min(x1, (sx + 1) * num) - std::max(x0, sx * num);
                    const uint32_t p = image.argb[static_cast<size_t>(sy) * image.width + sx];
                    const uint64_t w = static_cast<uint64_t>(wx) * static_cast<uint64_t>(wy);
                    for (int c = 0; c < 4; ++c)
                        sum[c] += ((p >> (8 * c)) & 0xFF) * w;
                }
            }
            uint32_t s[4];
            for (int c = 0; c < 4; ++c)
                s[c] = static_cast<uint32_t>((sum[c] + area / 2) / area);
            if (s[3] == 0 && s[0] == 0 && s[1] == 0 && s[2] == 0)
                continue;
            const uint32_t keep = 255 - std::min<uint32_t>(s[3], 255);
            uint8_t* d = frame.PixelTopDown(fx, fy);
            // Premultiplied colour over the frame: s + d * (1 - alpha).
            for (int c = 0; c < 3; ++c) {
                uint32_t v = s[c] + (d[c] * keep + 127) / 255;
                d[c] = static_cast<uint8_t>(v > 255 ? 255 : v);
            }
        }
    }
}

std::vector<uint8_t> MakeCursorRecord(const PointerState& pointer, int x, int y) {
    const PointerImage* image = pointer.image.get();
    const bool hasImage = image && image->width > 0 && image->height > 0 &&
                          image->argb.size() >= static_cast<size_t>(image->width) * image->height;
    size_t colourBytes = 0, maskRow = 0, maskBytes = 0;
    bool hidden = true;
    if (hasImage) {
        colourBytes = static_cast<size_t>(image->width) * image->height * 4;
        maskRow = static_cast<size_t>((image->width + 15) / 16) * 2;
        maskBytes = maskRow * image->height;
        for (uint32_t p : image->argb)
            if (p >> 24) {
                hidden = false;
                break;
            }
    }
    std::vector<uint8_t> out(20 + colourBytes + maskBytes, 0);
    PutI32(out, 0, x);
    PutI32(out, 4, y);
    out[8] = hidden ? 1 : 0;
    out[9] = hasImage ? 1 : 0;
    out[10] = hasImage ? 1 : 0;
    PutI32(out, 12, image ? image->xhot : 0);
    PutI32(out, 16, image ? image->yhot : 0);
    if (hasImage) {
        uint8_t* colour = out.data() + 20;
        uint8_t* mask = colour + colourBytes;
        for (int row = 0; row < image->height; ++row) {
            for (int col = 0; col < image->width; ++col) {
                uint32_t p = image->argb[static_cast<size_t>(row) * image->width + col];
                uint8_t* c = colour + (static_cast<size_t>(row) * image->width + col) * 4;
                c[0] = static_cast<uint8_t>(p);
                c[1] = static_cast<uint8_t>(p >> 8);
                c[2] = static_cast<uint8_t>(p >> 16);
                c[3] = static_cast<uint8_t>(p >> 24);
                if ((p >> 24) == 0)
                    mask[static_cast<size_t>(row) * maskRow + col / 8] |=
                        static_cast<uint8_t>(0x80 >> (col % 8));
            }
        }
    }
    return out;
}

} // namespace zov
