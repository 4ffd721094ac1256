// Helpers for the document tests: a scratch folder, deterministic pictures, and a project
// file built byte by byte from the layout tables (not with the program's own writer), plus
// little-endian readers to take written files apart.
#pragma once

#include "base/Log.h"
#include "core/Ani.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>
#include <zlib.h>

namespace zovtest {

// A fresh folder and a fresh document per test; both go at the end.
class DocTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (std::filesystem::temp_directory_path() / "zov-core-XXXXXX").string();
        ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        zov::SetLogPath(dir + "/test.log");
        m_doc = std::make_unique<zov::CAni>();
    }
    void TearDown() override {
        m_doc.reset();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    zov::CAni& Doc() { return *m_doc; }
    std::string Path(const std::string& name) const { return dir + "/" + name; }
    std::string dir;

  private:
    std::unique_ptr<zov::CAni> m_doc;
};

// A deterministic picture: smooth areas with a pattern that moves with `t`, so successive
// pictures share most 96-byte blocks (compressible, like a screen).
inline std::vector<uint8_t> Picture(int width, int height, int t) {
    const int row = (width * 3 + 3) & ~3;
    std::vector<uint8_t> img(static_cast<size_t>(row) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = img.data() + static_cast<size_t>(y) * row + x * 3;
            p[0] = static_cast<uint8_t>(x * 5 + y);
            p[1] = static_cast<uint8_t>(y * 7);
            p[2] = static_cast<uint8_t>(((x / 8 + t) % 4) * 60);
        }
    // A moving square makes a few blocks differ from frame to frame.
    const int sx = (t * 5) % (width > 8 ? width - 8 : 1), sy = (t * 3) % (height > 8 ? height - 8 : 1);
    for (int y = sy; y < sy + 8 && y < height; ++y)
        for (int x = sx; x < sx + 8 && x < width; ++x) {
            uint8_t* p = img.data() + static_cast<size_t>(y) * row + x * 3;
            p[0] = 255;
            p[1] = static_cast<uint8_t>(t * 40);
            p[2] = 10;
        }
    return img;
}

// One frame of a hand-built file.
struct HandFrame {
    int32_t kind = 0;           // 0 key, 1 difference
    std::vector<uint8_t> data;  // bytes after the 24,616-byte header
    std::vector<uint8_t> flags; // block flags (difference frames)
    int32_t dataSizeField = -1; // -1: data.size()
};

inline HandFrame HandKey(const std::vector<uint8_t>& image) {
    HandFrame f;
    uLongf len = compressBound(image.size());
    f.data.resize(len);
    EXPECT_EQ(compress(f.data.data(), &len, image.data(), image.size()), Z_OK);
    f.data.resize(len);
    return f;
}

// Blocks of 96 bytes; flag 1 = unchanged, 0 = stored.
inline HandFrame HandDiff(const std::vector<uint8_t>& prev, const std::vector<uint8_t>& cur) {
    HandFrame f;
    f.kind = 1;
    const size_t blocks = cur.size() / 96;
    f.flags.assign(blocks, 1);
    for (size_t i = 0; i < blocks; ++i)
        if (std::memcmp(prev.data() + i * 96, cur.data() + i * 96, 96) != 0) {
            f.flags[i] = 0;
            f.data.insert(f.data.end(), cur.begin() + i * 96, cur.begin() + (i + 1) * 96);
        }
    return f;
}

struct HandFile {
    std::vector<uint8_t> bytes;
    std::vector<int32_t> offsets; // of each frame record
    int32_t frameDataEnd = 148;
};

// The project file of the layout tables: header, records from 148, frame table, the
// three further tables (given counts, zero bytes), then an element block with `elements`
// records (B = elementBytes.size()).
inline HandFile BuildHandFile(int width, int height, const std::vector<HandFrame>& frames,
                              uint32_t version = 0x20031211, int32_t t2 = 0, int32_t t3 = 0, int32_t t4 = 0,
                              int32_t elementCount = 0, const std::vector<uint8_t>& elementBytes = {}) {
    HandFile out;
    std::vector<uint8_t>& b = out.bytes;
    b.assign(148, 0);
    std::memcpy(b.data(), "VOKA", 4);
    const int row = (width * 3 + 3) & ~3;
    Put32(b, 4, version);
    Put32(b, 8, static_cast<uint32_t>(frames.size()));
    Put32(b, 12, t2);
    Put32(b, 16, t3);
    Put32(b, 20, t4);
    Put32(b, 24, 100);
    Put32(b, 32, 32);
    Put32(b, 36, 24);
    Put32(b, 48, width);
    Put32(b, 52, height);
    Put32(b, 56, row);
    Put32(b, 60, row * height);
    b[64] = 1;
    Put32(b, 68, 10);
    std::memcpy(b.data() + 76, "2026-01-02 03:04:05.00006", 25);
    Put32(b, 108, 40);
    Put32(b, 112, width);
    Put32(b, 116, height);
    Put16(b, 120, 1);
    Put16(b, 122, 24);
    Put32(b, 128, row * height);
    for (const HandFrame& f : frames) {
        const size_t at = b.size();
        out.offsets.push_back(static_cast<int32_t>(at));
        b.resize(at + 24616, 0);
        std::memcpy(b.data() + at, "SIGN", 4);
        Put32(b, at + 4, 0xFFFFFFFF);
        Put32(b, at + 8,
              static_cast<uint32_t>(f.dataSizeField >= 0 ? f.dataSizeField : int32_t(f.data.size())));
        Put32(b, at + 12, 0xFFFFFFFF);
        Put32(b, at + 24, 11);
        Put32(b, at + 28, 22);
        Put32(b, at + 32, 1);
        b[at + 36] = 1;
        for (size_t i = 0; i < f.flags.size(); ++i)
            b[at + 37 + i] = f.flags[i];
        b.insert(b.end(), f.data.begin(), f.data.end());
    }
    out.frameDataEnd = static_cast<int32_t>(b.size());
    Put32(b, 72, static_cast<uint32_t>(b.size()));
    for (size_t i = 0; i < frames.size(); ++i) {
        const size_t at = b.size();
        b.resize(at + 8);
        Put32(b, at, static_cast<uint32_t>(out.offsets[i]));
        Put32(b, at + 4, static_cast<uint32_t>(frames[i].kind));
    }
    b.resize(b.size() + size_t(t2) * 8 + size_t(t3) * 4 + size_t(t4) * 36, 0xAB);
    const size_t block = b.size();
    b.resize(block + 16);
    Put32(b, block, static_cast<uint32_t>(elementCount));
    Put32(b, block + 4, static_cast<uint32_t>(elementBytes.size()));
    Put32(b, block + 8, static_cast<uint32_t>(block));
    b.insert(b.end(), elementBytes.begin(), elementBytes.end());
    return out;
}

} // namespace zovtest
