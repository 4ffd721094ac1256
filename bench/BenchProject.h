// Shared by the benchmarks that need a 1024 x 768 project of corpus frames: the clip's
// frames through ffmpeg as BMP files, and a project recorded from them as the capture
// engine records (a key frame every 10th).
#pragma once

#include "base/Bitmap.h"
#include "core/Ani.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace zovbench {

// CPU time of the calling thread, in nanoseconds.
inline double ThreadNs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

inline bool LoadClip(const std::string& name, int maxFrames, const std::string& folder,
                     std::vector<zov::Image24>& frames) {
    const std::string src = std::string(ZOV_SHARED_DIR) + "/bench/corpus/" + name + ".mkv";
    std::filesystem::create_directories(folder);
    const std::string cmd = "ffmpeg -v error -y -i '" + src + "' -fps_mode passthrough -frames:v " +
                            std::to_string(maxFrames) + " -pix_fmt bgr24 '" + folder + "/file%04d.bmp'";
    if (std::system(cmd.c_str()) != 0)
        return false;
    for (int n = 1;; ++n) {
        char file[32];
        std::snprintf(file, sizeof file, "/file%04d.bmp", n);
        zov::Image24 img;
        std::string err;
        if (!std::filesystem::exists(folder + file) || !zov::ReadBmp(folder + file, img, err))
            break;
        if (img.width != 1024 || img.height != 768)
            return false;
        frames.push_back(std::move(img));
    }
    return !frames.empty();
}

inline bool Record(zov::CAni& doc, const std::vector<zov::Image24>& frames, std::string path) {
    doc.SetDefaultFrameDelay(250);
    if (!doc.NewProject(path, false) || !doc.BeginCaptureRun(1024, 768, std::chrono::system_clock::now()))
        return false;
    const uint8_t* prev = nullptr;
    for (size_t i = 0; i < frames.size(); ++i) {
        const int32_t kind = i % 10 == 0 ? zov::FRAME_KEY : zov::FRAME_DIFF;
        if (!doc.AppendCapturedFrame(frames[i].bits.data(), prev, kind, 0, 0, 1))
            return false;
        prev = frames[i].bits.data();
    }
    return doc.WriteIndex();
}

} // namespace zovbench
