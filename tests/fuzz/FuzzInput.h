// What the file-parsing fuzz targets share: the input lives in one in-memory file per
// process, opened by path like any project, so the parsers run their real file code.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>

namespace zov::fuzz {

inline int MemFile() {
    static int fd = memfd_create("zov_fuzz_input", 0);
    return fd;
}

inline std::string MemFilePath() {
    return "/proc/self/fd/" + std::to_string(MemFile());
}

// Replaces the memory file's contents with the input; false when that cannot be done.
inline bool PutInput(const uint8_t* data, size_t size) {
    const int fd = MemFile();
    if (fd < 0 || ftruncate(fd, 0) != 0)
        return false;
    return size == 0 || pwrite(fd, data, size, 0) == static_cast<ssize_t>(size);
}

// A broken invariant is a finding: abort so libFuzzer keeps the input.
inline void Check(bool ok, const char* fuzzer, const char* what) {
    if (!ok) {
        std::fprintf(stderr, "%s fuzz invariant broken: %s\n", fuzzer, what);
        std::abort();
    }
}

} // namespace zov::fuzz
