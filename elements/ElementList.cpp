#include "elements/ElementList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <strings.h>

namespace zov {

namespace {

bool ValidKind(int32_t kind) {
    return kind >= 0 && kind < kElementKindCount;
}

uint32_t RoundUp4(uint64_t n) {
    return static_cast<uint32_t>((n + 3) & ~uint64_t{3});
}

// Coordinates come from files too: wrap like the stored 32-bit values instead of overflowing.
int32_t AddWrap(int32_t v, int32_t d) {
    return static_cast<int32_t>(static_cast<uint32_t>(v) + static_cast<uint32_t>(d));
}

// Frame ranges read from a file may sit near the top of i32; saturate instead of wrapping so
// a range never turns negative.
int32_t AddFrames(int32_t v, int64_t d) {
    int64_t r = static_cast<int64_t>(v) + d;
    if (r > INT32_MAX)
        return INT32_MAX;
    if (r < INT32_MIN)
        return INT32_MIN;
    return static_cast<int32_t>(r);
}

void MoveRect(ElementRect& r, int32_t dx, int32_t dy) {
    r.left = AddWrap(r.left, dx);
    r.right = AddWrap(r.right, dx);
    r.top = AddWrap(r.top, dy);
    r.bottom = AddWrap(r.bottom, dy);
}

void MovePoint(ElementPoint& p, int32_t dx, int32_t dy) {
    p.x = AddWrap(p.x, dx);
    p.y = AddWrap(p.y, dy);
}

bool HasBody(const ElementRecord* r) {
    return r && ValidKind(r->kind) && r->body.size() == ElementFixedBodySize(r->kind);
}

// Fields shared by the shapes, the balloon and the texts.
template <class B> void ShapeFromStyle(B& b, const ElementStyle& s) {
    b.penWidth = s.penWidth;
    b.penStyle = s.penStyle;
    b.spareColour = s.spareColour;
    b.borderFlag = s.borderFlag;
    b.fillFlag = s.fillFlag;
    b.borderColour = s.borderColour;
    b.fillColour = s.backColour;
}

template <class B> void ShapeToStyle(const B& b, ElementStyle& s) {
    s.penWidth = b.penWidth;
    s.penStyle = b.penStyle;
    s.spareColour = b.spareColour;
    s.borderFlag = b.borderFlag;
    s.fillFlag = b.fillFlag;
    s.borderColour = b.borderColour;
    s.backColour = b.fillColour;
}

} // namespace

std::string ElementRecord::Text() const {
    if (!ElementHasText(kind) || tail.empty())
        return {};
    const char* p = reinterpret_cast<const char*>(tail.data());
    return std::string(p, strnlen(p, tail.size()));
}

// --- the list ----------------------------------------------------------------------------

int CElementList::Append(std::unique_ptr<ElementRecord> record) {
    const int64_t bytes = 20 + static_cast<int64_t>(record->size);
    record->id = m_nextId++; // copies arrive with their source's id
    m_list.push_back(std::move(record));
    m_total += bytes;
    m_count = static_cast<int32_t>(m_list.size());
    return 0;
}

ElementRecord* CElementList::Create(int32_t first, int32_t last, int32_t kind) try {
    if (first < 0 || last < first || !ValidKind(kind) || kind == ELEMENT_RESERVED7)
        return nullptr;
    auto r = std::make_unique<ElementRecord>();
    r->firstFrame = first;
    r->lastFrame = last;
    r->kind = kind;
    r->body.assign(ElementFixedBodySize(kind), 0);
    r->size = static_cast<uint32_t>(r->body.size());
    ElementRecord* raw = r.get();
    Append(std::move(r));
    return raw;
} catch (...) {
    return nullptr;
}

int CElementList::IndexOf(const ElementRecord* record) const {
    for (size_t i = 0; i < m_list.size(); ++i)
        if (m_list[i].get() == record)
            return static_cast<int>(i);
    return -1;
}

ElementRecord* CElementList::FindId(uint64_t id) const {
    for (const auto& r : m_list)
        if (r->id == id)
            return r.get();
    return nullptr;
}

std::unique_ptr<ElementRecord> CElementList::Take(ElementRecord* record) {
    const int i = IndexOf(record);
    if (!record || i < 0)
        return nullptr;
    std::erase(m_selection, record);
    std::erase(m_clipboard, record);
    std::unique_ptr<ElementRecord> out = std::move(m_list[static_cast<size_t>(i)]);
    m_list.erase(m_list.begin() + i);
    m_total -= 20 + static_cast<int64_t>(out->size);
    m_count = static_cast<int32_t>(m_list.size());
    return out;
}

int CElementList::Insert(int index, std::unique_ptr<ElementRecord> record) try {
    if (!record || !ValidKind(record->kind))
        return -1;
    if (record->id == 0)
        record->id = m_nextId++;
    else if (record->id >= m_nextId)
        m_nextId = record->id + 1;
    const size_t at = index < 0 ? 0 : std::min(static_cast<size_t>(index), m_list.size());
    const int64_t bytes = 20 + static_cast<int64_t>(record->size);
    m_list.insert(m_list.begin() + static_cast<std::ptrdiff_t>(at), std::move(record));
    m_total += bytes;
    m_count = static_cast<int32_t>(m_list.size());
    return 0;
} catch (...) {
    return -1;
}

ElementRecord* CElementList::At(int index) const {
    if (index < 0 || static_cast<size_t>(index) >= m_list.size())
        return nullptr;
    return m_list[static_cast<size_t>(index)].get();
}

int CElementList::Delete(ElementRecord* record) {
    if (m_list.empty() || !record || record->body.empty())
        return -1;
    int i = IndexOf(record);
    if (i < 0)
        return -1;
    std::erase(m_selection, record);
    std::erase(m_clipboard, record);
    m_total -= 20 + static_cast<int64_t>(record->size);
    m_list.erase(m_list.begin() + i);
    m_count = static_cast<int32_t>(m_list.size());
    return 0;
}

int CElementList::DeleteByBody(const void* body) {
    if (!body)
        return -1;
    for (auto& r : m_list)
        if (r->body.data() == body)
            return Delete(r.get());
    return -1;
}

void CElementList::Clear() {
    m_selection.clear();
    m_clipboard.clear();
    m_list.clear();
    m_count = 0;
    m_total = 0;
    m_blockOffset = 0;
    m_reserved = 0;
}

int CElementList::ElementsInFrame(int32_t f, ElementRecord** out, int max) const {
    if (max < 1 || !out)
        return -1;
    int n = 0;
    for (const auto& r : m_list) {
        if (!r->ShownOn(f))
            continue;
        if (n == max)
            return -2;
        out[n++] = r.get();
    }
    return n;
}

int CElementList::CountInFrame(int32_t f) const {
    return static_cast<int>(
        std::count_if(m_list.begin(), m_list.end(), [f](const auto& r) { return r->ShownOn(f); }));
}

ElementRecord* CElementList::FindAt(int32_t f, int32_t x, int32_t y, bool startOnly) const {
    for (const auto& r : m_list)
        if (HitTest(r.get(), x, y, f, startOnly))
            return r.get();
    return nullptr;
}

int CElementList::SetText(ElementRecord* record, const char* text) try {
    if (!HasBody(record) || !ElementHasText(record->kind) || IndexOf(record) < 0)
        return -1;
    std::vector<uint8_t> tail;
    if (text) {
        size_t len = std::strlen(text);
        tail.assign(RoundUp4(uint64_t{len} + 1), 0);
        std::memcpy(tail.data(), text, len);
    }
    const uint32_t fixed = static_cast<uint32_t>(record->body.size());
    const uint32_t length = static_cast<uint32_t>(tail.size());
    std::memcpy(record->body.data() + ElementTailLengthOffset(record->kind), &length, 4);
    m_total += static_cast<int64_t>(fixed + length) - static_cast<int64_t>(record->size);
    record->size = fixed + length;
    record->tail = std::move(tail);
    return 0;
} catch (...) {
    return -1;
}

int CElementList::SetImage(ElementRecord* record, const ImageInfoHeader& header, const uint8_t* bits,
                           uint32_t length) try {
    if (!HasBody(record) || record->kind != ELEMENT_IMAGE || IndexOf(record) < 0 || (length > 0 && !bits))
        return -1;
    std::vector<uint8_t> tail(RoundUp4(length), 0);
    if (length > 0)
        std::memcpy(tail.data(), bits, length);
    ImageBody* b = record->Body<ImageBody>();
    b->bitsLength = static_cast<uint32_t>(tail.size());
    b->secondLength = 0;
    b->info = header;
    b->reserved64 = 0;
    b->tailPointer = 0;
    b->secondPointer = 0;
    const uint32_t size = static_cast<uint32_t>(sizeof(ImageBody) + tail.size());
    m_total += static_cast<int64_t>(size) - static_cast<int64_t>(record->size);
    record->size = size;
    record->tail = std::move(tail);
    return 0;
} catch (...) {
    return -1;
}

int CElementList::ApplyStyle(ElementRecord* record, const ElementStyle& style) try {
    if (!HasBody(record) || IndexOf(record) < 0)
        return -1;
    switch (record->kind) {
    case ELEMENT_LINE: {
        LineBody* b = record->Body<LineBody>();
        b->penWidth = style.penWidth;
        b->penStyle = style.penStyle;
        b->lineColour = style.borderColour;
        return 0;
    }
    case ELEMENT_CIRCLE:
    case ELEMENT_BOX:
        ShapeFromStyle(*record->Body<ShapeBody>(), style);
        return 0;
    case ELEMENT_BOX2: {
        Box2Body* b = record->Body<Box2Body>();
        ShapeFromStyle(*b, style);
        b->font = style.font;
        b->textColour = style.foreColour;
        break;
    }
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2: {
        TextBody* b = record->Body<TextBody>();
        ShapeFromStyle(*b, style);
        b->font = style.font;
        b->textColour = style.foreColour;
        if (record->kind == ELEMENT_SUBSCRIPT1)
            b->scrollMode = style.scrollMode;
        break;
    }
    case ELEMENT_URLLINK:
        break;
    case ELEMENT_IMAGE:
        record->Body<ImageBody>()->transparentFlag = style.fillFlag ? 0 : 1;
        return 0;
    case ELEMENT_SAVEAREA:
        return 0;
    default:
        return -1;
    }
    // The style's text is a fixed buffer that a caller may have filled to the brim.
    std::string text(style.text, strnlen(style.text, sizeof style.text));
    return SetText(record, text.c_str());
} catch (...) {
    return -1;
}

bool CElementList::ReadStyle(const ElementRecord* record, ElementStyle& style) const try {
    if (!HasBody(record) || record->kind == ELEMENT_RESERVED7)
        return false;
    std::memset(&style, 0, sizeof style);
    switch (record->kind) {
    case ELEMENT_LINE: {
        const LineBody* b = record->Body<LineBody>();
        style.penWidth = b->penWidth;
        style.penStyle = b->penStyle;
        style.borderColour = b->lineColour;
        break;
    }
    case ELEMENT_CIRCLE:
    case ELEMENT_BOX:
        ShapeToStyle(*record->Body<ShapeBody>(), style);
        break;
    case ELEMENT_BOX2: {
        const Box2Body* b = record->Body<Box2Body>();
        ShapeToStyle(*b, style);
        style.font = b->font;
        style.foreColour = b->textColour;
        break;
    }
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2: {
        const TextBody* b = record->Body<TextBody>();
        ShapeToStyle(*b, style);
        style.font = b->font;
        style.foreColour = b->textColour;
        if (record->kind == ELEMENT_SUBSCRIPT1)
            style.scrollMode = b->scrollMode;
        break;
    }
    case ELEMENT_IMAGE:
        style.fillFlag = record->Body<ImageBody>()->transparentFlag ? 0 : 1;
        break;
    default:
        break; // kinds 8 and 10: text only, or nothing
    }
    if (ElementHasText(record->kind)) {
        // Truncated to the buffer, always terminated.
        std::string text = record->Text();
        size_t n = std::min(text.size(), sizeof style.text - 1);
        std::memcpy(style.text, text.data(), n);
        style.text[n] = '\0';
    }
    return true;
} catch (...) {
    return false;
}

// --- selection -----------------------------------------------------------------------------

int CElementList::Select(ElementRecord* record) try {
    if (!record || IndexOf(record) < 0)
        return -1;
    m_selection.push_back(record);
    return 0;
} catch (...) {
    return -1;
}

int CElementList::Deselect(const ElementRecord* record) {
    return std::erase(m_selection, record) > 0 ? 0 : -1;
}

bool CElementList::IsSelected(const ElementRecord* record) const {
    return record && std::find(m_selection.begin(), m_selection.end(), record) != m_selection.end();
}

void CElementList::ClearSelection() {
    m_selection.clear();
}

ElementRecord* CElementList::NextSelected(int& cursor) const {
    if (cursor < 0 || static_cast<size_t>(cursor) >= m_selection.size())
        return nullptr;
    return m_selection[static_cast<size_t>(cursor++)];
}

void CElementList::MoveSelection(int32_t dx, int32_t dy) {
    for (ElementRecord* r : m_selection) {
        if (!HasBody(r))
            continue;
        switch (r->kind) {
        case ELEMENT_LINE: {
            LineBody* b = r->Body<LineBody>();
            b->x1 = AddWrap(b->x1, dx);
            b->x2 = AddWrap(b->x2, dx);
            b->y1 = AddWrap(b->y1, dy);
            b->y2 = AddWrap(b->y2, dy);
            break;
        }
        case ELEMENT_BOX2: {
            Box2Body* b = r->Body<Box2Body>();
            MoveRect(b->textRect, dx, dy);
            MovePoint(b->tip, dx, dy);
            for (ElementPoint& p : b->outline)
                MovePoint(p, dx, dy);
            break;
        }
        case ELEMENT_SUBSCRIPT1:
        case ELEMENT_SUBSCRIPT2: {
            TextBody* b = r->Body<TextBody>();
            MoveRect(b->rect, dx, dy);
            MovePoint(b->point, dx, dy);
            break;
        }
        case ELEMENT_RESERVED7:
            break; // its bytes mean nothing to this program
        default:
            MoveRect(*r->Body<ElementRect>(), dx, dy);
            break;
        }
    }
}

void CElementList::DeleteSelection() {
    m_clipboard.clear();
    // Delete() takes every reference to the element out of the selection.
    while (!m_selection.empty())
        if (Delete(m_selection.front()) != 0)
            m_selection.erase(m_selection.begin());
}

// --- clipboard -----------------------------------------------------------------------------

void CElementList::CopySelection() {
    try {
        m_clipboard = m_selection;
    } catch (...) {
        m_clipboard.clear();
    }
}

void CElementList::ClearClipboard() {
    m_clipboard.clear();
}

int CElementList::RemoveFromClipboard(const ElementRecord* record) {
    return std::erase(m_clipboard, record) > 0 ? 0 : -1;
}

int CElementList::PasteClipboard(int32_t first, int32_t last) try {
    if (first < 0 || last < first)
        return -1;
    // Appending never moves the records, so the clipboard's references stay good.
    const std::vector<ElementRecord*> sources = m_clipboard;
    for (const ElementRecord* src : sources) {
        if (!HasBody(src) || src->kind == ELEMENT_RESERVED7)
            return -1;
        auto copy = std::make_unique<ElementRecord>(*src);
        copy->firstFrame = first;
        copy->lastFrame = last;
        Append(std::move(copy));
    }
    return 0;
} catch (...) {
    return -1;
}

// --- frames --------------------------------------------------------------------------------

int CElementList::AdjustForFrames(const char* operation, int32_t a, int32_t b, int32_t c,
                                  std::vector<std::unique_ptr<ElementRecord>>* removed) try {
    if (!operation || a > b)
        return -1;
    const int64_t n = static_cast<int64_t>(b) - a + 1;
    if (strcasecmp(operation, "FRAMEPASTE") == 0) {
        for (auto& r : m_list) {
            if (r->firstFrame >= c)
                r->firstFrame = AddFrames(r->firstFrame, n);
            if (r->lastFrame >= c)
                r->lastFrame = AddFrames(r->lastFrame, n);
        }
        return 0;
    }
    if (strcasecmp(operation, "FRAMEDELETE") == 0) {
        std::vector<ElementRecord*> doomed;
        for (auto& r : m_list) {
            if (r->firstFrame >= a && r->lastFrame <= b) {
                doomed.push_back(r.get());
                continue;
            }
            if (r->firstFrame >= a)
                r->firstFrame = r->firstFrame <= b ? a : AddFrames(r->firstFrame, -n);
            if (r->lastFrame >= a)
                r->lastFrame = r->lastFrame <= b ? AddFrames(a, -1) : AddFrames(r->lastFrame, -n);
        }
        if (removed)
            removed->reserve(removed->size() + doomed.size());
        for (ElementRecord* r : doomed) {
            if (removed)
                removed->push_back(Take(r));
            else
                (void)Delete(r);
        }
        return 0;
    }
    return -1;
} catch (...) {
    return -1;
}

// --- URL links -----------------------------------------------------------------------------

int CElementList::WriteUrlLinks(const std::string& path) const try {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "we"), &std::fclose);
    if (!file)
        return -1;
    std::FILE* f = file.get();
    bool ok = true;
    for (const auto& r : m_list) {
        if (r->kind != ELEMENT_URLLINK || !HasBody(r.get()))
            continue;
        const UrlLinkBody* b = r->Body<UrlLinkBody>();
        std::string url = r->Text();
        if (std::fprintf(f, "%d, %d, %d, %d, %d, %d, %s\n", r->firstFrame, r->lastFrame, b->rect.left,
                         b->rect.top, b->rect.right, b->rect.bottom, url.c_str()) < 0)
            ok = false;
    }
    if (std::fclose(file.release()) != 0)
        ok = false;
    return ok ? 0 : -1;
} catch (...) {
    return -1;
}

} // namespace zov
