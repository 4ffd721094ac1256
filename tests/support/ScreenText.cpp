#include "tests/support/ScreenText.h"

#include <algorithm>
#include <fstream>

namespace zovtest {

std::string ReadScreenText(const Screenshot& shot, const Box& box, const std::string& scratch) {
    // Two pixels in: the border of a tip would be read as a letter.
    const int left = std::max(0, box.left + 2), top = std::max(0, box.top + 2);
    const int right = std::min(shot.width, box.right - 2), bottom = std::min(shot.height, box.bottom - 2);
    if (right <= left || bottom <= top)
        return {};
    const std::string raw = scratch + "/text.ppm", ready = scratch + "/text.png";
    {
        std::ofstream out(raw, std::ios::binary);
        out << "P6\n" << right - left << " " << bottom - top << "\n255\n";
        for (int y = top; y < bottom; ++y)
            for (int x = left; x < right; ++x) {
                const uint32_t c = shot.At(x, y);
                const char rgb[3] = {char(c >> 16), char(c >> 8), char(c)};
                out.write(rgb, 3);
            }
        if (!out)
            return {};
    }
    if (RunProgram({"convert", raw, "-colorspace", "Gray", "-resize", "300%", "-bordercolor", "white",
                    "-border", "30", ready})
            .exitCode != 0)
        return {};
    RunResult r = RunProgram({"tesseract", ready, "stdout", "--psm", "7"});
    if (r.exitCode != 0)
        return {};
    std::string text = r.out;
    const auto blank = [](char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f'; };
    while (!text.empty() && blank(text.back()))
        text.pop_back();
    size_t start = 0;
    while (start < text.size() && blank(text[start]))
        ++start;
    return text.substr(start);
}

} // namespace zovtest
