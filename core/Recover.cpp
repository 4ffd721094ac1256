#include "core/Recover.h"

#include "base/BinFile.h"
#include "base/Log.h"
#include "core/FrameCodec.h"
#include "core/ProjectIndex.h"
#include "core/ProjectRecords.h"
#include "elements/ElementList.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

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
    switch (ReadProjectHeader(file, length, header)) {
    case HeaderCheck::Ok:
        break;
    case HeaderCheck::NotProject:
        result.message = path + " is not a project file.";
        return false;
    case HeaderCheck::OldVersion:
        result.message = path + " is a project of an old version; open and convert it first.";
        return false;
    case HeaderCheck::Unsupported:
        result.message = path + ": " + UnsupportedHeaderText(header) + ".";
        return false;
    }
    // The committed index must be sound itself: recovery only adds to a project that opens.
    LoadedIndex index;
    if (!ReadIndex(file, header, length, index)) {
        result.message = path + " is damaged: its index or its element block does not fit the file, so " +
                         "recovery cannot help.";
        return false;
    }
    const int64_t n = header.frameCount;
    result.framesBefore = header.frameCount;
    int32_t failed = -1;
    if (!CheckIndexEntries(file, index.tables.frames, header.frameCount, length, false, &failed)) {
        result.message = path + " is damaged: frame " + std::to_string(failed) +
                         " of its index lies outside the file, so recovery cannot help.";
        return false;
    }
    ProjectHeader geometry = header;
    geometry.frameCount = 1; // recovered frames need a frame size even when the index has none
    if (!IndexGeometryOk(geometry)) {
        result.message = "the project holds no frame size, so there are no frames to recover.";
        return true;
    }
    const int32_t imageSize = header.imageSize;
    const int64_t scanFrom = index.indexEnd;

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

    // The old frame table with the found entries after it, committed behind the last record
    // as every commit of the document is: until the header is written the old index holds.
    std::vector<FrameEntry>& frames = index.tables.frames;
    frames.insert(frames.end(), found.begin(), found.end());
    header.frameCount = static_cast<int32_t>(frames.size());
    header.version = kProjectVersion;
    IndexCommit done;
    bool tooLarge = false;
    if (!CommitIndex(file, header, frames, index.tables.t2, index.tables.t3, index.tables.t4, *index.elements,
                     chainEnd, done, &tooLarge)) {
        result.message = tooLarge
                             ? "the recovered project would not fit the 2 GiB a project file can hold."
                             : "the project file cannot be written (is the disk full?); it stays as it was.";
        return false;
    }
    result.recovered = static_cast<int32_t>(found.size());
    result.firstRecord = found.front().offset;
    result.message = "recovered " + std::to_string(result.recovered) + " frames after the " +
                     std::to_string(result.framesBefore) + " frames of the last index.";
    return true;
}

} // namespace zov
