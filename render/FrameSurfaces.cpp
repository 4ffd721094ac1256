#include "render/FrameSurfaces.h"

#include "base/Log.h"
#include "core/Ani.h"
#include "render/SelectionOverlay.h"

#include <QPainter>
#include <algorithm>

namespace zov {

QImage ImageFromFrameBits(const uint8_t* bits, int width, int height) {
    QImage out(width, height, QImage::Format_RGB32);
    CopyFrameBits(bits, width, height, out);
    return out;
}

void CopyFrameBits(const uint8_t* bits, int width, int height, QImage& out) {
    const size_t rowBytes = static_cast<size_t>((width * 3 + 3) & ~3);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = bits + static_cast<size_t>(height - 1 - y) * rowBytes;
        auto* dst = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < width; ++x, src += 3)
            dst[x] = 0xFF000000u | static_cast<QRgb>(src[2]) << 16 | static_cast<QRgb>(src[1]) << 8 | src[0];
    }
}

bool FrameSurfaces::Prepare() {
    if (!m_doc.IsFileOpen() || m_doc.FrameCount() < 1)
        return false;
    const int w = m_doc.ImageWidth(), h = m_doc.ImageHeight();
    if (w < 1 || h < 1)
        return false;
    Release();
    m_frame = QImage(w, h, QImage::Format_RGB32);
    m_work = QImage(w, h, QImage::Format_RGB32);
    m_display = QImage(w, h, QImage::Format_RGB32);
    for (QImage* s : {&m_frame, &m_work, &m_display})
        s->fill(Qt::black);
    return true;
}

void FrameSurfaces::Release() {
    m_frame = QImage();
    m_work = QImage();
    m_display = QImage();
    m_bits.clear();
    m_bits.shrink_to_fit();
}

bool FrameSurfaces::ShowFrame(int index) {
    const int count = m_doc.FrameCount();
    if (index < 0 || index > count || !Prepared())
        return false;
    m_doc.SetCurrentFrame(index);
    if (index == count) {
        m_display.fill(m_sixteenBit ? kEndOfFilmColour16Bit : kEndOfFilmColour);
        m_work = m_display.copy();
        return true;
    }
    if (m_elementsOnly) {
        // A plain background of the elements-only colour, as 24-bit bottom-up rows.
        const int w = m_frame.width(), h = m_frame.height();
        const size_t row = static_cast<size_t>((w * 3 + 3) & ~3);
        m_bits.assign(row * static_cast<size_t>(h), 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                uint8_t* p = m_bits.data() + row * static_cast<size_t>(y) + static_cast<size_t>(x) * 3;
                p[0] = static_cast<uint8_t>(qBlue(kElementsOnlyColour));
                p[1] = static_cast<uint8_t>(qGreen(kElementsOnlyColour));
                p[2] = static_cast<uint8_t>(qRed(kElementsOnlyColour));
            }
        m_frame.fill(kElementsOnlyColour);
    } else {
        FrameHeader header;
        if (!m_doc.LoadFrame(index, m_bits, header) || m_frame.width() != m_doc.ImageWidth() ||
            m_frame.height() != m_doc.ImageHeight()) {
            ZOV_LOG("Load Frame To Frame DC Fail");
            return false;
        }
        CopyFrameBits(m_bits.data(), m_frame.width(), m_frame.height(), m_frame);
    }
    // The work surface is the frame with its elements, drawn by the document's painter.
    if (m_doc.PaintElements(index, m_bits.data()))
        CopyFrameBits(m_bits.data(), m_frame.width(), m_frame.height(), m_work);
    else
        m_work = m_frame.copy();
    m_display = m_work.copy();
    return true;
}

bool FrameSurfaces::DrawToView(int index) {
    if (!Prepared())
        return false;
    m_display = m_work.copy();
    if (index < 0 || index >= m_doc.FrameCount())
        return true;
    if (!PaintSelectionOverlay(m_display, index)) {
        ZOV_LOG("Draw Element Fail");
        return false;
    }
    return true;
}

void PresentDisplay(QPainter& painter, const QImage& display, QSize client, QPoint scroll, bool stretch) {
    if (display.isNull())
        return;
    if (stretch) {
        painter.drawImage(QRect(QPoint(0, 0), client), display);
        return;
    }
    const int w = std::min(client.width(), display.width());
    const int h = std::min(client.height(), display.height());
    painter.drawImage(QPoint(0, 0), display, QRect(scroll, QSize(w, h)));
}

} // namespace zov
