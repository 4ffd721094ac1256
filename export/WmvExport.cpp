#include "export/WmvExport.h"

#include "base/BinFile.h"
#include "base/Log.h"
#include "base/ProgramFolder.h"
#include "export/WmvJob.h"
#include "platform/Process.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace zov {

namespace {

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos)
        return {};
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

// A unique temporary file made with mkstemps, removed when this goes out of scope.
class TempFile {
  public:
    bool Make(const std::string& folder, const std::string& suffix, std::string& error) {
        std::string name = folder + "zov-XXXXXX" + suffix;
        const int fd = mkstemps(name.data(), static_cast<int>(suffix.size()));
        if (fd < 0) {
            error = "can not create a temporary file in \"" + folder + "\": " + std::strerror(errno);
            return false;
        }
        m_fd = fd;
        m_path = name;
        return true;
    }
    // Writes all of `bytes` through the descriptor and closes it; false (with `error`) on a
    // short write or a failing close, as on a full disk.
    bool WriteAndClose(const std::vector<uint8_t>& bytes, std::string& error) {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                error = "can not write \"" + m_path + "\": " + std::strerror(n < 0 ? errno : ENOSPC);
                return false;
            }
            done += static_cast<size_t>(n);
        }
        const int fd = m_fd;
        m_fd = -1;
        if (::close(fd) != 0) {
            error = "can not write \"" + m_path + "\": " + std::strerror(errno);
            return false;
        }
        return true;
    }
    void CloseDescriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    const std::string& Path() const { return m_path; }
    ~TempFile() {
        CloseDescriptor();
        if (!m_path.empty())
            std::remove(m_path.c_str());
    }

  private:
    int m_fd = -1;
    std::string m_path;
};

// The encoder writes ".<name>.XXXXXX" beside the target; one ended by SIGKILL leaves its
// file there. These are the names of that form present now.
std::set<std::string> EncoderLeftovers(const std::string& target) {
    std::set<std::string> found;
    const size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : target.substr(0, slash == 0 ? 1 : slash);
    const std::string prefix = "." + (slash == std::string::npos ? target : target.substr(slash + 1)) + ".";
    DIR* d = opendir(folder.c_str());
    if (!d)
        return found;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            found.insert((folder == "/" ? "" : folder) + "/" + name);
    }
    closedir(d);
    return found;
}

} // namespace

std::string TemporaryFolder() {
    const char* t = std::getenv("TMPDIR");
    std::string folder = t && *t ? t : "/tmp";
    if (folder.back() != '/')
        folder += '/';
    return folder;
}

std::string ConfiguredEncoderCommand(const std::string& confPath, const std::string& programFolder) {
    std::ifstream in(confPath);
    std::string line;
    while (std::getline(in, line)) {
        const size_t hash = line.find('#');
        if (hash != std::string::npos)
            line.erase(hash);
        const size_t eq = line.find('=');
        if (eq == std::string::npos || Trim(line.substr(0, eq)) != kWmvEncoderKey)
            continue;
        const std::string value = Trim(line.substr(eq + 1));
        if (!value.empty())
            return value;
    }
    return "\"" + programFolder + "zov-wmenc\" \"%L\"";
}

bool EncoderArguments(const std::string& command, std::vector<std::string>& argv) {
    argv.clear();
    const size_t at = command.find("\"%L\"");
    if (at == std::string::npos || at < 1)
        return false;
    // The blank in front of the quoted %L goes with it.
    std::string rest =
        command.substr(0, at > 0 && command[at - 1] == ' ' ? at - 1 : at) + command.substr(at + 4);
    std::string word;
    bool quoted = false, any = false;
    for (char c : rest) {
        if (c == '"') {
            quoted = !quoted;
            any = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (any)
                argv.push_back(word);
            word.clear();
            any = false;
        } else {
            word += c;
            any = true;
        }
    }
    if (any)
        argv.push_back(word);
    return !quoted && !argv.empty() && !argv[0].empty();
}

