// The MP3 made from a recorded WAV by the external encoder `lame`: taken from the program
// folder when an executable one lies there, else from PATH. It is started with the argument
// vector {lame, WAV, MP3} (never through a shell, so any path passes intact), its output goes
// to the log, and it writes to a temporary name that is renamed onto the MP3 only when it
// exits with status 0: a failed encoder never replaces a good MP3.
#pragma once

#include <string>

namespace zov {

// What the user is told when there is no encoder (the WAV is kept).
extern const char* const kNoLameText;

struct Mp3Conversion {
    bool ok = false;        // the MP3 is in place
    bool noEncoder = false; // no `lame` was found; nothing was started
    std::string message;    // why it failed, for the log or the caller
};

// The encoder to run: ProgramFolder() + "lame" when executable, else the first executable
// "lame" on PATH; "" when there is none.
std::string FindMp3Encoder();

// Converts `wav` into `mp3` with `encoder` (empty: FindMp3Encoder()). Blocks until the encoder
// has ended. The working folder is left alone.
Mp3Conversion ConvertToMp3(const std::string& wav, const std::string& mp3, const std::string& encoder = {});

// Both sound files of a clip that is no longer wanted; missing files are no error.
void DeleteSoundFiles(const std::string& wav, const std::string& mp3);

} // namespace zov
