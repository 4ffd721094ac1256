// Undo across geometry changes and element edits: the frame cache follows the restored
// geometry, and undo keeps the element list (its objects, selection and clipboard) alive.
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"
#include "elements/ElementList.h"

#include <csignal>
#include <sys/resource.h>
#include <thread>

using namespace zov;
using namespace zovtest;

namespace {

class Undo : public DocTest {
  protected:
    // A project of n key frames of Picture(w, h, i), opened in `doc`.
    void MakeProject(CAni& doc, int n, int w, int h) {
        std::vector<HandFrame> frames;
        for (int i = 0; i < n; ++i)
            frames.push_back(HandKey(Picture(w, h, i)));
        ASSERT_TRUE(WriteAll(Path("p.scp"), BuildHandFile(w, h, frames).bytes));
        path = Path("p.scp");
        ASSERT_TRUE(doc.OpenProject(path)) << doc.LastMessage();
    }
    void WriteSeries(int count, int w, int h) {
        for (int n = 0; n < count; ++n) {
            Image24 img;
            img.Allocate(w, h);
            const auto pic = Picture(w, h, 100 + n);
            std::copy(pic.begin(), pic.end(), img.bits.begin());
            char name[32];
            std::snprintf(name, sizeof name, "s%04d.bmp", n);
            ASSERT_TRUE(WriteBmp(Path(name), img));
        }
    }
    std::string path;
};

// Deleting every frame, importing a larger series and undoing both brings back the small
// frames: the cache must not keep the imported size (under AddressSanitizer a copy of the
// large size out of the small picture is a heap overflow).
TEST_F(Undo, CacheFollowsTheGeometryUndoPutsBack) {
    CAni& doc = Doc();
    MakeProject(doc, 3, 40, 10);
    WriteSeries(2, 200, 100);
    ASSERT_TRUE(doc.DeleteFrames(0, 3, true));
    BitmapAppendRequest req;
    req.firstPath = Path("s0000.bmp");
    ASSERT_TRUE(doc.AppendFramesFromBitmaps(req)) << req.error;
    ASSERT_EQ(doc.ImageSize(), 60000);
    std::vector<uint8_t> img;
    FrameHeader fh;
    ASSERT_TRUE(doc.LoadFrame(1, img, fh)); // the cache now holds large pictures
    ASSERT_TRUE(doc.Undo());
    ASSERT_TRUE(doc.Undo());
    ASSERT_EQ(doc.ImageSize(), 1200);
    ASSERT_EQ(doc.FrameCount(), 3);
    for (int pass = 0; pass < 2; ++pass) // decoded, then from the cache
        for (int i = 0; i < 3; ++i) {
            std::vector<uint8_t> small; // exactly 1,200 bytes, so an overread leaves the buffer
            ASSERT_TRUE(doc.LoadFrame(i, small, fh)) << i;
            EXPECT_EQ(small, Picture(40, 10, i)) << "frame " << i << " pass " << pass;
        }
    EXPECT_EQ(doc.Cache().Count(), 3);
}

// An element made or restyled after a frame edit survives the edit's undo: the list keeps its
// objects, so pointers, the selection and the clipboard stay good, and only the frame ranges
// of the elements of that moment go back.
TEST_F(Undo, ElementsMadeOrChangedAfterAnEditSurviveItsUndo) {
    CAni& doc = Doc();
    MakeProject(doc, 10, 40, 10);
    CElementList& el = doc.Elements();
    ElementRecord* a = el.Create(2, 8, ELEMENT_BOX);
    ElementRecord* b = el.Create(0, 1, ELEMENT_LINE);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(el.Select(b), 0);
    el.CopySelection();
    ASSERT_TRUE(doc.DeleteFrames(5, 5, true));
    ASSERT_EQ(a->lastFrame, 4);
    ElementRecord* c = el.Create(3, 4, ELEMENT_CIRCLE);
    ASSERT_NE(c, nullptr);
    a->Body<ShapeBody>()->rect = ElementRect{1, 2, 30, 9}; // moved after the delete
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(doc.FrameCount(), 10);
    ASSERT_EQ(el.Count(), 3);
    EXPECT_EQ(el.IndexOf(a), 0);
    EXPECT_EQ(el.IndexOf(b), 1);
    ASSERT_EQ(el.IndexOf(c), 2);
    EXPECT_EQ(a->firstFrame, 2);
    EXPECT_EQ(a->lastFrame, 8);
    EXPECT_EQ(a->Body<ShapeBody>()->rect.right, 30);
    EXPECT_EQ(c->firstFrame, 3);
    EXPECT_EQ(c->lastFrame, 4);
    EXPECT_TRUE(el.IsSelected(b));
    EXPECT_EQ(el.ClipboardCount(), 1);
    ASSERT_EQ(el.PasteClipboard(6, 7), 0);
    EXPECT_EQ(el.At(3)->kind, ELEMENT_LINE);
    // What undo left is what the file holds.
    doc.Close();
    std::string p = path;
    ASSERT_TRUE(doc.OpenProject(p));
    ASSERT_EQ(doc.Elements().Count(), 3);
    EXPECT_EQ(doc.Elements().At(0)->lastFrame, 8);
    EXPECT_EQ(doc.Elements().At(0)->Body<ShapeBody>()->rect.right, 30);
    EXPECT_EQ(doc.Elements().At(2)->kind, ELEMENT_CIRCLE);
}

// Elements a frame delete removed come back with its undo, in their place; elements made
// since are cut to the frames undo leaves; an element deleted since stays deleted.
TEST_F(Undo, RemovedElementsReturnNewOnesAreClampedDeletedOnesStayGone) {
    CAni& doc = Doc();
    MakeProject(doc, 10, 40, 10);
    CElementList& el = doc.Elements();
    ElementRecord* e1 = el.Create(0, 2, ELEMENT_BOX);
    ElementRecord* e2 = el.Create(5, 6, ELEMENT_TEXT);
    ElementRecord* e3 = el.Create(8, 9, ELEMENT_LINE);
    ASSERT_TRUE(e1 && e2 && e3);
    ASSERT_EQ(el.SetText(e2, "hello"), 0);
    ASSERT_TRUE(doc.DeleteFrames(4, 4, true)); // takes e2 with it
    ASSERT_EQ(el.Count(), 2);
    ASSERT_EQ(doc.FrameCount(), 6);
    ASSERT_TRUE(doc.PasteFrames(0, 4, 6));
    ElementRecord* e4 = el.Create(7, 9, ELEMENT_CIRCLE);
    ASSERT_NE(e4, nullptr);
    ASSERT_TRUE(doc.Undo()); // the paste
    EXPECT_EQ(doc.FrameCount(), 6);
    EXPECT_EQ(e4->firstFrame, 5);
    EXPECT_EQ(e4->lastFrame, 5);
    ASSERT_EQ(el.Delete(e1), 0);
    ASSERT_TRUE(doc.Undo()); // the delete
    EXPECT_EQ(doc.FrameCount(), 10);
    ASSERT_EQ(el.Count(), 3);
    const ElementRecord* back = el.At(0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back->kind, ELEMENT_TEXT);
    EXPECT_EQ(back->firstFrame, 5);
    EXPECT_EQ(back->lastFrame, 6);
    EXPECT_EQ(back->Text(), "hello");
    EXPECT_EQ(el.IndexOf(e3), 1);
    EXPECT_EQ(e3->firstFrame, 8);
    EXPECT_EQ(el.IndexOf(e4), 2);
    EXPECT_EQ(e4->lastFrame, 5);
    EXPECT_EQ(el.TotalBytes(), 3 * 20 + int64_t(e3->size + e4->size + back->size));
}

// Ids live in memory only: an edit and its undo leave the bytes of the file as they were.
TEST_F(Undo, DeleteAndUndoLeaveTheFileBytesAsTheyWere) {
    CAni& doc = Doc();
    MakeProject(doc, 6, 40, 10);
    doc.Elements().Create(1, 4, ELEMENT_BOX);
    doc.Elements().Create(2, 3, ELEMENT_LINE);
    ASSERT_TRUE(doc.WriteIndex());
    const auto before = ReadAll(path);
    ASSERT_TRUE(doc.DeleteFrames(2, 2, true));
    ASSERT_TRUE(doc.Undo());
    EXPECT_EQ(ReadAll(path), before);
    // Fresh ids never repeat within a list, copies included.
    CElementList& el = doc.Elements();
    el.ClearSelection();
    ASSERT_EQ(el.Select(el.At(0)), 0);
    el.CopySelection();
    ASSERT_EQ(el.PasteClipboard(0, 1), 0);
    ASSERT_EQ(el.Count(), 3);
    EXPECT_NE(el.At(0)->id, el.At(2)->id);
    EXPECT_NE(el.At(1)->id, el.At(2)->id);
    EXPECT_NE(el.At(0)->id, el.At(1)->id);
}

// Every listener hears every event, none with the document lock held (another thread can take
// it from inside the call); a removed listener hears nothing more.
struct LockProbe : IDocumentEvents {
    explicit LockProbe(CAni& d) : doc(d) {}
    CAni& doc;
    std::vector<std::string> heard;
    int lockedCalls = 0;
    void Note(const std::string& what) {
        heard.push_back(what);
        bool free = false;
        std::thread other([&] {
            if (doc.Lock().try_lock()) {
                free = true;
                doc.Lock().unlock();
            }
        });
        other.join();
        if (!free)
            ++lockedCalls;
    }
    void OnImportProgress(int kind, int appended, const std::string&) override {
        Note("import " + std::to_string(kind) + " " + std::to_string(appended));
    }
    void OnClosed() override { Note("closed"); }
    void OnElementListChanged() override { Note("elements"); }
};

TEST_F(Undo, ListenersHearEventsOutsideTheLock) {
    CAni& doc = Doc();
    MakeProject(doc, 8, 40, 10);
    WriteSeries(2, 40, 10);
    LockProbe one(doc), two(doc);
    doc.AddListener(&one);
    doc.AddListener(&two);
    doc.AddListener(&one);                     // once only
    ASSERT_TRUE(doc.DeleteFrames(0, 1, true)); // no elements: nothing to say
    doc.Elements().Create(5, 6, ELEMENT_BOX);
    ASSERT_TRUE(doc.DeleteFrames(0, 1, true)); // moves the element
    ASSERT_TRUE(doc.Undo());                   // moves it back
    BitmapAppendRequest req;
    req.firstPath = Path("s0000.bmp");
    ASSERT_TRUE(doc.StartBitmapAppend(req));
    doc.WaitBitmapAppend(req);
    ASSERT_TRUE(req.result) << req.error;
    doc.RemoveListener(&two);
    doc.Close();
    doc.Close(); // nothing open: no event
    std::string again = path;
    ASSERT_TRUE(doc.OpenProject(again));
    doc.Initialise(); // closes what is open, as Close does
    const std::vector<std::string> both{"elements", "elements", "import 0 1", "import 0 2", "import 1 2"};
    std::vector<std::string> withClose = both;
    withClose.push_back("closed");
    withClose.push_back("closed");
    EXPECT_EQ(one.heard, withClose);
    EXPECT_EQ(two.heard, both);
    EXPECT_EQ(one.lockedCalls, 0);
    EXPECT_EQ(two.lockedCalls, 0);
}

// Open, new and save as close the open document on their way: its "closed" event also goes
// out once the lock is free, and once only.
TEST_F(Undo, ClosingInsideOpenNewAndSaveAsIsHeardOutsideTheLock) {
    CAni& doc = Doc();
    MakeProject(doc, 2, 40, 10);
    LockProbe probe(doc);
    doc.AddListener(&probe);
    std::string again = path;
    ASSERT_TRUE(doc.OpenProject(again)); // over itself
    std::string copy = Path("copy.scp");
    ASSERT_TRUE(doc.SaveAs(copy));
    std::string fresh = Path("fresh.scp");
    ASSERT_TRUE(doc.NewProject(fresh, false));
    doc.RemoveListener(&probe);
    EXPECT_EQ(probe.heard, (std::vector<std::string>{"closed", "closed", "closed"}));
    EXPECT_EQ(probe.lockedCalls, 0);
}

// While an import runs, edits are refused with a sentence instead of meeting a half-stored
// series; the window can still load frames between the imported ones.
TEST_F(Undo, EditsWaitForARunningImport) {
    CAni& doc = Doc();
    MakeProject(doc, 2, 40, 10);
    WriteSeries(3, 40, 10);
    struct Gate : IDocumentEvents {
        CAni* doc = nullptr;
        bool deleteRefused = false, undoRefused = false, loaded = false;
        std::string message;
        void OnImportProgress(int kind, int appended, const std::string&) override {
            if (kind != kImportProgressStep || appended != 1)
                return;
            deleteRefused = !doc->DeleteFrames(0, 1, true);
            undoRefused = !doc->Undo();
            message = doc->LastMessage();
            std::vector<uint8_t> img;
            FrameHeader fh;
            loaded = doc->LoadFrame(2, img, fh) && img == Picture(40, 10, 100);
        }
    } gate;
    gate.doc = &doc;
    doc.AddListener(&gate);
    BitmapAppendRequest req;
    req.firstPath = Path("s0000.bmp");
    ASSERT_TRUE(doc.StartBitmapAppend(req));
    doc.WaitBitmapAppend(req);
    doc.RemoveListener(&gate);
    ASSERT_TRUE(req.result) << req.error;
    EXPECT_TRUE(gate.deleteRefused);
    EXPECT_TRUE(gate.undoRefused);
    EXPECT_NE(gate.message.find("import"), std::string::npos) << gate.message;
    EXPECT_TRUE(gate.loaded);
    EXPECT_EQ(doc.FrameCount(), 5);
    EXPECT_TRUE(doc.DeleteFrames(0, 1, true)); // after it, edits go on
}

// A frame delete refused at its commit (the file may not grow) puts back the elements it had
// taken out, as the same objects, with their ranges, selection kept where it can be.
TEST_F(Undo, RefusedDeleteGivesItsElementsBack) {
    CAni& doc = Doc();
    MakeProject(doc, 6, 40, 10);
    CElementList& el = doc.Elements();
    ElementRecord* before = el.Create(0, 5, ELEMENT_BOX);
    ElementRecord* covered = el.Create(4, 5, ELEMENT_TEXT);
    ASSERT_TRUE(before && covered);
    ASSERT_EQ(el.Select(before), 0);
    const auto bytes = ReadAll(path);
    // Writes past the present end fail (EFBIG) instead of raising SIGXFSZ.
    struct Limit {
        rlimit old{};
        void (*oldHandler)(int) = nullptr;
        Limit(rlim_t size) {
            oldHandler = std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &old);
            rlimit cut = old;
            cut.rlim_cur = size;
            setrlimit(RLIMIT_FSIZE, &cut);
        }
        ~Limit() {
            setrlimit(RLIMIT_FSIZE, &old);
            std::signal(SIGXFSZ, oldHandler);
        }
    };
    {
        Limit limit(bytes.size());
        EXPECT_FALSE(doc.DeleteFrames(4, 2, true));
    }
    EXPECT_EQ(doc.FrameCount(), 6);
    EXPECT_EQ(doc.UndoCount(), 0);
    ASSERT_EQ(el.Count(), 2);
    EXPECT_EQ(el.At(0), before);
    EXPECT_EQ(el.At(1), covered);
    EXPECT_EQ(before->lastFrame, 5);
    EXPECT_EQ(covered->firstFrame, 4);
    EXPECT_TRUE(el.IsSelected(before));
    EXPECT_EQ(ReadAll(path), bytes);
    // And the same delete goes through once the file may grow.
    ASSERT_TRUE(doc.DeleteFrames(4, 2, true));
    EXPECT_EQ(el.Count(), 1);
}

