// The element kinds and the byte layouts of their bodies, exactly as they stand in the
// project file's element block (little-endian, no padding the layouts don't name). Pointer
// fields of the stored form are kept as 32-bit zeros: in memory the tails are owned by the
// record (ElementRecord::tail), so these fields are always 0 and are written as 0.
#pragma once

#include "base/Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace zov {

enum ElementKind : int32_t {
    ELEMENT_LINE = 0,
    ELEMENT_CIRCLE = 1,
    ELEMENT_BOX = 2,
    ELEMENT_BOX2 = 3,
    ELEMENT_TEXT = 4,
    ELEMENT_SUBSCRIPT1 = 5,
    ELEMENT_SUBSCRIPT2 = 6,
    ELEMENT_RESERVED7 = 7,
    ELEMENT_URLLINK = 8,
    ELEMENT_IMAGE = 9,
    ELEMENT_SAVEAREA = 10,
};
constexpr int kElementKindCount = 11;

// Project file version whose image bodies end before the transparent flag.
constexpr uint32_t kOldImageBodyVersion = 0x20021030;

struct ElementRect {
    int32_t left, top, right, bottom;
};
static_assert(sizeof(ElementRect) == 16);

struct ElementPoint {
    int32_t x, y;
};
static_assert(sizeof(ElementPoint) == 8);

// The 60-byte LOGFONTA: kept byte for byte; drawing maps it to a font of its own.
struct LogFontA {
    int32_t lfHeight;
    int32_t lfWidth;
    int32_t lfEscapement;
    int32_t lfOrientation;
    int32_t lfWeight;
    uint8_t lfItalic;
    uint8_t lfUnderline;
    uint8_t lfStrikeOut;
    uint8_t lfCharSet;
    uint8_t lfOutPrecision;
    uint8_t lfClipPrecision;
    uint8_t lfQuality;
    uint8_t lfPitchAndFamily;
    char lfFaceName[32];
};
static_assert(sizeof(LogFontA) == 60);

// The 40-byte BITMAPINFOHEADER of an image element's bits.
using ImageInfoHeader = BitmapInfoHeader;

// Kind 0.
struct LineBody {
    int32_t x1, y1, x2, y2;
    int32_t penWidth;
    int32_t penStyle;
    uint32_t lineColour;
};
static_assert(sizeof(LineBody) == 28);

// Kinds 1 and 2.
struct ShapeBody {
    ElementRect rect;
    int32_t penWidth;
    int32_t penStyle;
    uint32_t spareColour;
    uint8_t borderFlag;
    uint8_t fillFlag;
    uint8_t reserved30[2];
    uint32_t borderColour;
    uint32_t fillColour;
};
static_assert(sizeof(ShapeBody) == 40);

// Kind 3: balloon box; outline[7] repeats outline[0].
struct Box2Body {
    ElementRect textRect;
    ElementPoint tip;
    ElementPoint outline[8];
    int32_t penWidth;
    int32_t penStyle;
    uint32_t spareColour;
    uint8_t borderFlag;
    uint8_t fillFlag;
    uint8_t reserved102[2];
    LogFontA font;
    uint32_t textColour;
    uint32_t reserved168;
    uint32_t fillColour;
    uint32_t borderColour;
    uint32_t textLength;
    uint32_t tailPointer;
};
static_assert(sizeof(Box2Body) == 188);

// Kinds 4, 5 and 6.
struct TextBody {
    ElementRect rect;
    ElementPoint point; // moves with kinds 5 and 6, never drawn
    int32_t penWidth;
    int32_t penStyle;
    uint32_t spareColour;
    uint32_t reserved36;
    uint8_t borderFlag;
    uint8_t fillFlag;
    uint8_t scrollMode; // kind 5: non-zero "V-Scroll"
    uint8_t reserved43;
    LogFontA font;
    uint32_t textColour;
    uint32_t reserved108;
    uint32_t fillColour;
    uint32_t borderColour;
    uint32_t textLength;
    uint32_t tailPointer;
};
static_assert(sizeof(TextBody) == 128);

// Kind 7: nothing creates or draws it; only read and carried.
struct Reserved7Body {
    uint8_t bytes[20];
};
static_assert(sizeof(Reserved7Body) == 20);

// Kind 8.
struct UrlLinkBody {
    ElementRect rect;
    uint32_t urlLength;
    uint32_t tailPointer;
};
static_assert(sizeof(UrlLinkBody) == 24);

// Kind 9. Files of version 0x20021030 store only the first 76 bytes.
struct ImageBody {
    ElementRect rect;
    uint32_t bitsLength;
    uint32_t secondLength; // always 0
    ImageInfoHeader info;
    uint32_t reserved64;
    uint32_t tailPointer;
    uint32_t secondPointer; // always 0
    uint32_t transparentFlag;
};
static_assert(sizeof(ImageBody) == 80);
constexpr size_t kOldImageBodySize = 76;

// Kind 10: the export request, byte for byte.
struct SaveAreaBody {
    ElementRect area;
    int32_t firstFrame;
    int32_t lastFrame;
    uint8_t areaSelect;
    uint8_t frameSelect;
    char formatKey[260];
    char outputPath[260];
    uint8_t reserved546[2];
};
static_assert(sizeof(SaveAreaBody) == 548);

static_assert(offsetof(ShapeBody, borderColour) == 32);
static_assert(offsetof(Box2Body, font) == 104 && offsetof(Box2Body, textLength) == 180);
static_assert(offsetof(TextBody, scrollMode) == 42 && offsetof(TextBody, textLength) == 120);
static_assert(offsetof(ImageBody, info) == 24 && offsetof(ImageBody, transparentFlag) == 76);
static_assert(offsetof(SaveAreaBody, outputPath) == 286);

// The style record carried between the style tool window, the document and the elements.
struct ElementStyle {
    uint8_t scrollMode; // kind 5: non-zero vertical
    uint8_t reserved1;
    uint8_t reserved2[2];
    int32_t penWidth;
    int32_t penStyle;
    uint32_t foreColour; // text colour
    uint32_t backColour; // fill colour
    LogFontA font;
    uint8_t borderFlag;
    uint8_t fillFlag;
    uint8_t reserved82[2];
    uint32_t spareColour;
    uint32_t borderColour;
    char text[32768];
};
static_assert(sizeof(ElementStyle) == 32860);
static_assert(offsetof(ElementStyle, font) == 20 && offsetof(ElementStyle, borderFlag) == 80 &&
              offsetof(ElementStyle, text) == 92);

// Fills a style with the defaults of a fresh one (pen 1 solid, white text, black fill,
// border and fill on, blue border). The font and text come from the settings and the
// language table; null leaves them zero.
void ResetElementStyle(ElementStyle& style, const LogFontA* font = nullptr, const char* text = nullptr);

// Fixed body bytes of a kind as stored in current files; 0 for a kind out of range.
size_t ElementFixedBodySize(int32_t kind);
// Kinds whose body is followed by a variable tail (3, 4, 5, 6, 8, 9).
bool ElementHasTail(int32_t kind);
// Kinds whose tail is a NUL-terminated text (3, 4, 5, 6, 8).
bool ElementHasText(int32_t kind);
// Byte offset of the tail length inside the fixed body (180, 120, 16), or -1.
int ElementTailLengthOffset(int32_t kind);

} // namespace zov
