// What the viewer logic asks of its host (the browser page, or a fake in the tests). Every
// call is a request; results come back through the control's On...() entry points.
#pragma once

#include <string>

namespace zov::viewer {

class ViewerHost {
  public:
    virtual ~ViewerHost() = default;
    // Start fetching `url`; bytes arrive through CLumaplayCtrl::FeedBytes(source, ...).
    virtual void OpenSource(int source, const std::string& url) = 0;
    virtual void CloseSource(int source) = 0;
    // Fetch the start of `url` and answer CLumaplayCtrl::OnProbe(probe, bytes).
    virtual void Probe(int probe, const std::string& url) = 0;
    virtual void StartTimer(int periodMs) = 0;
    virtual void KillTimer() = 0;
    virtual void Redraw() = 0;
    virtual void Navigate(const std::string& url) = 0;
    virtual void OpenNewWindow(const std::string& url) = 0;
    virtual void SetStatusText(const std::string& text) = 0;
    // The sound beside the stream (created stopped).
    virtual void SoundCreate(const std::string& url) = 0;
    virtual void SoundStop() = 0;
    virtual void SoundPause() = 0;
    virtual void SoundSetSpeed(int perMille) = 0;
    virtual void SoundPlayFrom(long long positionMs) = 0;
};

} // namespace zov::viewer
