// Byte-level access to a raw file over one buffered stream.
//
// Every call into the C runtime goes through one small static function below
// so that a test build can put a fault in any of them.
#include "io.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// --- The runtime calls --------------------------------------------------------

std::FILE *sys_fopen(const char *path, const char *mode) {
    return std::fopen(path, mode);
}

// fopen(path, mode) for the modes that create or empty the file ("wb",
// "w+b"), except that a file that is already empty is not cut again: on
// some file systems (ext4) cutting a file, even an empty one, makes its
// close push the whole new content to the disk at once instead of in the
// background, which for the converter's freshly made temporary file is
// pure waiting. Null with errno set on failure.
std::FILE *sys_fopen_empty(const char *path, const char *mode) {
    int fd = ::open(path, (std::strchr(mode, '+') ? O_RDWR : O_WRONLY) | O_CREAT, 0666);
    if (fd < 0) return nullptr;
    struct stat st;
    std::FILE *fp = nullptr;
    if (fstat(fd, &st) == 0 && (st.st_size == 0 || ::ftruncate(fd, 0) == 0)) fp = fdopen(fd, mode);
    if (fp == nullptr) {
        int e = errno;
        ::close(fd);
        errno = e;
    }
    return fp;
}

int sys_fclose(std::FILE *fp) {
    return std::fclose(fp);
}

std::size_t sys_fread(void *buffer, std::size_t size, std::size_t count, std::FILE *fp) {
    return std::fread(buffer, size, count, fp);
}

std::size_t sys_fwrite(const void *buffer, std::size_t size, std::size_t count, std::FILE *fp) {
    return std::fwrite(buffer, size, count, fp);
}

int sys_fseek(std::FILE *fp, long offset, int whence) {
    return std::fseek(fp, offset, whence);
}

long sys_ftell(std::FILE *fp) {
    return std::ftell(fp);
}

int sys_fflush(std::FILE *fp) {
    return std::fflush(fp);
}

int sys_ftruncate(std::FILE *fp, long size) {
    return ::ftruncate(fileno(fp), size);
}

// --- Helpers -----------------------------------------------------------------

constexpr std::array<std::string_view, 8> op_texts = {
    "None",        "On open():", "On close():", "On read():",
    "On write():", "On seek():", "On tell():",  "On truncate():",
};

// Stores a failure and yields the -1 result. A runtime call that fails
// without setting errno is reported as a plain I/O error rather than as
// "Success".
int fail(qvraw_io *io, std::uint32_t op, int errnum) {
    io->op = op;
    io->errnum = errnum != 0 ? errnum : EIO;
    return -1;
}

// Pushes the buffered bytes to the file, repeating an interrupted flush
// (the stream keeps what it could not write). 0, or -1 with errno set.
int flush_retrying(std::FILE *fp) {
    for (;;) {
        errno = 0;
        if (sys_fflush(fp) == 0) return 0;
        if (errno != EINTR) return -1;
        std::clearerr(fp);
    }
}

// Largest item count whose byte total still fits in a file position, so
// that neither size * count nor the returned count can overflow.
bool too_many(std::size_t size, std::size_t count) {
    return count > static_cast<std::size_t>(LONG_MAX) / size;
}

} // namespace

qvraw_io *qvraw_io_new() {
    return new (std::nothrow) qvraw_io{};
}

void qvraw_io_free(qvraw_io *io) {
    delete io;
}

int qvraw_io_open(qvraw_io *io, const char *path, const char *mode) {
    *io = qvraw_io{};
    io->flush_each = std::strchr(mode, '+') != nullptr ? 1 : 0;
    for (;;) {
        errno = 0;
        io->fp = mode[0] == 'w' ? sys_fopen_empty(path, mode) : sys_fopen(path, mode);
        if (io->fp != nullptr) {
            // Frames move in whole blocks already: the stream's own buffer
            // would only copy them once more and split them into more
            // system calls.
            std::setvbuf(io->fp, nullptr, _IONBF, 0);
            return 0;
        }
        if (errno != EINTR) return fail(io, QVRAW_IO_OP_OPEN, errno);
    }
}

// fclose releases the stream whether it succeeds or not (an interrupted
// close included), so it is never called twice on the same stream. The
// pending bytes are flushed first, where an interruption can be repeated;
// after that an interrupted close has nothing left to lose.
int qvraw_io_close(qvraw_io *io) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return 0;
    io->fp = nullptr;
    int flushed = flush_retrying(fp);
    int flush_errno = errno;
    errno = 0;
    if (sys_fclose(fp) != 0 && errno != EINTR) return fail(io, QVRAW_IO_OP_CLOSE, errno);
    if (flushed != 0) return fail(io, QVRAW_IO_OP_CLOSE, flush_errno);
    return 0;
}

