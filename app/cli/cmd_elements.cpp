// Element commands of zovrec: elements (list), add-element and delete-element, so that a
// recording can be annotated from a script and then published with `zovrec export`.
#include "app/Application.h"
#include "app/Settings.h"
#include "app/cli/Cli.h"
#include "base/Bitmap.h"
#include "core/Ani.h"
#include "elements/ElementGeometry.h"
#include "elements/ElementList.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

using namespace zov;
using namespace zov::cli;

namespace {

struct KindName {
    const char* name;
    int32_t kind;
};

// The names scripts use; "mark" is an image keyed on the teal of the marks.
const KindName kKinds[] = {{"line", ELEMENT_LINE},
                           {"circle", ELEMENT_CIRCLE},
                           {"box", ELEMENT_BOX},
                           {"balloon", ELEMENT_BOX2},
                           {"text", ELEMENT_TEXT},
                           {"subtitle-scroll", ELEMENT_SUBSCRIPT1},
                           {"subtitle-type", ELEMENT_SUBSCRIPT2},
                           {"reserved7", ELEMENT_RESERVED7},
                           {"link", ELEMENT_URLLINK},
                           {"image", ELEMENT_IMAGE},
                           {"save-area", ELEMENT_SAVEAREA},
                           {"mark", ELEMENT_IMAGE}};

const char* NameOf(int32_t kind) {
    for (const KindName& k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "unknown";
}

// 0x00BBGGRR as RRGGBB, and back.
std::string Hex(uint32_t c) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return buf;
}

bool ParseColour(const std::string& text, uint32_t& out) {
    if (text.size() != 6 || text.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    const unsigned long v = std::stoul(text, nullptr, 16);
    out = ((v >> 16) & 0xFF) | (v & 0xFF00) | ((v & 0xFF) << 16);
    return true;
}

bool ParseQuad(const std::string& text, int32_t out[4]) {
    size_t at = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = i < 3 ? text.find(',', at) : text.size();
        if (comma == std::string::npos)
            return false;
        long long v = 0;
        if (!ParseInt(text.substr(at, comma - at), INT32_MIN, INT32_MAX, v))
            return false;
        out[i] = static_cast<int32_t>(v);
        at = comma + 1;
    }
    return true;
}

// A text for printing on one line: "\r\n" as "\n", quotes and backslashes escaped.
std::string Quoted(const std::string& text) {
    std::string s = "\"";
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            s += "\\n";
            ++i;
        } else if (c == '"' || c == '\\') {
            s += '\\';
            s += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned char>(c));
            s += buf;
        } else {
            s += c;
        }
    }
    return s + "\"";
}

