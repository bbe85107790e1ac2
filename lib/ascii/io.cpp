// The file layer: buffered streams whose interrupted calls are repeated.
// Every stdio and system call of the file operations is made here, one
// place per kind of call.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "qvascii_int.h"

namespace {

// Makes `attempt` again as long as it fails with EINTR; `failed` tells a
// failed result. errno is cleared before each attempt and the stream's error
// flag after an interrupted one. The last result, errno then telling the
// cause of a failure.
template <typename Attempt, typename Failed>
auto retry_interrupted(std::FILE *fp, Attempt attempt, Failed failed) {
    for (;;) {
        errno = 0;
        auto r = attempt();
        if (!failed(r) || errno != EINTR) return r;
        if (fp) std::clearerr(fp);
    }
}

bool nonzero(int r) {
    return r != 0;
}

// Pushes buffered output to the file (and, for input, drops what was read
// ahead).
int flush(std::FILE *fp) {
    return retry_interrupted(
        fp, [fp] { return std::fflush(fp); }, nonzero);
}

// Moves n bytes with `call` (fread or fwrite of a byte count at an offset
// into the caller's buffer), going on after an interrupted call. The bytes
// moved: fewer than n only at the end of the file or on failure.
template <typename Call>
std::size_t transfer(std::FILE *fp, std::size_t n, Call call) {
    if (n == 0) return 0;
    std::size_t done = 0;
    return retry_interrupted(
        fp,
        [&] {
            done += call(done, n - done);
            return done;
        },
        [&](std::size_t d) { return d < n && !std::feof(fp); });
}

// fopen(path, mode) for the modes that create or empty the file, except
// that a file that is already empty is not cut again: on some file systems
// (ext4) cutting a file, even an empty one, makes its close push the whole
// new content to the disk at once instead of in the background, which for
// the converter's freshly made temporary file is pure waiting.
std::FILE *fopen_emptied(const char *path, const char *mode) {
    int fd = ::open(path, (std::strchr(mode, '+') ? O_RDWR : O_WRONLY) | O_CREAT, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    std::FILE *fp = nullptr;
    if (fstat(fd, &st) == 0 && (st.st_size == 0 || ::ftruncate(fd, 0) == 0)) fp = fdopen(fd, mode);
    if (!fp) {
        int e = errno;
        ::close(fd);
        errno = e;
    }
    return fp;
}

} // namespace

std::FILE *qvascii_io_open(const char *path, const char *mode) {
    std::FILE *fp = retry_interrupted(
        nullptr,
        [&] { return mode[0] == 'w' ? fopen_emptied(path, mode) : std::fopen(path, mode); },
        [](std::FILE *f) { return f == nullptr; });
    // Every transfer is a whole block already: the stream's own buffer would
    // only split it into more system calls.
    if (fp) std::setvbuf(fp, nullptr, _IONBF, 0);
    return fp;
}

int qvascii_io_close(std::FILE *fp) {
    // fclose releases the stream even when it fails, so it is never called
    // twice: the pending output is pushed out first (an interrupted flush
    // can be repeated), and an interrupted close has still closed the file.
    int flushed = flush(fp);
    int saved = errno;
    if (std::fclose(fp) != 0 && errno != EINTR) return -1;
    if (flushed != 0) {
        errno = saved;
        return -1;
    }
    return 0;
}

long qvascii_io_read(std::FILE *fp, void *buf, std::size_t n) {
    auto *p = static_cast<char *>(buf);
    std::size_t done = transfer(
        fp, n, [&](std::size_t at, std::size_t k) { return std::fread(p + at, 1, k, fp); });
    if (done < n && !std::feof(fp)) return -1;
    if (n > 0 && flush(fp) != 0) return -1;
    return static_cast<long>(done);
}

long qvascii_io_write(std::FILE *fp, const void *buf, std::size_t n) {
    const auto *p = static_cast<const char *>(buf);
    std::size_t done = transfer(
        fp, n, [&](std::size_t at, std::size_t k) { return std::fwrite(p + at, 1, k, fp); });
    if (done < n) return -1;
    // A failed flush means the bytes did not reach the file.
    if (n > 0 && flush(fp) != 0) return -1;
    return static_cast<long>(done);
}

long qvascii_io_seek(std::FILE *fp, long offset, int origin) {
    if (std::fseek(fp, offset, origin) != 0) return -1;
    return std::ftell(fp);
}

int qvascii_io_truncate(std::FILE *fp, long length) {
    if (flush(fp) != 0) return -1;
    long pos = std::ftell(fp);
    if (pos < 0) return -1;
    if (pos > length && std::fseek(fp, length, SEEK_SET) != 0) return -1;
    const int fd = fileno(fp);
    return retry_interrupted(
        nullptr, [&] { return ftruncate(fd, static_cast<off_t>(length)); }, nonzero);
}
