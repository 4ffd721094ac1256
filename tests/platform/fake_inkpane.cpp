// Stands in for the external drawing tool in tests.
//   zov_fake_inkpane                      the tool's contract: create the exit semaphore, note
//                                         "started" (with the working folder) in the working
//                                         folder, wait for the semaphore, note "exited"
//   zov_fake_inkpane --print-args FILE ...  write every argument after FILE on its own line
#include <fcntl.h>
#include <semaphore.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>

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
    const char* name = "/CInkpaneDlg_Exit_Event";
    sem_t* sem = sem_open(name, O_CREAT, 0600, 0);
    if (sem == SEM_FAILED)
        return 1;
    char cwd[PATH_MAX] = {};
    if (!getcwd(cwd, sizeof cwd))
        return 1;
    if (FILE* f = std::fopen("inkpane-started", "w")) {
        std::fprintf(f, "%s\n%d\n", cwd, argc);
        std::fclose(f);
    }
    timespec until{};
    clock_gettime(CLOCK_REALTIME, &until);
    until.tv_sec += 20;
    int rc = sem_timedwait(sem, &until);
    sem_close(sem);
    sem_unlink(name);
    if (rc == 0)
        if (FILE* f = std::fopen("inkpane-exited", "w"))
            std::fclose(f);
    return rc == 0 ? 0 : 2;
}
