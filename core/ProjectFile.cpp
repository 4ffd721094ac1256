// The project file: new, open, write index, save as, check. Writes are ordered so that the
// file on disk always holds a complete state: new bytes go after everything the committed
// header refers to, then a flush, then the header (with a journal copy for a torn header).
#include "core/Ani.h"
#include "core/AniState.h"
#include "core/FrameCodec.h"

#include "base/Log.h"
#include "base/Path.h"
#include "elements/ElementList.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace zov {

namespace {

constexpr char kJournalMagic[4] = {'Z', 'O', 'V', 'J'};
constexpr char kJournalEnd[4] = {'J', 'E', 'N', 'D'};

struct LoadedIndex {
    std::vector<FrameEntry> frames;
    std::vector<Table2Record> t2;
    std::vector<Table3Record> t3;
    std::vector<Table4Record> t4;
    std::unique_ptr<CElementList> elements;
    int64_t indexEnd = 0;
    int64_t blockOffset = 0;
};

int64_t TablesBytes(const ProjectHeader& h) {
    return int64_t(h.frameCount) * 8 + int64_t(h.table2Count) * kTable2RecordSize +
           int64_t(h.table3Count) * kTable3RecordSize + int64_t(h.table4Count) * kTable4RecordSize;
}

template <class T> bool ReadTable(BinFile& f, int32_t count, std::vector<T>& out) {
    out.assign(static_cast<size_t>(count), T{});
    return count == 0 || f.Read(out.data(), sizeof(T) * out.size());
}

// Reads the tables and the element block a header points to. Every count and offset is
// checked against the file length before anything is allocated.
bool ReadIndex(BinFile& f, const ProjectHeader& h, int64_t length, LoadedIndex& out) {
    if (h.frameCount < 0 || h.table2Count < 0 || h.table3Count < 0 || h.table4Count < 0)
        return false;
    if (h.frameDataEnd < kProjectHeaderSize)
        return false;
    const int64_t tables = TablesBytes(h);
    if (int64_t(h.frameDataEnd) + tables + 16 > length)
        return false;
    if (!f.Seek(h.frameDataEnd) || !ReadTable(f, h.frameCount, out.frames) ||
        !ReadTable(f, h.table2Count, out.t2) || !ReadTable(f, h.table3Count, out.t3) ||
        !ReadTable(f, h.table4Count, out.t4))
        return false;
    out.elements = std::make_unique<CElementList>();
    out.blockOffset = int64_t(h.frameDataEnd) + tables;
    if (!f.Seek(out.blockOffset) || out.elements->Read(f, h.version) != 0)
        return false;
    out.indexEnd = f.Tell();
    return true;
}

// A frame needs a geometry the frame format can hold.
bool GeometryOk(const ProjectHeader& h) {
    if (h.frameCount <= 0)
        return true;
    return h.imageSize > 0 && h.imageSize <= kMaxImageBytes && h.bmi.biWidth > 0 && h.bmi.biHeight > 0 &&
           h.rowBytes == RowBytes24(h.bmi.biWidth) && int64_t(h.rowBytes) * h.bmi.biHeight == h.imageSize;
}

// The entry checks of check file; with `log` each failure writes its log line.
bool CheckEntries(BinFile& f, const std::vector<FrameEntry>& frames, int32_t count, int64_t length,
                  bool log) {
    FrameHeader fh;
    for (int32_t i = 0; i < count; ++i) {
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
    return true;
}

bool ReadJournal(BinFile& f, int64_t length, ProjectHeader& out) {
    HeaderJournal j;
    if (length < int64_t(sizeof j) + kProjectHeaderSize || !f.Seek(length - int64_t(sizeof j)) ||
        !f.Read(&j, sizeof j))
        return false;
    if (std::memcmp(j.magic, kJournalMagic, 4) != 0 || std::memcmp(j.end, kJournalEnd, 4) != 0)
        return false;
    if (crc32(0L, reinterpret_cast<const Bytef*>(&j.header), sizeof j.header) != j.crc)
        return false;
    out = j.header;
    return true;
}

std::string FolderWithoutSeparator(const std::string& path) {
    std::string folder = FolderPart(path);
    if (folder.empty())
        return ".";
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

void SyncFolder(const std::string& folder) {
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)fsync(fd);
        ::close(fd);
    }
}

} // namespace

