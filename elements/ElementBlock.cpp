// The element block of the project file: a 16-byte header (count, total bytes B, the block's
// own file offset, reserved), then B bytes of records, each the 20-byte record header, the
// fixed body of its kind and its tail.
#include "base/BinFile.h"
#include "elements/ElementList.h"

#include <cstring>

namespace zov {

namespace {

constexpr size_t kBlockHeaderSize = 16;
constexpr size_t kRecordHeaderSize = 20;

int32_t GetI32(const uint8_t* p) {
    uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
    return static_cast<int32_t>(v);
}
uint32_t GetU32(const uint8_t* p) {
    return static_cast<uint32_t>(GetI32(p));
}

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v >> 16));
    out.push_back(uint8_t(v >> 24));
}
void PutI32(std::vector<uint8_t>& out, int32_t v) {
    PutU32(out, static_cast<uint32_t>(v));
}

void SetU32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// In memory the tails live in the record; the body's pointer fields carry nothing.
void ClearPointerFields(int32_t kind, uint8_t* body) {
    switch (kind) {
    case ELEMENT_BOX2:
        SetU32(body + offsetof(Box2Body, tailPointer), 0);
        break;
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2:
        SetU32(body + offsetof(TextBody, tailPointer), 0);
        break;
    case ELEMENT_URLLINK:
        SetU32(body + offsetof(UrlLinkBody, tailPointer), 0);
        break;
    case ELEMENT_IMAGE:
        SetU32(body + offsetof(ImageBody, tailPointer), 0);
        // The second buffer is never stored.
        SetU32(body + offsetof(ImageBody, secondLength), 0);
        SetU32(body + offsetof(ImageBody, secondPointer), 0);
        break;
    default:
        break;
    }
}

} // namespace

int CElementList::ParseRecords(const uint8_t* data, size_t size, int32_t count, bool oldImages,
                               int64_t& adjust) {
    size_t pos = 0;
    adjust = 0;
    for (int32_t i = 0; i < count; ++i) {
        if (size - pos < kRecordHeaderSize)
            return -1;
        const uint8_t* h = data + pos;
        auto r = std::make_unique<ElementRecord>();
        r->size = GetU32(h);
        r->firstFrame = GetI32(h + 4);
        r->lastFrame = GetI32(h + 8);
        r->kind = GetI32(h + 12);
        pos += kRecordHeaderSize;
        if (r->kind < 0 || r->kind >= kElementKindCount)
            return -1;
        const size_t fixed = ElementFixedBodySize(r->kind);
        const bool oldImage = oldImages && r->kind == ELEMENT_IMAGE;
        const size_t stored = oldImage ? kOldImageBodySize : fixed;
        if (size - pos < stored)
            return -1;
        if (!ElementHasTail(r->kind)) {
            if (r->size != fixed)
                return -1;
            r->body.assign(data + pos, data + pos + fixed);
            pos += fixed;
        } else {
            r->body.assign(fixed, 0); // an old image body keeps its transparent flag 0
            std::memcpy(r->body.data(), data + pos, stored);
            pos += stored;
            const int32_t tailLength = GetI32(r->body.data() + ElementTailLengthOffset(r->kind));
            if (tailLength < 0 || uint64_t{r->size} != uint64_t{stored} + uint64_t(tailLength))
                return -1;
            if (size - pos < static_cast<size_t>(tailLength))
                return -1;
            r->tail.assign(data + pos, data + pos + tailLength);
            pos += static_cast<size_t>(tailLength);
            ClearPointerFields(r->kind, r->body.data());
            if (oldImage) {
                r->size += static_cast<uint32_t>(fixed - stored);
                adjust += static_cast<int64_t>(fixed - stored);
            }
        }
        Append(std::move(r));
    }
    // Every byte of B must belong to a record: a count smaller than the records is a fault.
    return pos == size ? 0 : -1;
}

