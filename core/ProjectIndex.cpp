#include "core/ProjectIndex.h"

#include "base/Log.h"
#include "elements/ElementList.h"

#include <cstdio>
#include <cstring>
#include <zlib.h>

namespace zov {

namespace {

constexpr char kJournalMagic[4] = {'Z', 'O', 'V', 'J'};
constexpr char kJournalEnd[4] = {'J', 'E', 'N', 'D'};

template <class T> bool ReadTable(BinFile& f, int32_t count, std::vector<T>& out) {
    out.assign(static_cast<size_t>(count), T{});
    return count == 0 || f.Read(out.data(), sizeof(T) * out.size());
}

template <class T> void Append(std::vector<uint8_t>& bytes, const std::vector<T>& table, int32_t count) {
    const auto* p = reinterpret_cast<const uint8_t*>(table.data());
    bytes.insert(bytes.end(), p, p + sizeof(T) * size_t(count));
}

uint32_t HeaderCrc(const ProjectHeader& h) {
    return static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(&h), sizeof h));
}

} // namespace

bool IsOldProjectVersion(uint32_t version) {
    return static_cast<int32_t>(version) < static_cast<int32_t>(kOldestProjectVersion);
}

HeaderCheck CheckProjectHeader(const ProjectHeader& h) {
    if (std::memcmp(h.magic, kProjectMagic, 4) != 0)
        return HeaderCheck::NotProject;
    if (IsOldProjectVersion(h.version))
        return HeaderCheck::OldVersion;
    // The fields that decide how frames decode; a project without frames has no image
    // header yet (its bit count is 0 until the first frame).
    if (h.blockWidth != kBlockWidthPixels || h.bitsPerPixel != 24 ||
        (h.frameCount > 0 && h.bmi.biBitCount != 24))
        return HeaderCheck::Unsupported;
    return HeaderCheck::Ok;
}

std::string UnsupportedHeaderText(const ProjectHeader& h) {
    return "this project stores its frames in a form this program does not read (blocks of " +
           std::to_string(h.blockWidth) + " pixels, " + std::to_string(h.bitsPerPixel) + " stored bits, " +
           std::to_string(h.bmi.biBitCount) + "-bit images; it reads blocks of 32 pixels, 24 bits)";
}

HeaderCheck ReadProjectHeader(BinFile& f, int64_t length, ProjectHeader& out) {
    if (length < kProjectHeaderSize || !f.Seek(0) || !f.Read(&out, sizeof out))
        return HeaderCheck::NotProject;
    return CheckProjectHeader(out);
}

int64_t IndexTablesBytes(const ProjectHeader& h) {
    return int64_t(h.frameCount) * int64_t(sizeof(FrameEntry)) + int64_t(h.table2Count) * kTable2RecordSize +
           int64_t(h.table3Count) * kTable3RecordSize + int64_t(h.table4Count) * kTable4RecordSize;
}

bool IndexGeometryOk(const ProjectHeader& h) {
    if (h.frameCount <= 0)
        return true;
    return h.imageSize > 0 && h.imageSize <= kMaxImageBytes && h.bmi.biWidth > 0 && h.bmi.biHeight > 0 &&
           h.rowBytes == RowBytes24(h.bmi.biWidth) && int64_t(h.rowBytes) * h.bmi.biHeight == h.imageSize;
}

bool ReadIndex(BinFile& f, const ProjectHeader& h, int64_t length, LoadedIndex& out) {
    if (h.frameCount < 0 || h.table2Count < 0 || h.table3Count < 0 || h.table4Count < 0)
        return false;
    if (h.frameDataEnd < kProjectHeaderSize)
        return false;
    const int64_t tables = IndexTablesBytes(h);
    if (int64_t(h.frameDataEnd) + tables + 16 > length)
        return false;
    IndexTables& t = out.tables;
    if (!f.Seek(h.frameDataEnd) || !ReadTable(f, h.frameCount, t.frames) ||
        !ReadTable(f, h.table2Count, t.t2) || !ReadTable(f, h.table3Count, t.t3) ||
        !ReadTable(f, h.table4Count, t.t4))
        return false;
    out.elements = std::make_unique<CElementList>();
    out.blockOffset = int64_t(h.frameDataEnd) + tables;
    if (!f.Seek(out.blockOffset) || out.elements->Read(f, h.version) != 0)
        return false;
    out.indexEnd = f.Tell();
    return true;
}

bool CheckIndexEntries(BinFile& f, const std::vector<FrameEntry>& frames, int32_t count, int64_t length,
                       bool log, int32_t* failed, const std::atomic<bool>* cancel) {
    if (count < 0 || size_t(count) > frames.size())
        return false;
    FrameHeader fh;
    for (int32_t i = 0; i < count; ++i) {
        if (failed)
            *failed = i;
        if (cancel && (i & 255) == 0 && cancel->load(std::memory_order_relaxed))
            return false;
        const FrameEntry& e = frames[static_cast<size_t>(i)];
        const uint32_t off = static_cast<uint32_t>(e.offset);
        if (off < uint32_t(kProjectHeaderSize) || int64_t(off) >= length) {
            if (log)
                ZOV_LOG("frame header offset fail");
            return false;
        }
        if (!f.Seek(off)) {
            if (log)
                ZOV_LOG("seek fail");
            return false;
        }
        if (!f.Read(&fh, sizeof fh)) {
            if (log)
                ZOV_LOG("read file fail");
            return false;
        }
        if (fh.dataSize < 0 || (fh.dataSize == 0 && e.kind != FRAME_DIFF)) {
            if (log)
                ZOV_LOG("frame size fail");
            return false;
        }
        // The record's end counts its header, so a file cut inside its last frame fails here.
        const int64_t end = int64_t(off) + kFrameHeaderSize + fh.dataSize;
        if (end >= length) {
            if (log) {
                char text[160];
                std::snprintf(text, sizeof text,
                              "frame data fail, frame size: %d, offset: %lld, frame id: %d, frame count: %d",
                              fh.dataSize, static_cast<long long>(end), i, count);
                ZOV_LOG(text);
            }
            return false;
        }
    }
    if (failed)
        *failed = -1;
    return true;
}

