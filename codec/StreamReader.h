// Reads a stream file (".zov") front to back while its bytes arrive, decoding each frame
// record into a picture that persists from record to record.
//
// The container's rules are codec/StreamContainer.h; this reader's answers to them: a bad
// header or a record length of 1..16 makes the stream Damaged, the end marker or the end
// of the bytes ends it, control records other than the version's are skipped.
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
#include "codec/StreamContainer.h"

namespace zov {

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
    uint8_t m_version = kDefaultStreamVersion;
    uint32_t m_index = 0;
    StreamHeader m_header;
    std::string m_error;
    std::unique_ptr<FrameDiffCodec> m_codec;
    std::vector<uint32_t> m_picture;
};

} // namespace zov
