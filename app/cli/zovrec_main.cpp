// zovrec: the command-line twin of the recorder, for scripts and headless use.
#include "app/cli/Cli.h"
#include "app/cli/CliDrawing.h"
#include "core/Ani.h"

#include <cstdio>
#include <exception>
#include <string>

using namespace zov::cli;

static int PrintHelp(std::FILE* out) {
    std::fprintf(out, "usage: zovrec COMMAND [ARGS...]\n\ncommands:\n");
    for (const Command& c : Commands())
        std::fprintf(out, "  %-58s %s\n", c.usage.c_str(), c.summary.c_str());
    return 0;
}

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintHelp(stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "help" || name == "--help" || name == "-h")
        return PrintHelp(stdout);
    // Elements are drawn into every exported frame.
    ElementDrawing drawing(zov::Ani());
    for (const Command& c : Commands()) {
        if (c.name != name)
            continue;
        Args args(argv + 2, argv + argc);
        try {
            return c.run(zov::Ani(), args);
        } catch (const std::exception& e) {
            return Fail(std::string("internal error: ") + e.what(), 3);
        }
    }
    return Fail("unknown command \"" + name + "\"; run \"zovrec help\" for the list.", 2);
}
