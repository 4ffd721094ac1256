// A binary file opened by path, read and written at explicit positions through one
// descriptor. Every project-file write goes through Write(), which is where the crash tests
// inject their faults: in the test programs, built with ZOV_WRITE_FAULTS (tests/support's
// zov_write_faults), ZOV_FAULT_WRITE_LIMIT=N in the environment makes the Nth Write() of the
// process write half its bytes and end the process at once (exit code 86), as a power cut
// would. The programs that ship are built without it and ignore the variable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zov {

class BinFile {
  public:
    enum class Mode { ReadOnly, ReadWrite, CreateTruncate };

    BinFile() = default;
    ~BinFile();
    BinFile(const BinFile&) = delete;
    BinFile& operator=(const BinFile&) = delete;
    BinFile(BinFile&& other) noexcept;
    BinFile& operator=(BinFile&& other) noexcept;

    [[nodiscard]] bool Open(const std::string& path, Mode mode);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // Current position, as fseek/ftell keep it.
    [[nodiscard]] bool Seek(int64_t offset);
    int64_t Tell() const { return m_pos; }
    // Length of the file, or -1.
    int64_t Length() const;

    // Read exactly n bytes at the current position; false on a short read.
    [[nodiscard]] bool Read(void* data, size_t n);
    // Write exactly n bytes at the current position; false on a short write.
    [[nodiscard]] bool Write(const void* data, size_t n);
    // Push written data to the disk (fdatasync); the ordering point of crash-safe updates.
    [[nodiscard]] bool Sync();
    [[nodiscard]] bool Truncate(int64_t length);

    int Fd() const { return m_fd; }

  private:
    int m_fd = -1;
    int64_t m_pos = 0;
};

// Reads a whole file into memory; false when it cannot be read.
[[nodiscard]] bool ReadWholeFile(const std::string& path, std::string& out);
bool FileExists(const std::string& path);
// Copies a whole file (the target is created or truncated); false when either side fails.
[[nodiscard]] bool CopyWholeFile(const std::string& from, const std::string& to);

} // namespace zov
