// Screen pixels to the project's 24-bit image. Screens hand their pixels over in their own
// format; the channels are taken by the visual's masks and widened to 8 bits by a left shift
// (a 5-bit channel v becomes v << 3, a 6-bit one v << 2), the way the project's pixel
// conversion widens 16-bit bitmap pixels. Reading a 5-6-5 screen by the 5-5-5 bitmap rule
// would give wrong colours, hence the masks.
#pragma once

#include "base/Bitmap.h"
#include "platform/ScreenSource.h"

namespace zov {

// Whether a screen of this depth and pixel size can be recorded: depth and bits per pixel
// 8, 16, 24 or 32 (depth 24 may come in 32-bit pixels). A 15-bit or 4-bit screen cannot.
bool ScreenFormatSupported(int depth, int bitsPerPixel);

// Converts `src` into `dst`, which must already be allocated at src.width x src.height.
// Rows are written bottom-up; padding bytes are left as they are. False for a format the
// conversion does not know.
[[nodiscard]] bool ConvertScreenPixels(const ScreenPixels& src, Image24& dst);

} // namespace zov
