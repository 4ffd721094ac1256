// Where the capture loop puts its frames. The loop grabs, converts and draws the pointer;
// a sink stores what it hands over: the open project (key and difference frames, the pointer
// in each frame header and in cursor.bin) or a stream file written as the run goes (with its
// web pages at the end). Other targets of a run plug in here without touching the loop.
//
// One run calls Begin once, then KeepPointer (when the pointer could be read) and AddFrame
// for every frame, then End once, whatever ended the run, so that the frames stored so far
// are kept. All calls come from the capture thread.
#pragma once

#include "base/Bitmap.h"
#include "core/Ani.h"
#include "platform/ScreenSource.h"

#include <chrono>
#include <memory>
#include <string>

namespace zov {

// The pointer as it goes with a frame: its drawing position (screen coordinates, moved by
// the hotspot) and its index among the standard shapes, -1 for any other.
struct FramePointer {
    int32_t x = 0;
    int32_t y = 0;
    int32_t shape = -1;
};

class IFrameSink {
  public:
    virtual ~IFrameSink() = default;

    // Readies the target for width x height frames. False with `failure` set to a sentence;
    // End is not called then.
    virtual bool Begin(int width, int height, std::chrono::system_clock::time_point start,
                       std::string& failure) = 0;
    // Whether the sink keeps the pointer with its frames, so that it is read even when it is
    // not drawn.
    virtual bool KeepsPointer() const = 0;
    // The pointer read for the next frame, at drawing position (x, y).
    virtual void KeepPointer(const PointerState& pointer, int x, int y) = 0;
    // Stores frame `index` of the run (0 first). `previous` is the frame stored before it
    // in this run; its content is meaningless for index 0.
    virtual bool AddFrame(const Image24& current, const Image24& previous, int index,
                          const FramePointer& pointer, std::string& failure) = 0;
    // The count the listeners hear after each frame.
    virtual int FrameCount() const = 0;
    // Finishes the target. False with `failure` set when that failed.
    virtual bool End(std::string& failure) = 0;
};

// The sink for the document's mode: its open project in DOC_PROJECT, a stream file at the
// document's path in DOC_STREAM (frames `frameDelay` ms apart). Null in DOC_NONE.
std::unique_ptr<IFrameSink> MakeDocumentFrameSink(CAni& ani, int32_t frameDelay);

} // namespace zov