// A project closed while an import is between frames: the import ends without touching the
// document again (nothing restored into the closed one, nothing committed), the file keeps
// the frames it had, and the next document can be edited at once.
TEST_F(Undo, CloseDuringAnImportEndsItWithoutTouchingTheDocument) {
    CAni& doc = Doc();
    MakeProject(doc, 2, 40, 10);
    WriteSeries(4, 40, 10);
    struct Closer : IDocumentEvents {
        CAni* doc = nullptr;
        void OnImportProgress(int kind, int appended, const std::string&) override {
            if (kind == kImportProgressStep && appended == 1)
                doc->Close();
        }
    } closer;
    closer.doc = &doc;
    doc.AddListener(&closer);
    BitmapAppendRequest req;
    req.firstPath = Path("s0000.bmp");
    ASSERT_TRUE(doc.StartBitmapAppend(req));
    doc.WaitBitmapAppend(req);
    doc.RemoveListener(&closer);
    EXPECT_FALSE(req.result);
    EXPECT_NE(req.error.find("closed"), std::string::npos) << req.error;
    EXPECT_EQ(req.appended.load(), 1);
    EXPECT_EQ(doc.DocMode(), DOC_NONE);
    EXPECT_EQ(doc.Header().frameCount, 0);
    EXPECT_EQ(doc.Header().imageSize, 0);
    // The committed index was never replaced: the file opens with its two frames.
    std::string p = path;
    ASSERT_TRUE(doc.OpenProject(p)) << doc.LastMessage();
    EXPECT_EQ(doc.FrameCount(), 2);
    EXPECT_TRUE(doc.CheckFile());
    EXPECT_TRUE(doc.DeleteFrames(0, 1, true)) << doc.LastMessage();
}

} // namespace

