#include "core/CaptureSettings.h"

namespace zov {

std::string TooLargeAreaMessage(int64_t width, int64_t height) {
    return "the capture area of " + std::to_string(width) + " x " + std::to_string(height) +
           " pixels is larger than a project frame can hold (at most 2,359,296 image bytes, such as 1024 x "
           "768);"
           " choose a smaller area or record into a \".zov\" stream file";
}

void CaptureSettings::Reset() {
    m_sound = SoundFormat{};
}

void CaptureSettings::SetRecordWindow(uint64_t window, bool recordWindow) {
    m_recordWindow = window;
    m_recordWindowFlag = recordWindow;
}

SoundFormat CaptureSettings::SoundFormatForBitRate(int mp3BitRate) {
    if (mp3BitRate == 16)
        return SoundFormat{1, 1, 8, 22050};
    if (mp3BitRate == 24)
        return SoundFormat{1, 2, 16, 22050};
    return SoundFormat{1, 1, 8, 8000};
}

void CaptureSettings::SetScreenSize(int32_t width, int32_t height) {
    if (width > 0 && height > 0) {
        m_screenWidth = width;
        m_screenHeight = height;
    }
}

void CaptureSettings::FillNewHeader(ProjectHeader& h) const {
    h.frameDelay = m_defaultFrameDelay;
    h.captureLeft = h.captureTop = 0;
    h.captureRight = m_screenWidth;
    h.captureBottom = m_screenHeight;
    h.recordPointer = m_defaultRecordPointer ? 1 : 0;
    h.keyFrameInterval = kDefaultKeyFrameInterval;
}

void CaptureSettings::SetFrameDelay(ProjectHeader& h, int32_t ms) {
    h.frameDelay = ms;
    m_defaultFrameDelay = ms;
}

CaptureRect CaptureSettings::GetCaptureRect(const ProjectHeader& h) {
    return CaptureRect{h.captureLeft, h.captureTop, h.captureRight, h.captureBottom};
}

bool CaptureSettings::SetCaptureRect(ProjectHeader& h, const CaptureRect& r, bool stream,
                                     std::string& refusal) {
    const int64_t w = int64_t(r.right) - r.left;
    const int64_t ht = int64_t(r.bottom) - r.top;
    // Only project frames are limited by their block flags.
    if (!stream && w > 0 && ht > 0 && RowBytes24(w) * ht > kMaxImageBytes) {
        refusal = TooLargeAreaMessage(w, ht);
        return false;
    }
    h.captureLeft = r.left;
    h.captureTop = r.top;
    h.captureRight = r.right;
    h.captureBottom = r.bottom;
    return true;
}

void CaptureSettings::SetKeyFrameInterval(ProjectHeader& h, int32_t n) {
    if (n >= 1)
        h.keyFrameInterval = n;
}

} // namespace zov
