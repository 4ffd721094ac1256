#include "core/Recover.h"

#include "core/AniState.h" // the header journal the document writes on every commit

#include "base/BinFile.h"
#include "base/Log.h"
#include "core/FrameCodec.h"
#include "core/ProjectRecords.h"
#include "elements/ElementList.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>
#include <zlib.h>

namespace zov {

namespace {

constexpr size_t kScanChunk = 1 << 20;

// Offset of the first "SIGN" at or after `from`, or -1.
int64_t FindSignature(BinFile& file, int64_t from, int64_t length) {
    std::vector<char> buffer(kScanChunk + 3);
    for (int64_t pos = from; pos + 4 <= length;) {
        size_t n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buffer.size()), length - pos));
        if (!file.Seek(pos) || !file.Read(buffer.data(), n))
            return -1;
        for (size_t i = 0; i + 4 <= n; ++i)
            if (std::memcmp(buffer.data() + i, "SIGN", 4) == 0)
                return pos + static_cast<int64_t>(i);
        if (n < 4)
            break;
        pos += static_cast<int64_t>(n - 3); // a signature may straddle two chunks
    }
    return -1;
}

enum class RecordCheck { Key, Diff, Bad };

// Checks one record at `pos`: header fields, sizes against the file, and that it decodes.
// On success `image` holds the decoded picture.
RecordCheck CheckRecord(BinFile& file, int64_t pos, int64_t length, int32_t imageSize, bool havePrevious,
                        FrameHeader& header, std::vector<uint8_t>& data, std::vector<uint8_t>& image,
                        std::vector<uint8_t>& decoded) {
    if (pos + kFrameHeaderSize > length || !file.Seek(pos) || !file.Read(&header, sizeof header))
        return RecordCheck::Bad;
    if (std::memcmp(header.sign, "SIGN", 4) != 0 || header.reserved4 != -1 || header.reserved12 != -1 ||
        header.dataSize < 0 || header.captured != 1)
        return RecordCheck::Bad;
    const int64_t end = pos + kFrameHeaderSize + header.dataSize;
    if (end > length || end > kMaxFileOffset || header.dataSize > imageSize)
        return RecordCheck::Bad;
    data.resize(static_cast<size_t>(header.dataSize));
    if (header.dataSize > 0 && !file.Read(data.data(), data.size()))
        return RecordCheck::Bad;
    // The frame table holds the kind, and it is what was lost: a record that inflates to
    // exactly the image size is a key frame; otherwise its block flags must account for its
    // data, block for block.
    if (header.dataSize > 0 && DecodeKeyFrame(header, data.data(), imageSize, decoded.data())) {
        image.swap(decoded);
        return RecordCheck::Key;
    }
    if (!havePrevious)
        return RecordCheck::Bad;
    const int32_t blocks = BlockCount(imageSize);
    int64_t changed = 0;
    for (int32_t i = 0; i < kMaxBlocks; ++i) {
        const uint8_t flag = header.blockFlags[i];
        if (i >= blocks) {
            if (flag != 0)
                return RecordCheck::Bad;
        } else if (flag > 1) {
            return RecordCheck::Bad;
        } else if (flag == 0) {
            ++changed;
        }
    }
    if (changed * kBlockBytes != header.dataSize)
        return RecordCheck::Bad;
    if (!DecodeDiffFrame(header, image.data(), data.data(), imageSize, decoded.data()))
        return RecordCheck::Bad;
    image.swap(decoded);
    return RecordCheck::Diff;
}

} // namespace

