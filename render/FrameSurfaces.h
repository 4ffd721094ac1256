// The editor's three off-screen surfaces of the project's frame size (frame, work and
// display) and the operations that fill them and put the display surface into a view.
// Window thread only.
#pragma once

#include <QImage>
#include <QPoint>
#include <QSize>
#include <cstdint>

class QPainter;

namespace zov {

class CAni;

// Colours of the frame view, as RGB.
constexpr QRgb kEndOfFilmColour = 0xFF008080u;      // (0, 128, 128)
constexpr QRgb kEndOfFilmColour16Bit = 0xFF008284u; // (0, 130, 132) on a 16-bit screen
constexpr QRgb kElementsOnlyColour = 0xFF008080u;   // background of "Elements Only"
constexpr QRgb kEmptyViewColour = 0xFFD4D0C8u;      // (212, 208, 200)

// A project picture (24 bits, B G R, rows bottom-up, padded to 4 bytes) as an RGB32 image.
QImage ImageFromFrameBits(const uint8_t* bits, int width, int height);
// The same into an existing image of that size (no allocation).
void CopyFrameBits(const uint8_t* bits, int width, int height, QImage& out);

class FrameSurfaces {
  public:
    explicit FrameSurfaces(CAni& doc) : m_doc(doc) {}

    // (Re)creates the surfaces at the capture size; needs an open project with frames.
    bool Prepare();
    void Release();
    bool Prepared() const { return !m_display.isNull(); }

    // Composes frame `index` (0 ... frame count, the count being the end of the film) on the
    // surfaces and makes it the current frame. False, surfaces unchanged, when refused.
    bool ShowFrame(int index);
    // Copies work to display and draws the selection overlay of the current frame.
    bool DrawToView(int index);

    void SetElementsOnly(bool on) { m_elementsOnly = on; }
    void SetSixteenBitScreen(bool on) { m_sixteenBit = on; }
    const QImage& Display() const { return m_display; }
    QSize ShownSize() const { return m_display.size(); }

  private:
    CAni& m_doc;
    QImage m_frame, m_work, m_display;
    std::vector<uint8_t> m_bits;
    bool m_elementsOnly = false;
    bool m_sixteenBit = false;
};

// Puts `display` into a view of `client` size: stretched over the whole view, or 1:1 from
// `scroll` clipped to the view and the picture.
void PresentDisplay(QPainter& painter, const QImage& display, QSize client, QPoint scroll, bool stretch);

} // namespace zov
