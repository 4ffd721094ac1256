#include "export/AviExport.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

#include "base/Log.h"
#include "core/Ani.h"
#include "export/AviEncoder.h"
#include "export/ExportWalk.h"
#include "sound/SoundClip.h"
#include "sound/SoundFiles.h"

namespace zov {

namespace fs = std::filesystem;

uint32_t AviFramesPerSecond(int32_t delayMs) {
    if (delayMs == 1000 || delayMs == 2000 || delayMs == 5000)
        return 1;
    if (delayMs == 500)
        return 2;
    return 4;
}

namespace {

// The PCM format and the audio stream header of `channels` x `bits` at `rate`.
void AudioSetupFor(uint16_t channels, uint16_t bits, uint32_t rate, AviAudioSetup& a) {
    a.present = true;
    a.format.formatTag = 1;
    a.format.channels = channels;
    a.format.samplesPerSecond = rate;
    a.format.bytesPerSecond = rate * channels * bits / 8;
    a.format.blockAlign = static_cast<uint16_t>(channels * bits / 8);
    a.format.bitsPerSample = bits;
    a.format.extraSize = 0;
    a.scale = bits / 8;
    a.rate = a.format.bytesPerSecond / channels;
    a.sampleSize = bits / 8;
}

// Where the sound blocks come from: the project's clip or one second of silence.
struct SoundSource {
    CSoundClipReader reader;
    bool silence = false;
    int64_t size = 0;      // bytes wanted
    int64_t blockSize = 0; // one second
    int64_t blocks = 0;
    int64_t next = 0; // block to write next
    std::vector<uint8_t> buffer;

