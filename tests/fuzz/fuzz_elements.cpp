// Element block reader over arbitrary bytes. Input: one flag byte (bit 0: the old file version
// with 76-byte image bodies; bit 1: store the right block offset, so runs get past that
// check), one byte giving the block's file position, then the block itself. A block that reads
// must write, read back and write again to the same bytes, and every list operation on it must
// keep the totals.
#include "base/BinFile.h"
#include "elements/ElementList.h"

#include "tests/fuzz/FuzzInput.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

bool PutFile(const std::vector<uint8_t>& bytes) {
    return zov::fuzz::PutInput(bytes.data(), bytes.size());
}

bool OpenFile(zov::BinFile& f, int64_t position) {
    return f.Open(zov::fuzz::MemFilePath(), zov::BinFile::Mode::ReadWrite) && f.Seek(position);
}

void Check(bool ok, const char* what) {
    zov::fuzz::Check(ok, "element", what);
}

void CheckTotals(const zov::CElementList& list) {
    int64_t sum = 0;
    for (int i = 0; i < list.Count(); ++i)
        sum += 20 + static_cast<int64_t>(list.At(i)->size);
    Check(sum == list.TotalBytes(), "total bytes match the records");
}

void Exercise(zov::CElementList& list, const uint8_t* data, size_t size) {
    int32_t a = size > 2 ? data[size - 1] : 0, b = a + (size > 3 ? data[size - 2] : 0);
    for (int i = 0; i < list.Count(); ++i) {
        zov::ElementRecord* r = list.At(i);
        (void)list.HitTest(r, a, b, r->firstFrame, true);
        (void)list.HitTest(r, -a, INT32_MAX - b, r->lastFrame, false);
        zov::ElementStyle style;
        if (list.ReadStyle(r, style))
            Check(list.ApplyStyle(r, style) == 0, "a style read back applies");
        Check(list.Select(r) == 0, "select a listed element");
    }
    zov::ElementRecord* shown[8];
    (void)list.ElementsInFrame(a, shown, 8);
    list.MoveSelection(INT32_MAX, INT32_MIN);
    list.CopySelection();
    (void)list.PasteClipboard(a, b);
    CheckTotals(list);
    (void)list.AdjustForFrames("FRAMEPASTE", a, b, a);
    (void)list.AdjustForFrames("FRAMEDELETE", INT32_MIN, b, 0);
    CheckTotals(list);
    list.DeleteSelection();
    CheckTotals(list);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const bool oldVersion = data[0] & 1;
    const int64_t position = data[1];
    std::vector<uint8_t> file(static_cast<size_t>(position), 0);
    file.insert(file.end(), data + 2, data + size);
    if ((data[0] & 2) && file.size() >= static_cast<size_t>(position) + 12) {
        const uint32_t p = static_cast<uint32_t>(position);
        std::memcpy(file.data() + position + 8, &p, 4);
    }
    if (!PutFile(file))
        return 0;

    zov::CElementList list;
    {
        zov::BinFile f;
        if (!OpenFile(f, position))
            return 0;
        if (list.Read(f, oldVersion ? 0x20021030u : 0x20031211u) != 0) {
            CheckTotals(list);
            return 0;
        }
    }
    CheckTotals(list);
    Check(list.BlockOffset() == position || list.Count() == 0, "block offset is where it was read");

    // What reads must write (kind 7 aside) and read back to the same bytes.
    std::vector<uint8_t> first;
    if (list.BuildBlock(40, first) == 0) {
        std::vector<uint8_t> out(40, 0);
        out.insert(out.end(), first.begin(), first.end());
        Check(PutFile(out), "memory file written");
        zov::CElementList again;
        zov::BinFile f;
        Check(OpenFile(f, 40), "memory file reopened");
        Check(again.Read(f, 0x20031211u) == 0, "a written block reads");
        std::vector<uint8_t> second;
        Check(again.BuildBlock(40, second) == 0 && second == first,
              "a block read back writes the same bytes");
        Check(again.Count() == list.Count() && again.TotalBytes() == list.TotalBytes(),
              "same count and total");
    }
    Exercise(list, data, size);
    list.Clear();
    Check(list.Count() == 0 && list.TotalBytes() == 0, "clear empties the list");
    return 0;
}
