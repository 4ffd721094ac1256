// The open project as it lies on disk: the project file and its side file, the header copy,
// the frame table and the three further tables, where the next frame record and the next
// index go, and the commit that puts an index there (ProjectIndex's crash-safe order).
#pragma once

#include "base/BinFile.h"
#include "core/ProjectIndex.h"
#include "core/ProjectRecords.h"

#include <cstdint>
#include <vector>

namespace zov {

class CElementList;

struct ProjectStorage {
    BinFile file;
    BinFile sideFile; // "cursor.bin"
    ProjectHeader header{};
    std::vector<FrameEntry> frames; // size = capacity
    std::vector<Table2Record> table2;
    std::vector<Table3Record> table3;
    std::vector<Table4Record> table4;
    // Where the next record goes: never below the end of what the file held when the current
    // index was committed, so the committed tables are never overwritten.
    int64_t appendPos = kProjectHeaderSize;
    // Where the next index goes: the end of the frame records anything (the tables or an undo
    // snapshot) may refer to. The index on disk lies at or above it.
    int64_t dataEnd = kProjectHeaderSize;
    // Version of the element block now on disk (an old file keeps its own until rewritten).
    uint32_t diskVersion = kProjectVersion;

    // Closes both files and empties everything.
    void Reset();
    // Bytes of the index with `extraFrames` more frames, its journal included.
    int64_t IndexBytes(const CElementList& elements, int32_t extraFrames) const;
    // Commits header, tables and element block at `at` (CommitIndex); on success the header's
    // end of frame data is `at` and the next record goes after the new index.
    bool CommitAt(int64_t at, const CElementList& elements, IndexCommit& done, bool& tooLarge);
    // The commit of an edit: right after new frame records the index follows them (the old
    // one stays behind as a hole until save as); otherwise it goes back down to dataEnd.
    bool CommitEdit(const CElementList& elements, IndexCommit& done, bool& tooLarge);
    // Commits beside the index in force, far enough up that a copy at `at` will not overlap
    // it, then again at `at`, cutting the file there once nothing refers to the bytes above.
    // True once the first commit is done; `at` becomes the index position for later edits.
    bool CommitCompact(int64_t at, const CElementList& elements, IndexCommit& done, bool& tooLarge);
};

} // namespace zov
