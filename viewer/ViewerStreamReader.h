// The viewer's stream reader: opens a stream URL through the host, waits for the bytes of
// the header and of each record with the read time-outs of the viewer, and decodes frame
// records into the picture and the display bitmap. The container's rules (header, record
// lengths, frame record header) are codec/StreamContainer.h; the answers here are the
// viewer's: a record length of 1..16 fails one step and the next reads on, the end marker
// or a time-out ends the stream until the next step reopens it.
//
// Bytes arrive asynchronously (a fetch body), so every read that would block returns
// Pending instead; the caller pumps again later (new bytes or the passing of time) with the
// current time in milliseconds. A read of n bytes with a time-out of T ms fails when the
// bytes have not all arrived after T ms, extended once by another T ms; bytes that arrive
// after the source has ended cannot come, but the time-out is still waited for (a stream
// being recorded straight to a file grows while it is played).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "viewer/ViewerHost.h"

namespace zov {
class FrameDiffCodec;
}

namespace zov::viewer {

enum class StepResult { Ok, Fail, Pending };

// Payloads beyond this are refused before any byte of them is buffered: no record written
// by the encoder comes near it, and it keeps a hostile stream from taking the page's memory.
constexpr uint32_t kMaxRecordPayload = 64u * 1024 * 1024;

class ViewerStreamReader {
  public:
    explicit ViewerStreamReader(ViewerHost& host);
    ~ViewerStreamReader();

    // Open (URL): closes what is open and asks the host for the URL. PumpOpen() then waits
    // for the 12-byte header (5000 ms time-out) and checks it.
    void BeginOpen(const std::string& url, double now);
    StepResult PumpOpen(double now);

    // One record: adds 1 to the step count, reopens the stream first when the record length
    // is -1, and reads the record. PumpStep() continues until Ok or Fail.
    void BeginStep(double now);
    StepResult PumpStep(double now);
    bool Stepping() const { return m_phase != Phase::Idle; }
    bool Opening() const { return m_opening; }

    // Closes the source; the next step reopens the stream.
    void Close();

    // Bytes from the host for the source it was asked to open; stale sources are ignored.
    void FeedBytes(int source, const uint8_t* data, size_t size);
    void FeedEnd(int source);
    void FeedError(int source);
    // True while the host should deliver more bytes (keeps the buffered bytes bounded).
    bool WantsBytes() const;

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Interval() const { return m_interval; }
    void SetInterval(int ms) { m_interval = ms; }
    int BlockSize() const { return m_blockSize; }
    int32_t RecordLength() const { return m_recordLength; }
    int StepCount() const { return m_stepCount; }
    void SetStepCount(int n) { m_stepCount = n; }
    uint8_t Version() const { return m_version; }
    const std::string& Url() const { return m_url; }
    const std::string& StatusLine() const { return m_statusLine; }
    void SetStatusLine(const std::string& s) { m_statusLine = s; }
    bool IsOpen() const { return m_open; }
    bool HasBitmap() const { return m_hasBitmap; }
    // RGBA, width x height, top row first (alpha 255): the display bitmap.
    const std::vector<uint8_t>& Bitmap() const { return m_bitmap; }
    int BitmapWidth() const { return m_bitmapW; }
    int BitmapHeight() const { return m_bitmapH; }
    uint32_t BitmapSerial() const { return m_bitmapSerial; }
    // The decoder's picture (0x00RRGGBB words, top byte = codec flags).
    const std::vector<uint32_t>& Picture() const { return m_picture; }
    const std::string& LastDecodeError() const { return m_decodeError; }
    int CurrentSource() const { return m_source; }

  private:
    enum class Phase { Idle, Reopen, Length, Header, Payload };
    struct TimedWait {
        bool waiting = false;
        bool extended = false;
        double deadline = 0;
    };
    // Ok when n bytes are buffered, Fail when the time-out (with its one extension) passed.
    StepResult Need(size_t n, double timeoutMs, double now);
    size_t Buffered() const { return m_buf.size() - m_pos; }
    const uint8_t* Data() const { return m_buf.data() + m_pos; }
    void Consume(size_t n);
    StepResult FailOpen();
    StepResult EndStream();
    StepResult Decode();

    ViewerHost& m_host;
    std::string m_url;
    std::unique_ptr<FrameDiffCodec> m_codec;
    int m_source = 0; // id of the open source, 0 for none
    bool m_sourceEnded = false;
    bool m_sourceFailed = false;
    bool m_open = false;
    bool m_opening = false;
    std::vector<uint8_t> m_buf;
    size_t m_pos = 0;
    uint8_t m_header[12] = {};
    int m_width = 0, m_height = 0, m_blockSize = 16, m_interval = 0;
    int32_t m_recordLength = -1;
    uint32_t m_blockChunk = 0, m_colourChunk = 0, m_patternChunk = 0, m_areaChunk = 0;
    uint16_t m_cursorX = 0, m_cursorY = 0;
    uint8_t m_cursorIndex = 0;
    std::vector<uint32_t> m_picture;
    std::vector<uint8_t> m_bitmap;
    int m_bitmapW = 0, m_bitmapH = 0;
    bool m_hasBitmap = false;
    uint32_t m_bitmapSerial = 0;
    int m_stepCount = 0;
    std::string m_statusLine;
    uint8_t m_version = 8;
    std::string m_decodeError;

    Phase m_phase = Phase::Idle;
    // Header reading of a frame record goes field by field, each with its own time-out.
    int m_headerField = 0;
    TimedWait m_wait;
};

} // namespace zov::viewer
