// Crash safety: each edit runs in a child process that dies at its Nth write (the write is
// torn in half first), for N = 1, 2, 3, ... until the edit completes. After every death the
// project must open, with the state before or after the edit, never damaged.
#include "tests/core/DocTest.h"

#include "base/Bitmap.h"
#include "elements/ElementList.h"

#include <sys/wait.h>
#include <unistd.h>

using namespace zov;
using namespace zovtest;

namespace {

// What a project holds: each frame's picture and the element ranges.
struct State {
    bool opened = false;
    std::vector<uLong> frames;
    std::vector<std::pair<int, int>> elements;
    bool operator==(const State& o) const {
        return opened == o.opened && frames == o.frames && elements == o.elements;
    }
};

// Opens the file in a document of its own; `why` gets the reason when it does not open.
State Read(const std::string& file, std::string* why = nullptr) {
    State s;
    std::string p = file;
    CAni doc;
    if (!doc.OpenProject(p)) {
        if (why)
            *why = doc.LastMessage();
        return s;
    }
    s.opened = true;
    std::vector<uint8_t> img;
    FrameHeader fh;
    for (int i = 0; i < doc.FrameCount(); ++i) {
        if (!doc.LoadFrame(i, img, fh)) {
            s.frames.push_back(0xDEAD);
            continue;
        }
        s.frames.push_back(crc32(0L, img.data(), static_cast<uInt>(img.size())));
    }
    for (int i = 0; i < doc.Elements().Count(); ++i)
        s.elements.emplace_back(doc.Elements().At(i)->firstFrame, doc.Elements().At(i)->lastFrame);
    doc.Close();
    return s;
}

int RunChild(const std::vector<std::string>& args, long limit) {
    pid_t pid = fork();
    if (pid == 0) {
        if (limit > 0)
            setenv("ZOV_FAULT_WRITE_LIMIT", std::to_string(limit).c_str(), 1);
        else
            unsetenv("ZOV_FAULT_WRITE_LIMIT");
        std::vector<char*> argv;
        std::string exe = ZOV_FAULT_CHILD;
        argv.push_back(exe.data());
        std::vector<std::string> copy = args;
        for (auto& a : copy)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        execv(exe.c_str(), argv.data());
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Crash : public DocTest {
  protected:
    void SetUp() override {
        DocTest::SetUp();
        // 12 frames, key frames every 4, with two elements.
        std::vector<HandFrame> frames;
        std::vector<std::vector<uint8_t>> pics;
        for (int i = 0; i < 12; ++i) {
            pics.push_back(Picture(40, 12, i));
            frames.push_back(i % 4 == 0 ? HandKey(pics.back()) : HandDiff(pics[size_t(i) - 1], pics.back()));
        }
        ASSERT_TRUE(WriteAll(Path("orig.scp"), BuildHandFile(40, 12, frames).bytes));
        std::string p = Path("orig.scp");
        ASSERT_TRUE(Doc().OpenProject(p));
        Doc().Elements().Create(2, 9, ELEMENT_BOX);
        Doc().Elements().Create(6, 11, ELEMENT_LINE);
        ASSERT_TRUE(Doc().WriteIndex());
        Doc().Close();
        original = ReadAll(Path("orig.scp"));
        before = Read(Path("orig.scp"));
        ASSERT_TRUE(before.opened);
    }

    // Runs the edit at every write number; `target` is the file whose state is judged.
    void Sweep(const std::vector<std::string>& args, const std::string& target, const State& expectBefore,
               long firstLimit = 1) {
        const std::string work = Path("work.scp");
        auto reset = [&] {
            ASSERT_TRUE(WriteAll(work, original));
            if (target != work)
                ASSERT_TRUE(WriteAll(target, targetOriginal));
        };
        reset();
        ASSERT_EQ(RunChild(args, 0), 0) << "the edit fails without faults";
        const State after = Read(target);
        ASSERT_TRUE(after.opened);
        ASSERT_FALSE(after == expectBefore) << "the edit changed nothing";
        int deaths = 0, sawBefore = 0, sawAfter = 0;
        for (long n = firstLimit; n < firstLimit + 400; ++n) {
            reset();
            const int rc = RunChild(args, n);
            if (rc == 0) {
                EXPECT_TRUE(Read(target) == after);
                break;
            }
            ASSERT_EQ(rc, 86) << "write " << n;
            ++deaths;
            std::string why;
            const State s = Read(target, &why);
            ASSERT_TRUE(s.opened) << "write " << n << ": " << why;
            if (s == expectBefore)
                ++sawBefore;
            else if (s == after)
                ++sawAfter;
            else
                ADD_FAILURE() << "write " << n << " left a state that is neither before nor after";
        }
        EXPECT_GT(deaths, 2);
        EXPECT_GT(sawBefore, 0);
        RecordProperty("deaths", deaths);
        std::printf("  %s: %d deaths (%d before, %d after)\n", args[0].c_str(), deaths, sawBefore, sawAfter);
    }

    std::vector<uint8_t> original, targetOriginal;
    State before;
};

TEST_F(Crash, Delete) {
    Sweep({"delete", Path("work.scp"), "3", "3"}, Path("work.scp"), before);
}

TEST_F(Crash, DeleteOfTheLastFrames) {
    Sweep({"delete", Path("work.scp"), "9", "3"}, Path("work.scp"), before);
}

TEST_F(Crash, ElementEditsWithoutNewFrames) {
    Sweep({"element-range", Path("work.scp"), "5"}, Path("work.scp"), before);
    Sweep({"element-add", Path("work.scp"), "0", "4"}, Path("work.scp"), before);
}

TEST_F(Crash, Paste) {
    Sweep({"paste", Path("work.scp"), "1", "4", "7"}, Path("work.scp"), before);
}

TEST_F(Crash, ClearAll) {
    Sweep({"clear", Path("work.scp")}, Path("work.scp"), before);
}

TEST_F(Crash, Append) {
    for (int i = 0; i < 3; ++i) {
        Image24 img;
        img.Allocate(40, 12);
        const auto pic = Picture(40, 12, 50 + i);
        std::copy(pic.begin(), pic.end(), img.bits.begin());
        char name[32];
        std::snprintf(name, sizeof name, "add%04d.bmp", i);
        ASSERT_TRUE(WriteBmp(Path(name), img));
    }
    Sweep({"append", Path("work.scp"), Path("add0000.bmp")}, Path("work.scp"), before);
}

TEST_F(Crash, SaveAsOverAnOlderFile) {
    // The target holds another project; a crash leaves it or the complete copy.
    ASSERT_TRUE(WriteAll(Path("other.scp"), BuildHandFile(8, 2, {HandKey(Picture(8, 2, 1))}).bytes));
    targetOriginal = ReadAll(Path("other.scp"));
    const State older = Read(Path("other.scp"));
    Sweep({"saveas", Path("work.scp"), Path("other.scp")}, Path("other.scp"), older);
    EXPECT_EQ(ReadAll(Path("work.scp")), original);
}

TEST_F(Crash, UndoOfPasteAndOfDelete) {
    // The edit under test is the undo: the states are "pasted" (before it) and the original
    // (after it). The sweep starts past the paste's own writes.
    for (const std::vector<std::string>& edit :
         {std::vector<std::string>{"paste", "1", "4", "7"}, std::vector<std::string>{"delete", "2", "5"}}) {
        ASSERT_TRUE(WriteAll(Path("work.scp"), original));
        std::vector<std::string> args = {edit[0], Path("work.scp")};
        args.insert(args.end(), edit.begin() + 1, edit.end());
        ASSERT_EQ(RunChild(args, 0), 0);
        const State edited = Read(Path("work.scp"));
        // Count the edit's writes: the first limit at which the edit alone completes.
        long editWrites = 1;
        for (;; ++editWrites) {
            ASSERT_TRUE(WriteAll(Path("work.scp"), original));
            if (RunChild(args, editWrites) == 0)
                break;
            ASSERT_LT(editWrites, 400);
        }
        std::vector<std::string> undo = args;
        undo[0] = "undo-" + edit[0];
        // The undo's states: `edited` before it, the original after it; a death during the
        // edit itself (limits below editWrites) is covered by the other tests.
        const std::string work = Path("work.scp");
        int deaths = 0;
        for (long n = editWrites; n < editWrites + 400; ++n) {
            ASSERT_TRUE(WriteAll(work, original));
            const int rc = RunChild(undo, n);
            std::string why;
            const State s = Read(work, &why);
            if (rc == 0) {
                EXPECT_TRUE(s == before);
                break;
            }
            ASSERT_EQ(rc, 86);
            ++deaths;
            ASSERT_TRUE(s.opened) << undo[0] << " write " << n << ": " << why;
            EXPECT_TRUE(s == edited || s == before) << undo[0] << " write " << n;
        }
        EXPECT_GT(deaths, 2) << undo[0];
        std::printf("  %s: %d deaths\n", undo[0].c_str(), deaths);
    }
}

} // namespace
