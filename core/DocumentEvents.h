// The callback interface through which the document tells its listeners (the main window,
// the player window, the import dialog) what happened. Calls arrive on the thread that did
// it, a worker's or the caller's, never with the document lock held: a Qt window forwards
// each one with a queued signal and never touches widgets from the callback itself.
#pragma once

#include <cstdint>
#include <string>

namespace zov {

// Event names, kept from the window messages they stand for.
enum DocumentEvent : uint32_t {
    UM_PLAY_FRAME = 0x465,
    UM_PLAY_FINISH = 0x466,
    UM_FRAME_CAPTURED = 0x467,
    UM_RECORD_FINISH = 0x468,
    UM_IMPORT_PROGRESS = 0x479,
    UM_DOC_CLOSED = 0x47A,
    UM_ELEMENTS_CHANGED = 0x47B,
};

// OnImportProgress kinds (the message's wParam).
constexpr int kImportProgressStep = 0;     // text "appended frames: %d"
constexpr int kImportProgressFinished = 1; // no more bitmaps

class IDocumentEvents {
  public:
    virtual ~IDocumentEvents() = default;
    // UM_FRAME_CAPTURED: frameCount is the count after the frame was stored.
    virtual void OnFrameCaptured(int frameCount) { (void)frameCount; }
    // UM_RECORD_FINISH: the recording loop ended normally and the index is written.
    virtual void OnRecordFinish() {}
    // A recording run ended early (encode or write failure); reason is one sentence.
    virtual void OnRecordFailed(const std::string& reason) { (void)reason; }
    // UM_PLAY_FRAME / UM_PLAY_FINISH.
    virtual void OnPlayFrame(int frame) { (void)frame; }
    virtual void OnPlayFinish() {}
    // UM_IMPORT_PROGRESS: kind kImportProgressStep with the appended count and its text, or
    // kImportProgressFinished when the series ran out.
    virtual void OnImportProgress(int kind, int appended, const std::string& text) {
        (void)kind;
        (void)appended;
        (void)text;
    }
    // UM_DOC_CLOSED: the open project (or stream document) was closed.
    virtual void OnClosed() {}
    // UM_ELEMENTS_CHANGED: a frame edit or undo changed the element list or its ranges.
    virtual void OnElementListChanged() {}
};

} // namespace zov
