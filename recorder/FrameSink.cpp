#include "recorder/FrameSink.h"

#include "base/Log.h"
#include "codec/StreamContainer.h"
#include "codec/StreamWriter.h"
#include "recorder/Pointer.h"

#include "export/WebPages.h"

#include <cstdio>
#include <vector>

namespace zov {

namespace {

class ProjectFrameSink final : public IFrameSink {
  public:
    explicit ProjectFrameSink(CAni& ani) : m_ani(ani) {}

    bool Begin(int width, int height, std::chrono::system_clock::time_point start,
               std::string& failure) override {
        const bool empty = m_ani.FrameCount() == 0;
        if (!m_ani.BeginCaptureRun(width, height, start)) {
            failure =
                m_ani.LastMessage().empty() ? "the recording could not be started." : m_ani.LastMessage();
            return false;
        }
        // A project without frames has no geometry on disk yet; writing it now lets a
        // recovery after a crash know the size of the frames that follow.
        if (empty && !m_ani.WriteIndex()) {
            failure = "the project file cannot be written.";
            return false;
        }
        m_interval = m_ani.KeyFrameInterval() > 0 ? m_ani.KeyFrameInterval() : 1;
        return true;
    }

    bool KeepsPointer() const override { return true; }

    void KeepPointer(const PointerState& pointer, int x, int y) override {
        std::vector<uint8_t> record = MakeCursorRecord(pointer, x, y);
        (void)m_ani.AppendCursorRecord(record.data(), record.size());
    }

    bool AddFrame(const Image24& current, const Image24& previous, int index, const FramePointer& pointer,
                  std::string& failure) override {
        const int32_t kind = index % m_interval != 0 ? FRAME_DIFF : FRAME_KEY;
        m_ani.ClearLastMessage();
        if (m_ani.AppendCapturedFrame(current.bits.data(),
                                      kind == FRAME_DIFF ? previous.bits.data() : nullptr, kind, pointer.x,
                                      pointer.y, pointer.shape))
            return true;
        if (m_ani.LastMessage().empty()) {
            char text[96];
            std::snprintf(text, sizeof text, "encode frame fail, id: %d, phase frames: %d", index,
                          m_interval);
            ZOV_LOG(text);
            failure = "the frame could not be written to the project file (is the disk full?).";
        } else {
            failure = m_ani.LastMessage();
        }
        return false;
    }

    int FrameCount() const override { return m_ani.FrameCount(); }

    bool End(std::string& failure) override {
        if (m_ani.WriteIndex())
            return true;
        failure = "the index of the project file could not be written.";
        return false;
    }

  private:
    CAni& m_ani;
    int32_t m_interval = 1;
};

class StreamFrameSink final : public IFrameSink {
  public:
    StreamFrameSink(std::string path, int32_t frameDelay)
        : m_path(std::move(path)), m_frameDelay(frameDelay) {}

    bool Begin(int width, int height, std::chrono::system_clock::time_point, std::string& failure) override {
        m_width = width;
        m_height = height;
        // The stream keeps the recorded frame delay, so that it plays at the speed it was
        // recorded at.
        const int interval = StreamIntervalForDelay(m_frameDelay);
        if (m_writer.Begin(m_path, width, height, interval))
            return true;
        failure = m_writer.Error().empty() ? "the stream file cannot be created." : m_writer.Error();
        return false;
    }

    bool KeepsPointer() const override { return false; }
    void KeepPointer(const PointerState&, int, int) override {}

    bool AddFrame(const Image24& current, const Image24&, int, const FramePointer&,
                  std::string& failure) override {
        if (m_writer.AddFrame(current.bits.data(), static_cast<size_t>(current.RowBytes()))) {
            ++m_frames;
            return true;
        }
        failure = m_writer.Error().empty() ? "the stream file cannot be written (is the disk full?)."
                                           : m_writer.Error();
        return false;
    }

    int FrameCount() const override { return m_frames; }

    bool End(std::string& failure) override {
        bool ok = true;
        if (!m_writer.End(StreamEnd::NoMarker)) {
            failure = m_writer.Error().empty() ? "the stream file cannot be written." : m_writer.Error();
            ok = false;
        }
        WebPageJob job;
        job.streamPath = m_path;
        job.frameWidth = m_width;
        job.frameHeight = m_height;
        job.frameDelayMs = m_frameDelay;
        std::string pageError;
        (void)WriteStreamWebPages(job, pageError);
        return ok;
    }

  private:
    std::string m_path;
    int32_t m_frameDelay;
    int m_width = 0, m_height = 0;
    int m_frames = 0;
    StreamWriter m_writer;
};

} // namespace

std::unique_ptr<IFrameSink> MakeDocumentFrameSink(CAni& ani, int32_t frameDelay) {
    switch (ani.DocMode()) {
    case DOC_PROJECT:
        return std::make_unique<ProjectFrameSink>(ani);
    case DOC_STREAM:
        return std::make_unique<StreamFrameSink>(ani.DocumentPath(), frameDelay);
    default:
        return nullptr;
    }
}

} // namespace zov
