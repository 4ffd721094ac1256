// Element drawing for zovrec: the document's element painter, with a QGuiApplication on the
// offscreen platform started the first time a frame with elements is drawn (text needs the
// font machinery; commands that draw nothing never start one).
#pragma once

namespace zov {
class CAni;
}

namespace zov::cli {

class ElementDrawing {
  public:
    // Installs the painter on `ani`; main thread, before any command runs.
    explicit ElementDrawing(CAni& ani);
    // Takes the painter out again and ends the application object, if one was started.
    ~ElementDrawing();
    ElementDrawing(const ElementDrawing&) = delete;
    ElementDrawing& operator=(const ElementDrawing&) = delete;

  private:
    CAni& m_ani;
};

} // namespace zov::cli