bool RecoverProject(const std::string& path, RecoverResult& result) {
    result = RecoverResult{};
    BinFile file;
    if (!file.Open(path, BinFile::Mode::ReadWrite)) {
        result.message = "the project file " + path + " cannot be opened for writing.";
        return false;
    }
    const int64_t length = file.Length();
    ProjectHeader header{};
    if (length < kProjectHeaderSize || !file.Seek(0) || !file.Read(&header, sizeof header) ||
        std::memcmp(header.magic, kProjectMagic, 4) != 0) {
        result.message = path + " is not a project file.";
        return false;
    }
    if (header.version < kOldestProjectVersion) {
        result.message = path + " is a project of an old version; open and convert it first.";
        return false;
    }
    const int64_t n = header.frameCount, t2 = header.table2Count, t3 = header.table3Count,
                  t4 = header.table4Count;
    const int64_t tablesStart = header.frameDataEnd;
    const int64_t tablesBytes =
        n * 8 + t2 * kTable2RecordSize + t3 * kTable3RecordSize + t4 * kTable4RecordSize;
    if (n < 0 || t2 < 0 || t3 < 0 || t4 < 0 || tablesStart < kProjectHeaderSize ||
        tablesStart + tablesBytes > length) {
        result.message = path + " is damaged: its index does not fit the file.";
        return false;
    }
    result.framesBefore = static_cast<int32_t>(n);
    const int32_t imageSize = header.imageSize;
    if (imageSize <= 0 || imageSize > kMaxImageBytes || header.rowBytes <= 0 || header.bmi.biWidth <= 0 ||
        header.rowBytes != RowBytes24(header.bmi.biWidth) ||
        static_cast<int64_t>(header.rowBytes) * header.bmi.biHeight != imageSize) {
        result.message = "the project holds no frame size, so there are no frames to recover.";
        return true;
    }

    // The committed tables, kept as they are and written again in front of the new entries.
    std::vector<uint8_t> tables(static_cast<size_t>(tablesBytes));
    if (!file.Seek(tablesStart) || (tablesBytes > 0 && !file.Read(tables.data(), tables.size()))) {
        result.message = path + " cannot be read.";
        return false;
    }
    // The committed index must be sound itself: recovery only adds to a project that opens.
    for (int64_t i = 0; i < n; ++i) {
        FrameEntry e;
        std::memcpy(&e, tables.data() + i * 8, sizeof e);
        int32_t dataSize = -1;
        const int64_t off = static_cast<uint32_t>(e.offset);
        if (off < kProjectHeaderSize || off + kFrameHeaderSize > length || !file.Seek(off + 8) ||
            !file.Read(&dataSize, 4) || dataSize < 0 || (dataSize == 0 && e.kind != FRAME_DIFF) ||
            off + kFrameHeaderSize + dataSize >= length) {
            result.message = path + " is damaged: frame " + std::to_string(i) +
                             " of its index lies outside the file, so recovery cannot help.";
            return false;
        }
    }
    auto elements = std::make_unique<CElementList>();
    if (!file.Seek(tablesStart + tablesBytes) || elements->Read(file, header.version) != 0) {
        result.message = path + " is damaged: its element block cannot be read, so recovery cannot help.";
        return false;
    }
    const int64_t scanFrom = file.Tell();

    std::vector<FrameEntry> found;
    std::vector<uint8_t> data, image(static_cast<size_t>(imageSize)), decoded(static_cast<size_t>(imageSize));
    auto frameHeader = std::make_unique<FrameHeader>();
    int64_t pos = FindSignature(file, scanFrom, length);
    // The first record of a run is a key frame; anything before one is not part of it.
    while (pos >= 0) {
        RecordCheck c = CheckRecord(file, pos, length, imageSize, false, *frameHeader, data, image, decoded);
        if (c == RecordCheck::Key)
            break;
        pos = FindSignature(file, pos + 1, length);
    }
    int64_t chainEnd = pos;
    bool havePrevious = false;
    while (pos >= 0) {
        RecordCheck c =
            CheckRecord(file, pos, length, imageSize, havePrevious, *frameHeader, data, image, decoded);
        if (c == RecordCheck::Bad)
            break;
        found.push_back({static_cast<int32_t>(pos), c == RecordCheck::Key ? FRAME_KEY : FRAME_DIFF});
        havePrevious = true;
        pos += kFrameHeaderSize + frameHeader->dataSize;
        chainEnd = pos;
    }
    if (found.empty()) {
        result.message = "no frames were found after the last index; the project is complete.";
        return true;
    }
    if (n + static_cast<int64_t>(found.size()) > 0x7FFFFFFF / 64) {
        result.message = "the project holds too many frames to recover.";
        return false;
    }

    // New index block: the old frame table, the found entries, tables 2 to 4, the element
    // block; then the header. Until the header is written the old index stays in force.
    std::vector<uint8_t> block;
    block.insert(block.end(), tables.begin(), tables.begin() + n * 8);
    for (const FrameEntry& e : found) {
        const uint8_t* p = reinterpret_cast<const uint8_t*>(&e);
        block.insert(block.end(), p, p + sizeof e);
    }
    block.insert(block.end(), tables.begin() + n * 8, tables.end());
    std::vector<uint8_t> elementBytes;
    const int64_t elementPos = chainEnd + static_cast<int64_t>(block.size());
    if (elements->BuildBlock(elementPos, elementBytes) != 0 ||
        elementPos + static_cast<int64_t>(elementBytes.size()) > kMaxFileOffset) {
        result.message = "the recovered project would not fit the 2 GiB a project file can hold.";
        return false;
    }
    block.insert(block.end(), elementBytes.begin(), elementBytes.end());
    header.frameCount = static_cast<int32_t>(n + static_cast<int64_t>(found.size()));
    header.frameDataEnd = static_cast<int32_t>(chainEnd);
    header.version = kProjectVersion;
    HeaderJournal journal{};
    std::memcpy(journal.magic, "ZOVJ", 4);
    journal.header = header;
    journal.crc =
        static_cast<uint32_t>(crc32(0L, reinterpret_cast<const Bytef*>(&journal.header), sizeof header));
    std::memcpy(journal.end, "JEND", 4);
    const int64_t indexEnd = chainEnd + static_cast<int64_t>(block.size());
    if (!file.Seek(chainEnd) || !file.Write(block.data(), block.size()) ||
        !file.Seek(std::max(indexEnd, length)) || !file.Write(&journal, sizeof journal) || !file.Sync()) {
        ZOV_LOG("Write Fail");
        result.message = "the project file cannot be written (is the disk full?); it stays as it was.";
        return false;
    }
    if (!file.Seek(0) || !file.Write(&header, sizeof header) || !file.Sync()) {
        ZOV_LOG("Write Fail");
        result.message = "the project header cannot be written; the project stays as it was.";
        return false;
    }
    // Committed: the journal and whatever the crash left behind the new index go.
    if (!file.Truncate(indexEnd))
        ZOV_LOG("Truncate Fail");
    result.recovered = static_cast<int32_t>(found.size());
    result.firstRecord = found.front().offset;
    result.message = "recovered " + std::to_string(result.recovered) + " frames after the " +
                     std::to_string(result.framesBefore) + " frames of the last index.";
    return true;
}

} // namespace zov
