// Which element lies under a point, in frame pixels. Rectangles are stored as drawn, so each
// test normalises a copy first.
#include "elements/ElementList.h"

#include "elements/ElementGeometry.h"

namespace zov {

bool CElementList::HitTest(const ElementRecord* record, int32_t x, int32_t y, int32_t f,
                           bool startOnly) const {
    if (!record || record->kind < 0 || record->kind >= kElementKindCount ||
        record->body.size() != ElementFixedBodySize(record->kind))
        return false;
    if (startOnly ? record->firstFrame != f : !record->ShownOn(f))
        return false;
    switch (record->kind) {
    case ELEMENT_LINE: {
        const LineBody& l = *record->Body<LineBody>();
        return LineNear(l.x1, l.y1, l.x2, l.y2, x, y);
    }
    case ELEMENT_CIRCLE:
        return EllipseContains(record->Body<ShapeBody>()->rect, x, y);
    case ELEMENT_BOX2:
        return PolygonContains(record->Body<Box2Body>()->outline, 7, x, y);
    case ELEMENT_RESERVED7:
        return false;
    default:
        return RectContains(*record->Body<ElementRect>(), x, y);
    }
}

} // namespace zov
