// The element list of a project: the annotations with their frame ranges, the selection, the
// clipboard, and the element block of the project file.
//
// Owned by the document (CAni), one per process, used from the user-interface thread; the
// playback thread only reads it while editing is disabled. No operation throws: every status
// is 0 for success, -1 for failure (nothing changed unless said otherwise), and -2 for an
// output array that is too small.
#pragma once

#include "elements/ElementTypes.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zov {

class BinFile;

// One element: the 20-byte record header (its fifth field, the body pointer, is not kept:
// the record owns its body and tail), the fixed body of its kind and the variable tail.
class ElementRecord {
  public:
    // Names the element for as long as its list lives (undo finds elements by it); given by
    // the list when the element enters it, never stored in a file, never reused.
    uint64_t id = 0;
    uint32_t size = 0; // fixed body bytes + tail bytes
    int32_t firstFrame = 0;
    int32_t lastFrame = 0;
    int32_t kind = 0;
    std::vector<uint8_t> body; // exactly ElementFixedBodySize(kind) bytes
    std::vector<uint8_t> tail; // text (NUL-terminated, padded to 4) or image bits

    bool ShownOn(int32_t f) const { return firstFrame <= f && f <= lastFrame; }

    // The body as its layout; null when the body is smaller than T (wrong kind, no body).
    // Change length fields only through CElementList::SetText / SetImage.
    template <class T> T* Body() {
        return body.size() >= sizeof(T) ? reinterpret_cast<T*>(body.data()) : nullptr;
    }
    template <class T> const T* Body() const {
        return body.size() >= sizeof(T) ? reinterpret_cast<const T*>(body.data()) : nullptr;
    }

    // The text of kinds 3, 4, 5, 6 and 8 up to its first NUL (a tail read from a file need
    // not hold one); empty for other kinds or an empty tail.
    std::string Text() const;
};

class CElementList {
  public:
    CElementList() = default;
    ~CElementList() = default;
    CElementList(const CElementList&) = delete;
    CElementList& operator=(const CElementList&) = delete;

    // --- the list ---------------------------------------------------------------------

    // Appends a new element with a zeroed body of the kind's fixed size and no tail.
    // Null unless 0 <= first <= last and kind is 0..10 other than 7. Callers: element
    // editing, the export commands (kind 10).
    ElementRecord* Create(int32_t first, int32_t last, int32_t kind);
    // Removes the element from the selection and the clipboard, then frees it. -1 on an
    // empty list, a record that is not in the list, or a record with no body.
    int Delete(ElementRecord* record);
    // Deletes the element whose body is `body` (ElementRecord::body.data()); -1 when none.
    int DeleteByBody(const void* body);
    // Deletes every element, empties selection and clipboard, zeroes count, total bytes,
    // block offset and reserved. Callers: the document on close, "Delete All Elements".
    void Clear();

    // Writes the elements shown on frame f, in list order, into out[0..max) and returns how
    // many; -2 when more than max match (the first max are written); -1 when max < 1 or out
    // is null. Callers: drawing, the thumbnail strip, exports.
    int ElementsInFrame(int32_t f, ElementRecord** out, int max) const;
    int CountInFrame(int32_t f) const;

    // Whether (x, y), in frame pixels, hits the element on frame f. With startOnly, only an
    // element whose first frame is f counts; otherwise any element shown on f.
    bool HitTest(const ElementRecord* record, int32_t x, int32_t y, int32_t f, bool startOnly) const;
    // The first element in list order that HitTest finds, or null.
    ElementRecord* FindAt(int32_t f, int32_t x, int32_t y, bool startOnly) const;

    // Kinds 3, 4, 5, 6 and 8: replaces the text tail (strlen + 1 rounded up to 4 bytes; null
    // gives an empty tail). Size and total bytes follow. -1 for other kinds.
    int SetText(ElementRecord* record, const char* text);
    // Kind 9: replaces the bits (length rounded up to 4, padded with zeros), copies the
    // 40-byte header into the body and clears the second buffer. -1 for other kinds.
    int SetImage(ElementRecord* record, const ImageInfoHeader& header, const uint8_t* bits, uint32_t length);

    // Copy between a style and an element's body, per kind. ApplyStyle also replaces the text
    // of kinds 3, 4, 5, 6 and 8 by the style's. ReadStyle zeroes the style first and copies the
    // element's text into it. Kind 7 exchanges nothing and fails. Callers: element editing, the
    // style tool window.
    int ApplyStyle(ElementRecord* record, const ElementStyle& style);
    bool ReadStyle(const ElementRecord* record, ElementStyle& style) const;

    // --- selection (references into the list, in the order selected) ------------------

    // Appends without looking for doubles (callers test IsSelected first); -1 for a record
    // not in the list.
    int Select(ElementRecord* record);
    // Removes every reference to the record from the selection; -1 when it was not selected.
    int Deselect(const ElementRecord* record);
    bool IsSelected(const ElementRecord* record) const;
    void ClearSelection();
    int SelectionCount() const { return static_cast<int>(m_selection.size()); }
    // Iterates in selection order: start with cursor = 0; each call returns the next selected
    // element and advances the cursor; null after the last.
    ElementRecord* NextSelected(int& cursor) const;

