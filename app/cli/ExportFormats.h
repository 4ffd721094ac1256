// The formats `zovrec export` writes. The command parses what every format shares (the
// project, --out, --first, --last, --area) into an ExportOptions; each format registers itself
// here from its own cmd_*.cpp with the options only it takes.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/cli/Cli.h"
#include "export/ExportOptions.h"

namespace zov::cli {

struct ExportFormat {
    std::string key;     // as given to --format, compared without regard to case ("zov")
    std::string options; // the format's own options for the usage line ("[--no-pages]")
    // Takes its own options out of `args` (anything left is a usage error the command reports
    // before the project is opened) and says why a value is bad; false with `error` set.
    std::function<bool(Args& args, ExportOptions& options, std::string& error)> parse;
    // Runs the export on the open project; returns the exit code.
    std::function<int(CAni& ani, const ExportOptions& options)> run;
};

struct ExportFormatRegistration {
    explicit ExportFormatRegistration(ExportFormat format);
};

const std::vector<ExportFormat>& ExportFormats();

// "\rexported N of M frames" on a terminal, for exports long enough to need it.
void ExportProgress(int32_t done, int32_t total);

} // namespace zov::cli
