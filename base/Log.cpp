#include "base/Log.h"

#include "base/ProgramFolder.h"

#include <cstdio>
#include <ctime>
#include <mutex>

namespace zov {

namespace {
std::mutex g_pathMutex;
std::string g_logPath;

const char* FileNamePart(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p)
        if (*p == '/' || *p == '\\')
            name = p + 1;
    return name;
}
} // namespace

std::string LogPath() {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    if (g_logPath.empty())
        g_logPath = WritableFolder() + "ZOV Recorder.log";
    return g_logPath;
}

void SetLogPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(g_pathMutex);
    g_logPath = path;
}

std::string FormatLogLine(int year, int month, int day, int hour, int minute, int second, const char* message,
                          const char* sourcePath, int line) {
    char head[64];
    std::snprintf(head, sizeof head, "[%04d/%02d/%02d %02d:%02d:%02d] ", year, month, day, hour, minute,
                  second);
    std::string out = head;
    out += message ? message : "";
    out += ", ";
    out += FileNamePart(sourcePath ? sourcePath : "");
    out += ", ";
    out += std::to_string(line);
    out += '\n';
    return out;
}

bool Log(const char* message, const char* sourcePath, int line) {
    std::FILE* f = std::fopen(LogPath().c_str(), "ae");
    if (!f)
        return false;
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::string text = FormatLogLine(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                                     tm.tm_sec, message, sourcePath, line);
    // One formatted write per line, so lines from different threads do not interleave.
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = (std::fclose(f) == 0) && ok;
    return ok;
}

} // namespace zov
