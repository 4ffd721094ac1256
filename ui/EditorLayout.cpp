#include "ui/EditorLayout.h"

#include <algorithm>

namespace zov {

EditorLayout ComputeEditorLayout(int w, int h, bool toolbarShown, bool statusShown, bool indexShown) {
    const int t = toolbarShown ? kToolbarHeight : 0;
    const int b = statusShown ? h - kStatusHeight : h;
    const int tree = indexShown ? kIndexTreeWidth : 0;
    const int viewW = std::max(0, w - 15 - tree);
    const int viewH = std::max(0, b - 15 - t - 108);
    EditorLayout l;
    l.toolbar = QRect(0, 0, w, t);
    l.strip = QRect(0, t + 2, w, 90);
    l.first = QRect(0, t + 93, 20, 14);
    l.previous = QRect(21, t + 93, 20, 14);
    l.stripScroll = QRect(42, t + 93, std::max(0, w - 82), 14);
    l.next = QRect(w - 39, t + 93, 20, 14);
    l.last = QRect(w - 18, t + 93, 20, 14);
    l.indexTree = QRect(0, t + 108, tree, std::max(0, b - t - 108));
    l.view = QRect(tree, t + 108, viewW, viewH);
    l.viewHScroll = QRect(tree, b - 14, viewW, 15);
    l.viewVScroll = QRect(w - 14, t + 108, 14, viewH);
    l.fitButton = QRect(w - 14, b - 14, 14, 15);
    l.status = QRect(0, b, w, statusShown ? kStatusHeight : 0);
    return l;
}

} // namespace zov
