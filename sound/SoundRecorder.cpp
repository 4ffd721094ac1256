#include "sound/SoundRecorder.h"

#include "base/Log.h"
#include "base/Pacing.h"
#include "core/Ani.h"
#include "sound/SoundFiles.h"

#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace zov {

SoundCaptureFormat SoundCaptureFormatForBitRate(int mp3BitRate) {
    const SoundFormat f = CAni::SoundFormatForBitRate(mp3BitRate);
    return SoundCaptureFormat{f.channels, f.bitsPerSample, f.samplesPerSecond};
}

// What the capture thread shares with the recorder. It is held by both, so a thread left
// blocked on a server that stopped answering can still wake up later and find it.
struct CSoundRecorder::Capture {
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;  // the thread has retired every buffer or failed
    bool abandoned = false; // stop gave up waiting; the thread must touch nothing more
    bool failed = false;
    std::string error;
    std::unique_ptr<ISoundSource> source;
    CWaveFileWriter writer;
    SoundClipRecord* record = nullptr;
    std::atomic<int32_t>* control = nullptr;
    SoundCaptureFormat format;
    uint32_t bufferBytes = 0;
    std::thread thread;
    std::chrono::steady_clock::time_point lastDelivery;

    void Run() {
        std::vector<uint8_t> buffer(bufferBytes);
        int queued = kSoundBufferCount;
        uint32_t sinceHeader = 0;
        while (queued > 0) {
            std::string readError;
            const bool ok = source->Read(buffer.data(), buffer.size(), readError);
            std::lock_guard<std::mutex> lock(mutex);
            if (abandoned)
                return;
            lastDelivery = std::chrono::steady_clock::now();
            done.notify_all();
            if (!ok) {
                failed = true;
                error = readError;
                writer.RewriteHeader();
                ZOV_LOG(("***** Sound input failed, the sound recording ends: " + readError).c_str());
                break;
            }
            const int32_t state = control->load();
            if (state == C_CONTROL_PAUSE)
                continue; // read and dropped, queued again
            record->byteCount += uint32_t(buffer.size());
            writer.Append(buffer.data(), buffer.size());
            sinceHeader += uint32_t(buffer.size());
            // Sizes on disk at least once a second: a killed recording leaves a valid WAV.
            if (sinceHeader >= format.BytesPerSecond()) {
                writer.RewriteHeader();
                sinceHeader = 0;
            }
            if (state != C_CONTROL_RUN)
                --queued; // retired
        }
        finished = true;
        done.notify_all();
    }
};

CSoundRecorder::CSoundRecorder(CAni& doc, SourceFactory factory)
    : m_doc(doc), m_factory(std::move(factory)) {}

CSoundRecorder::~CSoundRecorder() {
    if (m_capture)
        Stop(true, false);
}

bool CSoundRecorder::Start(SoundClipRecord& record, const SoundRequest& request) {
    if (!request.recordWithScreen && !request.narration)
        return false;
    if (m_doc.DocMode() == DOC_PROJECT && !m_doc.IsFileOpen()) {
        ZOV_LOG("***** No Opened File");
        return false;
    }
    if (m_doc.m_control_rec_snd.load() != C_CONTROL_STOP || m_capture) {
        ZOV_LOG("***** m_control_rec_snd != C_CONTROL_STOP");
        return false;
    }
    auto capture = std::make_shared<Capture>();
    capture->format = SoundCaptureFormatForBitRate(request.mp3BitRate);
    capture->bufferBytes = capture->format.BytesPerSecond() / 10;
    capture->source = m_factory ? m_factory() : nullptr;
    std::string error = "no sound source";
    if (!capture->source || !capture->source->Open(capture->format, capture->bufferBytes, error)) {
        m_lastError = error;
        ZOV_LOG("***** Open Wave In Device Fail");
        ZOV_LOG(("***** Sound server: " + error).c_str());
        return false;
    }
    m_lastError.clear();
    record.frameIndex = uint32_t(m_doc.Table3().size());
    record.byteCount = 0;
    // Its result is not checked, as the device's own buffers would not be: a WAV that cannot
    // be written loses the sound, not the screen recording.
    if (!capture->writer.Open(record.path, uint32_t(request.mp3BitRate), capture->format.channels,
                              capture->format.bitsPerSample, capture->format.samplesPerSecond))
        ZOV_LOG(("***** Cannot write the sound file " + record.path).c_str());
    record.writer = &capture->writer;
    capture->record = &record;
    capture->control = &m_doc.m_control_rec_snd;
    m_record = &record;
    m_capture = capture;
    m_doc.m_control_rec_snd.store(C_CONTROL_RUN);
    capture->thread = std::thread([capture] { capture->Run(); });
    return true;
}

void CSoundRecorder::Pause() {
    int32_t run = C_CONTROL_RUN;
    if (m_capture)
        m_doc.m_control_rec_snd.compare_exchange_strong(run, C_CONTROL_PAUSE);
}

void CSoundRecorder::Resume() {
    int32_t pause = C_CONTROL_PAUSE;
    if (m_capture)
        m_doc.m_control_rec_snd.compare_exchange_strong(pause, C_CONTROL_RUN);
}

bool CSoundRecorder::Stop(bool soundStillWanted, bool makeMp3) {
    if (!m_capture)
        return false;
    std::shared_ptr<Capture> capture = std::move(m_capture);
    m_doc.m_control_rec_snd.store(C_CONTROL_STOP);
    bool closed;
    std::string path;
    {
        std::unique_lock<std::mutex> lock(capture->mutex);
        if (!capture->done.wait_for(lock, m_stopTimeout,
                                    [&] { return capture->finished || capture->failed; })) {
            // The server keeps the buffers: finish the WAV with what came, and leave the thread
            // to end whenever its read returns; it will find itself abandoned.
            capture->abandoned = true;
            ZOV_LOG("***** Sound server did not return the buffers; the sound recording ends without them");
        }
        path = capture->writer.Path();
        closed = capture->writer.Close();
        capture->record->writer = nullptr;
        if (capture->failed)
            m_lastError = capture->error;
    }
    if (capture->abandoned) {
        capture->thread.detach();
    } else {
        capture->thread.join();
        capture->source->Close();
    }
    m_record = nullptr;
    m_lastWav = path;
    m_lastMp3 = Mp3Conversion{};
    if (!closed)
        return false;
    if (makeMp3)
        FinishSoundFiles(soundStillWanted);
    return true;
}

const Mp3Conversion& CSoundRecorder::FinishSoundFiles(bool soundStillWanted) {
    if (m_lastWav.empty()) {
        m_lastMp3 = Mp3Conversion{false, false, "no sound was recorded"};
        return m_lastMp3;
    }
    const std::string mp3 = SoundMp3Path(m_lastWav);
    if (!soundStillWanted) {
        DeleteSoundFiles(m_lastWav, mp3);
        m_lastMp3 = Mp3Conversion{true, false, {}};
    } else {
        m_lastMp3 = ConvertToMp3(m_lastWav, mp3, m_encoder);
    }
    return m_lastMp3;
}

bool CSoundRecorder::SourceFailed() const {
    if (!m_capture)
        return false;
    std::lock_guard<std::mutex> lock(m_capture->mutex);
    return m_capture->failed;
}

std::string CSoundRecorder::LastError() const {
    if (m_capture) {
        std::lock_guard<std::mutex> lock(m_capture->mutex);
        if (m_capture->failed)
            return m_capture->error;
    }
    return m_lastError;
}

} // namespace zov
