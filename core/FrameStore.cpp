// Frames of the open project: reading records, loading a frame through the cache, the
// frame table's growth, and the primitives a recording run drives.
#include "core/Ani.h"
#include "core/AniState.h"
#include "core/FrameCodec.h"

#include "base/Log.h"
#include "elements/ElementList.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <new>
#include <zlib.h>

namespace zov {

namespace {
// Largest data a stored frame may carry for an image of `size` bytes.
int64_t MaxFrameData(int32_t size) {
    const int64_t key = static_cast<int64_t>(compressBound(static_cast<uLong>(size)));
    return key > size ? key : size;
}
} // namespace

bool CAni::SetFrameEntry(int32_t index, FrameEntry entry) {
    if (index < 0)
        return false;
    size_t cap = m_store.frames.size();
    if (static_cast<size_t>(index) >= cap) {
        while (static_cast<size_t>(index) >= cap)
            cap = static_cast<size_t>(static_cast<double>(cap) * 1.1 + 10.0);
        try {
            m_store.frames.resize(cap, FrameEntry{0, 0});
        } catch (const std::bad_alloc&) {
            ZOV_LOG("alloc memory fail!");
            return false;
        }
    }
    m_store.frames[static_cast<size_t>(index)] = entry;
    return true;
}

bool CAni::ReadRecord(int32_t index, FrameHeader& header, std::vector<uint8_t>& data, bool requireSign) {
    if (index < 0 || index >= m_store.header.frameCount ||
        static_cast<size_t>(index) >= m_store.frames.size())
        return false;
    const FrameEntry& e = m_store.frames[static_cast<size_t>(index)];
    const int64_t length = m_store.file.Length();
    const int64_t off = static_cast<uint32_t>(e.offset);
    if (off < kProjectHeaderSize || off + kFrameHeaderSize > length)
        return false;
    if (!m_store.file.Seek(off) || !m_store.file.Read(&header, sizeof header))
        return false;
    if (requireSign && std::memcmp(header.sign, "SIGN", 4) != 0)
        return false;
    if (header.dataSize < 0 || (header.dataSize == 0 && e.kind != FRAME_DIFF))
        return false;
    // Sizes come from the file: bound them by the file and by what a frame can need
    // before allocating anything.
    if (off + kFrameHeaderSize + header.dataSize > length)
        return false;
    if (m_store.header.imageSize > 0 && header.dataSize > MaxFrameData(m_store.header.imageSize))
        return false;
    if (!AllocBuffer(data, static_cast<size_t>(header.dataSize)))
        return false;
    return header.dataSize == 0 || m_store.file.Read(data.data(), data.size());
}

bool CAni::ReadFrameRecord(int32_t index, FrameHeader& header, std::vector<uint8_t>& data) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    return m_mode == DOC_PROJECT && m_store.file.IsOpen() && ReadRecord(index, header, data, true);
}

ProjectHeader CAni::HeaderCopy() const {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    return m_store.header;
}

std::vector<FrameEntry> CAni::FrameTableCopy() const {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    const size_t n = std::min(static_cast<size_t>(FrameCount()), m_store.frames.size());
    return std::vector<FrameEntry>(m_store.frames.begin(),
                                   m_store.frames.begin() + static_cast<std::ptrdiff_t>(n));
}

std::vector<ElementRecord> CAni::ElementsCopy() const {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    std::vector<ElementRecord> out;
    out.reserve(static_cast<size_t>(m_elements->Count()));
    for (int i = 0; i < m_elements->Count(); ++i)
        out.push_back(*m_elements->At(i));
    return out;
}

bool CAni::LoadFrame(int32_t index, uint8_t* image, FrameHeader* header, bool drawElements) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!LoadFrameLocked(index, image, header))
        return false;
    if (drawElements)
        (void)PaintElements(index, image);
    return true;
}

void CAni::SetElementPainter(ElementPainter painter) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    m_painter = std::move(painter);
}

bool CAni::PaintElements(int32_t index, uint8_t* image) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    ElementPaintJob job;
    job.list = m_elements.get();
    job.index = index;
    job.image = image;
    return RunPainter(job);
}

bool CAni::PaintElementsForExport(int32_t index, uint8_t* image, const std::vector<ElementRecord>& snapshot) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    ElementPaintJob job;
    job.list = m_elements.get();
    job.snapshot = &snapshot;
    job.index = index;
    job.image = image;
    job.exporting = true;
    return RunPainter(job);
}

