// Runs one edit on a project and exits: the child of the crash test, which sets
// ZOV_FAULT_WRITE_LIMIT so that one of the edit's writes is torn and the process dies there.
#include "core/Ani.h"
#include "elements/ElementList.h"

#include <cstdio>
#include <cstdlib>
#include <string>

using namespace zov;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: core_fault_child OP PROJECT ARGS...\n");
        return 2;
    }
    const std::string op = argv[1];
    std::string path = argv[2];
    auto arg = [&](int i) { return i < argc ? std::atoi(argv[i]) : 0; };
    CAni a;
    if (!a.OpenProject(path)) {
        std::fprintf(stderr, "open: %s\n", a.LastMessage().c_str());
        return 1;
    }
    bool ok = false;
    if (op == "delete") {
        ok = a.DeleteFrames(arg(3), arg(4), true);
    } else if (op == "paste") {
        ok = a.PasteFrames(arg(3), arg(4), arg(5));
    } else if (op == "append") {
        BitmapAppendRequest r;
        r.firstPath = argc > 3 ? argv[3] : "";
        ok = a.AppendFramesFromBitmaps(r);
    } else if (op == "saveas") {
        std::string target = argc > 3 ? argv[3] : "";
        ok = a.SaveAs(target);
    } else if (op == "undo-paste") {
        // The undo is the edit under test; the test sets the limit past the paste's writes.
        ok = a.PasteFrames(arg(3), arg(4), arg(5)) && a.Undo();
    } else if (op == "undo-delete") {
        ok = a.DeleteFrames(arg(3), arg(4), true) && a.Undo();
    } else if (op == "clear") {
        ok = a.ClearAllFrames();
    } else if (op == "element-add") {
        // A larger element block: the index is committed beside, far enough up to move down.
        a.Elements().Create(arg(3), arg(4), ELEMENT_BOX);
        ok = a.WriteIndex();
    } else if (op == "element-range") {
        // The same block size: the index is committed beside and moved back down.
        if (ElementRecord* e = a.Elements().At(0)) {
            e->lastFrame = arg(3);
            ok = a.WriteIndex();
        }
    }
    a.Close();
    return ok ? 0 : 1;
}
