// The project file: new, open, write index, save as, check. The index itself is read,
// checked and committed by ProjectIndex; this file decides where it goes.
#include "core/Ani.h"
#include "core/AniState.h"
#include "core/FrameCodec.h"
#include "core/ProjectIndex.h"

#include "base/Log.h"
#include "base/Path.h"
#include "elements/ElementList.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zov {

namespace {

constexpr const char* kCancelledText = "cancelled; nothing was changed";

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
    PendingEvents events(*this); // the close on the way is heard after the lock
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
    h.blockWidth = kBlockWidthPixels;
    h.bitsPerPixel = 24;
    m_capture.FillNewHeader(h);
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
    if (!m_store.sideFile.Open(m_sidePath, BinFile::Mode::CreateTruncate))
        ZOV_LOG("E: Fail");
    m_store.header = h;
    m_store.file = std::move(f);
    m_store.frames.clear();
    m_elements->Clear();
    m_cache.Enable(m_store.header.imageSize);
    m_store.appendPos = kProjectHeaderSize;
    m_store.dataEnd = kProjectHeaderSize;
    m_store.diskVersion = kProjectVersion;
    m_capture.SetRecordWindow(0, false);
    return CommitIndexAt(kProjectHeaderSize);
}

bool CAni::OpenProject(std::string& path, const std::atomic<bool>* cancel) {
    PendingEvents events(*this); // the close on the way is heard after the lock
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
    switch (ReadProjectHeader(f, length, h)) {
    case HeaderCheck::Ok:
        break;
    case HeaderCheck::NotProject:
        SetLastMessage(m_notProjectText);
        return false;
    case HeaderCheck::OldVersion:
        SetLastMessage("this is an old version zov recorder file, please convert it to a new version.");
        return false;
    case HeaderCheck::Unsupported:
        SetLastMessage(UnsupportedHeaderText(h));
        return false;
    }
    LoadedIndex index;
    bool checkOk = false, recovered = false;
    if (!LoadProjectIndex(f, length, h, index, checkOk, recovered, cancel)) {
        // The open document stays as it was.
        if (cancel && cancel->load()) {
            SetLastMessage(kCancelledText);
            return false;
        }
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
        (void)RepairHeaderFromJournal(f, h, index.indexEnd);
    }
    const uint32_t diskVersion = h.version;
    h.version = kProjectVersion;

    Close();
    m_path = path;
    m_folder = FolderWithoutSeparator(path);
    m_sidePath = (m_folder == "/" ? std::string() : m_folder) + "/" + kSideFileName;
    if (!m_store.sideFile.Open(m_sidePath, BinFile::Mode::CreateTruncate))
        ZOV_LOG("E: Fail");
    m_store.header = h;
    m_store.frames = std::move(index.tables.frames);
    m_store.table2 = std::move(index.tables.t2);
    m_store.table3 = std::move(index.tables.t3);
    m_store.table4 = std::move(index.tables.t4);
    // Bytes after the index (another writer's, or a crash's) are reclaimed by the next commit.
    m_store.appendPos = f.Length();
    m_store.dataEnd = m_store.header.frameDataEnd;
    m_store.file = std::move(f);
    // The list that was checked is read again into the document's own list object.
    if (!ReloadElements(static_cast<int32_t>(index.blockOffset), diskVersion)) {
        ResetDocumentState();
        SetLastMessage("this is a damaged file!");
        return false;
    }
    m_store.diskVersion = diskVersion;
    m_cache.Enable(m_store.header.imageSize);
    m_capture.SetRecordWindow(0, false);
    m_mode = DOC_PROJECT;
    m_currentFrame = m_store.header.frameCount > 0 ? 0 : -1;
    ClearLastMessage();
    return true;
}

int64_t CAni::IndexBytes(int32_t extraFrames) const {
    return m_store.IndexBytes(*m_elements, extraFrames);
}

bool CAni::WriteIndex() {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail"))
        return false;
    return CommitEdit();
}

bool CAni::Committed(bool ok, const IndexCommit& done, bool tooLarge) {
    if (!ok) {
        if (tooLarge)
            SetLastMessage("the project file would grow past 2 GiB; the edit was not made");
        return false;
    }
    m_elements->SetBlockOffset(static_cast<int32_t>(done.blockOffset));
    return true;
}

bool CAni::CommitIndexAt(int64_t at) {
    IndexCommit done;
    bool tooLarge = false;
    const bool ok = m_store.CommitAt(at, *m_elements, done, tooLarge);
    return Committed(ok, done, tooLarge);
}

bool CAni::CommitEdit() {
    IndexCommit done;
    bool tooLarge = false;
    const bool ok = m_store.CommitEdit(*m_elements, done, tooLarge);
    return Committed(ok, done, tooLarge);
}

bool CAni::CommitCompact(int64_t at) {
    IndexCommit done;
    bool tooLarge = false;
    const bool ok = m_store.CommitCompact(at, *m_elements, done, tooLarge);
    return Committed(ok, done, tooLarge);
}

bool CAni::CheckFile() {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (m_mode != DOC_PROJECT) {
        ZOV_LOG("file type error");
        return false;
    }
    if (!m_store.file.IsOpen()) {
        ZOV_LOG("no opened file to check");
        return false;
    }
    if (m_store.header.frameCount < 0) {
        ZOV_LOG("file count fail");
        return false;
    }
    const int64_t length = m_store.file.Length();
    if (length < 0) {
        ZOV_LOG("seek file fail");
        return false;
    }
    if (length < kProjectHeaderSize) {
        ZOV_LOG("file length fail");
        return false;
    }
    if (m_store.header.frameCount < 1)
        return true;
    return CheckIndexEntries(m_store.file, m_store.frames, m_store.header.frameCount, length, true);
}

bool CAni::SaveAs(std::string& path, const std::atomic<bool>* cancel) {
    PendingEvents events(*this); // the close on the way is heard after the lock
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail"))
        return false;
    path = ReplaceExtension(path, "scp");
    const int32_t n = m_store.header.frameCount;
    const int32_t size = m_store.header.imageSize;
    if (n > 0 && !IndexGeometryOk(m_store.header)) {
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
    std::vector<uint8_t> prev, cur, enc;
    const size_t bufferSize = static_cast<size_t>(n > 0 ? size : 0);
    if (!AllocBuffer(prev, bufferSize) || !AllocBuffer(cur, bufferSize) || !AllocBuffer(enc, bufferSize))
        return fail("E: Fail");
    std::vector<FrameEntry> entries(static_cast<size_t>(n));
    ProjectHeader h = m_store.header;
    if (!out.Seek(0) || !out.Write(&h, sizeof h))
        return fail("write file fail");
    auto fh = std::make_unique<FrameHeader>();
    std::vector<uint8_t> data;
    int64_t pos = kProjectHeaderSize;
    for (int32_t i = 0; i < n; ++i) {
        if (cancel && cancel->load(std::memory_order_relaxed)) {
            SetLastMessage(kCancelledText);
            return fail("save as cancelled");
        }
        if (!ReadRecord(i, *fh, data))
            return fail("read fail");
        const bool ok = m_store.frames[size_t(i)].kind != FRAME_KEY
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
