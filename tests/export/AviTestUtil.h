// Reading AVI files back in the export tests: a RIFF walker written from the file layout (not
// from the writer), and ffmpeg/ffprobe runs whose output lands in files.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "tests/support/TestFiles.h"
#include "tests/support/XTestEnv.h"

namespace zov::test {

using Bytes = std::vector<uint8_t>;

inline uint64_t Le64(const Bytes& b, size_t at) {
    return uint64_t(zovtest::Le32(b, at)) | (uint64_t(zovtest::Le32(b, at + 4)) << 32);
}
inline std::string Fcc(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? std::string(reinterpret_cast<const char*>(b.data() + at), 4) : "";
}

// One chunk or list of the file: its id ("LIST"/"RIFF" lists carry their type in `type`), the
// position of its header, and its data size (without the pad byte).
struct RiffNode {
    std::string id, type;
    uint64_t pos = 0;
    uint32_t size = 0;
    std::vector<RiffNode> children;
    uint64_t Data() const { return pos + 8; }
    const RiffNode* Find(const std::string& what, size_t nth = 0) const {
        for (const RiffNode& c : children)
            if ((c.id == what || (!c.type.empty() && c.type == what)) && nth-- == 0)
                return &c;
        return nullptr;
    }
    size_t Count(const std::string& what) const {
        size_t n = 0;
        for (const RiffNode& c : children)
            n += c.id == what || c.type == what;
        return n;
    }
};

// Parses the chunks in [begin, end); lists are entered. False (with a failure) on a chunk that
// runs past its parent.
inline bool ParseRiff(const Bytes& f, uint64_t begin, uint64_t end, std::vector<RiffNode>& out) {
    uint64_t at = begin;
    while (at + 8 <= end) {
        RiffNode n;
        n.id = Fcc(f, at);
        n.pos = at;
        n.size = zovtest::Le32(f, at + 4);
        if (at + 8 + n.size > end) {
            ADD_FAILURE() << "chunk " << n.id << " at " << at << " of " << n.size << " bytes runs past "
                          << end;
            return false;
        }
        if (n.id == "RIFF" || n.id == "LIST") {
            n.type = Fcc(f, at + 8);
            if (!ParseRiff(f, at + 12, at + 8 + n.size, n.children))
                return false;
        }
        out.push_back(std::move(n));
        at += 8 + n.size + (n.size & 1);
    }
    EXPECT_EQ(end, at) << "bytes left over at the end of a list";
    return true;
}

inline std::vector<RiffNode> ParseAviFile(const Bytes& f) {
    std::vector<RiffNode> top;
    EXPECT_TRUE(ParseRiff(f, 0, f.size(), top));
    return top;
}

// Runs a program to its end; its exit code must be 0.
inline std::string RunTool(const std::vector<std::string>& argv) {
    const zovtest::RunResult r = zovtest::RunProgram(argv);
    std::string line;
    for (const std::string& a : argv)
        line += a + " ";
    EXPECT_EQ(0, r.exitCode) << line << "\n" << r.err;
    return r.out;
}

inline bool HaveFfmpeg() {
    return zovtest::RunProgram({"ffprobe", "-version"}).exitCode == 0 &&
           zovtest::RunProgram({"ffmpeg", "-version"}).exitCode == 0;
}

// Every video frame of `avi` decoded to top-down B, G, R bytes (frames one after another).
inline Bytes DecodeBgr(const std::string& avi, const std::string& raw,
                       const std::vector<std::string>& before = {}) {
    std::vector<std::string> argv = {"ffmpeg", "-v", "error", "-y"};
    argv.insert(argv.end(), before.begin(), before.end());
    for (const std::string& a : {std::string("-i"), avi, std::string("-map"), std::string("0:v:0"),
                                 std::string("-vsync"), std::string("passthrough"), std::string("-f"),
                                 std::string("rawvideo"), std::string("-pix_fmt"), std::string("bgr24"), raw})
        argv.push_back(a);
    RunTool(argv);
    return zovtest::ReadAll(raw);
}

// One ffprobe value of the first stream of `kind` ("v" or "a").
inline std::string Probe(const std::string& file, const std::string& kind, const std::string& entry,
                         bool countFrames = false) {
    std::vector<std::string> argv = {"ffprobe", "-v", "error", "-select_streams", kind + ":0"};
    if (countFrames)
        argv.push_back("-count_frames");
    for (const std::string& a : {std::string("-show_entries"), "stream=" + entry, std::string("-of"),
                                 std::string("default=nw=1:nk=1"), file})
        argv.push_back(a);
    std::string out = RunTool(argv);
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

// When the last packet of the first stream of `kind` ends, in seconds, as ffprobe times it.
inline double StreamEnd(const std::string& file, const std::string& kind) {
    const std::string out =
        RunTool({"ffprobe", "-v", "error", "-select_streams", kind + ":0", "-show_entries",
                 "packet=pts_time,duration_time", "-of", "csv=p=0", file});
    double end = -1;
    size_t at = 0;
    while (at < out.size()) {
        size_t eol = out.find('\n', at);
        if (eol == std::string::npos)
            eol = out.size();
        const std::string line = out.substr(at, eol - at);
        const size_t comma = line.find(',');
        if (comma != std::string::npos)
            end = std::stod(line.substr(0, comma)) + std::stod(line.substr(comma + 1));
        at = eol + 1;
    }
    return end;
}

inline double Psnr(const Bytes& a, const Bytes& b) {
    if (a.size() != b.size() || a.empty())
        return 0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        const double d = double(a[i]) - double(b[i]);
        sum += d * d;
    }
    if (sum == 0)
        return 99;
    return 10 * std::log10(255.0 * 255.0 * double(a.size()) / sum);
}

} // namespace zov::test