bool CAni::RunPainter(ElementPaintJob& job) {
    if (!m_painter || !job.image || m_mode != DOC_PROJECT || m_store.header.imageSize <= 0 ||
        m_store.header.bmi.biWidth <= 0 || m_store.header.bmi.biHeight <= 0 ||
        RowBytes24(m_store.header.bmi.biWidth) * m_store.header.bmi.biHeight != m_store.header.imageSize)
        return false;
    job.frameCount = FrameCount();
    job.width = m_store.header.bmi.biWidth;
    job.height = m_store.header.bmi.biHeight;
    m_painter(job);
    return true;
}

bool CAni::LoadFrame(int32_t index, std::vector<uint8_t>& image, FrameHeader& header) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (m_mode != DOC_PROJECT || m_store.header.imageSize <= 0 || m_store.header.imageSize > kMaxImageBytes)
        return false;
    if (!AllocBuffer(image, static_cast<size_t>(m_store.header.imageSize)))
        return false;
    return LoadFrameLocked(index, image.data(), &header);
}

bool CAni::LoadFrame(int32_t index, Image24& out) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (m_mode != DOC_PROJECT || m_store.header.imageSize <= 0 || m_store.header.imageSize > kMaxImageBytes ||
        m_store.header.bmi.biWidth <= 0 || m_store.header.bmi.biHeight <= 0 ||
        int64_t(Image24::RowBytes(m_store.header.bmi.biWidth)) * m_store.header.bmi.biHeight !=
            m_store.header.imageSize)
        return false;
    try {
        out.Allocate(m_store.header.bmi.biWidth, m_store.header.bmi.biHeight);
    } catch (const std::bad_alloc&) {
        ZOV_LOG("alloc memory fail");
        return false;
    }
    auto header = std::make_unique<FrameHeader>();
    return LoadFrameLocked(index, out.bits.data(), header.get());
}

void CAni::CacheFrame(int32_t index, const uint8_t* image, int32_t size, const FrameHeader& header) {
    // A frame that cannot be cached is decoded again next time; the load itself goes on.
    try {
        m_cache.Add(index, image, size, header);
    } catch (const std::bad_alloc&) {
        ZOV_LOG("alloc memory fail");
    }
}

bool CAni::LoadFrameLocked(int32_t index, uint8_t* image, FrameHeader* headerOut) {
    if (m_mode != DOC_PROJECT || !m_store.file.IsOpen() || !image)
        return false;
    const int32_t size = m_store.header.imageSize;
    if (index < 0 || index >= m_store.header.frameCount ||
        static_cast<size_t>(index) >= m_store.frames.size() || size <= 0 || size > kMaxImageBytes)
        return false;
    auto header = std::make_unique<FrameHeader>();
    if (m_cache.Lookup(index, image, size, header.get())) {
        if (headerOut)
            *headerOut = *header;
        return true;
    }
    // A difference frame needs the picture before it: walk back to a cached frame or a key
    // frame, then decode forward in place over the running picture. (A walk, not recursion,
    // so a long run of difference frames in a hostile file cannot exhaust the stack.)
    int32_t start = index;
    bool fromCache = false;
    for (;; --start) {
        if (start < 0)
            return false;
        if (start != index && m_cache.Lookup(start, image, size, header.get())) {
            fromCache = true;
            break;
        }
        const int32_t kind = m_store.frames[static_cast<size_t>(start)].kind;
        if (kind == FRAME_KEY)
            break;
        if (kind != FRAME_DIFF)
            return false;
    }
    int32_t j = start;
    if (!fromCache) {
        if (!ReadRecord(start, *header, m_readBuf, true) ||
            !DecodeKeyFrame(*header, m_readBuf.data(), size, image))
            return false;
        CacheFrame(start, image, size, *header);
    }
    for (++j; j <= index; ++j) {
        if (m_store.frames[static_cast<size_t>(j)].kind != FRAME_DIFF)
            return false;
        if (!ReadRecord(j, *header, m_readBuf, true) ||
            !DecodeDiffFrame(*header, image, m_readBuf.data(), size, image))
            return false;
        CacheFrame(j, image, size, *header);
    }
    if (headerOut)
        *headerOut = *header;
    return true;
}