bool EncoderPresent(const std::string& command) {
    std::vector<std::string> argv;
    if (!EncoderArguments(command, argv))
        return false;
    if (argv[0].find('/') != std::string::npos)
        return ::access(argv[0].c_str(), X_OK) == 0;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (size_t start = 0; start <= dirs.size();) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string dir = dirs.substr(start, end - start);
        if (!dir.empty() && ::access((dir + "/" + argv[0]).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

WmvExportResult ExportWmv(const WmvExportRequest& request, std::string& error) {
    std::vector<std::string> argv;
    if (!EncoderArguments(request.encoderCommand, argv) || !EncoderPresent(request.encoderCommand)) {
        error = "the video encoder was not found (command: " + request.encoderCommand + ")";
        return WmvExportResult::NoEncoder;
    }
    const std::string templatePath =
        request.templatePath.empty() ? DataFolder() + kWmvJobTemplateName : request.templatePath;
    std::string tpl;
    if (!ReadWholeFile(templatePath, tpl)) {
        ZOV_LOG("openfile fail!, s_template_filename");
        error = "can not read the job template \"" + templatePath + "\"";
        return WmvExportResult::Failed;
    }
    const auto cancelled = [&] { return request.cancel && request.cancel->load(); };
    const std::string folder = TemporaryFolder();
    TempFile avi, job, log;
    if (!avi.Make(folder, ".avi", error) || !job.Make(folder, ".wme", error) ||
        !log.Make(folder, ".log", error))
        return WmvExportResult::Failed;
    avi.CloseDescriptor();
    log.CloseDescriptor();
    std::vector<uint8_t> bytes;
    // The job first: a path it cannot carry fails before the long AVI is written.
    if (!BuildJobFile(tpl, avi.Path(), request.target, bytes, error) || !job.WriteAndClose(bytes, error))
        return WmvExportResult::Failed;
    if (!request.writeAvi || !request.writeAvi(avi.Path(), error)) {
        if (error.empty())
            error = "can not write the intermediate AVI file";
        return cancelled() ? WmvExportResult::Cancelled : WmvExportResult::Failed;
    }
    if (cancelled()) {
        error = "cancelled";
        return WmvExportResult::Cancelled;
    }
    const std::set<std::string> before = EncoderLeftovers(request.target);
    argv.push_back(job.Path());
    argv.push_back("/start");
    ProcessOptions options;
    options.output = ProcessOutput::Discard();
    options.errors = ProcessOutput::ToFile(log.Path());
    const pid_t pid = SpawnProcess(argv, options);
    if (pid <= 0) {
        error = "can not start the video encoder \"" + argv[0] + "\"";
        return WmvExportResult::NoEncoder;
    }
    bool stopped = false;
    while (ProcessRunning(pid)) {
        if (cancelled()) {
            (void)WaitProcessFor(pid, 0, 2000);
            stopped = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const int status = stopped ? -1 : WaitProcess(pid);
    // Whatever an ended encoder left beside the target goes too.
    for (const std::string& p : EncoderLeftovers(request.target))
        if (!before.count(p))
            std::remove(p.c_str());
    if (stopped) {
        error = "cancelled";
        return WmvExportResult::Cancelled;
    }
    if (status == -1)
        ZOV_LOG("***** Wait for sound convert process fail!");
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::string said;
        if (ReadWholeFile(log.Path(), said)) {
            said = Trim(said);
            const size_t nl = said.rfind('\n');
            if (nl != std::string::npos)
                said = said.substr(nl + 1);
        }
        error = "the video encoder failed" + (said.empty() ? std::string() : ": " + said);
        return WmvExportResult::Failed;
    }
    if (!FileExists(request.target)) {
        error = "the video encoder wrote no \"" + request.target + "\"";
        return WmvExportResult::Failed;
    }
    return WmvExportResult::Done;
}

} // namespace zov
