// CAni: the one document object of the program. It holds the open project file and its
// side file, the header copy, the frame table and the three further tables, the cache of
// decoded frames, the undo stack, the control states of the worker threads, the capture
// settings and the element list. The programs reach theirs through Ani(); a test makes a
// fresh one of its own.
//
// Threads: the user-interface thread calls everything; a capture thread (recorder/) and
// the bitmap-import worker call the capture and append operations while editing is off.
// Every operation that touches the file, the tables or the cache takes the document lock,
// so a worker and the user interface never interleave inside one operation. The import
// lets the lock go between frames, so the window can load frames meanwhile; edits are
// refused until it ends. Another thread reads through the *Copy() calls. Listeners
// (AddListener) hear events on the thread that raised them, never with the lock held by
// the operation that raised them.
//
// Results are bool (true = success). A failure the user must see leaves its sentence in
// LastMessage(); internal failures write a log line only. Every successful edit and undo
// clears the last message.
#pragma once

#include "base/BinFile.h"
#include "base/Bitmap.h"
#include "core/CaptureSettings.h"
#include "core/DocumentEvents.h"
#include "core/FrameCache.h"
#include "core/ProjectRecords.h"
#include "core/ProjectStorage.h"
#include "core/UndoStack.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace zov {

class CElementList;
class ElementRecord;

// Undo snapshot kinds.
constexpr int32_t kUndoFrameEdit = 0;
constexpr int32_t kUndoElementEdit = 2;
constexpr int kUndoLimit = 10;

// A bitmap-series append (the import's request). The worker fills appended and clears
// running when it stops; StopBitmapAppend clears running to ask it to stop.
struct BitmapAppendRequest {
    std::string firstPath; // first member of the series; its digits give the numbering
    std::atomic<int32_t> appended{0};
    std::atomic<int32_t> running{0};
    std::atomic<int32_t> finished{0}; // set by the worker as its last act
    bool result = false;              // true when at least one frame was appended
    std::string error;                // why the series stopped early or nothing was appended
    std::thread worker;
    BitmapAppendRequest() = default;
    BitmapAppendRequest(const BitmapAppendRequest&) = delete;
    BitmapAppendRequest& operator=(const BitmapAppendRequest&) = delete;
    // A request going out of scope stops its worker first.
    ~BitmapAppendRequest() {
        running = 0;
        if (worker.joinable())
            worker.join();
    }
};

// One call of the element painter: draw the elements of frame `index` over its picture.
// `image` holds width x height pixels of the project's geometry, 24 bits, bottom-up rows of
// RowBytes24(width) bytes. Without a snapshot the painter draws from `list` and leaves the
// selected elements out (the view and the strip: the selection overlay draws those); an
// export hands the copy of the list it took when it started in `snapshot`, and every element
// of it shown on the frame is drawn, selected or not. With `exporting` link areas are left
// out. The document calls the painter with its lock held, so it reads what it is handed and
// calls nothing else of the document.
struct ElementPaintJob {
    const CElementList* list = nullptr;
    const std::vector<ElementRecord>* snapshot = nullptr;
    int32_t index = 0;
    int32_t frameCount = 0;
    uint8_t* image = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    bool exporting = false;
};
using ElementPainter = std::function<void(const ElementPaintJob& job)>;

class CAni {
  public:
    CAni();
    ~CAni();
    CAni(const CAni&) = delete;
    CAni& operator=(const CAni&) = delete;

    // Back to the start-up state (closes any document, empties the undo stack).
    void Initialise();

    // ---- documents -------------------------------------------------------------------
    // Creates a project (extension becomes "scp"), or with streamFlag enters DOC_STREAM
    // (extension "zov", no file). `path` is changed in place like the caller's buffer.
    bool NewProject(std::string& path, bool streamFlag);
    // Opens a project ("r+b"), falling back to the path with extension "scp". On failure
    // LastMessage() says why and the open document stays as it was (a damaged file leaves
    // none). Opening changes the file in one case only: a header torn by a crash is put back
    // from the journal the last commit left, and the bytes after that index are cut. A set
    // `cancel` (polled while a big index is checked) gives up before anything is changed:
    // the open document stays as it was.
    bool OpenProject(std::string& path, const std::atomic<bool>* cancel = nullptr);
    // Releases the open document; empties the undo stack. Nothing open: does nothing.
    void Close();
    // Writes a compacted copy (key frame every 10th) through a temporary file that is moved
    // onto `path` at the end, then continues with the copy. Saving onto the open file works.
    // A set `cancel` (polled per frame) removes the copy and keeps the open document as it was.
    bool SaveAs(std::string& path, const std::atomic<bool>* cancel = nullptr);
    // Commits tables, element block and header of the open file so that a crash at any
    // point leaves the old or the new state on disk; without new frame records the index
    // goes back down to the end of the frame data, so the file keeps its size.
    bool WriteIndex();
    // Verifies every frame-table entry against the file.
    bool CheckFile();

