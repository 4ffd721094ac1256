// `zovrec record --sound`: the default sound input recorded beside the project or stream, as
// the program does with "Record sound while record screen" on.
#pragma once

#include "core/Ani.h"
#include "sound/SoundRecorder.h"

#include <memory>
#include <string>

namespace zov::cli {

class RecordSound {
  public:
    explicit RecordSound(CAni& ani);
    // Starts into SoundWavPath(document path) in the format of the bit rate (8, 16, 24); false
    // with the sound server's words in `error`.
    bool Start(int mp3Kbps, std::string& error);
    void Pause();
    void Resume();
    // Stops the sound (before the screen, as the program does); the MP3 follows in Finish.
    bool Stop();
    // Makes the MP3; false with the reason in `message`.
    bool Finish(std::string& message);
    // Empty while the sound goes on; the server's words once it failed mid-recording.
    std::string Failure() const;
    const std::string& WavPath() const { return m_record.path; }

  private:
    CSoundRecorder m_recorder;
    SoundClipRecord m_record;
};

} // namespace zov::cli
