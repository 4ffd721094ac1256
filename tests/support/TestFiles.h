// What most test suites need around files: a scratch folder of their own, whole-file reads
// and writes, and little-endian field access on the bytes of a written file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zovtest {

// A fresh folder under the system's temporary folder, removed with everything in it when the
// object goes. `Path()` ends without a slash; `File(name)` joins a name onto it.
class TempDir {
  public:
    explicit TempDir(const std::string& prefix = "zov-test");
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& Path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// The whole file, or an empty vector when it cannot be read.
std::vector<uint8_t> ReadAll(const std::string& path);
std::string ReadText(const std::string& path);
// Writes the bytes as the whole file; false when it cannot.
bool WriteAll(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::string& path, const std::string& text);

inline uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | (b[at + 1] << 8));
}
inline uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (uint32_t(b[at + 3]) << 24);
}
inline int32_t LeI32(const std::vector<uint8_t>& b, size_t at) {
    return static_cast<int32_t>(Le32(b, at));
}
inline void Put16(std::vector<uint8_t>& b, size_t at, uint16_t v) {
    if (b.size() < at + 2)
        b.resize(at + 2);
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    if (b.size() < at + 4)
        b.resize(at + 4);
    for (int i = 0; i < 4; ++i)
        b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

} // namespace zovtest
