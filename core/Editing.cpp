// Frame editing: delete, paste, clear all and the bitmap-series append. No stored record
// is rewritten in place: a frame that loses its predecessor is stored again as a key frame
// after everything the file holds, then the tables are committed (CommitEdit). An edit
// that fails before its commit puts memory and file back as they were.
#include "core/Ani.h"
#include "core/AniState.h"
#include "core/FrameCodec.h"

#include "base/Log.h"
#include "elements/ElementList.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace zov {

namespace {
// A bitmap whose header asks for a compression the import does not take (run-length or
// embedded formats; bit-field masks are not compression).
bool BmpIsCompressed(const std::string& path) {
    BinFile f;
    uint8_t h[54];
    if (!f.Open(path, BinFile::Mode::ReadOnly) || !f.Read(h, sizeof h) || h[0] != 'B' || h[1] != 'M')
        return false;
    const uint32_t compression = h[30] | (h[31] << 8) | (h[32] << 16) | (uint32_t(h[33]) << 24);
    const uint16_t bits = static_cast<uint16_t>(h[28] | (h[29] << 8));
    return compression != 0 && !(compression == 3 && (bits == 16 || bits == 32));
}
} // namespace

void CAni::SaveState(SavedState& s) const {
    s.header = m_store.header;
    s.frames = m_store.frames;
    s.table2 = m_store.table2;
    s.table3 = m_store.table3;
    s.table4 = m_store.table4;
    s.appendPos = m_store.appendPos;
    s.dataEnd = m_store.dataEnd;
    s.fileLength = m_store.file.Length();
    s.blockOffset = m_elements->BlockOffset();
    s.undoCount = m_undo.Count();
    s.elements = CaptureElements();
}

void CAni::RestoreState(SavedState& s) {
    m_store.header = s.header;
    m_store.frames = s.frames;
    m_store.table2 = s.table2;
    m_store.table3 = s.table3;
    m_store.table4 = s.table4;
    m_store.appendPos = s.appendPos;
    m_store.dataEnd = s.dataEnd;
    // The same element objects stay; those the edit took out come back.
    (void)RestoreElements(s.elements);
    // Only bytes no committed table refers to are cut.
    if (s.fileLength >= kProjectHeaderSize && m_store.file.Length() > s.fileLength &&
        !m_store.file.Truncate(s.fileLength))
        ZOV_LOG("Truncate Fail");
    m_cache.DropAll();
    m_cache.Follow(m_store.header.imageSize);
    UndoStep dropped;
    while (m_undo.Count() > s.undoCount && m_undo.Pop(dropped)) {
    }
}

bool CAni::ReloadElements(int32_t blockOffset, uint32_t version) {
    // Read into the same list object: callers may hold a reference to it.
    m_elements->Clear();
    if (blockOffset < kProjectHeaderSize || !m_store.file.Seek(blockOffset) ||
        m_elements->Read(m_store.file, version) != 0) {
        m_elements->Clear();
        return false;
    }
    return true;
}

bool CAni::ReencodeAsKeyFrame(int32_t index) {
    const int32_t size = m_store.header.imageSize;
    std::vector<uint8_t> image, out;
    if (!AllocBuffer(image, size_t(size)) || !AllocBuffer(out, size_t(size)))
        return false;
    auto h = std::make_unique<FrameHeader>();
    if (!LoadFrameLocked(index, image.data(), h.get())) {
        ZOV_LOG("decode fail");
        return false;
    }
    if (!EncodeKeyFrame(*h, image.data(), size, out.data(), out.size())) {
        ZOV_LOG("encode fail");
        return false;
    }
    int32_t offset = 0;
    if (!WriteRecordAtEnd(*h, out.data(), offset))
        return false;
    m_store.frames[static_cast<size_t>(index)] = FrameEntry{offset, FRAME_KEY};
    return true;
}

