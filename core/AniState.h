// Internal to the document: the in-memory state an edit puts back when it fails before
// its commit, so a refused edit leaves memory and file as they were.
#pragma once

#include "core/Ani.h"
#include "core/ProjectIndex.h"

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

} // namespace zov
