#include "render/ElementPainter.h"

#include "base/Log.h"
#include "elements/ElementList.h"
#include "render/ElementDraw.h"
#include "render/SelectionOverlay.h"

#include <QImage>
#include <mutex>

namespace zov {

ElementPainter MakeElementPainter(bool sixteenBitScreen) {
    return [sixteenBitScreen](const ElementPaintJob& job) {
        ElementDrawOptions options;
        options.exporting = job.exporting;
        options.sixteenBitScreen = sixteenBitScreen && !job.exporting;
        options.frameCount = job.frameCount;
        const bool ok =
            job.snapshot
                ? MergeElements(job.image, job.width, job.height, *job.snapshot, job.index, options)
                : job.list && MergeElements(job.image, job.width, job.height, *job.list, job.index, options);
        if (!ok && job.index >= 0 && job.index < job.frameCount)
            ZOV_LOG("Draw Element Fail");
    };
}

void InstallElementDrawing(CAni& doc, bool sixteenBitScreen) {
    doc.SetElementPainter(MakeElementPainter(sixteenBitScreen));
    SetSelectionOverlayPainter([&doc, sixteenBitScreen](QImage& surface, int frame) {
        std::lock_guard<std::recursive_mutex> g(doc.Lock());
        const CElementList& list = doc.Elements();
        if (list.SelectionCount() == 0)
            return true;
        ElementDrawOptions options;
        options.sixteenBitScreen = sixteenBitScreen;
        options.frameCount = doc.FrameCount();
        return DrawSelected(surface, list, frame, options) && DrawHandles(surface, list);
    });
}

} // namespace zov