bool ReadHeaderJournal(BinFile& f, int64_t length, ProjectHeader& out) {
    HeaderJournal j;
    if (length < int64_t(sizeof j) + kProjectHeaderSize || !f.Seek(length - int64_t(sizeof j)) ||
        !f.Read(&j, sizeof j))
        return false;
    if (std::memcmp(j.magic, kJournalMagic, 4) != 0 || std::memcmp(j.end, kJournalEnd, 4) != 0)
        return false;
    if (HeaderCrc(j.header) != j.crc)
        return false;
    out = j.header;
    return true;
}

bool LoadProjectIndex(BinFile& f, int64_t length, ProjectHeader& h, LoadedIndex& out, bool& checkOk,
                      bool& fromJournal, const std::atomic<bool>* cancel) {
    fromJournal = false;
    bool indexOk = ReadIndex(f, h, length, out) && IndexGeometryOk(h);
    checkOk = indexOk && CheckIndexEntries(f, out.tables.frames, h.frameCount, length, true, nullptr, cancel);
    if (checkOk)
        return true;
    if (cancel && cancel->load())
        return false;
    // A crash while the header was written leaves its journal at the end of the file.
    ProjectHeader jh{};
    LoadedIndex jindex;
    if (ReadHeaderJournal(f, length, jh) && CheckProjectHeader(jh) == HeaderCheck::Ok &&
        ReadIndex(f, jh, length, jindex) && IndexGeometryOk(jh) &&
        CheckIndexEntries(f, jindex.tables.frames, jh.frameCount, length, false)) {
        h = jh;
        out = std::move(jindex);
        fromJournal = true;
        checkOk = true;
        return true;
    }
    return indexOk;
}

bool RepairHeaderFromJournal(BinFile& f, const ProjectHeader& h, int64_t indexEnd) {
    if (!f.Seek(0) || !f.Write(&h, sizeof h) || !f.Sync() || !f.Truncate(indexEnd)) {
        ZOV_LOG("Write Fail");
        return false;
    }
    return true;
}

int64_t IndexBytes(const ProjectHeader& h, const CElementList& elements) {
    return IndexTablesBytes(h) + 16 + elements.TotalBytes();
}

bool CommitIndex(BinFile& f, const ProjectHeader& header, const std::vector<FrameEntry>& frames,
                 const std::vector<Table2Record>& t2, const std::vector<Table3Record>& t3,
                 const std::vector<Table4Record>& t4, const CElementList& elements, int64_t at,
                 IndexCommit& out, bool* tooLarge) {
    if (tooLarge)
        *tooLarge = false;
    auto refuseSize = [&] {
        if (tooLarge)
            *tooLarge = true;
        return false;
    };
    if (at < kProjectHeaderSize || at > kMaxFileOffset)
        return refuseSize();
    const ProjectHeader& h = header;
    if (h.frameCount < 0 || size_t(h.frameCount) > frames.size() || h.table2Count < 0 ||
        size_t(h.table2Count) > t2.size() || h.table3Count < 0 || size_t(h.table3Count) > t3.size() ||
        h.table4Count < 0 || size_t(h.table4Count) > t4.size()) {
        ZOV_LOG("E: Fail");
        return false;
    }
    // The tables are written whenever they hold records, so that a project whose frames were
    // all deleted still has its tables where its header says.
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(IndexTablesBytes(h)));
    Append(bytes, frames, h.frameCount);
    Append(bytes, t2, h.table2Count);
    Append(bytes, t3, h.table3Count);
    Append(bytes, t4, h.table4Count);
    const int64_t blockAt = at + int64_t(bytes.size());
    std::vector<uint8_t> block;
    if (blockAt > kMaxFileOffset)
        return refuseSize();
    if (elements.BuildBlock(blockAt, block) != 0) {
        ZOV_LOG("Save Elements Fail");
        return false;
    }
    bytes.insert(bytes.end(), block.begin(), block.end());
    const int64_t end = at + int64_t(bytes.size());
    if (end > kMaxFileOffset)
        return refuseSize();
    ProjectHeader disk = h;
    disk.frameDataEnd = static_cast<int32_t>(at);
    HeaderJournal j{};
    std::memcpy(j.magic, kJournalMagic, 4);
    j.header = disk;
    j.crc = HeaderCrc(j.header);
    std::memcpy(j.end, kJournalEnd, 4);

    if (!f.Seek(at) || !f.Write(bytes.data(), bytes.size())) {
        ZOV_LOG("Write Fail");
        return false;
    }
    const int64_t length = f.Length();
    if (!f.Seek(length > end ? length : end) || !f.Write(&j, sizeof j) || !f.Sync()) {
        ZOV_LOG("Write Fail");
        return false;
    }
    if (!f.Seek(0) || !f.Write(&disk, sizeof disk) || !f.Sync()) {
        ZOV_LOG("Write Fail");
        return false;
    }
    // Committed: the journal and anything past the new index are no longer referred to.
    if (!f.Truncate(end))
        ZOV_LOG("Truncate Fail");
    out.blockOffset = blockAt;
    out.end = end;
    return true;
}

} // namespace zov