bool CAni::NewProject(std::string& path, bool streamFlag) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (streamFlag) {
        path = ReplaceExtension(path, "zov");
        Close();
        m_path = path;
        m_mode = DOC_STREAM;
        return true;
    }
    path = ReplaceExtension(path, "scp");
    BinFile f;
    if (!f.Open(path, BinFile::Mode::CreateTruncate)) {
        SetLastMessage("can not create file " + path);
        return false;
    }
    ProjectHeader h{};
    std::memcpy(h.magic, kProjectMagic, 4);
    h.version = kProjectVersion;
    h.frameDelay = m_defaultFrameDelay;
    h.blockWidth = kBlockWidthPixels;
    h.bitsPerPixel = 24;
    h.captureRight = m_screenWidth;
    h.captureBottom = m_screenHeight;
    h.recordPointer = m_defaultRecordPointer ? 1 : 0;
    h.keyFrameInterval = kDefaultKeyFrameInterval;
    h.frameDataEnd = kProjectHeaderSize;
    if (!f.Seek(0) || !f.Write(&h, sizeof h)) {
        ZOV_LOG("Write Fail");
        return false;
    }
    Close();
    m_mode = DOC_PROJECT;
    m_path = path;
    m_folder = FolderWithoutSeparator(path);
    m_sidePath = (m_folder == "/" ? std::string() : m_folder) + "/" + kSideFileName;
    if (!m_sideFile.Open(m_sidePath, BinFile::Mode::CreateTruncate))
        ZOV_LOG("E: Fail");
    m_header = h;
    m_file = std::move(f);
    m_frames.clear();
    m_elements->Clear();
    m_cache.Enable(m_header.imageSize);
    m_appendPos = kProjectHeaderSize;
    m_diskVersion = kProjectVersion;
    m_recordWindow = 0;
    m_recordWindowFlag = false;
    return CommitIndexAt(kProjectHeaderSize);
}

bool CAni::OpenProject(std::string& path) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    BinFile f;
    if (!f.Open(path, BinFile::Mode::ReadWrite)) {
        path = ReplaceExtension(path, "scp");
        if (!f.Open(path, BinFile::Mode::ReadWrite)) {
            SetLastMessage("can not open file!!");
            return false;
        }
    }
    const int64_t length = f.Length();
    ProjectHeader h{};
    if (length < kProjectHeaderSize || !f.Seek(0) || !f.Read(&h, sizeof h) ||
        std::memcmp(h.magic, kProjectMagic, 4) != 0) {
        SetLastMessage(m_notProjectText);
        return false;
    }
    if (static_cast<int32_t>(h.version) < static_cast<int32_t>(kOldestProjectVersion)) {
        SetLastMessage("this is an old version zov recorder file, please convert it to a new version.");
        return false;
    }
    LoadedIndex index;
    bool indexOk = ReadIndex(f, h, length, index) && GeometryOk(h);
    bool checkOk = indexOk && CheckEntries(f, index.frames, h.frameCount, length, true);
    bool recovered = false;
    if (!checkOk) {
        // A crash while the header was written leaves its journal at the end of the file.
        ProjectHeader jh{};
        LoadedIndex jindex;
        if (ReadJournal(f, length, jh) && std::memcmp(jh.magic, kProjectMagic, 4) == 0 &&
            static_cast<int32_t>(jh.version) >= static_cast<int32_t>(kOldestProjectVersion) &&
            ReadIndex(f, jh, length, jindex) && GeometryOk(jh) &&
            CheckEntries(f, jindex.frames, jh.frameCount, length, false)) {
            h = jh;
            index = std::move(jindex);
            recovered = true;
            indexOk = checkOk = true;
        }
    }
    if (!indexOk) {
        // The open document stays as it was.
        SetLastMessage("this is a damaged file!");
        return false;
    }
    if (!checkOk) {
        Close();
        SetLastMessage("this is a damaged file!");
        return false;
    }
    if (recovered) {
        ZOV_LOG("project header restored from its journal");
        if (!f.Seek(0) || !f.Write(&h, sizeof h) || !f.Sync() || !f.Truncate(index.indexEnd))
            ZOV_LOG("Write Fail");
    }
    const uint32_t diskVersion = h.version;
    h.version = kProjectVersion;

    Close();
    m_path = path;
    m_folder = FolderWithoutSeparator(path);
    m_sidePath = (m_folder == "/" ? std::string() : m_folder) + "/" + kSideFileName;
    if (!m_sideFile.Open(m_sidePath, BinFile::Mode::CreateTruncate))
        ZOV_LOG("E: Fail");
    m_header = h;
    m_frames = std::move(index.frames);
    m_table2 = std::move(index.t2);
    m_table3 = std::move(index.t3);
    m_table4 = std::move(index.t4);
    m_appendPos = f.Length();
    m_file = std::move(f);
    // The list that was checked is read again into the document's own list object.
    if (!ReloadElements(static_cast<int32_t>(index.blockOffset), diskVersion)) {
        ResetDocumentState();
        SetLastMessage("this is a damaged file!");
        return false;
    }
    m_diskVersion = diskVersion;
    m_cache.Enable(m_header.imageSize);
    m_recordWindow = 0;
    m_recordWindowFlag = false;
    m_mode = DOC_PROJECT;
    m_currentFrame = m_header.frameCount > 0 ? 0 : -1;
    ClearLastMessage();
    return true;
}