int CElementList::Read(BinFile& f, uint32_t version) try {
    if (m_count != 0 || m_total != 0 || !m_list.empty())
        return -1;
    const int64_t p = f.Tell();
    if (p < 1 || p > INT32_MAX)
        return -1;
    uint8_t header[kBlockHeaderSize];
    if (!f.Read(header, sizeof header))
        return -1;
    const int32_t count = GetI32(header);
    const int32_t total = GetI32(header + 4);
    const int32_t offset = GetI32(header + 8);
    const int32_t reserved = GetI32(header + 12);
    if (offset != p || count < 0 || total < 0)
        return -1;
    if (total == 0)
        return 0;
    // Refuse what the file cannot hold before allocating anything for it.
    const int64_t length = f.Length();
    if (length < 0 || total > length - f.Tell())
        return -1;
    if (static_cast<int64_t>(count) * static_cast<int64_t>(kRecordHeaderSize) > total)
        return -1;
    std::vector<uint8_t> data(static_cast<size_t>(total));
    if (!f.Read(data.data(), data.size()))
        return -1;
    int64_t adjust = 0;
    if (ParseRecords(data.data(), data.size(), count, version == kOldImageBodyVersion, adjust) != 0)
        return -1;
    if (m_total != static_cast<int64_t>(total) + adjust)
        return -1;
    m_count = count;
    m_blockOffset = static_cast<int32_t>(p);
    m_reserved = reserved;
    return 0;
} catch (...) {
    return -1;
}

int CElementList::BuildBlock(int64_t position, std::vector<uint8_t>& out) const try {
    out.clear();
    if (position < 1 || position > INT32_MAX)
        return -1;
    int64_t total = 0;
    for (const auto& r : m_list) {
        if (r->kind == ELEMENT_RESERVED7 || r->kind < 0 || r->kind >= kElementKindCount ||
            r->body.size() != ElementFixedBodySize(r->kind) || (!ElementHasTail(r->kind) && !r->tail.empty()))
            return -1;
        total += static_cast<int64_t>(kRecordHeaderSize + r->body.size() + r->tail.size());
    }
    // The header and the offsets are i32; a block that cannot be described is not written.
    if (total > INT32_MAX || position + static_cast<int64_t>(kBlockHeaderSize) + total > INT32_MAX)
        return -1;
    out.reserve(kBlockHeaderSize + static_cast<size_t>(total));
    PutI32(out, static_cast<int32_t>(m_list.size()));
    PutI32(out, static_cast<int32_t>(total));
    PutI32(out, static_cast<int32_t>(position));
    PutI32(out, m_reserved);
    for (const auto& r : m_list) {
        // Sizes and tail lengths are taken from the tail itself, so what is written always reads.
        const uint32_t tailLength = static_cast<uint32_t>(r->tail.size());
        PutU32(out, static_cast<uint32_t>(r->body.size()) + tailLength);
        PutI32(out, r->firstFrame);
        PutI32(out, r->lastFrame);
        PutI32(out, r->kind);
        PutU32(out, 0);
        const size_t at = out.size();
        out.insert(out.end(), r->body.begin(), r->body.end());
        ClearPointerFields(r->kind, out.data() + at);
        if (ElementHasTail(r->kind))
            SetU32(out.data() + at + ElementTailLengthOffset(r->kind), tailLength);
        out.insert(out.end(), r->tail.begin(), r->tail.end());
    }
    return 0;
} catch (...) {
    return -1;
}

int CElementList::Write(BinFile& f) try {
    const int64_t p = f.Tell();
    std::vector<uint8_t> block;
    if (BuildBlock(p, block) != 0)
        return -1;
    // One write for the whole block: a crash tears at most this one write.
    if (!f.Write(block.data(), block.size()))
        return -1;
    m_blockOffset = static_cast<int32_t>(p);
    return 0;
} catch (...) {
    return -1;
}

} // namespace zov
