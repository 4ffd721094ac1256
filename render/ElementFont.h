// Fonts and texts of elements. A stored LOGFONTA names a face of the old platform; here it maps
// to a font present on every machine the install script sets up:
//   "System", "MS Sans Serif" and unknown faces  -> DejaVu Sans
//   Arial / Times New Roman / Courier New         -> Liberation Sans / Serif / Mono
//   character sets 128, 134, 136 (Japanese, simplified and traditional Chinese)
//                                                 -> WenQuanYi Zen Hei
// A negative height is the pixel size of the characters, a positive one the height of the
// character cell (ascent + descent); 0 takes 16 pixels. Weight, italic, underline and
// strike-out carry over; width, escapement and orientation do not. Text is drawn without
// antialiasing, without kerning, one glyph at a time at whole-pixel advances.
//
// Texts are stored single-byte. Text typed here that is not ASCII is stored as UTF-8; reading,
// a text that is valid UTF-8 is taken as such, any other as Latin-1 (one character a byte),
// which is how texts from older projects read. Characters, not bytes, are what the
// typewriter subscript counts.
#pragma once

#include "elements/ElementTypes.h"

#include <QFont>
#include <QString>
#include <string>

namespace zov {

QFont ElementFont(const LogFontA& font);
// The family ElementFont chooses for a face name and character set.
QString ElementFontFamily(const LogFontA& font);

// Bytes of an element text as characters, and characters as the bytes to store.
QString DecodeElementText(const std::string& bytes);
std::string EncodeElementText(const QString& text);

} // namespace zov
