// Runs one program for bench/run and reports its wall time and peak
// resident memory:
//
//   bench_spawn <report> <program> [arguments...]
//
// writes "<seconds> <peak RSS in KiB> <exit status> <processor seconds>"
// to <report> (processor time: user and system together); the
// program's standard output goes to /dev/null. The memory is the child's
// own: a process started straight from a large parent (the Python driver)
// would report the parent's size as its peak, since a child begins as a
// copy of its parent. This launcher stays small, so the child it forks
// starts small too.
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char **argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: bench_spawn <report> <program> [arguments...]\n");
        return 2;
    }
    timespec t0, t1;
    clock_gettime(CLOCK_MONOTONIC, &t0);
    pid_t pid = fork();
    if (pid < 0) {
        std::perror("bench_spawn: fork");
        return 1;
    }
    if (pid == 0) {
        int fd = open("/dev/null", O_WRONLY);
        if (fd >= 0) dup2(fd, 1);
        execv(argv[2], argv + 2);
        std::perror("bench_spawn: exec");
        _exit(127);
    }
    int status = 0;
    rusage ru{};
    while (wait4(pid, &status, 0, &ru) < 0) {
        if (errno != EINTR) {
            std::perror("bench_spawn: wait");
            return 1;
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &t1);
    double s = static_cast<double>(t1.tv_sec - t0.tv_sec) +
               static_cast<double>(t1.tv_nsec - t0.tv_nsec) * 1e-9;
    int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    std::FILE *f = std::fopen(argv[1], "w");
    double cpu = static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
                 static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
    if (!f || std::fprintf(f, "%.6f %ld %d %.6f\n", s, ru.ru_maxrss, code, cpu) < 0 ||
        std::fclose(f) != 0) {
        std::perror("bench_spawn: report");
        return 1;
    }
    return 0;
}
