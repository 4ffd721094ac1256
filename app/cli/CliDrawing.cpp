#include "app/cli/CliDrawing.h"

#include "core/Ani.h"
#include "elements/ElementList.h"
#include "render/ElementPainter.h"

#include <QGuiApplication>
#include <cstdio>
#include <memory>

namespace zov::cli {

namespace {

std::unique_ptr<QGuiApplication> g_app;

bool AnyShown(const ElementPaintJob& job) {
    if (job.snapshot) {
        for (const ElementRecord& e : *job.snapshot)
            if (e.ShownOn(job.index))
                return true;
        return false;
    }
    return job.list && job.list->CountInFrame(job.index) > 0;
}

// Qt's notes about the session it runs in (no runtime folder, no screen) mean nothing to a
// script reading zovrec's errors; only its real failures go through.
void QuietQtNotes(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "zovrec: %s\n", message.toLocal8Bit().constData());
}

void StartGui() {
    if (QGuiApplication::instance())
        return;
    qInstallMessageHandler(QuietQtNotes);
    // Drawing happens off any screen: the offscreen platform, whatever DISPLAY says.
    static int argc = 3;
    static char arg0[] = "zovrec", arg1[] = "-platform", arg2[] = "offscreen";
    static char* argv[] = {arg0, arg1, arg2, nullptr};
    g_app = std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace

ElementDrawing::ElementDrawing(CAni& ani) : m_ani(ani) {
    ElementPainter draw = MakeElementPainter(false);
    m_ani.SetElementPainter([draw](const ElementPaintJob& job) {
        if (!AnyShown(job))
            return;
        StartGui();
        draw(job);
    });
}

ElementDrawing::~ElementDrawing() {
    m_ani.SetElementPainter(nullptr);
    g_app.reset();
}

} // namespace zov::cli
