// Recovery after a crash in the middle of a recording. The crash is taken as a snapshot of
// the project file while the second run of a project is still recording (what a kill -9
// leaves: the old index in force, the new records behind it), then torn or damaged.
#include "tests/support/XTestEnv.h"

#include "base/BinFile.h"
#include "core/Ani.h"
#include "core/Recover.h"
#include "platform/FakeScreen.h"
#include "recorder/CaptureEngine.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <fstream>
#include <map>
#include <unistd.h>

namespace {

using namespace zov;

bool WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

struct RunEvents : IDocumentEvents {
    std::function<void(int)> onFrame;
    std::mutex m;
    std::condition_variable cv;
    bool ended = false;
    void OnFrameCaptured(int n) override {
        if (onFrame)
            onFrame(n);
    }
    void OnRecordFinish() override { End(); }
    void OnRecordFailed(const std::string&) override { End(); }
    void End() {
        std::lock_guard l(m);
        ended = true;
        cv.notify_all();
    }
    void Wait() {
        std::unique_lock l(m);
        cv.wait_for(l, std::chrono::seconds(20), [&] { return ended; });
    }
};

// 96 x 50 frames: a whole number of 96-byte blocks, so difference frames carry every byte.
// Run 1: 3 frames, committed. Run 2: 12 frames; after its 9th frame the file is copied.
class RecoverTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        dir = zovtest::TempFolder("recover");
        FakeScreen screen(96, 50);
        screen.OnGrab([&](int i) {
            std::vector<uint32_t> copy(96 * 50);
            for (int y = 0; y < 50; ++y)
                for (int x = 0; x < 96; ++x) {
                    uint32_t c = static_cast<uint32_t>((x * 7 + i * 13) & 0xFF) << 16 |
                                 static_cast<uint32_t>(y * 5) << 8 | static_cast<uint32_t>(i * 17 & 0xFF);
                    screen.SetPixel(x, y, c);
                    copy[static_cast<size_t>(y) * 96 + x] = c;
                }
            shown[i] = copy;
        });
        CAni doc;
        std::string path = dir + "crash.scp";
        ASSERT_TRUE(doc.NewProject(path, false));
        doc.SetFrameDelay(5);
        doc.SetRecordPointer(false);
        ASSERT_TRUE(doc.SetCaptureRect({0, 0, 96, 50}));
        for (int run = 0; run < 2; ++run) {
            RunEvents events;
            const int stopAt = run == 0 ? 3 : 15;
            events.onFrame = [&, stopAt](int n) {
                if (n == 12) {
                    std::string bytes;
                    ASSERT_TRUE(ReadWholeFile(path, bytes));
                    snapshot = bytes;
                }
                if (n == stopAt)
                    doc.m_control_rec_scr = C_CONTROL_STOP;
            };
            CaptureEngine engine(doc);
            CaptureParams params;
            params.events = &events;
            params.screen = &screen;
            ASSERT_TRUE(engine.StartCapture(params));
            events.Wait();
            engine.StopCapture();
        }
        doc.Close();
    }

    std::string Crash(const std::string& name, const std::string& bytes) {
        std::string path = dir + name;
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }

    static int32_t FramesAfterOpen(const std::string& path, std::string* why = nullptr) {
        std::string p = path;
        CAni doc;
        if (!doc.OpenProject(p)) {
            if (why)
                *why = doc.LastMessage();
            return -1;
        }
        return doc.FrameCount();
    }

    static void ExpectFrames(const std::string& path, int count) {
        std::string p = path;
        CAni doc;
        ASSERT_TRUE(doc.OpenProject(p)) << doc.LastMessage();
        ASSERT_EQ(doc.FrameCount(), count);
        EXPECT_TRUE(doc.CheckFile());
        for (int i = 0; i < count; ++i) {
            EXPECT_EQ(doc.FrameTable()[i].kind, i == 0 || i == 3 || i == 13 ? FRAME_KEY : FRAME_DIFF) << i;
            Image24 img;
            ASSERT_TRUE(doc.LoadFrame(i, img)) << i;
            long wrong = 0;
            for (int y = 0; y < 50; ++y)
                for (int x = 0; x < 96; ++x) {
                    const uint8_t* px = img.PixelTopDown(x, y);
                    uint32_t c = uint32_t(px[2]) << 16 | uint32_t(px[1]) << 8 | px[0];
                    wrong += c != shown.at(i)[static_cast<size_t>(y) * 96 + x];
                }
            EXPECT_EQ(wrong, 0) << "frame " << i;
        }
        doc.Close();
    }

    static inline std::string dir, snapshot;
    static inline std::map<int, std::vector<uint32_t>> shown;
};