int64_t CAni::IndexBytes(int32_t extraFrames) const {
    ProjectHeader h = m_header;
    h.frameCount += extraFrames;
    return TablesBytes(h) + 16 + m_elements->TotalBytes() + int64_t(sizeof(HeaderJournal));
}

bool CAni::WriteIndex() {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail"))
        return false;
    return CommitIndexAt(m_appendPos);
}

bool CAni::CommitIndexAt(int64_t at) {
    if (at < kProjectHeaderSize || at > kMaxFileOffset) {
        SetLastMessage("the project file would grow past 2 GiB; the edit was not made");
        return false;
    }
    const ProjectHeader& h = m_header;
    if (h.frameCount < 0 || size_t(h.frameCount) > m_frames.size() || h.table2Count < 0 ||
        size_t(h.table2Count) > m_table2.size() || h.table3Count < 0 ||
        size_t(h.table3Count) > m_table3.size() || h.table4Count < 0 ||
        size_t(h.table4Count) > m_table4.size()) {
        ZOV_LOG("E: Fail");
        return false;
    }
    // The tables are written whenever they hold records, so that a project whose frames were
    // all deleted still has its tables where its header says.
    std::vector<uint8_t> bytes;
    bytes.reserve(static_cast<size_t>(TablesBytes(h)));
    auto append = [&bytes](const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        bytes.insert(bytes.end(), b, b + n);
    };
    append(m_frames.data(), sizeof(FrameEntry) * size_t(h.frameCount));
    append(m_table2.data(), sizeof(Table2Record) * size_t(h.table2Count));
    append(m_table3.data(), sizeof(Table3Record) * size_t(h.table3Count));
    append(m_table4.data(), sizeof(Table4Record) * size_t(h.table4Count));
    const int64_t blockAt = at + int64_t(bytes.size());
    std::vector<uint8_t> block;
    if (blockAt > kMaxFileOffset || m_elements->BuildBlock(blockAt, block) != 0) {
        ZOV_LOG("Save Elements Fail");
        return false;
    }
    bytes.insert(bytes.end(), block.begin(), block.end());
    const int64_t end = at + int64_t(bytes.size());
    if (end > kMaxFileOffset) {
        SetLastMessage("the project file would grow past 2 GiB; the edit was not made");
        return false;
    }
    ProjectHeader disk = h;
    disk.frameDataEnd = static_cast<int32_t>(at);
    HeaderJournal j{};
    std::memcpy(j.magic, kJournalMagic, 4);
    j.header = disk;
    j.crc = static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(&j.header), sizeof j.header));
    std::memcpy(j.end, kJournalEnd, 4);

    if (!m_file.Seek(at) || !m_file.Write(bytes.data(), bytes.size())) {
        ZOV_LOG("Write Fail");
        return false;
    }
    const int64_t length = m_file.Length();
    if (!m_file.Seek(length > end ? length : end) || !m_file.Write(&j, sizeof j) || !m_file.Sync()) {
        ZOV_LOG("Write Fail");
        return false;
    }
    if (!m_file.Seek(0) || !m_file.Write(&disk, sizeof disk) || !m_file.Sync()) {
        ZOV_LOG("Write Fail");
        return false;
    }
    // Committed: the journal and anything past the new index are no longer referred to.
    if (!m_file.Truncate(end))
        ZOV_LOG("Truncate Fail");
    m_header.frameDataEnd = static_cast<int32_t>(at);
    m_elements->SetBlockOffset(static_cast<int32_t>(blockAt));
    m_appendPos = end;
    m_diskVersion = disk.version;
    return true;
}

bool CAni::CommitCompact(int64_t at) {
    // First commit the new state beside the old one, then move it down to `at` and cut
    // the file, once nothing refers to the bytes above it.
    const int64_t first = m_appendPos;
    if (!CommitIndexAt(first))
        return false;
    const int64_t size = IndexBytes(0) - int64_t(sizeof(HeaderJournal));
    if (at >= kProjectHeaderSize && at + size <= first)
        (void)CommitIndexAt(at);
    return true;
}

