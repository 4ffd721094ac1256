// Placing an import: the frames a bitmap series appended move from the end of the project
// to the position the user chose. The move is a rotation of the frame table, not a copy of
// the records, and it pushes no undo step of its own: the append's step is the one that
// takes the import back, so a single Undo removes the frames wherever they stand.
#include "core/Ani.h"
#include "core/AniState.h"

#include "elements/ElementList.h"

#include <algorithm>

namespace zov {

bool CAni::PlaceAppendedFrames(int32_t count, int32_t destination) {
    PendingEvents events(*this);
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (RefuseWhileImporting() || !RequireProject("E: Fail"))
        return false;
    const int32_t n = m_store.header.frameCount;
    if (count < 0 || count > n || destination < 0 || destination > n) {
        ZOV_LOG("E: error");
        return false;
    }
    const int32_t source = n - count;
    if (count == 0 || destination >= source)
        return true; // already there
    SavedState saved;
    SaveState(saved);
    // The first moved frame and the frame that now follows the moved ones get a new
    // predecessor: a difference frame among them is stored again whole.
    if ((m_store.frames[static_cast<size_t>(source)].kind == FRAME_DIFF && !ReencodeAsKeyFrame(source)) ||
        (m_store.frames[static_cast<size_t>(destination)].kind == FRAME_DIFF &&
         !ReencodeAsKeyFrame(destination))) {
        RestoreState(saved);
        return false;
    }
    std::rotate(m_store.frames.begin() + destination, m_store.frames.begin() + source,
                m_store.frames.begin() + n);
    // The elements hear what a paste at the destination and a delete of the old place
    // would tell them.
    std::vector<std::unique_ptr<ElementRecord>> removed;
    if (m_elements->AdjustForFrames("FRAMEPASTE", source, n - 1, destination) != 0 ||
        m_elements->AdjustForFrames("FRAMEDELETE", n, n + count - 1, 0, &removed) != 0)
        ZOV_LOG("E: Fail");
    m_cache.DropAll();
    if (!CommitEdit()) {
        RestoreState(saved);
        return false;
    }
    if (UndoStep* step = m_undo.Newest())
        for (auto& r : removed)
            step->elements.removed.push_back(std::move(r));
    events.elementsChanged = ElementsChangedSince(saved.elements);
    ClearLastMessage();
    return true;
}

} // namespace zov
