#include "codec/StreamReader.h"

#include <cstring>

namespace zov {

namespace {
uint32_t BE32(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}
int SignedBE16(const uint8_t* p) {
    return static_cast<int16_t>(static_cast<uint16_t>((p[0] << 8) | p[1]));
}
} // namespace

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
        m_version = 8;
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
    if (Available() < 12) {
        if (!m_finished)
            return ReadStatus::NeedMore;
        m_cutShort = Available() > 0;
        return Fail(Available() ? "stream ends inside its 12-byte header" : "stream is empty");
    }
    const uint8_t* h = m_buf.data() + m_pos;
    std::memcpy(m_header.magic, h, 4);
    m_header.width = SignedBE16(h + 4);
    m_header.height = SignedBE16(h + 6);
    m_header.blockSize = h[8];
    m_header.blockHeightByte = h[9];
    m_header.interval = SignedBE16(h + 10);
    if (h[0] != 'Z' || h[1] != 'V')
        return Fail("not a stream file (no \"ZV\" at its start)");
    if (h[2] != '0' || h[3] != '1')
        return Fail("stream format \"" + std::string(m_header.magic, 4) + "\" is not played");
    if (m_header.width <= 0 || m_header.height <= 0)
        return Fail("stream header gives a picture of " + std::to_string(m_header.width) + " x " +
                    std::to_string(m_header.height) + " pixels");
    const uint32_t block = m_header.blockSize ? static_cast<uint32_t>(m_header.blockSize) : 32;
    m_codec = std::make_unique<FrameDiffCodec>();
    if (!m_codec->Init(C_CODEC_DECODE, static_cast<uint32_t>(m_header.width),
                       static_cast<uint32_t>(m_header.height), 24, block, block))
        return Fail("stream header refused: " + m_codec->LastError());
    m_codec->SetStreamVersion(m_version);
    if (m_decode)
        m_picture.assign(static_cast<size_t>(m_header.width) * static_cast<size_t>(m_header.height), 0);
    m_pos += 12;
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
        const uint32_t length = BE32(p);
        const uint64_t offset = m_consumed + m_pos;
        if (length == 0xFFFFFFFFu) {
            m_pos += 4;
            m_done = true;
            m_sawEnd = true;
            return ReadStatus::End;
        }
        if (length == 0) {
            m_pos += 4;
            record = StreamRecord{};
            record.kind = StreamRecord::Unchanged;
            record.index = m_index++;
            record.offset = offset;
            return ReadStatus::Record;
        }
        if (length & 0x80000000u) {
            m_pos += 4;
            if ((length >> 24) == 0x81) {
                m_version = static_cast<uint8_t>((length >> 16) & 0x7F);
                m_codec->SetStreamVersion(m_version);
            }
            continue; // other control records are skipped
        }
        if (length < kRecordHeaderBytes - 4)
            return Fail("record at byte " + std::to_string(offset) + " has length " + std::to_string(length) +
                        ", too short for a frame record");
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
        if (!SplitRecordPayload(payload, length, chunks, record.cursorX, record.cursorY,
                                record.cursorIndex)) {
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
