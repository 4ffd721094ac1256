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
    int64_t dataEnd = 0;
    int64_t fileLength = 0;
    int32_t blockOffset = 0;
    int undoCount = 0;
    // The element ranges as they were, and the elements the edit takes out on its way.
    ElementUndo elements;
};

} // namespace zov