std::string Describe(const ElementRecord& e) {
    char head[160];
    std::string line;
    const auto styleOf = [](int32_t pen, int32_t style, bool border, bool fill, uint32_t bc, uint32_t fc) {
        return " pen=" + std::to_string(pen) + " style=" + std::to_string(style) +
               " border=" + (border ? Hex(bc) : std::string("off")) +
               " fill=" + (fill ? Hex(fc) : std::string("off"));
    };
    if (e.body.size() != ElementFixedBodySize(e.kind))
        return std::string(NameOf(e.kind)) + " (damaged body)";
    switch (e.kind) {
    case ELEMENT_LINE: {
        const LineBody& l = *e.Body<LineBody>();
        std::snprintf(head, sizeof head, "%d,%d,%d,%d", l.x1, l.y1, l.x2, l.y2);
        return head + (" pen=" + std::to_string(l.penWidth) + " style=" + std::to_string(l.penStyle) +
                       " colour=" + Hex(l.lineColour));
    }
    case ELEMENT_CIRCLE:
    case ELEMENT_BOX: {
        const ShapeBody& s = *e.Body<ShapeBody>();
        std::snprintf(head, sizeof head, "%d,%d,%d,%d", s.rect.left, s.rect.top, s.rect.right, s.rect.bottom);
        return head + styleOf(s.penWidth, s.penStyle, s.borderFlag, s.fillFlag, s.borderColour, s.fillColour);
    }
    case ELEMENT_BOX2: {
        const Box2Body& b = *e.Body<Box2Body>();
        std::snprintf(head, sizeof head, "%d,%d,%d,%d tip=%d,%d", b.textRect.left, b.textRect.top,
                      b.textRect.right, b.textRect.bottom, b.tip.x, b.tip.y);
        return head +
               styleOf(b.penWidth, b.penStyle, b.borderFlag, b.fillFlag, b.borderColour, b.fillColour) +
               " text-colour=" + Hex(b.textColour) + " text=" + Quoted(e.Text());
    }
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2: {
        const TextBody& t = *e.Body<TextBody>();
        std::snprintf(head, sizeof head, "%d,%d,%d,%d", t.rect.left, t.rect.top, t.rect.right, t.rect.bottom);
        line = head +
               styleOf(t.penWidth, t.penStyle, t.borderFlag, t.fillFlag, t.borderColour, t.fillColour) +
               " text-colour=" + Hex(t.textColour);
        if (e.kind == ELEMENT_SUBSCRIPT1)
            line += t.scrollMode ? " vertical" : " horizontal";
        return line + " text=" + Quoted(e.Text());
    }
    case ELEMENT_URLLINK: {
        const ElementRect& r = e.Body<UrlLinkBody>()->rect;
        std::snprintf(head, sizeof head, "%d,%d,%d,%d", r.left, r.top, r.right, r.bottom);
        return head + (" url=" + Quoted(e.Text()));
    }
    case ELEMENT_IMAGE: {
        const ImageBody& i = *e.Body<ImageBody>();
        std::snprintf(head, sizeof head, "%d,%d,%d,%d image=%dx%dx%d%s", i.rect.left, i.rect.top,
                      i.rect.right, i.rect.bottom, i.info.biWidth, i.info.biHeight, i.info.biBitCount,
                      i.transparentFlag ? " transparent" : "");
        return head;
    }
    case ELEMENT_SAVEAREA: {
        const SaveAreaBody& a = *e.Body<SaveAreaBody>();
        std::snprintf(head, sizeof head, "%d,%d,%d,%d", a.area.left, a.area.top, a.area.right, a.area.bottom);
        return head;
    }
    default:
        return "";
    }
}

int CmdElements(CAni& ani, const Args& args) {
    if (args.size() != 1)
        return Usage("elements PROJECT");
    std::string path = args[0];
    int code = 0;
    if (!OpenOrFail(ani, path, code))
        return code;
    CloseAtEnd closer(ani);
    const CElementList& list = ani.Elements();
    for (int i = 0; i < list.Count(); ++i) {
        const ElementRecord& e = *list.At(i);
        std::printf("%d %s %d-%d %s\n", i, NameOf(e.kind), e.firstFrame, e.lastFrame, Describe(e).c_str());
    }
    return 0;
}

// The default style of new elements, as the editor takes it: a fresh style (blue border),
// then the settings' record up to the border and fill flags (84 bytes: pen, colours, font,
// flags) and its text, from the settings file beside the program (its defaults when there is
// none).
std::unique_ptr<ElementStyle> DefaultStyle() {
    const AppFolders folders = AppFolders::FromSystem();
    Settings settings;
    (void)settings.Load(folders.writable + "ZOV Recorder.dat", folders.defaultProject);
    auto style = std::make_unique<ElementStyle>();
    ResetElementStyle(*style);
    std::memcpy(style.get(), settings.bytes.data() + Settings::kTextStyle,
                offsetof(ElementStyle, spareColour));
    style->font.lfFaceName[31] = 0;
    const char* stored = reinterpret_cast<const char*>(settings.bytes.data() + Settings::kTextStyle +
                                                       offsetof(ElementStyle, text));
    const size_t n = strnlen(stored, sizeof style->text - 1);
    std::memcpy(style->text, stored, n);
    style->text[n] = 0;
    return style;
}

