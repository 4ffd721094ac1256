#include "viewer/ViewerStreamReader.h"

#include <algorithm>
#include <cstdio>

#include "codec/FrameDiffCodec.h"
#include "codec/StreamContainer.h"

namespace zov::viewer {

namespace {
constexpr double kHeaderTimeoutMs = 5000;
constexpr double kFieldTimeoutMs = 4000;
constexpr double kIndexTimeoutMs = 3000;
constexpr double kPayloadExtraMs = 2000;
// Bytes a player keeps buffered ahead of what it waits for.
constexpr size_t kReadAhead = 4u * 1024 * 1024;
int g_nextSource = 0;
} // namespace

ViewerStreamReader::ViewerStreamReader(ViewerHost& host) : m_host(host) {}
ViewerStreamReader::~ViewerStreamReader() = default;

void ViewerStreamReader::Consume(size_t n) {
    m_pos += n;
    // Drop what was read once it is a good share of the buffer, so memory stays bounded.
    if (m_pos == m_buf.size()) {
        m_buf.clear();
        m_pos = 0;
    } else if (m_pos > 65536 && m_pos * 2 > m_buf.size()) {
        m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_pos = 0;
    }
}

StepResult ViewerStreamReader::Need(size_t n, double timeoutMs, double now) {
    if (Buffered() >= n) {
        m_wait = {};
        return StepResult::Ok;
    }
    if (!m_wait.waiting) {
        m_wait.waiting = true;
        m_wait.extended = false;
        m_wait.deadline = now + timeoutMs;
        return StepResult::Pending;
    }
    if (now > m_wait.deadline) {
        if (!m_wait.extended) {
            m_wait.extended = true;
            m_wait.deadline = now + timeoutMs;
            return StepResult::Pending;
        }
        m_wait = {};
        return StepResult::Fail;
    }
    return StepResult::Pending;
}

void ViewerStreamReader::Close() {
    if (m_source != 0)
        m_host.CloseSource(m_source);
    m_source = 0;
    m_buf.clear();
    m_pos = 0;
    m_sourceEnded = m_sourceFailed = false;
    m_open = false;
    m_opening = false;
    m_recordLength = -1;
    m_wait = {};
}

void ViewerStreamReader::BeginOpen(const std::string& url, double now) {
    m_url = url;
    Close();
    m_codec.reset();
    m_picture.clear();
    m_picture.shrink_to_fit();
    m_opening = true;
    m_source = ++g_nextSource;
    m_host.OpenSource(m_source, url);
}

StepResult ViewerStreamReader::FailOpen() {
    Close();
    m_codec.reset();
    return StepResult::Fail;
}

StepResult ViewerStreamReader::PumpOpen(double now) {
    if (!m_opening)
        return m_open ? StepResult::Ok : StepResult::Fail;
    if (m_sourceFailed && Buffered() < sizeof m_header) {
        // The URL could not be opened at all.
        m_statusLine = "File Open error! " + m_url;
        return FailOpen();
    }
    StepResult r = Need(sizeof m_header, kHeaderTimeoutMs, now);
    if (r == StepResult::Pending)
        return r;
    if (r == StepResult::Fail)
        return FailOpen();
    std::copy(Data(), Data() + sizeof m_header, m_header);
    Consume(sizeof m_header);
    StreamHeader header;
    switch (ReadStreamHeader(m_header, header)) {
    case StreamHeaderCheck::Ok:
        break;
    case StreamHeaderCheck::OtherFormat:
        // Another version of the format: its records are not ours to read.
        m_statusLine = "File Open error! " + m_url;
        return FailOpen();
    case StreamHeaderCheck::NotStream:
    case StreamHeaderCheck::BadSize:
        return FailOpen();
    }
    const int width = header.width, height = header.height, interval = header.interval;
    auto codec = std::make_unique<FrameDiffCodec>();
    const int block = header.blockSize;
    if (!codec->Init(C_CODEC_DECODE, uint32_t(width), uint32_t(height), 24, uint32_t(block), uint32_t(block)))
        return FailOpen();
    codec->SetStreamVersion(m_version);
    m_codec = std::move(codec);
    m_width = width;
    m_height = height;
    m_interval = interval;
    m_blockSize = block;
    m_picture.assign(size_t(width) * size_t(height), 0u);
    m_stepCount = 0;
    char size[64];
    std::snprintf(size, sizeof size, ", W%d*H%d", width, height);
    m_statusLine = m_url + size;
    if (interval != 0) {
        std::snprintf(size, sizeof size, ", %d msec per frame", interval);
        m_statusLine += size;
    }
    m_recordLength = 0;
    m_opening = false;
    m_open = true;
    return StepResult::Ok;
}

void ViewerStreamReader::BeginStep(double now) {
    ++m_stepCount;
    m_wait = {};
    if (m_recordLength == -1) {
        BeginOpen(m_url, now);
        m_phase = Phase::Reopen;
    } else {
        m_phase = Phase::Length;
    }
}

StepResult ViewerStreamReader::EndStream() {
    m_recordLength = -1;
    m_phase = Phase::Idle;
    m_wait = {};
    return StepResult::Fail;
}

StepResult ViewerStreamReader::PumpStep(double now) {
    for (;;) {
        switch (m_phase) {
        case Phase::Idle:
            return StepResult::Fail;
        case Phase::Reopen: {
            StepResult r = PumpOpen(now);
            if (r == StepResult::Pending)
                return r;
            if (r == StepResult::Fail) {
                m_recordLength = -1;
                m_phase = Phase::Idle;
                return r;
            }
            m_phase = Phase::Length;
            break;
        }
        case Phase::Length: {
            StepResult r = Need(4, kFieldTimeoutMs, now);
            if (r == StepResult::Pending)
                return r;
            if (r == StepResult::Fail)
                return EndStream();
            const zov::RecordLength field = ClassifyRecordLength(ReadBE32(Data()));
            const uint32_t length = field.value;
            switch (field.kind) {
            case RecordClass::End:
                Consume(4);
                return EndStream();
            case RecordClass::Unchanged:
                Consume(4);
                m_recordLength = 0;
                m_phase = Phase::Idle;
                return StepResult::Ok;
            case RecordClass::Control:
                // Only 0x81 carries the version. Either way read on.
                Consume(4);
                if (field.version >= 0) {
                    m_version = uint8_t(field.version);
                    if (m_codec)
                        m_codec->SetStreamVersion(m_version);
                }
                continue;
            case RecordClass::TooShort:
                // This step fails, the next reads on from the following bytes.
                Consume(4);
                m_recordLength = int32_t(length);
                m_phase = Phase::Idle;
                return StepResult::Fail;
            case RecordClass::Frame:
                break;
            }
            if (length - kFrameRecordHeaderBytes > kMaxRecordPayload)
                return EndStream();
            m_recordLength = int32_t(length);
            m_headerField = 0;
            m_phase = Phase::Header;
            break;
        }
        case Phase::Header: {
            // Cursor x and y (one 4-byte read), cursor index, then the three chunk sizes.
            static const size_t ends[5] = {8, 9, 13, 17, 21};
            while (m_headerField < 5) {
                double t = m_headerField == 1 ? kIndexTimeoutMs : kFieldTimeoutMs;
                StepResult r = Need(ends[m_headerField], t, now);
                if (r == StepResult::Pending)
                    return r;
                if (r == StepResult::Fail)
                    return EndStream();
                ++m_headerField;
            }
            const FrameRecordHeader header = ReadFrameRecordHeader(Data() + 4);
            m_cursorX = header.cursorX;
            m_cursorY = header.cursorY;
            m_cursorIndex = header.cursorIndex;
            m_blockChunk = header.blockSize;
            m_colourChunk = header.colourSize;
            m_patternChunk = header.patternSize;
            size_t area = 0;
            m_areaChunk = AreaChunkSize(header, uint32_t(m_recordLength), area) ? uint32_t(area) : 0;
            m_phase = Phase::Payload;
            break;
        }
        case Phase::Payload: {
            const uint32_t payload = uint32_t(m_recordLength) - kFrameRecordHeaderBytes;
            StepResult r = Need(size_t(m_recordLength) + 4, double(payload) + kPayloadExtraMs, now);
            if (r == StepResult::Pending)
                return r;
            if (r == StepResult::Fail)
                return EndStream();
            StepResult d = Decode();
            Consume(size_t(m_recordLength) + 4);
            m_phase = Phase::Idle;
            return d;
        }
        }
    }
}

StepResult ViewerStreamReader::Decode() {
    if (!m_codec)
        return StepResult::Fail;
    // A damaged record only costs its picture change: the decoder keeps the previous one.
    if (m_codec->DecodePayload(Data() + 4, size_t(m_recordLength), m_picture.data()) != DecodeStatus::Ok)
        m_decodeError = m_codec->LastError();
    else
        m_decodeError.clear();
    size_t pixels = size_t(m_width) * size_t(m_height);
    m_bitmap.resize(pixels * 4);
    uint8_t* out = m_bitmap.data();
    const uint32_t* in = m_picture.data();
    for (size_t i = 0; i < pixels; ++i) {
        uint32_t w = in[i];
        out[4 * i + 0] = uint8_t(w >> 16);
        out[4 * i + 1] = uint8_t(w >> 8);
        out[4 * i + 2] = uint8_t(w);
        out[4 * i + 3] = 255;
    }
    m_bitmapW = m_width;
    m_bitmapH = m_height;
    m_hasBitmap = true;
    ++m_bitmapSerial;
    return StepResult::Ok;
}

void ViewerStreamReader::FeedBytes(int source, const uint8_t* data, size_t size) {
    if (source != m_source || source == 0 || size == 0)
        return;
    m_buf.insert(m_buf.end(), data, data + size);
}

void ViewerStreamReader::FeedEnd(int source) {
    if (source == m_source)
        m_sourceEnded = true;
}

void ViewerStreamReader::FeedError(int source) {
    if (source == m_source) {
        m_sourceFailed = true;
        m_sourceEnded = true;
    }
}

bool ViewerStreamReader::WantsBytes() const {
    if (m_source == 0 || m_sourceEnded)
        return false;
    size_t want = kReadAhead;
    if (m_phase == Phase::Payload || m_phase == Phase::Header)
        want = std::max(want, size_t(uint32_t(m_recordLength)) + 4 + kReadAhead);
    return Buffered() < want;
}

} // namespace zov::viewer
