// Little-endian byte builders for element blocks laid out by hand from the record tables, so
// the reader is checked against the layout itself rather than against our own writer.
#pragma once

#include "base/BinFile.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace elementtest {

struct Bytes {
    std::vector<uint8_t> b;
    Bytes& u8(uint8_t v) {
        b.push_back(v);
        return *this;
    }
    Bytes& i32(int64_t v) {
        uint32_t u = static_cast<uint32_t>(v);
        for (int i = 0; i < 4; ++i)
            b.push_back(uint8_t(u >> (8 * i)));
        return *this;
    }
    Bytes& zeros(size_t n) {
        b.insert(b.end(), n, 0);
        return *this;
    }
    Bytes& str(const std::string& s, size_t padTo) {
        b.insert(b.end(), s.begin(), s.end());
        b.insert(b.end(), padTo - s.size(), 0);
        return *this;
    }
    Bytes& raw(const std::vector<uint8_t>& v) {
        b.insert(b.end(), v.begin(), v.end());
        return *this;
    }
    size_t size() const { return b.size(); }
};

inline int32_t I32At(const std::vector<uint8_t>& v, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i)
        u |= uint32_t(v.at(at + i)) << (8 * i);
    return static_cast<int32_t>(u);
}

// A temporary file holding `prefix` bytes of filler then `block`; opened read-write and
// positioned at the block.
struct TempBlockFile {
    std::string path;
    zov::BinFile file;
    TempBlockFile(size_t prefix, const std::vector<uint8_t>& block) {
        char name[] = "/tmp/zov_elements_XXXXXX";
        int fd = mkstemp(name);
        path = name;
        std::vector<uint8_t> all(prefix, 0xEE);
        all.insert(all.end(), block.begin(), block.end());
        if (fd >= 0) {
            if (!all.empty() && ::write(fd, all.data(), all.size()) != static_cast<ssize_t>(all.size()))
                path.clear();
            ::close(fd);
        }
        if (!file.Open(path, zov::BinFile::Mode::ReadWrite) || !file.Seek(static_cast<int64_t>(prefix)))
            file.Close();
    }
    ~TempBlockFile() {
        file.Close();
        if (!path.empty())
            ::unlink(path.c_str());
    }
    std::vector<uint8_t> Contents() const {
        std::string s;
        if (!zov::ReadWholeFile(path, s))
            return {};
        return std::vector<uint8_t>(s.begin(), s.end());
    }
};

} // namespace elementtest
