#include "sound/SoundFiles.h"

#include "base/BinFile.h"
#include "base/Path.h"

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace zov {

std::string SoundWavPath(const std::string& documentPath) {
    if (HasExtension(documentPath, "scp") || HasExtension(documentPath, "zov"))
        return ReplaceExtension(documentPath, "wav");
    return documentPath + ".wav";
}

std::string SoundMp3Path(const std::string& wavPath) {
    if (HasExtension(wavPath, "wav"))
        return ReplaceExtension(wavPath, "mp3");
    return wavPath + ".mp3";
}

std::string StreamCompanionMp3(const std::string& streamPath) {
    if (ExtensionOf(streamPath).empty() || HasExtension(streamPath, "mp3"))
        return streamPath + ".mp3";
    return ReplaceExtension(streamPath, "mp3");
}

namespace {

bool SameFile(const std::string& a, const std::string& b) {
    if (a == b)
        return true;
    struct stat sa, sb;
    return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

} // namespace

bool CopyCompanionMp3(const std::string& projectPath, const std::string& streamPath, bool* copied) {
    if (copied)
        *copied = false;
    const std::string from = SoundMp3Path(SoundWavPath(projectPath));
    const std::string to = StreamCompanionMp3(streamPath);
    if (!FileExists(from) || SameFile(from, to))
        return true;
    std::string temp = to + ".partXXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0)
        return false;
    fchmod(fd, 0644); // as a copy made in place would be, not mkstemp's 0600
    close(fd);
    if (!CopyWholeFile(from, temp) || std::rename(temp.c_str(), to.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    if (copied)
        *copied = true;
    return true;
}

} // namespace zov