int CmdAddElement(CAni& ani, const Args& given) {
    const char* usage =
        "add-element PROJECT --kind "
        "line|circle|box|balloon|text|subtitle-scroll|subtitle-type|link|image|mark "
        "--frames FIRST-LAST --rect L,T,R,B [--border RRGGBB] [--fill RRGGBB] [--pen W] [--text T] [--url U] "
        "[--image F.bmp] [--vertical]";
    Args args = given;
    std::string kindName, frames, rectText, border, fill, pen, text, url, imagePath;
    const bool haveKind = TakeOption(args, "--kind", kindName);
    const bool haveFrames = TakeOption(args, "--frames", frames);
    const bool haveRect = TakeOption(args, "--rect", rectText);
    const bool haveBorder = TakeOption(args, "--border", border);
    const bool haveFill = TakeOption(args, "--fill", fill);
    const bool havePen = TakeOption(args, "--pen", pen);
    const bool haveText = TakeOption(args, "--text", text);
    const bool haveUrl = TakeOption(args, "--url", url);
    const bool haveImage = TakeOption(args, "--image", imagePath);
    const bool vertical = TakeFlag(args, "--vertical");
    if (args.size() != 1 || !haveKind || !haveFrames || !haveRect)
        return Usage(usage);
    int32_t kind = -1;
    for (const KindName& k : kKinds)
        if (kindName == k.name && k.kind != ELEMENT_RESERVED7 && k.kind != ELEMENT_SAVEAREA)
            kind = k.kind;
    if (kind < 0)
        return Fail("unknown element kind \"" + kindName + "\"");
    const bool mark = kindName == "mark";
    long long first = 0, last = 0;
    const size_t dash = frames.find('-');
    if (dash == std::string::npos || !ParseInt(frames.substr(0, dash), 0, INT32_MAX, first) ||
        !ParseInt(frames.substr(dash + 1), 0, INT32_MAX, last) || last < first)
        return Fail("--frames wants FIRST-LAST with 0 <= FIRST <= LAST, not \"" + frames + "\"");
    int32_t q[4];
    if (!ParseQuad(rectText, q))
        return Fail("--rect wants L,T,R,B, not \"" + rectText + "\"");
    uint32_t borderColour = 0, fillColour = 0;
    if (haveBorder && !ParseColour(border, borderColour))
        return Fail("--border wants RRGGBB, not \"" + border + "\"");
    if (haveFill && !ParseColour(fill, fillColour))
        return Fail("--fill wants RRGGBB, not \"" + fill + "\"");
    long long penWidth = 1;
    if (havePen && !ParseInt(pen, 1, 64, penWidth))
        return Fail("--pen wants a width from 1 to 64, not \"" + pen + "\"");
    if (kind == ELEMENT_IMAGE && !haveImage)
        return Fail("an image or mark needs --image F.bmp");
    Image24 picture;
    if (haveImage) {
        std::string why;
        if (!ReadBmp(imagePath, picture, why))
            return Fail("can not read \"" + imagePath + "\": " + why);
    }

    std::string path = args[0];
    int code = 0;
    if (!OpenOrFail(ani, path, code))
        return code;
    CloseAtEnd closer(ani);
    if (last >= ani.FrameCount())
        return Fail("the project has frames 0-" + std::to_string(ani.FrameCount() - 1) + " only");

    std::unique_ptr<ElementStyle> style = DefaultStyle();
    if (haveBorder) {
        style->borderColour = borderColour;
        style->borderFlag = 1;
    }
    if (haveFill) {
        style->backColour = fillColour;
        style->fillFlag = 1;
    }
    if (havePen)
        style->penWidth = static_cast<int32_t>(penWidth);
    style->scrollMode = vertical ? 1 : 0;
    // Line breaks are stored as "\r\n".
    std::string stored;
    const std::string& source = kind == ELEMENT_URLLINK ? url : text;
    for (char c : source) {
        if (c == '\n' && (stored.empty() || stored.back() != '\r'))
            stored += '\r';
        stored += c;
    }
    if (kind == ELEMENT_URLLINK && !haveUrl)
        return Fail("a link needs --url U");
    if (stored.size() >= sizeof style->text)
        return Fail("the text is longer than 32,767 bytes");
    if (haveText || haveUrl)
        std::memcpy(style->text, stored.c_str(), stored.size() + 1);

    CElementList& list = ani.Elements();
    ElementRecord* e = list.Create(static_cast<int32_t>(first), static_cast<int32_t>(last), kind);
    if (!e || (kind != ELEMENT_IMAGE && list.ApplyStyle(e, *style) != 0))
        return Fail("the element can not be made");
    const ElementRect rect{q[0], q[1], q[2], q[3]};
    switch (kind) {
    case ELEMENT_LINE:
        e->Body<LineBody>()->x1 = q[0], e->Body<LineBody>()->y1 = q[1];
        e->Body<LineBody>()->x2 = q[2], e->Body<LineBody>()->y2 = q[3];
        break;
    case ELEMENT_BOX2: {
        Box2Body& b = *e->Body<Box2Body>();
        b.textRect = NormaliseRect(rect);
        // Where a drag from the top-left corner leaves the pointer: 30 right, 30 above.
        b.tip = {static_cast<int32_t>(std::min<int64_t>(int64_t{b.textRect.left} + 30, INT32_MAX)),
                 static_cast<int32_t>(std::max<int64_t>(int64_t{b.textRect.top} - 30, INT32_MIN))};
        BuildBox2Outline(b.textRect, b.tip, b.outline);
        break;
    }
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2:
        e->Body<TextBody>()->rect = NormaliseRect(rect);
        e->Body<TextBody>()->point = {q[0], q[1]};
        break;
    case ELEMENT_IMAGE: {
        ImageInfoHeader info{};
        info.biSize = 40;
        info.biWidth = picture.width;
        info.biHeight = picture.height;
        info.biPlanes = 1;
        info.biBitCount = 24;
        info.biSizeImage = static_cast<uint32_t>(picture.bits.size());
        if (list.SetImage(e, info, picture.bits.data(), static_cast<uint32_t>(picture.bits.size())) != 0)
            return Fail("the image can not be stored");
        e->Body<ImageBody>()->rect = NormaliseRect(rect);
        // Marks are drawn on the key teal, which stays out of the frame.
        e->Body<ImageBody>()->transparentFlag = mark ? 1 : (style->fillFlag ? 0 : 1);
        break;
    }
    default:
        *e->Body<ElementRect>() = NormaliseRect(rect);
        break;
    }
    if (!ani.WriteIndex())
        return Fail("the project can not be saved: " + ani.LastMessage());
    std::printf("%d %s %lld-%lld\n", list.IndexOf(e), NameOf(e->kind), first, last);
    return 0;
}

