// Writes a stream file: the 12-byte header, the control record 0x81090000, one record per
// frame from the encoder, and (when asked) the end marker FF FF FF FF.
//
// Direct recording: Begin(path, width, height, 500) when capture starts, AddFrame() for every
// captured picture, End(StreamEnd::NoMarker) when it stops. The export and the command line
// use the same calls with their own interval and End(StreamEnd::Marker).
//
// Any size the header holds: 1..32767 pixels each way, at most 64 MiB of 32-bit picture.
// Only intervals the players can play: 0 (a still picture) or 11..32767 ms.
// Not thread-safe: Begin, AddFrame and End come from one thread at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "codec/FrameDiffCodec.h"
#include "codec/StreamContainer.h"

namespace zov {

// Where the bytes go. Write returns false on failure (disk full...).
class StreamSink {
  public:
    virtual ~StreamSink() = default;
    virtual bool Write(const void* data, size_t size) = 0;
};

enum class StreamEnd { Marker, NoMarker };

class StreamWriter {
  public:
    StreamWriter();
    ~StreamWriter(); // closes an open file without an end marker

    // Creates (truncates) the file and writes header and control record. False with Error()
    // on a bad size or interval or a file that cannot be created.
    [[nodiscard]] bool Begin(const std::string& path, int width, int height, int intervalMs = 500);
    // The same into a caller's sink (not owned; must outlive End()).
    [[nodiscard]] bool Begin(StreamSink* sink, int width, int height, int intervalMs = 500);

    // A 24-bit picture in the project's layout: bytes B, G, R, rows bottom-up, each row
    // `rowBytes` long (normally (width * 3 + 3) & ~3), exactly width x height.
    [[nodiscard]] bool AddFrame(const uint8_t* bottomUpBgr, size_t rowBytes, uint16_t cursorX = 0,
                                uint16_t cursorY = 0, uint8_t cursorIndex = 0);
    // A picture already in codec layout: width x height words 0x00RRGGBB, top-down (the top
    // byte is ignored).
    [[nodiscard]] bool AddFrame32(const uint32_t* topDown, uint16_t cursorX = 0, uint16_t cursorY = 0,
                                  uint8_t cursorIndex = 0);

    // Writes the end marker when asked, flushes and closes. False when a write failed at any
    // point of the stream.
    [[nodiscard]] bool End(StreamEnd end = StreamEnd::NoMarker);

    bool IsOpen() const { return m_sink != nullptr; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    uint32_t FramesWritten() const { return m_frames; }
    uint64_t BytesWritten() const { return m_bytes; }
    const std::string& Error() const { return m_error; }

  private:
    bool Start(int width, int height, int intervalMs);
    bool Put(const void* data, size_t size);
    bool EncodeAndWrite(uint16_t cx, uint16_t cy, uint8_t ci);

    StreamSink* m_sink = nullptr;
    std::unique_ptr<StreamSink> m_ownedSink;
    FrameDiffCodec m_codec;
    std::vector<uint32_t> m_picture;
    std::vector<uint8_t> m_out;
    int m_width = 0, m_height = 0;
    uint32_t m_frames = 0;
    uint64_t m_bytes = 0;
    bool m_failed = false;
    std::string m_error;
};

} // namespace zov
