// Reads a stream file (".zov") front to back while its bytes arrive, decoding each frame
// record into a picture that persists from record to record.
//
// File: 12-byte header "ZV01", width, height (16-bit), block width, block height (8-bit),
// interval ms (16-bit); then records, each a 32-bit length L (big-endian):
//   0 unchanged frame; 1..16 damage; 17+ frame record of L bytes; top byte 0x81 control
//   record (bits 16..22 the version); other values with the top bit set are skipped;
//   0xFFFFFFFF end of stream.
//
// Incremental use (the browser): Append() bytes as a fetch delivers them and call Next()
// until it answers NeedMore; call Finish() once all bytes have arrived, so that a stream
// cut short (or written without an end marker) ends at its last complete record.
// Whole-buffer use (the command line): Append(all); Finish(); then Next() until not Record.
//
// No file system calls; not thread-safe.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/FrameDiffCodec.h"

namespace zov {

struct StreamHeader {
    char magic[4] = {0, 0, 0, 0}; // "ZV01"
    int width = 0;                // read as signed 16-bit; must be > 0
    int height = 0;
    int blockSize = 16;       // byte 8, used for both block width and height (0 = 32)
    int blockHeightByte = 16; // byte 9, kept for reports only
    int interval = 0;         // ms, signed 16-bit as stored
};

enum class ReadStatus {
    Record,   // `record` holds the next frame (decoded into Picture(), or rejected)
    NeedMore, // more bytes are needed before the next record (not yet Finish()ed)
    End,      // end marker, or end of the bytes after Finish()
    Damaged,  // bad header, a record length 1..16, or an unusable picture size
};

struct StreamRecord {
    enum Kind { Frame, Unchanged };
    Kind kind = Unchanged;
    uint32_t index = 0;  // 0-based count of frame and unchanged records
    uint64_t offset = 0; // byte offset of the record's length field in the file
    uint32_t length = 0; // L (0 for an unchanged frame)
    uint16_t cursorX = 0, cursorY = 0;
    uint8_t cursorIndex = 0;
    size_t chunkSizes[4] = {0, 0, 0, 0}; // block, colour, pattern, area
    bool rejected = false;               // the decoder refused the record; Picture() is the previous one
    std::string error;                   // why, when rejected
};

class StreamReader {
  public:
    StreamReader();
    ~StreamReader();

    // Clears everything for a new stream, keeping the version read before (as a reopened
    // stream does); Reset(true) forgets it too.
    void Reset(bool forgetVersion = false);
    void Append(const uint8_t* data, size_t size);
    void Finish();
    // Whole-buffer use: Reset(), Append(all of it), Finish().
    void Open(const uint8_t* data, size_t size) {
        Reset();
        Append(data, size);
        Finish();
    }
    bool Finished() const { return m_finished; }

    ReadStatus Next(StreamRecord& record);

    bool HeaderReady() const { return m_headerDone; }
    const StreamHeader& Header() const { return m_header; }
    // 8 until a control record is read.
    uint8_t Version() const { return m_version; }
    bool SawEndMarker() const { return m_sawEnd; }
    // True when Finish() found the bytes ending inside a record (or inside the header).
    bool CutShort() const { return m_cutShort; }
    // width x height words, 0x00RRGGBB top-down; ignore the top byte (codec flags).
    const uint32_t* Picture() const { return m_picture.data(); }
    const std::string& Error() const { return m_error; }

    // Turns on record splitting without decoding (for reports that only list records).
    void SetDecode(bool decode) { m_decode = decode; }

  private:
    ReadStatus ReadHeader();
    ReadStatus Fail(const std::string& why);
    size_t Available() const { return m_buf.size() - m_pos; }
    void Compact();

    std::vector<uint8_t> m_buf;
    size_t m_pos = 0;
    uint64_t m_consumed = 0; // bytes dropped from the front of m_buf
    bool m_finished = false;
    bool m_headerDone = false;
    bool m_done = false;
    bool m_damaged = false;
    bool m_sawEnd = false;
    bool m_cutShort = false;
    bool m_decode = true;
    uint8_t m_version = 8;
    uint32_t m_index = 0;
    StreamHeader m_header;
    std::string m_error;
    std::unique_ptr<FrameDiffCodec> m_codec;
    std::vector<uint32_t> m_picture;
};

} // namespace zov
