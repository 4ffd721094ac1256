// `zovrec version`.
#include "app/cli/Cli.h"

#include <cstdio>

namespace {
zov::cli::CliRegistration reg({"version", "version", "print the program version",
                               [](zov::CAni&, const zov::cli::Args&) {
                                   std::printf("zovrec 0.1\n");
                                   return 0;
                               }});
} // namespace
