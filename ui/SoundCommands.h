// The desktop program's sound: the default input recorded beside the document while the
// screen is recorded ("Record sound while record screen", through the recorder control's
// signals) or while the project plays ("Ready to Record Sound"), and the MP3 made when it ends.
#pragma once

namespace zov {

class CMainWindow;

// Made once by the main window's set-up, after the recorder; lives as the window's child.
void InstallSound(CMainWindow& window);
// A normal Play from idle with "Ready to Record Sound" on: the narration starts first.
void SoundPlaybackStarting(CMainWindow& window);
// Playback stopped or ended: a narration that runs is stopped and its MP3 made (or, with
// both sound switches off by now, both files deleted).
void SoundPlaybackEnded(CMainWindow& window, bool narrationFlag);

} // namespace zov