    int32_t DocMode() const { return m_mode; }
    bool IsFileOpen() const { return m_store.file.IsOpen(); }
    // The project path (or stream path in DOC_STREAM); "" when none.
    std::string DocumentPath() const;
    const std::string& ProjectFolder() const { return m_folder; }
    const std::string& SideFilePath() const { return m_sidePath; }

    // ---- queries ---------------------------------------------------------------------
    // 0 outside DOC_PROJECT or when negative.
    int32_t FrameCount() const;
    // 0 outside DOC_PROJECT.
    int32_t ImageSize() const;
    int32_t RowBytes() const;
    int32_t ImageWidth() const;
    int32_t ImageHeight() const;
    const BitmapInfoHeader& BitmapInfo() const { return m_store.header.bmi; }
    // Read-only views for the recorder and tools (recover, info). The frame table holds
    // at least FrameCount() entries; its size is its capacity.
    const ProjectHeader& Header() const { return m_store.header; }
    const std::vector<FrameEntry>& FrameTable() const { return m_store.frames; }
    int32_t FrameTableCapacity() const { return static_cast<int32_t>(m_store.frames.size()); }
    const std::vector<Table2Record>& Table2() const { return m_store.table2; }
    const std::vector<Table3Record>& Table3() const { return m_store.table3; }
    const std::vector<Table4Record>& Table4() const { return m_store.table4; }
    // Copies taken under the document lock, for a thread other than the one editing (the
    // window thread while a worker appends): the header, the FrameCount() used entries of the
    // frame table, and the element list (records with their ids, bodies and tails).
    ProjectHeader HeaderCopy() const;
    std::vector<FrameEntry> FrameTableCopy() const;
    std::vector<ElementRecord> ElementsCopy() const;

    // ---- settings of the next recording ------------------------------------------------
    int32_t FrameDelay() const; // 0 outside DOC_PROJECT
    void SetFrameDelay(int32_t ms);
    CaptureRect GetCaptureRect() const;
    // Refuses (last message) a rectangle whose 24-bit image would exceed 2,359,296 bytes.
    bool SetCaptureRect(const CaptureRect& r);
    // window 0 with recordWindow false: record a desktop rectangle.
    void SetRecordWindow(uint64_t window, bool recordWindow) {
        m_capture.SetRecordWindow(window, recordWindow);
    }
    uint64_t RecordWindow() const { return m_capture.RecordWindow(); }
    bool RecordWindowFlag() const { return m_capture.RecordWindowFlag(); }
    bool RecordPointer() const { return m_store.header.recordPointer != 0; }
    void SetRecordPointer(bool on) { m_store.header.recordPointer = on ? 1 : 0; }
    int32_t KeyFrameInterval() const { return m_store.header.keyFrameInterval; }
    void SetKeyFrameInterval(int32_t n);
    SoundFormat GetSoundFormat() const { return m_capture.Sound(); }
    void SetSoundFormat(const SoundFormat& f) { m_capture.SetSound(f); }
    // The format the MP3 bit-rate setting implies: 16 -> 8-bit mono 22,050 Hz, 24 -> 16-bit
    // stereo 22,050 Hz, anything else -> 8-bit mono 8,000 Hz.
    static SoundFormat SoundFormatForBitRate(int mp3BitRate) {
        return CaptureSettings::SoundFormatForBitRate(mp3BitRate);
    }
    // Settings a new project takes (the header of a new file starts from these).
    void SetDefaultFrameDelay(int32_t ms) { m_capture.SetDefaultFrameDelay(ms); }
    void SetDefaultRecordPointer(bool on) { m_capture.SetDefaultRecordPointer(on); }
    void SetScreenSize(int32_t width, int32_t height) { m_capture.SetScreenSize(width, height); }

    // ---- playback and selection ----------------------------------------------------------
    int32_t Speed() const { return m_speed; }
    void SetSpeed(int32_t speed); // 1..100 only
    void Select(int32_t first, int32_t last);
    int32_t SelectionStart() const { return m_selStart; }
    int32_t SelectionCount() const { return m_selCount; }
    int32_t PlayStartFrame() const { return m_playStart; }
    void SetPlayStartFrame(int32_t f) { m_playStart = f; }
    int32_t CurrentFrame() const { return m_currentFrame; }
    void SetCurrentFrame(int32_t f) { m_currentFrame = f; }

