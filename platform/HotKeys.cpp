#include "platform/HotKeys.h"

namespace zov {

std::string HotKeyName(int id) {
    if (id < HOTKEY_BEGIN || id > HOTKEY_STOP)
        return {};
    return "Ctrl+Shift+F" + std::to_string(9 + id - HOTKEY_BEGIN);
}

} // namespace zov