bool CAni::WriteRecordAtEnd(const FrameHeader& header, const uint8_t* data, int32_t& offset) {
    const int64_t pos = m_store.appendPos;
    // The record and the index written after it must both stay below 2^31.
    if (pos + kFrameHeaderSize + header.dataSize + IndexBytes(1) > kMaxFileOffset) {
        SetLastMessage("the project file would grow past 2 GiB; the frame was not stored");
        return false;
    }
    if (!m_store.file.Seek(pos) || !m_store.file.Write(&header, sizeof header) ||
        (header.dataSize > 0 && !m_store.file.Write(data, static_cast<size_t>(header.dataSize)))) {
        ZOV_LOG("write file fail");
        return false;
    }
    offset = static_cast<int32_t>(pos);
    m_store.appendPos = pos + kFrameHeaderSize + header.dataSize;
    m_store.dataEnd = m_store.appendPos;
    return true;
}

bool CAni::BeginCaptureRun(int32_t width, int32_t height, std::chrono::system_clock::time_point start) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail"))
        return false;
    if (width <= 0 || height <= 0) {
        SetLastMessage("the capture area is empty");
        return false;
    }
    const int64_t imageSize = RowBytes24(width) * height;
    if (imageSize > kMaxImageBytes) {
        SetLastMessage(TooLargeAreaMessage(width, height));
        return false;
    }
    if (m_store.header.frameCount > 0 &&
        (m_store.header.bmi.biWidth != width || m_store.header.bmi.biHeight != height)) {
        SetLastMessage("the capture area of " + std::to_string(width) + " x " + std::to_string(height) +
                       " differs from the " + std::to_string(m_store.header.bmi.biWidth) + " x " +
                       std::to_string(m_store.header.bmi.biHeight) +
                       " frames of this project; record into a new project");
        return false;
    }
    if (!AllocBuffer(m_encodeBuf, static_cast<size_t>(imageSize)))
        return false;
    m_cache.Disable();
    m_store.header.rowBytes = static_cast<int32_t>(RowBytes24(width));
    m_store.header.imageSize = static_cast<int32_t>(imageSize);
    m_cache.Follow(m_store.header.imageSize);
    m_store.header.table2Count = 0;
    m_store.header.table3Count = 0;
    m_store.header.bmi =
        BitmapInfoHeader{40, width, height, 1, 24, 0, static_cast<uint32_t>(imageSize), 0, 0, 0, 0};
    FormatStartTime(m_store.header.startTime,
                    std::chrono::duration_cast<std::chrono::milliseconds>(start.time_since_epoch()).count());
    const int64_t length = m_store.file.Length();
    if (length > m_store.appendPos)
        m_store.appendPos = length;
    return true;
}

bool CAni::AppendCapturedFrame(const uint8_t* current, const uint8_t* previous, int32_t kind,
                               int32_t pointerX, int32_t pointerY, int32_t pointerShape) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail") || !current)
        return false;
    const int32_t size = m_store.header.imageSize;
    if (size <= 0 || size > kMaxImageBytes)
        return false;
    if (m_encodeBuf.size() < static_cast<size_t>(size) &&
        !AllocBuffer(m_encodeBuf, static_cast<size_t>(size)))
        return false;
    FrameHeader h;
    InitFrameHeader(h, 1);
    h.pointerX = pointerX;
    h.pointerY = pointerY;
    h.pointerShape = pointerShape;
    bool ok;
    if (kind == FRAME_DIFF)
        ok = previous && EncodeDiffFrame(h, previous, current, size, m_encodeBuf.data());
    else if (kind == FRAME_KEY)
        ok = EncodeKeyFrame(h, current, size, m_encodeBuf.data(), static_cast<size_t>(size));
    else
        ok = false;
    if (!ok)
        return false;
    int32_t offset = 0;
    if (!WriteRecordAtEnd(h, m_encodeBuf.data(), offset))
        return false;
    if (!SetFrameEntry(m_store.header.frameCount, FrameEntry{offset, kind}))
        return false;
    m_store.header.frameCount += 1;
    return true;
}

bool CAni::AppendCursorRecord(const void* bytes, size_t size) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!m_store.sideFile.IsOpen() || !bytes || size == 0)
        return false;
    const int64_t end = m_store.sideFile.Length();
    return end >= 0 && m_store.sideFile.Seek(end) && m_store.sideFile.Write(bytes, size);
}

} // namespace zov
