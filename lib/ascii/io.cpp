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

// Pushes buffered output to the file (and, for input, drops what was read
// ahead), repeating an interrupted flush.
int flush(std::FILE *fp) {
    while (std::fflush(fp) != 0) {
        if (errno != EINTR) return -1;
        std::clearerr(fp);
    }
    return 0;
}

// fopen(path, mode) for the modes that create or empty the file, except
// that a file that is already empty is not cut again: on some file systems
// (ext4) cutting a file, even an empty one, makes its close push the whole
// new content to the disk at once instead of in the background, which for
// the converter's freshly made temporary file is pure waiting.
std::FILE *open_emptied(const char *path, const char *mode) {
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
    for (;;) {
        std::FILE *fp = mode[0] == 'w' ? open_emptied(path, mode) : std::fopen(path, mode);
        if (fp) {
            // Every transfer is a whole block already: the stream's own
            // buffer would only split it into more system calls.
            std::setvbuf(fp, nullptr, _IONBF, 0);
            return fp;
        }
        if (errno != EINTR) return nullptr;
    }
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
    std::size_t done = 0;
    while (done < n) {
        std::size_t r = std::fread(static_cast<char *>(buf) + done, 1, n - done, fp);
        done += r;
        if (r > 0) continue;
        if (std::feof(fp)) break;
        if (std::ferror(fp) && errno == EINTR) {
            std::clearerr(fp);
            continue;
        }
        return -1;
    }
    if (n > 0 && flush(fp) != 0) return -1;
    return static_cast<long>(done);
}

long qvascii_io_write(std::FILE *fp, const void *buf, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        std::size_t r = std::fwrite(static_cast<const char *>(buf) + done, 1, n - done, fp);
        done += r;
        if (r > 0) continue;
        if (std::ferror(fp) && errno == EINTR) {
            std::clearerr(fp);
            continue;
        }
        return -1;
    }
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
    while (ftruncate(fileno(fp), static_cast<off_t>(length)) != 0)
        if (errno != EINTR) return -1;
    return 0;
}
