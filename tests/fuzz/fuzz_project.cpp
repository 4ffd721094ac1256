// Opening a project file of arbitrary bytes: header, tables, element block and the frame
// checks. A file that opens must load its frames without faults, pass its own check, and
// survive an edit, an undo and a rewrite of its index.
#include "base/Log.h"
#include "core/Ani.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

void Check(bool ok, const char* what) {
    zov::fuzz::Check(ok, "project", what);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool once = [] {
        zov::SetLogPath("/dev/null");
        return true;
    }();
    (void)once;
    if (!zov::fuzz::PutInput(data, size))
        return 0;
    zov::CAni& ani = zov::Ani();
    std::string path = zov::fuzz::MemFilePath();
    if (!ani.OpenProject(path)) {
        Check(!ani.LastMessage().empty(), "a refused file gives a reason");
        return 0;
    }
    Check(ani.CheckFile(), "an opened file passes its check");
    const int n = ani.FrameCount();
    std::vector<uint8_t> image;
    zov::FrameHeader header;
    for (int i : {0, n / 2, n - 1})
        if (i >= 0 && i < n)
            (void)ani.LoadFrame(i, image, header);
    if (n > 1 && ani.DeleteFrames(0, 1, true)) {
        Check(ani.FrameCount() == n - 1, "delete counts");
        Check(ani.Undo(), "undo after delete");
        Check(ani.FrameCount() == n, "undo restores the count");
    }
    if (ani.WriteIndex()) {
        ani.Close();
        std::string again = path;
        Check(ani.OpenProject(again), "a rewritten index opens again");
        Check(ani.FrameCount() == n, "the frame count survives a rewrite");
    }
    ani.Close();
    return 0;
}
