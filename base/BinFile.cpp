#include "base/BinFile.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zov {

namespace {
#ifdef ZOV_WRITE_FAULTS
// Crash-test builds only, read once: the write number at which the process dies, 0 for never.
long FaultLimit() {
    static const long limit = [] {
        const char* v = std::getenv("ZOV_FAULT_WRITE_LIMIT");
        return v ? std::strtol(v, nullptr, 10) : 0L;
    }();
    return limit;
}
std::atomic<long> g_writeCount{0};
#endif

bool WriteAll(int fd, int64_t pos, const unsigned char* p, size_t n) {
    while (n > 0) {
        ssize_t w = pwrite(fd, p, n, pos);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            return false;
        p += w;
        pos += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}
} // namespace

BinFile::~BinFile() {
    Close();
}

BinFile::BinFile(BinFile&& other) noexcept : m_fd(other.m_fd), m_pos(other.m_pos) {
    other.m_fd = -1;
}

BinFile& BinFile::operator=(BinFile&& other) noexcept {
    if (this != &other) {
        Close();
        m_fd = other.m_fd;
        m_pos = other.m_pos;
        other.m_fd = -1;
    }
    return *this;
}

bool BinFile::Open(const std::string& path, Mode mode) {
    Close();
    int flags = O_CLOEXEC;
    switch (mode) {
    case Mode::ReadOnly:
        flags |= O_RDONLY;
        break;
    case Mode::ReadWrite:
        flags |= O_RDWR;
        break;
    case Mode::CreateTruncate:
        flags |= O_RDWR | O_CREAT | O_TRUNC;
        break;
    }
    int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
        return false;
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    m_pos = 0;
    return true;
}

void BinFile::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_pos = 0;
}

bool BinFile::Seek(int64_t offset) {
    if (m_fd < 0 || offset < 0)
        return false;
    m_pos = offset;
    return true;
}

int64_t BinFile::Length() const {
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

bool BinFile::Read(void* data, size_t n) {
    if (m_fd < 0)
        return false;
    auto* p = static_cast<unsigned char*>(data);
    size_t done = 0;
    while (done < n) {
        ssize_t r = pread(m_fd, p + done, n - done, m_pos + static_cast<int64_t>(done));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            return false;
        done += static_cast<size_t>(r);
    }
    m_pos += static_cast<int64_t>(n);
    return true;
}

bool BinFile::Write(const void* data, size_t n) {
    if (m_fd < 0)
        return false;
    const auto* p = static_cast<const unsigned char*>(data);
#ifdef ZOV_WRITE_FAULTS
    long limit = FaultLimit();
    if (limit > 0 && ++g_writeCount >= limit) {
        // A torn write, then the end of the process, as a crash would leave it.
        (void)WriteAll(m_fd, m_pos, p, n / 2);
        _exit(86);
    }
#endif
    if (!WriteAll(m_fd, m_pos, p, n))
        return false;
    m_pos += static_cast<int64_t>(n);
    return true;
}

bool BinFile::Sync() {
    return m_fd >= 0 && fdatasync(m_fd) == 0;
}

bool BinFile::Truncate(int64_t length) {
    return m_fd >= 0 && ftruncate(m_fd, length) == 0;
}

bool ReadWholeFile(const std::string& path, std::string& out) {
    BinFile f;
    if (!f.Open(path, BinFile::Mode::ReadOnly))
        return false;
    int64_t len = f.Length();
    if (len < 0)
        return false;
    out.resize(static_cast<size_t>(len));
    return len == 0 || f.Read(out.data(), out.size());
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

// std::filesystem::copy_file opens both files without close-on-exec.
bool CopyWholeFile(const std::string& from, const std::string& to) {
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return false;
    // Truncated only once it is known not to be the source under another name.
    int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    struct stat a {
    }, b{};
    if (out < 0 || fstat(in, &a) != 0 || fstat(out, &b) != 0 ||
        (a.st_dev == b.st_dev && a.st_ino == b.st_ino) || (S_ISREG(b.st_mode) && ftruncate(out, 0) != 0)) {
        ::close(in);
        if (out >= 0)
            ::close(out);
        return false;
    }
    bool ok = true;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        for (ssize_t done = 0; ok && done < n;) {
            ssize_t w = ::write(out, buf + done, size_t(n - done));
            if (w < 0 && errno == EINTR)
                continue;
            ok = w > 0;
            done += w > 0 ? w : 0;
        }
        if (!ok)
            break;
    }
    ::close(in);
    return (::close(out) == 0) && ok;
}

} // namespace zov
