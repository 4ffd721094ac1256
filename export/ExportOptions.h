// The export request: what the export command hands to the exporters (ZOV, AVI, WMV, BMP).
// Passed and stored by value; paths are whole strings, never cut to a fixed buffer.
#pragma once

#include <cstdint>
#include <string>

namespace zov {

class CAni;

// Format keys, compared without regard to case.
inline constexpr const char* kExportKeyBmp = "BMP";
inline constexpr const char* kExportKeyZov = "ZOV";
inline constexpr const char* kExportKeyAvi = "AVI";
inline constexpr const char* kExportKeyWmv = "WMV";

// The compressor an AVI export runs its frames through. An empty encoder means the frames are
// stored as they are (handler "DIB "). The three numbers are those the compressor chooser
// offers; 0 (or -1 for the quality) leaves the encoder's own default.
struct CompressorChoice {
    std::string encoder;      // libavcodec encoder name ("zmbv", "ffv1", ...) or "" for none
    int32_t keyFrameRate = 0; // a key frame at least every this many frames (0: encoder's choice)
    int32_t quality = -1;     // 0..100 (lossy encoders: 100 finest); -1: the encoder's default
    int32_t dataRate = 0;     // kilobytes a second the encoder aims at; 0: no target
};

struct ExportOptions {
    // The area to export, y counted from the top; right and bottom exclusive. The defaults
    // take the whole frame.
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t first = 0;        // first frame exported
    int32_t last = -1;        // last frame exported; < 0: the last frame of the project
    bool areaSelect = false;  // copy of the window's "Area Select" option
    bool frameSelect = false; // copy of the window's "Frame Select" option
    std::string formatKey;    // kExportKey*
    // The target file; for "BMP" the target folder, ending in "/".
    std::string outputPath;

    // AVI (and the WMV route's intermediate AVI).
    CompressorChoice compressor;
    bool needAudio = false; // without the project's sound write one second of silence

    // Whether the area is something other than the whole frame of a width x height project.
    bool HasArea(int32_t width, int32_t height) const {
        return !(left == 0 && top == 0 && right == width && bottom == height);
    }
};

// Whether two format keys are the same key ("avi" is "AVI").
bool SameExportKey(const std::string& a, const char* key);

// The options an export starts from: the whole frame, all frames, the key.
ExportOptions DefaultExportOptions(const CAni& ani, const std::string& formatKey);

// The export-area element keeps a copy of the options in a fixed record whose paths hold at
// most 259 bytes; longer ones do not fit and must be refused there, not cut.
inline constexpr size_t kExportRecordPathBytes = 260;
inline bool ExportOptionsFitRecord(const ExportOptions& o) {
    return o.formatKey.size() < kExportRecordPathBytes && o.outputPath.size() < kExportRecordPathBytes;
}

} // namespace zov