    // ---- last message, events, control states ------------------------------------------
    std::string LastMessage() const;
    // The language's text for a file that is not a project file.
    void SetNotProjectText(const std::string& text) { m_notProjectText = text; }
    void ClearLastMessage();
    void SetLastMessage(const std::string& text); // also logs it
    // Listeners hear every event, in the order added; adding one twice has no effect.
    void AddListener(IDocumentEvents* listener);
    // After it returns the listener hears nothing more (it waits for a call to it that is
    // under way on another thread). A listener may remove itself from within a call.
    void RemoveListener(IDocumentEvents* listener);
    // Passes each call on to every listener: what workers report through.
    IDocumentEvents& Broadcast() { return m_broadcast; }

    std::atomic<int32_t> m_control_rec_scr{C_CONTROL_STOP};
    std::atomic<int32_t> m_control_rec_snd{C_CONTROL_STOP};
    std::atomic<int32_t> m_control_play{C_CONTROL_STOP};

    // ---- frames --------------------------------------------------------------------------
    // Decodes frame `index` into `image` (ImageSize() bytes) and copies its header out. With
    // drawElements the frame's elements are drawn over it through the element painter (the
    // cache keeps the picture without them).
    bool LoadFrame(int32_t index, uint8_t* image, FrameHeader* header, bool drawElements = false);
    bool LoadFrame(int32_t index, std::vector<uint8_t>& image, FrameHeader& header);
    bool LoadFrame(int32_t index, Image24& image); // convenience for tools
    // The stored record of frame `index` as the file holds it: its header and data, checked
    // against the file and the image size before anything is allocated. The exports walk
    // frames with it. False for an index outside the frames or a damaged record.
    bool ReadFrameRecord(int32_t index, FrameHeader& header, std::vector<uint8_t>& data);
    FrameCache& Cache() { return m_cache; }
    // The element drawing's hook (empty: frames are shown without elements).
    void SetElementPainter(ElementPainter painter);
    // Draws the elements of frame `index` over `image` (ImageSize() bytes) through the
    // painter; false without a project or a painter (the picture is left as it was).
    bool PaintElements(int32_t index, uint8_t* image);
    // The same for an export: every element of `snapshot` (the list as the export found it
    // when it started) shown on frame `index`, selected or not, and no link areas.
    bool PaintElementsForExport(int32_t index, uint8_t* image, const std::vector<ElementRecord>& snapshot);

    // ---- a recording run (the capture thread drives these) ---------------------------------
    // Sets the header geometry for a width x height area and the start-time text, empties
    // and switches off the frame cache, and places the write position after everything the
    // file holds. Refuses (last message) an image over 2,359,296 bytes, and a geometry that
    // differs from frames already in the project.
    bool BeginCaptureRun(int32_t width, int32_t height, std::chrono::system_clock::time_point start);
    // Encodes `current` (ImageSize() bytes) as `kind` against `previous` (may be null for a
    // key frame), writes the record, grows the table and counts the frame. Refuses, with the
    // last message set and nothing written, a record that would end past 2^31 - 1.
    bool AppendCapturedFrame(const uint8_t* current, const uint8_t* previous, int32_t kind, int32_t pointerX,
                             int32_t pointerY, int32_t pointerShape);
    // Appends one record to "cursor.bin" (false without a side file).
    bool AppendCursorRecord(const void* bytes, size_t size);

    // ---- editing and undo ------------------------------------------------------------------
    bool DeleteFrames(int32_t first, int32_t count, bool snapshot = true);
    bool PasteFrames(int32_t source, int32_t count, int32_t destination);
    // Frame count and tables 2..4 to 0, file cut to 148 bytes (no snapshot).
    bool ClearAllFrames();
    // Appends the series that request.firstPath starts, on the calling thread.
    bool AppendFramesFromBitmaps(BitmapAppendRequest& request);
    // The same on a worker thread: progress and the end go to the listeners (OnImportProgress).
    bool StartBitmapAppend(BitmapAppendRequest& request);
    // Moves the last `count` frames (a series just appended) to stand before `destination`.
    // It pushes no undo step: the append's step takes both back, so one Undo removes the
    // import wherever it was placed. True, doing nothing, when they stand there already.
    bool PlaceAppendedFrames(int32_t count, int32_t destination);
    // Asks the worker to stop and waits up to 2 s; true when it has ended (and is joined).
    // Until it returns true the request must stay alive; call it again or WaitBitmapAppend.
    bool StopBitmapAppend(BitmapAppendRequest& request);
    // Waits for the worker to end by itself.
    void WaitBitmapAppend(BitmapAppendRequest& request);
    bool PushUndoSnapshot(int32_t kind, const void* extra, size_t extraSize);
    // Element edits share the one undo stack with frame edits. ElementUndoBase() is the list
    // as it stands (every id with its range), taken before the edit; the edit fills in what it
    // made (`created`), what it changed (`before`, copies taken before the change) and what it
    // took out (`removed`, the objects themselves), then pushes it as a kind-2 step whose
    // extra bytes are the first made or changed element's id. False, step dropped, without a
    // project or with a full stack.
    ElementUndo ElementUndoBase() const;
    bool PushElementUndo(ElementUndo&& elements);
    bool Undo();
    int UndoCount() const { return m_undo.Count(); }

