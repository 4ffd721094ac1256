// Records the default input into argv[1] in the format of bit rate argv[2] until killed; the
// test kills it with SIGKILL to see what a crash leaves.
#include "core/Ani.h"
#include "sound/PulseSoundSource.h"
#include "sound/SoundRecorder.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    zov::CAni doc;
    zov::CSoundRecorder recorder(doc, [] { return zov::MakePulseSoundSource("zov-test-child"); });
    zov::SoundClipRecord record;
    record.path = argv[1];
    zov::SoundRequest request;
    request.recordWithScreen = true;
    request.mp3BitRate = std::atoi(argv[2]);
    if (!recorder.Start(record, request)) {
        std::fprintf(stderr, "cannot record: %s\n", recorder.LastError().c_str());
        return 1;
    }
    for (;;)
        pause();
}
