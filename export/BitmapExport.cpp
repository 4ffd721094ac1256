#include "export/BitmapExport.h"

#include "base/Log.h"
#include "core/Ani.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zov {

namespace {

bool EndsWithNoCase(const std::string& s, const char* tail) {
    const size_t n = std::strlen(tail);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = s[s.size() - n + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != tail[i])
            return false;
    }
    return true;
}

bool StartsWithNoCase(const std::string& s, const char* head) {
    const size_t n = std::strlen(head);
    if (s.size() < n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        char c = s[i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != head[i])
            return false;
    }
    return true;
}

void PutLe(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// Writes `bytes` as the whole file `path` (created or truncated); every write and the close
// are checked, so a full disk fails here.
bool WriteFileChecked(const std::string& path, const void* data, size_t size, std::string& error) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        error = "can not create \"" + path + "\": " + std::strerror(errno);
        return false;
    }
    const bool wrote = std::fwrite(data, 1, size, f) == size;
    const int writeErrno = errno;
    const bool closed = std::fclose(f) == 0;
    if (!wrote || !closed) {
        error = "can not write \"" + path + "\": " + std::strerror(wrote ? errno : writeErrno);
        return false;
    }
    return true;
}

} // namespace

std::vector<std::string> ExistingExportBitmaps(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = opendir(folder.empty() ? "." : folder.c_str())) {
        while (dirent* e = readdir(d)) {
            const std::string name = e->d_name;
            if (name.size() >= 8 && StartsWithNoCase(name, "file") && EndsWithNoCase(name, ".bmp"))
                names.push_back(name);
        }
        closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<uint8_t> ExportBitmapBytes(const BitmapInfoHeader& info, const Image24& image) {
    const uint32_t imageBytes = static_cast<uint32_t>(image.RowBytes()) * static_cast<uint32_t>(image.height);
    std::vector<uint8_t> b(54 + static_cast<size_t>(imageBytes));
    b[0] = 'B';
    b[1] = 'M';
    PutLe(b, 2, imageBytes + 54, 4);
    PutLe(b, 10, 54, 4);
    BitmapInfoHeader h = info;
    h.biSize = 40;
    h.biWidth = image.width;
    h.biHeight = image.height;
    h.biPlanes = 1;
    h.biBitCount = 24; // always: the project's picture is 24-bit whatever an import noted
    h.biCompression = 0;
    h.biSizeImage = imageBytes;
    PutLe(b, 14, h.biSize, 4);
    PutLe(b, 18, static_cast<uint32_t>(h.biWidth), 4);
    PutLe(b, 22, static_cast<uint32_t>(h.biHeight), 4);
    PutLe(b, 26, h.biPlanes, 2);
    PutLe(b, 28, h.biBitCount, 2);
    PutLe(b, 30, h.biCompression, 4);
    PutLe(b, 34, h.biSizeImage, 4);
    PutLe(b, 38, static_cast<uint32_t>(h.biXPelsPerMeter), 4);
    PutLe(b, 42, static_cast<uint32_t>(h.biYPelsPerMeter), 4);
    PutLe(b, 46, h.biClrUsed, 4);
    PutLe(b, 50, h.biClrImportant, 4);
    // Row by row, so the padding is always zero whatever the picture's buffer holds there.
    const size_t stride = static_cast<size_t>(image.RowBytes());
    const size_t used = static_cast<size_t>(image.width) * 3;
    for (size_t y = 0; y < static_cast<size_t>(image.height) && (y + 1) * stride <= image.bits.size(); ++y)
        std::memcpy(b.data() + 54 + y * stride, image.bits.data() + y * stride, used);
    return b;
}

BitmapExportResult ExportBitmaps(CAni& ani, const BitmapExportRequest& request, int32_t& written,
                                 std::string& error) {
    written = 0;
    ExportWalk walk;
    if (!walk.Prepare(ani, request.walk, error))
        return BitmapExportResult::Failed;
    std::string folder = request.folder.empty() ? "./" : request.folder;
    if (folder.back() != '/')
        folder += '/';
    struct stat st {};
    if (stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error = "the folder \"" + folder + "\" does not exist";
        return BitmapExportResult::Failed;
    }
    // Asked before anything is written, so that "no" leaves the folder as it was.
    const std::vector<std::string> existing = ExistingExportBitmaps(folder);
    if (!existing.empty()) {
        if (!request.confirmOverwrite || !request.confirmOverwrite(existing)) {
            error = "the folder \"" + folder + "\" holds " + std::to_string(existing.size()) +
                    " bitmap files of an earlier export (" + existing.front() + " ...)";
            return BitmapExportResult::NotOverwritten;
        }
        for (const std::string& name : existing)
            if (std::remove((folder + name).c_str()) != 0 && errno != ENOENT) {
                error = "can not delete \"" + folder + name + "\": " + std::strerror(errno);
                return BitmapExportResult::Failed;
            }
    }

    std::vector<std::string> made; // every file this export wrote, removed again on failure
    std::string cursorTemp;
    struct Undo {
        std::vector<std::string>& made;
        std::string& temp;
        bool keep = false;
        ~Undo() {
            if (!temp.empty())
                std::remove(temp.c_str());
            if (!keep)
                for (const std::string& p : made)
                    std::remove(p.c_str());
        }
    } undo{made, cursorTemp};

    char line[64];
    std::snprintf(line, sizeof line, "%d\n", ani.FrameDelay());
    std::string cursor = line;
    const BitmapInfoHeader info = walk.OutputInfo();
    const WalkResult r = walk.Run(
        [&](const ExportFrame& frame, std::string& err) {
            char name[32];
            std::snprintf(name, sizeof name, "file%04d.bmp", frame.sample + 1);
            const std::string path = folder + name;
            const std::vector<uint8_t> bytes = ExportBitmapBytes(info, *frame.dib);
            made.push_back(path);
            if (!WriteFileChecked(path, bytes.data(), bytes.size(), err)) {
                ZOV_LOG("write bitmap fail");
                return false;
            }
            std::snprintf(line, sizeof line, "%d, %d, %d\n", frame.header->pointerX, frame.header->pointerY,
                          frame.header->pointerShape);
            cursor += line;
            return true;
        },
        error);
    if (r == WalkResult::Cancelled) {
        error = "cancelled";
        return BitmapExportResult::Cancelled;
    }
    if (r != WalkResult::Done)
        return BitmapExportResult::Failed;
    // "cursor.txt" goes in whole or not at all: written beside it, then renamed over it.
    cursorTemp = folder + ".cursor.txt.XXXXXX";
    const int fd = mkstemp(cursorTemp.data());
    if (fd < 0) {
        error = "can not create a file in \"" + folder + "\": " + std::strerror(errno);
        cursorTemp.clear();
        return BitmapExportResult::Failed;
    }
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    ::close(fd);
    if (!WriteFileChecked(cursorTemp, cursor.data(), cursor.size(), error))
        return BitmapExportResult::Failed;
    if (std::rename(cursorTemp.c_str(), (folder + kCursorFileName).c_str()) != 0) {
        error = "can not write \"" + folder + kCursorFileName + "\": " + std::strerror(errno);
        return BitmapExportResult::Failed;
    }
    cursorTemp.clear();
    undo.keep = true;
    written = static_cast<int32_t>(made.size());
    return BitmapExportResult::Done;
}

} // namespace zov
