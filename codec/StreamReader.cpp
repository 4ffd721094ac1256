#include "codec/StreamReader.h"

#include <cstring>

namespace zov {

StreamReader::StreamReader() = default;
StreamReader::~StreamReader() = default;

void StreamReader::Reset(bool forgetVersion) {
    m_buf.clear();
    m_pos = 0;
    m_consumed = 0;
    m_finished = m_headerDone = m_done = m_damaged = m_sawEnd = m_cutShort = false;
    m_index = 0;
    m_header = StreamHeader{};
    m_error.clear();
    m_codec.reset();
    m_picture.clear();
    if (forgetVersion)
        m_version = kDefaultStreamVersion;
}

void StreamReader::Append(const uint8_t* data, size_t size) {
    if (m_finished || size == 0)
        return;
    Compact();
    m_buf.insert(m_buf.end(), data, data + size);
}

void StreamReader::Finish() {
    m_finished = true;
}

void StreamReader::Compact() {
    // Drop what has been read once it is a good share of the buffer.
    if (m_pos > (1u << 20) && m_pos * 2 > m_buf.size()) {
        m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(m_pos));
        m_consumed += m_pos;
        m_pos = 0;
    }
}

ReadStatus StreamReader::Fail(const std::string& why) {
    m_damaged = true;
    m_error = why;
    return ReadStatus::Damaged;
}

ReadStatus StreamReader::ReadHeader() {
    if (Available() < kStreamHeaderBytes) {
        if (!m_finished)
            return ReadStatus::NeedMore;
        m_cutShort = Available() > 0;
        return Fail(Available() ? "stream ends inside its 12-byte header" : "stream is empty");
    }
    switch (ReadStreamHeader(m_buf.data() + m_pos, m_header)) {
    case StreamHeaderCheck::Ok:
        break;
    case StreamHeaderCheck::NotStream:
        return Fail("not a stream file (no \"ZV\" at its start)");
    case StreamHeaderCheck::OtherFormat:
        return Fail("stream format \"" + std::string(m_header.magic, 4) + "\" is not played");
    case StreamHeaderCheck::BadSize:
        return Fail("stream header gives a picture of " + std::to_string(m_header.width) + " x " +
                    std::to_string(m_header.height) + " pixels");
    }
    const uint32_t block = m_header.blockSize ? static_cast<uint32_t>(m_header.blockSize) : 32;
    m_codec = std::make_unique<FrameDiffCodec>();
    if (!m_codec->Init(C_CODEC_DECODE, static_cast<uint32_t>(m_header.width),
                       static_cast<uint32_t>(m_header.height), 24, block, block))
        return Fail("stream header refused: " + m_codec->LastError());
    m_codec->SetStreamVersion(m_version);
    if (m_decode)
        m_picture.assign(static_cast<size_t>(m_header.width) * static_cast<size_t>(m_header.height), 0);
    m_pos += kStreamHeaderBytes;
    m_headerDone = true;
    return ReadStatus::Record; // internal: header done
}

ReadStatus StreamReader::Next(StreamRecord& record) {
    if (m_damaged)
        return ReadStatus::Damaged;
    if (m_done)
        return ReadStatus::End;
    if (!m_headerDone) {
        ReadStatus st = ReadHeader();
        if (st != ReadStatus::Record)
            return st;
    }
    for (;;) {
        if (Available() < 4) {
            if (!m_finished)
                return ReadStatus::NeedMore;
            // A missing end marker (as direct recording leaves it) reads as the end.
            m_cutShort = Available() > 0;
            m_done = true;
            return ReadStatus::End;
        }
        const uint8_t* p = m_buf.data() + m_pos;
        const RecordLength field = ClassifyRecordLength(ReadBE32(p));
        const uint32_t length = field.value;
        const uint64_t offset = m_consumed + m_pos;
        switch (field.kind) {
        case RecordClass::End:
            m_pos += 4;
            m_done = true;
            m_sawEnd = true;
            return ReadStatus::End;
        case RecordClass::Unchanged:
            m_pos += 4;
            record = StreamRecord{};
            record.kind = StreamRecord::Unchanged;
            record.index = m_index++;
            record.offset = offset;
            return ReadStatus::Record;
        case RecordClass::Control:
            m_pos += 4;
            if (field.version >= 0) {
                m_version = static_cast<uint8_t>(field.version);
                m_codec->SetStreamVersion(m_version);
            }
            continue; // other control records are skipped
        case RecordClass::TooShort:
            return Fail("record at byte " + std::to_string(offset) + " has length " + std::to_string(length) +
                        ", too short for a frame record");
        case RecordClass::Frame:
            break;
        }
        if (length > m_codec->MaxRecordBytes())
            return Fail("record at byte " + std::to_string(offset) + " has length " + std::to_string(length) +
                        ", more than any frame of this size needs");
        if (Available() < 4 + static_cast<size_t>(length)) {
            if (!m_finished)
                return ReadStatus::NeedMore;
            m_cutShort = true;
            m_done = true;
            return ReadStatus::End;
        }
        record = StreamRecord{};
        record.kind = StreamRecord::Frame;
        record.index = m_index++;
        record.offset = offset;
        record.length = length;
        const uint8_t* payload = p + 4;
        RecordChunks chunks;
        FrameRecordHeader header;
        const bool fits = SplitFrameRecord(payload, length, header, chunks);
        record.cursorX = header.cursorX;
        record.cursorY = header.cursorY;
        record.cursorIndex = header.cursorIndex;
        if (!fits) {
            record.rejected = true;
            record.error = "chunk sizes exceed the record";
        } else {
            record.chunkSizes[0] = chunks.blockSize;
            record.chunkSizes[1] = chunks.colourSize;
            record.chunkSizes[2] = chunks.patternSize;
            record.chunkSizes[3] = chunks.areaSize;
            if (m_decode && m_codec->DecodeRecord(chunks, m_picture.data()) != DecodeStatus::Ok) {
                record.rejected = true;
                record.error = m_codec->LastError();
            }
        }
        m_pos += 4 + static_cast<size_t>(length);
        return ReadStatus::Record;
    }
}

} // namespace zov