bool CAni::DeleteFrames(int32_t first, int32_t count, bool snapshot) {
    PendingEvents events(*this);
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (RefuseWhileImporting())
        return false;
    if (!m_store.file.IsOpen() || first < 0 || int64_t(first) + count - 1 >= m_store.header.frameCount) {
        ZOV_LOG("E: error");
        return false;
    }
    if (count < 1) {
        ZOV_LOG("E: argument error");
        return false;
    }
    if (m_mode != DOC_PROJECT) {
        ZOV_LOG("E: Fail");
        return false;
    }
    SavedState saved;
    SaveState(saved);
    const bool pushed = snapshot && PushUndoSnapshot(kUndoFrameEdit, nullptr, 0);
    const int32_t next = first + count;
    const int32_t n = m_store.header.frameCount;
    if (next < n && m_store.frames[static_cast<size_t>(next)].kind == FRAME_DIFF &&
        !ReencodeAsKeyFrame(next)) {
        RestoreState(saved);
        return false;
    }
    m_store.frames.erase(m_store.frames.begin() + first, m_store.frames.begin() + next);
    m_store.frames.resize(saved.frames.size(), FrameEntry{0, 0}); // the capacity stays
    m_store.header.frameCount = n - count;
    m_cache.Drop(first, next - 1);
    m_cache.Shift(next, INT32_MAX, -count);
    if (m_elements->AdjustForFrames("FRAMEDELETE", first, first + count - 1, 0, &saved.elements.removed) != 0)
        ZOV_LOG("E: Fail");
    if (!CommitEdit()) {
        RestoreState(saved);
        return false;
    }
    // The elements the delete took out belong to its undo step.
    events.elementsChanged = ElementsChangedSince(saved.elements);
    if (UndoStep* step = pushed ? m_undo.Newest() : nullptr)
        step->elements.removed = std::move(saved.elements.removed);
    ClearLastMessage();
    return true;
}

bool CAni::PasteFrames(int32_t source, int32_t count, int32_t destination) {
    PendingEvents events(*this);
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (RefuseWhileImporting() || !RequireProject("E: Fail"))
        return false;
    if (count == 0 || (destination >= source && int64_t(destination) <= int64_t(source) + count - 1))
        return true;
    const int32_t n = m_store.header.frameCount;
    if (count < 0 || source < 0 || int64_t(source) + count > n || destination < 0 || destination > n) {
        ZOV_LOG("E: error");
        return false;
    }
    if (int64_t(n) + count > INT32_MAX / 2) {
        ZOV_LOG("E: error");
        return false;
    }
    SavedState saved;
    SaveState(saved);
    (void)PushUndoSnapshot(kUndoFrameEdit, nullptr, 0);
    auto fail = [&] {
        RestoreState(saved);
        return false;
    };
    const int32_t size = m_store.header.imageSize;
    std::vector<uint8_t> image, out, data;
    if (!AllocBuffer(image, size_t(size)) || !AllocBuffer(out, size_t(size)))
        return fail();
    auto h = std::make_unique<FrameHeader>();
    for (int32_t j = source; j < source + count; ++j) {
        FrameEntry entry{0, FRAME_KEY};
        int32_t offset = 0;
        if (j == source) {
            // The first copy loses its predecessor: store it whole.
            if (!LoadFrameLocked(j, image.data(), h.get()) ||
                !EncodeKeyFrame(*h, image.data(), size, out.data(), out.size())) {
                ZOV_LOG("encode fail");
                return fail();
            }
            if (!WriteRecordAtEnd(*h, out.data(), offset))
                return fail();
        } else {
            entry.kind = m_store.frames[static_cast<size_t>(j)].kind;
            if (!ReadRecord(j, *h, data)) {
                ZOV_LOG("read fail");
                return fail();
            }
            if (!WriteRecordAtEnd(*h, data.data(), offset))
                return fail();
        }
        entry.offset = offset;
        if (!SetFrameEntry(n + (j - source), entry))
            return fail();
    }
    if (destination < n && m_store.frames[static_cast<size_t>(destination)].kind == FRAME_DIFF &&
        !ReencodeAsKeyFrame(destination))
        return fail();
    const int32_t after = source + count;
    if (after < n && m_store.frames[static_cast<size_t>(after)].kind == FRAME_DIFF &&
        !ReencodeAsKeyFrame(after))
        return fail();
    std::vector<FrameEntry> table(m_store.frames.size());
    std::copy(m_store.frames.begin(), m_store.frames.begin() + destination, table.begin());
    std::copy(m_store.frames.begin() + n, m_store.frames.begin() + n + count, table.begin() + destination);
    std::copy(m_store.frames.begin() + destination, m_store.frames.begin() + n,
              table.begin() + destination + count);
    m_store.frames.swap(table);
    m_store.header.frameCount = n + count;
    if (m_elements->AdjustForFrames("FRAMEPASTE", source, source + count - 1, destination) != 0)
        ZOV_LOG("E: Fail");
    m_cache.DropAll();
    if (!CommitEdit())
        return fail();
    events.elementsChanged = ElementsChangedSince(saved.elements);
    ClearLastMessage();
    return true;
}

