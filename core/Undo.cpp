// Undo snapshots: the header and the four tables (whole capacities) in one record. Edits
// never rewrite a stored frame, so putting these back and cutting the file to the old end
// of frame data undoes an edit exactly.
#include "core/Ani.h"
#include "core/AniState.h"

#include "base/Log.h"
#include "elements/ElementList.h"

#include <algorithm>
#include <cstring>

namespace zov {

namespace {
constexpr size_t kSnapshotFixed = 4 + sizeof(ProjectHeader) + 16 + 16 + 4; // 188

void Put32(std::vector<uint8_t>& out, int32_t v) {
    uint8_t b[4];
    std::memcpy(b, &v, 4);
    out.insert(out.end(), b, b + 4);
}
template <class T> void PutTable(std::vector<uint8_t>& out, const std::vector<T>& t) {
    const auto* p = reinterpret_cast<const uint8_t*>(t.data());
    out.insert(out.end(), p, p + t.size() * sizeof(T));
}

class Reader {
  public:
    Reader(const std::vector<uint8_t>& r) : m_data(r.data()), m_left(r.size()) {}
    bool Take(void* out, size_t n) {
        if (n > m_left)
            return false;
        if (n)
            std::memcpy(out, m_data, n);
        m_data += n;
        m_left -= n;
        return true;
    }
    template <class T> bool TakeTable(std::vector<T>& t, int32_t count) {
        if (count < 0 || static_cast<uint64_t>(count) * sizeof(T) > m_left)
            return false;
        t.resize(static_cast<size_t>(count));
        return Take(t.data(), t.size() * sizeof(T));
    }
    size_t Left() const { return m_left; }

  private:
    const uint8_t* m_data;
    size_t m_left;
};
} // namespace

std::vector<uint8_t> CAni::BuildSnapshot(int32_t kind, const void* extra, size_t extraSize) const {
    std::vector<uint8_t> out;
    out.reserve(kSnapshotFixed + m_store.table4.size() * 36 +
                (m_store.table2.size() + m_store.frames.size()) * 8 + m_store.table3.size() * 4 + extraSize);
    Put32(out, kind);
    const auto* h = reinterpret_cast<const uint8_t*>(&m_store.header);
    out.insert(out.end(), h, h + sizeof m_store.header);
    Put32(out, static_cast<int32_t>(m_store.frames.size()));
    Put32(out, static_cast<int32_t>(m_store.table2.size()));
    Put32(out, static_cast<int32_t>(m_store.table3.size()));
    Put32(out, static_cast<int32_t>(m_store.table4.size()));
    for (int i = 0; i < 4; ++i)
        Put32(out, 0); // table addresses: meaningless outside this process
    Put32(out, 1);     // the element collection: always this document's own
    PutTable(out, m_store.table4);
    PutTable(out, m_store.table2);
    PutTable(out, m_store.frames);
    PutTable(out, m_store.table3);
    if (extra && extraSize)
        out.insert(out.end(), static_cast<const uint8_t*>(extra),
                   static_cast<const uint8_t*>(extra) + extraSize);
    return out;
}

bool CAni::PushUndoSnapshot(int32_t kind, const void* extra, size_t extraSize) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail"))
        return false;
    UndoStep step;
    step.snapshot = BuildSnapshot(kind, extra, extraSize);
    step.elements = CaptureElements();
    return m_undo.Push(step);
}

ElementUndo CAni::ElementUndoBase() const {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    return CaptureElements();
}

bool CAni::PushElementUndo(ElementUndo&& elements) {
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (!RequireProject("E: Fail"))
        return false;
    // The extra bytes name the element the step is about (what the stored form keeps of it).
    uint64_t id = 0;
    if (!elements.created.empty())
        id = elements.created.front();
    else if (!elements.before.empty())
        id = elements.before.front().id;
    else if (!elements.removed.empty() && elements.removed.front())
        id = elements.removed.front()->id;
    UndoStep step;
    step.snapshot = BuildSnapshot(kUndoElementEdit, &id, sizeof id);
    step.elements = std::move(elements);
    return m_undo.Push(step);
}

void CAni::ClearUndo() {
    m_undo.Clear();
}

ElementUndo CAni::CaptureElements() const {
    ElementUndo out;
    out.ranges.reserve(static_cast<size_t>(m_elements->Count()));
    for (int i = 0; i < m_elements->Count(); ++i) {
        const ElementRecord* r = m_elements->At(i);
        out.ranges.push_back(ElementUndo::Range{r->id, r->firstFrame, r->lastFrame});
    }
    return out;
}

bool CAni::ElementsChangedSince(const ElementUndo& before) const {
    const ElementUndo now = CaptureElements();
    if (now.ranges.size() != before.ranges.size())
        return true;
    for (size_t i = 0; i < now.ranges.size(); ++i) {
        const ElementUndo::Range &a = now.ranges[i], &b = before.ranges[i];
        if (a.id != b.id || a.first != b.first || a.last != b.last)
            return true;
    }
    return false;
}