    // The element list of the open project: one object for the life of the document object
    // (open, undo and close refill it), so a reference to it stays valid.
    CElementList& Elements() { return *m_elements; }

    // The lock every operation takes; recursive so operations may call each other.
    std::recursive_mutex& Lock() { return m_lock; }

  private:
    struct SavedState; // what an edit restores when it fails before its commit
    bool RequireProject(const char* what) const;
    bool RunPainter(ElementPaintJob& job);
    void ResetDocumentState();
    bool SetFrameEntry(int32_t index, FrameEntry entry);
    int64_t IndexBytes(int32_t extraFrames) const;
    bool WriteRecordAtEnd(const FrameHeader& header, const uint8_t* data, int32_t& offset);
    bool ReadRecord(int32_t index, FrameHeader& header, std::vector<uint8_t>& data, bool requireSign = false);
    bool ReencodeAsKeyFrame(int32_t index);
    bool LoadFrameLocked(int32_t index, uint8_t* image, FrameHeader* header);
    void CacheFrame(int32_t index, const uint8_t* image, int32_t size, const FrameHeader& header);
    bool CommitIndexAt(int64_t at);
    bool CommitCompact(int64_t at);
    bool CommitEdit();
    bool Committed(bool ok, const IndexCommit& done, bool tooLarge);
    void SaveState(SavedState& s) const;
    void RestoreState(SavedState& s);
    bool ReloadElements(int32_t blockOffset, uint32_t version);
    ElementUndo CaptureElements() const;
    // Whether the element list differs in members or ranges from `before`.
    bool ElementsChangedSince(const ElementUndo& before) const;
    // True, with the last message set, while a bitmap import is appending: edits wait.
    bool RefuseWhileImporting();
    // Puts back what `undo` holds (see UndoStack.h): removed elements at their places, the
    // ranges of the elements of that moment; elements made since are cut to the frames.
    // Returns the ids it put back.
    std::vector<uint64_t> RestoreElements(ElementUndo& undo);
    std::vector<uint8_t> BuildSnapshot(int32_t kind, const void* extra, size_t extraSize) const;
    bool RestoreSnapshot(const std::vector<uint8_t>& record);
    bool AppendFramesLocked(BitmapAppendRequest& request);

    mutable std::recursive_mutex m_lock;
    int32_t m_speed = 10;
    std::string m_folder;
    std::string m_path;
    std::string m_sidePath;
    int32_t m_playStart = 0;
    int32_t m_mode = DOC_NONE;
    int32_t m_selStart = 0;
    int32_t m_selCount = 0;
    ProjectStorage m_store;    // the file, its side file, the header copy and the tables
    CaptureSettings m_capture; // the settings of the next recording that the header does not hold
    mutable std::mutex m_messageLock;
    std::string m_lastMessage;
    std::unique_ptr<CElementList> m_elements;
    FrameCache m_cache;
    int32_t m_currentFrame = -1;
    UndoStack m_undo;
    void ClearUndo();
    // Events raised inside an operation are delivered when it has released the lock: the
    // object lives in front of the operation's lock guard, so it goes after it.
    class PendingEvents;
    class Broadcaster : public IDocumentEvents {
      public:
        explicit Broadcaster(CAni& doc) : m_doc(doc) {}
        void OnFrameCaptured(int frameCount) override;
        void OnRecordFinish() override;
        void OnRecordFailed(const std::string& reason) override;
        void OnPlayFrame(int frame) override;
        void OnPlayFinish() override;
        void OnImportProgress(int kind, int appended, const std::string& text) override;
        void OnClosed() override;
        void OnElementListChanged() override;

      private:
        CAni& m_doc;
    };
    template <class F> void Notify(F&& call);
    std::mutex m_listenerLock;
    std::condition_variable m_listenerIdle;
    std::vector<IDocumentEvents*> m_listeners;
    int m_delivering = 0; // calls under way, on any thread
    std::atomic<bool> m_importing{false};
    // Counts closes: an import that finds it changed when it takes the lock back knows its
    // document is gone and ends without touching anything.
    uint64_t m_generation = 0;
    Broadcaster m_broadcast{*this};
    std::vector<uint8_t> m_encodeBuf; // reused by the capture path
    std::vector<uint8_t> m_readBuf;   // record data of the frame being loaded
    ElementPainter m_painter;
    std::string m_notProjectText = "this is not a ZOV Recorder project file!";
};

// The document of the running program (tests make their own CAni instead).
CAni& Ani();

} // namespace zov
