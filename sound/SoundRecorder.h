// Recording the default sound input into a WAV beside the project, while the screen is
// recorded or while the project plays (narration). A capture thread reads buffers of 100 ms
// from the sound source into a ring of five; while `m_control_rec_snd` is C_CONTROL_RUN every
// buffer is written and queued again, while it is C_CONTROL_PAUSE (the screen recording is
// paused) it is read and dropped so the clip keeps in step with the frames, and after stop
// each of the five is written one last time and retired.
#pragma once

#include "sound/Mp3Convert.h"
#include "sound/SoundSource.h"
#include "sound/WaveFile.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace zov {

class CAni;

constexpr int kSoundBufferCount = 5;

// The clip being recorded. The caller owns it and fills `path` before start.
struct SoundClipRecord {
    uint32_t frameIndex = 0; // table 3's record count at start
    uint32_t byteCount = 0;  // every written buffer adds its bytes
    std::string path;        // the WAV file
    CWaveFileWriter* writer = nullptr;
};

// What may start a recording and in which format.
struct SoundRequest {
    bool recordWithScreen = false; // "Record sound while record screen"
    bool narration = false;        // "Ready to Record Sound"
    int mp3BitRate = 8; // 16 -> 8-bit mono 22,050 Hz, 24 -> 16-bit stereo 22,050 Hz, else 8-bit mono 8,000 Hz
};

SoundCaptureFormat SoundCaptureFormatForBitRate(int mp3BitRate);

class CSoundRecorder {
  public:
    using SourceFactory = std::function<std::unique_ptr<ISoundSource>()>;
    CSoundRecorder(CAni& doc, SourceFactory factory);
    // A recording still running is stopped without making an MP3.
    ~CSoundRecorder();
    CSoundRecorder(const CSoundRecorder&) = delete;
    CSoundRecorder& operator=(const CSoundRecorder&) = delete;

    // False without a log line when neither request flag is set; logs and returns false with
    // no open project, while a recording runs, or when the sound source cannot be opened (then
    // LastError() holds the sound system's words).
    bool Start(SoundClipRecord& record, const SoundRequest& request);
    // While paused, buffers are read and dropped. Only a running recording pauses.
    void Pause();
    void Resume();
    // Stops: the state falls to C_CONTROL_STOP, the five buffers come back (giving up on a
    // server that delivers nothing for StopTimeout(); a fresh server may take two seconds
    // before its first delivery), the WAV is closed with its sizes.
    // Then, with makeMp3, the MP3 is made beside it (or, when !soundStillWanted, both files
    // are deleted). False when nothing was recording or the WAV could not be closed.
    bool Stop(bool soundStillWanted = true, bool makeMp3 = true);
    // The MP3 step of the last stop that left it out (so a caller can end the screen
    // recording first): converts, or deletes both files when the sound is no longer wanted.
    const Mp3Conversion& FinishSoundFiles(bool soundStillWanted = true);
    // The WAV of the last recording stopped.
    const std::string& LastWavPath() const { return m_lastWav; }

    bool IsRecording() const { return m_capture != nullptr; }
    CAni& Document() { return m_doc; }
    // True once a recording ended by itself because the source failed (the server went).
    bool SourceFailed() const;
    // The sound system's words for the last failure to open or to read.
    std::string LastError() const;
    const Mp3Conversion& LastMp3() const { return m_lastMp3; }

    void SetStopTimeout(std::chrono::milliseconds t) { m_stopTimeout = t; }
    std::chrono::milliseconds StopTimeout() const { return m_stopTimeout; }
    // The encoder to run instead of the one FindMp3Encoder() finds (tests).
    void SetMp3Encoder(const std::string& path) { m_encoder = path; }

  private:
    struct Capture;
    CAni& m_doc;
    SourceFactory m_factory;
    std::shared_ptr<Capture> m_capture;
    SoundClipRecord* m_record = nullptr;
    std::chrono::milliseconds m_stopTimeout{2500};
    std::string m_encoder;
    std::string m_lastError;
    std::string m_lastWav;
    Mp3Conversion m_lastMp3;
};

} // namespace zov
