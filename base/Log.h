// The diagnostic log "ZOV Recorder.log": one line per failure or milestone, never read back.
// Thread-safe in the sense the program needs: each line is one open-append-write-close.
#pragma once

#include <string>

namespace zov {

// Writes "[YYYY/MM/DD hh:mm:ss] message, module, line\n" to the log file.
// Returns false (and writes nothing) when the log file cannot be opened.
bool Log(const char* message, const char* sourcePath, int line);

// Formats the line Log() would write for the given broken-down local time (for tests).
std::string FormatLogLine(int year, int month, int day, int hour, int minute, int second, const char* message,
                          const char* sourcePath, int line);

// Where log lines go. Defaults to LogFolder() + "ZOV Recorder.log"; tests may redirect it.
std::string LogPath();
void SetLogPath(const std::string& path);

} // namespace zov

#define ZOV_LOG(msg) ::zov::Log((msg), __FILE__, __LINE__)
