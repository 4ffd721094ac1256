// The settings of the next recording. Frame delay, capture rectangle, pointer flag and
// key-frame interval are fields of the project header and are kept there (they are written
// with the file); this class holds the rest (the window to record, the sound format, the
// defaults a new project's header starts from) and the rules for setting them all.
#pragma once

#include "core/ProjectRecords.h"

#include <cstdint>
#include <string>

namespace zov {

struct CaptureRect {
    int32_t left = 0, top = 0, right = 0, bottom = 0;
    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
};

struct SoundFormat {
    uint32_t formatTag = 1; // format tag or quality code
    uint32_t channels = 1;
    uint32_t bitsPerSample = 8;
    uint32_t samplesPerSecond = 8000;
};

// A sentence the user sees when a capture area is too large for the frame format.
std::string TooLargeAreaMessage(int64_t width, int64_t height);

class CaptureSettings {
  public:
    // Back to the start-up values (the defaults of a new project stay as set).
    void Reset();

    // window 0 with recordWindow false: record a desktop rectangle.
    void SetRecordWindow(uint64_t window, bool recordWindow);
    uint64_t RecordWindow() const { return m_recordWindow; }
    bool RecordWindowFlag() const { return m_recordWindowFlag; }

    SoundFormat Sound() const { return m_sound; }
    void SetSound(const SoundFormat& f) { m_sound = f; }
    // The format the MP3 bit-rate setting implies: 16 -> 8-bit mono 22,050 Hz, 24 -> 16-bit
    // stereo 22,050 Hz, anything else -> 8-bit mono 8,000 Hz.
    static SoundFormat SoundFormatForBitRate(int mp3BitRate);

    void SetDefaultFrameDelay(int32_t ms) { m_defaultFrameDelay = ms; }
    void SetDefaultRecordPointer(bool on) { m_defaultRecordPointer = on; }
    void SetScreenSize(int32_t width, int32_t height);
    // The capture fields of a new project's header: the default delay and pointer flag, the
    // whole screen as the rectangle.
    void FillNewHeader(ProjectHeader& h) const;

    // The header fields. A frame delay set now is also the default of the next new project.
    void SetFrameDelay(ProjectHeader& h, int32_t ms);
    static CaptureRect GetCaptureRect(const ProjectHeader& h);
    // Refuses, with the sentence in `refusal`, a rectangle whose 24-bit image would exceed
    // 2,359,296 bytes, unless the recording goes to a stream file (which has no such bound).
    static bool SetCaptureRect(ProjectHeader& h, const CaptureRect& r, bool stream, std::string& refusal);
    static void SetKeyFrameInterval(ProjectHeader& h, int32_t n);

  private:
    uint64_t m_recordWindow = 0;
    bool m_recordWindowFlag = false;
    SoundFormat m_sound;
    int32_t m_defaultFrameDelay = 100;
    bool m_defaultRecordPointer = true;
    int32_t m_screenWidth = 1024;
    int32_t m_screenHeight = 768;
};

} // namespace zov