long qvraw_io_read(qvraw_io *io, void *buffer, std::size_t size, std::size_t count) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return fail(io, QVRAW_IO_OP_READ, EBADF);
    std::size_t total = 0;
    if (size != 0 && count != 0) {
        if (too_many(size, count)) return fail(io, QVRAW_IO_OP_READ, EOVERFLOW);
        auto *p = static_cast<unsigned char *>(buffer);
        std::size_t left = count;
        while (left > 0) {
            errno = 0;
            std::size_t n = sys_fread(p, size, left, fp);
            if (n > 0) {
                total += n;
                p += n * size;
                left -= n;
                continue;
            }
            if (std::feof(fp)) break; // a short read at the end is no error
            if (std::ferror(fp) && errno == EINTR) {
                std::clearerr(fp);
                continue;
            }
            return fail(io, QVRAW_IO_OP_READ, errno);
        }
    }
    if (io->flush_each && sys_fflush(fp) != 0) return fail(io, QVRAW_IO_OP_READ, errno);
    return static_cast<long>(total);
}

long qvraw_io_write(qvraw_io *io, const void *buffer, std::size_t size, std::size_t count) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return fail(io, QVRAW_IO_OP_WRITE, EBADF);
    std::size_t total = 0;
    if (size != 0 && count != 0) {
        if (too_many(size, count)) return fail(io, QVRAW_IO_OP_WRITE, EOVERFLOW);
        const auto *p = static_cast<const unsigned char *>(buffer);
        std::size_t left = count;
        while (left > 0) {
            errno = 0;
            std::size_t n = sys_fwrite(p, size, left, fp);
            if (n > 0) {
                total += n;
                p += n * size;
                left -= n;
                continue;
            }
            if (std::ferror(fp) && errno == EINTR) {
                std::clearerr(fp);
                continue;
            }
            return fail(io, QVRAW_IO_OP_WRITE, errno);
        }
    }
    // A flush that fails means the items did not reach the file.
    if (io->flush_each && sys_fflush(fp) != 0) return fail(io, QVRAW_IO_OP_WRITE, errno);
    return static_cast<long>(total);
}

int qvraw_io_seek(qvraw_io *io, long offset, int whence) {
    if (io->fp == nullptr) return fail(io, QVRAW_IO_OP_SEEK, EBADF);
    errno = 0;
    if (sys_fseek(io->fp, offset, whence) != 0) return fail(io, QVRAW_IO_OP_SEEK, errno);
    return 0;
}

long qvraw_io_tell(qvraw_io *io) {
    if (io->fp == nullptr) return fail(io, QVRAW_IO_OP_TELL, EBADF);
    errno = 0;
    long pos = sys_ftell(io->fp);
    if (pos < 0) return fail(io, QVRAW_IO_OP_TELL, errno);
    return pos;
}

int qvraw_io_truncate(qvraw_io *io, long size) {
    std::FILE *fp = io->fp;
    if (fp == nullptr) return fail(io, QVRAW_IO_OP_TRUNCATE, EBADF);
    if (size < 0) return fail(io, QVRAW_IO_OP_TRUNCATE, EINVAL);
    // Buffered bytes must reach the file before its length changes, or a
    // later flush would write them back past the new end.
    errno = 0;
    if (sys_fflush(fp) != 0) return fail(io, QVRAW_IO_OP_TRUNCATE, errno);
    long pos = qvraw_io_tell(io);
    if (pos < 0) return -1;
    if (pos > size && qvraw_io_seek(io, size, SEEK_SET) != 0) return -1;
    for (;;) {
        errno = 0;
        if (sys_ftruncate(fp, size) == 0) return 0;
        if (errno != EINTR) return fail(io, QVRAW_IO_OP_TRUNCATE, errno);
    }
}

void qvraw_io_set_error(qvraw_io *io, std::uint32_t op, int errnum) {
    fail(io, op, errnum);
}

const char *qvraw_io_strerr(qvraw_io *io) {
    thread_local char buf[64];
    std::uint32_t op = io != nullptr ? io->op : QVRAW_IO_OP_NONE;
    int errnum = io != nullptr ? io->errnum : 0;
    std::string_view text = op < op_texts.size() ? op_texts[op] : "Unknown";
    std::snprintf(buf, sizeof buf, "%.*s %s", static_cast<int>(text.size()), text.data(),
                  std::strerror(errnum));
    if (io != nullptr) {
        io->op = QVRAW_IO_OP_NONE;
        io->errnum = 0;
    }
    return buf;
}