bool CAni::ClearAllFrames() {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (RefuseWhileImporting() || !RequireProject("E: Fail"))
        return false;
    SavedState saved;
    SaveState(saved);
    // The file is cut below the records older snapshots refer to: they cannot be undone.
    ClearUndo();
    saved.undoCount = 0;
    m_store.header.frameCount = 0;
    m_store.header.table2Count = m_store.header.table3Count = m_store.header.table4Count = 0;
    m_cache.DropAll();
    // Committed at once (the tables move down to 148 and the file is cut behind them), so
    // the header on disk never points at frames that were cut away.
    if (!CommitCompact(kProjectHeaderSize)) {
        RestoreState(saved);
        return false;
    }
    ClearLastMessage();
    return true;
}

bool CAni::AppendFramesFromBitmaps(BitmapAppendRequest& request) {
    request.running = 1;
    request.finished = 0;
    request.result = AppendFramesLocked(request);
    request.finished = 1;
    return request.result;
}

bool CAni::AppendFramesLocked(BitmapAppendRequest& request) {
    // Held while a frame is stored, let go between frames (and while listeners hear of it),
    // so the window can load frames while a long series goes in.
    std::unique_lock<std::recursive_mutex> lock(m_lock);
    request.appended = 0;
    request.error.clear();
    if (RefuseWhileImporting()) {
        request.error = LastMessage();
        return false;
    }
    if (!RequireProject("E: Fail")) {
        request.error = "no project is open";
        return false;
    }
    m_importing = true;
    const uint64_t generation = m_generation;
    struct ImportEnds {
        CAni& doc;
        uint64_t generation;
        // Only while the import's own document is open; a close has cleared it already.
        ~ImportEnds() {
            std::lock_guard<std::recursive_mutex> g(doc.m_lock);
            if (doc.m_generation == generation)
                doc.m_importing = false;
        }
    } importEnds{*this, generation};
    BmpSeriesName series;
    if (!ParseBmpSeriesName(request.firstPath, series)) {
        request.error = "\"" + request.firstPath + "\" is not a numbered bitmap name such as file0001.bmp";
        return false;
    }
    SavedState saved;
    SaveState(saved);
    (void)PushUndoSnapshot(kUndoFrameEdit, nullptr, 0);
    auto fail = [&](const std::string& why) {
        request.error = why;
        RestoreState(saved);
        return false;
    };
    Image24 bmp;
    std::string err;
    if (m_store.header.frameCount <= 0) {
        // An empty project takes the geometry of the first bitmap.
        if (!ReadBmp(request.firstPath, bmp, err))
            return fail(err); // ReadBmp names the file
        const int64_t size = RowBytes24(bmp.width) * bmp.height;
        if (bmp.width <= 0 || bmp.height <= 0 || size > kMaxImageBytes) {
            SetLastMessage(TooLargeAreaMessage(bmp.width, bmp.height));
            return fail(LastMessage());
        }
        m_store.header.captureLeft = m_store.header.captureTop = 0;
        m_store.header.captureRight = bmp.width;
        m_store.header.captureBottom = bmp.height;
        m_store.header.rowBytes = static_cast<int32_t>(RowBytes24(bmp.width));
        m_store.header.imageSize = static_cast<int32_t>(size);
        m_store.header.bmi =
            BitmapInfoHeader{40, bmp.width, bmp.height, 1, 24, 0, static_cast<uint32_t>(size), 0, 0, 0, 0};
        m_store.header.frameCount = m_store.header.table2Count = m_store.header.table3Count =
            m_store.header.table4Count = 0;
        FormatStartTime(m_store.header.startTime, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                      std::chrono::system_clock::now().time_since_epoch())
                                                      .count());
        m_cache.Enable(m_store.header.imageSize);
    }
    const int32_t size = m_store.header.imageSize;
    const int32_t width = m_store.header.bmi.biWidth;
    const int32_t height = m_store.header.bmi.biHeight;
    if (size <= 0 || size > kMaxImageBytes || width <= 0 || height <= 0 ||
        int64_t(Image24::RowBytes(width)) * height != size)
        return fail("the project's frame geometry is damaged");
    const int32_t interval =
        m_store.header.keyFrameInterval > 0 ? m_store.header.keyFrameInterval : kDefaultKeyFrameInterval;
    std::vector<uint8_t> previous, current, encoded;
    if (!AllocBuffer(previous, size_t(size)) || !AllocBuffer(current, size_t(size)) ||
        !AllocBuffer(encoded, size_t(size)))
        return fail("not enough memory for the pictures of the import");
    auto h = std::make_unique<FrameHeader>();
    const size_t rowBytes = static_cast<size_t>(Image24::RowBytes(width));
    int32_t appended = 0;
    bool ranOut = false; // the series ended by itself, at its first missing number
    for (long n = 0; request.running.load() == 1; ++n) {
        const std::string member = series.Member(series.number + n);
        if (!FileExists(member)) {
            ranOut = true;
            break;
        }
        if (!ReadBmp(member, bmp, err)) {
            request.error = err; // ReadBmp names the file
            if (BmpIsCompressed(member))
                ZOV_LOG("***** fail!");
            break;
        }
        // The bitmap sits in the lower left corner of a grey picture.
        std::memset(current.data(), 128, current.size());
        const int rows = bmp.height < height ? bmp.height : height;
        const int cols = bmp.width < width ? bmp.width : width;
        for (int y = 0; y < rows; ++y)
            std::memcpy(current.data() + static_cast<size_t>(y) * rowBytes,
                        bmp.bits.data() + static_cast<size_t>(y) * static_cast<size_t>(bmp.RowBytes()),
                        static_cast<size_t>(cols) * 3);
        InitFrameHeader(*h, 0);
        int32_t kind;
        bool ok;
        if (n % interval != 0) {
            kind = FRAME_DIFF;
            ok = EncodeDiffFrame(*h, previous.data(), current.data(), size, encoded.data());
        } else {
            kind = FRAME_KEY;
            ok = EncodeKeyFrame(*h, current.data(), size, encoded.data(), encoded.size());
        }
        if (!ok) {
            request.error = "can not encode \"" + member + "\"";
            ZOV_LOG("encode fail");
            break;
        }
        int32_t offset = 0;
        if (!WriteRecordAtEnd(*h, encoded.data(), offset)) {
            request.error = LastMessage().empty() ? "can not write the project file" : LastMessage();
            break;
        }
        if (!SetFrameEntry(m_store.header.frameCount, FrameEntry{offset, kind})) {
            request.error = "out of memory";
            break;
        }
        m_store.header.frameCount += 1;
        previous.swap(current);
        request.appended = ++appended;
        char text[48];
        std::snprintf(text, sizeof text, "appended frames: %d", appended);
        lock.unlock();
        Broadcast().OnImportProgress(kImportProgressStep, appended, text);
        lock.lock();
        if (m_generation != generation) {
            request.error = "the project was closed during the import";
            return false; // its file and state are gone: nothing to commit or put back
        }
    }
    if (appended == 0) {
        std::string why =
            request.error.empty() ? "can not open \"" + series.Member(series.number) + "\"" : request.error;
        return fail(why);
    }
    if (!CommitEdit())
        return fail(LastMessage().empty() ? "can not write the project's index" : LastMessage());
    ClearLastMessage();
    lock.unlock();
    if (ranOut && request.running.load() == 1)
        Broadcast().OnImportProgress(kImportProgressFinished, appended, "");
    return true;
}

bool CAni::StartBitmapAppend(BitmapAppendRequest& request) {
    if (request.worker.joinable())
        return false;
    request.running = 1;
    request.finished = 0;
    request.result = false;
    request.worker = std::thread([this, &request] {
        try {
            request.result = AppendFramesLocked(request);
        } catch (const std::exception& e) {
            request.error = e.what();
            request.result = false;
        }
        request.finished = 1;
    });
    return true;
}

bool CAni::StopBitmapAppend(BitmapAppendRequest& request) {
    request.running = 0;
    if (!request.worker.joinable())
        return true;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
    while (request.finished.load() == 0 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    if (request.finished.load() == 0)
        return false;
    request.worker.join();
    return true;
}

void CAni::WaitBitmapAppend(BitmapAppendRequest& request) {
    if (request.worker.joinable())
        request.worker.join();
}

} // namespace zov
