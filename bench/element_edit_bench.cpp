// The element editor's redraw after one drag step, beside its peer in the same run:
//  - drag step: ElementEditor::MouseMove on a picked box of a 1024 x 768 frame that shows 20
//    other elements (the reshape, the display surface put back from the work surface, the
//    selected element and its handles drawn over it) and the frame view repainted;
//    target: under 16 ms (one refresh of a 60 Hz screen);
//  - peer: a QImage copy of the 1024 x 768 frame.
// Figures are thread CPU time per step (median and best of the steps); ratio = ours / peer.
//
// How to run (from a build with benchmarks, on the offscreen platform or any X server):
//   QT_QPA_PLATFORM=offscreen build/bin/element_edit_bench [steps]
#include "app/Application.h"
#include "core/Ani.h"
#include "elements/ElementList.h"
#include "render/ElementPainter.h"
#include "render/FrameSurfaces.h"
#include "tests/ui/UiTestProject.h"
#include "ui/ElementCommands.h"
#include "ui/ElementEditor.h"
#include "ui/FrameView.h"
#include "ui/MainWindow.h"

#include <QApplication>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

using namespace zov;

namespace {

double ThreadMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::max(10, std::atoi(argv[1])) : 200;
    QApplication qapp(argc, argv);
    const std::string dir = (std::filesystem::temp_directory_path() / "zov-element-bench").string();
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir + "/data/language");
    for (const char* name : {"languagelst.txt", "langenglish.txt", "langchinese.txt", "langjapanese.txt"})
        std::filesystem::copy_file(std::string(ZOV_SOURCE_DIR) + "/data/language/" + name,
                                   dir + "/data/language/" + name);
    CAni doc;
    const std::string project = dir + "/bench.scp";
    if (!zovtest::MakeProject(doc, project, 1024, 768, 2, 250)) {
        std::fprintf(stderr, "could not make the project\n");
        return 1;
    }
    AppFolders folders;
    folders.program = dir + "/";
    folders.data = dir + "/data/";
    folders.writable = dir + "/";
    folders.defaultProject = dir + "/";
    folders.registerFileType = false;
    ZovApp app(doc, folders);
    if (!app.Startup())
        return 1;
    InstallElementDrawing(doc, false); // as zov-recorder does: elements, selection and handles
    {
        CMainWindow window(app);
        window.resize(1100, 950);
        window.show();
        if (!window.OpenProjectPath(QString::fromStdString(project)))
            return 1;
        ElementEditor* editor = ElementEditorOf(window);
        // Twenty elements of mixed kinds on the frame, then the box that is dragged.
        CElementList& list = doc.Elements();
        ElementStyle style{};
        ResetElementStyle(style, nullptr, "Bench text");
        for (int i = 0; i < 20; ++i) {
            const int kind = (i % 4 == 0)   ? ELEMENT_LINE
                             : (i % 4 == 1) ? ELEMENT_CIRCLE
                             : (i % 4 == 2) ? ELEMENT_TEXT
                                            : ELEMENT_BOX;
            ElementRecord* r = list.Create(0, 1, kind);
            list.ApplyStyle(r, style);
            const int x = 40 + (i % 5) * 190, y = 40 + (i / 5) * 170;
            if (kind == ELEMENT_LINE) {
                LineBody* b = r->Body<LineBody>();
                b->x1 = x;
                b->y1 = y;
                b->x2 = x + 150;
                b->y2 = y + 120;
            } else {
                *reinterpret_cast<ElementRect*>(r->body.data()) = {x, y, x + 150, y + 120};
            }
        }
        ElementRecord* box = list.Create(0, 1, ELEMENT_BOX);
        list.ApplyStyle(box, style);
        box->Body<ShapeBody>()->rect = {300, 300, 500, 450};
        window.ShowAnchor();
        doc.Select(0, 0);
        editor->MouseDown({400, 375}); // picks the box
        editor->MouseUp({400, 375});
        editor->MouseDown({400, 375}); // grabs it to move
        std::vector<double> ours, peer;
        QImage frame = window.Surfaces().Display();
        for (int i = 0; i < steps; ++i) {
            const QPoint p(400 + (i % 40) - 20, 375 + (i % 30) - 15);
            double t = ThreadMs();
            editor->MouseMove(p);
            window.View()->repaint();
            ours.push_back(ThreadMs() - t);
            t = ThreadMs();
            QImage copy = frame.copy();
            peer.push_back(ThreadMs() - t);
            if (copy.isNull())
                return 1;
        }
        editor->MouseUp({400, 375});
        const double om = Median(ours), pm = Median(peer);
        std::printf("drag step (reshape + display + overlay + view paint): median %.3f ms, best %.3f ms\n",
                    om, *std::min_element(ours.begin(), ours.end()));
        std::printf("peer QImage copy 1024x768:                          median %.3f ms, best %.3f ms\n", pm,
                    *std::min_element(peer.begin(), peer.end()));
        std::printf("ratio (median) ours / peer: %.2f; under 16 ms: %s\n", pm > 0 ? om / pm : 0.0,
                    om < 16.0 ? "yes" : "NO");
    }
    app.Shutdown();
    std::filesystem::remove_all(dir);
    return 0;
}
