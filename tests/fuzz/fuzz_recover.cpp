// Recovery of arbitrary bytes as a crashed project: whatever the file holds, recovery must not
// fault, a refusal must leave the file as it was, and a recovery that added frames must leave
// a project that opens, passes its check and loads every recovered frame.
#include "base/Log.h"
#include "core/Ani.h"
#include "core/Recover.h"

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
    zov::fuzz::Check(ok, "recover", what);
}

std::vector<uint8_t> Contents(int fd) {
    off_t n = lseek(fd, 0, SEEK_END);
    std::vector<uint8_t> bytes(static_cast<size_t>(n > 0 ? n : 0));
    if (!bytes.empty() && pread(fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        bytes.clear();
    return bytes;
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
    const int fd = zov::fuzz::MemFile();
    const std::string path = zov::fuzz::MemFilePath();
    zov::RecoverResult result;
    const bool ok = zov::RecoverProject(path, result);
    Check(!result.message.empty(), "every outcome is told in a sentence");
    if (!ok || result.recovered == 0) {
        const std::vector<uint8_t> after = Contents(fd);
        Check(after.size() == size && std::equal(after.begin(), after.end(), data),
              "a file with nothing added stays as it was");
        return 0;
    }
    zov::CAni& ani = zov::Ani();
    std::string open = path;
    Check(ani.OpenProject(open), "a recovered project opens");
    Check(ani.CheckFile(), "a recovered project passes its check");
    Check(ani.FrameCount() == result.framesBefore + result.recovered,
          "the frame count is the old plus the recovered");
    std::vector<uint8_t> image;
    zov::FrameHeader header;
    for (int i = result.framesBefore; i < ani.FrameCount(); ++i)
        Check(ani.LoadFrame(i, image, header), "every recovered frame loads");
    ani.Close();
    return 0;
}
