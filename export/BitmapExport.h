// The bitmap export: the exported frames as "file0001.bmp", "file0002.bmp", ... (24-bit,
// bottom-up, the project's picture description with the area's size) in a folder, with
// "cursor.txt" (the frame delay, then "x, y, shape" of the pointer per frame). Existing
// "file*.bmp" are only replaced when the caller agrees, asked before anything is written; an
// export that fails or is cancelled removes every file it wrote, and "cursor.txt" is put in
// place only when all frames are written.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/ExportWalk.h"

namespace zov {

class CAni;

inline constexpr const char* kCursorFileName = "cursor.txt";

struct BitmapExportRequest {
    std::string folder;     // the target folder ("/" at the end or not)
    ExportWalkRequest walk; // range, area, cancel and progress
    // Asked when the folder holds "file*.bmp" already (their names given): true deletes them
    // and goes on, false ends the export with the folder untouched. Unset: false.
    std::function<bool(const std::vector<std::string>& existing)> confirmOverwrite;
};

enum class BitmapExportResult { Done, Failed, Cancelled, NotOverwritten };

// `written` counts the bitmap files of a finished export.
BitmapExportResult ExportBitmaps(CAni& ani, const BitmapExportRequest& request, int32_t& written,
                                 std::string& error);

// The names in `folder` of the form "file*.bmp" (letters in any case), sorted.
std::vector<std::string> ExistingExportBitmaps(const std::string& folder);

// The bytes of one exported bitmap: file header, `info` made a 24-bit uncompressed
// description, and `image`'s rows.
std::vector<uint8_t> ExportBitmapBytes(const BitmapInfoHeader& info, const Image24& image);

} // namespace zov
