// Where the editor window's children go for a client area of W x H.
#pragma once

#include <QRect>

namespace zov {

struct EditorLayout {
    QRect toolbar, strip, first, previous, stripScroll, next, last, indexTree, view, viewHScroll, viewVScroll,
        fitButton, status;
};

constexpr int kToolbarHeight = 24;
constexpr int kStatusHeight = 20;
constexpr int kIndexTreeWidth = 200;

EditorLayout ComputeEditorLayout(int width, int height, bool toolbarShown, bool statusShown, bool indexShown);

} // namespace zov
