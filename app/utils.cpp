// Sizes of large records must be seen in the 32-bit build too.
#define _FILE_OFFSET_BITS 64

#include "utils.h"

#include <cerrno>
#include <cstdio>
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

int file_create_temp(char *path) {
    std::size_t len = std::strlen(path);
    if (len < 6) {
        errno = EINVAL;
        return -1;
    }
    static constexpr char chars[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    char *x = path + len - 6;
    // One generator per thread, its seed told apart by the thread's own
    // storage, so threads naming files at once neither race nor collide.
    thread_local unsigned long long seed = 0;
    if (seed == 0) {
        struct timespec ts;
        clock_gettime(CLOCK_REALTIME, &ts);
        seed = static_cast<unsigned long long>(ts.tv_nsec) ^
               (static_cast<unsigned long long>(ts.tv_sec) << 20) ^
               (static_cast<unsigned long long>(getpid()) << 40) ^
               static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(&seed));
        if (seed == 0) seed = 1; // xorshift stays at 0 forever
    }
    for (int attempt = 0; attempt < 1000; attempt++) {
        // xorshift: unpredictable enough for a name, and O_EXCL makes it safe.
        seed ^= seed << 13;
        seed ^= seed >> 7;
        seed ^= seed << 17;
        unsigned long long v = seed;
        for (int i = 0; i < 6; i++, v /= 62)
            x[i] = chars[v % 62];
        int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            close(fd);
            return 0;
        }
        if (errno != EEXIST) return -1;
    }
    return -1;
}

int filename_mktemp(char *buf, std::size_t size) {
    if (filename_add_ext(buf, size, "XXXXXX") != 0) return -1;
    return file_create_temp(buf);
}

int path_exists(const char *path) {
    struct stat st;
    return lstat(path, &st) == 0;
}

int same_file(const char *a, const char *b) {
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

int rename_noreplace(const char *from, const char *to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    // Refused flag (some network and user-space file systems), or a kernel
    // without the call.
    if (errno != EINVAL && errno != ENOSYS) return -1;
    return rename_by_link(from, to);
}

int rename_by_link(const char *from, const char *to) {
    if (link(from, to) != 0) {
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOSYS) return -1;
        if (path_exists(to)) {
            errno = EEXIST;
            return -1;
        }
        return rename(from, to);
    }
    if (unlink(from) == 0) return 0;
    // Take the new name back: the result stays under its first name only,
    // as after any failed rename.
    int saved = errno;
    unlink(to);
    errno = saved;
    return -1;
}

void path_copy(char *buf, std::size_t size, const char *src) {
    if (size == 0) return;
    std::size_t n = std::strlen(src);
    if (n > size - 1) n = size - 1;
    std::memcpy(buf, src, n);
    buf[n] = '\0';
}