// Element edits share the undo stack with frame edits: a creation, a move and a delete are
// each taken back by one Undo, the same objects come back at their places, and what reaches
// the file is the list after the undo.
TEST_F(Undo, ElementEditsAreUndoneInTurnWithFrameEdits) {
    CAni& doc = Doc();
    MakeProject(doc, 10, 40, 10);
    CElementList& el = doc.Elements();
    ElementRecord* first = el.Create(0, 9, ELEMENT_BOX);
    ElementRecord* second = el.Create(0, 9, ELEMENT_LINE);
    ASSERT_TRUE(first && second);
    first->Body<ShapeBody>()->rect = {1, 2, 11, 12};
    ASSERT_TRUE(doc.WriteIndex());

    // A frame edit, then a creation.
    ASSERT_TRUE(doc.DeleteFrames(8, 2, true));
    ElementUndo made = doc.ElementUndoBase();
    ElementRecord* box = el.Create(3, 4, ELEMENT_BOX);
    ASSERT_NE(box, nullptr);
    const uint64_t boxId = box->id;
    made.created.push_back(boxId);
    ASSERT_TRUE(doc.PushElementUndo(std::move(made)));

    // A move of the first element.
    ElementUndo moved = doc.ElementUndoBase();
    moved.before.push_back(*first);
    ASSERT_EQ(el.Select(first), 0);
    el.MoveSelection(5, 7);
    el.ClearSelection();
    ASSERT_TRUE(doc.PushElementUndo(std::move(moved)));

    // A delete of the line (taken out whole, as the editor does).
    ElementUndo deleted = doc.ElementUndoBase();
    deleted.removed.push_back(el.Take(second));
    ASSERT_TRUE(doc.PushElementUndo(std::move(deleted)));
    ASSERT_EQ(el.Count(), 2);
    ASSERT_EQ(doc.UndoCount(), 4);

    ASSERT_TRUE(doc.Undo()); // the delete
    ASSERT_EQ(el.Count(), 3);
    EXPECT_EQ(el.At(1), second) << "the deleted line is back between the box and the new box";
    ASSERT_TRUE(doc.Undo()); // the move
    EXPECT_EQ(el.At(0), first);
    const ElementRect r = first->Body<ShapeBody>()->rect;
    EXPECT_EQ(r.left, 1);
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.right, 11);
    EXPECT_EQ(r.bottom, 12);
    ASSERT_TRUE(doc.Undo()); // the creation
    EXPECT_EQ(el.Count(), 2);
    EXPECT_EQ(el.FindId(boxId), nullptr);
    ASSERT_TRUE(doc.Undo()); // the frame delete
    EXPECT_EQ(doc.FrameCount(), 10);
    EXPECT_EQ(el.At(0)->lastFrame, 9);
    EXPECT_FALSE(doc.Undo());

    // The file holds the list as undone.
    doc.Close();
    ASSERT_TRUE(doc.OpenProject(path)) << doc.LastMessage();
    ASSERT_EQ(doc.Elements().Count(), 2);
    EXPECT_EQ(doc.Elements().At(0)->kind, ELEMENT_BOX);
    EXPECT_EQ(doc.Elements().At(0)->Body<ShapeBody>()->rect.right, 11);
    EXPECT_EQ(doc.Elements().At(1)->kind, ELEMENT_LINE);
}

// The stack's limit counts element and frame steps together.
TEST_F(Undo, ElementStepsCountAgainstTheLimit) {
    CAni& doc = Doc();
    MakeProject(doc, 4, 40, 10);
    CElementList& el = doc.Elements();
    int pushed = 0;
    for (int i = 0; i < 12; ++i) {
        ElementUndo made = doc.ElementUndoBase();
        ElementRecord* r = el.Create(0, 1, ELEMENT_CIRCLE);
        ASSERT_NE(r, nullptr);
        made.created.push_back(r->id);
        pushed += doc.PushElementUndo(std::move(made)) ? 1 : 0;
    }
    EXPECT_EQ(pushed, kUndoLimit);
    EXPECT_EQ(doc.UndoCount(), kUndoLimit);
    int undone = 0;
    while (doc.Undo())
        ++undone;
    EXPECT_EQ(undone, kUndoLimit);
    EXPECT_EQ(el.Count(), 2) << "the two creations beyond the limit stay";
}
