// Runs zovrec as a script does (a shell command line), for the tests of its commands: the
// exit code, standard output, and standard error (kept in a file in the test's folder).
#pragma once

#include "tests/support/TestFiles.h"

#include <cstdio>
#include <string>
#include <sys/wait.h>

namespace zovtest {

struct CliRun {
    int code = -1;
    std::string out, err;
};

// `args` is shell text (quote paths); `environment` one VAR=value set for this run only.
inline CliRun Zovrec(const std::string& args, const std::string& scratch,
                     const std::string& environment = "") {
    const std::string errFile = scratch + "/stderr.txt";
    const std::string cmd = (environment.empty() ? "" : "env '" + environment + "' ") +
                            std::string(ZOV_BIN_DIR) + "/zovrec " + args + " 2>'" + errFile + "'";
    CliRun r;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.out.append(buf, n);
    const int status = pclose(p);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    const auto e = ReadAll(errFile);
    r.err.assign(e.begin(), e.end());
    return r;
}

} // namespace zovtest