bool CAni::CheckFile() {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (m_mode != DOC_PROJECT) {
        ZOV_LOG("file type error");
        return false;
    }
    if (!m_file.IsOpen()) {
        ZOV_LOG("no opened file to check");
        return false;
    }
    if (m_header.frameCount < 0) {
        ZOV_LOG("file count fail");
        return false;
    }
    const int64_t length = m_file.Length();
    if (length < 0) {
        ZOV_LOG("seek file fail");
        return false;
    }
    if (length < kProjectHeaderSize) {
        ZOV_LOG("file length fail");
        return false;
    }
    if (m_header.frameCount < 1)
        return true;
    if (size_t(m_header.frameCount) > m_frames.size())
        return false;
    return CheckEntries(m_file, m_frames, m_header.frameCount, length, true);
}

bool CAni::SaveAs(std::string& path) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail"))
        return false;
    path = ReplaceExtension(path, "scp");
    const int32_t n = m_header.frameCount;
    const int32_t size = m_header.imageSize;
    if (n > 0 && !GeometryOk(m_header)) {
        ZOV_LOG("E: Fail");
        return false;
    }
    std::string folder = FolderWithoutSeparator(path);
    std::string temp = folder + "/.zov-save-XXXXXX";
    int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        ZOV_LOG("E: Fail");
        SetLastMessage("can not create a file in " + folder);
        return false;
    }
    mode_t mask = umask(0);
    umask(mask);
    (void)fchmod(fd, 0666 & ~mask);
    ::close(fd);
    BinFile out;
    auto fail = [&](const char* what) {
        ZOV_LOG(what);
        out.Close();
        ::unlink(temp.c_str());
        return false;
    };
    if (!out.Open(temp, BinFile::Mode::ReadWrite))
        return fail("E: Fail");
    std::vector<uint8_t> prev(static_cast<size_t>(n > 0 ? size : 0)), cur(prev.size()), enc(prev.size());
    std::vector<FrameEntry> entries(static_cast<size_t>(n));
    ProjectHeader h = m_header;
    if (!out.Seek(0) || !out.Write(&h, sizeof h))
        return fail("write file fail");
    auto fh = std::make_unique<FrameHeader>();
    std::vector<uint8_t> data;
    int64_t pos = kProjectHeaderSize;
    for (int32_t i = 0; i < n; ++i) {
        if (!ReadRecord(i, *fh, data))
            return fail("read fail");
        const bool ok = m_frames[size_t(i)].kind != FRAME_KEY
                            ? DecodeDiffFrame(*fh, prev.data(), data.data(), size, cur.data())
                            : DecodeKeyFrame(*fh, data.data(), size, cur.data());
        if (!ok)
            return fail("decode fail");
        FrameEntry e{static_cast<int32_t>(pos), FRAME_KEY};
        bool encoded;
        if (i % 10 != 0) {
            e.kind = FRAME_DIFF;
            encoded = EncodeDiffFrame(*fh, prev.data(), cur.data(), size, enc.data());
        } else {
            encoded = EncodeKeyFrame(*fh, cur.data(), size, enc.data(), enc.size());
        }
        if (!encoded)
            return fail("encode fail");
        if (pos + kFrameHeaderSize + fh->dataSize > kMaxFileOffset) {
            SetLastMessage("the copy would grow past 2 GiB; nothing was saved");
            return fail("write fail");
        }
        entries[size_t(i)] = e;
        if (!out.Seek(pos) || !out.Write(fh.get(), sizeof *fh) ||
            (fh->dataSize > 0 && !out.Write(enc.data(), size_t(fh->dataSize))))
            return fail("write fail");
        pos += kFrameHeaderSize + fh->dataSize;
        prev.swap(cur);
    }
    h.frameDataEnd = static_cast<int32_t>(pos);
    h.table2Count = h.table3Count = h.table4Count = 0;
    std::vector<uint8_t> bytes(reinterpret_cast<const uint8_t*>(entries.data()),
                               reinterpret_cast<const uint8_t*>(entries.data()) +
                                   entries.size() * sizeof(FrameEntry));
    std::vector<uint8_t> block;
    if (m_elements->BuildBlock(pos + int64_t(bytes.size()), block) != 0)
        return fail("Save Elements Fail");
    bytes.insert(bytes.end(), block.begin(), block.end());
    if (pos + int64_t(bytes.size()) > kMaxFileOffset) {
        SetLastMessage("the copy would grow past 2 GiB; nothing was saved");
        return fail("fail");
    }
    if (!out.Seek(pos) || !out.Write(bytes.data(), bytes.size()))
        return fail("fail");
    if (!out.Seek(0) || !out.Write(&h, sizeof h))
        return fail("write file fail");
    if (!out.Sync())
        return fail("write file fail");
    out.Close();
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        ::unlink(temp.c_str());
        SetLastMessage("can not replace " + path);
        return false;
    }
    SyncFolder(folder);
    Close();
    std::string reopen = path;
    return OpenProject(reopen);
}

} // namespace zov