int CmdDeleteElement(CAni& ani, const Args& args) {
    if (args.size() != 2)
        return Usage("delete-element PROJECT INDEX");
    long long index = 0;
    if (!ParseInt(args[1], 0, INT32_MAX, index))
        return Fail("INDEX must be a number, not \"" + args[1] + "\"");
    std::string path = args[0];
    int code = 0;
    if (!OpenOrFail(ani, path, code))
        return code;
    CloseAtEnd closer(ani);
    CElementList& list = ani.Elements();
    ElementRecord* e = list.At(static_cast<int>(index));
    if (!e)
        return Fail("the project has " + std::to_string(list.Count()) + " elements; there is no " + args[1]);
    if (list.Delete(e) != 0 || !ani.WriteIndex())
        return Fail("the element can not be deleted: " + ani.LastMessage());
    return 0;
}

CliRegistration r1({"elements", "elements PROJECT",
                    "list the elements: index, kind, frames, rectangle, colours, text", CmdElements});
CliRegistration r2({"add-element",
                    "add-element PROJECT --kind KIND --frames FIRST-LAST --rect L,T,R,B [--border RRGGBB] "
                    "[--fill RRGGBB] [--pen W] [--text T] [--url U] [--image F.bmp] [--vertical]",
                    "add an element in the settings' default style", CmdAddElement});
CliRegistration r3({"delete-element", "delete-element PROJECT INDEX", "delete an element by its index",
                    CmdDeleteElement});

} // namespace
