#include "base/ProgramFolder.h"

#include <cstdlib>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zov {

std::string ProgramFolder() {
    char buf[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return {};
    std::string path(buf, static_cast<size_t>(n));
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string DataFolder() {
    return ProgramFolder() + "data/";
}

std::string WritableFolder() {
    std::string prog = ProgramFolder();
    if (!prog.empty() && access(prog.c_str(), W_OK) == 0)
        return prog;
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    mkdir(base.c_str(), 0700);
    std::string dir = base + "/zov-recorder/";
    mkdir(dir.c_str(), 0700);
    return dir;
}

} // namespace zov