std::vector<uint64_t> CAni::RestoreElements(ElementUndo& undo) {
    std::vector<uint64_t> putBack;
    CElementList& list = *m_elements;
    // Removed elements go back before the next element of that moment that is still there
    // (or after the previous one), so the drawing order stays as it was.
    for (auto& removed : undo.removed) {
        if (!removed)
            continue;
        const uint64_t id = removed->id;
        size_t at = 0;
        while (at < undo.ranges.size() && undo.ranges[at].id != id)
            ++at;
        int position = -1;
        for (size_t k = at + 1; k < undo.ranges.size() && position < 0; ++k)
            if (const ElementRecord* next = list.FindId(undo.ranges[k].id))
                position = list.IndexOf(next);
        for (size_t k = at; k-- > 0 && position < 0 && at < undo.ranges.size();)
            if (const ElementRecord* prev = list.FindId(undo.ranges[k].id))
                position = list.IndexOf(prev) + 1;
        if (list.Insert(position < 0 ? 0 : position, std::move(removed)) == 0)
            putBack.push_back(id);
        else
            ZOV_LOG("E: Fail");
    }
    undo.removed.clear();
    const int32_t lastFrame = FrameCount() > 0 ? FrameCount() - 1 : 0;
    for (int i = 0; i < list.Count(); ++i) {
        ElementRecord* r = list.At(i);
        auto was = std::find_if(undo.ranges.begin(), undo.ranges.end(),
                                [r](const ElementUndo::Range& x) { return x.id == r->id; });
        if (was != undo.ranges.end()) {
            r->firstFrame = was->first;
            r->lastFrame = was->last;
            continue;
        }
        // Made since: kept, on the frames that are left.
        if (r->lastFrame > lastFrame)
            r->lastFrame = lastFrame;
        if (r->firstFrame > r->lastFrame)
            r->firstFrame = r->lastFrame;
    }
    return putBack;
}

bool CAni::RestoreSnapshot(const std::vector<uint8_t>& record) {
    Reader r(record);
    int32_t kind = 0;
    ProjectHeader h{};
    if (!r.Take(&kind, 4) || !r.Take(&h, sizeof h)) {
        ZOV_LOG("E: Fail");
        return false;
    }
    int32_t caps[4], addresses[4], elements;
    if (!r.Take(caps, sizeof caps) || !r.Take(addresses, sizeof addresses) || !r.Take(&elements, 4)) {
        ZOV_LOG("E: Fail");
        return false;
    }
    std::vector<FrameEntry> frames;
    std::vector<Table2Record> t2;
    std::vector<Table3Record> t3;
    std::vector<Table4Record> t4;
    if (!r.TakeTable(t4, caps[3]) || !r.TakeTable(t2, caps[1]) || !r.TakeTable(frames, caps[0]) ||
        !r.TakeTable(t3, caps[2])) {
        ZOV_LOG("E: Fail");
        return false;
    }
    if (h.frameCount < 0 || h.frameCount > caps[0] || h.table2Count < 0 || h.table2Count > caps[1] ||
        h.table3Count < 0 || h.table3Count > caps[2] || h.table4Count < 0 || h.table4Count > caps[3]) {
        ZOV_LOG("E: Fail");
        return false;
    }
    m_store.header = h;
    m_store.frames = std::move(frames);
    m_store.table2 = std::move(t2);
    m_store.table3 = std::move(t3);
    m_store.table4 = std::move(t4);
    // Kind 2 (an element edit) carries the id of its element after the tables.
    if ((kind != kUndoFrameEdit && kind != 1 && kind != kUndoElementEdit) ||
        (kind != kUndoElementEdit && r.Left() != 0)) {
        ZOV_LOG("E: Fail");
        return false;
    }
    return true;
}

bool CAni::Undo() {
    PendingEvents events(*this);
    std::lock_guard<std::recursive_mutex> g(m_lock);
    if (RefuseWhileImporting())
        return false;
    if (!RequireProject("E: Fail") || m_undo.Count() == 0) {
        ZOV_LOG("E: Fail");
        return false;
    }
    UndoStep step;
    if (!m_undo.Pop(step))
        return false;
    const bool elementEdit =
        !step.elements.created.empty() || !step.elements.before.empty() || !step.elements.removed.empty();
    SavedState saved;
    SaveState(saved);
    const bool restored = RestoreSnapshot(step.snapshot);
    // The restored header may carry another image size than the cached pictures.
    m_cache.DropAll();
    m_cache.Follow(m_store.header.imageSize);
    if (!restored)
        return false;
    // An element edit's own part first: what it made leaves (kept until the commit is
    // through), what it changed swaps contents with its copy; then the ranges as for any step.
    std::vector<std::pair<int, std::unique_ptr<ElementRecord>>> made;
    for (uint64_t id : step.elements.created) {
        ElementRecord* r = m_elements->FindId(id);
        const int at = m_elements->IndexOf(r);
        if (auto taken = m_elements->Take(r))
            made.emplace_back(at, std::move(taken));
    }
    auto swapContents = [this](std::vector<ElementRecord>& copies) {
        for (ElementRecord& copy : copies) {
            ElementRecord* now = m_elements->FindId(copy.id);
            const int at = m_elements->IndexOf(now);
            std::unique_ptr<ElementRecord> r = m_elements->Take(now);
            if (!r)
                continue;
            std::swap(r->size, copy.size);
            std::swap(r->firstFrame, copy.firstFrame);
            std::swap(r->lastFrame, copy.lastFrame);
            std::swap(r->body, copy.body);
            std::swap(r->tail, copy.tail);
            if (m_elements->Insert(at, std::move(r)) != 0)
                ZOV_LOG("E: Fail");
        }
    };
    swapContents(step.elements.before);
    const std::vector<uint64_t> putBack = RestoreElements(step.elements);
    // The restored state is committed beside the current one first, then moved down to the
    // old end of frame data and the file cut there.
    if (!CommitCompact(m_store.header.frameDataEnd)) {
        // Not undone after all: the elements put back leave again.
        for (uint64_t id : putBack)
            (void)m_elements->Take(m_elements->FindId(id));
        swapContents(step.elements.before);
        for (auto it = made.rbegin(); it != made.rend(); ++it)
            (void)m_elements->Insert(it->first, std::move(it->second));
        RestoreState(saved);
        return false;
    }
    events.elementsChanged = elementEdit || ElementsChangedSince(saved.elements);
    ClearLastMessage();
    return true;
}

} // namespace zov