TEST_F(RecoverTest, FindsTheRecordsOfTheCrashedRunAndCommitsThem) {
    ASSERT_FALSE(snapshot.empty());
    std::string path = Crash("a.scp", snapshot);
    EXPECT_EQ(FramesAfterOpen(path), 3); // the crash left the project as before the run
    RecoverResult r;
    ASSERT_TRUE(RecoverProject(path, r)) << r.message;
    EXPECT_EQ(r.framesBefore, 3);
    EXPECT_EQ(r.recovered, 9);
    ExpectFrames(path, 12);

    // Nothing more to find the second time, and the file stays byte for byte.
    std::string before;
    ASSERT_TRUE(ReadWholeFile(path, before));
    ASSERT_TRUE(RecoverProject(path, r));
    EXPECT_EQ(r.recovered, 0);
    std::string after;
    ASSERT_TRUE(ReadWholeFile(path, after));
    EXPECT_EQ(before, after);
}

TEST_F(RecoverTest, StopsAtATornOrDamagedRecord) {
    // Cut inside the last record: it is dropped, the ones before are kept.
    std::string torn = Crash("torn.scp", snapshot.substr(0, snapshot.size() - 100));
    RecoverResult r;
    ASSERT_TRUE(RecoverProject(torn, r)) << r.message;
    EXPECT_EQ(r.recovered, 8);
    ExpectFrames(torn, 11);

    // Find the records of the crashed run as recovery saw them, then damage the sixth: a
    // block flag that is neither 0 nor 1, and in another copy a data size its flags do not
    // account for.
    std::string probe = Crash("probe.scp", snapshot);
    ASSERT_TRUE(RecoverProject(probe, r));
    std::string p = probe;
    CAni doc;
    ASSERT_TRUE(doc.OpenProject(p));
    const int32_t sixth = doc.FrameTable()[3 + 5].offset;
    ASSERT_EQ(doc.FrameTable()[3 + 5].kind, FRAME_DIFF);
    doc.Close();
    std::string flags = snapshot;
    flags[static_cast<size_t>(sixth) + 37] = 2;
    std::string badFlags = Crash("flags.scp", flags);
    ASSERT_TRUE(RecoverProject(badFlags, r)) << r.message;
    EXPECT_EQ(r.recovered, 5);
    ExpectFrames(badFlags, 8);

    std::string size = snapshot;
    int32_t dataSize;
    std::memcpy(&dataSize, &size[static_cast<size_t>(sixth) + 8], 4);
    dataSize += 96;
    std::memcpy(&size[static_cast<size_t>(sixth) + 8], &dataSize, 4);
    std::string badSize = Crash("size.scp", size);
    ASSERT_TRUE(RecoverProject(badSize, r)) << r.message;
    EXPECT_EQ(r.recovered, 5);
}

TEST_F(RecoverTest, RefusesWhatIsNotAProjectAndLeavesItAlone) {
    std::string notProject = Crash("text.scp", std::string(4000, 'x') + "SIGN");
    RecoverResult r;
    EXPECT_FALSE(RecoverProject(notProject, r));
    EXPECT_NE(r.message.find("not a project"), std::string::npos) << r.message;
    std::string bytes;
    ASSERT_TRUE(ReadWholeFile(notProject, bytes));
    EXPECT_EQ(bytes.size(), 4004u);
    EXPECT_FALSE(RecoverProject(dir + "missing.scp", r));
    // A header that claims more table bytes than the file holds.
    std::string claims = snapshot.substr(0, 148);
    int32_t huge = 0x7FFFFFF0;
    std::memcpy(&claims[8], &huge, 4);
    std::string bad = Crash("claims.scp", claims);
    EXPECT_FALSE(RecoverProject(bad, r));
    // Versions compare signed, as opening compares them: 0x90000000 is an old version.
    std::string old = snapshot;
    const uint32_t negative = 0x90000000u;
    std::memcpy(&old[4], &negative, 4);
    std::string oldPath = Crash("old.scp", old);
    EXPECT_FALSE(RecoverProject(oldPath, r));
    EXPECT_NE(r.message.find("old version"), std::string::npos) << r.message;
    ASSERT_TRUE(ReadWholeFile(oldPath, bytes));
    EXPECT_TRUE(bytes == old) << "the refused file was changed";
}

// Recovery itself is crash-safe: killed at each of its writes, the project opens with the
// state before or after it, and a later recovery completes.
TEST_F(RecoverTest, KilledAtEachWriteLeavesTheOldOrTheNewState) {
    for (int limit = 1; limit <= 3; ++limit) {
        std::string path = Crash("fault" + std::to_string(limit) + ".scp", snapshot);
        zovtest::RunResult run = zovtest::RunProgram({zovtest::ZovrecFaultsPath(), "recover", path}, {},
                                                     {"ZOV_FAULT_WRITE_LIMIT=" + std::to_string(limit)});
        EXPECT_EQ(run.exitCode, 86) << "limit " << limit << ": " << run.err;
        std::string why;
        const int32_t n = FramesAfterOpen(path, &why);
        EXPECT_TRUE(n == 3 || n == 12) << "limit " << limit << ": " << n << " " << why;
        RecoverResult r;
        ASSERT_TRUE(RecoverProject(path, r)) << r.message;
        ExpectFrames(path, 12);
    }
}

} // namespace
