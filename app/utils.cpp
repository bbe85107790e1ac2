#include "utils.h"

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

int is_file(const char *path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISREG(st.st_mode);
}

int is_dir(const char *path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

std::uint64_t file_size(const char *path) {
    struct stat st;
    if (stat(path, &st) != 0) return 0;
    return static_cast<std::uint64_t>(st.st_size);
}

int is_empty(const char *path) {
    struct stat st;
    return stat(path, &st) != 0 || st.st_size == 0;
}

void strip_trailing_sep(char *path) {
    std::size_t n = std::strlen(path);
    while (n > 0 && path[n - 1] == '/')
        path[--n] = '\0';
}

void dirname_strip(char *path) {
    strip_trailing_sep(path);
}

// Writes `a` then `b` at the end of the text in buf, within `size`; -1 (the
// text cut) when they and the terminating zero do not fit.
static int append2(char *buf, std::size_t size, const char *a, const char *b) {
    std::size_t len = std::strlen(buf);
    if (len >= size) return -1;
    std::size_t room = size - len;
    std::size_t la = std::strlen(a), lb = std::strlen(b);
    char *p = buf + len;
    std::size_t i = 0;
    for (; i < la && i + 1 < room; i++)
        p[i] = a[i];
    for (std::size_t j = 0; j < lb && i + 1 < room; j++, i++)
        p[i] = b[j];
    p[i] = '\0';
    return la + lb + 1 <= room ? 0 : -1;
}

int dirname_append(char *buf, std::size_t size, const char *name) {
    strip_trailing_sep(buf);
    return append2(buf, size, "/", name);
}

int filename_add_ext(char *buf, std::size_t size, const char *ext) {
    return append2(buf, size, ".", ext);
}

int filename_subst_ext(char *buf, std::size_t size, const char *ext) {
    char *dot = std::strrchr(buf, '.');
    if (!dot) return -1;
    *dot = '\0';
    return append2(buf, size, ".", ext);
}

int filename_mktemp(char *buf, std::size_t size) {
    if (append2(buf, size, ".", "XXXXXX") != 0) return -1;
    static constexpr char chars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    char *x = buf + std::strlen(buf) - 6;
    static unsigned long long seed = 0;
    if (seed == 0) {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        seed = static_cast<unsigned long long>(ts.tv_nsec) ^
               (static_cast<unsigned long long>(ts.tv_sec) << 20) ^
               (static_cast<unsigned long long>(getpid()) << 40);
    }
    for (int attempt = 0; attempt < 1000; attempt++) {
        // xorshift: unpredictable enough for a name, and O_EXCL makes it safe.
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        unsigned long long v = seed;
        for (int i = 0; i < 6; i++, v /= 62)
            x[i] = chars[v % 62];
        int fd = open(buf, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return 0;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

void path_copy(char *buf, std::size_t size, const char *src) {
    if (size == 0) return;
    std::size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memcpy(buf, src, n);
    buf[n] = '\0';
}
