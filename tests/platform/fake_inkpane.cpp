// Stands in for the external drawing tool in tests.
//   zov_fake_inkpane                      the tool's contract: open (or create) the exit
//                                         semaphore, note "started" in the working folder (the
//                                         folder, the argument count and the semaphore's count
//                                         as the tool found it), wait for the semaphore, note
//                                         "exited"
//   zov_fake_inkpane --print-args FILE ...  write every argument after FILE on its own line
#include <fcntl.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

namespace {

// Written under another name and renamed into place, so that a reader sees all or nothing.
bool Note(const char* name, const char* text) {
    char temp[PATH_MAX];
    std::snprintf(temp, sizeof temp, "%s.part", name);
    FILE* f = std::fopen(temp, "w");
    if (!f)
        return false;
    std::fputs(text, f);
    return std::fclose(f) == 0 && std::rename(temp, name) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "--print-args") == 0) {
        FILE* f = std::fopen(argv[2], "w");
        if (!f)
            return 1;
        for (int i = 3; i < argc; ++i)
            std::fprintf(f, "%s\n", argv[i]);
        std::fclose(f);
        return 0;
    }
    sem_t* sem = sem_open("/CInkpaneDlg_Exit_Event", O_CREAT, 0600, 0);
    if (sem == SEM_FAILED)
        return 1;
    int count = -1;
    sem_getvalue(sem, &count);
    char cwd[PATH_MAX] = {};
    if (!getcwd(cwd, sizeof cwd))
        return 1;
    char text[PATH_MAX + 64];
    std::snprintf(text, sizeof text, "%s\n%d\n%d\n", cwd, argc, count);
    Note("inkpane-started", text);
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 20;
    int rc = sem_timedwait(sem, &until);
    sem_close(sem);
    if (rc == 0)
        Note("inkpane-exited", "");
    return rc == 0 ? 0 : 2;
}