    // Adds dx, dy to every coordinate of each selected element (rectangle or end points; for
    // kind 3 also the tip and the outline; for kinds 5 and 6 also the point).
    void MoveSelection(int32_t dx, int32_t dy);
    // Empties the clipboard, then deletes every selected element.
    void DeleteSelection();

    // --- clipboard (references into the list) ---------------------------------------------

    // Empties the clipboard and appends every selected element to it.
    void CopySelection();
    int ClipboardCount() const { return static_cast<int>(m_clipboard.size()); }
    void ClearClipboard();
    int RemoveFromClipboard(const ElementRecord* record);
    // Appends a deep copy of each clipboard element, in clipboard order, on frames
    // first..last. The copies are not selected. -1 when first < 0 or last < first, or at a
    // kind-7 element (the copies made so far stay).
    int PasteClipboard(int32_t first, int32_t last);

    // --- frames ---------------------------------------------------------------------------

    // Follows a frame edit (case-insensitive operation name):
    //  "FRAMEPASTE", a, b, c: frames a..b were pasted in at index c; ranges at or after c move
    //    by n = b - a + 1, an element spanning c grows by n.
    //  "FRAMEDELETE", a, b: frames a..b were deleted; elements wholly inside go, the others
    //    are cut or moved down.
    // -1 when a > b or the name is unknown. Callers: frame delete and paste of the document,
    // before the tables and this block are rewritten. With `removed`, the elements a delete
    // takes out are handed over there (in list order) instead of being freed.
    int AdjustForFrames(const char* operation, int32_t a, int32_t b, int32_t c,
                        std::vector<std::unique_ptr<ElementRecord>>* removed = nullptr);

    // --- the element block ----------------------------------------------------------------

    // Reads the element block at the file's current position (which must be >= 1). The list
    // must be empty. `version` is the project file's version (0x20021030 files have 76-byte
    // image bodies). Every count and length is checked against the file before anything is
    // allocated. -1 on any fault; elements read before the fault stay in the list (the caller
    // treats the project as unreadable and clears it). Caller: open project.
    int Read(BinFile& f, uint32_t version);
    // Writes the whole block at the file's current position (>= 1) with one BinFile::Write,
    // and records that position as the block offset. -1 on a short write or when the list
    // holds a kind-7 element (then nothing is written). Callers: write index, save as.
    int Write(BinFile& f);
    // The bytes Write would store at file offset `position`, for callers that combine the
    // block with other bytes into one write (then call SetBlockOffset(position) once it is
    // on disk). -1 for position < 1 or beyond 2^31 - 1, or a kind-7 element.
    int BuildBlock(int64_t position, std::vector<uint8_t>& out) const;
    void SetBlockOffset(int32_t offset) { m_blockOffset = offset; }

    // --- URL links --------------------------------------------------------------------------

    // Writes one line "first, last, left, top, right, bottom, url\n" per kind-8 element in
    // list order to a new text file. -1 when the file can't be created or written. Caller:
    // the HTML page export.
    int WriteUrlLinks(const std::string& path) const;

    // --- block header fields and access -------------------------------------------------------

    int32_t Count() const { return m_count; }
    int64_t TotalBytes() const { return m_total; } // sum of 20 + size over the elements
    int32_t BlockOffset() const { return m_blockOffset; }
    int32_t Reserved() const { return m_reserved; }
    // Elements in list (creation and drawing) order; index 0..Count()-1, null outside.
    ElementRecord* At(int index) const;
    int IndexOf(const ElementRecord* record) const; // -1 when not in the list
    ElementRecord* FindId(uint64_t id) const;       // null when no element has it

    // --- taking elements out and back (undo) ------------------------------------------------

    // Removes the element from the list, the selection and the clipboard and hands it over
    // whole; null for a record not in the list.
    std::unique_ptr<ElementRecord> Take(ElementRecord* record);
    // Puts an element back at list position `index` (clamped to 0..Count()), keeping its id
    // (an element without one gets a fresh id). -1 for a null record or a kind out of range.
    int Insert(int index, std::unique_ptr<ElementRecord> record);

  private:
    int Append(std::unique_ptr<ElementRecord> record);
    int ParseRecords(const uint8_t* data, size_t size, int32_t count, bool oldImages, int64_t& adjust);

    std::vector<std::unique_ptr<ElementRecord>> m_list;
    std::vector<ElementRecord*> m_selection;
    std::vector<ElementRecord*> m_clipboard;
    uint64_t m_nextId = 1; // not reset by Clear: an id names one element for the list's life
    int32_t m_count = 0;
    int64_t m_total = 0; // wider than the stored i32 so a large list cannot wrap it
    int32_t m_blockOffset = 0;
    int32_t m_reserved = 0;
};

} // namespace zov