    // Block `next` (at most blockSize bytes, fewer at the end); false on a read failure.
    bool ReadBlock(size_t& got) {
        const int64_t want = std::min<int64_t>(blockSize, size - next * blockSize);
        got = 0;
        if (want <= 0)
            return true;
        if (silence) {
            std::fill(buffer.begin(), buffer.begin() + want, 0);
            got = static_cast<size_t>(want);
            return true;
        }
        while (got < static_cast<size_t>(want)) {
            const int64_t n = reader.Read(buffer.data() + got, static_cast<size_t>(want) - got);
            if (n < 0)
                return false;
            if (n == 0)
                break; // the file ended early: what it had is written
            got += static_cast<size_t>(n);
        }
        return true;
    }
};

// A unique file beside `target`, so that the rename at the end stays in one file system.
std::string TemporaryBeside(const std::string& target, std::string& error) {
    const fs::path t(target);
    const fs::path folder = t.has_parent_path() ? t.parent_path() : fs::path(".");
    std::string pattern = (folder / ("." + t.filename().string() + ".part-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = "cannot create a file in \"" + folder.string() + "\": " + std::strerror(errno);
        return "";
    }
    // mkstemp makes the file private; the export gets the permissions any new file would.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    (void)::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    return std::string(name.data());
}

} // namespace

bool ExportProjectToAvi(CAni& ani, const ExportOptions& options, const AviExportControl& control,
                        AviExportResult& result, std::string& error) {
    result = AviExportResult{};
    if (options.outputPath.empty()) {
        error = "no AVI file name given";
        return false;
    }
    ExportWalkRequest request = ExportWalkRequest::FromOptions(options, ani.ImageWidth(), ani.ImageHeight());
    request.cancel = control.cancel;
    request.progress = control.progress;
    ExportWalk walk;
    if (!walk.Prepare(ani, request, error))
        return false;

    // The sound: none when the project has no sound file; a file that is there but cannot be
    // used is refused rather than left out without a word.
    AviSetup setup;
    setup.riffLimit = control.riffLimit;
    SoundSource sound;
    const std::string wavPath = control.wavPath.empty() ? SoundWavPath(ani.DocumentPath()) : control.wavPath;
    std::error_code ec;
    if (fs::exists(wavPath, ec)) {
        std::string why;
        if (!sound.reader.Open(wavPath, walk.First(), walk.Last(), ani.FrameCount(), &why)) {
            error = "the sound file \"" + wavPath + "\" cannot be used: " + why;
            return false;
        }
        const WaveInfo& info = sound.reader.Format();
        AudioSetupFor(info.channels, info.bitsPerSample, info.samplesPerSecond, setup.audio);
        sound.size = sound.reader.Range().size;
    } else if (options.needAudio) {
        // The WMV route needs a sound track: one second of silence, 16-bit stereo 22,050 Hz.
        AudioSetupFor(2, 16, 22050, setup.audio);
        sound.silence = true;
        sound.size = setup.audio.format.bytesPerSecond;
    }
    if (setup.audio.present) {
        sound.blockSize = setup.audio.format.bytesPerSecond;
        if (sound.blockSize <= 0) {
            error = "the sound file \"" + wavPath + "\" has no bytes per second";
            return false;
        }
        sound.blocks = sound.size / sound.blockSize + (sound.size % sound.blockSize ? 1 : 0);
        sound.buffer.resize(static_cast<size_t>(sound.blockSize));
    }

    // Without sound the frame rate is the coarse rule; with it the picture must keep in step
    // with the sound, so the rate is the frame delay itself.
    AviVideoSetup& v = setup.video;
    const int32_t delay = ani.FrameDelay();
    if (setup.audio.present && delay > 0) {
        v.scale = static_cast<uint32_t>(delay);
        v.rate = 1000;
    } else {
        v.scale = 1;
        v.rate = AviFramesPerSecond(delay);
    }
    v.format = walk.OutputInfo();
    v.format.biBitCount = 24;
    v.format.biCompression = 0;
    std::unique_ptr<AviEncoder> encoder;
    if (!options.compressor.encoder.empty()) {
        encoder = std::make_unique<AviEncoder>();
        if (!encoder->Open(options.compressor, walk.Width(), walk.Height(), v.scale, v.rate, error))
            return false;
        v.handler = encoder->FourCC();
        v.compressed = true;
        v.format.biCompression = encoder->FourCC();
        v.format.biBitCount = encoder->BitCount();
        v.extradata = encoder->Extradata();
        if (options.compressor.quality >= 0)
            v.quality = std::min(options.compressor.quality, 100) * 100;
    }

    const std::string temporary = TemporaryBeside(options.outputPath, error);
    if (temporary.empty())
        return false;
    AviWriter writer;
    auto fail = [&](const std::string& why) {
        writer.Abandon();
        std::error_code ignored;
        fs::remove(temporary, ignored);
        error = why;
        return false;
    };
    if (!writer.Open(temporary, setup))
        return fail(writer.Error());

    // Sound block k goes before frame k x (frames a second), so a player reading the file
    // front to back finds each second's sound before its pictures.
    auto writeSoundUpTo = [&](int64_t frame, std::string& why) {
        while (sound.next < sound.blocks &&
               (frame < 0 || uint64_t(sound.next) * v.rate <= uint64_t(frame) * v.scale)) {
            size_t got = 0;
            if (!sound.ReadBlock(got)) {
                why = "the sound file \"" + wavPath + "\" cannot be read";
                return false;
            }
            if (got == 0) {
                sound.next = sound.blocks;
                break;
            }
            if (!writer.WriteAudio(sound.buffer.data(), got)) {
                why = writer.Error();
                return false;
            }
            ++sound.next;
        }
        return true;
    };
    int64_t chunks = 0;
    const AviEncoder::PacketSink sink = [&](const uint8_t* data, size_t size, bool key) {
        ++chunks;
        return writer.WriteVideo(data, size, key);
    };
    std::string walkError;
    const WalkResult walked = walk.Run(
        [&](const ExportFrame& frame, std::string& why) {
            if (setup.audio.present && !writeSoundUpTo(frame.sample, why))
                return false;
            if (encoder) {
                if (!encoder->Encode(*frame.dib, sink, why)) {
                    if (why.empty())
                        why = writer.Error();
                    return false;
                }
            } else if (!writer.WriteVideo(frame.dib->bits.data(), frame.dib->bits.size(), true)) {
                why = writer.Error();
                return false;
            }
            ++result.frames;
            return true;
        },
        walkError);
    if (walked == WalkResult::Cancelled) {
        result.cancelled = true;
        return fail("the export was cancelled");
    }
    if (walked != WalkResult::Done)
        return fail(walkError.empty() ? writer.Error() : walkError);
    if (encoder) {
        std::string why;
        if (!encoder->Flush(sink, why))
            return fail(why.empty() ? writer.Error() : why);
        // A frame the encoder skipped is an empty chunk, so the frames keep their times.
        for (; chunks < result.frames; ++chunks)
            if (!writer.WriteVideo(nullptr, 0, false))
                return fail(writer.Error());
    }
    std::string why;
    if (setup.audio.present && !writeSoundUpTo(-1, why))
        return fail(why);
    if (!writer.Finish())
        return fail(writer.Error());
    if (std::rename(temporary.c_str(), options.outputPath.c_str()) != 0)
        return fail("cannot move the AVI file into place at \"" + options.outputPath +
                    "\": " + std::strerror(errno));
    result.path = options.outputPath;
    result.scale = v.scale;
    result.rate = v.rate;
    result.hasAudio = setup.audio.present;
    result.audioFormat = setup.audio.format;
    result.audioBytes = writer.AudioBytes();
    result.riffs = writer.RiffCount();
    return true;
}

} // namespace zov
