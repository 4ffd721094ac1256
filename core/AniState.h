// Internal to the document: the in-memory state an edit puts back when it fails before
// its commit, so a refused edit leaves memory and file as they were.
#pragma once

#include "core/Ani.h"

namespace zov {

struct CAni::SavedState {
    ProjectHeader header{};
    std::vector<FrameEntry> frames;
    std::vector<Table2Record> table2;
    std::vector<Table3Record> table3;
    std::vector<Table4Record> table4;
    int64_t appendPos = 0;
    int64_t fileLength = 0;
    int32_t blockOffset = 0;
    int undoCount = 0;
    // Set, with the block of the list as it was, just before an edit changes the elements.
    bool elementsTouched = false;
    std::vector<uint8_t> elementBlock;
};

// The journal: a copy of the header about to be written, kept at the end of the file until
// the header is on disk, so that a header torn by a crash can be put back on the next open.
struct HeaderJournal {
    char magic[4]; // "ZOVJ"
    ProjectHeader header;
    uint32_t crc; // crc32 of header
    char end[4];  // "JEND"
};
static_assert(sizeof(HeaderJournal) == 160);

} // namespace zov
