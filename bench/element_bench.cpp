// Element drawing: DrawElements of 50 mixed elements (lines, dashed and wide, ellipses,
// boxes, balloons with text, texts, both subtitles, links, images) on a 1024 x 768 frame,
// beside the peer: a QImage copy of the same frame, in the same run. The editor redraws the
// work surface this way after every change, so the ratio says how many frame copies one
// element redraw costs. Figures are thread CPU time per operation, best of the repetitions.
//
// How to run (from a build with benchmarks):
//   build/bench/bin/element_bench            # or build/bin/element_bench, wherever it lands
#include "elements/ElementGeometry.h"
#include "elements/ElementList.h"
#include "render/ElementDraw.h"

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>

using namespace zov;

namespace {

double ThreadNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

template <class F> double Best(F f, int reps, int inner) {
    double best = 1e300;
    for (int r = 0; r < reps; ++r) {
        const double t0 = ThreadNs();
        for (int i = 0; i < inner; ++i)
            f();
        best = std::min(best, (ThreadNs() - t0) / inner);
    }
    return best;
}

void Fill(CElementList& list) {
    std::mt19937 rng(7);
    const auto coord = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    LogFontA font{};
    font.lfHeight = -14;
    font.lfWeight = 400;
    std::strcpy(font.lfFaceName, "Arial");
    ImageInfoHeader info{};
    info.biSize = 40;
    info.biWidth = 64;
    info.biHeight = 48;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::vector<uint8_t> bits(64 * 3 * 48);
    for (size_t i = 0; i < bits.size(); ++i)
        bits[i] = static_cast<uint8_t>(i * 7);
    for (int i = 0; i < 50; ++i) {
        const int kind = std::vector<int>{0, 0, 1, 1, 2, 2, 3, 4, 5, 6, 8, 9}[static_cast<size_t>(i % 12)];
        ElementRecord* e = list.Create(0, 9, kind);
        const int l = coord(0, 900), t = coord(0, 680);
        const ElementRect r{l, t, l + coord(40, 120), t + coord(20, 80)};
        switch (kind) {
        case 0:
            *e->Body<LineBody>() = {l, t, coord(0, 1023), coord(0, 767), i % 3 == 0 ? 3 : 1, i % 5, 0x0000FF};
            break;
        case 1:
        case 2:
            *e->Body<ShapeBody>() = ShapeBody{r, 1 + i % 2, 0, 0, 1, 1, {0, 0}, 0xFF0000, 0x00FFFF};
            break;
        case 3: {
            Box2Body& b = *e->Body<Box2Body>();
            b.textRect = r;
            b.tip = {r.right + 30, r.bottom + 30};
            b.penWidth = 1;
            b.borderFlag = b.fillFlag = 1;
            b.fillColour = 0xC0FFFF;
            b.font = font;
            BuildBox2Outline(b.textRect, b.tip, b.outline);
            list.SetText(e, "Balloon text");
            break;
        }
        case 4:
        case 5:
        case 6: {
            TextBody& t2 = *e->Body<TextBody>();
            t2.rect = r;
            t2.penWidth = 1;
            t2.borderFlag = t2.fillFlag = 1;
            t2.textColour = 0xFFFFFF;
            t2.font = font;
            list.SetText(e, "Some annotation text");
            break;
        }
        case 8:
            *e->Body<ElementRect>() = r;
            break;
        case 9:
            list.SetImage(e, info, bits.data(), static_cast<uint32_t>(bits.size()));
            e->Body<ImageBody>()->rect = r;
            e->Body<ImageBody>()->transparentFlag = 1;
            break;
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    static char platform[] = "-platform", offscreen[] = "offscreen";
    char* args[] = {argv[0], platform, offscreen, nullptr};
    int n = 3;
    (void)argc;
    QGuiApplication app(n, args);
    QImage frame(1024, 768, QImage::Format_RGB32);
    for (int y = 0; y < 768; ++y)
        for (int x = 0; x < 1024; ++x)
            frame.setPixel(x, y, qRgb(x & 255, y & 255, (x ^ y) & 255));
    CElementList list;
    Fill(list);
    ElementDrawOptions options;
    options.frameCount = 10;
    QImage work;
    const double copy = Best(
        [&] {
            work = frame.copy();
            (void)work.bits();
        },
        5, 50);
    const double draw = Best(
        [&] {
            work = frame.copy();
            DrawElements(work, list, 3, options);
        },
        5, 5);
    std::printf("QImage copy of 1024x768:          %10.0f ns\n", copy);
    std::printf("copy + DrawElements, 50 elements: %10.0f ns\n", draw);
    std::printf("ratio (draw / copy):              %10.1f\n", draw / copy);
    return 0;
}
