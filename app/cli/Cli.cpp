#include "app/cli/Cli.h"

#include "core/Ani.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace zov::cli {

namespace {
std::vector<Command>& Table() {
    static std::vector<Command> table;
    return table;
}
} // namespace

CliRegistration::CliRegistration(Command command) {
    Table().push_back(std::move(command));
}

const std::vector<Command>& Commands() {
    auto& t = Table();
    std::sort(t.begin(), t.end(), [](const Command& a, const Command& b) { return a.name < b.name; });
    return t;
}

int Fail(const std::string& sentence, int code) {
    std::fprintf(stderr, "zovrec: %s\n", sentence.c_str());
    return code;
}

bool OpenOrFail(CAni& ani, std::string& path, int& code) {
    std::string p = path;
    if (!ani.OpenProject(p)) {
        const std::string why = ani.LastMessage();
        code = Fail("can not open \"" + path + "\": " + (why.empty() ? "unknown failure" : why));
        return false;
    }
    path = p;
    return true;
}

CloseAtEnd::~CloseAtEnd() {
    m_ani.Close();
}

int Usage(const std::string& usageLine) {
    std::fprintf(stderr, "usage: zovrec %s\n", usageLine.c_str());
    return 2;
}

int Usage(const Command& command) {
    return Usage(command.usage);
}

bool TakeOption(Args& args, const std::string& name, std::string& value) {
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == name && i + 1 < args.size()) {
            value = args[i + 1];
            args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
            return true;
        }
        if (args[i].rfind(name + "=", 0) == 0) {
            value = args[i].substr(name.size() + 1);
            args.erase(args.begin() + static_cast<long>(i));
            return true;
        }
    }
    return false;
}

bool TakeFlag(Args& args, const std::string& name) {
    auto it = std::find(args.begin(), args.end(), name);
    if (it == args.end())
        return false;
    args.erase(it);
    return true;
}

bool ParseInt(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < lo || v > hi)
        return false;
    out = v;
    return true;
}

} // namespace zov::cli
