#include "render/ElementDraw.h"

#include "elements/ElementGeometry.h"
#include "elements/ElementList.h"
#include "render/ElementFont.h"
#include "render/GdiCanvas.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cstring>
#include <optional>

namespace zov {

namespace {

// A line of text as glyphs at whole-pixel advances.
struct TextLine {
    QFont font;
    std::vector<QString> glyphs;
    std::vector<int> advances;
    int64_t width = 0;
    int ascent = 0;
    int height = 0; // ascent + descent
};

TextLine Shape(const QFont& font, const QString& text) {
    TextLine line;
    line.font = font;
    const QFontMetrics fm(font);
    line.ascent = fm.ascent();
    line.height = fm.ascent() + fm.descent();
    const QList<uint> ucs4 = text.toUcs4();
    line.glyphs.reserve(static_cast<size_t>(ucs4.size()));
    for (const uint c : ucs4) {
        const char32_t ch = static_cast<char32_t>(c);
        QString g = QString::fromUcs4(&ch, 1);
        const int adv = fm.horizontalAdvance(g);
        line.width += adv;
        line.advances.push_back(adv);
        line.glyphs.push_back(std::move(g));
    }
    return line;
}

// Draws the first `count` glyphs with the top of the line at y, clipped to [l, r) x [t, b)
// and the surface; transparent background.
void DrawLine(QImage& surface, const TextLine& line, size_t count, int64_t x, int64_t y, QRgb colour,
              int64_t l, int64_t t, int64_t r, int64_t b) {
    l = std::max<int64_t>(l, 0), t = std::max<int64_t>(t, 0);
    r = std::min<int64_t>(r, surface.width()), b = std::min<int64_t>(b, surface.height());
    const int64_t reach = 4 * static_cast<int64_t>(line.height) + 8; // glyph overhang allowance
    if (r <= l || b <= t || y > b + reach || y + line.height < t - reach)
        return;
    QPainter p(&surface);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setRenderHint(QPainter::TextAntialiasing, false);
    p.setClipRect(
        QRect(static_cast<int>(l), static_cast<int>(t), static_cast<int>(r - l), static_cast<int>(b - t)));
    p.setFont(line.font);
    p.setPen(QColor::fromRgb(colour));
    p.setBackgroundMode(Qt::TransparentMode);
    const int64_t baseline = y + line.ascent;
    count = std::min(count, line.glyphs.size());
    for (size_t i = 0; i < count; ++i) {
        const int64_t adv = line.advances[i];
        if (x + adv + reach >= l && x - reach < r)
            p.drawText(QPoint(static_cast<int>(x), static_cast<int>(baseline)), line.glyphs[i]);
        x += adv;
        if (x - reach >= r)
            break;
    }
}

// "\r\n" (and any lone CR or LF) as one space: the texts drawn on one line.
QString OneLine(QString text) {
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

struct ShapeStyle {
    GdiPen pen;
    std::optional<QRgb> brush;
};

// The brush is the fill colour when the fill flag is set; the pen has the element's width
// and, with the border on, its style and the border colour, else it is null.
ShapeStyle StyleOf(int32_t penWidth, int32_t penStyle, bool border, bool fill, uint32_t borderColour,
                   uint32_t fillColour) {
    ShapeStyle s;
    s.pen.width = ClampPenWidth(penWidth);
    s.pen.style = border ? penStyle : kPenNull;
    s.pen.colour = ElementColour(border ? borderColour : fillColour);
    if (fill)
        s.brush = ElementColour(fillColour);
    return s;
}

// Text centred on one line in the rectangle, clipped to it (kinds 3 and 4).
void CentredText(QImage& surface, const ElementRect& raw, const LogFontA& font, uint32_t colour,
                 const std::string& text) {
    const ElementRect r = NormaliseRect(raw);
    const int64_t w = int64_t{r.right} - r.left, h = int64_t{r.bottom} - r.top;
    if (text.empty() || w < 4 || h < 4)
        return;
    const TextLine line = Shape(ElementFont(font), OneLine(DecodeElementText(text)));
    const int64_t x = r.left + (w - line.width) / 2, y = r.top + (h - line.height) / 2;
    DrawLine(surface, line, line.glyphs.size(), x, y, ElementColour(colour), r.left, r.top, r.right,
             r.bottom);
}

// The animated text of kinds 5 and 6 on frame r of n.
void SubscriptText(QImage& surface, const TextBody& body, int32_t kind, const std::string& bytes, int64_t r,
                   int64_t n) {
    const ElementRect R = NormaliseRect(body.rect);
    const int64_t w = int64_t{R.right} - R.left, h = int64_t{R.bottom} - R.top;
    if (w < 5 || h < 5 || bytes.empty() || n < 1)
        return;
    const int64_t cl = int64_t{R.left} - 2, ct = int64_t{R.top} - 2, cr = int64_t{R.right} + 2,
                  cb = int64_t{R.bottom} + 2;
    const QRgb colour = ElementColour(body.textColour);
    const QFont font = ElementFont(body.font);
    const QString text = DecodeElementText(bytes);
    const QLatin1String crlf("\r\n");
    if (kind == ELEMENT_SUBSCRIPT1 && body.scrollMode != 0) {
        // One line at a time, the lines spread evenly over the frames.
        const int64_t lines = text.count(crlf) + 1;
        const int64_t k = (lines * r) / n;
        qsizetype start = 0;
        for (int64_t i = 0; i < k; ++i) {
            const qsizetype at = text.indexOf(crlf, start + 1);
            if (at < 0)
                return;
            start = at + 2;
        }
        const qsizetype end = text.indexOf(crlf, start + 1);
        QString shown = text.mid(start, end < 0 ? -1 : end - start);
        shown.remove(crlf);
        const TextLine line = Shape(font, shown);
        const int64_t x = R.left + (w - line.width) / 2, y = R.top + (h - line.height) / 2;
        DrawLine(surface, line, line.glyphs.size(), x, y, colour, cl, ct, cr, cb);
        return;
    }
    QString flat = text;
    flat.replace(crlf, QLatin1String(" "));
    const TextLine line = Shape(font, flat);
    const int64_t y = R.top + (h - line.height) / 2;
    if (kind == ELEMENT_SUBSCRIPT1) {
        // From the left edge on the first frame to the right end at the right edge on the last.
        const int64_t x = n > 1 ? R.left - ((line.width - w) * r) / (n - 1) : int64_t{R.left};
        DrawLine(surface, line, line.glyphs.size(), x, y, colour, cl, ct, cr, cb);
        return;
    }
    // The typewriter: a growing share of the characters, all of them on the last frame.
    const int64_t len = static_cast<int64_t>(line.glyphs.size());
    const int64_t shown = ((r + 1) * len) / n;
    DrawLine(surface, line, static_cast<size_t>(std::clamp<int64_t>(shown, 0, len)), R.left, y, colour, cl,
             ct, cr, cb);
}

bool KeyMatches(QRgb pixel, bool sixteenBit) {
    if (!sixteenBit)
        return (pixel & 0xFFFFFFu) == 0x008080u; // RGB(0, 128, 128)
    // The display's 5-6-5 value of teal, which 0x848200 also has.
    return (qRed(pixel) >> 3) == 0 && (qGreen(pixel) >> 2) == (128 >> 2) && (qBlue(pixel) >> 3) == (128 >> 3);
}

// Kind 9: the bits scaled nearest-neighbour into the rectangle, key pixels left out first.
bool DrawImage(QImage& surface, const ElementRecord& e, const ElementDrawOptions& options) {
    const ImageBody& body = *e.Body<ImageBody>();
    if (body.secondLength != 0 || body.secondPointer != 0)
        return true; // an image with a second buffer is not drawn
    const BitmapInfoHeader& info = body.info;
    const int64_t sw = info.biWidth, sh = info.biHeight, bpp = info.biBitCount;
    if (sw <= 0 || sh <= 0 || sw > 65536 || sh > 65536 || (bpp != 16 && bpp != 24 && bpp != 32) ||
        info.biCompression != 0)
        return true; // nothing a picture can be made of: drawn as nothing
    const int64_t row = ((sw * bpp + 31) / 32) * 4;
    if (row * sh > static_cast<int64_t>(e.tail.size()) || row * sh > int64_t{body.bitsLength})
        return true; // the header claims more bits than the element holds
    const ElementRect d = NormaliseRect(body.rect);
    const int64_t dw = int64_t{d.right} - d.left, dh = int64_t{d.bottom} - d.top;
    if (dw <= 0 || dh <= 0)
        return true;
    const bool keyed = body.transparentFlag != 0;
    const uint8_t* bits = e.tail.data();
    const int64_t x0 = std::max<int64_t>(d.left, 0), x1 = std::min<int64_t>(d.right, surface.width());
    const int64_t y0 = std::max<int64_t>(d.top, 0), y1 = std::min<int64_t>(d.bottom, surface.height());
    for (int64_t y = y0; y < y1; ++y) {
        const int64_t sy = ((2 * (y - d.top) + 1) * sh) / (2 * dh);
        const uint8_t* src = bits + (sh - 1 - sy) * row;
        QRgb* out = reinterpret_cast<QRgb*>(surface.scanLine(static_cast<int>(y)));
        for (int64_t x = x0; x < x1; ++x) {
            const int64_t sx = ((2 * (x - d.left) + 1) * sw) / (2 * dw);
            QRgb c;
            if (bpp == 16) {
                const unsigned v = src[sx * 2] | (src[sx * 2 + 1] << 8); // 5-5-5
                c = qRgb(static_cast<int>(((v >> 10) & 31) << 3), static_cast<int>(((v >> 5) & 31) << 3),
                         static_cast<int>((v & 31) << 3));
            } else {
                const uint8_t* p = src + sx * (bpp / 8);
                c = qRgb(p[2], p[1], p[0]);
            }
            if (keyed && KeyMatches(c, options.sixteenBitScreen))
                continue;
            out[x] = c;
        }
    }
    return true;
}

bool SizeMatches(const ElementRecord& e) {
    const size_t fixed = ElementFixedBodySize(e.kind);
    if (fixed == 0 || e.body.size() != fixed)
        return false;
    if (!ElementHasTail(e.kind))
        return e.tail.empty() && e.size == fixed;
    uint32_t tailLength = 0;
    std::memcpy(&tailLength, e.body.data() + ElementTailLengthOffset(e.kind), 4);
    return tailLength == e.tail.size() && e.size == fixed + e.tail.size();
}

} // namespace

QRgb ElementColour(uint32_t c) {
    return qRgb(static_cast<int>(c & 0xFF), static_cast<int>((c >> 8) & 0xFF),
                static_cast<int>((c >> 16) & 0xFF));
}

bool DrawElement(QImage& surface, const ElementRecord& e, int32_t f, const ElementDrawOptions& options) {
    if (f < 0 || f >= options.frameCount || e.kind == ELEMENT_RESERVED7 || !SizeMatches(e))
        return false;
    if (surface.format() != QImage::Format_RGB32 && surface.format() != QImage::Format_ARGB32)
        return false;
    GdiCanvas canvas(surface);
    switch (e.kind) {
    case ELEMENT_LINE: {
        const LineBody& l = *e.Body<LineBody>();
        canvas.Line(l.x1, l.y1, l.x2, l.y2,
                    GdiPen{l.penStyle, ClampPenWidth(l.penWidth), ElementColour(l.lineColour)});
        return true;
    }
    case ELEMENT_CIRCLE:
    case ELEMENT_BOX: {
        const ShapeBody& s = *e.Body<ShapeBody>();
        const ShapeStyle st =
            StyleOf(s.penWidth, s.penStyle, s.borderFlag, s.fillFlag, s.borderColour, s.fillColour);
        if (e.kind == ELEMENT_CIRCLE)
            canvas.Ellipse(s.rect, st.pen, st.brush);
        else
            canvas.Rectangle(s.rect, st.pen, st.brush);
        return true;
    }
    case ELEMENT_BOX2: {
        const Box2Body& b = *e.Body<Box2Body>();
        const ShapeStyle st =
            StyleOf(b.penWidth, b.penStyle, b.borderFlag, b.fillFlag, b.borderColour, b.fillColour);
        canvas.Polyline(b.outline, 8, st.pen);
        if (st.brush)
            canvas.FillPolygon(b.outline, 8, *st.brush);
        CentredText(surface, b.textRect, b.font, b.textColour, e.Text());
        canvas.Polyline(b.outline, 8, st.pen); // the outline over the fill
        return true;
    }
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2: {
        const TextBody& t = *e.Body<TextBody>();
        const ShapeStyle st =
            StyleOf(t.penWidth, t.penStyle, t.borderFlag, t.fillFlag, t.borderColour, t.fillColour);
        canvas.Rectangle(t.rect, st.pen, st.brush);
        if (e.kind == ELEMENT_TEXT)
            CentredText(surface, t.rect, t.font, t.textColour, e.Text());
        else
            SubscriptText(surface, t, e.kind, e.Text(), int64_t{f} - e.firstFrame,
                          int64_t{e.lastFrame} - e.firstFrame + 1);
        return true;
    }
    case ELEMENT_URLLINK:
        if (!options.exporting) // link areas never reach an exported frame
            canvas.Rectangle(e.Body<UrlLinkBody>()->rect, GdiPen{kPenSolid, 1, ElementColour(0xFF0000)},
                             std::nullopt);
        return true;
    case ELEMENT_IMAGE:
        return DrawImage(surface, e, options);
    case ELEMENT_SAVEAREA:
        canvas.Rectangle(e.Body<SaveAreaBody>()->area, GdiPen{kPenSolid, 1, qRgb(0, 0, 0)}, std::nullopt);
        return true;
    default:
        return false;
    }
}

bool DrawElements(QImage& surface, const CElementList& list, int32_t f, const ElementDrawOptions& options) {
    ElementRecord* shown[kMaxElementsPerFrame];
    int n = list.ElementsInFrame(f, shown, kMaxElementsPerFrame);
    if (n == -2)
        n = kMaxElementsPerFrame;
    for (int i = 0; i < n; ++i) {
        if (list.IsSelected(shown[i]))
            continue;
        if (!DrawElement(surface, *shown[i], f, options))
            return false;
    }
    return true;
}

bool DrawSelected(QImage& surface, const CElementList& list, int32_t f, const ElementDrawOptions& options) {
    int cursor = 0;
    while (const ElementRecord* e = list.NextSelected(cursor)) {
        if (e->ShownOn(f) && !DrawElement(surface, *e, f, options))
            return false;
    }
    return true;
}

void DrawHandleSet(QImage& surface, const HandleSet& set) {
    GdiCanvas canvas(surface);
    for (int i = 0; i < set.count && i < kMaxHandles; ++i)
        canvas.Rectangle(HandleRect(set, i), GdiPen{kPenSolid, 1, qRgb(0, 0, 0)}, qRgb(255, 255, 255));
}

bool DrawHandles(QImage& surface, const CElementList& list) {
    int cursor = 0;
    HandleSet set;
    while (const ElementRecord* e = list.NextSelected(cursor)) {
        if (e->kind == ELEMENT_RESERVED7)
            return false;
        if (BuildHandles(*e, set, kHandleNone))
            DrawHandleSet(surface, set);
    }
    return true;
}

bool DrawAllElements(QImage& surface, const std::vector<ElementRecord>& elements, int32_t f,
                     const ElementDrawOptions& options) {
    int drawn = 0;
    for (const ElementRecord& e : elements) {
        if (!e.ShownOn(f))
            continue;
        if (drawn++ == kMaxElementsPerFrame)
            break;
        if (!DrawElement(surface, e, f, options))
            return false;
    }
    return true;
}

namespace {

template <class Draw> bool Merge(uint8_t* bits, int32_t width, int32_t height, Draw draw) {
    if (!bits || width <= 0 || height <= 0 || width > 32768 || height > 32768)
        return false;
    const size_t row = static_cast<size_t>((width * 3 + 3) & ~3);
    QImage surface(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bits + row * static_cast<size_t>(height - 1 - y);
        QRgb* out = reinterpret_cast<QRgb*>(surface.scanLine(y));
        for (int x = 0; x < width; ++x, src += 3)
            out[x] = qRgb(src[2], src[1], src[0]);
    }
    const bool ok = draw(surface);
    for (int y = 0; y < height; ++y) {
        uint8_t* dst = bits + row * static_cast<size_t>(height - 1 - y);
        const QRgb* in = reinterpret_cast<const QRgb*>(surface.constScanLine(y));
        for (int x = 0; x < width; ++x, dst += 3) {
            dst[0] = static_cast<uint8_t>(qBlue(in[x]));
            dst[1] = static_cast<uint8_t>(qGreen(in[x]));
            dst[2] = static_cast<uint8_t>(qRed(in[x]));
        }
    }
    return ok;
}

} // namespace

bool MergeElements(uint8_t* bits, int32_t width, int32_t height, const CElementList& list, int32_t f,
                   const ElementDrawOptions& options) {
    if (f < 0 || f >= options.frameCount)
        return false;
    return Merge(bits, width, height, [&](QImage& s) { return DrawElements(s, list, f, options); });
}

bool MergeElements(uint8_t* bits, int32_t width, int32_t height, const std::vector<ElementRecord>& snapshot,
                   int32_t f, const ElementDrawOptions& options) {
    if (f < 0 || f >= options.frameCount)
        return false;
    return Merge(bits, width, height, [&](QImage& s) { return DrawAllElements(s, snapshot, f, options); });
}

} // namespace zov
