#include "core/ProjectStorage.h"

#include "elements/ElementList.h"

#include <algorithm>
#include <cstring>

namespace zov {

void ProjectStorage::Reset() {
    file.Close();
    sideFile.Close();
    std::memset(&header, 0, sizeof header);
    frames.clear();
    frames.shrink_to_fit();
    table2.clear();
    table3.clear();
    table4.clear();
    appendPos = kProjectHeaderSize;
    dataEnd = kProjectHeaderSize;
}

int64_t ProjectStorage::IndexBytes(const CElementList& elements, int32_t extraFrames) const {
    ProjectHeader h = header;
    h.frameCount += extraFrames;
    return zov::IndexBytes(h, elements) + int64_t(sizeof(HeaderJournal));
}

bool ProjectStorage::CommitAt(int64_t at, const CElementList& elements, IndexCommit& done, bool& tooLarge) {
    if (!CommitIndex(file, header, frames, table2, table3, table4, elements, at, done, &tooLarge))
        return false;
    header.frameDataEnd = static_cast<int32_t>(at);
    appendPos = done.end;
    diskVersion = header.version;
    return true;
}

bool ProjectStorage::CommitEdit(const CElementList& elements, IndexCommit& done, bool& tooLarge) {
    if (appendPos == dataEnd)
        return CommitAt(dataEnd, elements, done, tooLarge);
    return CommitCompact(dataEnd, elements, done, tooLarge);
}

bool ProjectStorage::CommitCompact(int64_t at, const CElementList& elements, IndexCommit& done,
                                   bool& tooLarge) {
    const int64_t size = IndexBytes(elements, 0) - int64_t(sizeof(HeaderJournal));
    const int64_t beside = std::max(appendPos, at + size);
    if (!CommitAt(beside, elements, done, tooLarge))
        return false;
    dataEnd = at;
    IndexCommit down;
    bool ignored = false;
    if (at >= kProjectHeaderSize && at < beside && CommitAt(at, elements, down, ignored))
        done = down;
    return true;
}

} // namespace zov
