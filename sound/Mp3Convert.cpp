#include "sound/Mp3Convert.h"

#include "base/BinFile.h"
#include "base/Log.h"
#include "base/ProgramFolder.h"
#include "platform/Process.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zov {

const char* const kNoLameText = "No lame (install the Debian package \"lame\")";

namespace {

bool IsExecutableFile(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

// The encoder's chatter, a line per line; its progress meter redraws one line with carriage
// returns, so only the first lines and the last ones are kept.
void LogEncoderOutput(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (char c : text) {
        if (c == '\r' || c == '\n') {
            if (line.find_first_not_of(" \t") != std::string::npos)
                lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (line.find_first_not_of(" \t") != std::string::npos)
        lines.push_back(line);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i < 6 || i + 3 >= lines.size())
            ZOV_LOG(("lame: " + lines[i]).c_str());
        else if (i == 6)
            ZOV_LOG("lame: ...");
    }
}

} // namespace

std::string FindMp3Encoder() {
    const std::string local = ProgramFolder() + "lame";
    if (!ProgramFolder().empty() && IsExecutableFile(local))
        return local;
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/local/bin:/usr/bin:/bin";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        std::string dir = dirs.substr(start, end - start);
        if (dir.empty())
            dir = ".";
        if (IsExecutableFile(dir + "/lame"))
            return dir + "/lame";
        start = end + 1;
    }
    return {};
}

Mp3Conversion ConvertToMp3(const std::string& wav, const std::string& mp3, const std::string& encoder) {
    Mp3Conversion result;
    const std::string lame = encoder.empty() ? FindMp3Encoder() : encoder;
    if (lame.empty() || !IsExecutableFile(lame)) {
        result.noEncoder = true;
        result.message = kNoLameText;
        ZOV_LOG(kNoLameText);
        return result;
    }
    std::string temp = mp3 + ".partXXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) {
        result.message = "cannot create a file beside " + mp3;
        ZOV_LOG(("***** " + result.message).c_str());
        return result;
    }
    fchmod(fd, 0644);
    close(fd);
    std::string output = "/tmp/zov-lameXXXXXX";
    int ofd = mkstemp(output.data());
    if (ofd >= 0)
        close(ofd);

    ProcessOptions options;
    if (ofd >= 0) {
        options.output = ProcessOutput::ToFile(output);
        options.errors = ProcessOutput::ToFile(output);
    } else {
        options.output = ProcessOutput::Discard();
        options.errors = ProcessOutput::Discard();
    }
    const ProcessEnd end = RunProcess({lame, wav, temp}, options, -1);
    if (ofd >= 0) {
        std::string text;
        if (ReadWholeFile(output, text))
            LogEncoderOutput(text);
        std::remove(output.c_str());
    }
    if (end.status == -1) {
        result.message = "cannot start " + lame;
        ZOV_LOG("***** Wait for sound convert process fail!");
    } else if (!WIFEXITED(end.status) || WEXITSTATUS(end.status) != 0) {
        result.message = WIFEXITED(end.status)
                             ? "lame ended with status " + std::to_string(WEXITSTATUS(end.status))
                             : "lame was ended by signal " + std::to_string(WTERMSIG(end.status));
    } else if (std::rename(temp.c_str(), mp3.c_str()) != 0) {
        result.message = "cannot move the MP3 into place at " + mp3;
    } else {
        result.ok = true;
        return result;
    }
    std::remove(temp.c_str());
    ZOV_LOG(("***** MP3 conversion failed, the older MP3 is kept: " + result.message).c_str());
    return result;
}

void DeleteSoundFiles(const std::string& wav, const std::string& mp3) {
    std::remove(wav.c_str());
    std::remove(mp3.c_str());
}

} // namespace zov
