#include "app/cli/RecordSound.h"

#include "sound/PulseSoundSource.h"
#include "sound/SoundFiles.h"

namespace zov::cli {

RecordSound::RecordSound(CAni& ani) : m_recorder(ani, [] { return MakePulseSoundSource("zovrec"); }) {}

bool RecordSound::Start(int mp3Kbps, std::string& error) {
    m_record = SoundClipRecord{};
    m_record.path = SoundWavPath(m_recorder.Document().DocumentPath());
    SoundRequest request;
    request.recordWithScreen = true;
    request.mp3BitRate = mp3Kbps;
    if (!m_recorder.Start(m_record, request)) {
        error = m_recorder.LastError().empty() ? "the sound recording cannot start" : m_recorder.LastError();
        return false;
    }
    return true;
}

void RecordSound::Pause() {
    m_recorder.Pause();
}
void RecordSound::Resume() {
    m_recorder.Resume();
}

bool RecordSound::Stop() {
    return m_recorder.Stop(true, false);
}

bool RecordSound::Finish(std::string& message) {
    const Mp3Conversion& r = m_recorder.FinishSoundFiles(true);
    message = r.message;
    return r.ok;
}

std::string RecordSound::Failure() const {
    return m_recorder.SourceFailed() ? m_recorder.LastError() : "";
}

} // namespace zov::cli
