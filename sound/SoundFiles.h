// Which files hold a project's sound: the WAV the recorder writes and the MP3 made from it lie
// beside the project (or the stream recorded straight to disk), found by name.
#pragma once

#include <string>

namespace zov {

// "a/film.scp" or "a/film.ZOV" -> "a/film.wav": only the final extension is compared (in any
// case) and replaced, always by lower-case ".wav"; a path with any other extension, or none,
// gets ".wav" appended, so the sound file is never the document itself.
std::string SoundWavPath(const std::string& documentPath);

// "a/film.wav" -> "a/film.mp3" (the ".wav" in any case); any other path gets ".mp3" appended.
std::string SoundMp3Path(const std::string& wavPath);

// The MP3 that travels with a stream file: "out/talk.zov" -> "out/talk.mp3".
std::string StreamCompanionMp3(const std::string& streamPath);

// After a project was exported to `streamPath`: copies the project's MP3 to the stream's
// companion, replacing one that is there, unless both are the same file. A project without an
// MP3 copies nothing and is not an error. The copy is made under a temporary name and renamed
// into place, so a failed copy leaves an older companion untouched. False only when a copy
// was due and failed.
bool CopyCompanionMp3(const std::string& projectPath, const std::string& streamPath, bool* copied = nullptr);

} // namespace zov
