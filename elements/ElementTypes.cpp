#include "elements/ElementTypes.h"

#include <cstring>

namespace zov {

void ResetElementStyle(ElementStyle& style, const LogFontA* font, const char* text) {
    std::memset(&style, 0, sizeof style);
    style.penWidth = 1;
    style.penStyle = 0;
    style.foreColour = 0xFFFFFF;
    style.backColour = 0x000000;
    if (font)
        style.font = *font;
    style.borderFlag = 1;
    style.fillFlag = 1;
    style.spareColour = 0;
    style.borderColour = 0xFF0000;
    if (text) {
        std::strncpy(style.text, text, sizeof style.text - 1);
        style.text[sizeof style.text - 1] = '\0';
    }
}

size_t ElementFixedBodySize(int32_t kind) {
    switch (kind) {
    case ELEMENT_LINE:
        return sizeof(LineBody);
    case ELEMENT_CIRCLE:
    case ELEMENT_BOX:
        return sizeof(ShapeBody);
    case ELEMENT_BOX2:
        return sizeof(Box2Body);
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2:
        return sizeof(TextBody);
    case ELEMENT_RESERVED7:
        return sizeof(Reserved7Body);
    case ELEMENT_URLLINK:
        return sizeof(UrlLinkBody);
    case ELEMENT_IMAGE:
        return sizeof(ImageBody);
    case ELEMENT_SAVEAREA:
        return sizeof(SaveAreaBody);
    default:
        return 0;
    }
}

bool ElementHasText(int32_t kind) {
    return kind == ELEMENT_BOX2 || kind == ELEMENT_TEXT || kind == ELEMENT_SUBSCRIPT1 ||
           kind == ELEMENT_SUBSCRIPT2 || kind == ELEMENT_URLLINK;
}

bool ElementHasTail(int32_t kind) {
    return ElementHasText(kind) || kind == ELEMENT_IMAGE;
}

int ElementTailLengthOffset(int32_t kind) {
    switch (kind) {
    case ELEMENT_BOX2:
        return static_cast<int>(offsetof(Box2Body, textLength));
    case ELEMENT_TEXT:
    case ELEMENT_SUBSCRIPT1:
    case ELEMENT_SUBSCRIPT2:
        return static_cast<int>(offsetof(TextBody, textLength));
    case ELEMENT_URLLINK:
        return static_cast<int>(offsetof(UrlLinkBody, urlLength));
    case ELEMENT_IMAGE:
        return static_cast<int>(offsetof(ImageBody, bitsLength));
    default:
        return -1;
    }
}

} // namespace zov
