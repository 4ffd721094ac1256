// The table of zovrec commands. Each cmd_*.cpp file registers its commands with a static
// CliRegistration; the files are compiled straight into the executable, so none is dropped.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zov {
class CAni;
}

namespace zov::cli {

using Args = std::vector<std::string>;

struct Command {
    std::string name;    // first word on the command line
    std::string usage;   // e.g. "info PROJECT"
    std::string summary; // one line for `zovrec help`
    // Returns the process exit code. args excludes the program and command names; the
    // document is the one the command works on (the program passes its own).
    std::function<int(CAni& ani, const Args& args)> run;
};

struct CliRegistration {
    explicit CliRegistration(Command command);
};

const std::vector<Command>& Commands();

// Prints "zovrec: <sentence>" to stderr and returns exit code 1 (or `code`).
int Fail(const std::string& sentence, int code = 1);
// Prints the usage line of a command and returns exit code 2.
int Usage(const Command& command);
int Usage(const std::string& usageLine);

// Opens a project for a command; on failure prints the sentence, sets `code` and returns false.
bool OpenOrFail(CAni& ani, std::string& path, int& code);
// Closes the document when a command returns, whichever way it leaves.
class CloseAtEnd {
  public:
    explicit CloseAtEnd(CAni& ani) : m_ani(ani) {}
    CloseAtEnd(const CloseAtEnd&) = delete;
    CloseAtEnd& operator=(const CloseAtEnd&) = delete;
    ~CloseAtEnd();

  private:
    CAni& m_ani;
};

// Option helpers: find "--name VALUE" in args; remove it when found.
bool TakeOption(Args& args, const std::string& name, std::string& value);
bool TakeFlag(Args& args, const std::string& name);
// Strict integer parsing: the whole text must be a number within [lo, hi].
bool ParseInt(const std::string& text, long long lo, long long hi, long long& out);

} // namespace zov::cli
