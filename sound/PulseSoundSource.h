// The sound server's default input through PulseAudio's simple API (also served by PipeWire's
// PulseAudio service).
#pragma once

#include "sound/SoundSource.h"

namespace zov {

std::unique_ptr<ISoundSource> MakePulseSoundSource(const std::string& applicationName = "ZOV Recorder");

} // namespace zov
