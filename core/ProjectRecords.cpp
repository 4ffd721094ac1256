#include "core/ProjectRecords.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace zov {

void InitFrameHeader(FrameHeader& h, uint8_t captured) {
    std::memset(&h, 0, sizeof h);
    std::memcpy(h.sign, "SIGN", 4);
    h.reserved4 = -1;
    h.reserved12 = -1;
    h.captured = captured;
}

void FormatStartTime(char (&out)[32], int64_t unixMilliseconds) {
    const std::time_t t = static_cast<std::time_t>(unixMilliseconds / 1000);
    std::tm tm{};
    localtime_r(&t, &tm);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%05d", tm.tm_year + 1900, tm.tm_mon + 1,
                  tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(unixMilliseconds % 1000));
    std::memset(out, 0, sizeof out);
    std::memcpy(out, text, std::min<size_t>(std::strlen(text), sizeof out - 1));
}

} // namespace zov
